// The random user: a seeded walk through the wizard by the means a user has (Next, Back or
// Cancel, Enter in the folder editor, a folder text typed from a pool, the folder browser, OK or
// Cancel on a message box, the close box). A model of the wizard says what each action must show;
// after every action the robot compares the window with it, and every file and folder on the
// watched roots with their state before the run. The first fault ends the run, printing the seed
// and the actions so far.
//
//   random:SEED:N:PRODUCT;ROOT;ROOT...
//
// SEED and N (at most N actions, then the user answers what box is open and closes the window);
// PRODUCT the folder the medium in the current folder was made from; ROOTs the folders to watch
// (each ending in a backslash). The drives are set up by tests/e2e/random-user: V: an ordinary
// drive, R: a CD-ROM, Q: none. The registry entries of the product are deleted before the run.
// KV_DDE_OUT (environment): the file where a test Program Manager writes what it is asked to do.
#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "robot.h"

namespace robot {
namespace {

constexpr char kError[] = "Ошибка";
constexpr char kWarning[] = "Внимание";
constexpr char kBadPath[] = "Путь введен неверно !";
constexpr char kConfirm[] = "Вы хотите прервать установку ?";
constexpr char kWelcome[] = "Добро пожаловать !\r\nНачнем установку ?";
constexpr char kInstalled[] = "Установка успешно завершена !";
constexpr char kAborted[] = "Установка прервана !";
constexpr char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kFileType[] = "Kelvantor.Список";

enum class Page { kWelcome, kLicence, kFolder, kInstalling, kDone, kAborted, kEnded, kUnknown };
const char* Name(Page p) {
  static const char* const names[] = {"welcome", "licence", "folder", "installing",
                                      "success",  "aborted", "ended",  "unknown"};
  return names[static_cast<int>(p)];
}

std::string Lower(std::string s) {
  if (!s.empty()) CharLowerBuffA(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

// ---- The window as the user sees it --------------------------------------------------------------

struct Seen {
  Page page = Page::kUnknown;
  HWND box = nullptr;  // an open message box
  std::string caption, text, editor;
  bool next = false, back = false;  // Button1, Button2 shown and enabled
};

bool Usable(HWND h) { return IsWindowVisible(h) && IsWindowEnabled(h); }

// The buttons a user can press are exactly those the page offers: Next (or Ok) everywhere but
// while installing, Cancel or Back everywhere but after a rollback.
bool AsOffered(Page page, bool next, bool back) {
  return next == (page != Page::kInstalling) && back == (page != Page::kAborted);
}

Seen Look() {
  Seen s;
  if (ProcessEnded()) {
    s.page = Page::kEnded;
    return s;
  }
  if (HWND box = TopLevel("#32770")) {
    s.box = box;
    s.caption = Text(box);
    s.text = BoxText(box);
  }
  if (!Form()) return s;
  s.next = Usable(Control(101));
  s.back = Usable(Control(102));
  s.editor = Text(Control(106));
  const std::string banner = Text(Control(108));
  if (IsWindowVisible(Control(105))) {
    s.page = Page::kInstalling;
  } else if (IsWindowVisible(Control(109))) {
    s.page = Page::kLicence;
  } else if (IsWindowVisible(Control(106))) {
    s.page = Page::kFolder;
  } else if (IsWindowVisible(Control(108))) {
    s.page = banner == kWelcome ? Page::kWelcome
             : banner == kInstalled ? Page::kDone
             : banner == kAborted ? Page::kAborted : Page::kUnknown;
  }
  return s;
}

// ---- The watched files ---------------------------------------------------------------------------

struct Entry {
  std::string path;  // as found
  bool folder = false;
  // Of the content (FNV-1a; 0: a file setup.exe holds open and no one else may read); of the size
  // and time only under the Windows folder.
  std::uint64_t sum = 0;
};
using Tree = std::map<std::string, Entry>;  // by lower-case path

std::uint64_t ContentSum(const std::string& path) {
  std::uint64_t h = 14695981039346656037ull;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                         FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  static std::vector<unsigned char> buffer(1 << 16);
  DWORD got = 0;
  while (ReadFile(f, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got) {
    for (DWORD i = 0; i < got; ++i) h = (h ^ buffer[i]) * 1099511628211ull;
  }
  CloseHandle(f);
  return h;
}

// The user's shell folders under C:\users\ (Desktop, Documents, Templates...) are links out of
// the drive, to the Unix home, and are left out; the product's desktop link is checked by name.
bool ShellFolder(const std::string& lower) {
  static const std::set<std::string> linked = {"desktop", "documents", "downloads", "music",
                                               "pictures", "videos", "templates"};
  return lower.rfind("c:\\users\\", 0) == 0 && linked.count(lower.substr(lower.rfind('\\') + 1));
}

void Walk(const std::string& folder, bool contents, Tree& out) {
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((folder + "*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = d.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = folder + name;
    const std::string lower = Lower(path);
    Entry e{path, (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, 0};
    if (e.folder) {
      if (ShellFolder(lower)) continue;
      out[lower] = e;
      Walk(path + "\\", contents && lower != "c:\\windows", out);
    } else {
      e.sum = contents ? ContentSum(path)
                       : (std::uint64_t{d.nFileSizeHigh} << 32 | d.nFileSizeLow) ^
                             (std::uint64_t{d.ftLastWriteTime.dwHighDateTime} << 32 |
                              d.ftLastWriteTime.dwLowDateTime);
      out[lower] = e;
    }
  } while (FindNextFileA(h, &d));
  FindClose(h);
}

// ---- Registry ------------------------------------------------------------------------------------

void DeleteTree(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  char sub[256];
  std::vector<std::string> subs;
  for (DWORD i = 0, n = sizeof sub; RegEnumKeyExA(key, i, sub, &n, nullptr, nullptr, nullptr,
                                                  nullptr) == ERROR_SUCCESS; ++i, n = sizeof sub) {
    subs.push_back(sub);
  }
  RegCloseKey(key);
  for (const auto& s : subs) DeleteTree(root, path + "\\" + s);
  RegDeleteKeyA(root, path.c_str());
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A string value, or "(none)".
std::string Value(HKEY root, const std::string& path, const char* name) {
  char data[1024] = {};
  DWORD size = sizeof data - 1, type = 0;
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "(none)";
  const LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS && type == REG_SZ ? std::string(data) : "(none)";
}

// ---- The user and the model of the wizard --------------------------------------------------------

struct Box {
  std::string caption, text;
  Page after_ok, after_cancel;
  bool reset_editor = false;  // a refused folder: the editor shows PreviousDir again
};

class RandomRun {
 public:
  RandomRun(unsigned seed, int actions, const std::string& config) : rng_(seed), seed_(seed),
                                                                      limit_(actions) {
    std::size_t at = 0;
    std::vector<std::string> parts;
    while (at <= config.size()) {
      const std::size_t semi = config.find(';', at);
      parts.push_back(config.substr(at, semi == std::string::npos ? std::string::npos : semi - at));
      if (semi == std::string::npos) break;
      at = semi + 1;
    }
    product_ = parts.at(0);
    roots_.assign(parts.begin() + 1, parts.end());
  }

  void Run();
  void PrintActions() const;

 private:
  [[noreturn]] void Fault(const std::string& what);
  std::string Pick();
  void Do(const std::string& action);
  void Settle(int patience_ms);
  void Check(const Seen& s);
  void CheckFiles(bool aborted_end);
  void CheckSuccess();
  void CheckAborted();
  void CheckNothingRegistered();
  std::string DesktopLink() const;
  bool Allowed(const std::string& lower, const Entry& e, bool created, bool deleted,
               bool aborted_end) const;
  std::string Folder(const std::string& text) const;
  template <typename T> const T& Choose(const std::vector<T>& v) {
    return v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng_)];
  }
  bool Chance(int percent) { return std::uniform_int_distribution<int>(0, 99)(rng_) < percent; }

  std::mt19937 rng_;
  unsigned seed_;
  int limit_;
  std::string product_;
  std::vector<std::string> roots_;
  std::vector<std::string> actions_;
  std::set<std::string> product_names_;
  Tree before_;
  std::string link_before_;

  // The model.
  bool full_ = false;
  Page page_ = Page::kWelcome;
  std::string editor_, previous_;
  bool box_open_ = false;
  Box box_;
  std::string target_;              // TargetDir of the installation that ran, lower case
  std::string target_text_;         // ... as the wizard wrote it
  std::set<std::string> checked_;   // TargetDir of every folder the folder check took, lower case
  Page ended_from_ = Page::kUnknown;
  bool closed_ = false;
};

RandomRun* g_run = nullptr;

void RandomRun::PrintActions() const {
  std::printf("seed %u, actions:", seed_);
  for (const auto& a : actions_) std::printf(" [%s]", a.c_str());
  std::printf("\n");
  std::fflush(stdout);
}

void RandomRun::Fault(const std::string& what) {
  std::printf("FAULT seed %u after %zu actions (model: %s%s): %s\n", seed_, actions_.size(),
              Name(page_), box_open_ ? ", a message box" : "", what.c_str());
  PrintActions();
  g_run = nullptr;
  Fail("random user, seed " + std::to_string(seed_));
}

// The folder the wizard makes of an editor text: slashes as backslashes, a backslash appended.
std::string RandomRun::Folder(const std::string& text) const {
  std::string folder = text;
  for (char& c : folder) c = c == '/' ? '\\' : c;
  return folder.empty() || folder.back() == '\\' ? folder : folder + "\\";
}

// The texts a user may type, each standing for one kind of folder.
std::string RandomRun::Pick() {
  static const std::vector<std::string> pool = {
      "", "C:\\RU\\Новая папка\\Kelvanto", "V:\\Игры\\Kelvanto", "..\\Kelvanto", "Ke\\Kelvanto",
      "Kelvanto", "C:Kelvanto", "C:\\", "V:\\", "Q:\\Kelvanto", "R:\\Kelvanto", "long",
      "C:\\RU\\Mine", "C:\\RU\\Mine\\", "C:\\RU\\Docs\\letter.txt", "\\RU\\Kelvanto", "C:\\Kelvanto",
      // Names the system would not keep (a last blank or dot, a colon), slashes, and existing
      // folders with and without room for the product's longest file name (tests/e2e/random-user
      // makes them).
      "C:\\KelvSp ", "C:\\KelvDot.", "C:\\K:", "C:\\RU\\Sp \\Kelvanto", "C:/RU/Slash/Kelvanto",
      "V:/Kelvanto/", "deep245", "deep250"};
  std::string t = Choose(pool);
  if (t.empty() && Chance(50)) t = previous_;
  if (t == "long") {
    t = "C:";
    const int levels = std::uniform_int_distribution<int>(150, 1200)(rng_);
    for (int i = 0; i < levels; ++i) t += "\\a";
  }
  if (t == "deep245" || t == "deep250") {
    t = "C:\\RU\\L\\" + std::string(120, 'a') + "\\" + std::string(t == "deep245" ? 116 : 121, 'b');
  }
  return t;
}

// The verdict of the two folder checks on an editor text, as a user expects it: only a full
// path shorter than MAX_PATH on an existing drive that is not a CD-ROM is taken.
enum class Verdict { kBadPath, kNoSpace, kTaken };
// A name the system would change (a last blank or dot, a colon) is refused too, and so is a drive
// root (the user's own files lie there), a folder without room for the longest file the
// installation writes in it ("Uninstall.exe"), and a text the system's code page cannot hold.
Verdict Judge(std::string text) {
  if (!Representable(text)) return Verdict::kBadPath;
  for (char& c : text) c = c == '/' ? '\\' : c;
  const std::size_t folder_length = text.size() + (text.empty() || text.back() != '\\');
  if (folder_length + 13 >= MAX_PATH) return Verdict::kBadPath;
  const bool full = text.size() >= 3 && IsCharAlphaA(text[0]) && text[1] == ':' && text[2] == '\\';
  if (!full) return Verdict::kBadPath;
  if (text.find_first_not_of('\\', 3) == std::string::npos) return Verdict::kBadPath;  // a root
  for (std::size_t at = 3; at <= text.size();) {
    std::size_t end = text.find('\\', at);
    if (end == std::string::npos) end = text.size();
    const std::string name = text.substr(at, end - at);
    if (!name.empty() && (name.back() == ' ' || name.back() == '.')) return Verdict::kBadPath;
    if (name.find(':') != std::string::npos) return Verdict::kBadPath;
    at = end + 1;
  }
  const UINT type = GetDriveTypeA(text.substr(0, 3).c_str());
  if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) return Verdict::kBadPath;
  const DWORD a = GetFileAttributesA(text.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) return Verdict::kBadPath;
  return type == DRIVE_CDROM ? Verdict::kNoSpace : Verdict::kTaken;
}

void RandomRun::Run() {
  // The machine before: no registration of the product; sometimes an earlier target folder in
  // the per-user key, which the editor then proposes.
  DeleteTree(HKEY_CURRENT_USER, "Software\\VOLKRA-TENZ");
  for (const char* key : {".kvt", kFileType}) DeleteTree(HKEY_CLASSES_ROOT, key);
  for (const char* name : {"Kelvantor 3.01", "Kelvantor 3.01 demo"}) {
    DeleteTree(HKEY_LOCAL_MACHINE, std::string(kUninstall) + name);
  }
  previous_ = "C:\\Kelvanto";
  if (Chance(30)) {
    previous_ = Chance(50) ? "C:\\RU\\Mine\\" : "V:\\Kelvanto\\";
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VOLKRA-TENZ\\Kelvantor\\State", 0, nullptr, 0,
                    KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExA(key, "WorkingDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_.c_str()),
                   static_cast<DWORD>(previous_.size() + 1));
    RegCloseKey(key);
  }
  editor_ = previous_;
  full_ = GetFileAttributesA("xalarch.v0") != INVALID_FILE_ATTRIBUTES;
  link_before_ = DesktopLink();
  Tree product;
  Walk(product_, true, product);
  for (const auto& [lower, e] : product) product_names_.insert(lower.substr(lower.rfind('\\') + 1));
  product_names_.insert("xalarch.pry");
  for (const auto& root : roots_) Walk(root, true, before_);
  std::printf("seed %u: %s edition, proposed folder %s, %zu entries watched\n", seed_,
              full_ ? "full" : "demo", previous_.c_str(), before_.size());
  std::fflush(stdout);

  g_run = this;
  Step("start:setup.exe");
  Step("window");
  Settle(5000);
  while (page_ != Page::kEnded) {
    const Seen s = Look();
    if (page_ == Page::kInstalling && !box_open_ && s.page == Page::kDone) page_ = Page::kDone;
    std::string action;
    const int done = static_cast<int>(actions_.size());
    if (done >= limit_ + 20) {
      Fault("message boxes without end after the last action");
    } else if (s.box) {
      action = Chance(50) ? "ok" : "cancel";  // also at the limit: the run ends by the close box
    } else if (done >= limit_) {
      action = "close";
    } else {
      std::vector<std::pair<std::string, int>> menu;  // legal actions and their weights
      // On the folder page the user mostly types before going on.
      const bool folder = s.page == Page::kFolder;
      if (s.next) menu.push_back({"next", folder ? 15 : 30});
      if (s.back) menu.push_back({"back", 10});
      if (folder) menu.insert(menu.end(), {{"enter", 8}, {"type", 45}, {"browse", 4}});
      // While the installation runs, the close box is a likely way out.
      menu.push_back({"close", s.page == Page::kInstalling ? 12 : 1});
      int total = 0;
      for (const auto& m : menu) total += m.second;
      int r = std::uniform_int_distribution<int>(0, total - 1)(rng_);
      for (const auto& m : menu) {
        if ((r -= m.second) < 0) {
          action = m.first;
          break;
        }
      }
      if (action == "type") action += ":" + Pick();
    }
    Do(action);
  }
  DWORD code = 2;
  GetExitCodeProcess(g_process.hProcess, &code);
  // 0 exactly when the product is installed. A close box during the installation lets the
  // sequence finish first, which may go either way; the exit code says which.
  const bool installed = ended_from_ == Page::kDone || (ended_from_ == Page::kInstalling && code == 0);
  if (code != (installed ? 0u : 1u)) Fault("setup.exe ended with exit code " + std::to_string(code));
  // What remains: the finished installation; nothing of it after a rollback; nothing registered
  // when the window closed before any installation.
  if (installed) {
    CheckSuccess();
  } else if (ended_from_ == Page::kAborted || ended_from_ == Page::kInstalling) {
    CheckAborted();
  } else {
    CheckNothingRegistered();
  }
  std::printf("seed %u: %zu actions, ended on the %s page%s\n", seed_, actions_.size(),
              Name(ended_from_), closed_ ? " by the close box" : "");
  g_run = nullptr;
}

// Performs one action on the window and on the model, then waits for the window to show what
// the model says and checks it.
void RandomRun::Do(const std::string& action) {
  const std::string shown = action.size() > 80
      ? action.substr(0, 40) + "... (" + std::to_string(action.size() - 5) + " characters)"
      : action;
  actions_.push_back(shown);
  int patience = 30000;  // ms
  if (action == "ok" || action == "cancel") {
    if (!box_open_) Fault("a message box the model did not expect");
    const HWND box = Look().box;
    PostMessageA(box, WM_COMMAND, action == "ok" ? IDOK : IDCANCEL, 0);
    const DWORD start = GetTickCount();
    while (IsWindow(box) && GetTickCount() - start < 10000) Sleep(20);
    box_open_ = false;
    page_ = action == "ok" ? box_.after_ok : box_.after_cancel;
    if (box_.reset_editor) editor_ = previous_;
  } else if (action == "close") {
    closed_ = true;
    ended_from_ = page_;
    page_ = Page::kEnded;
    Step("close");
  } else if (action.rfind("type:", 0) == 0) {
    editor_ = action.substr(5);
    Step(action);
  } else if (action == "browse") {
    Step("click:110");
    HWND dialog = nullptr;
    const DWORD start = GetTickCount();
    while (!(dialog = TopLevel("#32770")) && GetTickCount() - start < 20000) Sleep(20);
    if (!dialog || FindWindowExA(dialog, nullptr, "SysTreeView32", nullptr) == nullptr) {
      const Seen s = Look();
      Fault("no folder browser" + (s.box ? " but a box \"" + s.text + "\"" : std::string()));
    }
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    while (IsWindow(dialog) && GetTickCount() - start < 25000) Sleep(20);
  } else if (action == "back") {
    Step("click:102");
    if (page_ == Page::kFolder && full_) {
      page_ = Page::kLicence;
    } else {
      box_open_ = true;
      box_ = {kWarning, kConfirm, Page::kAborted, page_};
    }
  } else if (action == "next" || action == "enter") {
    const Verdict verdict = Judge(editor_);  // before the folder check makes any folder
    Step(action == "next" ? "click:101" : "enter");
    switch (page_) {
      case Page::kWelcome: page_ = full_ ? Page::kLicence : Page::kFolder; break;
      case Page::kLicence: page_ = Page::kFolder; break;
      case Page::kDone: case Page::kAborted:
        ended_from_ = page_;
        page_ = Page::kEnded;
        break;
      case Page::kFolder: {
        const std::string folder = Folder(editor_);
        switch (verdict) {
          case Verdict::kBadPath:
            box_open_ = true;
            box_ = {kError, kBadPath, Page::kFolder, Page::kFolder, true};
            break;
          case Verdict::kNoSpace:
            checked_.insert(Lower(folder));
            box_open_ = true;
            box_ = {kError, "На диске " + editor_.substr(0, 3) + " недостаточно свободного места !",
                    Page::kFolder, Page::kFolder};
            break;
          case Verdict::kTaken:
            checked_.insert(Lower(folder));
            target_ = Lower(folder);
            target_text_ = folder;
            page_ = Page::kInstalling;
            // Now and then the user does not wait for the end.
            patience = Chance(40) ? -std::uniform_int_distribution<int>(0, 400)(rng_) : 120000;
            break;
        }
        break;
      }
      default: break;
    }
  } else {
    Fail("unknown random action " + action);
  }
  const DWORD start = GetTickCount();
  Settle(patience);
  std::printf("  %s: %s page (%lu ms)\n", shown.c_str(), Name(page_), GetTickCount() - start);
  std::fflush(stdout);
}

// Waits until the window shows what the model says, then checks everything. A negative patience:
// the user waits that long while the installation runs and goes on whether it ended or not.
void RandomRun::Settle(int patience_ms) {
  if (page_ == Page::kEnded) {
    if (WaitForSingleObject(g_process.hProcess, 30000) != WAIT_OBJECT_0) {
      Fault("setup.exe still runs 30 s after the " +
            std::string(closed_ ? "close box" : "last Ok"));
    }
    CheckFiles(false);
    return;
  }
  DWORD limit = 30000;
  if (patience_ms < 0) {
    Sleep(-patience_ms);  // then takes the installation as it is by now
  } else if (page_ == Page::kInstalling && !box_open_) {
    page_ = Page::kDone;
    limit = 120000;
  } else {
    limit = patience_ms;
  }
  auto matches = [&](const Seen& s) {
    if (s.page == Page::kEnded) return true;  // checked below
    if (box_open_) return s.box && s.caption == box_.caption;
    if (s.box) return true;
    if (s.page != page_ && !(page_ == Page::kInstalling && s.page == Page::kDone)) return false;
    if (!AsOffered(s.page, s.next, s.back)) return false;  // a page is shown before its buttons
    return s.page != Page::kFolder || s.editor == editor_;
  };
  const DWORD start = GetTickCount();
  Seen s = Look();
  while (!matches(s) && GetTickCount() - start < limit) {
    Sleep(30);
    s = Look();
  }
  if (page_ == Page::kInstalling && !box_open_ && s.page == Page::kDone) page_ = Page::kDone;
  Check(s);
  CheckFiles(false);
}

void RandomRun::Check(const Seen& s) {
  if (s.page == Page::kEnded) Fault("setup.exe ended");
  if (!Form()) Fault("no wizard window");
  if (box_open_) {
    if (!s.box) Fault("no message box \"" + box_.text + "\" (the window shows the " +
                      Name(s.page) + " page)");
    if (s.caption != box_.caption || s.text != box_.text) {
      Fault("the message box \"" + s.caption + "\": \"" + s.text + "\", not \"" + box_.caption +
            "\": \"" + box_.text + "\"");
    }
    return;
  }
  if (s.box) Fault("an unexpected message box \"" + s.caption + "\": \"" + s.text + "\"");
  if (s.page != page_ && !(page_ == Page::kInstalling && s.page == Page::kDone)) {
    Fault(std::string("the window shows the ") + Name(s.page) + " page, not the " + Name(page_));
  }
  if (s.page == Page::kFolder && s.editor != editor_) {
    Fault("the folder editor shows \"" + s.editor.substr(0, 80) + "\", not \"" +
          editor_.substr(0, 80) + "\"");
  }
  if (!AsOffered(s.page, s.next, s.back)) {
    Fault(std::string("on the ") + Name(s.page) + " page Button1 is " +
          (s.next ? "usable" : "not usable") + " and Button2 " + (s.back ? "usable" : "not usable"));
  }
}

// Whether a difference from the machine before is one the installation may make: the product's
// files directly in the target folder, the folders the folder check made, the product's program
// group. At the end of an aborted installation only the removal of the product's files from the
// target folder (and of the folder itself, when that left it empty) and the parent levels the
// check made remain.
bool RandomRun::Allowed(const std::string& lower, const Entry& e, bool created, bool deleted,
                        bool aborted_end) const {
  const std::string parent = lower.substr(0, lower.rfind('\\') + 1);
  const std::string name = lower.substr(parent.size());
  if (!aborted_end && lower.find("\\start menu\\programs\\kelvantor") != std::string::npos) {
    return true;
  }
  if (!e.folder) {
    if (parent != target_ || !product_names_.count(name)) return false;
    return !aborted_end || (deleted && !created);
  }
  // The rollback removes the target folder when it is empty, also one that was there before.
  if (deleted && lower + "\\" == target_) return true;
  if (!created) return false;
  for (const auto& folder : checked_) {
    if (folder.rfind(lower + "\\", 0) == 0 && (!aborted_end || folder != lower + "\\")) return true;
  }
  return false;
}

void RandomRun::CheckFiles(bool aborted_end) {
  Tree now;
  for (const auto& root : roots_) Walk(root, true, now);
  std::string faults;
  int count = 0;
  auto report = [&](const char* what, const Entry& e) {
    if (++count <= 5) faults += std::string("\n  ") + what + " " + e.path;
  };
  for (const auto& [lower, e] : now) {
    const auto b = before_.find(lower);
    if (b == before_.end()) {
      if (!Allowed(lower, e, true, false, aborted_end)) report("created", e);
    } else if (b->second.folder != e.folder || (e.sum && b->second.sum != e.sum)) {
      if (!Allowed(lower, e, false, false, aborted_end)) report("changed", e);
    }
  }
  for (const auto& [lower, e] : before_) {
    if (!now.count(lower) && !Allowed(lower, e, false, true, aborted_end)) report("deleted", e);
  }
  if (count) Fault(std::to_string(count) + " changes outside the target folder" + faults);
}

void RandomRun::CheckSuccess() {
  Tree product;
  Walk(product_, true, product);
  for (const auto& [lower, e] : product) {
    const std::string installed = target_text_ + e.path.substr(product_.size());
    if (ContentSum(installed) != e.sum) Fault("not installed byte for byte: " + installed);
  }
  if (GetFileAttributesA((target_text_ + "xalarch.pry").c_str()) != INVALID_FILE_ATTRIBUTES) {
    Fault("the temporary archive was left");
  }
  const std::string name = full_ ? "Kelvantor 3.01" : "Kelvantor 3.01 demo";
  const std::string state = "Software\\VOLKRA-TENZ\\Kelvantor\\State";
  const std::pair<std::string, std::string> values[] = {
      {Value(HKEY_CURRENT_USER, state, "WorkingDir"), target_text_},
      {Value(HKEY_CURRENT_USER, state, "AppName"), name},
      {Value(HKEY_CURRENT_USER, state, "WorkingVersion"), full_ ? "1" : "0"},
      {Value(HKEY_LOCAL_MACHINE, kUninstall + name, "DisplayName"), name},
      {Value(HKEY_LOCAL_MACHINE, kUninstall + name, "UninstallString"),
       target_text_ + "uninstall.exe"},
      {Value(HKEY_CLASSES_ROOT, ".kvt", nullptr), kFileType},
      {Value(HKEY_CLASSES_ROOT, std::string(kFileType) + "\\shell\\open\\command", nullptr),
       target_text_ + "Kelvanto.exe \"%1\""},
  };
  for (const auto& [got, want] : values) {
    if (got != want) Fault("registry: \"" + got + "\", not \"" + want + "\"");
  }
  // The desktop link, written by this run, to the installed program.
  const std::string link = DesktopLink();
  if (link.empty() || link == link_before_ ||
      Lower(link).find(Lower(target_text_ + "Kelvanto.exe")) == std::string::npos) {
    Fault("no desktop link to " + target_text_ + "Kelvanto.exe");
  }
  // The program group, as Program Manager was asked to make it.
  const char* dde_out = std::getenv("KV_DDE_OUT");
  if (!dde_out || !*dde_out) return;
  std::string asked;
  if (FILE* f = std::fopen(dde_out, "rb")) {
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) asked.append(chunk, n);
    std::fclose(f);
  }
  for (const std::string& command :
       {"[CreateGroup(\"" + name + "\",0)]", "[AddItem(\"" + target_text_ + "Kelvanto.exe\",\"" + name + "\")]",
        "[AddItem(\"" + target_text_ + "Uninstall.exe\",\"Uninstall\")]", "[ShowGroup(\"" + name + "\",1,0)]"}) {
    if (asked.find(command) == std::string::npos) {
      Fault("Program Manager was not asked " + command + " (asked: \"" + asked.substr(0, 200) + "\")");
    }
  }
  std::printf("  installed: files, registry, desktop link and program group checked\n");
}

void RandomRun::CheckNothingRegistered() {
  const std::string name = full_ ? "Kelvantor 3.01" : "Kelvantor 3.01 demo";
  if (KeyExists(HKEY_LOCAL_MACHINE, kUninstall + name)) Fault("an uninstall entry was made");
  if (KeyExists(HKEY_CLASSES_ROOT, ".kvt") || KeyExists(HKEY_CLASSES_ROOT, kFileType)) {
    Fault("a file type was registered");
  }
  if (DesktopLink() != link_before_) Fault("the desktop link changed");
}

void RandomRun::CheckAborted() {
  CheckFiles(true);
  const std::string name = full_ ? "Kelvantor 3.01" : "Kelvantor 3.01 demo";
  if (KeyExists(HKEY_LOCAL_MACHINE, kUninstall + name)) Fault("the uninstall entry was left");
  if (KeyExists(HKEY_CLASSES_ROOT, ".kvt")) Fault(".kvt was left");
  if (KeyExists(HKEY_CLASSES_ROOT, kFileType)) Fault("the file type was left");
  const std::string link = DesktopLink();
  if (!target_text_.empty() && link != link_before_ &&
      link.find(target_text_) != std::string::npos) {
    Fault("the desktop link was left");
  }
}

// The product's desktop link, with its time, or "" when there is none. The desktop is a link to
// the Unix home, which other Wine prefixes on the machine share: only a link this run changed
// and that leads into its target folder is its own.
std::string RandomRun::DesktopLink() const {
  char desktop[MAX_PATH] = {};
  SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE);
  const std::string path = std::string(desktop) + "\\Kelvantor 3.01" + (full_ ? "" : " demo") +
                           ".lnk";
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return "";
  std::string content(4096, '\0');
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                         FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD got = 0;
  if (f != INVALID_HANDLE_VALUE) {
    ReadFile(f, content.data(), static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(f);
  }
  content.resize(got);
  for (std::size_t i = 1; i < content.size(); ++i) {  // UTF-16 text read as its ANSI bytes
    if (content[i] == '\0' && content[i - 1] != '\0') content.erase(i, 1);
  }
  return std::to_string(a.ftLastWriteTime.dwLowDateTime) + "|" + content;
}

// A failed robot step ends the process: the actions so far are printed first.
void PrintOnExit() {
  if (g_run) g_run->PrintActions();
}

}  // namespace

void RandomUser(const std::string& step) {
  // random:SEED:N:CONFIG
  std::vector<std::string> f;
  std::size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t colon = step.find(':', at);
    if (colon == std::string::npos) Fail("random:SEED:N:PRODUCT;ROOT...");
    f.push_back(step.substr(at, colon - at));
    at = colon + 1;
  }
  static bool registered = false;
  if (!registered) std::atexit(PrintOnExit);
  registered = true;
  RandomRun run(static_cast<unsigned>(std::strtoul(f[1].c_str(), nullptr, 10)),
                std::atoi(f[2].c_str()), step.substr(at));
  run.Run();
}

}  // namespace robot
