// TForm1: controls, creation and the wizard's state machine.
#include <algorithm>
#include <utility>

#include "app/install_log.h"
#include "app/texts.h"
#include "platform/rich_text.h"
#include "platform/scope_exit.h"
#include "platform/unique_handle.h"
#include "system/registry.h"
#include "wizard/install1.h"
#include "wizard/welcome_picture.h"

namespace kv {

TForm1::TForm1(Platform& platform, InstallContext& context) : p_(platform), ctx_(context) {
  // The controls as the window is created, before FormCreate: only the welcome page is visible.
  state(Ctl::Button1).text = text::kNext;
  state(Ctl::Button2).text = text::kCancel;
  state(Ctl::Label2) = {text::kFolderPrompt, false};
  state(Ctl::ProgressBar1).visible = false;
  state(Ctl::ProgressBar2).visible = false;
  state(Ctl::Edit1).visible = false;
  state(Ctl::RxLabel1).text = text::kStoredEditionCaption;
  state(Ctl::Label3).text = text::kWelcomeBanner;
  state(Ctl::RichEdit1).visible = false;
}

void TForm1::Attach(FormView* view) {
  view_ = view;
  if (!view_) return;
  for (int i = 0; i < kControlCount; ++i) {
    const Ctl c = static_cast<Ctl>(i);
    const ControlState& s = control(c);
    view_->SetText(c, c == Ctl::Edit1 ? std::string(text::kDefaultFolder) : s.text);
    view_->SetEnabled(c, s.enabled);
    view_->SetVisible(c, s.visible);
    if (c == Ctl::ProgressBar1 || c == Ctl::ProgressBar2) view_->SetProgress(c, s.position, s.maximum);
  }
}

std::string TForm1::Edit1Text() { return view_ ? view_->EditText() : std::string(); }

void TForm1::SetText(Ctl c, const std::string& text) {
  if (c != Ctl::Edit1) state(c).text = text;  // the editor's text is kept by the editor only
  if (view_) view_->SetText(c, text);
}

void TForm1::SetVisible(Ctl c, bool visible) {
  state(c).visible = visible;
  if (view_) view_->SetVisible(c, visible);
}

void TForm1::SetEnabled(Ctl c, bool enabled) {
  state(c).enabled = enabled;
  if (view_) view_->SetEnabled(c, enabled);
}

void TForm1::SetMaximum(Ctl c, int maximum) {
  ControlState& s = state(c);
  s.maximum = maximum < 0 ? 0 : maximum;
  if (s.position > s.maximum) s.position = s.maximum;
  if (view_) view_->SetProgress(c, s.position, s.maximum);
}

void TForm1::SetPosition(Ctl c, int position) {
  ControlState& s = state(c);
  s.position = position < 0 ? 0 : (position > s.maximum ? s.maximum : position);
  if (view_) view_->SetProgress(c, s.position, s.maximum);
}

void TForm1::Focus(Ctl c) {
  if (view_) view_->Focus(c);
}

void TForm1::Repaint() {
  if (view_) view_->Repaint();
}

void TForm1::Close() {
  closed_ = true;
  if (view_) view_->Close();
}

void TForm1::ReleaseStream(FileHandle& stream) {
  UniqueFile(p_, std::exchange(stream, kInvalidFile)).reset();
}

std::string DamagedMessage(const InstallContext& context, const std::string& name) {
  // In a medium carried by the program, the program's file is the one the user knows.
  return context.Embedded
             ? text::kMsgDamagedHead + context.EmbeddedName + text::kMsgOneFileDamagedTail
             : text::kMsgDamagedHead + name + text::kMsgDamagedTail;
}

void TForm1::ShowDamaged(const std::string& name) {
  ShowError(DamagedMessage(ctx_, name));
  if (ctx_.WizardState == kStateWelcome) medium_refused_ = true;
}

int TForm1::ShowError(const std::string& message) {
  ++errors_shown_;
  return Message(message, text::kCaptionError, kMbOk | kMbIconError);
}

int TForm1::Message(const std::string& message, const std::string& caption, unsigned flags) {
  Log("message \"" + caption + "\": " + message);
  const int answer = view_ ? view_->ShowMessage(message, caption, flags)
                           : p_.ShowMessage(message, caption, flags);
  Log(answer == kIdOk ? "answer: OK" : answer == kIdCancel ? "answer: Cancel" : "answer: none");
  return answer;
}

void TForm1::Log(const std::string& event) {
  if (log_) log_->Event(event);
}

void TForm1::LogPath(const std::string& event, const std::string& path) {
  if (log_) log_->Event(event, LogText::kSystem, path);
}

void TForm1::RunStep(const char* name, void (TForm1::*step)()) {
  Log(std::string("step: ") + name);
  const int errors = errors_shown_;
  (this->*step)();
  if (!ctx_.StepOk) {
    Log(std::string(name) + (abort_confirmed_ ? ": cancelled" : ": failed"));
  } else {
    Log(std::string(name) + (errors_shown_ != errors ? ": failed, the installation goes on"
                                                      : ": done"));
  }
}

// ---- Creation ----------------------------------------------------------------------------------

void TForm1::FormCreate() {
  ctx_.WizardState = kStateWelcome;
  ctx_.StepOk = true;
  DetectEdition();
  LogPath((ctx_.FullEdition ? "full edition, " : "demo edition, ") + ctx_.ProductName +
              ", medium ",
          ctx_.SourceDir);
  if (ctx_.FullEdition && !medium_refused_) {
    const bool sealed_licence = ctx_.Sealed && ctx_.MediumSeal.Find(text::kLicenceFile);
    if (MediumHas(text::kLicenceFile)) {
      LoadLicence();
    } else if (sealed_licence) {
      ShowDamaged(text::kLicenceFile);
    } else {
      ShowError(text::kMsgNoLicence);
    }
  }
  ReadPreviousDir();
  SetText(Ctl::Edit1, ctx_.PreviousDir);
}

FormTexts TForm1::Texts() const {
  return {text::kWindowCaption, text::kBrowseHint, text::kStatusDeletingFiles,
          text::kStatusDeletingFilesTail};
}

bool TForm1::WelcomePicture(Picture* picture) {
  return DecodeJpeg(kWelcomeJpeg, kWelcomeJpegSize, picture);
}

void TForm1::DetectEdition() {
  ctx_.FullEdition = MediumHas(text::kVolume0);
  // The edition follows the marker; a seal says whether there is one (an added or a lost marker
  // would install another edition under the signature).
  if (ctx_.Sealed && (ctx_.FullEdition != (ctx_.MediumSeal.Find(text::kVolume0) != nullptr) ||
                      (ctx_.FullEdition && !MatchesSeal(text::kVolume0)))) {
    ShowDamaged(text::kVolume0);
  }
  SetText(Ctl::RxLabel1,
          ctx_.FullEdition ? text::kCaptionFullEdition : text::kCaptionDemoEdition);
  ctx_.ProductName = ctx_.FullEdition ? text::kProductNameFull : text::kProductNameDemo;
}

bool TForm1::MatchesSeal(const char* name) {
  const SealEntry* sealed = ctx_.MediumSeal.Find(name);
  if (!sealed) return false;
  std::uint64_t left = 0;
  const UniqueFile f(p_, OpenMedium(name, &left));
  if (!f) return false;
  Sha256 digest;
  std::uint64_t size = 0;
  std::uint32_t n = 0;
  bool ok = true;
  // Never more than one chunk past the sealed size: a file that has grown is wrong already.
  while (ok && size <= sealed->size) {
    ok = ReadMedium(f.get(), CopyBuffer.data(), CopyBuffer.size(), &n, &left);
    if (!ok || n == 0) break;
    digest.Add(CopyBuffer.data(), n);
    size += n;
  }
  return ok && size == sealed->size && digest.Finish() == sealed->digest;
}

bool TForm1::MediumHas(const char* name) {
  if (!ctx_.Embedded) return p_.FileExists(ctx_.SourceDir + name);
  const std::string n = name;
  const OneFileLayout& l = ctx_.EmbeddedLayout;
  return n == text::kVolume1 || (l.full_edition && n == text::kVolume0) ||
         (l.full_edition && l.licence_size != 0 && n == text::kLicenceFile);
}

FileHandle TForm1::OpenMedium(const char* name, std::uint64_t* left) {
  *left = ~std::uint64_t{0};
  if (!ctx_.Embedded) return p_.OpenFile(ctx_.SourceDir + name, FileOpen::kOpenRead);
  if (!MediumHas(name)) return kInvalidFile;
  const OneFileLayout& l = ctx_.EmbeddedLayout;
  const std::string n = name;
  const std::uint64_t offset = n == text::kVolume1 ? l.archive_offset : l.licence_offset;
  *left = n == text::kVolume1 ? l.archive_size : n == text::kVolume0 ? 0 : l.licence_size;
  UniqueFile f(p_, p_.OpenOwnProgram());
  if (f && !p_.Seek(f.get(), offset)) f.reset();
  return f.release();
}

bool TForm1::ReadMedium(FileHandle f, void* buffer, std::uint32_t size, std::uint32_t* done,
                        std::uint64_t* left) {
  const std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, *left));
  *done = 0;
  if (want == 0) return true;  // the end of an embedded file
  const bool ok = p_.Read(f, buffer, want, done);
  // A program's file that ends inside its medium: the part read is short, never longer.
  if (ok && ctx_.Embedded && *done == 0) return false;
  *left -= *done;
  return ok;
}

// Reads the whole licence file. A file that exists but cannot be read is reported and the
// viewer stays empty; start-up goes on either way.
void TForm1::LoadLicence() {
  std::string content;
  bool ok = false;
  UniqueFile f(p_);
  try {
    std::uint64_t left = 0;
    f.reset(OpenMedium(text::kLicenceFile, &left));
    const std::int64_t size =
        !f ? -1 : ctx_.Embedded ? static_cast<std::int64_t>(left) : p_.FileSize(f.get());
    ok = size >= 0 && static_cast<std::uint64_t>(size) <= content.max_size();
    if (ok) content.resize(static_cast<std::size_t>(size));  // no room: an error, below
    for (std::size_t at = 0; ok && at < content.size();) {
      const std::uint32_t want =
          static_cast<std::uint32_t>(std::min<std::size_t>(content.size() - at, 1 << 20));
      std::uint32_t done = 0;
      ok = ReadMedium(f.get(), content.data() + at, want, &done, &left) && done == want;
      at += done;
    }
  } catch (...) {
    ok = false;
    content = std::string();
  }
  f.reset();
  // The licence the user agrees to is the one sealed, or none is shown and nothing installed.
  if (!ok && !ctx_.Sealed) {
    ShowError(text::kMsgLicenceUnreadable);
    return;
  }
  if (ctx_.Sealed) {
    const SealEntry* sealed = ctx_.MediumSeal.Find(text::kLicenceFile);
    if (!ok || !sealed || sealed->size != content.size() || sealed->digest != Sha256Of(content)) {
      ShowDamaged(text::kLicenceFile);
      return;
    }
  }
  // Rich text first; a viewer that does not take it as rich text shows its text plain.
  const bool rtf = content.compare(0, 5, "{\\rtf") == 0;
  if (view_ && !(rtf && view_->LoadRichText(content, true))) {
    view_->LoadRichText(rtf ? RtfToPlainText(content) : content, false);
  }
}

void TForm1::ReadPreviousDir() {
  ctx_.PreviousDir = text::kDefaultFolder;
  try {
    RegistryAccessor registry(p_);
    registry.OpenBaseKey(text::kUserKey);
    ctx_.PreviousDir =
        registry.ReadString(text::kStateSection, text::kWorkingDir, text::kDefaultFolder);
  } catch (...) {
    ctx_.PreviousDir = text::kDefaultFolder;  // a value of the wrong type: the default stays
  }
}

void TForm1::FormDestroy() {
  try {
    Log("window closed");
  } catch (...) {
  }
  RestoreSystemFonts(p_, ctx_);
}

bool TForm1::FormClose() {
  if (sequence_running_) {
    close_pending_ = true;
    return false;
  }
  Close();
  return true;
}

// ---- Flow --------------------------------------------------------------------------------------

void TForm1::Button1Click() {
  switch (ctx_.WizardState) {
    case kStateWelcome:
      SetVisible(Ctl::Label2, true);
      SetVisible(Ctl::Label3, false);
      SetVisible(Ctl::Edit1, true);
      if (ctx_.FullEdition) {
        ctx_.WizardState = kStateLicence;
        SetVisible(Ctl::RichEdit1, true);
        SetText(Ctl::Button1, text::kAgree);
      } else {
        ctx_.WizardState = kStateFolder;
        SetVisible(Ctl::Edit1, true);
        Focus(Ctl::Edit1);
        SetText(Ctl::Button2, text::kCancel);
        SetText(Ctl::Button1, text::kNext);
      }
      break;
    case kStateLicence:
      Log("licence accepted");
      ctx_.WizardState = kStateFolder;
      SetVisible(Ctl::RichEdit1, false);
      SetVisible(Ctl::Edit1, true);
      Focus(Ctl::Edit1);
      SetText(Ctl::Button2, text::kBack);
      SetText(Ctl::Button1, text::kNext);
      break;
    case kStateFolder:
      RunInstallation();
      break;
    case kStateShortcut:
      ctx_.WizardState = kStateAborted;
      Close();
      break;
    case kStateAborted:
      Close();
      break;
    default:  // 2 to 5: the sequence is running and Button1 is disabled
      break;
  }
}

void TForm1::Button2Click() {
  if (ctx_.WizardState == kStateFolder && ctx_.FullEdition) {
    ctx_.WizardState = kStateLicence;
    SetVisible(Ctl::RichEdit1, true);
    SetVisible(Ctl::Edit1, false);
    SetText(Ctl::Button2, text::kCancel);
    SetText(Ctl::Button1, text::kAgree);
    return;
  }
  ConfirmAbort();
}

void TForm1::ConfirmAbort() {
  if (Message(text::kMsgConfirmAbort, text::kCaptionWarning,
              kMbOkCancel | kMbIconExclamation) == kIdOk) {
    abort_confirmed_ = true;
    RollBack();
  }
}

void TForm1::Edit2KeyPress(char& key) {
  if (key == '\r') {
    key = 0;  // handled: the editor does not beep
    Button1Click();
  }
}

void TForm1::RunInstallation() {
  // A close box pressed while the sequence runs closes the window once it has returned.
  sequence_running_ = true;
  const ScopeExit running([this] {
    sequence_running_ = false;
    if (close_pending_) Close();
  });

  bool checked = false;
  try {
    // The system takes a slash for a backslash; the folder is recorded with backslashes. An empty
    // text gets no backslash, so that the folder check refuses it.
    ctx_.TargetDir = Edit1Text();
    std::replace(ctx_.TargetDir.begin(), ctx_.TargetDir.end(), '/', '\\');
    SetText(Ctl::Button2, text::kCancel);
    if (!ctx_.TargetDir.empty() && ctx_.TargetDir.back() != '\\') ctx_.TargetDir += '\\';
    LogPath("folder: ", ctx_.TargetDir);
    const std::string typed = ctx_.TargetDir.empty() && view_ ? view_->EditTextUtf8() : "";
    if (!typed.empty() && typed != unholdable_logged_ && log_) {
      log_->Event("the system's code page cannot hold the folder ", LogText::kUnicode, typed);
      unholdable_logged_ = typed;
    }
    if (!CheckTargetFolder(ctx_.TargetDir)) {
      Log("folder refused");
    } else if (!CheckFreeSpace()) {
      Log("folder refused for want of free space");
    } else if (!CheckFilesInUse()) {
      Log("installation not begun: a product file is in use");
    } else {
      checked = true;
    }
  } catch (...) {
    checked = false;  // nothing was installed: the wizard stays on the folder page
  }
  if (!checked) return;

  // Each step guards its own work; an error between steps fails the installation likewise.
  try {
    InstallSteps();
  } catch (...) {
    ctx_.StepOk = false;
  }
  try {
    SetText(Ctl::Button1, text::kFinishedOk);
  } catch (...) {
  }
  SetEnabled(Ctl::Button1, true);
  if (!ctx_.StepOk) RollBack();
  installed_ = ctx_.StepOk;
  try {
    Log(installed_ ? "installed" : "not installed");
  } catch (...) {
  }
}

}  // namespace kv
