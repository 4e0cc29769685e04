// mkmedia: makes a distribution medium from a folder of product files, and checks or lists one.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/host_text.h"
#include "tools/mkmedia_command.h"

int main([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
#ifdef _WIN32
  const std::vector<std::string> args = kv::CommandLineArguments();
#else
  const std::vector<std::string> args(argv + 1, argv + argc);
#endif
  std::string out, err;
  const int code = kv::RunMkmedia(args, out, err);
  kv::PrintText(stdout, out);
  kv::PrintText(stderr, err);
  return code;
}
