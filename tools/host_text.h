// Where mkmedia's texts cross the system's edge, converted in one place. Inside, every text
// mkmedia makes is UTF-8: the command line (read as Unicode on Windows), paths shown in messages,
// and member names (Windows-1251 on the medium) when shown. A command-line text is made a path
// (bytes on Linux, UTF-16 on Windows), a path is shown in a message, a file name as the system
// lists it (UTF-8 bytes on Linux, Unicode on Windows) is made the Windows-1251 name the installer
// uses, and on Windows what is printed goes to the console as Unicode, or else in the ANSI code
// page without best-fit letters.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/cp1251.h"
#include "platform/utf8.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kv {

// A text as the system's calls take it: bytes on Linux, UTF-16 on Windows.
using HostString = std::filesystem::path::string_type;

#ifdef _WIN32
inline std::wstring WideFrom(UINT code_page, const std::string& text) {
  if (text.empty()) return {};
  std::wstring wide(text.size(), L'\0');
  const int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()),
                                    wide.data(), static_cast<int>(wide.size()));
  wide.resize(n > 0 ? n : 0);
  return wide;
}

// `wide` in `code_page`; a character the code page lacks becomes "?", never a look-alike letter.
inline std::string WideTo(UINT code_page, const std::wstring& wide) {
  if (wide.empty()) return {};
  // UTF-8 (also as the ANSI code page) takes no best-fit flag, and has no best fit to avoid.
  const bool utf8 = code_page == CP_UTF8 || (code_page == CP_ACP && GetACP() == CP_UTF8);
  const int size = static_cast<int>(wide.size());
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int n = WideCharToMultiByte(code_page, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(n > 0 ? n : 0, '\0');
  WideCharToMultiByte(code_page, flags, wide.data(), size, text.data(), n, nullptr, nullptr);
  return text;
}

// The program's arguments as typed, in UTF-8, without the program's name: never through the
// ANSI code page, which would turn a letter it lacks into a look-alike ("é" into "e").
inline std::vector<std::string> CommandLineArguments() {
  int count = 0;
  wchar_t** const argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; argv && i < count; ++i) args.push_back(WideTo(CP_UTF8, argv[i]));
  if (argv) LocalFree(argv);
  return args;
}

// Prints a UTF-8 text: on a console as Unicode, else (a pipe, a file) in the ANSI code page.
inline void PrintText(std::FILE* stream, const std::string& text) {
  const std::wstring wide = WideFrom(CP_UTF8, text);
  HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0, written = 0;
  if (!wide.empty() && GetConsoleMode(handle, &mode) &&
      WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
    return;
  }
  std::fputs(WideTo(CP_ACP, wide).c_str(), stream);
  std::fflush(stream);
}
#else
inline void PrintText(std::FILE* stream, const std::string& text) { std::fputs(text.c_str(), stream); }
#endif

// A command-line text (a folder or file the user named) as a path.
inline std::filesystem::path HostPath(const std::string& text) {
#ifdef _WIN32
  return std::filesystem::path(WideFrom(CP_UTF8, text));
#else
  return std::filesystem::path(text);
#endif
}

// A path for a message (UTF-8).
inline std::string HostText(const std::filesystem::path& path) {
#ifdef _WIN32
  return WideTo(CP_UTF8, path.native());
#else
  return path.native();
#endif
}

// The Windows-1251 byte of a Unicode character; none when the code page lacks it.
inline std::optional<char> Cp1251FromUnicode(char32_t c) {
  for (int byte = 0; byte < 256; ++byte) {
    if (byte != 0x98 && Cp1251ToUnicode(static_cast<unsigned char>(byte)) == c) {
      return static_cast<char>(byte);
    }
  }
  return std::nullopt;
}

// A file name as the system lists it, in Windows-1251. On failure: nullopt, and `*why` says which
// character has no Windows-1251 form or that the name is not UTF-8.
inline std::optional<std::string> Cp1251FileName(const std::filesystem::path& name,
                                                 std::string* why) {
#ifdef _WIN32
  const std::u16string text(name.native().begin(), name.native().end());
#else
  // Overlong forms, surrogates, values past U+10FFFF and stray bytes do not survive the round trip.
  const std::u16string text = Utf8ToUtf16(name.native());
  if (Utf16ToUtf8(text) != name.native()) {
    if (why) *why = "is not UTF-8, the file names' encoding here";
    return std::nullopt;
  }
#endif
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = text[i++];
    if (c >= 0xD800 && c < 0xDC00 && i < text.size() && text[i] >= 0xDC00 && text[i] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
    }
    const std::optional<char> byte = Cp1251FromUnicode(c);
    if (!byte) {
      if (why) {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
        *why = std::string("has no Windows-1251 form (the character ") + code + ")";
      }
      return std::nullopt;
    }
    out += *byte;
  }
  return out;
}

}  // namespace kv
