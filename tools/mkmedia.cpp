// mkmedia: makes a distribution medium from a folder of product files, and checks or lists one.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/media_builder.h"
#include "tools/medium_check.h"

namespace {

const char kUsage[] =
    "usage: mkmedia [--demo] [--licence FILE] [--setup FILE] [--cert CERT.pem --key KEY.pem]\n"
    "               [--disks] [--volumes N,N[,N]] PRODUCT_FOLDER OUT_FOLDER\n"
    "       mkmedia check MEDIUM_FOLDER\n"
    "       mkmedia list MEDIUM_FOLDER\n"
    "Writes xalarch.v1, xalarch.v2 and (full edition) xalarch.v3, the marker xalarch.v0 and\n"
    "licenz.doc. --disks writes disk1/, disk2/, disk3/, each filled up to a 1.44 MB floppy;\n"
    "--volumes sets the volume sizes. --cert and --key sign setup.exe (Authenticode, SHA-256,\n"
    "with osslsigncode; the signing time from SOURCE_DATE_EPOCH when it is set).\n"
    "check reads a medium (a folder or disk folders) as the installer would and exits 0 when it\n"
    "would install, 1 when it would not; list prints its members (packed, unpacked size, name).\n"
    "Wrong usage exits 2.\n";

// mkmedia check|list FOLDER
int CheckOrList(const std::string& command, const std::string& folder) {
  if (command == "check") {
    const kv::MediumReport report = kv::CheckMedium(folder);
    std::fputs(kv::FormatCheck(report).c_str(), stdout);
    return report.WouldInstall() ? 0 : 1;
  }
  const kv::MediumReport report = kv::ReadMedium(folder);
  for (const kv::MediumMember& m : report.members) std::puts(kv::FormatMember(m).c_str());
  for (const std::string& e : report.errors) std::fprintf(stderr, "mkmedia: %s\n", e.c_str());
  return report.WouldInstall() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "check") == 0 || std::strcmp(argv[1], "list") == 0)) {
    if (argc != 3 || argv[2][0] == '-') {
      std::fputs(kUsage, stderr);
      return 2;
    }
    try {
      return CheckOrList(argv[1], argv[2]);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "mkmedia: %s\n", e.what());
      return 1;
    }
  }
  kv::MediaOptions o;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--demo") {
      o.full_edition = false;
    } else if (a == "--disks") {
      o.disks = true;
    } else if (a == "--licence" && has_value) {
      o.licence = argv[++i];
    } else if (a == "--setup" && has_value) {
      o.setup_exe = argv[++i];
    } else if (a == "--cert" && has_value) {
      o.cert = argv[++i];
    } else if (a == "--key" && has_value) {
      o.key = argv[++i];
    } else if (a == "--volumes" && has_value) {
      std::string list = argv[++i];
      for (std::size_t at = 0; at <= list.size();) {
        std::size_t end = list.find(',', at);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(at, end - at);
        if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos) {
          std::fprintf(stderr, "mkmedia: bad volume size '%s'\n", item.c_str());
          return 2;
        }
        o.volume_sizes.push_back(std::stoull(item));
        at = end + 1;
      }
    } else if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "mkmedia: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (o.cert.empty() != o.key.empty()) {
    std::fputs("mkmedia: --cert and --key go together\n", stderr);
    return 2;
  }
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    const std::string text = epoch;
    if (text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) {
      std::fprintf(stderr, "mkmedia: SOURCE_DATE_EPOCH is not a number of seconds: %s\n", epoch);
      return 2;
    }
    o.signing_time = std::stoll(text);
  }
  o.product_dir = positional[0];
  o.out_dir = positional[1];
  try {
    const kv::MediaReport report = kv::WriteMedia(o);
    std::printf("mkmedia: %s\n", report.summary.c_str());
    for (const std::string& w : report.warnings) {
      std::fprintf(stderr, "mkmedia: warning: %s\n", w.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mkmedia: %s\n", e.what());
    return 1;
  }
  return 0;
}
