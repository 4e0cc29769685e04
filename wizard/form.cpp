// TForm1: controls, creation and the wizard's state machine.
#include <algorithm>

#include "app/install_log.h"
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
  if (stream == kInvalidFile) return;
  const FileHandle f = stream;
  stream = kInvalidFile;
  p_.Close(f);
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
  const std::string path = ctx_.SourceDir + text::kLicenceFile;
  std::string content;
  bool ok = false;
  FileHandle f = kInvalidFile;
  try {
    f = p_.OpenFile(path, FileOpen::kOpenRead);
    const std::int64_t size = f == kInvalidFile ? -1 : p_.FileSize(f);
    ok = size >= 0 && static_cast<std::uint64_t>(size) <= content.max_size();
    if (ok) content.resize(static_cast<std::size_t>(size));  // no room: an error, below
    for (std::size_t at = 0; ok && at < content.size();) {
      const std::uint32_t want =
          static_cast<std::uint32_t>(std::min<std::size_t>(content.size() - at, 1 << 20));
      std::uint32_t done = 0;
      ok = p_.Read(f, content.data() + at, want, &done) && done == want;
      at += done;
    }
  } catch (...) {
    ok = false;
    content = std::string();
  }
  if (f != kInvalidFile) p_.Close(f);
  if (!ok) {
    ShowError(text::kMsgLicenceUnreadable);
    return;
  }
  // Rich text first; a viewer that does not take it as rich text shows its text plain.
  const bool rtf = content.compare(0, 5, "{\\rtf") == 0;
  if (view_ && !(rtf && view_->LoadRichText(content, true))) {
    view_->LoadRichText(rtf ? RtfToPlainText(content) : content, false);
  }
}

std::string RtfToPlainText(const std::string& rtf) {
  static const char* const kNoText[] = {
      "fonttbl", "colortbl", "stylesheet", "info",   "pict",       "object",   "header",
      "headerl", "headerr",  "footer",     "footerl", "footerr",   "listtable", "listoverridetable",
      "rsidtbl", "generator", "xmlnstbl",  "themedata", "colorschememapping", "latentstyles",
      "datastore", "fldinst", "filetbl",   "revtbl"};
  std::string text;
  int depth = 0;
  int skip_from = -1;      // the depth of the group being left out, or -1
  bool group_start = false;  // the last thing read opened a group
  const auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                          : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  for (std::size_t i = 0; i < rtf.size();) {
    const char c = rtf[i];
    const bool opened = group_start;
    group_start = false;
    if (c == '{') {
      ++depth;
      group_start = true;
      ++i;
    } else if (c == '}') {
      if (depth == skip_from) skip_from = -1;
      if (depth > 0) --depth;
      ++i;
    } else if (c == '\\' && i + 1 < rtf.size()) {
      const char next = rtf[i + 1];
      const bool letter = (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
      if (!letter) {
        i += 2;
        if (next == '*' && opened && skip_from < 0) skip_from = depth;
        if (skip_from >= 0) continue;
        if (next == '\'' && i + 1 < rtf.size() && hex(rtf[i]) >= 0 && hex(rtf[i + 1]) >= 0) {
          text += static_cast<char>(hex(rtf[i]) * 16 + hex(rtf[i + 1]));
          i += 2;
        } else if (next == '\\' || next == '{' || next == '}') {
          text += next;
        } else if (next == '~') {
          text += '\xA0';
        } else if (next == '_') {
          text += '-';
        } else if (next == '\n' || next == '\r') {
          text += "\r\n";  // an escaped line end is a paragraph
        }
        continue;
      }
      std::size_t end = i + 1;
      while (end < rtf.size() && ((rtf[end] >= 'a' && rtf[end] <= 'z') ||
                                  (rtf[end] >= 'A' && rtf[end] <= 'Z'))) {
        ++end;
      }
      const std::string word = rtf.substr(i + 1, end - i - 1);
      if (end < rtf.size() && (rtf[end] == '-' || (rtf[end] >= '0' && rtf[end] <= '9'))) ++end;
      while (end < rtf.size() && rtf[end] >= '0' && rtf[end] <= '9') ++end;
      if (end < rtf.size() && rtf[end] == ' ') ++end;  // the delimiter belongs to the word
      i = end;
      if (opened && skip_from < 0) {
        for (const char* name : kNoText) {
          if (word == name) skip_from = depth;
        }
      }
      if (skip_from >= 0) continue;
      if (word == "par" || word == "line" || word == "sect" || word == "page") {
        text += "\r\n";
      } else if (word == "tab") {
        text += '\t';
      }
      // \uN is followed by its ANSI stand-in, which is kept; other words are formatting.
    } else {
      ++i;
      if (skip_from < 0 && c != '\r' && c != '\n') text += c;
    }
  }
  return text;
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
  struct Running {
    TForm1& form;
    explicit Running(TForm1& f) : form(f) { form.sequence_running_ = true; }
    ~Running() {
      form.sequence_running_ = false;
      if (form.close_pending_) form.Close();
    }
  } running{*this};

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
