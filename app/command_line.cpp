#include "app/command_line.h"

namespace kv {

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

// `text` begins with `prefix`, ASCII letters compared without case.
bool StartsWithSwitch(const std::string& text, std::size_t at, const char* prefix) {
  for (std::size_t i = 0; prefix[i]; ++i, ++at) {
    if (at >= text.size()) return false;
    char c = text[at];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

// The rest of the line from `at` as the value of /D=: either quoted as a whole (`quoted`, the
// quote before "/D=" already passed), quoted after the '=', or bare to the end of the line.
bool FolderValue(const std::string& line, std::size_t at, bool quoted, std::string* folder) {
  std::size_t end = line.size();
  while (end > at && Blank(line[end - 1])) --end;
  std::string value = line.substr(at, end - at);
  if (!quoted && !value.empty() && value[0] == '"') {
    value.erase(0, 1);
    quoted = true;
  }
  if (quoted) {
    const std::size_t close = value.find('"');
    if (close == std::string::npos || close + 1 != value.size()) return false;  // more after it
    value.pop_back();
  } else {
    // A folder name holds no '/', so a blank and a slash start a switch that came after /D=.
    for (std::size_t i = 1; i < value.size(); ++i) {
      if (value[i] == '/' && Blank(value[i - 1])) return false;
    }
  }
  *folder = value;
  return !value.empty();
}

// Whether any blank-separated word of the line begins with /S, quoted or not: /S itself, or
// switches glued to it ("/S/D=C:\x"). A faulty line run from a script meant to be unattended must
// not stop on a box that nobody will answer.
bool MentionsSilent(const std::string& line) {
  for (std::size_t at = 0; at < line.size();) {
    while (at < line.size() && Blank(line[at])) ++at;
    std::size_t end = at;
    while (end < line.size() && !Blank(line[end])) ++end;
    if (StartsWithSwitch(line, at + (at < end && line[at] == '"' ? 1 : 0), "/S")) return true;
    at = end;
  }
  return false;
}

bool Parse(const std::string& line, CommandLine* out) {
  std::size_t at = 0;
  for (;;) {
    while (at < line.size() && Blank(line[at])) ++at;
    if (at >= line.size()) return true;
    const bool quoted = line[at] == '"';
    if (StartsWithSwitch(line, at + (quoted ? 1 : 0), "/D=")) {
      out->has_folder = true;
      return FolderValue(line, at + (quoted ? 4 : 3), quoted, &out->folder);
    }
    // One word: up to a blank outside double quotes, the quotes dropped.
    std::string word;
    bool in_quotes = false;
    for (; at < line.size() && (in_quotes || !Blank(line[at])); ++at) {
      if (line[at] == '"') {
        in_quotes = !in_quotes;
      } else {
        word += line[at];
      }
    }
    if (in_quotes) return false;
    if (StartsWithSwitch(word, 0, "/S") && word.size() == 2 && !out->silent) {
      out->silent = true;
    } else if (StartsWithSwitch(word, 0, "/LOG=") && word.size() > 5 && out->log_file.empty()) {
      out->log_file = word.substr(5);
    } else {
      return false;
    }
  }
}

}  // namespace

bool ParseCommandLine(const std::string& line, CommandLine* out) {
  *out = CommandLine();
  if (Parse(line, out)) return true;
  out->silent = MentionsSilent(line);
  return false;
}

}  // namespace kv
