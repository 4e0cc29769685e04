#include "tools/mkmedia_command.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <optional>

#include "tools/media_builder.h"
#include "tools/medium_check.h"

namespace kv {

namespace {

const char kUsage[] =
    "usage: mkmedia [--demo] [--licence FILE] [--setup FILE]\n"
    "               [--cert CERT.pem --key KEY.pem [--pass-file FILE] [--chain CHAIN.pem]\n"
    "                [--timestamp URL]]\n"
    "               [--disks] [--volumes N,N[,N]] PRODUCT_FOLDER OUT_FOLDER\n"
    "       mkmedia --one-file --setup FILE [--demo] [--licence FILE] [signing options]\n"
    "               PRODUCT_FOLDER OUT_FOLDER\n"
    "       mkmedia check MEDIUM_FOLDER|SETUP_FILE\n"
    "       mkmedia list MEDIUM_FOLDER|SETUP_FILE\n"
    "Writes xalarch.v1, xalarch.v2 and (full edition) xalarch.v3, the marker xalarch.v0 and\n"
    "licenz.doc into OUT_FOLDER, which must be new or empty. --disks writes disk1/, disk2/,\n"
    "disk3/, each filled up to a 1.44 MB floppy; --volumes sets the volume sizes. --cert and\n"
    "--key sign setup.exe (Authenticode, SHA-256, with osslsigncode; the signing time from\n"
    "SOURCE_DATE_EPOCH when it is set); --pass-file names a file holding the passphrase of an\n"
    "encrypted key; --chain names the certificates that issued CERT (PEM), which the signature\n"
    "then carries; --timestamp asks that RFC 3161 time-stamping server for a timestamp, which\n"
    "keeps the signature valid after the certificate expires.\n"
    "--one-file writes OUT_FOLDER/setup.exe alone, the whole medium inside it, sealed and (with\n"
    "--cert and --key) signed as one file.\n"
    "check reads a medium (a folder or disk folders) as the installer would and exits 0 when it\n"
    "would install, 1 when it would not; list prints its members (packed, unpacked size, name).\n"
    "Wrong usage exits 2.\n";

// A decimal number that fits `T`, all of `text`; none otherwise.
template <typename T>
std::optional<T> Number(const std::string& text) {
  T value{};
  const char* const end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || text[0] == '-' || text[0] == '+' || error != std::errc() || at != end) {
    return std::nullopt;
  }
  return value;
}

int Usage(std::string& err, const std::string& why) {
  err += "mkmedia: " + why + "\n" + kUsage;
  return 2;
}

}  // namespace

int RunMkmedia(const std::vector<std::string>& args, std::string& out, std::string& err) {
  if (!args.empty() && (args[0] == "check" || args[0] == "list")) {
    if (args.size() != 2 || args[1].empty() || args[1][0] == '-') {
      return Usage(err, args[0] + " takes one medium folder or one-file setup.exe");
    }
    try {
      if (args[0] == "check") {
        const MediumReport report = CheckMedium(args[1]);
        out += FormatCheck(report);
        return report.WouldInstall() ? 0 : 1;
      }
      const MediumReport report = ReadMedium(args[1]);
      for (const MediumMember& m : report.members) out += FormatMember(m) + "\n";
      for (const std::string& e : report.errors) err += "mkmedia: " + e + "\n";
      return report.WouldInstall() ? 0 : 1;
    } catch (const std::exception& e) {
      err += std::string("mkmedia: ") + e.what() + "\n";
      return 1;
    }
  }
  MediaOptions o;
  std::vector<std::string> positional;
  bool volumes_given = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    const auto value = [&](std::string& field) {
      if (!field.empty()) return false;  // given twice
      field = args[++i];
      return !field.empty();
    };
    if (a == "--demo") {
      o.full_edition = false;
    } else if (a == "--disks") {
      o.disks = true;
    } else if (a == "--one-file") {
      o.one_file = true;
    } else if ((a == "--licence" || a == "--setup" || a == "--cert" || a == "--key" ||
                a == "--pass-file" || a == "--chain" || a == "--timestamp") &&
               has_value) {
      std::string& field = a == "--licence"   ? o.licence
                         : a == "--setup"     ? o.setup_exe
                         : a == "--cert"      ? o.cert
                         : a == "--key"       ? o.key
                         : a == "--chain"     ? o.chain
                         : a == "--timestamp" ? o.timestamp_url
                                              : o.pass_file;
      if (!value(field)) return Usage(err, a + " given twice or empty");
    } else if (a == "--volumes" && has_value && !volumes_given) {
      volumes_given = true;
      const std::string list = args[++i];
      for (std::size_t at = 0; at <= list.size();) {
        std::size_t end = list.find(',', at);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(at, end - at);
        const std::optional<std::uint64_t> size = Number<std::uint64_t>(item);
        if (!size) return Usage(err, "bad volume size '" + item + "'");
        o.volume_sizes.push_back(*size);
        at = end + 1;
      }
    } else if (a == "-h" || a == "--help") {
      out += kUsage;
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      return Usage(err, "unknown, repeated or incomplete option " + a);
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2 || positional[0].empty() || positional[1].empty()) {
    return Usage(err, "give a product folder and an output folder");
  }
  if (o.one_file && (o.disks || volumes_given)) {
    return Usage(err, "--one-file makes one setup.exe: --disks and --volumes do not apply");
  }
  if (o.one_file && o.setup_exe.empty()) return Usage(err, "--one-file needs --setup");
  if (o.cert.empty() != o.key.empty()) return Usage(err, "--cert and --key go together");
  if (!o.pass_file.empty() && o.key.empty()) return Usage(err, "--pass-file goes with --key");
  if ((!o.chain.empty() || !o.timestamp_url.empty()) && o.cert.empty()) {
    return Usage(err, "--chain and --timestamp go with --cert and --key");
  }
  const std::size_t count = o.full_edition ? 3 : 2;
  if (volumes_given && o.volume_sizes.size() != count - 1 && o.volume_sizes.size() != count) {
    return Usage(err, "--volumes takes " + std::to_string(count - 1) + " or " +
                          std::to_string(count) + " sizes for this edition");
  }
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    const std::optional<std::int64_t> seconds = Number<std::int64_t>(epoch);
    if (!seconds) {
      return Usage(err, std::string("SOURCE_DATE_EPOCH is not a number of seconds: ") + epoch);
    }
    o.signing_time = *seconds;
  }
  o.product_dir = positional[0];
  o.out_dir = positional[1];
  try {
    const MediaReport report = WriteMedia(o);
    out += "mkmedia: " + report.summary + "\n";
    for (const std::string& w : report.warnings) err += "mkmedia: warning: " + w + "\n";
  } catch (const std::exception& e) {
    err += std::string("mkmedia: ") + e.what() + "\n";
    return 1;
  }
  return 0;
}

}  // namespace kv
