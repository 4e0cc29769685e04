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

// The lines that follow the line `header` of osslsigncode's output, up to the first one that is
// neither blank nor indented.
std::string Section(const std::string& output, const std::string& header) {
  std::size_t at = output.find(header + "\n");
  if (at == std::string::npos) return "";
  at += header.size() + 1;
  std::size_t end = at;
  while (end < output.size() && (output[end] == '\t' || output[end] == '\n' || output[end] == '\r')) {
    const std::size_t next = output.find('\n', end);
    end = next == std::string::npos ? output.size() : next + 1;
  }
  return output.substr(at, end - at);
}

// The subject of the certificate listed as "Signer #n:" in a section.
std::string SignerSubject(const std::string& section, int n) {
  const std::size_t at = section.find("Signer #" + std::to_string(n) + ":");
  return at == std::string::npos ? "" : Field(section.substr(at), "Subject:");
}

// The subject of the self-signed certificate (the root) listed in a section.
std::string RootSubject(const std::string& section) {
  for (int n = 0; n < 16; ++n) {
    const std::string subject = SignerSubject(section, n);
    const std::size_t at = section.find("Signer #" + std::to_string(n) + ":");
    if (!subject.empty() && Field(section.substr(at), "Issuer :") == subject) return subject;
  }
  return "";
}

// What a check's output names as the error of the certificates' verification: "Error: ..." in
// osslsigncode 2.9 and later, the end of OpenSSL's "... Verify error: ..." line before.
std::string VerifyError(const std::string& output) {
  const std::string error = Field(output, "Error:");
  if (!error.empty()) return error;
  const std::size_t at = output.find("Verify error: ");
  if (at == std::string::npos) return "";
  const std::size_t end = output.find_first_of("\r\n", at);
  return output.substr(at + 14, end == std::string::npos ? std::string::npos : end - at - 14);
}

// " (the error)" of a check's output, or nothing.
std::string ErrorIn(const std::string& output) {
  const std::string error = VerifyError(output);
  return error.empty() ? "" : " (" + error + ")";
}

// The length of the DER element at `at` in `der` (its header and content), or 0 when it does not
// fit.
std::size_t DerElement(const std::string& der, std::size_t at) {
  if (at + 2 > der.size()) return 0;
  std::size_t header = 2, length = static_cast<unsigned char>(der[at + 1]);
  if (length & 0x80) {
    const std::size_t bytes = length & 0x7F;
    if (bytes == 0 || bytes > 4 || at + 2 + bytes > der.size()) return 0;
    length = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
      length = length << 8 | static_cast<unsigned char>(der[at + 2 + i]);
    }
    header += bytes;
  }
  return length <= der.size() - at - header ? header + length : 0;
}

// The RFC 3161 timestamp token (a PKCS #7 SignedData, DER) that an Authenticode signature carries
// as an unsigned attribute of its signer (1.3.6.1.4.1.311.3.3.1), or empty.
std::string TimestampToken(const std::string& signature) {
  static const char kOid[] = "\x06\x0A\x2B\x06\x01\x04\x01\x82\x37\x03\x03\x01";
  const std::size_t oid = signature.find(std::string(kOid, sizeof kOid - 1));
  if (oid == std::string::npos) return "";
  const std::size_t set = oid + sizeof kOid - 1;
  if (set >= signature.size() || signature[set] != '\x31' || !DerElement(signature, set)) return "";
  const std::size_t content =
      set + 2 + ((signature[set + 1] & 0x80) ? (signature[set + 1] & 0x7F) : 0);
  if (content >= signature.size() || signature[content] != '\x30') return "";
  const std::size_t size = DerElement(signature, content);
  return size ? signature.substr(content, size) : "";
}

const char kNoSigner[] =
    "osslsigncode is not installed (on Debian: apt-get install osslsigncode)";

}  // namespace

std::string SignedProgram(const std::string& program, const std::string& in,
                          const SigningKeys& keys) {
  if (!ProgramAvailable("osslsigncode")) {
    throw MediaError(std::string("cannot sign setup.exe: ") + kNoSigner);
  }
  std::vector<HostString> args = {HostPath("sign").native(), HostPath("-certs").native(),
                                  Absolute(HostPath(keys.cert)), HostPath("-key").native(),
                                  Absolute(HostPath(keys.key)),  HostPath("-h").native(),
                                  HostPath("sha256").native()};
  const auto add = [&](const std::string& arg) { args.push_back(HostPath(arg).native()); };
  if (!keys.pass_file.empty()) {
    add("-readpass");
    args.push_back(Absolute(HostPath(keys.pass_file)));
  }
  if (!keys.chain.empty()) {
    add("-ac");
    args.push_back(Absolute(HostPath(keys.chain)));
  }
  if (!keys.timestamp_url.empty()) {
    add("-ts");
    add(keys.timestamp_url);
  }
  if (keys.time) {
    add("-time");
    add(std::to_string(*keys.time));
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
    if (keys.pass_file.empty() && why.find("password") != std::string::npos) {
      why += " (an encrypted key: give the file that holds its passphrase with --pass-file)";
    }
    throw MediaError("cannot sign " + in + " with " + keys.cert + " and " + keys.key +
                     ": osslsigncode says: " + why);
  }
  const std::string bytes = scratch.Read("setup.exe");
  if (bytes.empty()) throw MediaError("cannot read the signed " + in);
  // The signature as Windows will check it, before anything is written.
  const SignatureCheck check = VerifySignature(fs::path(scratch / "setup.exe"));
  if (!check.verified) {
    throw MediaError("the setup.exe signed with " + keys.cert + " does not verify: " +
                     check.problem);
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
      check.unknown = true;
      check.problem = std::string(tool) + " is not installed (on Debian: apt-get install " + tool + ")";
      return check;
    }
  }
  // The certificates the signature carries, and those its timestamp token carries.
  ScratchFolder scratch;
  const HostString file = Absolute(path);
  const auto arg = [](const char* text) { return HostPath(text).native(); };
  const auto certificates = [&](const char* der, const char* pem) {
    const Run listed = RunTool("openssl", {arg("pkcs7"), arg("-inform"), arg("DER"),
                                           arg("-print_certs"), arg("-in"), scratch / der,
                                           arg("-out"), scratch / pem},
                               scratch);
    return listed.status == 0 && !scratch.Read(pem).empty();
  };
  // As PEM: the DER that osslsigncode 2.5 extracts still has the certificate table's header.
  const Run extracted = RunTool("osslsigncode", {arg("extract-signature"), arg("-pem"), arg("-in"),
                                                 file, arg("-out"), scratch / "signature.pem"},
                                 scratch);
  const Run converted =
      extracted.status == 0 && !scratch.Read("signature.pem").empty()
          ? RunTool("openssl", {arg("pkcs7"), arg("-in"), scratch / "signature.pem", arg("-outform"),
                                arg("DER"), arg("-out"), scratch / "signature.der"},
                    scratch)
          : Run{};
  const std::string signature = scratch.Read("signature.der");
  if (converted.status != 0 || signature.empty() || !certificates("signature.der", "certs.pem")) {
    check.problem = "its signature cannot be read";
    return check;
  }
  const std::string token = TimestampToken(signature);
  if (!token.empty()) {
    scratch.Write("token.der", token);
    if (!certificates("token.der", "tsa.pem")) {
      check.problem = "its timestamp cannot be read";
      return check;
    }
  }
  // Each check of the signature names where the roots come from: this system's store (none
  // named) or the certificates carried in the signature and in its timestamp token.
  enum Roots { kSystem, kCarried };
  const auto verify = [&](Roots roots, Roots timestamp_roots, std::optional<std::int64_t> at) {
    std::vector<HostString> args = {arg("verify"), arg("-in"), file};
    if (roots == kCarried) {
      args.push_back(arg("-CAfile"));
      args.push_back(scratch / "certs.pem");
    }
    if (!token.empty() && timestamp_roots == kCarried) {
      args.push_back(arg("-TSA-CAfile"));
      args.push_back(scratch / "tsa.pem");
    }
    if (at) {
      args.push_back(arg("-time"));
      args.push_back(HostPath(std::to_string(*at)).native());
    }
    return RunTool("osslsigncode", args, scratch);
  };
  const auto ok = [](const Run& run) {
    return run.status == 0 && run.output.find("Signature verification: ok") != std::string::npos;
  };
  const auto stamped = [](const Run& run) {
    return run.output.find("Timestamp Server Signature verification: ok") != std::string::npos;
  };
  // Trust first, as Windows asks it: the signature's and the timestamp's roots in this system's
  // store. A timestamp whose root this system does not trust is checked with the certificates
  // it carries, so that the signer's certificate is still judged as of the timestamp's time.
  Run system = verify(kSystem, kSystem, std::nullopt);
  check.timestamp_trusted = !token.empty() && stamped(system);
  if (!token.empty() && !stamped(system)) system = verify(kSystem, kCarried, std::nullopt);
  check.trusted = ok(system);
  // Else the integrity alone: up to a root that the signature itself carries.
  Run verified = check.trusted ? system : verify(kCarried, kCarried, std::nullopt);
  check.signer = Field(verified.output, "Subject:");
  check.issuer = Field(verified.output, "Issuer :");
  check.not_before = Field(verified.output, "notBefore :");
  check.not_after = Field(verified.output, "notAfter :");
  if (!token.empty()) {
    // osslsigncode 2.9 names the authority and the time so; 2.5 names the time alone, otherwise.
    const std::string section = Section(verified.output, "Timestamp verified using:");
    if (!stamped(verified)) {
      check.problem = "its timestamp does not verify" + ErrorIn(verified.output);
      return check;
    }
    check.timestamp = Field(verified.output, "Timestamp time:");
    if (check.timestamp.empty()) {
      check.timestamp = Field(verified.output, "The signature is timestamped:");
    }
    check.timestamp_authority = SignerSubject(section, 0);
  }
  // A certificate out of its dates, and no timestamp within them: whether the bytes are those
  // signed is asked again as of the first day of the certificate.
  const bool expired = verified.output.find("certificate has expired") != std::string::npos;
  const bool early = verified.output.find("certificate is not yet valid") != std::string::npos;
  if (!ok(verified) && (expired || early) && Seconds(check.not_before)) {
    const Run then = verify(kCarried, kCarried, Seconds(check.not_before));
    if (ok(then)) {
      verified = then;
      check.out_of_date = expired ? "has expired" : "is not yet valid";
    }
  }
  if (!ok(verified)) {
    const std::string error = VerifyError(verified.output);
    if (verified.output.find("MISMATCH") != std::string::npos) {
      check.problem = "the file was changed after it was signed";
    } else if (error.find("unable to get local issuer certificate") != std::string::npos ||
               error.find("unable to get issuer certificate") != std::string::npos) {
      check.unknown = true;
      check.problem = "the certificates it carries lead to no root certificate, and this system "
                      "trusts none that issued them (" + error + "): give the issuing "
                      "certificates, up to the root, with --chain";
    } else {
      check.problem = "its signature does not verify" + (error.empty() ? "" : " (" + error + ")");
    }
    return check;
  }
  check.verified = true;
  check.root = RootSubject(Section(verified.output, "Signing certificate chain verified using:"));
  return check;
}

}  // namespace kv
