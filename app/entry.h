#pragma once

#include "platform/platform.h"

namespace kv {

// The program: finds the first volume in the current directory, runs the wizard window until it
// closes, and returns the process exit code (1 when the first volume is missing).
int RunSetup(Platform& platform);

}  // namespace kv
