/* A helper program (osslsigncode, openssl) for a program under Wine: runs the Linux program of
   its own name (found in the Linux PATH), each argument that is a Windows path given as the Linux
   path Wine maps it to, writes what it wrote (standard output and error, through a file of its
   own) to this process's standard output, and exits with its exit code. */
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

typedef LONG(CDECL *Spawn)(char *const argv[], int wait);
typedef char *(CDECL *UnixName)(LPCWSTR dos);

static char *Utf8(const wchar_t *text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
  char *out = malloc(size > 0 ? size : 1);
  if (!out || !WideCharToMultiByte(CP_UTF8, 0, text, -1, out, size, NULL, NULL)) return NULL;
  return out;
}

int main(void) {
  Spawn spawn = (Spawn)(void *)GetProcAddress(GetModuleHandleW(L"ntdll"), "__wine_unix_spawnvp");
  UnixName unix_name =
      (UnixName)(void *)GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name");
  if (!spawn || !unix_name) return 126;
  int argc = 0;
  wchar_t **args = CommandLineToArgvW(GetCommandLineW(), &argc);
  wchar_t self[MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, self, MAX_PATH);
  if (!args || n == 0 || n >= MAX_PATH) return 126;
  wchar_t *name = self + n;
  while (name > self && name[-1] != L'\\') --name;
  wchar_t *dot = wcsrchr(name, L'.');
  if (dot) *dot = 0;
  /* sh -c 'exec "$0" "$@" > OUTPUT 2>&1' NAME ARGS...: Wine gives a Linux program no pipe. */
  wchar_t folder[MAX_PATH], output[MAX_PATH];
  if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"out", 0, output)) return 126;
  const char *unix_output = unix_name(output);
  if (!unix_output) return 126;
  char *script = malloc(strlen(unix_output) + 64);
  char **argv = calloc(argc + 4, sizeof *argv);
  if (!script || !argv) return 126;
  strcpy(script, "exec \"$0\" \"$@\" > '");
  strcat(script, unix_output);
  strcat(script, "' 2>&1");
  argv[0] = "/bin/sh";
  argv[1] = "-c";
  argv[2] = script;
  argv[3] = Utf8(name);
  for (int i = 1; i < argc; ++i) {
    const wchar_t *a = args[i];
    const int path = a[0] && a[1] == L':' && a[2] == L'\\';
    argv[3 + i] = path ? unix_name(a) : Utf8(a);
    if (!argv[3 + i]) return 126;
  }
  const int code = (int)spawn(argv, 1);
  HANDLE in = CreateFileW(output, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  char chunk[4096];
  DWORD got = 0, put = 0;
  while (in != INVALID_HANDLE_VALUE && ReadFile(in, chunk, sizeof chunk, &got, NULL) && got > 0) {
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), chunk, got, &put, NULL);
  }
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
  DeleteFileW(output);
  return code;
}
