// The wizard window as the installer's logic sees it: a fixed set of controls, each with the
// little state the wizard changes. TForm1 keeps that state; a FormView shows it. The Win32 view
// pushes every change to the control's own child window; the fake view records it for tests.
#pragma once

#include <string>

namespace kv {

// The window's members in the order TForm1 declares them (the DDE conversation is not a control).
enum class Ctl {
  Panel1, Panel2, Button1, Button2, Label2, ProgressBar1, ProgressBar2, Edit1, Image1,
  RxLabel1, Label3, RichEdit1, kCount
};
constexpr int kControlCount = static_cast<int>(Ctl::kCount);

struct ControlState {
  std::string text;  // caption of a button or label, text of the folder editor
  bool visible = true;
  bool enabled = true;
  int position = 0;  // progress bars: always kept within 0..maximum, as the real control does
  int maximum = 100;
};

class FormView {
 public:
  virtual ~FormView() = default;
  virtual void Update(Ctl control, const ControlState& state) = 0;
  // Pulls the folder editor's text as the user left it.
  virtual std::string EditText() = 0;
  virtual void Focus(Ctl control) = 0;
  virtual void Repaint() = 0;  // paint the whole window at once
  virtual void Close() = 0;     // destroys the window: FormDestroy runs, the program ends
  virtual void ShowForm() = 0;  // shows the window, centred, once FormCreate has run
  // Loads the licence viewer: as rich text when `rtf`, else as plain text. Returns false when the
  // viewer rejected the content as rich text (the caller then loads it as plain text).
  virtual bool LoadRichText(const std::string& content, bool rtf) = 0;
};

}  // namespace kv
