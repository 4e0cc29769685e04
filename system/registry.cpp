#include "system/registry.h"

#include "app/texts.h"
#include "wizard/install1.h"

namespace kv {

namespace {

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
using text::kFileType;
// A key below the file type's own.
std::string FileTypeKey(const char* tail) { return std::string(kFileType) + tail; }

long SetString(Platform& p, RegKey key, const std::string& name, const std::string& text) {
  return p.RegSet(key, name, kRegSz, text.c_str(), static_cast<std::uint32_t>(text.size() + 1));
}

// "YYYYMMDD" from the local time "YYYY-MM-DD HH:MM:SS.mmm".
std::string InstallDate(const std::string& local_time) {
  return local_time.substr(0, 4) + local_time.substr(5, 2) + local_time.substr(8, 2);
}

// Whole KiB, rounded up; a size beyond the REG_DWORD's range shows as its largest value.
std::uint32_t SizeInKiB(std::uint64_t bytes) {
  const std::uint64_t kib = bytes / 1024 + (bytes % 1024 != 0);
  return kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kib);
}

}  // namespace

void RegistryAccessor::OpenBaseKey(const std::string& path) {
  Close();
  RegKey key = 0;
  if (p_.RegCreate(root_, path, kKeyAllAccess, &key) == kErrorSuccess) base_.reset(key);
}

UniqueRegKey RegistryAccessor::OpenSection(const std::string& section) {
  RegKey key = 0;
  if (!base_) return UniqueRegKey(p_);
  if (p_.RegOpen(base_.get(), section, kKeyAllAccess, &key) == kErrorSuccess) {
    return UniqueRegKey(p_, key);
  }
  if (p_.RegOpen(base_.get(), section, kKeyRead, &key) == kErrorSuccess) {
    return UniqueRegKey(p_, key);
  }
  return UniqueRegKey(p_);
}

void RegistryAccessor::WriteValue(const std::string& section, const std::string& name,
                                  std::uint32_t type, const void* data, std::uint32_t size) {
  RegKey created = 0;
  if (!base_ || p_.RegCreate(base_.get(), section, kKeyAllAccess, &created) != kErrorSuccess) {
    throw RegistryError("Failed to create key " + section);
  }
  // Only made here: the value goes through the key opened below.
  UniqueRegKey(p_, created).reset();
  const UniqueRegKey key = OpenSection(section);
  if (!key) return;
  if (p_.RegSet(key.get(), name, type, data, size) != kErrorSuccess) {
    throw RegistryError("Failed to set data for " + name);
  }
}

void RegistryAccessor::WriteString(const std::string& section, const std::string& name,
                                   const std::string& text) {
  WriteValue(section, name, kRegSz, text.c_str(), static_cast<std::uint32_t>(text.size() + 1));
}

void RegistryAccessor::WriteNumber(const std::string& section, const std::string& name,
                                   std::uint32_t number) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(number),
                                  static_cast<unsigned char>(number >> 8),
                                  static_cast<unsigned char>(number >> 16),
                                  static_cast<unsigned char>(number >> 24)};
  WriteValue(section, name, kRegDword, bytes, sizeof bytes);
}

std::string RegistryAccessor::ReadString(const std::string& section, const std::string& name,
                                         const std::string& fallback) {
  const UniqueRegKey key = OpenSection(section);
  if (!key) return fallback;
  std::uint32_t type = 0;
  std::string data;
  if (p_.RegQuery(key.get(), name, &type, &data) != kErrorSuccess) return fallback;
  if (type != kRegSz && type != kRegExpandSz) throw RegistryError("Invalid data type for " + name);
  return data.substr(0, data.find('\0'));
}

void RegistryAccessor::SwitchRoot(RegKey root) {
  Close();
  root_ = root;
}

void RegistryAccessor::Close() { base_.reset(); }

void SetClassesDefaultValue(Platform& p, const std::string& path, const std::string& text) {
  RegKey created = 0;
  if (p.RegCreate(kHkeyClassesRoot, path, kKeyRead | kKeyWrite, &created) != kErrorSuccess) {
    throw RegistryError("Error creating system registry entry");
  }
  const UniqueRegKey key(p, created);
  if (SetString(p, key.get(), "", text) != kErrorSuccess) throw RegistryError("Error creating system registry entry");
}

// ---- The registration step and its undo ---------------------------------------------------------

void TForm1::RegisterProduct() {
  SetText(Ctl::Label2, text::kStatusRegistering + ctx_.ProductName + text::kStatusNameTail);
  Repaint();
  ctx_.WizardState = kStateRegistry;
  try {
    RegistryAccessor registry(p_);
    registry.OpenBaseKey(text::kUserKey);
    registry.WriteString(text::kStateSection, text::kWorkingDir, ctx_.TargetDir);
    // Read between the two writes: the display name of the installation before this one.
    ctx_.PreviousProductName = registry.ReadString(text::kStateSection, "AppName", "Kelvantor");
    registry.WriteString(text::kStateSection, "AppName", ctx_.ProductName);
    registry.WriteFlag(text::kStateSection, "WorkingVersion", ctx_.FullEdition);
    registry.SwitchRoot(kHkeyLocalMachine);
    registry.OpenBaseKey(kUninstallKey);
    registry.WriteString(ctx_.ProductName, "DisplayName", ctx_.ProductName);
    registry.WriteString(ctx_.ProductName, "UninstallString", ctx_.TargetDir + "uninstall.exe");
    // What the system's list of installed programs shows beside the name.
    registry.WriteString(ctx_.ProductName, "DisplayIcon", ctx_.TargetDir + "Kelvanto.exe");
    registry.WriteString(ctx_.ProductName, "DisplayVersion", text::kProductVersion);
    registry.WriteString(ctx_.ProductName, "Publisher", text::kPublisher);
    registry.WriteString(ctx_.ProductName, "InstallLocation", ctx_.TargetDir);
    registry.WriteString(ctx_.ProductName, "InstallDate", InstallDate(p_.LocalTime()));
    registry.WriteNumber(ctx_.ProductName, "EstimatedSize", SizeInKiB(ctx_.InstalledBytes));
    // The product has no change or repair mode: the list offers only its removal.
    registry.WriteNumber(ctx_.ProductName, "NoModify", 1);
    registry.WriteNumber(ctx_.ProductName, "NoRepair", 1);
    registry.Close();
    SetClassesDefaultValue(p_, ".kvt", kFileType);
    SetClassesDefaultValue(p_, kFileType, "kvt");
    SetClassesDefaultValue(p_, FileTypeKey("\\shell\\open\\command"),
                           ctx_.TargetDir + "Kelvanto.exe \"%1\"");
  } catch (...) {
    ShowError(text::kMsgCannotRegister);
  }
}

void TForm1::UnregisterProduct() {
  try {
    p_.RegDelete(kHkeyClassesRoot, ".kvt");
    // RegDeleteKeyA removes only a key without sub-keys on NT-based systems, so the file type's
    // verb keys go first, deepest first; on older systems the first call already removed them.
    p_.RegDelete(kHkeyClassesRoot, FileTypeKey("\\shell\\open\\command"));
    p_.RegDelete(kHkeyClassesRoot, FileTypeKey("\\shell\\open"));
    p_.RegDelete(kHkeyClassesRoot, FileTypeKey("\\shell"));
    p_.RegDelete(kHkeyClassesRoot, kFileType);
    p_.RegDelete(kHkeyLocalMachine, std::string(kUninstallKey) + "\\" + ctx_.ProductName);
  } catch (...) {
    // A rollback goes on whatever happens here, and says nothing about it.
  }
}

}  // namespace kv
