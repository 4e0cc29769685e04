#include "platform/rich_text.h"

namespace kv {

std::string RtfToPlainText(const std::string& rtf) {
  static const char* const kNoText[] = {
      "fonttbl", "colortbl", "stylesheet", "info",   "pict",       "object",   "header",
      "headerl", "headerr",  "footer",     "footerl", "footerr",   "listtable", "listoverridetable",
      "rsidtbl", "generator", "xmlnstbl",  "themedata", "colorschememapping", "latentstyles",
      "datastore", "fldinst", "filetbl",   "revtbl"};
  std::string text;
  int depth = 0;
  int skip_from = -1;      // the depth of the group being left out, or -1
  bool group_start = false;  // the last thing read opened a group
  const auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                          : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  for (std::size_t i = 0; i < rtf.size();) {
    const char c = rtf[i];
    const bool opened = group_start;
    group_start = false;
    if (c == '{') {
      ++depth;
      group_start = true;
      ++i;
    } else if (c == '}') {
      if (depth == skip_from) skip_from = -1;
      if (depth > 0) --depth;
      ++i;
    } else if (c == '\\' && i + 1 < rtf.size()) {
      const char next = rtf[i + 1];
      const bool letter = (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
      if (!letter) {
        i += 2;
        if (next == '*' && opened && skip_from < 0) skip_from = depth;
        if (skip_from >= 0) continue;
        if (next == '\'' && i + 1 < rtf.size() && hex(rtf[i]) >= 0 && hex(rtf[i + 1]) >= 0) {
          text += static_cast<char>(hex(rtf[i]) * 16 + hex(rtf[i + 1]));
          i += 2;
        } else if (next == '\\' || next == '{' || next == '}') {
          text += next;
        } else if (next == '~') {
          text += '\xA0';
        } else if (next == '_') {
          text += '-';
        } else if (next == '\n' || next == '\r') {
          text += "\r\n";  // an escaped line end is a paragraph
        }
        continue;
      }
      std::size_t end = i + 1;
      while (end < rtf.size() && ((rtf[end] >= 'a' && rtf[end] <= 'z') ||
                                  (rtf[end] >= 'A' && rtf[end] <= 'Z'))) {
        ++end;
      }
      const std::string word = rtf.substr(i + 1, end - i - 1);
      if (end < rtf.size() && (rtf[end] == '-' || (rtf[end] >= '0' && rtf[end] <= '9'))) ++end;
      while (end < rtf.size() && rtf[end] >= '0' && rtf[end] <= '9') ++end;
      if (end < rtf.size() && rtf[end] == ' ') ++end;  // the delimiter belongs to the word
      i = end;
      if (opened && skip_from < 0) {
        for (const char* name : kNoText) {
          if (word == name) skip_from = depth;
        }
      }
      if (skip_from >= 0) continue;
      if (word == "par" || word == "line" || word == "sect" || word == "page") {
        text += "\r\n";
      } else if (word == "tab") {
        text += '\t';
      }
      // \uN is followed by its ANSI stand-in, which is kept; other words are formatting.
    } else {
      ++i;
      if (skip_from < 0 && c != '\r' && c != '\n') text += c;
    }
  }
  return text;
}

std::string Cp1251AsRichText(const std::string& text) {
  std::string rtf = "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}"
                    "\\f0\\fs18 ";
  static const char kHex[] = "0123456789abcdef";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\r' || c == '\n') {
      rtf += "\\par\r\n";
    } else if (c == '\t') {
      rtf += "\\tab ";
    } else if (c == '\\' || c == '{' || c == '}') {
      rtf += '\\';
      rtf += static_cast<char>(c);
    } else if (c >= 0x80) {
      rtf += "\\'";
      rtf += kHex[c >> 4];
      rtf += kHex[c & 15];
    } else {
      rtf += static_cast<char>(c);
    }
  }
  return rtf + "}";
}

}  // namespace kv
