#include "app/install_log.h"

namespace kv {

std::string Cp1251ToUtf8(const std::string& text) {
  // 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F; 0x98 is unassigned.
  static constexpr char16_t kHigh[64] = {
      0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
      0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
      0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
      0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
      0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
  std::string out;
  out.reserve(text.size() * 2);
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      out += c;
      continue;
    }
    const char16_t w = u >= 0xC0 ? static_cast<char16_t>(0x0410 + (u - 0xC0)) : kHigh[u - 0x80];
    if (w < 0x800) {
      out += static_cast<char>(0xC0 | (w >> 6));
    } else {
      out += static_cast<char>(0xE0 | (w >> 12));
      out += static_cast<char>(0x80 | ((w >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (w & 0x3F));
  }
  return out;
}

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
