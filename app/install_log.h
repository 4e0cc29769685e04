// The log of one run (/LOG=file): one UTF-8 line per event, each headed by the local time.
#pragma once

#include <string>

#include "platform/cp1251.h"
#include "platform/platform.h"

namespace kv {

class InstallLog {
 public:
  explicit InstallLog(Platform& platform) : p_(platform) {}
  ~InstallLog();
  InstallLog(const InstallLog&) = delete;
  InstallLog& operator=(const InstallLog&) = delete;

  // Creates the file, replacing one of that name. False when it cannot be created: the log then
  // stays off and the run goes on without it.
  bool Open(const std::string& path);
  bool on() const { return file_ != kInvalidFile; }
  // Writes "time  text" as one line (line breaks inside `text` become blanks). A write that
  // fails turns the log off; it never throws.
  void Event(const std::string& text);

 private:
  void Shut();

  Platform& p_;
  FileHandle file_ = kInvalidFile;
};

}  // namespace kv
