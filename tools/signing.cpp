#include "tools/signing.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "tools/host_text.h"
#include "tools/media_builder.h"

#ifndef _WIN32
#include <fcntl.h>
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

// Starts `program` (a full path) with `args` (its own name first) in the folder `cwd`, without a
// shell and without a console or terminal to ask anything on (a passphrase prompt then fails at
// once rather than waiting for someone who is not there), and collects what it writes (in UTF-8).
// The folder is this process's scratch folder, never the caller's current one: Windows looks
// for a program's DLLs in its current folder, which may be the medium being checked.
#ifdef _WIN32
// One argument as the C runtime splits a command line: in quotes, with the backslashes before a
// quote doubled.
std::wstring Quote(const std::wstring& arg) {
  std::wstring q = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    q.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    q += c;
  }
  q.append(backslashes * 2, L'\\');
  return q + L"\"";
}

Run RunProgram(const fs::path& program, const std::vector<HostString>& args, const fs::path& cwd) {
  Run run;
  std::wstring command;
  for (const std::wstring& a : args) command += (command.empty() ? L"" : L" ") + Quote(a);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return run;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nothing;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                                      DETACHED_PROCESS, nullptr, cwd.c_str(), &startup, &process);
  CloseHandle(write_end);
  if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
  if (started) {
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(read_end, chunk, sizeof chunk, &n, nullptr) && n > 0) run.output.append(chunk, n);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) run.status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(read_end);
  run.output = WideTo(CP_UTF8, WideFrom(CP_ACP, run.output));
  return run;
}
#else
Run RunProgram(const fs::path& program, const std::vector<HostString>& args, const fs::path& cwd) {
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
    setsid();  // no controlling terminal
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing >= 0) dup2(nothing, 0);
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    close(fds[1]);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
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


// A folder that this process made, new, for its intermediate files, readable by this user
// alone (mode 0700; on Windows a new folder in the user's own temporary folder), removed with
// everything in it. Nothing in it is followed: the tools write their files there, and they are
// read back only as regular files that are not links.
class ScratchFolder {
 public:
  ScratchFolder() {
    const fs::path base = fs::temp_directory_path();
#ifdef _WIN32
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const fs::path candidate = base / ("mkmedia-" + std::to_string(random()));
      if (CreateDirectoryW(candidate.c_str(), nullptr)) path_ = candidate;
      else if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
#else
    std::string name = (base / "mkmedia-XXXXXX").string();
    if (mkdtemp(name.data())) path_ = name;
#endif
    if (path_.empty()) {
      throw MediaError("cannot make a scratch folder in " + HostText(base));
    }
  }
  ~ScratchFolder() {
    std::error_code e;
    fs::remove_all(path_, e);
  }
  HostString operator/(const char* name) const { return (path_ / name).native(); }
  const fs::path& path() const { return path_; }
  // A new file of this process's own, for a tool to read.
  void Write(const char* name, const std::string& content) const {
    std::ofstream out(path_ / name, std::ios::binary);
    if (!out.write(content.data(), static_cast<std::streamsize>(content.size())) || !out.flush()) {
      throw MediaError("cannot write into the scratch folder " + HostText(path_));
    }
  }
  // The file a tool wrote here, when it is a regular file and no link.
  std::string Read(const char* name) const {
    const fs::path file = path_ / name;
    std::error_code e;
    if (!fs::is_regular_file(fs::symlink_status(file, e))) return {};
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

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

// The line of a tool's output that says what went wrong: the first one that is not a passphrase
// prompt and not a line of OpenSSL's error queue ("40F01D3C927F0000:error:...").
std::string Reason(const std::string& output) {
  for (std::size_t at = 0; at < output.size();) {
    std::size_t end = output.find('\n', at);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(at, end - at);
    at = end + 1;
    for (const std::string prompt : {"Enter PEM pass phrase:", "Enter pass phrase:"}) {
      while (line.compare(0, prompt.size(), prompt) == 0) line.erase(0, prompt.size());
    }
    line.erase(0, line.find_first_not_of(" \t"));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    const std::size_t colon = line.find(":error:");
    if (line.empty() || (colon != std::string::npos && colon > 0 &&
                         line.find_first_not_of("0123456789ABCDEFabcdef") == colon)) {
      continue;
    }
    return line;
  }
  return "no reason given";
}

// Seconds since 1970 of a date as osslsigncode prints it ("Jan  1 00:00:00 2020 GMT"); none when
// it is not one.
std::optional<std::int64_t> Seconds(const std::string& date) {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  char month[4] = {};
  int day = 0, hour = 0, minute = 0, second = 0, year = 0;
  if (std::sscanf(date.c_str(), "%3s %d %d:%d:%d %d", month, &day, &hour, &minute, &second,
                  &year) != 6) {
    return std::nullopt;
  }
  const char* found = std::strstr(kMonths, month);
  if (!found || (found - kMonths) % 3 != 0) return std::nullopt;
  // Days from 1970-01-01 to the civil date (H. Hinnant's algorithm).
  const int m = static_cast<int>(found - kMonths) / 3 + 1;
  const int y = year - (m <= 2);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

// Runs a helper program found in PATH in `scratch`; not found, it did not start.
Run RunTool(const char* tool, std::vector<HostString> args, const ScratchFolder& scratch) {
  const fs::path path = FindProgram(tool);
  if (path.empty()) return {};
  args.insert(args.begin(), HostPath(tool).native());
  return RunProgram(path, args, scratch.path());
}

// A file the user named, as the helpers (started in the scratch folder) find it.
HostString Absolute(const fs::path& path) {
  std::error_code e;
  const fs::path absolute = fs::absolute(path, e);
  return (e ? path : absolute).native();
}

const char kNoSigner[] =
    "osslsigncode is not installed (on Debian: apt-get install osslsigncode)";

}  // namespace

fs::path FindProgram(const std::string& program) {
#ifdef _WIN32
  // As Unicode: the ANSI form of PATH may name other folders (or none) for a letter it lacks.
  std::wstring path(GetEnvironmentVariableW(L"PATH", nullptr, 0), L'\0');
  if (path.empty()) return {};
  path.resize(GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
  const wchar_t separator = L';';
  const std::string suffix = ".exe";
#else
  const char* const path = std::getenv("PATH");
  if (!path) return {};
  const char separator = ':';
  const std::string suffix;
#endif
  for (HostString rest = path;;) {
    const std::size_t end = rest.find(separator);
    const fs::path folder = rest.substr(0, end);
    if (folder.is_absolute()) {
      std::error_code e;
      const fs::path candidate = folder / HostPath(program + suffix);
      if (fs::is_regular_file(candidate, e)) {
#ifdef _WIN32
        return candidate;
#else
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
#endif
      }
    }
    if (end == std::string::npos) return {};
    rest = rest.substr(end + 1);
  }
}

std::string SignedProgram(const std::string& program, const std::string& in,
                          const std::string& cert, const std::string& key,
                          const std::string& pass_file, std::optional<std::int64_t> time) {
  if (!ProgramAvailable("osslsigncode")) {
    throw MediaError(std::string("cannot sign setup.exe: ") + kNoSigner);
  }
  std::vector<HostString> args = {HostPath("sign").native(), HostPath("-certs").native(),
                                  Absolute(HostPath(cert)),  HostPath("-key").native(),
                                  Absolute(HostPath(key)),   HostPath("-h").native(),
                                  HostPath("sha256").native()};
  const auto add = [&](const std::string& arg) { args.push_back(HostPath(arg).native()); };
  if (!pass_file.empty()) {
    add("-readpass");
    args.push_back(Absolute(HostPath(pass_file)));
  }
  if (time) {
    add("-time");
    add(std::to_string(*time));
  }
  ScratchFolder scratch;
  scratch.Write("unsigned.exe", program);
  add("-in");
  args.push_back(scratch / "unsigned.exe");
  add("-out");
  args.push_back(scratch / "setup.exe");
  const Run run = RunTool("osslsigncode", args, scratch);
  if (run.status != 0) {
    std::string why = Reason(run.output);
    if (pass_file.empty() && why.find("password") != std::string::npos) {
      why += " (an encrypted key: give the file that holds its passphrase with --pass-file)";
    }
    throw MediaError("cannot sign " + in + " with " + cert + " and " + key +
                     ": osslsigncode says: " + why);
  }
  const std::string bytes = scratch.Read("setup.exe");
  if (bytes.empty()) throw MediaError("cannot read the signed " + in);
  // The signature as Windows will check it, before anything is written.
  const SignatureCheck check = VerifySignature(fs::path(scratch / "setup.exe"));
  if (!check.verified) {
    throw MediaError("the setup.exe signed with " + cert + " does not verify: " + check.problem);
  }
  return bytes;
}

PeSignature ReadPeSignature(const fs::path& file) {
  std::error_code e;
  if (!fs::is_regular_file(file, e)) return PeSignature::kNotPe;
  std::ifstream in(file, std::ios::binary);
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

SignatureCheck VerifySignature(const fs::path& path) {
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
  const HostString file = Absolute(path);
  const auto arg = [](const char* text) { return HostPath(text).native(); };
  const Run extracted = RunTool("osslsigncode", {arg("extract-signature"), arg("-pem"), arg("-in"),
                                                 file, arg("-out"), scratch / "signature.pem"},
                                 scratch);
  const Run listed =
      extracted.status == 0 && !scratch.Read("signature.pem").empty()
          ? RunTool("openssl", {arg("pkcs7"), arg("-print_certs"), arg("-in"),
                                scratch / "signature.pem", arg("-out"), scratch / "certs.pem"},
                    scratch)
          : Run{};
  if (listed.status != 0 || scratch.Read("certs.pem").empty()) {
    check.problem = "its signature cannot be read";
    return check;
  }
  const auto verify = [&](std::optional<std::int64_t> at) {
    std::vector<HostString> args = {arg("verify"), arg("-in"), file, arg("-CAfile"),
                                    scratch / "certs.pem"};
    if (at) {
      args.push_back(arg("-time"));
      args.push_back(HostPath(std::to_string(*at)).native());
    }
    return RunTool("osslsigncode", args, scratch);
  };
  const auto ok = [](const Run& run) {
    return run.status == 0 && run.output.find("Signature verification: ok") != std::string::npos;
  };
  Run verified = verify(std::nullopt);
  check.signer = Field(verified.output, "Subject:");
  check.not_before = Field(verified.output, "notBefore :");
  check.not_after = Field(verified.output, "notAfter :");
  // A certificate out of its dates: whether the bytes are those signed is asked again as of the
  // first day of the certificate.
  const bool expired = verified.output.find("certificate has expired") != std::string::npos;
  const bool early = verified.output.find("certificate is not yet valid") != std::string::npos;
  if (!ok(verified) && (expired || early) && Seconds(check.not_before)) {
    verified = verify(Seconds(check.not_before));
    if (ok(verified)) check.out_of_date = expired ? "has expired" : "is not yet valid";
  }
  if (!ok(verified)) {
    check.problem = verified.output.find("MISMATCH") != std::string::npos
                        ? "the file was changed after it was signed"
                        : "its signature does not verify" +
                              (Field(verified.output, "Error:").empty()
                                   ? std::string()
                                   : " (" + Field(verified.output, "Error:") + ")");
    return check;
  }
  check.verified = true;
  check.trusted = check.out_of_date.empty() &&
                  RunTool("osslsigncode", {arg("verify"), arg("-in"), file}, scratch).status == 0;
  return check;
}

}  // namespace kv
