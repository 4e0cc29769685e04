#include "media/file_names.h"

#include "app/texts.h"
#include "target/folders.h"

namespace kv {

namespace {

// The upper-case letter of a Windows-1251 lower-case letter; any other byte unchanged.
unsigned char UpperCase1251(unsigned char c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c >= 0xE0) return c - 0x20;  // а..я
  switch (c) {
    case 0x90: return 0x80;  // ђ
    case 0x83: return 0x81;  // ѓ
    case 0x9A: return 0x8A;  // љ
    case 0x9C: return 0x8C;  // њ
    case 0x9D: return 0x8D;  // ќ
    case 0x9E: return 0x8E;  // ћ
    case 0x9F: return 0x8F;  // џ
    case 0xA2: return 0xA1;  // ў
    case 0xBC: return 0xA3;  // ј
    case 0xB4: return 0xA5;  // ґ
    case 0xB8: return 0xA8;  // ё
    case 0xBA: return 0xAA;  // є
    case 0xBF: return 0xAF;  // ї
    case 0xB3: return 0xB2;  // і
    case 0xBE: return 0xBD;  // ѕ
    default: return c;
  }
}

// The part of a name that Windows compares with the device names: up to the first dot, without
// trailing blanks, in capitals.
std::string DevicePart(const std::string& component) {
  return FileNameIdentity(component.substr(0, component.find('.')));
}

}  // namespace

bool IsDeviceName(const std::string& name) {
  const std::string component = DevicePart(name);
  if (component == "CON" || component == "PRN" || component == "AUX" || component == "NUL") {
    return true;
  }
  return component.size() == 4 && (component.compare(0, 3, "COM") == 0 ||
                                   component.compare(0, 3, "LPT") == 0) &&
         component[3] >= '1' && component[3] <= '9';
}

namespace {

// The longest name of one folder level that FAT and NTFS keep.
constexpr std::size_t kMaxComponent = 255;

// `name` with "/" taken as "\\" and every Windows-1251 letter in capitals.
std::string FoldedCase(std::string name) {
  for (char& c : name) {
    c = c == '/' ? '\\' : static_cast<char>(UpperCase1251(static_cast<unsigned char>(c)));
  }
  return name;
}

}  // namespace

std::string FileNameIdentity(const std::string& name) {
  std::string id = FoldedCase(name);
  while (!id.empty() && (id.back() == '.' || id.back() == ' ')) id.pop_back();
  return id;
}

bool NameOnDiskAnswers(const std::string& on_disk, const std::string& asked) {
  return FoldedCase(on_disk) == FileNameIdentity(asked);
}

bool SameFileName(const std::string& a, const std::string& b) {
  return FileNameIdentity(a) == FileNameIdentity(b);
}

std::string MemberNameFault(const std::string& name) {
  if (name.empty()) return "is empty";
  if (name.find(':') != std::string::npos || name.front() == '\\' || name.front() == '/') {
    return "leaves the target folder";
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find_first_of("\\/", start);
    const std::string component = name.substr(start, end - start);
    if (component.empty() || component.find_first_not_of(". ") == std::string::npos) {
      return "leaves the target folder";
    }
    if (IsDeviceName(component)) return "names a device";
    for (unsigned char c : component) {
      if (c < 0x20 || std::string_view("?*<>|\"").find(static_cast<char>(c)) != std::string_view::npos) {
        return "holds a character that Windows does not allow in file names";
      }
    }
    if (component.size() > kMaxComponent) return "is longer than 255 bytes";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (SameFileName(name, text::kTempArchive)) {
    return "is the installer's own temporary archive, which it holds open while unpacking";
  }
  return "";
}

bool NamesADeviceUnderAnotherCodePage(const std::string& name) {
  const std::string device = DevicePart(name.substr(name.find_last_of("\\/") + 1));
  return device.size() == 4 && (device.compare(0, 3, "COM") == 0 || device.compare(0, 3, "LPT") == 0) &&
         std::string_view("\xB9\xB2\xB3").find(device[3]) != std::string_view::npos;
}

bool LooksLikeShortAlias(const std::string& name) {
  const std::string last = name.substr(name.find_last_of("\\/") + 1);
  const std::size_t dot = last.find('.');
  const std::string base = last.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : last.substr(dot + 1);
  const std::size_t tilde = base.rfind('~');
  return base.size() <= 8 && tilde != std::string::npos && tilde > 0 && tilde + 1 < base.size() &&
         base.find_first_not_of("0123456789", tilde + 1) == std::string::npos &&
         extension.size() <= 3 && extension.find('.') == std::string::npos;
}

bool HasFolderPart(const std::string& name) {
  return name.find_first_of("\\/") != std::string::npos;
}

bool IsProductFile(const std::string& name) {
  for (const char* product_file : kProductFileSet) {
    if (SameFileName(name, product_file)) return true;
  }
  return false;
}

}  // namespace kv
