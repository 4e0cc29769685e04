#include "tools/signing.h"

#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/media_builder.h"

#ifdef _WIN32
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kv {

namespace fs = std::filesystem;

namespace {

struct Run {
  int status = -1;  // the exit code; -1 when the program could not be started
  std::string output;  // standard output and standard error together
};

#ifdef _WIN32
std::string Quote(const std::string& arg) {
  std::string q = "\"";
  for (char c : arg) q += c == '"' ? std::string("\\\"") : std::string(1, c);
  return q + "\"";
}
Run RunProgram(const std::vector<std::string>& args) {
  std::string command = "\"";
  for (const std::string& a : args) command += Quote(a) + " ";
  command += "2>&1\"";
  Run run;
  FILE* pipe = _popen(command.c_str(), "rb");
  if (!pipe) return run;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, n);
  run.status = _pclose(pipe);
  return run;
}
#else
// Starts the program without a shell, so that no file name is ever taken as shell syntax.
Run RunProgram(const std::vector<std::string>& args) {
  Run run;
  int fds[2];
  if (pipe(fds) != 0) return run;
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return run;
  }
  if (pid == 0) {
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  char chunk[4096];
  for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) != 0;) {
    if (n > 0) run.output.append(chunk, static_cast<std::size_t>(n));
    else if (errno != EINTR) break;
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (run.status == 127) run.status = -1;
  return run;
}
#endif

// A folder of its own for the intermediate files, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    static int count = 0;
    path_ = fs::temp_directory_path() /
            ("mkmedia-" + std::to_string(
#ifdef _WIN32
                              _getpid()
#else
                              getpid()
#endif
                                  ) +
             "-" + std::to_string(++count));
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code e;
    fs::remove_all(path_, e);
  }
  std::string operator/(const char* name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

std::uint32_t Little(const unsigned char* p, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// The value of the first line of `output` that starts (after blanks) with `label`.
std::string Field(const std::string& output, const std::string& label) {
  for (std::size_t at = 0; at < output.size();) {
    std::size_t end = output.find('\n', at);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(at, end - at);
    const std::size_t text = line.find_first_not_of(" \t");
    if (text != std::string::npos && line.compare(text, label.size(), label) == 0) {
      std::string value = line.substr(text + label.size());
      value.erase(0, value.find_first_not_of(" \t"));
      while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
      return value;
    }
    at = end + 1;
  }
  return "";
}

const char kNoSigner[] =
    "osslsigncode is not installed (on Debian: apt-get install osslsigncode)";

}  // namespace

bool ProgramAvailable(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
#ifdef _WIN32
  const char separator = ';';
  const std::string suffix = ".exe";
#else
  const char separator = ':';
  const std::string suffix;
#endif
  for (std::string rest = path;;) {
    const std::size_t end = rest.find(separator);
    const std::string folder = rest.substr(0, end);
    if (!folder.empty()) {
      std::error_code e;
      const fs::path candidate = fs::path(folder) / (program + suffix);
      if (fs::is_regular_file(candidate, e)) {
#ifdef _WIN32
        return true;
#else
        if (access(candidate.c_str(), X_OK) == 0) return true;
#endif
      }
    }
    if (end == std::string::npos) return false;
    rest = rest.substr(end + 1);
  }
}

std::string SignedProgram(const std::string& in, const std::string& cert, const std::string& key,
                          std::optional<std::int64_t> time) {
  if (!ProgramAvailable("osslsigncode")) {
    throw MediaError(std::string("cannot sign setup.exe: ") + kNoSigner);
  }
  std::vector<std::string> args = {"osslsigncode", "sign", "-certs", cert, "-key", key,
                                   "-h",           "sha256"};
  if (time) {
    args.push_back("-time");
    args.push_back(std::to_string(*time));
  }
  ScratchFolder scratch;
  const std::string out = scratch / "setup.exe";
  args.insert(args.end(), {"-in", in, "-out", out});
  const Run run = RunProgram(args);
  if (run.status != 0) {
    std::string why = run.output;
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
    throw MediaError("cannot sign " + in + " with " + cert + " and " + key +
                     ": osslsigncode says: " + why);
  }
  std::ifstream signed_file(out, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(signed_file)), std::istreambuf_iterator<char>());
  if (!signed_file) throw MediaError("cannot read the signed " + in);
  return bytes;
}

PeSignature ReadPeSignature(const std::string& path) {
  std::error_code e;
  if (!fs::is_regular_file(path, e)) return PeSignature::kNotPe;
  std::ifstream in(path, std::ios::binary);
  unsigned char dos[64] = {};
  if (!in.read(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
    return PeSignature::kNotPe;
  }
  // The PE header, the optional header's magic, and its data directories: the fifth is the
  // certificate table (file offset and size).
  unsigned char pe[24 + 240] = {};
  in.seekg(Little(dos + 60, 4));
  if (!in.read(reinterpret_cast<char*>(pe), 24 + 2) || pe[0] != 'P' || pe[1] != 'E' || pe[2] ||
      pe[3]) {
    return PeSignature::kNotPe;
  }
  const std::uint32_t magic = Little(pe + 24, 2);
  const int directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : -1;
  if (directories < 0) return PeSignature::kNotPe;
  const std::uint32_t optional_size = Little(pe + 20, 2);
  if (optional_size < static_cast<std::uint32_t>(directories + 5 * 8)) return PeSignature::kUnsigned;
  unsigned char entry[8] = {};
  in.seekg(directories - 2 + 4 * 8, std::ios::cur);
  if (!in.read(reinterpret_cast<char*>(entry), sizeof entry)) return PeSignature::kNotPe;
  return Little(entry + 4, 4) != 0 ? PeSignature::kSigned : PeSignature::kUnsigned;
}

SignatureCheck VerifySignature(const std::string& path) {
  SignatureCheck check;
  for (const char* tool : {"osslsigncode", "openssl"}) {
    if (!ProgramAvailable(tool)) {
      check.tool_missing = true;
      check.problem = std::string(tool) + " is not installed (on Debian: apt-get install " + tool + ")";
      return check;
    }
  }
  // The signature is checked against the certificates it carries: that the file is unchanged
  // since it was signed does not depend on who issued them; whether they are trusted is asked
  // apart.
  ScratchFolder scratch;
  const std::string signature = scratch / "signature.pem", certs = scratch / "certs.pem";
  const Run extracted =
      RunProgram({"osslsigncode", "extract-signature", "-pem", "-in", path, "-out", signature});
  const Run listed = extracted.status == 0
                         ? RunProgram({"openssl", "pkcs7", "-print_certs", "-in", signature,
                                       "-out", certs})
                         : Run{};
  if (listed.status != 0) {
    check.problem = "its signature cannot be read";
    return check;
  }
  const Run verified = RunProgram({"osslsigncode", "verify", "-in", path, "-CAfile", certs});
  check.signer = Field(verified.output, "Subject:");
  if (verified.status != 0 || verified.output.find("Signature verification: ok") == std::string::npos) {
    check.problem = verified.output.find("MISMATCH") != std::string::npos
                        ? "the file was changed after it was signed"
                        : "its signature does not verify";
    return check;
  }
  check.verified = true;
  check.trusted = RunProgram({"osslsigncode", "verify", "-in", path}).status == 0;
  return check;
}

}  // namespace kv
