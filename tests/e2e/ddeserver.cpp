// A Program Manager stand-in for the tests: serves the DDE service "ProgMan", topic "ProgMan",
// and writes the data of every execute request it receives, byte for byte, to OUTFILE (appended).
// Writes READYFILE once it serves; ends after `seconds` (default 60).
//   ddeserver.exe OUTFILE READYFILE [seconds]
#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <cstdlib>

namespace {

DWORD g_instance = 0;
HSZ g_service = nullptr;
const char* g_out = nullptr;

HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ topic, HSZ service, HDDEDATA data,
                           ULONG_PTR, ULONG_PTR) {
  switch (type) {
    case XTYP_CONNECT:
      return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(
          DdeCmpStringHandles(service, g_service) == 0 && DdeCmpStringHandles(topic, g_service) == 0));
    case XTYP_EXECUTE: {
      const DWORD size = DdeGetData(data, nullptr, 0, 0);
      char* bytes = static_cast<char*>(std::malloc(size ? size : 1));
      DdeGetData(data, reinterpret_cast<LPBYTE>(bytes), size, 0);
      if (FILE* f = std::fopen(g_out, "ab")) {
        std::fwrite(bytes, 1, size, f);
        std::fclose(f);
      }
      std::free(bytes);
      return reinterpret_cast<HDDEDATA>(DDE_FACK);
    }
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  g_out = argv[1];
  const DWORD seconds = argc > 3 ? std::atoi(argv[3]) : 60;
  if (DdeInitializeA(&g_instance, Callback, APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS, 0)) return 1;
  g_service = DdeCreateStringHandleA(g_instance, "ProgMan", CP_WINANSI);
  if (!DdeNameService(g_instance, g_service, nullptr, DNS_REGISTER)) return 1;
  if (FILE* f = std::fopen(argv[2], "wb")) std::fclose(f);
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < seconds * 1000) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
  DdeNameService(g_instance, g_service, nullptr, DNS_UNREGISTER);
  DdeUninitialize(g_instance);
  return 0;
}
