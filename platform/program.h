// The program a platform runs: the program defines it, and the platform's own entry (WinMain on
// Windows) calls it with the services the platform gives, once its own set-up is done.
#pragma once

#include <string>

#include "platform/platform.h"

namespace kv {

// `arguments` is the command line after the program's name, as UTF-8; the result is the process's
// exit code.
int RunProgram(Platform& platform, const std::string& arguments);

}  // namespace kv
