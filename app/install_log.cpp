#include "app/install_log.h"

#include "app/texts.h"
#include "media/file_names.h"
#include "target/folders.h"

namespace kv {

namespace {

// The names a log may not take, in any folder: the medium's files (the program's own included),
// the temporary archive and the product's files.
bool ReservedName(const std::string& name) {
  for (const char* reserved : {text::kVolume0, text::kVolume1, text::kVolume2, text::kVolume3,
                               text::kLicenceFile, text::kSetupProgram, text::kTempArchive}) {
    if (SameFileName(name, reserved)) return true;
  }
  return IsProductFile(name);
}

// Whether the system takes a log's name (UTF-8) for a device: the names of IsDeviceName, and,
// as Windows 10 and later do, COM and LPT followed by a superscript digit (COM¹, LPT³.log).
bool NamesADevice(const std::string& utf8_name) {
  static const struct {
    const char* utf8;
    char digit;
  } kSuperscripts[] = {{"\xC2\xB9", '1'}, {"\xC2\xB2", '2'}, {"\xC2\xB3", '3'}};
  std::string name = utf8_name;
  for (const auto& s : kSuperscripts) {
    for (std::size_t at; (at = name.find(s.utf8)) != std::string::npos;) {
      name.replace(at, 2, 1, s.digit);
    }
  }
  return IsDeviceName(name);
}

// A line break inside an event becomes a blank, so that each event stays one line.
void AppendOneLine(std::string& line, const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
  }
}

}  // namespace

InstallLog::Opened InstallLog::Open(const std::string& path) {
  Shut();
  try {
    const std::string name = path.substr(path.find_last_of("\\/:") + 1);
    // The program's own file under whatever name it was given: it may carry the medium.
    const std::string own = p_.OwnProgramName();
    const std::string stored = p_.StoredFileName(path);
    if (!NamesItself(path) || NamesADevice(name) || ReservedName(name) || ReservedName(stored) ||
        (!own.empty() && (SameFileName(name, own) || SameFileName(stored, own)))) {
      return Opened::kRefused;
    }
    file_.reset(p_.CreateLog(path));
  } catch (...) {
  }
  return on() ? Opened::kYes : Opened::kNo;
}

void InstallLog::Shut() {
  try {
    file_.reset();
  } catch (...) {
  }
}

void InstallLog::Event(const std::string& text, LogText road, const std::string& tail) {
  if (!on()) return;
  try {
    std::string program = p_.LocalTime() + "  ", other;
    AppendOneLine(program, text);
    AppendOneLine(other, tail);
    std::string line = Cp1251ToUtf8(program);
    line += road == LogText::kProgram  ? Cp1251ToUtf8(other)
            : road == LogText::kSystem ? p_.SystemToUtf8(other)
                                       : other;
    line += "\r\n";
    std::uint32_t done = 0;
    if (!p_.Write(file_.get(), line.data(), static_cast<std::uint32_t>(line.size()), &done) ||
        done != line.size()) {
      Shut();
    }
  } catch (...) {
    Shut();
  }
}

}  // namespace kv
