// The view of an unattended run (/S): nothing is drawn, and every question gets the answer that
// nobody being there implies.
#pragma once

#include <string>

#include "platform/form_view.h"
#include "platform/platform.h"

namespace kv {

class SilentView : public FormView {
 public:
  explicit SilentView(Platform& platform) : p_(platform) {}
  void SetText(Ctl c, const std::string& text) override {
    if (c == Ctl::Edit1) edit_text_ = text;
  }
  void SetVisible(Ctl, bool) override {}
  void SetEnabled(Ctl, bool) override {}
  void SetProgress(Ctl, int, int) override {}
  std::string EditText() override { return edit_text_; }
  std::string EditTextUtf8() override { return p_.SystemToUtf8(edit_text_); }
  void SetEditTextUtf8(const std::string& utf8) override {
    if (!p_.Utf8ToSystem(utf8, &edit_text_)) edit_text_.clear();
  }
  void Focus(Ctl) override {}
  void Repaint() override {}
  void Close() override {}
  void ShowForm() override {}
  bool LoadRichText(const std::string&, bool) override { return true; }
  // An error box is taken as read (OK). A question is declined (Cancel): a disk that is not
  // there stays missing, so its prompt ends the installation, and an abort is never confirmed.
  int ShowMessage(const std::string&, const std::string&, unsigned flags) override {
    return (flags & 0xF) == kMbOkCancel ? kIdCancel : kIdOk;
  }

 private:
  Platform& p_;
  std::string edit_text_;
};

}  // namespace kv
