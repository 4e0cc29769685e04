// RollBack: the aborted page, and the undo of whatever the installation changed so far.
#include "app/texts.h"
#include "wizard/install1.h"
#include "wizard/sequence.h"

namespace kv {

namespace {

// Runs an undo action whose failure is dropped: the rollback never stops half-way. False when
// the action failed.
template <typename Action>
bool Silently(Action action) {
  try {
    action();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

void TForm1::RollBack() {
  // Every part is guarded on its own: whatever fails (an allocation, say), the undo goes on and
  // the wizard ends on the aborted page with "&Ok" enabled.
  auto aborted_page = [&] {
    SetText(Ctl::Label3, text::kAbortedBanner);
    SetVisible(Ctl::Label3, true);
    SetVisible(Ctl::RichEdit1, false);
    SetVisible(Ctl::Label2, false);
    SetVisible(Ctl::ProgressBar2, false);
    SetVisible(Ctl::ProgressBar1, false);
  };
  const bool page_shown = Silently(aborted_page);
  ctx_.StepOk = false;
  installed_ = false;
  Silently([&] { SetVisible(Ctl::Edit1, false); });

  // Leave the target folder, which the unpacking step made current, so that it can be removed.
  Silently([&] { p_.SetCurrentDir(p_.WindowsDir()); });

  const int state = ctx_.WizardState;
  if (state >= kStateRemovingOldFiles && state <= kStateShortcut) {
    ++undo_runs_;
    Silently([&] { Log("rollback from state " + std::to_string(state)); });
    auto undo = [&](UndoAction a) {
      const bool wanted = Undoes(a, state);
      if (wanted) Silently([&] { Log(std::string("undo: ") + kUndoNames[a]); });
      return wanted;
    };
    if (undo(kReleaseArchive)) Silently([&] { ReleaseStream(TempArchiveStream); });
    if (undo(kDeleteTemp)) Silently([&] { DeleteTempArchive(); });
    if (undo(kDeleteFiles)) Silently([&] { DeleteProductFiles(); });
    if (undo(kRemoveFolder)) {
      Silently([&] {
        const std::uint32_t attributes = p_.Attributes(ctx_.TargetDir);
        if (attributes != kInvalidAttributes && (attributes & kAttrDirectory)) {
          p_.RemoveDir(ctx_.TargetDir);
        }
      });
    }
    if (undo(kDeleteGroup)) Silently([&] { DeleteProgramGroup(); });
    if (undo(kUnregister)) Silently([&] { UnregisterProduct(); });
    if (undo(kDeleteShortcut)) Silently([&] { DeleteDesktopShortcut(); });
  }

  // A second run shows the page only. What failed to show is tried once more: the memory the
  // failure's unwinding freed may do.
  if (state != kStateAborted) Silently([&] { Log("installation aborted"); });
  ctx_.WizardState = kStateAborted;
  if (!page_shown) Silently(aborted_page);
  Silently([&] { SetVisible(Ctl::Button2, false); });
  auto ok_button = [&] { SetText(Ctl::Button1, text::kAbortedOk); };
  if (!Silently(ok_button)) Silently(ok_button);
  SetEnabled(Ctl::Button1, true);
}

}  // namespace kv
