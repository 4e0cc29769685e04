// An in-memory model of exactly the services the installer uses, for the unit tests: drives with
// given free space and type, files that are read-only, held open or unreadable, a registry with
// keys that refuse writes, scripted message-box answers, a hook at every message pump, DDE and
// shell results chosen by the test.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/form_events.h"
#include "platform/form_view.h"
#include "platform/platform.h"

namespace kv {

// Keeps each control's state as the real window would show it: every call changes one property,
// and the folder editor's text is changed by the user (Type) as well as by the program.
class FakePlatform;

class FakeView : public FormView {
 public:
  // A text change allocates in the real window: it counts as a working call of the platform
  // (see FakePlatform::fail_call).
  void SetText(Ctl c, const std::string& text) override;
  void SetVisible(Ctl c, bool visible) override { at(c).visible = visible; }
  void SetEnabled(Ctl c, bool enabled) override { at(c).enabled = enabled; }
  void SetProgress(Ctl c, int position, int maximum) override {
    at(c).position = position;
    at(c).maximum = maximum;
  }
  // The editor holds Unicode, as the real one does: a text put in as UTF-8 is checked as it is
  // read back.
  std::string EditText() override;
  std::string EditTextUtf8() override;
  void SetEditTextUtf8(const std::string& utf8) override {
    at(Ctl::Edit1).text = utf8;
    edit_utf8_ = true;
  }
  void Focus(Ctl c) override {
    if (visible && at(c).visible) focused = c;  // a hidden window takes no focus
  }
  void Repaint() override { ++repaints; }
  void Close() override;
  void ShowForm() override { visible = true; }
  bool LoadRichText(const std::string& content, bool rtf) override;
  int ShowMessage(const std::string& text, const std::string& caption, unsigned flags) override;

  // What the user types into the folder editor (replacing its text).
  void Type(const std::string& text) {
    at(Ctl::Edit1).text = text;
    edit_utf8_ = false;
  }
  // The close box (or the system menu's Close, or Alt+F4), as the real window handles it: the
  // form decides; a window that is to stay open meanwhile is hidden.
  void CloseBox();
  const ControlState& operator[](Ctl c) const { return shown[static_cast<int>(c)]; }

  std::array<ControlState, kControlCount> shown;
  Ctl focused = Ctl::kCount;
  int repaints = 0;
  bool visible = false;
  bool hidden = false;  // hidden by the close box until the installation sequence returns
  bool closed = false;
  std::string licence;
  bool licence_rtf = false;
  bool reject_rtf = false;  // the viewer refuses the content as rich text
  FormEvents* form = nullptr;  // what the window reports to
  FakePlatform* platform = nullptr;  // whose boxes the window's are, and whose calls it counts
  std::function<void()> on_close;  // runs as the window closes

 private:
  ControlState& at(Ctl c) { return shown[static_cast<int>(c)]; }
  bool edit_utf8_ = false;  // the editor's text came as UTF-8, not in the system's code page
};

// What the user does while the window is up: a callable that takes the object the window reports
// to as the type the test knows it by (`[&](Form& form) { ... }`), which must be the type of the
// object the window was created with.
class UserAtWindow {
 public:
  template <typename Act>
  UserAtWindow& operator=(Act act) {
    using Form = typename FormOf<decltype(&Act::operator())>::type;
    act_ = [act = std::move(act)](FormEvents& form) mutable { act(static_cast<Form&>(form)); };
    return *this;
  }
  explicit operator bool() const { return static_cast<bool>(act_); }
  void operator()(FormEvents& form) { act_(form); }

 private:
  template <typename Call> struct FormOf;
  template <typename Self, typename Form>
  struct FormOf<void (Self::*)(Form&) const> { using type = Form; };
  template <typename Self, typename Form>
  struct FormOf<void (Self::*)(Form&)> { using type = Form; };
  std::function<void(FormEvents&)> act_;
};

class FakePlatform : public Platform {
 public:
  FakePlatform();
  ~FakePlatform() override;  // the process ends: its setup lock goes

  // ---- Setting up the world ----
  struct Drive {
    unsigned type = kDriveFixed;
    bool medium = true;  // false: no disc or floppy in the drive
    std::uint64_t free_bytes = 4ull << 30;
    bool space_query_fails = false;
  };
  void AddDrive(char letter, const Drive& drive);
  Drive& drive(char letter);
  void AddFolder(const std::string& path);  // with every missing parent
  void AddFile(const std::string& path, const std::string& content = "", bool read_only = false);
  void SetReadOnly(const std::string& path, bool read_only);
  void HoldOpen(const std::string& path);  // another program holds it open without sharing
  void FailReads(const std::string& path);  // every read of this file fails
  bool HasFile(const std::string& path);
  bool HasFolder(const std::string& path);
  std::string Content(const std::string& path);
  // Every file and folder, full paths as created, sorted; for "nothing else changed" checks.
  std::vector<std::string> Tree();
  int open_files() const { return static_cast<int>(handles_.size()); }

  std::string current_dir = "C:\\MEDIUM";
  // The system's ANSI code page: 1251, 1252 (its letters from U+00A0 on) or 65001 (UTF-8).
  unsigned code_page = 1251;
  bool window_fails = false;  // CreateFormWindow: the system cannot create the window
  std::vector<std::string> current_dir_changes;  // every successful SetCurrentDirectoryA
  std::string windows_dir = "C:\\WINDOWS";
  std::string system_dir = "C:\\WINDOWS\\SYSTEM";

  // Registry. Keys are written as "HKCU\\path", "HKLM\\path", "HKCR\\path".
  void SetRegValue(const std::string& key, const std::string& name, std::uint32_t type,
                   const std::string& data);
  bool HasRegKey(const std::string& key);
  bool GetRegValue(const std::string& key, const std::string& name, std::uint32_t* type,
                   std::string* data);
  void DenyRegWrites(const std::string& key_prefix) { reg_denied_.insert(Upper(key_prefix)); }
  std::vector<std::string> RegKeys();  // every key, sorted
  int open_keys() const { return static_cast<int>(reg_handles_.size()); }
  std::vector<std::string> reg_deletes;  // every RegDeleteKeyA call, "ROOT\\path"

  // Message boxes: each is logged; `answer` decides the button (OK when unset).
  struct Box {
    std::string text, caption;
    unsigned flags;
    bool owned = false;  // the wizard window existed (shown or hidden) as its owner
    int fonts_set = 0;   // SPI_SETNONCLIENTMETRICS calls made before it came
  };
  std::vector<Box> boxes;
  std::function<int(const Box&)> answer;

  // Message pumps: counted; `on_pump` runs inside each (a click handled there).
  int pumps = 0;
  std::function<void(int pump)> on_pump;

  std::vector<Pointer> pointers;  // every pointer change

  // Failure injection: the calls that do work (files, folders, registry, shell, DDE; not the
  // releases, boxes or pumps) are counted, and the one numbered `fail_call` throws
  // std::bad_alloc, as an allocation failing inside it would.
  int calls = 0;
  int fail_call = 0;

  // Fonts.
  bool metrics_query_ok = true;
  NonClientMetrics metrics{};  // what the system holds
  std::vector<NonClientMetrics> metrics_set;  // every SPI_SETNONCLIENTMETRICS

  // Shell.
  std::map<int, std::string> special_folders;  // CSIDL -> path; absent: the shell gives none
  std::function<bool(const std::string& start, std::string* path)> browser;
  std::vector<std::string> browse_starts;
  ShellLinkOutcome link_outcome = ShellLinkOutcome::kSaveCalled;
  std::map<std::string, ShellLinkRequest> links;  // by upper-case file path

  // DDE.
  bool dde_server = true;        // a Program Manager answers
  bool progman_startable = false;  // WinExec of an existing progman.exe starts one
  int dde_instances = 0, dde_connects = 0, dde_open = 0;
  std::vector<std::string> dde_executed, win_execs;

  // Other processes. What the machine's processes share (the setup lock): another FakePlatform
  // given the same `machine` is another process on it, in the same session.
  struct Machine {
    FakePlatform* setup_lock_owner = nullptr;
    bool lock_denied = false;  // another user's setup made the lock: opening it is refused
  };
  std::shared_ptr<Machine> machine = std::make_shared<Machine>();
  int brought_to_front = 0;  // how often another process brought this wizard to the front
  // Programs that hold files open (HoldOpenBy), by upper-case full path, as Restart Manager would
  // name them (UTF-8). Only a system with `restart_manager` names them.
  std::map<std::string, std::string> holders;
  bool restart_manager = true;
  void HoldOpenBy(const std::string& path, const std::string& program);
  void LetGo(const std::string& path);  // the holding program closed the file

  // The application.
  std::string app_title = "setup";
  FakeView view;
  UserAtWindow on_message_loop;

  // ---- Platform ----
  std::string CurrentDir() override { return current_dir; }
  bool SetCurrentDir(const std::string& path) override;
  std::string WindowsDir() override { Work(); return windows_dir; }
  std::string SystemDir() override { Work(); return system_dir; }
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
  // Starts at `clock` and moves on a second with each reading.
  std::string LocalTime() override;
  std::string clock = "2026-01-02 03:04:";
  int clock_seconds = 0;
  void SetPointer(Pointer pointer) override { pointers.push_back(pointer); }
  bool GetNonClientMetrics(NonClientMetrics* m) override;
  bool SetNonClientMetrics(const NonClientMetrics& m) override;

  // The program's seal block: none unless a test gives one.
  std::string OwnSealBlock() override { return seal_block; }
  std::string seal_block;
  // The program's own file: a file of the fake file system, opened as the real one is (others
  // may read it, none may write it or open it without sharing); none when empty.
  FileHandle OpenOwnProgram() override;
  std::string OwnProgramName() override;
  bool Seek(FileHandle f, std::uint64_t offset) override;
  std::string own_program;

  void SetApplicationTitle(const std::string& title) override { app_title = title; }
  FormView* CreateFormWindow(FormEvents& form) override;
  void RunMessageLoop() override;

  static std::string Upper(std::string s);

 private:
  friend class FakeView;
  struct Node {
    std::string path;  // as created
    bool folder = false;
    std::string data;
    bool read_only = false;
    bool held = false;  // open elsewhere
    bool fail_reads = false;
  };
  struct Handle {
    std::string key;
    std::size_t position = 0;
    bool write = false;
    bool shared = false;  // opened sharing reading (the program's own file)
  };
  struct RegNode {
    std::string path;
    std::map<std::string, std::pair<std::uint32_t, std::string>> values;  // upper name
  };
  void Work();  // counts a call; throws when it is the one to fail
  // The system's limits: a path of MAX_PATH characters or more names nothing, and a folder is
  // not created with a path of 248 characters or more.
  static constexpr std::size_t kMaxPathLength = 260, kMaxFolderLength = 248;
  // Full, normalised path ("C:\\A\\B", "C:\\"), or empty when the text cannot name a path.
  // Names are trimmed as Windows trims them, and relative parts resolved.
  std::string Resolve(const std::string& path) const;
  Node* Find(const std::string& path);
  Node* FindFull(const std::string& full);  // a path Resolve gave
  bool ParentIsFolder(const std::string& full);
  bool IsOpen(const std::string& key) const;
  std::string RegPath(RegKey root, const std::string& path) const;
  bool RegDenied(const std::string& upper_path) const;
  void AddRegKey(const std::string& path);  // with every missing parent

  std::map<char, Drive> drives_;
  std::map<std::string, Node> nodes_;  // by upper-case full path
  std::map<FileHandle, Handle> handles_;
  FileHandle next_handle_ = 100;
  std::map<std::string, RegNode> reg_;  // by upper-case "ROOT\\path"
  std::map<RegKey, std::string> reg_handles_;
  std::set<std::string> reg_denied_;
  RegKey next_key_ = 0x1000;
};

}  // namespace kv
