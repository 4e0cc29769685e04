// The registry accessor the installer writes and reads its entries through.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace kv {

// Raised by the accessor and the association writer; the steps' guards turn it into their own
// message (or swallow it), so its text is never shown.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Per-user and uninstall entries: a base key whose sub-keys are "sections" holding string values.
// Keys are held open only within the accessor's life.
class RegistryAccessor {
 public:
  explicit RegistryAccessor(Platform& p) : p_(p), base_(p) {}

  // RegCreateKeyExA(root, path, KEY_ALL_ACCESS): opens the key, creating missing levels. Its
  // result is not examined: without a base key, reads give their default and writes fail.
  void OpenBaseKey(const std::string& path);
  // Creates the section, opens it (full access, else read access) and sets a REG_SZ whose size
  // counts the NUL. Throws when the section cannot be created or the value cannot be set; a
  // section that cannot be opened after its creation writes nothing and raises nothing.
  void WriteString(const std::string& section, const std::string& name, const std::string& text);
  void WriteFlag(const std::string& section, const std::string& name, bool flag) {
    WriteString(section, name, flag ? "1" : "0");
  }
  // The same for a REG_DWORD of four bytes, least significant first, as Windows keeps it.
  void WriteNumber(const std::string& section, const std::string& name, std::uint32_t number);
  // A missing section or value gives `fallback`; REG_SZ and REG_EXPAND_SZ give their text up to
  // the first NUL, unexpanded; a value of any other type throws.
  std::string ReadString(const std::string& section, const std::string& name,
                         const std::string& fallback);
  // Closes the base key; later opens use the new root.
  void SwitchRoot(RegKey root);
  void Close();

 private:
  UniqueRegKey OpenSection(const std::string& section);
  void WriteValue(const std::string& section, const std::string& name, std::uint32_t type,
                  const void* data, std::uint32_t size);

  Platform& p_;
  RegKey root_ = kHkeyCurrentUser;
  UniqueRegKey base_;
};

// Sets the default value of HKEY_CLASSES_ROOT\path as a REG_SZ; throws on failure.
void SetClassesDefaultValue(Platform& p, const std::string& path, const std::string& text);

}  // namespace kv
