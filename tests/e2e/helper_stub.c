/* A stand-in for a helper program (osslsigncode, openssl) under Wine: appends its command line
   and, on a line of its own after "cwd ", its current folder, as UTF-8, to calls.txt beside
   itself, and fails. */
#include <windows.h>

int main(void) {
  wchar_t path[MAX_PATH + 16];
  DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
  while (n > 0 && path[n - 1] != L'\\') --n;
  lstrcpyW(path + n, L"calls.txt");
  HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
  if (log != INVALID_HANDLE_VALUE) {
    wchar_t line[8192] = L"";
    lstrcpynW(line, GetCommandLineW(), 4096);
    lstrcatW(line, L"\ncwd ");
    GetCurrentDirectoryW(MAX_PATH, line + lstrlenW(line));
    char text[16384];
    int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, text, sizeof text - 2, NULL, NULL);
    DWORD written;
    if (size > 0) {
      text[size - 1] = '\n';
      WriteFile(log, text, (DWORD)size, &written, NULL);
    }
    CloseHandle(log);
  }
  return 1;
}
