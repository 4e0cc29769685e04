#include "platform/win32/win32_platform.h"

#include <ddeml.h>
#include <objidl.h>
#include <restartmanager.h>
#include <shlobj.h>

#include <vector>

#include "media/seal.h"
#include "platform/win32/form_window.h"

namespace kv {

// ---- DLL search ----------------------------------------------------------------------------------

namespace {
bool g_default_dirs = false;  // SetDefaultDllDirectories restricted the search of every load
}  // namespace

void HardenDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  using SetDefaultDirs = BOOL(WINAPI*)(DWORD);
  using SetDllDir = BOOL(WINAPI*)(LPCSTR);
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  if (auto set_default = reinterpret_cast<SetDefaultDirs>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))) {
    g_default_dirs = set_default(kSearchSystem32) != FALSE;
  }
  if (auto set_dir = reinterpret_cast<SetDllDir>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")))) {
    set_dir("");  // takes the current folder out of the search
  }
}

HMODULE LoadSystemLibrary(const char* name) {
  char path[MAX_PATH + 32];
  const UINT n = GetSystemDirectoryA(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  lstrcatA(path, "\\");
  lstrcatA(path, name);
  // Where the search is not restricted for every load, the library's own imports would be
  // looked for in the program's folder (the medium) first; the altered search path looks in the
  // library's folder, the system folder, instead.
  return LoadLibraryExA(path, nullptr, g_default_dirs ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

std::string CommandLineArguments(const char* ansi_arguments) {
  if (!WideTexts()) return Utf8Of(SystemText(ansi_arguments ? ansi_arguments : ""));
  // The program's name ends at its closing quote, or unquoted at the first blank, as the system
  // reads it; the blanks after it are not part of the arguments.
  const wchar_t* line = GetCommandLineW();
  if (!line) return std::string();
  if (*line == L'"') {
    for (++line; *line && *line != L'"'; ++line) {
    }
    if (*line) ++line;
  } else {
    while (*line && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return Utf8Of(line);
}

// ---- Texts --------------------------------------------------------------------------------------

LRESULT DefProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return (WideTexts() ? DefWindowProcW : DefWindowProcA)(window, message, w, l);
}

LRESULT CallProc(WNDPROC proc, HWND window, UINT message, WPARAM w, LPARAM l) {
  return (WideTexts() ? CallWindowProcW : CallWindowProcA)(proc, window, message, w, l);
}

void RegisterWindowClass(const WNDCLASSA& wc) {
  if (!WideTexts()) {
    RegisterClassA(&wc);
    return;
  }
  const std::wstring name = Cp1251Text(wc.lpszClassName);
  WNDCLASSW w = {};
  w.style = wc.style;
  w.lpfnWndProc = wc.lpfnWndProc == DefWindowProcA ? DefWindowProcW : wc.lpfnWndProc;
  w.hInstance = wc.hInstance;
  w.hIcon = wc.hIcon;
  w.hCursor = wc.hCursor;
  w.hbrBackground = wc.hbrBackground;
  w.lpszClassName = name.c_str();
  RegisterClassW(&w);
}

HWND MakeWindow(DWORD ex_style, const char* cls, const std::string& text, DWORD style, int x,
                int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                void* param) {
  if (!WideTexts()) {
    return CreateWindowExA(ex_style, cls, text.c_str(), style, x, y, width, height, parent, menu,
                           instance, param);
  }
  return CreateWindowExW(ex_style, Cp1251Text(cls).c_str(), Cp1251Text(text).c_str(), style, x, y,
                         width, height, parent, menu, instance, param);
}

namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }

HANDLE ToHandle(FileHandle f) { return reinterpret_cast<HANDLE>(f); }

HDDEDATA CALLBACK DdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM start) {
  if (message == BFFM_INITIALIZED) {
    SendMessageA(window, WideTexts() ? BFFM_SETSELECTIONW : BFFM_SETSELECTIONA, TRUE, start);
  }
  return 0;
}

// The shell and COM functions the steps use, looked up in shell32 and ole32 when first needed:
// loading either library pulls in many others, none of which the first window needs. Null when a
// library or function is missing.
struct ShellApi {
  decltype(&::SHGetSpecialFolderLocation) SHGetSpecialFolderLocation;
  decltype(&::SHGetPathFromIDListA) SHGetPathFromIDListA;
  decltype(&::SHBrowseForFolderA) SHBrowseForFolderA;
  decltype(&::CoInitialize) CoInitialize;
  decltype(&::CoUninitialize) CoUninitialize;
  decltype(&::CoCreateInstance) CoCreateInstance;
  decltype(&::CoTaskMemFree) CoTaskMemFree;
  // Unicode forms, used where WideTexts; null on a system without them.
  decltype(&::SHBrowseForFolderW) SHBrowseForFolderW;
  decltype(&::SHGetPathFromIDListW) SHGetPathFromIDListW;
};

const ShellApi* Shell() {
  static ShellApi api;
  static int state = 0;  // 0: not looked up yet, 1: complete, -1: missing
  if (state == 0) {
    HMODULE shell = LoadSystemLibrary("shell32.dll"), ole = LoadSystemLibrary("ole32.dll");
    struct Entry {
      HMODULE module;
      const char* name;
      void* slot;
      bool optional = false;
    } const entries[] = {
        {shell, "SHGetSpecialFolderLocation", &api.SHGetSpecialFolderLocation},
        {shell, "SHGetPathFromIDListA", &api.SHGetPathFromIDListA},
        {shell, "SHBrowseForFolderA", &api.SHBrowseForFolderA},
        {ole, "CoInitialize", &api.CoInitialize},
        {ole, "CoUninitialize", &api.CoUninitialize},
        {ole, "CoCreateInstance", &api.CoCreateInstance},
        {ole, "CoTaskMemFree", &api.CoTaskMemFree},
        {shell, "SHBrowseForFolderW", &api.SHBrowseForFolderW, true},
        {shell, "SHGetPathFromIDListW", &api.SHGetPathFromIDListW, true},
    };
    state = 1;
    for (const Entry& e : entries) {
      FARPROC f = e.module ? GetProcAddress(e.module, e.name) : nullptr;
      if (!f && !e.optional) state = -1;
      CopyMemory(e.slot, &f, sizeof f);
    }
  }
  return state == 1 ? &api : nullptr;
}

// The setup mutex's name, the same for every medium and edition; also the property that marks the
// wizard window, so that a second setup finds the window of this product's setup only.
constexpr char kSetupName[] = "VOLKRA-TENZ.Kelvantor.Setup";

BOOL CALLBACK FindMarkedWizard(HWND window, LPARAM found) {
  if (IsWindowVisible(window) && GetPropA(window, kSetupName)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

// GetWindowsDirectoryA or GetSystemDirectoryA into 260 bytes; empty when the call fails.
std::string SystemFolder(UINT(WINAPI* get)(LPSTR, UINT)) {
  char buffer[MAX_PATH] = {};
  const UINT n = get(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

}  // namespace

Win32Platform::Win32Platform(HINSTANCE instance) : instance_(instance) {}

Win32Platform::~Win32Platform() {
  if (setup_lock_) CloseHandle(setup_lock_);
}

// ---- Files ---------------------------------------------------------------------------------------

std::string Win32Platform::CurrentDir() {
  if (WideTexts()) {
    wchar_t wide[MAX_PATH] = {}, shorter[MAX_PATH] = {};
    const DWORD n = GetCurrentDirectoryW(MAX_PATH, wide);
    std::string ansi;
    if (n > 0 && n < MAX_PATH) {
      if (ToSystemText(std::wstring(wide, n), &ansi)) return ansi;
      // A folder the system's code page cannot name (a Cyrillic user name on an English Windows)
      // is named by its short form, where its volume keeps one: otherwise the medium's volumes
      // would be looked for under a look-alike name and not found.
      const DWORD m = GetShortPathNameW(wide, shorter, MAX_PATH);
      if (m > 0 && m < MAX_PATH && ToSystemText(std::wstring(shorter, m), &ansi)) return ansi;
    }
  }
  char buffer[MAX_PATH] = {};
  const DWORD n = GetCurrentDirectoryA(MAX_PATH, buffer);
  return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

bool Win32Platform::SetCurrentDir(const std::string& path) {
  return SetCurrentDirectoryA(path.c_str()) != 0;
}

std::string Win32Platform::WindowsDir() { return SystemFolder(GetWindowsDirectoryA); }

std::string Win32Platform::SystemDir() { return SystemFolder(GetSystemDirectoryA); }

bool Win32Platform::FileExists(const std::string& path) {
  // Attributes rather than a directory search: a name with wildcards matches nothing here.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::uint32_t Win32Platform::Attributes(const std::string& path) {
  return GetFileAttributesA(path.c_str());
}

FileHandle Win32Platform::OpenFile(const std::string& path, FileOpen how) {
  const bool create = how == FileOpen::kCreateAlways;
  HANDLE h = CreateFileA(path.c_str(), create ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, 0,
                         nullptr, create ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

bool Win32Platform::Read(FileHandle f, void* buffer, std::uint32_t size, std::uint32_t* done) {
  DWORD n = 0;
  const BOOL ok = ReadFile(ToHandle(f), buffer, size, &n, nullptr);
  *done = ok ? n : 0;
  return ok != 0;
}

bool Win32Platform::Write(FileHandle f, const void* data, std::uint32_t size,
                          std::uint32_t* done) {
  DWORD n = 0;
  const BOOL ok = WriteFile(ToHandle(f), data, size, &n, nullptr);
  *done = ok ? n : 0;
  return ok != 0;
}

std::int64_t Win32Platform::FileSize(FileHandle f) {
  DWORD high = 0;
  const DWORD low = GetFileSize(ToHandle(f), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
  return (static_cast<std::int64_t>(high) << 32) | low;
}

bool Win32Platform::Close(FileHandle f) { return CloseHandle(ToHandle(f)) != 0; }

bool Win32Platform::EraseFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool Win32Platform::MakeDir(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool Win32Platform::RemoveDir(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) != 0;
}

bool Win32Platform::DiskFreeSpace(const std::string& root, std::uint32_t* spc,
                                  std::uint32_t* bps, std::uint32_t* free_clusters,
                                  std::uint32_t* total) {
  DWORD a = 0, b = 0, c = 0, d = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &a, &b, &c, &d)) return false;
  *spc = a;
  *bps = b;
  *free_clusters = c;
  *total = d;
  return true;
}

unsigned Win32Platform::DriveType(const std::string& root) { return GetDriveTypeA(root.c_str()); }

bool Win32Platform::Utf8ToSystem(const std::string& utf8, std::string* system) {
  return ToSystemText(Utf8Text(utf8), system);
}

std::string Win32Platform::SystemToUtf8(const std::string& system) {
  return Utf8Of(SystemText(system));
}

std::string Win32Platform::StoredFileName(const std::string& path) {
  // A wildcard would find another file than the one named.
  if (path.find_first_of("*?") != std::string::npos) return std::string();
  std::string name;
  if (WideTexts()) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Utf8Text(path).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    FindClose(h);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) name = Utf8Of(found.cFileName);
  } else {
    std::string system;
    WIN32_FIND_DATAA found;
    HANDLE h = Utf8ToSystem(path, &system) ? FindFirstFileA(system.c_str(), &found)
                                           : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) return std::string();
    FindClose(h);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) name = SystemToUtf8(found.cFileName);
  }
  return name;
}

FileHandle Win32Platform::CreateLog(const std::string& path) {
  HANDLE h = INVALID_HANDLE_VALUE;
  if (WideTexts()) {
    h = CreateFileW(Utf8Text(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  } else if (std::string system; Utf8ToSystem(path, &system)) {
    h = CreateFileA(system.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

// ---- Registry ------------------------------------------------------------------------------------

long Win32Platform::RegCreate(RegKey root, const std::string& path, std::uint32_t access,
                                 RegKey* key) {
  HKEY h = nullptr;
  const LONG r = RegCreateKeyExA(ToHkey(root), path.c_str(), 0, const_cast<char*>(""),
                                 REG_OPTION_NON_VOLATILE, access, nullptr, &h, nullptr);
  *key = r == ERROR_SUCCESS ? reinterpret_cast<RegKey>(h) : 0;
  return r;
}

long Win32Platform::RegOpen(RegKey root, const std::string& path, std::uint32_t access,
                               RegKey* key) {
  HKEY h = nullptr;
  const LONG r = RegOpenKeyExA(ToHkey(root), path.c_str(), 0, access, &h);
  *key = r == ERROR_SUCCESS ? reinterpret_cast<RegKey>(h) : 0;
  return r;
}

long Win32Platform::RegQuery(RegKey key, const std::string& name, std::uint32_t* type,
                                  std::string* data) {
  DWORD size = 0, t = 0;
  LONG r = RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &t, nullptr, &size);
  for (int attempt = 0; r == ERROR_SUCCESS || r == ERROR_MORE_DATA; ++attempt) {
    std::vector<BYTE> buffer(size + 1);
    DWORD got = size;
    r = RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &t, buffer.data(), &got);
    if (r == ERROR_SUCCESS) {
      *type = t;
      data->assign(reinterpret_cast<const char*>(buffer.data()), got);
      return r;
    }
    if (r != ERROR_MORE_DATA || attempt == 3) break;
    size = got;
  }
  return r;
}

long Win32Platform::RegSet(RegKey key, const std::string& name, std::uint32_t type,
                                const void* data, std::uint32_t size) {
  return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
}

long Win32Platform::RegDelete(RegKey root, const std::string& path) {
  return RegDeleteKeyA(ToHkey(root), path.c_str());
}

long Win32Platform::RegClose(RegKey key) { return ::RegCloseKey(ToHkey(key)); }

// ---- Shell ---------------------------------------------------------------------------------------

bool Win32Platform::SpecialFolderPath(int csidl, std::string* path) {
  const ShellApi* api = Shell();
  LPITEMIDLIST list = nullptr;
  if (!api ||
      FAILED(api->SHGetSpecialFolderLocation(form_ ? form_->handle() : nullptr, csidl, &list)) ||
      !list) {
    return false;
  }
  char buffer[MAX_PATH] = {};
  const BOOL ok = api->SHGetPathFromIDListA(list, buffer);
  api->CoTaskMemFree(list);
  if (!ok || buffer[0] == '\0') return false;
  *path = buffer;
  return true;
}

bool Win32Platform::BrowseForFolder(const std::string& title, const std::string& start,
                                    std::string* path) {
  const ShellApi* api = Shell();
  if (!api) return false;
  const bool wide = WideTexts() && api->SHBrowseForFolderW && api->SHGetPathFromIDListW;
  char display[MAX_PATH] = {};
  wchar_t wide_display[MAX_PATH] = {};
  const std::wstring wide_title = Cp1251Text(title), wide_start = SystemText(start);
  BROWSEINFOA info = {};
  info.hwndOwner = form_ ? form_->handle() : nullptr;
  info.pszDisplayName = display;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(start.c_str());
  BROWSEINFOW wide_info = {info.hwndOwner, nullptr, wide_display, wide_title.c_str(),
                           info.ulFlags, BrowseCallback,
                           reinterpret_cast<LPARAM>(wide_start.c_str()), 0};
  // The browser is a shell object: COM on this thread for its life, balanced only when this call
  // initialised it.
  const bool com = SUCCEEDED(api->CoInitialize(nullptr));
  bool ok = false;
  if (LPITEMIDLIST list =
          wide ? api->SHBrowseForFolderW(&wide_info) : api->SHBrowseForFolderA(&info)) {
    char buffer[MAX_PATH] = {};
    wchar_t wide_buffer[MAX_PATH] = {};
    std::string chosen;
    // A folder whose name the system's code page cannot hold is not taken: it comes back as an
    // empty name, and the editor keeps its text rather than show a name of another folder.
    ok = wide ? api->SHGetPathFromIDListW(list, wide_buffer) != FALSE
              : api->SHGetPathFromIDListA(list, buffer) != FALSE;
    api->CoTaskMemFree(list);
    if (ok && wide && !ToSystemText(wide_buffer, &chosen)) chosen.clear();
    if (ok) *path = wide ? chosen : std::string(buffer);
  }
  if (com) api->CoUninitialize();
  return ok;
}

ShellLinkOutcome Win32Platform::WriteShellLink(const ShellLinkRequest& r) {
  const ShellApi* api = Shell();
  if (!api) return ShellLinkOutcome::kNoLinkObject;
  // The UTF-16 name first: nothing below allocates, so nothing can leave COM unbalanced.
  const int n = MultiByteToWideChar(CP_ACP, 0, r.file.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> wide(n > 0 ? n : 1);
  MultiByteToWideChar(CP_ACP, 0, r.file.c_str(), -1, wide.data(), n);
  const bool com = SUCCEEDED(api->CoInitialize(nullptr));
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  ShellLinkOutcome outcome = ShellLinkOutcome::kNoLinkObject;
  if (SUCCEEDED(api->CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void**>(&link)))) {
    outcome = ShellLinkOutcome::kNoPersistFile;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      link->SetDescription(r.description.c_str());
      link->SetPath(r.path.c_str());
      link->SetWorkingDirectory(r.working_directory.c_str());
      link->SetIconLocation(r.icon_path.c_str(), r.icon_index);
      file->Save(wide.data(), TRUE);
      outcome = ShellLinkOutcome::kSaveCalled;
    }
  }
  if (file) file->Release();
  if (link) link->Release();
  if (com) api->CoUninitialize();
  return outcome;
}

// ---- DDE -----------------------------------------------------------------------------------------

// The DDE instance is created with the first conversation: creating it costs the start-up a
// noticeable time, and only the program group step talks DDE.
bool Win32Platform::DdeStart() {
  dde_started_ = true;
  return true;
}

void Win32Platform::DdeStop() {
  if (dde_instance_) DdeUninitialize(dde_instance_);
  dde_instance_ = 0;
  dde_started_ = false;
}

std::uintptr_t Win32Platform::DdeConnect(const std::string& service, const std::string& topic) {
  if (!dde_instance_ && dde_started_ &&
      DdeInitializeA(&dde_instance_, DdeCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
    dde_instance_ = 0;
  }
  if (!dde_instance_) return 0;
  Conversation c;
  c.service = DdeCreateStringHandleA(dde_instance_, service.c_str(), CP_WINANSI);
  c.topic = DdeCreateStringHandleA(dde_instance_, topic.c_str(), CP_WINANSI);
  CONVCONTEXT context = {};
  context.cb = sizeof context;
  context.iCodePage = CP_WINANSI;
  HCONV conversation = ::DdeConnect(dde_instance_, c.service, c.topic, &context);
  if (!conversation) {
    DdeFreeStringHandle(dde_instance_, c.service);
    DdeFreeStringHandle(dde_instance_, c.topic);
    return 0;
  }
  conversations_[reinterpret_cast<std::uintptr_t>(conversation)] = c;
  return reinterpret_cast<std::uintptr_t>(conversation);
}

bool Win32Platform::DdeExecute(std::uintptr_t conversation, const std::string& text) {
  HDDEDATA data = DdeCreateDataHandle(
      dde_instance_, reinterpret_cast<LPBYTE>(const_cast<char*>(text.c_str())),
      static_cast<DWORD>(text.size() + 1), 0, nullptr, CF_TEXT, 0);
  if (!data) return false;
  DWORD result = 0;
  return DdeClientTransaction(reinterpret_cast<LPBYTE>(data), 0xFFFFFFFF,
                              reinterpret_cast<HCONV>(conversation), nullptr, 0, XTYP_EXECUTE,
                              TIMEOUT_ASYNC, &result) != nullptr;
}

void Win32Platform::DdeDisconnect(std::uintptr_t conversation) {
  ::DdeDisconnect(reinterpret_cast<HCONV>(conversation));
  auto it = conversations_.find(conversation);
  if (it == conversations_.end()) return;
  DdeFreeStringHandle(dde_instance_, it->second.service);
  DdeFreeStringHandle(dde_instance_, it->second.topic);
  conversations_.erase(it);
}

unsigned Win32Platform::WinExec(const std::string& command_line) {
  return ::WinExec(command_line.c_str(), SW_SHOWMINNOACTIVE);
}

// ---- Other processes -----------------------------------------------------------------------------

SetupLock Win32Platform::LockSetup() {
  if (setup_lock_) return SetupLock::kTaken;
  const std::string global = std::string("Global\\") + kSetupName;
  SetLastError(ERROR_SUCCESS);
  HANDLE lock = CreateMutexA(nullptr, FALSE, global.c_str());
  DWORD error = GetLastError();
  if (!lock && error != ERROR_ACCESS_DENIED) {
    // No namespaces (Windows 9x and NT 4 refuse a name with a backslash): one plain name is
    // already seen by the whole machine.
    SetLastError(ERROR_SUCCESS);
    lock = CreateMutexA(nullptr, FALSE, kSetupName);
    error = GetLastError();
  }
  if (!lock) {
    return error == ERROR_ACCESS_DENIED ? SetupLock::kHeldElsewhere : SetupLock::kUnavailable;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    CloseHandle(lock);
    return SetupLock::kHeldElsewhere;
  }
  setup_lock_ = lock;
  return SetupLock::kTaken;
}

bool Win32Platform::ShowRunningSetup() {
  HWND wizard = nullptr;
  EnumWindows(FindMarkedWizard, reinterpret_cast<LPARAM>(&wizard));
  if (!wizard) return false;
  if (IsIconic(wizard)) ShowWindowAsync(wizard, SW_RESTORE);
  // The box the wizard shows, if any, is what the user must answer.
  HWND front = GetLastActivePopup(wizard);
  SetForegroundWindow(front && IsWindowVisible(front) ? front : wizard);
  return true;
}

long Win32Platform::OpenForDelete(const std::string& path) {
  // Write access as well: Windows lets a running program's file be opened for delete (renamed),
  // never for writing.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<long>(GetLastError());
  CloseHandle(h);
  return kErrorSuccess;
}

std::string Win32Platform::FileHolder(const std::string& path) {
  using Start = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
  using Register = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
  using List = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD);
  using End = DWORD(WINAPI*)(DWORD);
  static HMODULE rm = WideTexts() ? LoadSystemLibrary("rstrtmgr.dll") : nullptr;
  if (!rm) return std::string();
  auto proc = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(rm, name)); };
  const auto start = reinterpret_cast<Start>(proc("RmStartSession"));
  const auto add = reinterpret_cast<Register>(proc("RmRegisterResources"));
  const auto list = reinterpret_cast<List>(proc("RmGetList"));
  const auto end = reinterpret_cast<End>(proc("RmEndSession"));
  if (!start || !add || !list || !end) return std::string();
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (start(&session, 0, key) != ERROR_SUCCESS) return std::string();
  std::string name;
  const std::wstring file = SystemText(path);
  LPCWSTR files[] = {file.c_str()};
  if (add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
    std::vector<RM_PROCESS_INFO> programs(4);
    UINT needed = 0, count = static_cast<UINT>(programs.size());
    DWORD reasons = 0;
    DWORD r = list(session, &needed, &count, programs.data(), &reasons);
    if (r == ERROR_MORE_DATA && needed > 0 && needed < 4096) {
      programs.resize(needed);
      count = needed;
      r = list(session, &needed, &count, programs.data(), &reasons);
    }
    if (r == ERROR_SUCCESS && count > 0) {
      programs[0].strAppName[CCH_RM_MAX_APP_NAME] = L'\0';
      name = Utf8Of(programs[0].strAppName);
    }
  }
  end(session);
  return name;
}

// ---- Window system -------------------------------------------------------------------------------

int Win32Platform::ShowMessage(const std::string& text, const std::string& caption,
                              unsigned flags) {
  HWND owner = form_ && IsWindow(form_->handle()) ? form_->handle() : nullptr;
  if (WideTexts()) {
    return MessageBoxW(owner, Cp1251Text(text).c_str(), Cp1251Text(caption).c_str(), flags);
  }
  return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

bool Win32Platform::Dispatch(MSG& msg) {
  if (msg.message == WM_QUIT) {
    quit_ = true;
    return false;
  }
  const auto is_dialog_message = WideTexts() ? IsDialogMessageW : IsDialogMessageA;
  if (!form_ || !IsWindow(form_->handle()) || !is_dialog_message(form_->handle(), &msg)) {
    TranslateMessage(&msg);
    (WideTexts() ? DispatchMessageW : DispatchMessageA)(&msg);
  }
  return true;
}

void Win32Platform::PumpMessages() {
  MSG msg;
  while (!quit_ && (WideTexts() ? PeekMessageW : PeekMessageA)(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!Dispatch(msg)) break;
  }
}

// The seal block in a section of its own, zero as built: the media builder finds the section by
// its name in the program file and writes the medium's seal there before it signs the program.
extern "C" __attribute__((section(".kvseal"), used)) const unsigned char kv_seal_block[kSealBlockSize] = {};

std::string Win32Platform::OwnSealBlock() {
  // Read through a volatile pointer: the compiler knows the block as zero and would fold it.
  const volatile unsigned char* block = kv_seal_block;
  std::string bytes(kSealBlockSize, '\0');
  for (std::size_t i = 0; i < kSealBlockSize; ++i) bytes[i] = static_cast<char>(block[i]);
  return bytes;
}

FileHandle Win32Platform::OpenOwnProgram() {
  HANDLE h = INVALID_HANDLE_VALUE;
  if (WideTexts()) {
    // A long path's name is cut short without an error but for the buffer being full.
    std::wstring module(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (n == 0 || n >= module.size()) return kInvalidFile;
    module.resize(n);
    h = CreateFileW(module.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  } else {
    char module[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return kInvalidFile;
    h = CreateFileA(module, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

std::string Win32Platform::OwnProgramName() {
  std::string name;
  if (WideTexts()) {
    std::wstring module(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (n == 0 || n >= module.size()) return std::string();
    module.resize(n);
    name = Utf8Of(module);
  } else {
    char module[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return std::string();
    name = SystemToUtf8(module);
  }
  return name.substr(name.find_last_of("\\/") + 1);
}

bool Win32Platform::Seek(FileHandle f, std::uint64_t offset) {
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(ToHandle(f), static_cast<LONG>(offset & 0xFFFFFFFFu), &high,
                                   FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

std::string Win32Platform::LocalTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char text[32];
  wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
            t.wMinute, t.wSecond, t.wMilliseconds);
  return text;
}

void Win32Platform::SetPointer(Pointer pointer) {
  hourglass_ = pointer == Pointer::kHourglass;
  SetCursor(LoadCursor(nullptr, hourglass_ ? IDC_WAIT : IDC_ARROW));
}

bool Win32Platform::GetNonClientMetrics(NonClientMetrics* metrics) {
  return SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, metrics, 0) != 0;
}

bool Win32Platform::SetNonClientMetrics(const NonClientMetrics& metrics) {
  NonClientMetrics copy = metrics;
  return SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, 0, &copy, 0) != 0;
}

// The application's hidden owner window: its caption is the application title, by default the
// program file's name without its extension.
HWND Win32Platform::Application() {
  if (application_) return application_;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = instance_;
  wc.lpszClassName = "TApplication";
  RegisterWindowClass(wc);
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  std::string title = module;
  title = title.substr(title.find_last_of("\\/") + 1);
  title = title.substr(0, title.rfind('.'));
  application_ = MakeWindow(0, "TApplication", "", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU,
                            0, 0, 0, 0, nullptr, nullptr, instance_, nullptr);
  // The file name is the system's text, not the program's.
  if (WideTexts()) {
    SetWindowTextW(application_, SystemText(title).c_str());
  } else {
    SetWindowTextA(application_, title.c_str());
  }
  return application_;
}

void Win32Platform::SetApplicationTitle(const std::string& title) {
  if (WideTexts()) {
    SetWindowTextW(Application(), Cp1251Text(title).c_str());
  } else {
    SetWindowTextA(Application(), title.c_str());
  }
}

FormView* Win32Platform::CreateFormWindow(FormEvents& form) {
  Application();
  form_ = std::make_unique<FormWindow>(*this, instance_, form, application_);
  if (!form_->handle()) {
    form_.reset();
  } else {
    SetPropA(form_->handle(), kSetupName, reinterpret_cast<HANDLE>(1));  // see ShowRunningSetup
  }
  return form_.get();
}

void Win32Platform::RunMessageLoop() {
  MSG msg;
  while (!quit_ && (WideTexts() ? GetMessageW : GetMessageA)(&msg, nullptr, 0, 0) > 0) {
    Dispatch(msg);
  }
}

}  // namespace kv
