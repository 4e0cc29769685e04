// Rich text read and written: the licence's text for a viewer that shows plain text only, and the
// program's plain text for a viewer that takes rich text only. Plain C++, so that both builds
// compile it and the unit tests check it.
#pragma once

#include <string>

namespace kv {

// The text of a rich-text document, for a viewer that shows plain text only: paragraphs and
// line breaks as CR LF, escaped characters as their bytes, and the font table, colour table,
// style sheet, pictures and other groups that hold no text left out.
std::string RtfToPlainText(const std::string& rtf);

// The program's plain Windows-1251 text as rich text that names its code page and a Cyrillic
// font: a viewer that takes plain text in the system's code page would show it garbled elsewhere.
// Line ends (CR LF, CR or LF) become paragraphs, tabs \tab, and bytes from 0x80 on hex escapes.
std::string Cp1251AsRichText(const std::string& text);

}  // namespace kv
