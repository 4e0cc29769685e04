// Helper programs (osslsigncode, openssl) found in PATH and started by their exact path, without
// a shell, in a scratch folder of this process's own (their current folder, where they also write
// their files).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/host_text.h"

namespace kv {

// The full path of `program` (with ".exe" on Windows) in the first folder of PATH that holds it
// as a regular file (executable, on Linux); empty when none does. Empty and relative PATH entries
// are skipped: they name the current folder, which may be the medium being checked.
std::filesystem::path FindProgram(const std::string& program);
inline bool ProgramAvailable(const std::string& program) { return !FindProgram(program).empty(); }

// A folder that this process made, new, for its intermediate files, readable by this user
// alone (mode 0700; on Windows a new folder in the user's own temporary folder), removed with
// everything in it. Nothing in it is followed: the tools write their files there, and they are
// read back only as regular files that are not links. Throws MediaError when none can be made.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  HostString operator/(const char* name) const { return (path_ / name).native(); }
  const std::filesystem::path& path() const { return path_; }
  // A new file of this process's own, for a tool to read.
  void Write(const char* name, const std::string& content) const;
  // The file a tool wrote here, when it is a regular file and no link; empty otherwise.
  std::string Read(const char* name) const;

 private:
  std::filesystem::path path_;
};

struct Run {
  int status = -1;  // the exit code; -1 when the program could not be started
  std::string output;  // standard output and standard error together
};

// Runs the helper program `tool` found in PATH (FindProgram) with `args` in `scratch`, without a
// console or terminal to ask anything on (a passphrase prompt then fails at once rather than
// waiting for someone who is not there), and collects what it writes (in UTF-8). Not found, it
// did not start (status -1).
Run RunTool(const char* tool, std::vector<HostString> args, const ScratchFolder& scratch);

// A file the user named, as the helpers (started in the scratch folder) find it.
HostString Absolute(const std::filesystem::path& path);

}  // namespace kv
