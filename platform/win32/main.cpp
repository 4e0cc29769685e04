// The process's entry: safe DLL search first, then the program on the real platform.
#include <windows.h>

#include "platform/program.h"
#include "platform/win32/win32_platform.h"

namespace {

// Window geometry in physical pixels, on systems that would otherwise stretch the window's bitmap
// (the manifest says the same; this covers systems that do not read it). SetProcessDPIAware is
// not in every user32, so it is looked up; the window then scales its own layout.
void DeclareDpiAware() {
  if (HMODULE user32 = kv::LoadSystemLibrary("user32.dll")) {
    using SetAware = BOOL(WINAPI*)();
    if (auto set_aware = reinterpret_cast<SetAware>(
            reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDPIAware")))) {
      set_aware();
    }
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
  kv::HardenDllSearch();
  // An empty floppy drive or a missing file while the wizard looks for a volume is the wizard's
  // own prompt to answer ("Вставьте диск 2:"), never the system's "no disk" box. The flags the
  // program was started with stay.
  const UINT inherited = SetErrorMode(0);
  SetErrorMode(inherited | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  DeclareDpiAware();
  try {
    kv::Win32Platform platform(instance);
    return kv::RunProgram(platform, kv::CommandLineArguments(arguments));
  } catch (...) {
    return 1;  // no exception leaves the program; one from outside the installation installed nothing
  }
}
