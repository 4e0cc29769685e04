// JoinVolumes: the volumes appended, in order, to the temporary archive in the target folder.
#include <stdexcept>

#include "app/texts.h"
#include "platform/scope_exit.h"
#include "wizard/install1.h"

namespace kv {

namespace {

class CopyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Expected archive sizes over the copy buffer's size: the bar's maximum for each edition.
constexpr int kFullEditionChunks = 2711400 / 2048;  // 1323
constexpr int kDemoEditionChunks = 1787000 / 2048;  // 872
static_assert(kFullEditionChunks == 1323 && kDemoEditionChunks == 872, "progress scale");

}  // namespace

void TForm1::JoinVolumes() {
  SetText(Ctl::Label2, text::kStatusCopying);
  ctx_.WizardState = kStateCopying;
  try {
    Repaint();
    p_.PumpMessages();
    // A Cancel confirmed in that pump has rolled back already; creating the archive now would
    // leave it behind in the target folder.
    if (ctx_.StepOk) {
      SetMaximum(Ctl::ProgressBar1, ctx_.FullEdition ? kFullEditionChunks : kDemoEditionChunks);
      TempArchiveStream = p_.OpenFile(ctx_.TargetDir + text::kTempArchive, FileOpen::kCreateAlways);
      if (TempArchiveStream == kInvalidFile) throw CopyError("cannot create the archive");
      CopyVolume(ctx_.SourceDir + text::kVolume1);
    }
  } catch (...) {  // a copy error, or any other: the step's one message
    ShowError(text::kMsgCannotCopy);
    ctx_.StepOk = false;
  }

  const struct {
    bool wanted;
    const char* volume;
    const char* prompt;
  } later_volumes[] = {{true, text::kVolume2, text::kMsgInsertDisk2},
                       {ctx_.FullEdition, text::kVolume3, text::kMsgInsertDisk3}};
  for (const auto& v : later_volumes) {
    if (!ctx_.StepOk || !v.wanted) break;
    try {
      for (;;) {
        Repaint();
        if (p_.FileExists(ctx_.SourceDir + v.volume)) {
          CopyVolume(ctx_.SourceDir + v.volume);
          break;
        }
        LogPath("volume not found: ", ctx_.SourceDir + v.volume);
        if (Message(v.prompt, text::kCaptionWarning, kMbOkCancel | kMbIconExclamation) != kIdOk) {
          RollBack();
          ctx_.StepOk = false;
          SetEnabled(Ctl::Button1, true);
          break;
        }
      }
    } catch (...) {
      ShowError(text::kMsgCannotCopy);
      ctx_.StepOk = false;
    }
  }

  ReleaseStream(TempArchiveStream);
}

void TForm1::CopyVolume(const std::string& volume_path) {
  if (!ctx_.StepOk) return;
  VolumeStream = p_.OpenFile(volume_path, FileOpen::kOpenRead);
  if (VolumeStream == kInvalidFile) throw CopyError("cannot open " + volume_path);
  const ScopeExit close_volume([this] { ReleaseStream(VolumeStream); });

  std::uint32_t n = 0, w = 0;
  do {
    p_.PumpMessages();  // a confirmed Cancel may release TempArchiveStream here
    n = 0;
    w = 0;
    if (VolumeStream != kInvalidFile && TempArchiveStream != kInvalidFile) {
      // A failed read is not the end of the volume: the archive would be silently short.
      if (!p_.Read(VolumeStream, CopyBuffer.data(), CopyBuffer.size(), &n)) {
        throw CopyError("cannot read " + volume_path);
      }
    }
    if (VolumeStream != kInvalidFile && TempArchiveStream != kInvalidFile) {
      if (n > 0 && (!p_.Write(TempArchiveStream, CopyBuffer.data(), n, &w) || w != n)) {
        throw CopyError("cannot write the archive");
      }
    } else {
      n = 0;
    }
    StepPosition(Ctl::ProgressBar1);
  } while (n != 0 && n == w);
}

}  // namespace kv
