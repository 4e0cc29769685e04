// The process-wide variables of one run of the installer.
#pragma once

#include <cstdint>
#include <string>

#include "app/texts.h"
#include "media/one_file.h"
#include "media/seal.h"

namespace kv {

// How far the wizard and the installation got. 7 and 9 never occur.
enum WizardStateCode : int {
  kStateWelcome = 0,
  kStateFolder = 1,
  kStateRemovingOldFiles = 2,
  kStateCopying = 3,
  kStateGroup = 4,
  kStateRegistry = 5,
  kStateShortcut = 6,  // also the finished state
  kStateAborted = 8,
  kStateLicence = 10,
};

struct InstallContext {
  std::string SourceDir;  // folder of the volumes, with a trailing backslash (drive root: as is)
  std::string TargetDir;  // chosen folder, with a trailing backslash
  std::string PreviousDir = text::kDefaultFolder;
  std::string ProductName;
  std::string PreviousProductName;
  bool FullEdition = false;
  std::uint64_t InstalledBytes = 0;  // of the files the archive put into TargetDir
  bool StepOk = false;
  int WizardState = kStateWelcome;
  bool FontsAdjusted = false;
  // The seal that setup.exe carries: each file of the medium is checked against it as it is read.
  bool Sealed = false;
  Seal MediumSeal;
  // A medium carried by the program's own file: the archive is its one volume, and the marker
  // and the licence come from it too. EmbeddedName names that file in messages.
  bool Embedded = false;
  OneFileLayout EmbeddedLayout;
  std::string EmbeddedName;
};

}  // namespace kv
