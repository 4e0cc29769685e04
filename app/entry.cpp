#include "app/entry.h"

#include "app/command_line.h"
#include "app/install_log.h"
#include "app/silent_view.h"
#include "app/texts.h"
#include "platform/program.h"
#include "platform/scope_exit.h"
#include "platform/unique_handle.h"
#include "wizard/install1.h"

namespace kv {

namespace {

// Shows (unless silent) and logs an error that ends the run before the wizard.
void RefuseAtStart(Platform& p, const CommandLine& args, InstallLog& log,
                   const std::string& message) {
  log.Event(std::string("message \"") + text::kCaptionError + "\": " + message);
  if (!args.silent) {
    p.ShowMessage(message, text::kCaptionError, kMbOk | kMbIconError);
    log.Event("answer: OK");
  }
}

// Whether the program's own file carries a medium: its headers and trailer are read, never its
// payload. kDamaged also for a trailer that cannot be read back; a file that cannot be opened or
// whose headers cannot be read carries none that could be installed.
OneFileState FindEmbeddedMedium(Platform& p, OneFileLayout* layout) try {
  const UniqueFile f(p, p.OpenOwnProgram());
  if (!f) return OneFileState::kNone;  // nothing to read: the current folder's medium, if any
  const std::int64_t size = p.FileSize(f.get());
  std::string headers(kOneFileHeadersSize, '\0');
  std::uint32_t n = 0;
  if (size < 0 || !p.Read(f.get(), headers.data(), kOneFileHeadersSize, &n)) {
    return OneFileState::kNone;
  }
  headers.resize(n);
  ProgramExtent extent;
  if (!ReadProgramExtent(headers, static_cast<std::uint64_t>(size), &extent)) {
    return OneFileState::kNone;
  }
  if (extent.payload_end <= extent.sections_end) return OneFileState::kNone;
  std::string trailer(kOneFileTrailerSize, '\0');
  n = 0;
  if (extent.payload_end - extent.sections_end >= kOneFileTrailerSize &&
      (!p.Seek(f.get(), extent.payload_end - kOneFileTrailerSize) ||
       !p.Read(f.get(), trailer.data(), kOneFileTrailerSize, &n) || n != kOneFileTrailerSize)) {
    return OneFileState::kDamaged;
  }
  return ReadOneFileTrailer(trailer, extent, layout);
} catch (...) {
  return OneFileState::kNone;
}

// The installer from the first volume on; returns 0 when the product was installed, 1 when not.
int Install(Platform& p, const CommandLine& args, InstallLog& log) {
  InstallContext ctx;
  // The folder from the command line goes into the editor as given; the editor's own check (the
  // system's code page must hold it exactly) then decides, as for a folder typed there.
  std::string held;
  const bool unholdable = args.has_folder && !p.Utf8ToSystem(args.folder, &held);
  if (unholdable) {
    log.Event("the system's code page cannot hold the folder ", LogText::kUnicode, args.folder);
  }
  // A medium in the program's own file is the one installed, whatever the current folder holds.
  const OneFileState embedded = FindEmbeddedMedium(p, &ctx.EmbeddedLayout);
  if (embedded != OneFileState::kNone) {
    const std::string own = p.OwnProgramName();
    if (own.empty() || !p.Utf8ToSystem(own, &ctx.EmbeddedName)) ctx.EmbeddedName = text::kSetupProgram;
    log.Event(embedded == OneFileState::kPresent ? "the medium is in the program's file "
                                                 : "the program's file is cut short or damaged: ",
              LogText::kUnicode, own);
  }
  ctx.Embedded = embedded != OneFileState::kNone;
  if (embedded == OneFileState::kDamaged) {
    RefuseAtStart(p, args, log, DamagedMessage(ctx, text::kSetupProgram));
    return 1;
  }
  const std::string current = p.CurrentDir();
  // Only a drive root ends with a backslash; there the volume name follows it directly.
  const bool at_root = !current.empty() && current.back() == '\\';
  const bool in_folder = !at_root && (ctx.Embedded || p.FileExists(current + "\\" + text::kVolume1));
  if (ctx.Embedded) {
    ctx.SourceDir = in_folder ? current + "\\" : current;  // the target's checks compare with it
  } else if (in_folder) {
    ctx.SourceDir = current + "\\";
  } else if (p.FileExists(current + text::kVolume1)) {
    ctx.SourceDir = current;
  } else {
    RefuseAtStart(p, args, log, text::kMsgNoFirstVolume);
    return 1;
  }
  // The seal this program carries, if the media builder wrote one; a block that is neither empty
  // nor a seal is a damaged program.
  const std::string seal_block = p.OwnSealBlock();
  const SealState seal = seal_block.empty() ? SealState::kUnsealed
                                            : ReadSealBlock(seal_block, &ctx.MediumSeal);
  if (seal == SealState::kMalformed || (ctx.Embedded && seal != SealState::kSealed)) {
    // A medium in the program is always sealed: without its seal nothing vouches for it.
    RefuseAtStart(p, args, log, DamagedMessage(ctx, text::kSetupProgram));
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
    if (unholdable) form.NoteUnholdableFolder(args.folder);  // logged once, above
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

// Another setup runs on this machine: this one shows no wizard of its own and changes nothing.
// The wizard of the other comes to the front where it runs in this session; otherwise, with
// somebody there to read it, one box says why nothing happens.
int AnotherSetupRuns(Platform& p, const CommandLine& args, InstallLog& log) {
  log.Event("another setup is running");
  if (!args.silent) {
    bool shown = false;
    try {
      shown = p.ShowRunningSetup();
    } catch (...) {
      shown = false;
    }
    if (shown) {
      log.Event("its window was brought to the front");
    } else {
      log.Event(std::string("message \"") + text::kCaptionError + "\": " + text::kMsgSetupRunning);
      p.ShowMessage(text::kMsgSetupRunning, text::kCaptionError, kMbOk | kMbIconError);
      log.Event("answer: OK");
    }
  }
  return 1;
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
  // One setup at a time on the machine, from any medium and by any user: two installing into one
  // folder would delete each other's files. A lock the system cannot make at all does not keep
  // the product from being installed.
  SetupLock lock = SetupLock::kUnavailable;
  try {
    lock = p.LockSetup();
  } catch (...) {
    lock = SetupLock::kUnavailable;
  }
  if (lock == SetupLock::kUnavailable) log.Event("the setup lock could not be made");
  const int exit_code =
      lock == SetupLock::kHeldElsewhere ? AnotherSetupRuns(p, args, log) : Install(p, args, log);
  log.Event("exit code " + std::to_string(exit_code));
  return exit_code;
}

int RunProgram(Platform& p, const std::string& arguments) { return RunSetup(p, arguments); }

}  // namespace kv
