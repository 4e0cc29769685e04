// ExtractArchive: the joined archive unpacked into the target folder.
#include "app/texts.h"
#include "media/archive.h"
#include "wizard/install1.h"

namespace kv {

void TForm1::ExtractArchive() {
  ctx_.StepOk = false;
  const std::string archive = ctx_.TargetDir + text::kTempArchive;
  if (p_.FileExists(archive)) {
    SetText(Ctl::Label2, text::kStatusUnpacking);
    ctx_.StepOk = true;
    SetPosition(Ctl::ProgressBar1, 0);
    SetMaximum(Ctl::ProgressBar1, 12);
    SetVisible(Ctl::ProgressBar1, true);
    Repaint();
    p_.SetCurrentDir(ctx_.TargetDir);
    p_.PumpMessages();
    if (ctx_.StepOk) {
      try {
        ctx_.InstalledBytes =
            UnpackMembers(p_, [this] { StepPosition(Ctl::ProgressBar1); }, archive);
        p_.PumpMessages();
      } catch (...) {  // an archive error, or any other (the buffers, say)
        ShowError(text::kMsgCannotUnpack);
        ctx_.StepOk = false;
      }
    }
    p_.PumpMessages();
  }
  if (!ctx_.StepOk) RollBack();

  p_.SetPointer(Pointer::kArrow);
  p_.SetCurrentDir(ctx_.TargetDir);  // fails silently when a rollback removed the folder
  p_.PumpMessages();
  SetPosition(Ctl::ProgressBar1, control(Ctl::ProgressBar1).maximum);
  SetVisible(Ctl::ProgressBar1, false);
}

}  // namespace kv
