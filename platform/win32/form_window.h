// The wizard's Win32 window: every control is its own child window (labels included, so that a
// test robot can read their text and visibility), each state change of the form goes straight to
// it, and each user action goes to the form's FormEvents.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "platform/form_events.h"
#include "platform/form_view.h"
#include "platform/picture.h"

namespace kv {

class Win32Platform;

// Control IDs, readable by GetDlgCtrlID from another process.
enum ControlId : int {
  kIdButton1 = 101, kIdButton2 = 102, kIdLabel2 = 103, kIdProgressBar1 = 104,
  kIdProgressBar2 = 105, kIdEdit1 = 106, kIdRxLabel1 = 107, kIdLabel3 = 108, kIdRichEdit1 = 109,
  kIdBrowse = 110, kIdPanel1 = 111, kIdPanel2 = 112,
};

class FormWindow : public FormView {
 public:
  FormWindow(Win32Platform& platform, HINSTANCE instance, FormEvents& form, HWND owner);
  ~FormWindow() override;

  void SetText(Ctl control, const std::string& text) override;
  void SetVisible(Ctl control, bool visible) override;
  void SetEnabled(Ctl control, bool enabled) override;
  void SetProgress(Ctl control, int position, int maximum) override;
  std::string EditText() override;
  std::string EditTextUtf8() override;
  void SetEditTextUtf8(const std::string& utf8) override;
  void Focus(Ctl control) override;
  void Repaint() override;
  void Close() override;
  void ShowForm() override;
  bool LoadRichText(const std::string& content, bool rtf) override;
  int ShowMessage(const std::string& text, const std::string& caption, unsigned flags) override;

  HWND handle() const { return window_; }

 private:
  struct Label {
    HFONT font;
    COLORREF colour;
    int shadow;                          // pixels; 0: no shadow
    bool autosize;                       // the box follows the text, keeping its left edge
    UINT format;                         // DrawText alignment
  };

  static LRESULT CALLBACK FormProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK PanelProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK LabelProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK BrowseProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT OnFormMessage(UINT message, WPARAM w, LPARAM l);
  void CreateControls();
  void PaintPanelSurface();
  void PaintLabel(HWND label, HDC dc);
  void PaintBrowseGlyph(HWND button, HDC dc);
  void FitLabel(Ctl control);
  void CreateHint();
  void CreateLaterControls();
  bool Replace(Ctl control, const char* cls, DWORD style, DWORD ex_style);
  RECT InnerArea() const;
  HBITMAP Surface();
  HWND Child(Ctl control) const { return controls_[static_cast<int>(control)]; }
  // A length of the 96-dots-per-inch layout on this screen.
  int Scaled(int length) const { return MulDiv(length, dpi_, 96); }
  const Label* LabelOf(HWND window) const;

  Win32Platform& platform_;
  HINSTANCE instance_;
  FormEvents& form_;
  const FormTexts texts_;
  HWND window_ = nullptr;
  std::array<HWND, kControlCount> controls_{};
  struct Progress {
    int position = -1, maximum = -1;  // as last handed to the bar; -1: never
  };
  std::array<Progress, kControlCount> progress_{};
  HWND browse_ = nullptr, tooltip_ = nullptr;
  WNDPROC edit_proc_ = nullptr, browse_proc_ = nullptr;
  HFONT window_font_ = nullptr, banner_font_ = nullptr, status_font_ = nullptr;
  HICON icon_ = nullptr, big_icon_ = nullptr;
  int dpi_ = 96;  // the layout's dots per inch: the screen's, less where the window would not fit
  HMODULE comctl_ = nullptr, rich_edit_ = nullptr;
  static constexpr UINT_PTR kLaterControlsTimer = 1;
  bool later_controls_ = false;    // CreateLaterControls has run
  bool licence_kept_ = false;      // licence_ waits for the viewer
  bool licence_rtf_ = false;
  std::string licence_;
  Picture picture_;
  HBITMAP surface_ = nullptr;  // Panel2's surface: bevels and the stretched picture
  Label label2_{}, label3_{}, rxlabel1_{};
  bool destroyed_ = false;
};

}  // namespace kv
