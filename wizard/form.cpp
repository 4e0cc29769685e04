// TForm1: controls, creation and the wizard's state machine.
#include "app/texts.h"
#include "system/registry.h"
#include "wizard/install1.h"

namespace kv {

TForm1::TForm1(Platform& platform, InstallContext& context) : p_(platform), ctx_(context) {
  // The controls as the window is created, before FormCreate: only the welcome page is visible.
  state(Ctl::Button1).text = text::kNext;
  state(Ctl::Button2).text = text::kCancel;
  state(Ctl::Label2) = {text::kFolderPrompt, false};
  state(Ctl::ProgressBar1).visible = false;
  state(Ctl::ProgressBar2).visible = false;
  state(Ctl::Edit1) = {text::kDefaultFolder, false};
  state(Ctl::RxLabel1).text = text::kStoredEditionCaption;
  state(Ctl::Label3).text = text::kWelcomeBanner;
  state(Ctl::RichEdit1).visible = false;
}

void TForm1::Attach(FormView* view) {
  view_ = view;
  for (int i = 0; i < kControlCount; ++i) Push(static_cast<Ctl>(i));
}

void TForm1::Push(Ctl c) {
  if (view_) view_->Update(c, control(c));
}

std::string TForm1::Edit1Text() {
  if (view_) state(Ctl::Edit1).text = view_->EditText();
  return control(Ctl::Edit1).text;
}

void TForm1::SetText(Ctl c, const std::string& text) {
  state(c).text = text;
  Push(c);
}

void TForm1::SetVisible(Ctl c, bool visible) {
  state(c).visible = visible;
  Push(c);
}

void TForm1::SetEnabled(Ctl c, bool enabled) {
  state(c).enabled = enabled;
  Push(c);
}

void TForm1::SetMaximum(Ctl c, int maximum) {
  ControlState& s = state(c);
  s.maximum = maximum < 0 ? 0 : maximum;
  if (s.position > s.maximum) s.position = s.maximum;
  Push(c);
}

void TForm1::SetPosition(Ctl c, int position) {
  ControlState& s = state(c);
  s.position = position < 0 ? 0 : (position > s.maximum ? s.maximum : position);
  Push(c);
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
  if (stream == kInvalidFile) return;
  const FileHandle f = stream;
  stream = kInvalidFile;
  p_.Close(f);
}

int TForm1::ShowError(const std::string& message) {
  return p_.ShowMessage(message, text::kCaptionError, kMbOk | kMbIconError);
}

// ---- Creation ----------------------------------------------------------------------------------

void TForm1::FormCreate() {
  ctx_.WizardState = kStateWelcome;
  ctx_.StepOk = true;
  DetectEdition();
  if (ctx_.FullEdition) {
    if (p_.FileExists(ctx_.SourceDir + text::kLicenceFile)) {
      LoadLicence();
    } else {
      ShowError(text::kMsgNoLicence);
    }
  }
  ReadPreviousDir();
  SetText(Ctl::Edit1, ctx_.PreviousDir);
}

void TForm1::DetectEdition() {
  ctx_.FullEdition = p_.FileExists(ctx_.SourceDir + text::kVolume0);
  SetText(Ctl::RxLabel1,
          ctx_.FullEdition ? text::kCaptionFullEdition : text::kCaptionDemoEdition);
  ctx_.ProductName = ctx_.FullEdition ? text::kProductNameFull : text::kProductNameDemo;
}

// Reads the whole licence file. A file that exists but cannot be read is reported and the
// viewer stays empty; start-up goes on either way.
void TForm1::LoadLicence() {
  constexpr std::int64_t kMaxLicenceSize = 16 * 1024 * 1024;
  const std::string path = ctx_.SourceDir + text::kLicenceFile;
  std::string content;
  bool ok = false;
  FileHandle f = p_.OpenFile(path, FileOpen::kOpenRead);
  if (f != kInvalidFile) {
    const std::int64_t size = p_.FileSize(f);
    if (size >= 0 && size <= kMaxLicenceSize) {
      content.resize(static_cast<std::size_t>(size));
      std::uint32_t done = 0;
      ok = size == 0 || (p_.Read(f, content.data(), static_cast<std::uint32_t>(size), &done) &&
                         done == size);
    }
    p_.Close(f);
  }
  if (!ok) {
    ShowError(text::kMsgLicenceUnreadable);
    return;
  }
  // Rich text first; anything the viewer does not take as rich text is shown as plain text.
  const bool rtf = content.compare(0, 5, "{\\rtf") == 0;
  if (view_ && !(rtf && view_->LoadRichText(content, true))) view_->LoadRichText(content, false);
}

void TForm1::ReadPreviousDir() {
  ctx_.PreviousDir = text::kDefaultFolder;
  try {
    RegistryAccessor registry(p_);
    registry.OpenBaseKey(text::kUserKey);
    ctx_.PreviousDir =
        registry.ReadString(text::kStateSection, text::kWorkingDir, text::kDefaultFolder);
  } catch (const RegistryError&) {
    // A value of the wrong type: the default stays.
  }
}

void TForm1::FormDestroy() { RestoreSystemFonts(p_, ctx_); }

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
  if (p_.ShowMessage(text::kMsgConfirmAbort, text::kCaptionWarning,
                    kMbOkCancel | kMbIconExclamation) == kIdOk) {
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
  // An empty text gets no backslash, so that the folder check refuses it.
  ctx_.TargetDir = Edit1Text();
  SetText(Ctl::Button2, text::kCancel);
  if (!ctx_.TargetDir.empty() && ctx_.TargetDir.back() != '\\') ctx_.TargetDir += '\\';
  if (!CheckTargetFolder(ctx_.TargetDir)) return;
  if (!CheckFreeSpace()) return;

  SetEnabled(Ctl::Button1, false);
  ctx_.WizardState = kStateRemovingOldFiles;
  SetVisible(Ctl::Edit1, false);
  SetVisible(Ctl::ProgressBar2, true);
  SetMaximum(Ctl::ProgressBar2, 8);

  DeleteProductFiles();
  SetPosition(Ctl::ProgressBar2, 1);
  SetVisible(Ctl::ProgressBar1, true);
  JoinVolumes();
  if (ctx_.StepOk) {
    SetPosition(Ctl::ProgressBar2, 2);
    SetVisible(Ctl::ProgressBar1, false);
    ExtractArchive();
  }
  if (ctx_.StepOk) {
    SetPosition(Ctl::ProgressBar2, 3);
    p_.PumpMessages();
    CreateProgramGroup();
  }
  if (ctx_.StepOk) {
    SetPosition(Ctl::ProgressBar2, 4);
    p_.PumpMessages();
    RegisterProduct();
  }
  if (ctx_.StepOk) {
    SetPosition(Ctl::ProgressBar2, 5);
    p_.PumpMessages();
    CreateDesktopShortcut();
  }
  if (ctx_.StepOk) {
    SetPosition(Ctl::ProgressBar2, 6);
    p_.PumpMessages();
    DeleteTempArchive();
    SetPosition(Ctl::ProgressBar2, 7);
    RemovePreviousVersion();
    SetPosition(Ctl::ProgressBar2, 8);
    if (ctx_.StepOk) SetVisible(Ctl::Label2, false);
    if (ctx_.StepOk) SetText(Ctl::Label3, text::kInstalledBanner);
    SetVisible(Ctl::Label3, true);
    SetVisible(Ctl::ProgressBar2, false);
  }
  SetText(Ctl::Button1, text::kFinishedOk);
  SetEnabled(Ctl::Button1, true);
  if (!ctx_.StepOk) RollBack();
}

}  // namespace kv
