// mkmedia: makes a distribution medium from a folder of product files, and checks or lists one.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/media_builder.h"

int main(int argc, char** argv) {
  std::string out, err;
  const int code = kv::RunMkmedia(std::vector<std::string>(argv + 1, argv + argc), out, err);
  std::fputs(out.c_str(), stdout);
  std::fputs(err.c_str(), stderr);
  return code;
}
