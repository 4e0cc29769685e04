// RollBack: the aborted page, and the undo of whatever the installation changed so far.
#include "app/texts.h"
#include "wizard/install1.h"

namespace kv {

namespace {

// The undo table, one row per action, one column per state 2..6.
enum UndoAction { kReleaseArchive, kDeleteTemp, kDeleteFiles, kRemoveFolder, kDeleteGroup,
                  kUnregister, kDeleteShortcut, kUndoActionCount };
constexpr bool kUndo[kUndoActionCount][5] = {
    //  2      3      4      5      6
    {true, true, false, false, false},  // release TempArchiveStream
    {true, true, true, true, true},     // DeleteTempArchive
    {false, true, true, true, true},    // DeleteProductFiles
    {true, true, true, true, true},     // remove TargetDir when empty
    {false, false, true, true, true},   // DeleteProgramGroup
    {false, false, false, true, true},  // UnregisterProduct
    {false, false, false, false, true}, // DeleteDesktopShortcut
};

// Runs an undo action whose failure is dropped: the rollback never stops half-way.
template <typename Action>
void Silently(Action action) {
  try {
    action();
  } catch (...) {
  }
}

}  // namespace

void TForm1::RollBack() {
  SetText(Ctl::Label3, text::kAbortedBanner);
  SetVisible(Ctl::Label3, true);
  SetVisible(Ctl::RichEdit1, false);
  SetVisible(Ctl::Label2, false);
  SetVisible(Ctl::ProgressBar2, false);
  SetVisible(Ctl::ProgressBar1, false);
  ctx_.StepOk = false;
  installed_ = false;
  SetVisible(Ctl::Edit1, false);

  // Leave the target folder, which the unpacking step made current, so that it can be removed.
  Silently([&] { p_.SetCurrentDir(p_.WindowsDir()); });

  const int state = ctx_.WizardState;
  if (state >= kStateRemovingOldFiles && state <= kStateShortcut) {
    ++undo_runs_;
    Log("rollback from state " + std::to_string(state));
    auto undo = [&](UndoAction a) {
      static constexpr const char* kNames[kUndoActionCount] = {
          "closing the temporary archive", "deleting the temporary archive",
          "deleting the product files", "removing the target folder if empty",
          "deleting the program group", "deleting the registry entries",
          "deleting the desktop shortcut"};
      const bool wanted = kUndo[a][state - kStateRemovingOldFiles];
      if (wanted) Log(std::string("undo: ") + kNames[a]);
      return wanted;
    };
    if (undo(kReleaseArchive)) Silently([&] { ReleaseStream(TempArchiveStream); });
    if (undo(kDeleteTemp)) DeleteTempArchive();
    if (undo(kDeleteFiles)) DeleteProductFiles();
    if (undo(kRemoveFolder)) {
      Silently([&] {
        const std::uint32_t attributes = p_.Attributes(ctx_.TargetDir);
        if (attributes != kInvalidAttributes && (attributes & kAttrDirectory)) {
          p_.RemoveDir(ctx_.TargetDir);
        }
      });
    }
    if (undo(kDeleteGroup)) DeleteProgramGroup();
    if (undo(kUnregister)) UnregisterProduct();
    if (undo(kDeleteShortcut)) DeleteDesktopShortcut();
  }

  if (state != kStateAborted) Log("installation aborted");  // a second run shows the page only
  ctx_.WizardState = kStateAborted;
  SetVisible(Ctl::Button2, false);
  SetText(Ctl::Button1, text::kAbortedOk);
  SetEnabled(Ctl::Button1, true);
}

}  // namespace kv
