#pragma once

#include <string>

#include "platform/platform.h"

namespace kv {

// The program: reads its command line (the arguments after the program's name; see
// app/command_line.h), finds the first volume in the current directory, runs the wizard window
// until it closes, or the installation unattended under /S, and returns the process exit code:
// 0 when the product was installed, 1 when it was not (also when the first volume is missing),
// 2 for a wrong command line, with which nothing is done.
int RunSetup(Platform& platform, const std::string& arguments = std::string());

}  // namespace kv
