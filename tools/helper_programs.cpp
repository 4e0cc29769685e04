#include "tools/helper_programs.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "tools/media_error.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kv {

namespace fs = std::filesystem;

namespace {

// Starts `program` (a full path) with `args` (its own name first) in the folder `cwd`, without a
// shell and without a console or terminal to ask anything on (a passphrase prompt then fails at
// once rather than waiting for someone who is not there), and collects what it writes (in UTF-8).
// The folder is this process's scratch folder, never the caller's current one: Windows looks
// for a program's DLLs in its current folder, which may be the medium being checked.
#ifdef _WIN32
// One argument as the C runtime splits a command line: in quotes, with the backslashes before a
// quote doubled.
std::wstring Quote(const std::wstring& arg) {
  std::wstring q = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    q.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    q += c;
  }
  q.append(backslashes * 2, L'\\');
  return q + L"\"";
}

Run RunProgram(const fs::path& program, const std::vector<HostString>& args, const fs::path& cwd) {
  Run run;
  std::wstring command;
  for (const std::wstring& a : args) command += (command.empty() ? L"" : L" ") + Quote(a);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return run;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nothing;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                                      DETACHED_PROCESS, nullptr, cwd.c_str(), &startup, &process);
  CloseHandle(write_end);
  if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
  if (started) {
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(read_end, chunk, sizeof chunk, &n, nullptr) && n > 0) run.output.append(chunk, n);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) run.status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(read_end);
  run.output = WideTo(CP_UTF8, WideFrom(CP_ACP, run.output));
  return run;
}
#else
Run RunProgram(const fs::path& program, const std::vector<HostString>& args, const fs::path& cwd) {
  Run run;
  int fds[2];
  if (pipe(fds) != 0) return run;
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return run;
  }
  if (pid == 0) {
    setsid();  // no controlling terminal
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing >= 0) dup2(nothing, 0);
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    close(fds[1]);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  char chunk[4096];
  for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) != 0;) {
    if (n > 0) run.output.append(chunk, static_cast<std::size_t>(n));
    else if (errno != EINTR) break;
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (run.status == 127) run.status = -1;
  return run;
}
#endif

}  // namespace

fs::path FindProgram(const std::string& program) {
#ifdef _WIN32
  // As Unicode: the ANSI form of PATH may name other folders (or none) for a letter it lacks.
  std::wstring path(GetEnvironmentVariableW(L"PATH", nullptr, 0), L'\0');
  if (path.empty()) return {};
  path.resize(GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
  const wchar_t separator = L';';
  const std::string suffix = ".exe";
#else
  const char* const path = std::getenv("PATH");
  if (!path) return {};
  const char separator = ':';
  const std::string suffix;
#endif
  for (HostString rest = path;;) {
    const std::size_t end = rest.find(separator);
    const fs::path folder = rest.substr(0, end);
    if (folder.is_absolute()) {
      std::error_code e;
      const fs::path candidate = folder / HostPath(program + suffix);
      if (fs::is_regular_file(candidate, e)) {
#ifdef _WIN32
        return candidate;
#else
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
#endif
      }
    }
    if (end == std::string::npos) return {};
    rest = rest.substr(end + 1);
  }
}

ScratchFolder::ScratchFolder() {
  const fs::path base = fs::temp_directory_path();
#ifdef _WIN32
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate = base / ("mkmedia-" + std::to_string(random()));
    if (CreateDirectoryW(candidate.c_str(), nullptr)) path_ = candidate;
    else if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
#else
  std::string name = (base / "mkmedia-XXXXXX").string();
  if (mkdtemp(name.data())) path_ = name;
#endif
  if (path_.empty()) {
    throw MediaError("cannot make a scratch folder in " + HostText(base));
  }
}

ScratchFolder::~ScratchFolder() {
  std::error_code e;
  fs::remove_all(path_, e);
}

void ScratchFolder::Write(const char* name, const std::string& content) const {
  std::ofstream out(path_ / name, std::ios::binary);
  if (!out.write(content.data(), static_cast<std::streamsize>(content.size())) || !out.flush()) {
    throw MediaError("cannot write into the scratch folder " + HostText(path_));
  }
}

std::string ScratchFolder::Read(const char* name) const {
  const fs::path file = path_ / name;
  std::error_code e;
  if (!fs::is_regular_file(fs::symlink_status(file, e))) return {};
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Run RunTool(const char* tool, std::vector<HostString> args, const ScratchFolder& scratch) {
  const fs::path path = FindProgram(tool);
  if (path.empty()) return {};
  args.insert(args.begin(), HostPath(tool).native());
  return RunProgram(path, args, scratch.path());
}

HostString Absolute(const fs::path& path) {
  std::error_code e;
  const fs::path absolute = fs::absolute(path, e);
  return (e ? path : absolute).native();
}

}  // namespace kv
