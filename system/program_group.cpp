// The product's program group: built by Program Manager over DDE, removed through the shell's
// Programs folder, where the shell keeps a personal group as a folder of link files.
#include "system/program_group.h"

#include "platform/unique_handle.h"
#include "target/folders.h"
#include "wizard/install1.h"

namespace kv {

namespace {

constexpr char kProgMan[] = "ProgMan";

// Program Manager from the system folder, else from the Windows folder; empty when neither holds
// it. Never by its bare name: the search would look in the medium folder and in the current
// folder (the target by then) first, where anyone may have put a program of that name.
std::string ProgramManagerPath(Platform& p) {
  for (std::string folder : {p.SystemDir(), p.WindowsDir()}) {
    if (folder.empty()) continue;
    if (folder.back() != '\\') folder += '\\';
    if (p.FileExists(folder + "progman.exe")) return folder + "progman.exe";
  }
  return {};
}

}  // namespace

std::string ProgramGroupMacro(const InstallContext& c) {
  const std::string& name = c.ProductName;
  const std::string& dir = c.TargetDir;
  const std::string order_form =
      c.FontsAdjusted ? text::kOrderFormItemEnglish : text::kOrderFormItem;
  const std::string lines[] = {
      "[DeleteGroup(\"" + name + "\",0)]",
      "[CreateGroup(\"" + name + "\",0)]",
      "[DeleteItem(\"Uninstall\")]",
      "[AddItem(\"" + dir + "Uninstall.exe\",\"Uninstall\")]",
      "[DeleteItem(\"" + name + "\")]",
      "[AddItem(\"" + dir + "Kelvanto.exe\",\"" + name + "\")]",
      "[DeleteItem(\"Help\")]",
      "[AddItem(\"" + dir + "kelvanto.hlp\",\"Help\")]",
      "[DeleteItem(\"Readme.doc\")]",
      "[AddItem(\"" + dir + "Readme.doc\",\"Readme.doc\")]",
      "[DeleteItem(\"" + order_form + "\")]",
      "[AddItem(\"" + dir + "wizard.exe\",\"" + order_form + "\")]",
      "[ShowGroup(\"" + name + "\",1,0)]",
  };
  std::string macro;
  for (const std::string& line : lines) macro += line + "\r\n";
  return macro;
}

void TForm1::CreateProgramGroup() {
  SetText(Ctl::Label2, text::kStatusCreatingGroup + ctx_.ProductName + text::kStatusNameTail);
  Repaint();
  ctx_.WizardState = kStateGroup;
  UniqueDdeConversation conversation(p_);
  try {
    const std::string macro = ProgramGroupMacro(ctx_);
    conversation.reset(p_.DdeConnect(kProgMan, kProgMan));
    if (!conversation) {
      const std::string program = ProgramManagerPath(p_);
      if (!program.empty() && p_.WinExec("\"" + program + "\" " + kProgMan) >= 32) {
        conversation.reset(p_.DdeConnect(kProgMan, kProgMan));
      }
    }
    if (conversation) {
      p_.DdeExecute(conversation.get(), macro);  // asynchronous: the outcome is never known here
      conversation.reset();
    }
  } catch (...) {
    conversation.reset();  // the conversation ends before the box is shown
    ShowError(text::kMsgCannotCreateGroup);
  }
}

void TForm1::DeleteProgramGroup() {
  SetText(Ctl::Label2, text::kStatusDeletingGroup + ctx_.ProductName + text::kStatusNameTail);
  Repaint();
  bool failed = false;
  try {
    std::string programs;
    if (!p_.SpecialFolderPath(kCsidlPrograms, &programs) || ctx_.ProductName.empty()) return;
    const std::string folder = programs + "\\" + ctx_.ProductName;
    const std::string own_link = ctx_.ProductName + ".lnk";
    if (p_.FileExists(folder + "\\" + own_link)) p_.EraseFile(folder + "\\" + own_link);
    for (const char* link : kGroupLinkNames) {
      if (p_.FileExists(folder + "\\" + link)) p_.EraseFile(folder + "\\" + link);
    }
    failed = FolderExists(p_, folder) && !p_.RemoveDir(folder);
  } catch (...) {
    failed = true;
  }
  if (failed) ShowError(text::kMsgCannotDeleteGroup);
}

}  // namespace kv
