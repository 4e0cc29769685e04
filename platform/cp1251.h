// Windows-1251, the code page of every text the installer shows, as Unicode. A table of its own
// rather than the system's conversion: a system without Cyrillic support installed has no 1251
// table, and the texts must still read right there.
#pragma once

#include <string>
#include <string_view>

#include "platform/utf8.h"

namespace kv {

// The Unicode character of one Windows-1251 byte. 0x98, which the code page leaves unassigned,
// maps to U+0098 as the system's own conversion maps it.
constexpr char16_t Cp1251ToUnicode(unsigned char byte) {
  constexpr char16_t kHigh[64] = {
      0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
      0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
      0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
      0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
      0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
      0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
      0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
      0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
  };
  if (byte < 0x80) return byte;
  if (byte < 0xC0) return kHigh[byte - 0x80];
  return static_cast<char16_t>(0x0410 + (byte - 0xC0));  // А..я in alphabetical order
}

// A Windows-1251 text as UTF-16, one unit per byte.
inline std::u16string Cp1251ToUtf16(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = Cp1251ToUnicode(static_cast<unsigned char>(text[i]));
  }
  return out;
}

// A Windows-1251 text as UTF-8, for logs and consoles; the unassigned 0x98 becomes U+FFFD.
inline std::string Cp1251ToUtf8(std::string_view text) {
  std::u16string wide = Cp1251ToUtf16(text);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) == 0x98) wide[i] = u'\uFFFD';
  }
  return Utf16ToUtf8(wide);
}

// A UTF-8 text in Windows-1251, exactly: false when the code page cannot hold one of its
// characters (a name the system gave, to be shown in one of the program's own texts).
inline bool Utf8ToCp1251(std::string_view utf8, std::string* cp1251) {
  std::string out;
  for (const char16_t c : Utf8ToUtf16(utf8)) {
    int byte = c < 0x80 ? c : -1;
    for (int b = 0x80; b < 0x100 && byte < 0; ++b) {
      if (Cp1251ToUnicode(static_cast<unsigned char>(b)) == c && b != 0x98) byte = b;
    }
    if (byte < 0) return false;
    out += static_cast<char>(byte);
  }
  cp1251->swap(out);
  return true;
}

}  // namespace kv
