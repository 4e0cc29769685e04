#include "app/install_log.h"

namespace kv {

InstallLog::~InstallLog() { Shut(); }

bool InstallLog::Open(const std::string& path) {
  Shut();
  try {
    file_ = p_.OpenFile(path, FileOpen::kCreateAlways);
  } catch (...) {
    file_ = kInvalidFile;
  }
  return on();
}

void InstallLog::Shut() {
  if (file_ == kInvalidFile) return;
  const FileHandle f = file_;
  file_ = kInvalidFile;
  try {
    p_.Close(f);
  } catch (...) {
  }
}

void InstallLog::Event(const std::string& text) {
  if (!on()) return;
  try {
    std::string line = p_.LocalTime() + "  ";
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
      line += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
    }
    line = Cp1251ToUtf8(line) + "\r\n";
    std::uint32_t done = 0;
    if (!p_.Write(file_, line.data(), static_cast<std::uint32_t>(line.size()), &done) ||
        done != line.size()) {
      Shut();
    }
  } catch (...) {
    Shut();
  }
}

}  // namespace kv
