// Clearing the product's files and the temporary archive out of the target folder.
#include "app/install_log.h"
#include "app/texts.h"
#include "platform/cp1251.h"
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

namespace {

// The errors of a file that another program has open: a sharing or a lock violation. Any other
// (read-only, no access) is left to the deletion, which passes over such a file.
bool HeldElsewhere(long error) {
  return error == kErrorSharingViolation || error == kErrorLockViolation;
}

}  // namespace

std::string FileInUseMessage(const std::string& file, const std::string& holder) {
  return text::kMsgFileInUseHead + file +
         (holder.empty() ? std::string(text::kMsgFileInUseNoName)
                         : text::kMsgFileInUseByHead + holder + text::kMsgFileInUseByTail) +
         text::kMsgFileInUseTail;
}

bool TForm1::CheckFilesInUse() {
  for (;;) {
    const char* held = nullptr;
    for (const char* name : kProductFileSet) {
      const std::string path = ctx_.TargetDir + name;
      if (p_.FileExists(path) && HeldElsewhere(p_.OpenForDelete(path))) {
        held = name;
        break;
      }
    }
    if (!held) return true;
    const std::string path = ctx_.TargetDir + held;
    LogPath("file in use: ", path);
    // Restart Manager may name the program; the question stands without it.
    const std::string program = p_.FileHolder(path);
    std::string holder;
    if (!program.empty()) {
      if (log_) log_->Event("held by ", LogText::kUnicode, program);
      if (!Utf8ToCp1251(program, &holder)) holder.clear();
    }
    if (Message(FileInUseMessage(held, holder), text::kCaptionWarning,
                kMbOkCancel | kMbIconExclamation) != kIdOk) {
      return false;
    }
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
