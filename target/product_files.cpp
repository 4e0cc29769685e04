// Clearing the product's files and the temporary archive out of the target folder.
#include "app/texts.h"
#include "platform/scope_exit.h"
#include "target/folders.h"
#include "wizard/install1.h"

namespace kv {

void TForm1::DeleteProductFiles() {
  p_.SetPointer(Pointer::kHourglass);
  const ScopeExit arrow([this] { p_.SetPointer(Pointer::kArrow); });
  try {
    SetText(Ctl::Label2, text::kStatusDeletingFiles + ctx_.TargetDir +
                             text::kStatusDeletingFilesTail);
    Repaint();
    for (const char* name : kProductFileSet) {
      const std::string path = ctx_.TargetDir + name;
      if (p_.FileExists(path)) p_.EraseFile(path);  // a file that stays is left silently
    }
  } catch (...) {
    // Reports nothing: the files that are left stay, as a file that cannot be deleted does.
  }
}

void TForm1::DeleteTempArchive() {
  SetText(Ctl::Label2, text::kStatusDeletingTemp);
  Repaint();
  bool failed = false;
  try {
    const std::string path = ctx_.TargetDir + text::kTempArchive;
    failed = p_.FileExists(path) && !p_.EraseFile(path);
  } catch (...) {
    failed = true;
  }
  if (failed) ShowError(text::kMsgCannotDeleteTemp);
}

}  // namespace kv
