// The log of one run (/LOG=file): one UTF-8 line per event, each headed by the local time.
#pragma once

#include <string>

#include "platform/cp1251.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace kv {

// Where a text in a log event comes from, and so how it reaches UTF-8: the program's own texts
// are Windows-1251 (converted by the program's table, whatever the system), paths and names the
// system gave are in its ANSI code page (converted by the system), and what came as Unicode (the
// command line) is UTF-8 already.
enum class LogText { kProgram, kSystem, kUnicode };

class InstallLog {
 public:
  explicit InstallLog(Platform& platform) : p_(platform), file_(platform) {}
  InstallLog(const InstallLog&) = delete;
  InstallLog& operator=(const InstallLog&) = delete;

  enum class Opened { kYes, kNo, kRefused };
  // Creates the file `path` (UTF-8; a relative name is taken from the current folder), replacing
  // one of that name. kNo when it cannot be created: the log then stays off and the run goes on
  // without it. kRefused, with nothing touched, for a name the system would not keep as it stands
  // (a trailing dot or blank, a colon naming a stream) and for the name of a file of the medium
  // or of the product: a log must never replace the distribution or an installed program.
  Opened Open(const std::string& path);
  bool on() const { return static_cast<bool>(file_); }
  // Writes "time  text" as one line (line breaks inside become blanks), `text` the program's own
  // and `tail` after it of the kind `road` says. A write that fails turns the log off; it never
  // throws.
  void Event(const std::string& text, LogText road = LogText::kProgram,
             const std::string& tail = std::string());

 private:
  void Shut();

  Platform& p_;
  UniqueFile file_;
};

}  // namespace kv
