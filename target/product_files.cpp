// Clearing the product's files and the temporary archive out of the target folder.
#include "app/texts.h"
#include "target/folders.h"
#include "wizard/install1.h"

namespace kv {

void TForm1::DeleteProductFiles() {
  p_.SetPointer(Pointer::kHourglass);
  struct ArrowOnExit {
    Platform& p;
    ~ArrowOnExit() { p.SetPointer(Pointer::kArrow); }
  } arrow{p_};
  SetText(Ctl::Label2, text::kStatusDeletingFiles + ctx_.TargetDir +
                           text::kStatusDeletingFilesTail);
  Repaint();
  for (const char* name : kProductFileSet) {
    const std::string path = ctx_.TargetDir + name;
    if (p_.FileExists(path)) p_.EraseFile(path);  // a file that stays is left silently
  }
}

void TForm1::DeleteTempArchive() {
  SetText(Ctl::Label2, text::kStatusDeletingTemp);
  Repaint();
  const std::string path = ctx_.TargetDir + text::kTempArchive;
  if (p_.FileExists(path) && !p_.EraseFile(path)) ShowError(text::kMsgCannotDeleteTemp);
}

}  // namespace kv
