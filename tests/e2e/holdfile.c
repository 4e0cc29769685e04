/* Holds a file open without sharing, as a running program holds its own file, until told to let
   go: holdfile.exe FILE FLAG opens FILE, creates FLAG, and once FLAG is deleted closes FILE,
   creates FLAG.gone and ends (after two minutes at the latest). */
#include <windows.h>
#include <shellapi.h>

int main(void) {
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args || count != 3) return 2;
  HANDLE file = CreateFileW(args[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(CreateFileW(args[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
  for (int i = 0; i < 1200 && GetFileAttributesW(args[2]) != INVALID_FILE_ATTRIBUTES; ++i) {
    Sleep(100);
  }
  CloseHandle(file);
  wchar_t gone[MAX_PATH + 8];
  lstrcpynW(gone, args[2], MAX_PATH);
  lstrcatW(gone, L".gone");
  CloseHandle(CreateFileW(gone, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
  return 0;
}
