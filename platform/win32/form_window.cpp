#include "platform/win32/form_window.h"

#include <commctrl.h>
#include <richedit.h>

#include <string_view>
#include <vector>

#include "platform/rich_text.h"
#include "platform/win32/win32_platform.h"

namespace kv {

namespace {

constexpr int kClientWidth = 409, kClientHeight = 275;
constexpr COLORREF kNavy = RGB(0x00, 0x00, 0x80);
constexpr COLORREF kShadow = RGB(0xF0, 0xCA, 0xA6);
constexpr COLORREF kEditionColour = RGB(0x7C, 0x60, 0x52);
constexpr int kBrowseWidth = 21;
constexpr DWORD kViewerStyle =
    WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;

// Geometry of every control that is a window, relative to its parent, at 96 dots per inch; the
// window scales it to the screen's (FormWindow::Scaled).
struct Placement {
  Ctl control;
  int id, x, y, width, height;
};
constexpr Placement kPlacements[] = {
    {Ctl::Panel1, kIdPanel1, 0, 239, 409, 36},       {Ctl::Panel2, kIdPanel2, 0, 0, 409, 239},
    {Ctl::Button1, kIdButton1, 324, 7, 75, 25},      {Ctl::Button2, kIdButton2, 240, 7, 75, 25},
    {Ctl::Label3, kIdLabel3, 14, 116, 379, 71},      {Ctl::Label2, kIdLabel2, 23, 135, 193, 16},
    {Ctl::RxLabel1, kIdRxLabel1, 127, 85, 89, 16},   {Ctl::ProgressBar1, kIdProgressBar1, 25, 156, 205, 10},
    {Ctl::ProgressBar2, kIdProgressBar2, 25, 175, 205, 10}, {Ctl::Edit1, kIdEdit1, 24, 154, 321, 22},
    {Ctl::RichEdit1, kIdRichEdit1, 4, 4, 401, 231},
};

HFONT MakeFont(int height, bool bold) {
  // "Arial" in the Cyrillic set. A fixed-pitch request beside the face makes some font mappers
  // (Wine's among them) drop Arial for a typewriter face, so the face alone decides.
  return CreateFontA(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, "Arial");
}

// A frame `width` pixels wide: `light` on the top and left edges, `dark` on the bottom and right.
// Leaves `r` as the area inside it.
void Frame(HDC dc, RECT& r, int width, COLORREF light, COLORREF dark) {
  for (int i = 0; i < width; ++i) {
    HPEN pen = CreatePen(PS_SOLID, 1, light);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, r.left, r.bottom - 1, nullptr);
    LineTo(dc, r.left, r.top);
    LineTo(dc, r.right - 1, r.top);
    SelectObject(dc, old);
    DeleteObject(pen);
    pen = CreatePen(PS_SOLID, 1, dark);
    old = SelectObject(dc, pen);
    MoveToEx(dc, r.right - 1, r.top, nullptr);
    LineTo(dc, r.right - 1, r.bottom - 1);
    LineTo(dc, r.left - 1, r.bottom - 1);
    SelectObject(dc, old);
    DeleteObject(pen);
    InflateRect(&r, -1, -1);
  }
}

std::string WindowText(HWND window) {
  const int n = GetWindowTextLengthA(window);
  std::string text(n + 1, '\0');
  text.resize(GetWindowTextA(window, text.data(), n + 1));
  return text;
}

std::wstring WideWindowText(HWND window) {
  const int n = GetWindowTextLengthW(window);
  std::wstring text(n + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), n + 1));
  return text;
}

// The Unicode of a text for control `c`. The editor holds a path, the system's text; the file
// removal's status line carries one between its two halves; everything else is the program's own.
std::wstring ShownText(const FormTexts& texts, Ctl c, const std::string& text) {
  if (c == Ctl::Edit1) return SystemText(text);
  const std::string_view head = texts.folder_status_head, tail = texts.folder_status_tail;
  if (c == Ctl::Label2 && text.size() >= head.size() + tail.size() && text.starts_with(head) &&
      text.ends_with(tail)) {
    return Cp1251Text(std::string(head)) +
           SystemText(text.substr(head.size(), text.size() - head.size() - tail.size())) +
           Cp1251Text(std::string(tail));
  }
  return Cp1251Text(text);
}

// A label's own text, in the form its window keeps it. Reading it allocates: it is read before
// any device context is taken, so that a failing allocation leaves none behind.
class LabelText {
 public:
  explicit LabelText(HWND window) {
    if (WideTexts()) {
      wide_ = WideWindowText(window);
    } else {
      narrow_ = WindowText(window);
    }
  }
  bool empty() const { return wide_.empty() && narrow_.empty(); }
  // An empty text is measured as one blank, so that a label keeps its line's height.
  int Draw(HDC dc, RECT* r, UINT format) const {
    const bool blank = empty() && (format & DT_CALCRECT);
    if (WideTexts()) return DrawTextW(dc, blank ? L" " : wide_.c_str(), -1, r, format);
    return DrawTextA(dc, blank ? " " : narrow_.c_str(), -1, r, format);
  }

 private:
  std::wstring wide_;
  std::string narrow_;
};

// Runs a handler of the wizard. The steps guard their own work; this is the last fence, since no
// exception may cross a window procedure into the system's code.
template <typename Handler>
void Guarded(Handler handler) {
  try {
    handler();
  } catch (...) {
  }
}

struct StreamSource {
  const std::string* content;
  std::size_t position;
};

DWORD CALLBACK StreamIn(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* done) {
  auto* source = reinterpret_cast<StreamSource*>(cookie);
  const std::size_t left = source->content->size() - source->position;
  const std::size_t n = left < static_cast<std::size_t>(size) ? left : size;
  CopyMemory(buffer, source->content->data() + source->position, n);
  source->position += n;
  *done = static_cast<LONG>(n);
  return 0;
}

}  // namespace

FormWindow::FormWindow(Win32Platform& platform, HINSTANCE instance, FormEvents& form, HWND owner)
    : platform_(platform), instance_(instance), form_(form), texts_(form.Texts()) {
  // The layout scales with the screen's dots per inch, as far as the window still fits on the
  // screen; at 96 it is the layout of kPlacements as it stands.
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD ex_style =
      WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_TOPMOST | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const int screen_width = GetSystemMetrics(SM_CXSCREEN), screen_height = GetSystemMetrics(SM_CYSCREEN);
  // What the taskbar and other desktop bars leave free.
  RECT work = {0, 0, screen_width, screen_height};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  RECT r;
  for (dpi_ = dpi_ > 96 ? dpi_ : 96;; --dpi_) {
    r = {0, 0, Scaled(kClientWidth), Scaled(kClientHeight)};
    AdjustWindowRectEx(&r, style, FALSE, ex_style);
    if (dpi_ == 96 ||
        (r.right - r.left <= work.right - work.left && r.bottom - r.top <= work.bottom - work.top)) {
      break;
    }
  }

  window_font_ = MakeFont(Scaled(12), false);
  banner_font_ = MakeFont(Scaled(27), true);
  status_font_ = MakeFont(Scaled(13), true);
  const int shadow = Scaled(1);
  label3_ = {banner_font_, kNavy, shadow, false, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX};
  label2_ = {status_font_, kNavy, shadow, true, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX};
  rxlabel1_ = {status_font_, kEditionColour, 0, true, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX};
  // The title bar's icon and the task switcher's, each at the size the system draws it.
  icon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXSMICON),
                                        GetSystemMetrics(SM_CYSMICON), 0));
  big_icon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON),
                                            GetSystemMetrics(SM_CYICON), 0));

  WNDCLASSA wc = {};
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpfnWndProc = FormProc;
  wc.hIcon = big_icon_;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = "TForm1";
  RegisterWindowClass(wc);
  wc.hIcon = nullptr;
  wc.lpfnWndProc = PanelProc;
  wc.lpszClassName = "TPanel";
  RegisterWindowClass(wc);
  wc.lpfnWndProc = LabelProc;
  wc.hbrBackground = nullptr;
  wc.lpszClassName = "TLabel";
  RegisterWindowClass(wc);

  // Centred on the screen; where that would put a part of it under a desktop bar, centred in the
  // work area instead, so that the buttons stay within reach.
  const int width = r.right - r.left, height = r.bottom - r.top;
  int x = (screen_width - width) / 2, y = (screen_height - height) / 2;
  if (x < work.left || y < work.top || x + width > work.right || y + height > work.bottom) {
    x = work.left + (work.right - work.left - width) / 2;
    y = work.top + (work.bottom - work.top - height) / 2;
    x = x < work.left ? work.left : x;
    y = y < work.top ? work.top : y;
  }
  window_ = MakeWindow(ex_style, "TForm1", texts_.caption, style, x, y, width, height, owner,
                       nullptr, instance, this);
  if (!window_ || !IsWindow(window_)) {
    window_ = nullptr;  // handle() tells the platform; nothing of the window is left to destroy
    destroyed_ = true;
    return;
  }
  if (HMENU menu = GetSystemMenu(window_, FALSE)) {
    for (UINT item : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE}) {
      DeleteMenu(menu, item, MF_BYCOMMAND);
    }
  }
  SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_));
  CreateControls();
  // The timer fires once the window has shown and painted: then the controls of later pages that
  // need libraries of their own follow.
  SetTimer(window_, kLaterControlsTimer, 0, nullptr);
}

FormWindow::~FormWindow() {
  if (!destroyed_ && window_) DestroyWindow(window_);
  for (HGDIOBJ o : {static_cast<HGDIOBJ>(window_font_), static_cast<HGDIOBJ>(banner_font_),
                    static_cast<HGDIOBJ>(status_font_), static_cast<HGDIOBJ>(surface_)}) {
    if (o) DeleteObject(o);
  }
  if (icon_) DestroyIcon(icon_);
  if (big_icon_) DestroyIcon(big_icon_);
}

void FormWindow::CreateControls() {
  const DWORD child = WS_CHILD | WS_CLIPSIBLINGS;
  auto make = [&](Ctl c, const char* cls, DWORD style, DWORD ex_style, HWND parent) {
    for (const Placement& p : kPlacements) {
      if (p.control != c) continue;
      // Edges are scaled rather than sizes, so that controls that meet at 96 still meet.
      HWND h = MakeWindow(ex_style, cls, "", child | style, Scaled(p.x), Scaled(p.y),
                          Scaled(p.x + p.width) - Scaled(p.x),
                          Scaled(p.y + p.height) - Scaled(p.y), parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)), instance_, nullptr);
      SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(window_font_), FALSE);
      controls_[static_cast<int>(c)] = h;
      return h;
    }
    return HWND{};
  };
  HWND panel1 = make(Ctl::Panel1, "TPanel", WS_VISIBLE | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, window_);
  HWND panel2 = make(Ctl::Panel2, "TPanel", WS_VISIBLE | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, window_);
  make(Ctl::Button1, "BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, panel1);
  make(Ctl::Button2, "BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, panel1);
  // Panel2's children, bottom to top: the labels (drawn as if on the panel's surface), then the
  // progress bars, the folder editor and the licence viewer.
  make(Ctl::Label3, "TLabel", 0, 0, panel2);
  make(Ctl::Label2, "TLabel", 0, 0, panel2);
  make(Ctl::RxLabel1, "TLabel", 0, 0, panel2);
  // The progress bars and the viewer start as plain stand-ins (CreateLaterControls).
  make(Ctl::ProgressBar1, "STATIC", 0, 0, panel2);
  make(Ctl::ProgressBar2, "STATIC", 0, 0, panel2);
  HWND edit = make(Ctl::Edit1, "EDIT", WS_TABSTOP | ES_AUTOHSCROLL | WS_CLIPCHILDREN,
                   WS_EX_CLIENTEDGE, panel2);
  HWND viewer = make(Ctl::RichEdit1, "EDIT", kViewerStyle, WS_EX_CLIENTEDGE, panel2);
  // The viewer covers exactly the inner area that the panel's surface paints the picture into.
  const RECT inner = InnerArea();
  SetWindowPos(viewer, nullptr, inner.left, inner.top, inner.right - inner.left,
               inner.bottom - inner.top, SWP_NOZORDER | SWP_NOACTIVATE);
  for (Ctl c : {Ctl::Label3, Ctl::Label2, Ctl::RxLabel1, Ctl::ProgressBar1, Ctl::ProgressBar2,
                Ctl::Edit1, Ctl::RichEdit1}) {
    SetWindowPos(Child(c), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  SetWindowPos(panel1, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  // The browse button inside the right end of the folder editor, with its two-line hint.
  RECT client;
  GetClientRect(edit, &client);
  const int browse_width = Scaled(kBrowseWidth);
  browse_ = MakeWindow(0, "BUTTON", "", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW,
                       client.right - browse_width, 0, browse_width, client.bottom, edit,
                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdBrowse)), instance_,
                       nullptr);
  SendMessageA(edit, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELONG(0, Scaled(kBrowseWidth + 2)));
  SetWindowLongPtrA(browse_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  edit_proc_ = reinterpret_cast<WNDPROC>((WideTexts() ? SetWindowLongPtrW : SetWindowLongPtrA)(
      edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
}

void FormWindow::CreateHint() {
  HWND edit = Child(Ctl::Edit1);
  tooltip_ = MakeWindow(WS_EX_TOPMOST, "tooltips_class32", "",
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
  if (tooltip_) {
    TOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = edit;
    tool.uId = reinterpret_cast<UINT_PTR>(browse_);
    tool.lpszText = const_cast<char*>(texts_.browse_hint);
    // The same record with a Unicode text: the two forms differ only in the text's type.
    std::wstring hint = Cp1251Text(texts_.browse_hint);
    TOOLINFOW wide_tool = {};
    static_assert(sizeof wide_tool == sizeof tool);
    CopyMemory(&wide_tool, &tool, sizeof tool);
    wide_tool.lpszText = hint.data();
    if (WideTexts()) {
      SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&wide_tool));
    } else {
      SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageA(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scaled(400));
  }
}

// Panel2's client area inside its two bevels, 4 pixels at 96 dots per inch: where the picture is
// drawn and the licence viewer lies, both taken from this one rectangle.
RECT FormWindow::InnerArea() const {
  RECT r;
  GetClientRect(Child(Ctl::Panel2), &r);
  InflateRect(&r, -Scaled(4), -Scaled(4));
  return r;
}

// Panel2's surface, made when it is first painted.
HBITMAP FormWindow::Surface() {
  if (!surface_ && !destroyed_) {
    form_.WelcomePicture(&picture_);
    PaintPanelSurface();
  }
  return surface_;
}

// Panel2's surface: face colour, raised outer and lowered inner bevel, then the welcome picture
// stretched over the inner area. The labels copy their background from it.
void FormWindow::PaintPanelSurface() {
  // The picture's bits first: what allocates comes before any device context is taken, so that
  // an allocation failing leaves no context or bitmap behind.
  const RECT inner = InnerArea();
  // At 96 dots per inch the system stretches the picture to the inner area; at any other size it
  // is resampled here first, smoothly, since a system's stretching may enlarge by repeating pixels
  // (Wine's does, even in HALFTONE mode).
  const Picture resampled = dpi_ == 96 || picture_.rgb.empty()
      ? Picture{} : Resampled(picture_, inner.right - inner.left, inner.bottom - inner.top);
  const Picture& picture = dpi_ == 96 ? picture_ : resampled;
  // A 24-bit DIB: rows bottom-up, padded to four bytes, blue first.
  const int stride = (picture.width * 3 + 3) & ~3;
  std::vector<BYTE> bits(picture.rgb.empty() ? 0 : static_cast<std::size_t>(stride) * picture.height);
  for (int y = 0; !bits.empty() && y < picture.height; ++y) {
    const std::uint8_t* src = &picture.rgb[static_cast<std::size_t>(y) * picture.width * 3];
    BYTE* dst = &bits[static_cast<std::size_t>(picture.height - 1 - y) * stride];
    for (int x = 0; x < picture.width; ++x) {
      dst[x * 3] = src[x * 3 + 2];
      dst[x * 3 + 1] = src[x * 3 + 1];
      dst[x * 3 + 2] = src[x * 3];
    }
  }

  RECT r;
  GetClientRect(Child(Ctl::Panel2), &r);
  HDC screen = GetDC(window_);
  HDC dc = CreateCompatibleDC(screen);
  surface_ = CreateCompatibleBitmap(screen, r.right, r.bottom);
  ReleaseDC(window_, screen);
  HGDIOBJ old = SelectObject(dc, surface_);
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  // Two bevels, 2 pixels each at 96 dots per inch, around the inner area.
  Frame(dc, r, Scaled(2), GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
  Frame(dc, r, Scaled(4) - Scaled(2), GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
  if (!bits.empty()) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchDIBits(dc, inner.left, inner.top, inner.right - inner.left, inner.bottom - inner.top,
                  0, 0, picture.width, picture.height, bits.data(), &info, DIB_RGB_COLORS,
                  SRCCOPY);
  }
  SelectObject(dc, old);
  DeleteDC(dc);
}

const FormWindow::Label* FormWindow::LabelOf(HWND window) const {
  if (window == Child(Ctl::Label2)) return &label2_;
  if (window == Child(Ctl::Label3)) return &label3_;
  if (window == Child(Ctl::RxLabel1)) return &rxlabel1_;
  return nullptr;
}

void FormWindow::PaintLabel(HWND window, HDC dc) {
  const Label* label = LabelOf(window);
  const LabelText text(window);
  RECT r;
  GetClientRect(window, &r);
  POINT at = {0, 0};
  MapWindowPoints(window, Child(Ctl::Panel2), &at, 1);
  HDC buffer = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, r.right, r.bottom);
  HGDIOBJ old_bitmap = SelectObject(buffer, bitmap);
  HDC surface = CreateCompatibleDC(dc);
  HGDIOBJ old_surface = SelectObject(surface, surface_);
  BitBlt(buffer, 0, 0, r.right, r.bottom, surface, at.x, at.y, SRCCOPY);  // the picture below
  SelectObject(surface, old_surface);
  DeleteDC(surface);

  HGDIOBJ old_font = SelectObject(buffer, label->font);
  SetBkMode(buffer, TRANSPARENT);
  RECT box = r;
  if (label->format & DT_WORDBREAK) {  // centred vertically in the fixed box
    RECT measure = r;
    text.Draw(buffer, &measure, label->format | DT_CALCRECT);
    box.top = (r.bottom - (measure.bottom - measure.top)) / 2;
  }
  if (label->shadow) {
    RECT shadow = box;
    OffsetRect(&shadow, -label->shadow, -label->shadow);
    SetTextColor(buffer, kShadow);
    text.Draw(buffer, &shadow, label->format);
  }
  SetTextColor(buffer, label->colour);
  text.Draw(buffer, &box, label->format);
  SelectObject(buffer, old_font);
  BitBlt(dc, 0, 0, r.right, r.bottom, buffer, 0, 0, SRCCOPY);
  SelectObject(buffer, old_bitmap);
  DeleteObject(bitmap);
  DeleteDC(buffer);
}

// A small open folder, 16 x 12 at 96 dots per inch: a yellow body with a dark outline, its lid
// tilted open.
void FormWindow::PaintBrowseGlyph(HWND button, HDC dc) {
  RECT r;
  GetClientRect(button, &r);
  const bool pushed = SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED;
  DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  const int shift = pushed ? Scaled(1) : 0;
  const int x0 = (r.right - Scaled(16)) / 2 + shift, y0 = (r.bottom - Scaled(12)) / 2 + shift;
  auto at = [&](int x, int y) { return POINT{x0 + Scaled(x), y0 + Scaled(y)}; };
  HPEN pen = CreatePen(PS_SOLID, Scaled(1), RGB(0x40, 0x40, 0x00));
  HBRUSH back = CreateSolidBrush(RGB(0xC0, 0xA0, 0x20));
  HBRUSH front = CreateSolidBrush(RGB(0xFF, 0xE0, 0x60));
  HGDIOBJ old_pen = SelectObject(dc, pen);
  HGDIOBJ old_brush = SelectObject(dc, back);
  const POINT body[] = {at(0, 1), at(5, 1), at(6, 2), at(12, 2), at(12, 11), at(0, 11)};
  Polygon(dc, body, 6);
  SelectObject(dc, front);
  const POINT lid[] = {at(0, 11), at(3, 5), at(15, 5), at(12, 11)};
  Polygon(dc, lid, 4);
  SelectObject(dc, old_brush);
  SelectObject(dc, old_pen);
  DeleteObject(front);
  DeleteObject(back);
  DeleteObject(pen);
}

void FormWindow::FitLabel(Ctl c) {
  HWND window = Child(c);
  const Label* label = LabelOf(window);
  if (!label || !label->autosize) return;
  const LabelText text(window);
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, label->font);
  RECT r = {0, 0, 0, 0};
  text.Draw(dc, &r, label->format | DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  SetWindowPos(window, nullptr, 0, 0, text.empty() ? 0 : r.right, r.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- FormView --------------------------------------------------------------------------------------

void FormWindow::SetText(Ctl c, const std::string& text) {
  HWND h = Child(c);
  if (!h || destroyed_ || c == Ctl::RichEdit1) return;
  if (WideTexts()) {
    const std::wstring wide = ShownText(texts_, c, text);
    if (WideWindowText(h) == wide) return;
    SetWindowTextW(h, wide.c_str());
  } else {
    if (WindowText(h) == text) return;
    SetWindowTextA(h, text.c_str());
  }
  FitLabel(c);
  if (LabelOf(h)) InvalidateRect(h, nullptr, FALSE);
}

void FormWindow::SetVisible(Ctl c, bool visible) {
  if (visible && (c == Ctl::RichEdit1 || c == Ctl::ProgressBar1 || c == Ctl::ProgressBar2 ||
                  c == Ctl::Edit1)) {
    CreateLaterControls();
  }
  HWND h = Child(c);
  const bool shown = (GetWindowLongA(h, GWL_STYLE) & WS_VISIBLE) != 0;
  if (!h || destroyed_ || shown == visible) return;
  // A hidden control keeps no focus: the keys would go to a window the user cannot see.
  if (!visible && (GetFocus() == h || IsChild(h, GetFocus()))) SetFocus(window_);
  ShowWindow(h, visible ? SW_SHOWNA : SW_HIDE);
}

void FormWindow::SetEnabled(Ctl c, bool enabled) {
  HWND h = Child(c);
  if (h && !destroyed_) EnableWindow(h, enabled);
}

void FormWindow::SetProgress(Ctl c, int position, int maximum) {
  HWND h = Child(c);
  if (!h || destroyed_) return;
  // The copy step advances a bar once per 2 KB chunk: touch the control only for a real change,
  // so that an unchanged (full) bar costs no message and no repaint.
  Progress& shown = progress_[static_cast<int>(c)];
  if (shown.maximum != maximum) SendMessageA(h, PBM_SETRANGE32, 0, maximum);
  if (shown.position != position || shown.maximum != maximum) {
    SendMessageA(h, PBM_SETPOS, position, 0);
  }
  shown = {position, maximum};
}

void FormWindow::SetEditTextUtf8(const std::string& utf8) {
  HWND h = Child(Ctl::Edit1);
  if (!h || destroyed_) return;
  if (WideTexts()) {
    SetWindowTextW(h, Utf8Text(utf8).c_str());
    return;
  }
  std::string system;  // from the system's ANSI command line: its code page holds it
  SetWindowTextA(h, ToSystemText(Utf8Text(utf8), &system) ? system.c_str() : "");
}

std::string FormWindow::EditText() {
  if (!WideTexts()) return WindowText(Child(Ctl::Edit1));
  // A text the system's code page cannot hold exactly comes back empty, which the folder checks
  // refuse: no folder is made under another name than the one typed.
  std::string text;
  return ToSystemText(WideWindowText(Child(Ctl::Edit1)), &text) ? text : std::string();
}

std::string FormWindow::EditTextUtf8() {
  if (!WideTexts()) return std::string();  // the A editor holds only what the code page holds
  const std::wstring text = WideWindowText(Child(Ctl::Edit1));
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

void FormWindow::Focus(Ctl c) {
  if (!destroyed_ && IsWindowVisible(Child(c))) SetFocus(Child(c));
}

void FormWindow::Repaint() {
  if (!destroyed_) {
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

void FormWindow::Close() {
  if (!destroyed_) DestroyWindow(window_);
}

void FormWindow::ShowForm() {
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  UpdateWindow(window_);
}

// Controls of later pages whose classes come from libraries of their own (common controls for
// the progress bars and the browse hint, the rich-text library for the licence viewer), all from
// the system folder only. Loading them takes a while and the first window needs none of them:
// they are made once the window has shown (or when a page needs one first). Until then plain
// windows with their places and IDs stand in, and the licence read at start is kept for the
// viewer.
void FormWindow::CreateLaterControls() {
  if (later_controls_ || destroyed_) return;
  later_controls_ = true;
  KillTimer(window_, kLaterControlsTimer);
  comctl_ = LoadSystemLibrary("comctl32.dll");
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  INITCOMMONCONTROLSEX init = {sizeof init, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  if (auto fn = comctl_ ? reinterpret_cast<InitFn>(reinterpret_cast<void*>(
                              GetProcAddress(comctl_, "InitCommonControlsEx")))
                        : nullptr) {
    fn(&init);
  }
  if (comctl_) {
    Replace(Ctl::ProgressBar1, "msctls_progress32", 0, 0);
    Replace(Ctl::ProgressBar2, "msctls_progress32", 0, 0);
    CreateHint();
  }
  // The rich-text viewer of version 2, else of version 1; when neither library loads or makes
  // its control, the plain stand-in stays and shows the licence's text.
  const struct {
    const char* library;
    const char* cls;
  } viewers[] = {{"riched20.dll", WideTexts() ? "RichEdit20W" : "RichEdit20A"},
                 {"riched32.dll", "RICHEDIT"}};
  for (const auto& v : viewers) {
    HMODULE library = LoadSystemLibrary(v.library);
    if (library && Replace(Ctl::RichEdit1, v.cls, kViewerStyle, WS_EX_CLIENTEDGE)) {
      rich_edit_ = library;
      break;
    }
    if (library) FreeLibrary(library);
  }
  if (licence_kept_) {
    licence_kept_ = false;
    std::string content;
    content.swap(licence_);
    if (!(licence_rtf_ && LoadRichText(content, true))) {
      LoadRichText(licence_rtf_ ? RtfToPlainText(content) : content, false);
    }
  }
}

// Puts a control of class `cls` in the place, z-order, ID, font and state of `control`'s
// stand-in. False when the control cannot be made: the stand-in stays.
bool FormWindow::Replace(Ctl control, const char* cls, DWORD style, DWORD ex_style) {
  HWND stand_in = Child(control);
  if (!stand_in) return false;
  RECT r;
  GetWindowRect(stand_in, &r);
  HWND parent = GetParent(stand_in);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  HWND h = MakeWindow(ex_style, cls, "", WS_CHILD | WS_CLIPSIBLINGS | style, r.left, r.top,
                      r.right - r.left, r.bottom - r.top, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(GetDlgCtrlID(stand_in))),
                      instance_, nullptr);
  if (!h) return false;
  SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SendMessageA(h, WM_SETFONT, SendMessageA(stand_in, WM_GETFONT, 0, 0), FALSE);
  EnableWindow(h, IsWindowEnabled(stand_in));
  if (control == Ctl::ProgressBar1 || control == Ctl::ProgressBar2) {
    const Progress& shown = progress_[static_cast<int>(control)];
    if (shown.maximum >= 0) SendMessageA(h, PBM_SETRANGE32, 0, shown.maximum);
    if (shown.position >= 0) SendMessageA(h, PBM_SETPOS, shown.position, 0);
  }
  SetWindowPos(h, stand_in, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const bool visible = (GetWindowLongA(stand_in, GWL_STYLE) & WS_VISIBLE) != 0;
  controls_[static_cast<int>(control)] = h;
  DestroyWindow(stand_in);
  if (visible) ShowWindow(h, SW_SHOWNA);
  return true;
}

bool FormWindow::LoadRichText(const std::string& content, bool rtf) {
  if (!later_controls_) {
    licence_ = content;
    licence_rtf_ = rtf;
    licence_kept_ = true;
    return true;
  }
  HWND viewer = Child(Ctl::RichEdit1);
  if (!rich_edit_) {
    // The plain stand-in: text only, its lines ended by CR LF.
    if (rtf) return false;
    std::string text;
    text.reserve(content.size() + content.size() / 16);
    for (std::size_t i = 0; i < content.size(); ++i) {
      if (content[i] == '\n' && (i == 0 || content[i - 1] != '\r')) text += '\r';
      text += content[i];
    }
    SendMessageA(viewer, EM_SETLIMITTEXT, 0, 0);  // no limit below the system's own
    if (WideTexts()) {
      SetWindowTextW(viewer, Cp1251Text(text).c_str());
    } else {
      SetWindowTextA(viewer, text.c_str());
    }
    return true;
  }
  // Plain text is the program's Windows-1251: the Unicode viewer of version 2 gets its Unicode,
  // any other viewer rich text that names the code page. Rich text names its own character sets.
  std::string unicode, named;
  char cls[16] = {};
  GetClassNameA(viewer, cls, sizeof cls);
  if (!rtf && WideTexts() && lstrcmpA(cls, "RichEdit20W") == 0) {
    const std::wstring wide = Cp1251Text(content);
    unicode.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
  } else if (!rtf) {
    named = Cp1251AsRichText(content);
    rtf = true;
  }
  StreamSource source{!unicode.empty() ? &unicode : !named.empty() ? &named : &content, 0};
  EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, StreamIn};
  // The viewer takes 32,767 characters unless told otherwise: a longer licence would be cut.
  SendMessageA(viewer, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
  SendMessageA(viewer, EM_STREAMIN, rtf ? SF_RTF : unicode.empty() ? SF_TEXT : SF_TEXT | SF_UNICODE,
               reinterpret_cast<LPARAM>(&stream));
  return stream.dwError == 0;
}

// ---- Window procedures -----------------------------------------------------------------------------

LRESULT CALLBACK FormWindow::FormProc(HWND h, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTA*>(l)->lpCreateParams);
    self->window_ = h;
    SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrA(h, GWLP_USERDATA));
  return self ? self->OnFormMessage(message, w, l) : DefProc(h, message, w, l);
}

LRESULT FormWindow::OnFormMessage(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_COMMAND:
      // Clicks, and Enter on a focused button (IsDialogMessage sends its ID here); IDOK and
      // IDCANCEL from Enter elsewhere and Esc are ignored: neither button is default or cancel.
      if (HIWORD(w) == BN_CLICKED && LOWORD(w) == kIdButton1) {
        Guarded([&] { form_.Button1Click(); });
      }
      if (HIWORD(w) == BN_CLICKED && LOWORD(w) == kIdButton2) {
        Guarded([&] { form_.Button2Click(); });
      }
      return 0;
    case WM_SETCURSOR:
      if (platform_.hourglass()) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_TIMER:
      if (w == kLaterControlsTimer) {
        Guarded([&] { CreateLaterControls(); });
        return 0;
      }
      break;
    case WM_CLOSE: {
      // The close box, the system menu's Close, Alt+F4: the form decides; while the installation
      // sequence runs the window only hides, and closes once the sequence has returned.
      bool closed = true;
      Guarded([&] { closed = form_.FormClose(); });
      if (!closed && !destroyed_) ShowWindow(window_, SW_HIDE);
      return 0;
    }
    case WM_DESTROY:
      destroyed_ = true;
      Guarded([&] { form_.FormDestroy(); });
      PostQuitMessage(0);
      return 0;
  }
  return DefProc(window_, message, w, l);
}

LRESULT CALLBACK FormWindow::PanelProc(HWND h, UINT message, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrA(h, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
      return SendMessageA(GetParent(h), message, w, l);
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      // Making the surface allocates: no error may leave the paint (EndPaint must follow).
      bool surface = false;
      Guarded([&] { surface = self && h == self->Child(Ctl::Panel2) && self->Surface(); });
      if (surface) {
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, self->surface_);
        BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
               ps.rcPaint.bottom - ps.rcPaint.top, source, ps.rcPaint.left, ps.rcPaint.top,
               SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
      } else {
        FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
      }
      EndPaint(h, &ps);
      return 0;
    }
  }
  return DefProc(h, message, w, l);
}

LRESULT CALLBACK FormWindow::LabelProc(HWND h, UINT message, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrA(h, GWLP_USERDATA));
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      Guarded([&] {
        if (self && self->LabelOf(h) && self->Surface()) self->PaintLabel(h, dc);
      });
      EndPaint(h, &ps);
      return 0;
    }
  }
  return DefProc(h, message, w, l);
}

LRESULT CALLBACK FormWindow::EditProc(HWND h, UINT message, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrA(h, GWLP_USERDATA));
  switch (message) {
    case WM_GETDLGCODE:
      // Enter belongs to the editor, not to the dialog navigation.
      if (l && reinterpret_cast<MSG*>(l)->message == WM_KEYDOWN && w == VK_RETURN) {
        return DLGC_WANTALLKEYS | CallProc(self->edit_proc_, h, message, w, l);
      }
      break;
    case WM_CHAR: {
      // The key handler knows the control keys; a character beyond ASCII (a Unicode unit where
      // WideTexts) goes to the editor as it came.
      if (WideTexts() && w >= 0x80) break;
      char key = static_cast<char>(w);
      Guarded([&] { self->form_.Edit2KeyPress(key); });
      if (key == 0) return 0;
      w = static_cast<unsigned char>(key);
      break;
    }
    case WM_COMMAND:
      if (LOWORD(w) == kIdBrowse && HIWORD(w) == BN_CLICKED) {
        Guarded([&] { self->form_.Edit1ButtonClick(); });
        return 0;
      }
      break;
    case WM_DRAWITEM:
      if (w == kIdBrowse) {
        self->PaintBrowseGlyph(self->browse_, reinterpret_cast<DRAWITEMSTRUCT*>(l)->hDC);
        return TRUE;
      }
      break;
  }
  return CallProc(self->edit_proc_, h, message, w, l);
}

int FormWindow::ShowMessage(const std::string& text, const std::string& caption, unsigned flags) {
  return platform_.ShowMessage(text, caption, flags);
}

}  // namespace kv
