// The baseline for start-up timing: a minimal Win32 program that opens one empty window, shows
// it and closes as soon as it is visible. Its time to a visible window is measured in the same run
// as setup.exe's.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = "TForm1";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, "TForm1", "Baseline", WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                100, 100, 409, 300, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_CLOSE || (msg.hwnd == window && msg.message == WM_NULL)) break;
    DispatchMessageA(&msg);
    if (!IsWindow(window)) break;
  }
  return 0;
}
