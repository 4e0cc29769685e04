// The platform as the real Win32 functions give it.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/win32/system_text.h"

namespace kv {

class FormWindow;

// Restricts the DLL search to the system folder where the system offers that, before anything
// else is loaded: the installer runs from floppies, shares and download folders.
void HardenDllSearch();
// Loads a system DLL by its full path in the system folder.
HMODULE LoadSystemLibrary(const char* name);
// The command line after the program's name, as UTF-8: the system's Unicode line where WideTexts,
// else `ansi_arguments` (WinMain's) through the system's code page.
std::string CommandLineArguments(const char* ansi_arguments);

// The window functions whose A and W forms take the same arguments, in the form WideTexts picks.
LRESULT DefProc(HWND window, UINT message, WPARAM w, LPARAM l);
LRESULT CallProc(WNDPROC proc, HWND window, UINT message, WPARAM w, LPARAM l);
// Registers a window class (its name is ASCII) as a Unicode class where WideTexts.
void RegisterWindowClass(const WNDCLASSA& wc);
// CreateWindowEx with a Windows-1251 text (ASCII class names).
HWND MakeWindow(DWORD ex_style, const char* cls, const std::string& text, DWORD style, int x,
                int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                void* param);

class Win32Platform : public Platform {
 public:
  explicit Win32Platform(HINSTANCE instance);
  ~Win32Platform() override;

  std::string CurrentDir() override;
  bool SetCurrentDir(const std::string& path) override;
  std::string WindowsDir() override;
  std::string SystemDir() override;
  bool FileExists(const std::string& path) override;
  std::uint32_t Attributes(const std::string& path) override;
  FileHandle OpenFile(const std::string& path, FileOpen how) override;
  bool Read(FileHandle f, void* buffer, std::uint32_t size, std::uint32_t* done) override;
  bool Write(FileHandle f, const void* data, std::uint32_t size, std::uint32_t* done) override;
  std::int64_t FileSize(FileHandle f) override;
  bool Close(FileHandle f) override;
  bool EraseFile(const std::string& path) override;
  bool MakeDir(const std::string& path) override;
  bool RemoveDir(const std::string& path) override;
  bool DiskFreeSpace(const std::string& root, std::uint32_t* sectors_per_cluster,
                     std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                     std::uint32_t* total_clusters) override;
  unsigned DriveType(const std::string& root) override;
  bool Utf8ToSystem(const std::string& utf8, std::string* system) override;
  std::string SystemToUtf8(const std::string& system) override;
  std::string StoredFileName(const std::string& path) override;
  FileHandle CreateLog(const std::string& path) override;

  long RegCreate(RegKey root, const std::string& path, std::uint32_t access,
                    RegKey* key) override;
  long RegOpen(RegKey root, const std::string& path, std::uint32_t access,
                  RegKey* key) override;
  long RegQuery(RegKey key, const std::string& name, std::uint32_t* type,
                     std::string* data) override;
  long RegSet(RegKey key, const std::string& name, std::uint32_t type, const void* data,
                   std::uint32_t size) override;
  long RegDelete(RegKey root, const std::string& path) override;
  long RegClose(RegKey key) override;

  bool SpecialFolderPath(int csidl, std::string* path) override;
  bool BrowseForFolder(const std::string& title, const std::string& start,
                       std::string* path) override;
  ShellLinkOutcome WriteShellLink(const ShellLinkRequest& request) override;

  bool DdeStart() override;
  void DdeStop() override;
  std::uintptr_t DdeConnect(const std::string& service, const std::string& topic) override;
  bool DdeExecute(std::uintptr_t conversation, const std::string& text) override;
  void DdeDisconnect(std::uintptr_t conversation) override;
  unsigned WinExec(const std::string& command_line) override;

  SetupLock LockSetup() override;
  bool ShowRunningSetup() override;
  long OpenForDelete(const std::string& path) override;
  std::string FileHolder(const std::string& path) override;

  int ShowMessage(const std::string& text, const std::string& caption, unsigned flags) override;
  void PumpMessages() override;
  std::string LocalTime() override;
  std::string OwnSealBlock() override;
  FileHandle OpenOwnProgram() override;
  std::string OwnProgramName() override;
  bool Seek(FileHandle f, std::uint64_t offset) override;
  void SetPointer(Pointer pointer) override;
  bool GetNonClientMetrics(NonClientMetrics* metrics) override;
  bool SetNonClientMetrics(const NonClientMetrics& metrics) override;

  void SetApplicationTitle(const std::string& title) override;
  FormView* CreateFormWindow(FormEvents& form) override;
  void RunMessageLoop() override;

  bool hourglass() const { return hourglass_; }

 private:
  bool Dispatch(MSG& msg);  // false on WM_QUIT
  HWND Application();

  HINSTANCE instance_;
  HWND application_ = nullptr;  // hidden owner window holding the application title
  std::unique_ptr<FormWindow> form_;
  bool quit_ = false;
  bool hourglass_ = false;
  DWORD dde_instance_ = 0;
  bool dde_started_ = false;  // DdeStart called: the instance follows with the first conversation
  struct Conversation {
    HSZ service, topic;
  };
  std::map<std::uintptr_t, Conversation> conversations_;
  HANDLE setup_lock_ = nullptr;  // the setup mutex, held until the process ends
};

}  // namespace kv
