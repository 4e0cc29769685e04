// The installer's command line: setup.exe [/S] [/LOG=file] [/D=folder].
#pragma once

#include <string>

namespace kv {

struct CommandLine {
  bool silent = false;      // /S: no window and no question; the licence counts as accepted
  std::string log_file;     // /LOG=file; empty: no log
  bool has_folder = false;  // /D=folder: the target folder, as if typed into the folder editor
  std::string folder;
};

// Parses the arguments (the command line after the program's name, as UTF-8: only ASCII blanks,
// quotes and switch letters separate or name anything). Switches are case-blind and
// separated by blanks; a switch in double quotes ("/LOG=a b.log") or with its value in them
// (/LOG="a b.log") may hold blanks. /D= comes last and runs to the end of the line, blanks
// included (trailing blanks dropped), unless it is quoted. Returns false for an unknown switch or
// stray word, an empty value, a repeated switch, an unclosed quote, or anything after /D= that
// starts a switch; `out->silent` then tells whether a word of the line begins with /S (/S itself,
// or glued to more: "/S/D=..."), so that the caller knows not to show the usage.
bool ParseCommandLine(const std::string& arguments, CommandLine* out);

}  // namespace kv
