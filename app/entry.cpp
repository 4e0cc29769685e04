#include "app/entry.h"

#include "app/command_line.h"
#include "app/install_log.h"
#include "app/silent_view.h"
#include "app/texts.h"
#include "platform/program.h"
#include "platform/scope_exit.h"
#include "wizard/install1.h"

namespace kv {

namespace {

// The installer from the first volume on; returns 0 when the product was installed, 1 when not.
int Install(Platform& p, const CommandLine& args, InstallLog& log) {
  InstallContext ctx;
  // The folder from the command line goes into the editor as given; the editor's own check (the
  // system's code page must hold it exactly) then decides, as for a folder typed there.
  std::string held;
  if (args.has_folder && !p.Utf8ToSystem(args.folder, &held)) {
    log.Event("the system's code page cannot hold the folder ", LogText::kUnicode, args.folder);
  }
  const std::string current = p.CurrentDir();
  // Only a drive root ends with a backslash; there the volume name follows it directly.
  const bool at_root = !current.empty() && current.back() == '\\';
  const bool in_folder = !at_root && p.FileExists(current + "\\" + text::kVolume1);
  if (in_folder) {
    ctx.SourceDir = current + "\\";
  } else if (p.FileExists(current + text::kVolume1)) {
    ctx.SourceDir = current;
  } else {
    log.Event(std::string("message \"") + text::kCaptionError + "\": " + text::kMsgNoFirstVolume);
    if (!args.silent) {
      p.ShowMessage(text::kMsgNoFirstVolume, text::kCaptionError, kMbOk | kMbIconError);
      log.Event("answer: OK");
    }
    return 1;
  }
  // The seal this program carries, if the media builder wrote one; a block that is neither empty
  // nor a seal is a damaged program.
  const std::string seal_block = p.OwnSealBlock();
  const SealState seal = seal_block.empty() ? SealState::kUnsealed
                                            : ReadSealBlock(seal_block, &ctx.MediumSeal);
  if (seal == SealState::kMalformed) {
    const std::string message = text::kMsgDamagedHead + std::string(text::kSetupProgram) +
                                text::kMsgDamagedTail;
    log.Event(std::string("message \"") + text::kCaptionError + "\": " + message);
    if (!args.silent) {
      p.ShowMessage(message, text::kCaptionError, kMbOk | kMbIconError);
      log.Event("answer: OK");
    }
    return 1;
  }
  ctx.Sealed = seal == SealState::kSealed;
  if (ctx.Sealed) log.Event("the medium is sealed: " + std::to_string(ctx.MediumSeal.entries.size()) + " files");
  AdjustSystemFonts(p, ctx, !args.silent);  // an unattended run draws nothing
  // The fonts are the whole desktop's: they go back however the program ends (FormDestroy
  // restores them on the ordinary way; a second restore does nothing).
  const ScopeExit restore_fonts([&] { RestoreSystemFonts(p, ctx); });
  p.DdeStart();
  int exit_code = 1;
  try {
    TForm1 form(p, ctx);
    form.SetLog(&log);
    if (args.silent) {
      // The wizard's own way through its pages, with nobody at the window: the licence is
      // accepted and the folder typed as a user would.
      SilentView view(p);
      form.Attach(&view);
      form.FormCreate();
      if (!form.medium_refused()) form.Button1Click();
      if (ctx.WizardState == kStateLicence) form.Button1Click();
      if (args.has_folder) view.SetEditTextUtf8(args.folder);
      if (ctx.WizardState == kStateFolder) form.Button1Click();
    } else {
      if (in_folder) p.SetApplicationTitle(text::kApplicationTitle);  // a root keeps the default
      FormView* view = p.CreateFormWindow(form);
      if (!view) {
        // Without a window nobody could ever end the run: it ends here, not installed.
        log.Event("the window could not be created");
      } else {
        // The window calls the form's handlers: it goes before the form, however this block is
        // left (closing a closed window does nothing).
        const ScopeExit close_window([view] { view->Close(); });
        form.Attach(view);
        form.FormCreate();
        if (!form.medium_refused()) {
          if (args.has_folder) view->SetEditTextUtf8(args.folder);
          view->ShowForm();
          form.Focus(Ctl::Button1);
          p.RunMessageLoop();
        }
      }
    }
    // What the installation came to, however the window ended.
    exit_code = form.installed() ? 0 : 1;
  } catch (...) {
    // Nothing is left to show it to: the window is gone. A finished installation stays one (a
    // rollback would have left the aborted state).
    exit_code = ctx.WizardState == kStateShortcut && ctx.StepOk ? 0 : 1;
    log.Event("an unexpected error ended the run");
  }
  p.DdeStop();
  return exit_code;
}

}  // namespace

int RunSetup(Platform& p, const std::string& arguments) {
  CommandLine args;
  InstallLog log(p);
  if (!ParseCommandLine(arguments, &args) ||
      (!args.log_file.empty() && log.Open(args.log_file) == InstallLog::Opened::kRefused)) {
    // Nothing is done; with nobody to read it, the usage is not shown either.
    if (!args.silent) p.ShowMessage(text::kMsgUsage, text::kCaptionError, kMbOk | kMbIconError);
    return 2;
  }
  log.Event("setup.exe ", LogText::kUnicode, arguments);
  const int exit_code = Install(p, args, log);
  log.Event("exit code " + std::to_string(exit_code));
  return exit_code;
}

int RunProgram(Platform& p, const std::string& arguments) { return RunSetup(p, arguments); }

}  // namespace kv
