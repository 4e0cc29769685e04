// The wizard window as the installer's logic sees it: a fixed set of controls, each with the
// little state the wizard changes. TForm1 keeps that state; a FormView shows it. The Win32 view
// hands every change to the control's own child window; the fake view keeps it for tests.
#pragma once

#include <string>

namespace kv {

// The window's members in the order TForm1 declares them (the DDE conversation is not a control).
enum class Ctl {
  Panel1, Panel2, Button1, Button2, Label2, ProgressBar1, ProgressBar2, Edit1, Image1,
  RxLabel1, Label3, RichEdit1, kCount
};
constexpr int kControlCount = static_cast<int>(Ctl::kCount);

// What TForm1 keeps of a control. The folder editor's text is not here: the user types into the
// editor, so the text belongs to the view and TForm1 reads it back when it needs it.
struct ControlState {
  std::string text;  // caption of a button or label
  bool visible = true;
  bool enabled = true;
  int position = 0;  // progress bars: always kept within 0..maximum, as the real control does
  int maximum = 100;
};

class FormView {
 public:
  virtual ~FormView() = default;
  // Each call changes one property of one control and nothing else, so that no change can
  // overwrite what the user changed meanwhile (the editor's text, the focus, the scroll position).
  virtual void SetText(Ctl control, const std::string& text) = 0;
  virtual void SetVisible(Ctl control, bool visible) = 0;
  virtual void SetEnabled(Ctl control, bool enabled) = 0;
  virtual void SetProgress(Ctl control, int position, int maximum) = 0;  // progress bars
  // The folder editor's text as the user left it, in the system's code page: empty when the code
  // page cannot hold it exactly (the folder checks then refuse it).
  virtual std::string EditText() = 0;
  // The same text as UTF-8, whatever the code page holds: what the log names when EditText is
  // empty for want of a character.
  virtual std::string EditTextUtf8() = 0;
  // Puts a text that came as Unicode (UTF-8: the command line's folder) into the folder editor as
  // it stands, whether the system's code page can hold it or not: EditText decides, as it does for
  // what the user types.
  virtual void SetEditTextUtf8(const std::string& utf8) = 0;
  virtual void Focus(Ctl control) = 0;
  virtual void Repaint() = 0;  // paint the whole window at once
  virtual void Close() = 0;     // destroys the window: FormDestroy runs, the program ends
  virtual void ShowForm() = 0;  // shows the window, centred, once FormCreate has run
  // Loads the licence viewer: as rich text when `rtf`, else as plain text. Returns false when the
  // viewer rejected the content as rich text (the caller then loads it as plain text).
  virtual bool LoadRichText(const std::string& content, bool rtf) = 0;
  // A message box of the wizard (flags and result as Platform::ShowMessage). Every box of the
  // installation goes through here, so that a view with nobody in front of it can answer.
  virtual int ShowMessage(const std::string& text, const std::string& caption, unsigned flags) = 0;
};

}  // namespace kv
