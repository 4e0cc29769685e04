// JoinVolumes: the volumes appended, in order, to the temporary archive in the target folder.
#include <stdexcept>

#include "app/product_facts.h"
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
constexpr int kFullEditionChunks = static_cast<int>(kFullEditionScale / kCopyChunk);
constexpr int kDemoEditionChunks = static_cast<int>(kDemoEditionScale / kCopyChunk);

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
      CopyVolume(text::kVolume1);
    }
  } catch (const SealMismatch& damaged) {
    ShowDamaged(damaged.name);
    ctx_.StepOk = false;
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
    if (!ctx_.StepOk || !v.wanted || ctx_.Embedded) break;  // one file holds the whole archive
    try {
      for (;;) {
        Repaint();
        if (p_.FileExists(ctx_.SourceDir + v.volume)) {
          CopyVolume(v.volume);
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
    } catch (const SealMismatch& damaged) {
      ShowDamaged(damaged.name);
      ctx_.StepOk = false;
    } catch (...) {
      ShowError(text::kMsgCannotCopy);
      ctx_.StepOk = false;
    }
  }

  ReleaseStream(TempArchiveStream);
}

void TForm1::CopyVolume(const char* name) {
  if (!ctx_.StepOk) return;
  const std::string volume_path =
      ctx_.Embedded ? ctx_.EmbeddedName + " (" + name + ")" : ctx_.SourceDir + name;
  std::uint64_t left = 0;
  VolumeStream = OpenMedium(name, &left);
  if (VolumeStream == kInvalidFile) throw CopyError("cannot open " + volume_path);
  const ScopeExit close_volume([this] { ReleaseStream(VolumeStream); });

  // A sealed volume is hashed as it is copied (no second read of a slow medium), and checked when
  // it ends, before the next disk is asked for and before anything is unpacked.
  Sha256 digest;
  std::uint64_t copied = 0;
  std::uint32_t n = 0, w = 0;
  do {
    p_.PumpMessages();  // a confirmed Cancel may release TempArchiveStream here
    n = 0;
    w = 0;
    if (VolumeStream != kInvalidFile && TempArchiveStream != kInvalidFile) {
      // A failed read is not the end of the volume: the archive would be silently short.
      if (!ReadMedium(VolumeStream, CopyBuffer.data(), CopyBuffer.size(), &n, &left)) {
        throw CopyError("cannot read " + volume_path);
      }
    }
    if (VolumeStream != kInvalidFile && TempArchiveStream != kInvalidFile) {
      if (n > 0 && (!p_.Write(TempArchiveStream, CopyBuffer.data(), n, &w) || w != n)) {
        throw CopyError("cannot write the archive");
      }
      if (ctx_.Sealed) digest.Add(CopyBuffer.data(), n);
      copied += n;
    } else {
      n = 0;
    }
    StepPosition(Ctl::ProgressBar1);
  } while (n != 0 && n == w);
  // Not when a Cancel released the archive meanwhile: the copy stopped short on purpose.
  if (ctx_.Sealed && ctx_.StepOk && TempArchiveStream != kInvalidFile) {
    const SealEntry* sealed = ctx_.MediumSeal.Find(name);
    if (!sealed || sealed->size != copied || sealed->digest != digest.Finish()) {
      LogPath("does not match the seal: ", volume_path);
      throw SealMismatch{name};
    }
  }
}

}  // namespace kv
