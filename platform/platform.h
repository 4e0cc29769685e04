// The seam between the installer and the system it runs on.
//
// `Platform` names exactly the services the installer uses. Each call keeps the result the
// Win32 call gives (a BOOL-like success flag, a Win32 error code, a handle that may be the
// "invalid" value), so the step code above decides what a failure means. Two implementations:
// platform/win32 (thin calls of the real functions) and platform/fake (an in-memory model for
// the unit tests). Only platform/win32 includes <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

// ---- Message boxes -------------------------------------------------------------------------
enum : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbIconError = 0x10,
  kMbIconExclamation = 0x30,
};
enum : int { kIdOk = 1, kIdCancel = 2 };

// ---- Files -----------------------------------------------------------------------------------
using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;  // INVALID_HANDLE_VALUE
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;
constexpr std::uint32_t kAttrReadOnly = 0x1;
constexpr std::uint32_t kAttrDirectory = 0x10;

enum class FileOpen {
  kCreateAlways,  // CREATE_ALWAYS, read + write, no sharing: replaces an existing file
  kOpenRead,      // OPEN_EXISTING, read, no sharing
};

enum : unsigned { kDriveUnknown = 0, kDriveNoRootDir = 1, kDriveRemovable = 2, kDriveFixed = 3,
                  kDriveRemote = 4, kDriveCdrom = 5, kDriveRamdisk = 6 };

// ---- Registry --------------------------------------------------------------------------------
using RegKey = std::uintptr_t;
constexpr RegKey kHkeyClassesRoot = 0x80000000u;
constexpr RegKey kHkeyCurrentUser = 0x80000001u;
constexpr RegKey kHkeyLocalMachine = 0x80000002u;
enum : std::uint32_t { kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4 };
enum : std::uint32_t { kKeyRead = 0x20019, kKeyWrite = 0x20006, kKeyAllAccess = 0xF003F };
enum : long { kErrorSuccess = 0, kErrorFileNotFound = 2, kErrorAccessDenied = 5,
              kErrorSharingViolation = 32, kErrorLockViolation = 33 };

// ---- Window system ---------------------------------------------------------------------------
enum class Pointer { kArrow, kHourglass };

// NONCLIENTMETRICSA as the system exchanges it with `cbSize` 340 (without the padded border
// width that newer headers add). Kept byte-exact so that both platforms hand it through as is.
#pragma pack(push, 1)
struct LogFont {
  std::int32_t height, width, escapement, orientation, weight;
  std::uint8_t italic, underline, strike_out, char_set;
  std::uint8_t out_precision, clip_precision, quality, pitch_and_family;
  char face_name[32];
};
struct NonClientMetrics {
  std::uint32_t cb_size;
  std::int32_t border_width, scroll_width, scroll_height, caption_width, caption_height;
  LogFont caption_font;
  std::int32_t sm_caption_width, sm_caption_height;
  LogFont sm_caption_font;
  std::int32_t menu_width, menu_height;
  LogFont menu_font, status_font, message_font;
};
#pragma pack(pop)
static_assert(sizeof(LogFont) == 60, "LOGFONTA is 60 bytes");
static_assert(offsetof(LogFont, char_set) == 23, "lfCharSet offset");
static_assert(sizeof(NonClientMetrics) == 340, "NONCLIENTMETRICSA without iPaddedBorderWidth");

// ---- Shell -----------------------------------------------------------------------------------
enum : int { kCsidlDesktop = 0, kCsidlPrograms = 2 };

// Properties handed to the shell's link object, in the order the shortcut step sets them.
struct ShellLinkRequest {
  std::string description, path, working_directory, icon_path;
  int icon_index = 0;
  std::string file;  // ANSI name; the platform converts it with CP_ACP for IPersistFile::Save
};
// How far the COM work of one shell link got; each platform reports the same stages.
enum class ShellLinkOutcome { kNoLinkObject, kNoPersistFile, kSaveCalled };

// What LockSetup found.
enum class SetupLock { kTaken, kHeldElsewhere, kUnavailable };

class FormEvents;
class FormView;

class Platform {
 public:
  virtual ~Platform() = default;

  // Files and folders.
  virtual std::string CurrentDir() = 0;                      // GetCurrentDirectoryA, 260 bytes
  virtual bool SetCurrentDir(const std::string& path) = 0;  // SetCurrentDirectoryA
  virtual std::string WindowsDir() = 0;                      // GetWindowsDirectoryA, 260 bytes
  virtual std::string SystemDir() = 0;                       // GetSystemDirectoryA, 260 bytes
  virtual bool FileExists(const std::string& path) = 0;      // a file, never a folder
  virtual std::uint32_t Attributes(const std::string& path) = 0;  // GetFileAttributesA
  virtual FileHandle OpenFile(const std::string& path, FileOpen how) = 0;
  // ReadFile / WriteFile: the byte count comes back in *done (0 when the call fails).
  virtual bool Read(FileHandle f, void* buffer, std::uint32_t size, std::uint32_t* done) = 0;
  virtual bool Write(FileHandle f, const void* data, std::uint32_t size, std::uint32_t* done) = 0;
  virtual std::int64_t FileSize(FileHandle f) = 0;  // -1 on failure
  virtual bool Close(FileHandle f) = 0;
  virtual bool EraseFile(const std::string& path) = 0;
  virtual bool MakeDir(const std::string& path) = 0;    // CreateDirectoryA, one level
  virtual bool RemoveDir(const std::string& path) = 0;  // RemoveDirectoryA, empty folders only
  virtual bool DiskFreeSpace(const std::string& root, std::uint32_t* sectors_per_cluster,
                             std::uint32_t* bytes_per_sector, std::uint32_t* free_clusters,
                             std::uint32_t* total_clusters) = 0;
  virtual unsigned DriveType(const std::string& root) = 0;

  // Texts that cross the program's edge as Unicode (UTF-8 here: the command line, the log).
  // `utf8` in the system's ANSI code page, exactly: false when the code page cannot hold it, so
  // that no path is ever named by a look-alike of the text given.
  virtual bool Utf8ToSystem(const std::string& utf8, std::string* system) = 0;
  virtual std::string SystemToUtf8(const std::string& system) = 0;
  // The name under which the file system keeps the existing file `path` (UTF-8): its long name
  // where `path` gives a short one. Empty when there is no such file.
  virtual std::string StoredFileName(const std::string& path) = 0;
  // Creates the log file `path` (UTF-8, opened by that very name), replacing one of that name,
  // for writing; others may read it while it is open.
  virtual FileHandle CreateLog(const std::string& path) = 0;

  // Registry (ANSI functions). Keys are the system's handles or the predefined roots.
  virtual long RegCreate(RegKey root, const std::string& path, std::uint32_t access,
                            RegKey* key) = 0;
  virtual long RegOpen(RegKey root, const std::string& path, std::uint32_t access,
                          RegKey* key) = 0;
  // RegQueryValueExA into a growing buffer: the whole stored data comes back in *data.
  virtual long RegQuery(RegKey key, const std::string& name, std::uint32_t* type,
                             std::string* data) = 0;
  virtual long RegSet(RegKey key, const std::string& name, std::uint32_t type,
                           const void* data, std::uint32_t size) = 0;
  virtual long RegDelete(RegKey root, const std::string& path) = 0;
  virtual long RegClose(RegKey key) = 0;

  // Shell.
  // SHGetSpecialFolderLocation + SHGetPathFromIDListA; false when the shell gives no path.
  virtual bool SpecialFolderPath(int csidl, std::string* path) = 0;
  // The shell's folder browser, modal to the wizard window; true with *path when confirmed, and
  // true with an empty *path when the folder chosen has a name the system's code page cannot hold.
  virtual bool BrowseForFolder(const std::string& title, const std::string& start,
                               std::string* path) = 0;
  // CoInitialize, CoCreateInstance(CLSID_ShellLink), QueryInterface(IPersistFile), the four
  // setters, Save, the releases and CoUninitialize, in that order.
  virtual ShellLinkOutcome WriteShellLink(const ShellLinkRequest& request) = 0;

  // DDE client (DDEML) and program start.
  // The process's one DDEML instance, from DdeStart to DdeStop; DdeInitializeA may be put off
  // until the first conversation, so that start-up does not pay for it.
  virtual bool DdeStart() = 0;
  virtual void DdeStop() = 0;  // DdeUninitialize, when the instance was made
  // DdeCreateStringHandleA for service and topic, DdeConnect; 0 when no server answers.
  virtual std::uintptr_t DdeConnect(const std::string& service, const std::string& topic) = 0;
  // DdeCreateDataHandle (CF_TEXT, size counting the NUL) + XTYP_EXECUTE with TIMEOUT_ASYNC.
  virtual bool DdeExecute(std::uintptr_t conversation, const std::string& text) = 0;
  virtual void DdeDisconnect(std::uintptr_t conversation) = 0;  // also frees the string handles
  virtual unsigned WinExec(const std::string& command_line) = 0;  // SW_SHOWMINNOACTIVE

  // Other setups and programs on the machine.
  // Takes the machine-wide setup lock for the rest of the process: a named mutex in the global
  // namespace where the system has one, a plain name where it has none (Windows 9x, NT 4).
  // kHeldElsewhere when another process made it first, or made it so that this one may not open
  // it (access denied: another user's setup); kUnavailable when the system gave no answer either
  // way.
  virtual SetupLock LockSetup() = 0;
  // Brings the wizard window of a setup that runs in this session to the front (with the box it
  // shows, if any). False when there is none to show (an unattended run, another session, a
  // setup still starting).
  virtual bool ShowRunningSetup() = 0;
  // CreateFileA with write and delete access, no sharing, OPEN_EXISTING, closed at once: 0 when
  // the file could be replaced and deleted now, else the Win32 error (kErrorSharingViolation: a
  // program holds it open, as a running program holds its own file). Changes nothing.
  virtual long OpenForDelete(const std::string& path) = 0;
  // The name of a program that holds `path` (the system's code page) open, as Restart Manager
  // gives it (rstrtmgr.dll from the system folder; Vista and later), in UTF-8. Empty where there
  // is no Restart Manager or it names none: the caller may not depend on an answer.
  virtual std::string FileHolder(const std::string& path) = 0;

  // Window system.
  virtual int ShowMessage(const std::string& text, const std::string& caption, unsigned flags) = 0;
  virtual void PumpMessages() = 0;  // process every pending message, then return
  virtual void SetPointer(Pointer pointer) = 0;
  virtual bool GetNonClientMetrics(NonClientMetrics* metrics) = 0;  // SPI_GETNONCLIENTMETRICS
  virtual bool SetNonClientMetrics(const NonClientMetrics& metrics) = 0;  // fWinIni 0
  virtual std::string LocalTime() = 0;  // GetLocalTime as "YYYY-MM-DD HH:MM:SS.mmm"

  // The seal block reserved in the program's own file (media/seal.h): kSealBlockSize bytes, all
  // zero unless the media builder sealed it; empty where the program has no such block.
  virtual std::string OwnSealBlock() = 0;
  // The program's own file, opened by its Unicode name (the ANSI one where the system has no
  // Unicode file functions) for reading, sharing reading only; kInvalidFile when it cannot be.
  virtual FileHandle OpenOwnProgram() = 0;
  // The name of the program's own file, without its folder, in UTF-8.
  virtual std::string OwnProgramName() = 0;
  // SetFilePointer to `offset` bytes from the file's start; false when it fails.
  virtual bool Seek(FileHandle f, std::uint64_t offset) = 0;

  // The application and its one window.
  virtual void SetApplicationTitle(const std::string& title) = 0;
  // The window that shows the form's controls and reports the user's actions to `form`. Null
  // when the system cannot create it (its desktop heap exhausted, say).
  virtual FormView* CreateFormWindow(FormEvents& form) = 0;
  virtual void RunMessageLoop() = 0;  // until the wizard window has closed
};

}  // namespace kv
