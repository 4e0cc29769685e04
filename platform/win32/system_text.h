// Texts to and from the system. The program's texts are Windows-1251 bytes. Where the system keeps
// window texts as Unicode (NT and later) they are handed to the W calls as the Unicode of those
// bytes, so that they read right whatever the system's code page; on the Windows 95/98/Me family,
// whose W calls are mostly stubs, they go to the A calls as they are. Paths and what the user
// types are the system's ANSI text (its code page), as the file and registry calls take them.
// Header-only: the test robot applies the same rule when it predicts what the installer takes.
#pragma once

#include <windows.h>

#include <string>

#include "platform/cp1251.h"
#include "platform/utf8.h"

namespace kv {

// Decided once, at the first call, by whether a W call works: the 95/98/Me family's W calls fail
// with ERROR_CALL_NOT_IMPLEMENTED. (The version does not tell: NT run in a 95/98 compatibility
// mode reports 95/98, and its A calls would show the texts through the wrong code page.) With
// KV_SETUP_ANSI_TEXTS=1 in the environment the A calls are taken anyway, so that their road can be
// tried on NT.
inline bool WideTexts() {
  static const bool wide = [] {
    char force[2] = {};
    if (GetEnvironmentVariableA("KV_SETUP_ANSI_TEXTS", force, sizeof force) == 1 &&
        force[0] == '1') {
      return false;
    }
    wchar_t folder[MAX_PATH];
    SetLastError(NO_ERROR);
    return GetCurrentDirectoryW(MAX_PATH, folder) != 0 ||
           GetLastError() != ERROR_CALL_NOT_IMPLEMENTED;
  }();
  return wide;
}

inline std::wstring Cp1251Text(const std::string& text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  std::wstring out(text.size(), L'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<wchar_t>(Cp1251ToUnicode(static_cast<unsigned char>(text[i])));
  }
  return out;
}

inline std::wstring Utf8Text(const std::string& utf8) {
  const std::u16string wide = Utf8ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}

inline std::string Utf8Of(const std::wstring& text) {
  return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

// From the system's code page.
inline std::wstring SystemText(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), size, out.data(), n);
  return out;
}

// `text` in the system's code page, exactly: false when the code page cannot hold it (it would
// come back with '?' or another character), or when a double-byte character's second byte is a
// backslash, which the path code, reading byte by byte, would take for a separator.
inline bool ToSystemText(const std::wstring& text, std::string* ansi) {
  std::string out;
  if (!text.empty()) {
    const int size = static_cast<int>(text.size());
    // The round trip is the test: a character the code page lacks becomes '?' or a look-alike
    // ("ā" to "a"), and only a text that comes back unchanged is the text given. The call is not
    // asked whether it used a default character: it refuses that question outright where UTF-8 is
    // the system's code page (65001). (The flag that turns the look-alikes off is unknown to
    // systems before Windows 2000.)
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    out.resize(n);
    if (WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), n, nullptr, nullptr) != n ||
        SystemText(out) != text) {
      return false;
    }
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
      if (!IsDBCSLeadByte(static_cast<BYTE>(out[i]))) continue;
      if (out[i + 1] == '\\') return false;
      ++i;
    }
  }
  ansi->swap(out);
  return true;
}

}  // namespace kv
