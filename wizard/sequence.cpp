// The installation sequence that Next on the folder page runs, step by step, and beside it the
// table by which RollBack undoes whatever the sequence got to.
#include "wizard/sequence.h"

#include "app/install_context.h"
#include "wizard/install1.h"

namespace kv {

namespace {

// How a step is entered. StepOk is tested afresh before most steps; the last step belongs to the
// block of the one before it (a Cancel confirmed in that block's pump lets both run).
enum class Entry { kAlways, kIfStepOk, kWithPrevious };

// ProgressBar1: shown, hidden or left as it is.
enum Bar1 { kShow = 1, kHide = -1, kKeep = 0 };

struct Step {
  Entry entry;
  int bar2;   // ProgressBar2's position before the step; 0: left as it is
  Bar1 bar1;  // before the step
  bool pump;  // pending messages handled before the step (after the bars)
  const char* name;
  void (TForm1::*run)();
  int bar2_after;  // 0: left as it is
  Bar1 bar1_after;
};

// The steps in the order they run, each with the state it sets before it changes anything (the
// column of kUndo below by which RollBack undoes it).
constexpr Step kSequence[] = {
    // entry               bar2  bar1  pump   name, step                      bar2, bar1 after
    {Entry::kAlways,          0, kKeep, false, "removing old product files",          // state 2
     &TForm1::DeleteProductFiles,                                             1, kShow},
    {Entry::kAlways,          0, kKeep, false, "joining volumes",                     // state 3
     &TForm1::JoinVolumes,                                                    0, kKeep},
    {Entry::kIfStepOk,        2, kHide, false, "unpacking",                           // state 3
     &TForm1::ExtractArchive,                                                 0, kKeep},
    {Entry::kIfStepOk,        3, kKeep, true,  "program group",                       // state 4
     &TForm1::CreateProgramGroup,                                             0, kKeep},
    {Entry::kIfStepOk,        4, kKeep, true,  "registry entries",                    // state 5
     &TForm1::RegisterProduct,                                                0, kKeep},
    {Entry::kIfStepOk,        5, kKeep, true,  "desktop shortcut",                    // state 6
     &TForm1::CreateDesktopShortcut,                                          0, kKeep},
    {Entry::kIfStepOk,        6, kKeep, true,  "removing the temporary archive",      // state 6
     &TForm1::DeleteTempArchive,                                              7, kKeep},
    {Entry::kWithPrevious,    0, kKeep, false, "removing another edition's registration",
     &TForm1::RemovePreviousVersion,                                          8, kKeep},  // 6
};

// The undo table: one row per action in the order RollBack takes them, one column per state the
// steps above set.
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

}  // namespace

const char* const kUndoNames[kUndoActionCount] = {
    "closing the temporary archive", "deleting the temporary archive",
    "deleting the product files", "removing the target folder if empty",
    "deleting the program group", "deleting the registry entries",
    "deleting the desktop shortcut"};

bool Undoes(UndoAction action, int state) {
  return state >= kStateRemovingOldFiles && state <= kStateShortcut &&
         kUndo[action][state - kStateRemovingOldFiles];
}

void TForm1::InstallSteps() {
  SetEnabled(Ctl::Button1, false);
  ctx_.WizardState = kStateRemovingOldFiles;
  SetVisible(Ctl::Edit1, false);
  SetVisible(Ctl::ProgressBar2, true);
  SetMaximum(Ctl::ProgressBar2, 8);

  bool ran = false;  // the step before ran
  for (const Step& step : kSequence) {
    ran = step.entry == Entry::kAlways || (step.entry == Entry::kIfStepOk && ctx_.StepOk) ||
          (step.entry == Entry::kWithPrevious && ran);
    if (!ran) continue;
    if (step.bar2) SetPosition(Ctl::ProgressBar2, step.bar2);
    if (step.bar1 != kKeep) SetVisible(Ctl::ProgressBar1, step.bar1 == kShow);
    if (step.pump) p_.PumpMessages();
    RunStep(step.name, step.run);
    if (step.bar2_after) SetPosition(Ctl::ProgressBar2, step.bar2_after);
    if (step.bar1_after != kKeep) SetVisible(Ctl::ProgressBar1, step.bar1_after == kShow);
  }
  if (!ran) return;
  // The closing block, with the last step.
  if (ctx_.StepOk) SetVisible(Ctl::Label2, false);
  if (ctx_.StepOk) SetText(Ctl::Label3, text::kInstalledBanner);
  SetVisible(Ctl::Label3, true);
  SetVisible(Ctl::ProgressBar2, false);
}

}  // namespace kv
