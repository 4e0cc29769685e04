// mkmedia's command line: its options, read into the media builder's and the check's calls.
#pragma once

#include <string>
#include <vector>

namespace kv {

// The mkmedia command: `args` without the program's name. Returns the exit code (0 done, 1 the
// medium was refused or would not install, 2 wrong usage); `out` and `err` get what is printed,
// in UTF-8, as `args` are.
int RunMkmedia(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace kv
