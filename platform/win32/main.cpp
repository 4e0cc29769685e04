// The program's entry: safe DLL search first, then the installer on the real platform.
#include <windows.h>

#include "app/entry.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  kv::HardenDllSearch();
  try {
    kv::Win32Platform platform(instance);
    return kv::RunSetup(platform);
  } catch (...) {
    return 3;  // no exception leaves the program
  }
}
