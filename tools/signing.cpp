#include "tools/signing.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/host_text.h"
#include "tools/helper_programs.h"
#include "tools/media_error.h"

namespace kv {

namespace fs = std::filesystem;

namespace {

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

const char kNoSigner[] =
    "osslsigncode is not installed (on Debian: apt-get install osslsigncode)";

}  // namespace

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
