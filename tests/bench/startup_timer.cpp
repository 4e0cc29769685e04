// Times programs from process start to their first visible window of class TForm1, alternating
// between them, then closes each window and waits for the program to end.
//   startup_timer RUNS EXE...      prints "EXE MS" per start, MS with tenths
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct Search {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindForm(HWND window, LPARAM l) {
  auto* s = reinterpret_cast<Search*>(l);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char cls[16] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (pid == s->pid && lstrcmpA(cls, "TForm1") == 0 && IsWindowVisible(window)) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

double Millis(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

// One start: -1 when the program ended or showed nothing within 30 seconds.
double TimeOne(const char* exe) {
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION process = {};
  char command[MAX_PATH + 2];
  wsprintfA(command, "\"%s\"", exe);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &process)) {
    return -1;
  }
  Search s = {process.dwProcessId, nullptr};
  double ms = -1;
  for (;;) {
    EnumWindows(FindForm, reinterpret_cast<LPARAM>(&s));
    QueryPerformanceCounter(&now);
    if (s.found) {
      ms = Millis(start, now, frequency);
      break;
    }
    if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0 ||
        Millis(start, now, frequency) > 30000) {
      break;
    }
  }
  if (s.found) PostMessageA(s.found, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: startup_timer RUNS EXE...\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  for (int run = 0; run < runs; ++run) {
    for (int i = 2; i < argc; ++i) {
      const double ms = TimeOne(argv[i]);
      if (ms < 0) {
        std::printf("%s failed\n", argv[i]);
        return 1;
      }
      std::printf("%s %.1f\n", argv[i], ms);
      std::fflush(stdout);
    }
  }
  return 0;
}
