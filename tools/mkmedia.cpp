// mkmedia: makes a distribution medium from a folder of product files.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/media_builder.h"

namespace {

const char kUsage[] =
    "usage: mkmedia [--demo] [--licence FILE] [--setup FILE] [--disks] [--volumes N,N[,N]]\n"
    "               PRODUCT_FOLDER OUT_FOLDER\n"
    "Writes xalarch.v1, xalarch.v2 and (full edition) xalarch.v3, the marker xalarch.v0 and\n"
    "licenz.doc. --disks writes disk1/, disk2/, disk3/; --volumes sets the volume sizes.\n";

}  // namespace

int main(int argc, char** argv) {
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
  o.product_dir = positional[0];
  o.out_dir = positional[1];
  try {
    std::fputs(kv::WriteMedia(o).c_str(), stdout);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mkmedia: %s\n", e.what());
    return 1;
  }
  return 0;
}
