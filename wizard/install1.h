// TForm1: the wizard window's logic. Its methods are the wizard's handlers and the installation
// steps; its controls are plain state shown through a FormView (see platform/form_view.h), and the
// window reports the user's actions to it as FormEvents (platform/form_events.h).
#pragma once

#include <array>
#include <string>

#include "app/install_context.h"
#include "app/product_facts.h"
#include "platform/form_events.h"
#include "platform/form_view.h"
#include "platform/platform.h"

namespace kv {

class InstallLog;

class TForm1 final : public FormEvents {
 public:
  TForm1(Platform& platform, InstallContext& context);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // The view that shows the controls: gets their state at creation, then every change.
  void Attach(FormView* view);
  // Where the run's events are written (none: nothing is logged).
  void SetLog(InstallLog* log) { log_ = log; }
  // A folder (UTF-8) that the system's code page cannot hold, logged as such already: Next does
  // not log it again.
  void NoteUnholdableFolder(const std::string& utf8) { unholdable_logged_ = utf8; }

  // ---- Handlers ----
  void FormCreate();
  void FormDestroy() override;
  // The close box, the system menu's Close or Alt+F4: the program ends without a question and
  // without a rollback. While the installation sequence runs, the window stays (its view may hide
  // it) until the sequence has returned, so that the sequence's boxes keep their owner and the
  // fonts stay switched; then it closes. True when the window closed at once.
  bool FormClose() override;
  void Button1Click() override;
  void Button2Click() override;
  void Edit2KeyPress(char& key) override;
  // The folder editor's browse button: runs the folder browser, then Edit1AfterDialog.
  void Edit1ButtonClick() override;
  void Edit1AfterDialog(std::string& name, bool& action);
  // What the window shows of its own: its caption, hint and status texts, the welcome picture.
  FormTexts Texts() const override;
  bool WelcomePicture(Picture* picture) override;

  // ---- Start-up ----
  void DetectEdition();
  void ReadPreviousDir();

  // ---- Flow ----
  void RunInstallation();  // Next on the folder page
  void ConfirmAbort();
  void RollBack();

  // ---- Target folder and product files ----
  bool CheckTargetFolder(const std::string& path);
  bool CheckFreeSpace();
  // Before anything in the target folder changes: every product file there must be free to be
  // replaced and deleted. While another program holds one, the user is asked to close it (OK
  // looks again). False when the user turned back (Cancel): nothing was changed.
  bool CheckFilesInUse();
  void DeleteProductFiles();
  void DeleteTempArchive();

  // ---- Distribution media ----
  void JoinVolumes();
  // Appends the volume `name` of the medium to the archive; with a seal, checks its size and
  // digest when it ends (SealMismatch).
  void CopyVolume(const char* name);
  void ExtractArchive();

  // ---- System registration ----
  void CreateProgramGroup();
  void DeleteProgramGroup();
  void RegisterProduct();
  void UnregisterProduct();
  void CreateDesktopShortcut();
  void DeleteDesktopShortcut();
  void RemovePreviousVersion();

  // ---- Controls ----
  const ControlState& control(Ctl c) const { return controls_[static_cast<int>(c)]; }
  std::string Edit1Text();  // read from the editor: the user may have typed since
  void SetText(Ctl c, const std::string& text);
  void SetVisible(Ctl c, bool visible);
  void SetEnabled(Ctl c, bool enabled);
  void SetMaximum(Ctl c, int maximum);
  void SetPosition(Ctl c, int position);
  void StepPosition(Ctl c) { SetPosition(c, control(c).position + 1); }
  void Focus(Ctl c);
  void Repaint();
  void Close();
  bool closed() const { return closed_; }

  InstallContext& context() { return ctx_; }
  FileHandle temp_archive_stream() const { return TempArchiveStream; }
  // How many runs of RollBack found something to undo (a state from 2 to 6).
  int undo_runs() const { return undo_runs_; }
  // The product is installed: the sequence ended without a failure and no rollback came since.
  bool installed() const { return installed_; }
  // FormCreate found the marker or the licence other than the seal says: the wizard goes no
  // further (the program ends, not installed).
  bool medium_refused() const { return medium_refused_; }
  // The message for a file of the medium that does not match the seal, shown and logged; at
  // start-up it also refuses the medium.
  void ShowDamaged(const std::string& name);
  // A message box of the wizard, shown through the view and logged with its answer.
  int Message(const std::string& text, const std::string& caption, unsigned flags);
  void Log(const std::string& event);
  // An event of the program's text followed by a path (the system's code page).
  void LogPath(const std::string& event, const std::string& path);
  FileHandle volume_stream() const { return VolumeStream; }

 private:
  ControlState& state(Ctl c) { return controls_[static_cast<int>(c)]; }
  // Closes a stream the window owns, if open, setting it to kInvalidFile first: a nested rollback
  // or the copy loop testing it must never see a closed handle.
  void ReleaseStream(FileHandle& stream);
  void LoadLicence();
  // The file `name` of the medium has the size and digest the seal gives it.
  bool MatchesSeal(const char* name);
  // The medium's files, from its folder or from the program's own file: whether `name` is there,
  // and opening it for reading with *left set to its size (unbounded for a folder's file, which
  // is read to its end); ReadMedium reads no further than *left.
  bool MediumHas(const char* name);
  FileHandle OpenMedium(const char* name, std::uint64_t* left);
  bool ReadMedium(FileHandle f, void* buffer, std::uint32_t size, std::uint32_t* done,
                  std::uint64_t* left);
  void InstallSteps();  // the installing part of RunInstallation, after the folder checks
  int ShowError(const std::string& message);
  // Runs one installation step and logs it with its outcome.
  void RunStep(const char* name, void (TForm1::*step)());

  Platform& p_;
  InstallContext& ctx_;
  FormView* view_ = nullptr;
  std::array<ControlState, kControlCount> controls_;
  bool closed_ = false;
  bool sequence_running_ = false;  // RunInstallation is on the stack
  bool close_pending_ = false;     // the close box was pressed meanwhile
  int undo_runs_ = 0;
  InstallLog* log_ = nullptr;
  bool installed_ = false;
  int errors_shown_ = 0;
  bool abort_confirmed_ = false;
  bool medium_refused_ = false;
  std::string unholdable_logged_;  // the last folder logged as one the code page cannot hold

  // Owned by the window for the joining step, because RollBack must release the archive stream
  // while the step may still be running. Whoever closes a stream sets it to kInvalidFile at once.
  std::array<char, kCopyChunk> CopyBuffer{};
  FileHandle VolumeStream = kInvalidFile;
  FileHandle TempArchiveStream = kInvalidFile;
};

// The message for the medium's file `name` that does not match the seal: in a medium carried by
// the program, the message names the program's file instead.
std::string DamagedMessage(const InstallContext& context, const std::string& name);

// A file of the medium that does not match the seal (thrown by the copy, caught by its step).
struct SealMismatch {
  std::string name;
};

// The question asked while a program holds the product file `file` open; `holder` (Windows-1251)
// names that program where the system named it.
std::string FileInUseMessage(const std::string& file, const std::string& holder);

// The system-wide caption and message fonts, switched to a Cyrillic face for the run. Without
// `apply` (nothing is drawn) only FontsAdjusted is decided, by the same rule, and nothing is
// switched or later restored.
void AdjustSystemFonts(Platform& platform, InstallContext& context, bool apply = true);
void RestoreSystemFonts(Platform& platform, const InstallContext& context);

}  // namespace kv
