// The end-to-end test robot: starts setup.exe and drives it the way a user would, from another
// process, through the real window system. Each argument is one step; the first failing step
// ends the run with exit code 1 (setup.exe is then killed).
//
//   start:EXE                 start EXE with the robot's current folder as its current folder
//                             (EXE of that folder where it has one)
//   args:TEXT                 the command line after EXE's name for the start: steps that follow,
//                             handed over as Unicode exactly as given (like type: and text:,
//                             which take any character, not only Windows-1251 ones)
//   cd:FOLDER                 change the robot's current folder (before start:)
//   window                    wait until the wizard window is visible; prints the time it took
//   text:ID:TEXT              the control's text is TEXT, compared as Unicode (wait-text: polls
//                             for it); the robot's texts are Windows-1251 whatever the system's
//                             code page (it reads its arguments as Unicode)
//   has-text:ID:TEXT          the control's text holds TEXT
//   visible:ID:0|1            the control's visibility; enabled:ID:0|1 likewise
//   click:ID                  click a button (101 Button1, 102 Button2, 110 the browse button);
//                             fails on a button a user could not press (hidden or disabled)
//   type:TEXT                 replace the folder editor's text
//   enter                     press Enter in the folder editor
//   box:CAPTION|TEXT:ok|cancel  wait for a message box, check it, answer it
//   nobox                     no message box is open
//   nowindow                  the wizard window never appeared
//   title:TEXT                the application title
//   pos:ID:N  max:ID:N        a progress bar's position or maximum
//   dpi:N                     the screen has N dots per inch
//   rect:ID:X,Y,W,H           the control lies within 2 pixels of X,Y,W,H (96-dots-per-inch
//                             pixels, relative to its parent's client area) scaled to the
//                             screen's dots per inch; ID 0: the wizard's client area (W,H);
//                             W or H * is not checked
//   centred                   the wizard window lies on the screen, centred within 2 pixels
//   inner                     the licence viewer lies in Panel2 with one margin on all four sides
//   shot:FILE.bmp             capture the wizard window (or the screen)
//   boxshot:FILE.bmp          wait for a message box, then capture the whole screen
//   boxhas:TEXT               a dialog of setup.exe (the folder browser, say) shows TEXT in one
//                             of its controls
//   close                     close the wizard window by its close box
//   exit:N                    wait for setup.exe to end with exit code N
//   wait-exit                 wait for setup.exe to end, however long it takes
//   sleep:MS                  pause
//   dismiss                   wait for a dialog (the folder browser, say) and cancel it
//   loadlib:NAME              LoadLibraryA(NAME) in the robot, by the ordinary search order
//   phases                    click Next on the folder page and time each status text
//   link:FILE>PATH|WORKDIR|DESCRIPTION|ICON,INDEX|ARGS   a shell link, read back through the shell
//   copy:FROM|TO              copy a file (a disk put into the drive)
//   font:CHARSET              make the system caption font non-Cyrillic (CHARSET) for the session
//   fontcheck:CHARSET         the caption font's character set is CHARSET now
//   fresh:STEP                run STEP in a new robot process (system parameters are cached
//                             per process)
//   random:SEED:N:PRODUCT;ROOT...  a random user of N actions (random_user.cpp)
//   acp:N                     the system's ANSI code page is N
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "robot.h"
#include "platform/win32/system_text.h"

namespace robot {

PROCESS_INFORMATION g_process = {};
DWORD g_started = 0;
std::wstring g_arguments;  // "args:TEXT": the command line after the program's name, as is
std::wstring g_step;       // the step being run, as Unicode

[[noreturn]] void Fail(const std::string& what) {
  std::printf("FAIL %s\n", what.c_str());
  std::fflush(stdout);
  if (g_process.hProcess) TerminateProcess(g_process.hProcess, 99);
  std::exit(1);
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

std::wstring WideText(HWND window) {
  wchar_t buffer[4096] = {};
  SendMessageW(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

std::wstring WideBoxText(HWND box) {
  wchar_t buffer[1024] = {};
  GetDlgItemTextW(box, 0xFFFF, buffer, std::size(buffer));
  return buffer;
}

// Windows-1251 text as Unicode, by the system's own conversion (a check of the installer's table).
std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(1251, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? n : 1, L'\0');
  MultiByteToWideChar(1251, 0, text.c_str(), -1, out.data(), n);
  out.resize(n > 0 ? n - 1 : 0);
  return out;
}

// Unicode as Windows-1251; a character the code page lacks shows as "\x01".
std::string Narrow(const std::wstring& text) {
  const int n = WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0,
                                    "\x01", nullptr);
  std::string out(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, out.data(), n, "\x01",
                      nullptr);
  out.resize(n > 0 ? n - 1 : 0);
  return out;
}

std::string Text(HWND window) { return Narrow(WideText(window)); }

std::string BoxText(HWND box) { return Narrow(WideBoxText(box)); }

bool Representable(const std::string& text) {
  std::string ansi;
  return kv::ToSystemText(Wide(text), &ansi);
}

struct Search {
  const char* cls;
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM l) {
  auto* s = reinterpret_cast<Search*>(l);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char cls[64] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (pid == g_process.dwProcessId && lstrcmpA(cls, s->cls) == 0 &&
      (IsWindowVisible(window) || lstrcmpA(s->cls, "TApplication") == 0)) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND TopLevel(const char* cls) {
  Search s = {cls, nullptr};
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND Form() { return TopLevel("TForm1"); }

struct ById {
  int id;
  HWND found;
};

BOOL CALLBACK FindChild(HWND window, LPARAM l) {
  auto* s = reinterpret_cast<ById*>(l);
  if (GetDlgCtrlID(window) == s->id) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND Control(int id) {
  HWND form = Form();
  if (!form) Fail("no wizard window");
  ById s = {id, nullptr};
  EnumChildWindows(form, FindChild, reinterpret_cast<LPARAM>(&s));
  if (!s.found) Fail("no control " + std::to_string(id));
  return s.found;
}

bool ProcessEnded() {
  return g_process.hProcess && WaitForSingleObject(g_process.hProcess, 0) == WAIT_OBJECT_0;
}

// Waits until the wizard has handled what was posted to it: a message sent to its window is
// taken at its next look at the queue, after a handler that does not pump has returned.
void Settled() {
  if (HWND form = Form()) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(form, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
  }
}

// The control's rectangle relative to its parent's client area. A control may be replaced by
// another of the same ID while it is looked at (a stand-in by its real control): looked up again.
RECT RectInParent(int id) {
  for (int attempt = 0;; ++attempt) {
    HWND control = Control(id);
    RECT r;
    HWND parent = GetParent(control);
    if (GetWindowRect(control, &r) && parent) {
      MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
      if (IsWindow(control)) return r;
    }
    if (attempt == 50) Fail("no rectangle of control " + std::to_string(id));
    Sleep(20);
  }
}

// How long a control may take to show the state a click or a key asked for: a click is posted,
// and a busy machine may handle it after the robot's short pause.
constexpr DWORD kSettle = 3000;

template <typename F>
bool Poll(F condition, DWORD ms) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > ms) return false;
    Sleep(20);
  }
  return true;
}

// Splits "a:b:c" into at most `parts` fields; the last keeps any further colons.
std::vector<std::string> Fields(const std::string& s, int parts) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (static_cast<int>(out.size()) < parts - 1) {
    const std::size_t colon = s.find(':', at);
    if (colon == std::string::npos) break;
    out.push_back(s.substr(at, colon - at));
    at = colon + 1;
  }
  out.push_back(s.substr(at));
  return out;
}

struct Shows {
  std::wstring want;
  bool found;
};

BOOL CALLBACK FindShown(HWND child, LPARAM l) {
  auto* look = reinterpret_cast<Shows*>(l);
  look->found = WideText(child) == look->want;
  return !look->found;
}

// Captures the wizard window, or the whole screen when there is none or `whole`.
void SaveScreen(const std::string& file, bool whole = false) {
  RECT r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (HWND form = Form(); form && !whole) GetWindowRect(form, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof info.bmiHeader, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD size = ((w * 3 + 3) & ~3) * h;
  BITMAPFILEHEADER header = {0x4D42, static_cast<DWORD>(sizeof header + sizeof info.bmiHeader + size),
                             0, 0, static_cast<DWORD>(sizeof header + sizeof info.bmiHeader)};
  if (FILE* f = std::fopen(file.c_str(), "wb")) {
    std::fwrite(&header, sizeof header, 1, f);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f);
    std::fwrite(bits, size, 1, f);
    std::fclose(f);
  } else {
    Fail("cannot write " + file);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

// The Unicode step's text after its `colons`-th colon.
std::wstring WideTail(int colons) {
  std::size_t at = 0;
  for (int i = 0; i < colons && at != std::wstring::npos; ++i) {
    at = g_step.find(L':', at);
    if (at != std::wstring::npos) ++at;
  }
  return at == std::wstring::npos ? std::wstring() : g_step.substr(at);
}

void Step(const std::string& step, const std::wstring& wide) {
  g_step = wide.empty() ? Wide(step) : wide;
  const auto f = Fields(step, 3);
  const std::string& verb = f[0];
  auto id = [&] { return f.size() > 1 ? std::atoi(f[1].c_str()) : 0; };
  if (verb == "cd") {
    if (!SetCurrentDirectoryA(Fields(step, 2)[1].c_str())) Fail(step);
  } else if (verb == "start") {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    // A program of the current folder by its full path: the system's search would take one from
    // the robot's own folder first (the build's setup.exe, not the medium's sealed copy).
    std::wstring program = WideTail(1);
    wchar_t full[MAX_PATH];
    if (program.find_first_of(L"\\/") == std::wstring::npos &&
        GetFileAttributesW(program.c_str()) != INVALID_FILE_ATTRIBUTES &&
        GetFullPathNameW(program.c_str(), MAX_PATH, full, nullptr) < MAX_PATH) {
      program = full;
    }
    std::wstring command = L"\"" + program + L"\"";
    if (!g_arguments.empty()) command += L" " + g_arguments;
    g_started = GetTickCount();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &g_process)) {
      Fail(step);
    }
  } else if (verb == "args") {
    g_arguments = WideTail(1);
  } else if (verb == "window") {
    if (!Poll([] { return Form() != nullptr || ProcessEnded(); }, 30000) || !Form()) Fail(step);
    std::printf("window visible after %lu ms\n", GetTickCount() - g_started);
  } else if (verb == "nowindow") {
    Sleep(300);
    if (Form()) Fail(step);
  } else if (verb == "text" || verb == "wait-text") {
    const std::wstring want = WideTail(2);
    const bool ok = Poll([&] { return WideText(Control(id())) == want; },
                         verb == "text" ? kSettle : 60000);
    if (!ok) Fail(step + " (is \"" + Text(Control(id())) + "\")");
  } else if (verb == "has-text") {
    const std::string text = Text(Control(id()));
    if (text.find(f.size() > 2 ? f[2] : "") == std::string::npos) {
      Fail(step + " (is \"" + text.substr(0, 200) + "\")");
    }
  } else if (verb == "visible") {
    if (!Poll([&] { return (IsWindowVisible(Control(id())) != FALSE) == (f[2] == "1"); }, kSettle)) {
      Fail(step);
    }
  } else if (verb == "enabled") {
    if (!Poll([&] { return (IsWindowEnabled(Control(id())) != FALSE) == (f[2] == "1"); }, kSettle)) {
      Fail(step);
    }
  } else if (verb == "pos" || verb == "max") {
    const LRESULT v = verb == "pos" ? SendMessageA(Control(id()), PBM_GETPOS, 0, 0)
                                    : SendMessageA(Control(id()), PBM_GETRANGE, FALSE, 0);
    if (v != std::atoi(f[2].c_str())) Fail(step + " (is " + std::to_string(v) + ")");
  } else if (verb == "dpi") {
    if (ScreenDpi() != std::atoi(f[1].c_str())) Fail(step + " (is " + std::to_string(ScreenDpi()) + ")");
  } else if (verb == "rect") {
    HWND control = id() ? Control(id()) : Form();
    if (!control) Fail(step + " (no wizard window)");
    RECT r;
    if (id()) {
      r = RectInParent(id());
    } else {
      GetClientRect(control, &r);
    }
    const int got[] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    std::string want = f.size() > 2 ? f[2] : "", is;
    for (int i = 0; i < 4; ++i) {
      is += (i ? "," : "") + std::to_string(got[i]);
      const std::size_t comma = want.find(',');
      const std::string field = want.substr(0, comma);
      want = comma == std::string::npos ? "" : want.substr(comma + 1);
      if (field == "*") continue;
      if (field.empty()) Fail(step + " (needs X,Y,W,H)");
      if (std::abs(got[i] - MulDiv(std::atoi(field.c_str()), ScreenDpi(), 96)) > 2) {
        Fail(step + " (is " + is + "... at " + std::to_string(ScreenDpi()) + " dpi)");
      }
    }
    std::printf("rect %d: %s\n", id(), is.c_str());
  } else if (verb == "inner") {
    // The viewer covers the panel's inner area, the picture's: the same margin on every side.
    RECT panel;
    GetClientRect(Control(112), &panel);
    const RECT viewer = RectInParent(109);
    const int margins[] = {viewer.left, viewer.top, panel.right - viewer.right,
                           panel.bottom - viewer.bottom};
    for (int m : margins) {
      if (m != margins[0]) {
        Fail(step + " (margins " + std::to_string(margins[0]) + "," + std::to_string(margins[1]) +
             "," + std::to_string(margins[2]) + "," + std::to_string(margins[3]) + ")");
      }
    }
  } else if (verb == "centred") {
    RECT r;
    if (!Form() || !GetWindowRect(Form(), &r)) Fail(step + " (no wizard window)");
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    if (r.left < 0 || r.top < 0 || r.right > w || r.bottom > h ||
        std::abs(r.left + r.right - w) > 4 || std::abs(r.top + r.bottom - h) > 4) {
      Fail(step + " (" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + " on " + std::to_string(w) +
           "x" + std::to_string(h) + ")");
    }
  } else if (verb == "click") {
    HWND control = Control(id());
    // A user clicks only what is shown and enabled, in a window that is shown and enabled.
    if (!IsWindowVisible(control) || !IsWindowEnabled(control) || !IsWindowEnabled(Form())) {
      Fail(step + " (the button is " + (IsWindowVisible(control) ? "disabled)" : "hidden)"));
    }
    PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(id(), BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
    Sleep(150);
    Settled();
  } else if (verb == "type") {
    SendMessageW(Control(106), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(WideTail(1).c_str()));
  } else if (verb == "enter") {
    HWND edit = Control(106);
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(edit, WM_KEYUP, VK_RETURN, 0xC01C0001);
    Sleep(150);
    Settled();
  } else if (verb == "box") {
    const auto b = Fields(step, 2);
    const std::string arg = b[1];
    const std::size_t bar = arg.find('|');
    const std::size_t colon = arg.rfind(':');
    const std::string caption = arg.substr(0, bar);
    const std::string text = arg.substr(bar + 1, colon - bar - 1);
    const std::string answer = arg.substr(colon + 1);
    HWND box = nullptr;
    if (!Poll([&] { return (box = TopLevel("#32770")) != nullptr || ProcessEnded(); }, 60000) ||
        !box) {
      Fail(step + " (no box)");
    }
    if (WideText(box) != Wide(caption) || WideBoxText(box) != Wide(text)) {
      Fail(step + " (box \"" + Text(box) + "\": \"" + BoxText(box) + "\")");
    }
    PostMessageA(box, WM_COMMAND, answer == "ok" ? IDOK : IDCANCEL, 0);
    Poll([&] { return !IsWindow(box); }, 5000);
    Sleep(150);
  } else if (verb == "nobox") {
    Sleep(300);
    if (HWND box = TopLevel("#32770")) Fail(step + " (\"" + BoxText(box) + "\")");
  } else if (verb == "title") {
    HWND app = TopLevel("TApplication");
    if (!app || WideText(app) != Wide(Fields(step, 2)[1])) {
      Fail(step + " (is \"" + (app ? Text(app) : "") + "\")");
    }
  } else if (verb == "shot") {
    Sleep(300);
    SaveScreen(Fields(step, 2)[1]);
  } else if (verb == "boxshot") {
    if (!Poll([] { return TopLevel("#32770") != nullptr || ProcessEnded(); }, 60000) ||
        !TopLevel("#32770")) {
      Fail(step + " (no box)");
    }
    Sleep(300);
    SaveScreen(Fields(step, 2)[1], true);
  } else if (verb == "boxhas") {
    HWND dialog = nullptr;
    if (!Poll([&] { return (dialog = TopLevel("#32770")) != nullptr; }, 20000)) Fail(step);
    Shows look = {Wide(Fields(step, 2)[1]), false};
    EnumChildWindows(dialog, FindShown, reinterpret_cast<LPARAM>(&look));
    if (!look.found) Fail(step);
  } else if (verb == "link") {
    const std::string arg = Fields(step, 2)[1];
    const std::size_t arrow = arg.find('>');
    const std::string l[] = {"", arg.substr(0, arrow), arrow == std::string::npos ? "" : arg.substr(arrow + 1)};
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    std::string got;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      wchar_t wide[MAX_PATH];
      MultiByteToWideChar(CP_ACP, 0, l[1].c_str(), -1, wide, MAX_PATH);
      if (SUCCEEDED(file->Load(wide, STGM_READ))) {
        char path[MAX_PATH] = {}, dir[MAX_PATH] = {}, description[MAX_PATH] = {},
             icon[MAX_PATH] = {}, args[MAX_PATH] = {};
        int index = -1;
        link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
        link->GetWorkingDirectory(dir, MAX_PATH);
        link->GetDescription(description, MAX_PATH);
        link->GetIconLocation(icon, MAX_PATH, &index);
        link->GetArguments(args, MAX_PATH);
        got = std::string(path) + "|" + dir + "|" + description + "|" + icon + "," +
              std::to_string(index) + "|" + args;
      }
    }
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();
    if (got != l[2]) Fail(step + " (is \"" + got + "\")");
  } else if (verb == "copy") {
    const auto c = Fields(step, 2)[1];
    const std::size_t bar = c.find('|');
    if (!CopyFileA(c.substr(0, bar).c_str(), c.substr(bar + 1).c_str(), FALSE)) Fail(step);
  } else if (verb == "fresh") {
    // A new robot process for one step: system parameters are cached per process.
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = std::string("\"") + self + "\" \"" + Fields(step, 2)[1] + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION child = {};
    DWORD code = 1;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &child)) {
      Fail(step);
    }
    WaitForSingleObject(child.hProcess, 30000);
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    if (code != 0) Fail(step);
  } else if (verb == "phases") {
    // Clicks Next and prints the time at which each status text first shows, until Button1 is
    // enabled again (the end of the installation).
    const DWORD start = GetTickCount();
    HWND status = Control(103);
    HWND next = Control(101);
    PostMessageA(GetParent(next), WM_COMMAND, MAKEWPARAM(101, BN_CLICKED), reinterpret_cast<LPARAM>(next));
    Poll([&] { return !IsWindowEnabled(next); }, 10000);
    std::string last;
    while (!IsWindowEnabled(next)) {
      const std::string now = Text(status);
      if (now != last) std::printf("phase %lu ms: %s\n", GetTickCount() - start, now.c_str());
      last = now;
      Sleep(2);
    }
    std::printf("phase %lu ms: done\n", GetTickCount() - start);
  } else if (verb == "dismiss") {
    HWND dialog = nullptr;
    if (!Poll([&] { return (dialog = TopLevel("#32770")) != nullptr; }, 20000)) Fail(step);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    Poll([&] { return !IsWindow(dialog); }, 5000);
  } else if (verb == "loadlib") {
    if (!LoadLibraryA(Fields(step, 2)[1].c_str())) Fail(step);
  } else if (verb == "random") {
    RandomUser(step);
  } else if (verb == "acp") {
    if (GetACP() != static_cast<UINT>(std::atoi(f[1].c_str()))) {
      Fail(step + " (is " + std::to_string(GetACP()) + ")");
    }
  } else if (verb == "winver") {  // winver:MAJOR.MINOR: the version the system reports
    // RtlGetVersion, as GetVersion gives 6.2 on Windows 8.1 and later to a program whose
    // manifest does not name them.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW v = {};
    v.dwOSVersionInfoSize = sizeof v;
    const auto get = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    if (!get || get(&v) != 0) Fail(step);
    const std::string is = std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion);
    if (is != f[1]) Fail(step + " (is " + is + ")");
  } else if (verb == "sleep") {
    Sleep(std::atoi(f[1].c_str()));
  } else if (verb == "wait-exit") {
    WaitForSingleObject(g_process.hProcess, INFINITE);
  } else if (verb == "close") {
    PostMessageA(Form(), WM_CLOSE, 0, 0);
  } else if (verb == "exit") {
    if (WaitForSingleObject(g_process.hProcess, 30000) != WAIT_OBJECT_0) Fail(step + " (running)");
    DWORD code = 0;
    GetExitCodeProcess(g_process.hProcess, &code);
    if (static_cast<int>(code) != std::atoi(f[1].c_str())) Fail(step + " (is " + std::to_string(code) + ")");
  } else if (verb == "font" || verb == "fontcheck") {
    NONCLIENTMETRICSA m = {};
    m.cbSize = 340;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &m, 0)) Fail(step);
    if (verb == "font") {
      m.lfCaptionFont.lfCharSet = static_cast<BYTE>(std::atoi(f[1].c_str()));
      SystemParametersInfoA(SPI_SETNONCLIENTMETRICS, 0, &m, 0);
    } else if (m.lfCaptionFont.lfCharSet != std::atoi(f[1].c_str())) {
      Fail(step + " (is " + std::to_string(m.lfCaptionFont.lfCharSet) + " " + m.lfCaptionFont.lfFaceName + ")");
    }
  } else {
    Fail("unknown step " + step);
  }
  std::printf("ok %s\n", step.c_str());
  std::fflush(stdout);
}

}  // namespace robot

int main(int argc, char** argv) {
  // Rectangles in physical pixels: a program that is not DPI-aware would see them scaled to 96.
  using SetAware = BOOL(WINAPI*)();
  if (auto set_aware = reinterpret_cast<SetAware>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDPIAware")))) {
    set_aware();
  }
  // The steps as Windows-1251, from the Unicode command line: under another code page the ANSI
  // arguments would have lost their Cyrillic already.
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args) robot::Fail("no command line");
  for (int i = 1; i < count; ++i) robot::Step(robot::Narrow(args[i]), args[i]);
  LocalFree(args);
  (void)argc;
  (void)argv;
  return 0;
}
