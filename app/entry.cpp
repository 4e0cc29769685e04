#include "app/entry.h"

#include "app/texts.h"
#include "wizard/install1.h"

namespace kv {

int RunSetup(Platform& p) {
  InstallContext ctx;
  const std::string current = p.CurrentDir();
  // Only a drive root ends with a backslash; there the volume name follows it directly.
  const bool at_root = !current.empty() && current.back() == '\\';
  const bool in_folder = !at_root && p.FileExists(current + "\\" + text::kVolume1);
  if (in_folder) {
    ctx.SourceDir = current + "\\";
  } else if (p.FileExists(current + text::kVolume1)) {
    ctx.SourceDir = current;
  } else {
    p.ShowMessage(text::kMsgNoFirstVolume, text::kCaptionError, kMbOk | kMbIconError);
    return 1;
  }
  AdjustSystemFonts(p, ctx);
  // The fonts are the whole desktop's: they go back however the program ends (FormDestroy
  // restores them on the ordinary way; a second restore does nothing).
  struct RestoreFontsOnExit {
    Platform& p;
    const InstallContext& ctx;
    ~RestoreFontsOnExit() { RestoreSystemFonts(p, ctx); }
  } restore_fonts{p, ctx};
  p.DdeStart();
  int exit_code = 0;
  try {
    if (in_folder) p.SetApplicationTitle(text::kApplicationTitle);  // a root keeps the default
    TForm1 form(p, ctx);
    FormView* view = p.CreateFormWindow(form);
    // The window calls the form's handlers: it goes before the form, however this block is left
    // (closing a closed window does nothing).
    struct CloseOnExit {
      FormView* view;
      ~CloseOnExit() {
        if (view) view->Close();
      }
    } close_window{view};
    form.Attach(view);
    form.FormCreate();
    view->ShowForm();
    form.Focus(Ctl::Button1);
    p.RunMessageLoop();
  } catch (...) {
    exit_code = 3;  // nothing is left to show it to: the window is gone
  }
  p.DdeStop();
  return exit_code;
}

}  // namespace kv
