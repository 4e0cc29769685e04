// The desktop shortcut, and the removal of another edition's registration.
#include "system/program_group.h"
#include "target/folders.h"
#include "wizard/install1.h"

namespace kv {

namespace {
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
}  // namespace

void TForm1::CreateDesktopShortcut() {
  SetText(Ctl::Label2, text::kStatusCreatingLink + ctx_.ProductName + text::kStatusNameTail);
  Repaint();
  ctx_.WizardState = kStateShortcut;
  try {
    std::string desktop;
    if (!p_.SpecialFolderPath(kCsidlDesktop, &desktop)) return;  // nowhere to put it
    ShellLinkRequest link;
    link.description = ctx_.ProductName;
    link.path = ctx_.TargetDir + "Kelvanto.exe";
    link.working_directory = ctx_.TargetDir;
    link.icon_path = ctx_.TargetDir + "Kelvanto.exe";
    link.icon_index = 0;
    link.file = desktop + "\\" + ctx_.ProductName + ".lnk";
    p_.WriteShellLink(link);  // a link the shell cannot make or save is not reported
  } catch (...) {
    ShowError(text::kMsgCannotCreateLink);
  }
}

void TForm1::DeleteDesktopShortcut() {
  bool failed = false;
  try {
    std::string desktop;
    if (!p_.SpecialFolderPath(kCsidlDesktop, &desktop)) return;
    const std::string file = desktop + "\\" + ctx_.ProductName + ".lnk";
    failed = p_.FileExists(file) && !p_.EraseFile(file);
  } catch (...) {
    failed = true;
  }
  if (failed) ShowError(text::kMsgCannotDeleteLink);
}

void TForm1::RemovePreviousVersion() {
  SetText(Ctl::Label2, text::kStatusRemovingOld);
  const std::string& previous = ctx_.PreviousProductName;
  const bool same_folder =
      ctx_.TargetDir == ctx_.PreviousDir || ctx_.TargetDir == ctx_.PreviousDir + "\\";
  // Without a previous name every name formed below would denote a shared key or folder.
  if (!same_folder || ctx_.ProductName == previous || previous.empty()) return;

  // Three blocks, each dropping its own errors: a failure in one never stops the next.
  try {
    p_.RegDelete(kHkeyLocalMachine, kUninstallKey + previous);
  } catch (...) {
  }
  try {
    std::string desktop;
    if (p_.SpecialFolderPath(kCsidlDesktop, &desktop)) {
      const std::string link = desktop + "\\" + previous + ".lnk";
      if (p_.FileExists(link)) p_.EraseFile(link);
    }
  } catch (...) {
  }
  try {
    std::string programs;
    if (p_.SpecialFolderPath(kCsidlPrograms, &programs)) {
      const std::string folder = programs + "\\" + previous;
      if (p_.FileExists(folder + "\\" + previous + ".lnk")) {
        p_.EraseFile(folder + "\\" + previous + ".lnk");
      }
      for (const char* name : kGroupLinkNames) {
        if (p_.FileExists(folder + "\\" + name)) p_.EraseFile(folder + "\\" + name);
      }
      if (FolderExists(p_, folder)) p_.RemoveDir(folder);
    }
  } catch (...) {
  }
}

}  // namespace kv
