// The folder page: the folder browser, and the two checks that Next runs before installing.
#include <algorithm>
#include <cstdint>

#include "app/texts.h"
#include "target/folders.h"
#include "wizard/install1.h"

namespace kv {

bool FolderExists(Platform& p, const std::string& path) {
  const std::uint32_t attributes = p.Attributes(path);
  return attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0;
}

bool IsFullPath(const std::string& path) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (path.size() >= 3 && letter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
  return path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\' &&
         path[2] != '.' && path[2] != '?';
}

namespace {

bool Separator(char c) { return c == '\\' || c == '/'; }

bool Unc(const std::string& path) {
  return path.size() >= 2 && Separator(path[0]) && Separator(path[1]);
}

// Where the names of `path` begin below its root, and how many of them are the root's own (the
// server and the share of a UNC path).
std::size_t NamesStart(const std::string& path, int* root_names) {
  *root_names = Unc(path) ? 2 : 0;
  return Unc(path) ? 2 : (path.size() >= 2 && path[1] == ':' ? 2 : 0);
}

}  // namespace

std::string RootOf(const std::string& path) {
  int root_names = 0;
  std::size_t at = NamesStart(path, &root_names);
  for (int seen = 0; at < path.size() && seen < root_names;) {
    const std::size_t end = std::min(path.find_first_of("\\/", at), path.size());
    if (end > at) ++seen;
    at = end + 1;
  }
  std::string root = path.substr(0, std::min(at, path.size()));
  if (root.empty() || !Separator(root.back())) root += '\\';
  return root;
}

bool BelowRoot(const std::string& path) {
  int root_names = 0, names = 0;
  for (std::size_t at = NamesStart(path, &root_names); at < path.size();) {
    const std::size_t end = std::min(path.find_first_of("\\/", at), path.size());
    if (end > at) ++names;
    at = end + 1;
  }
  return names > root_names;
}

bool NamesItself(const std::string& path) {
  int root_names = 0;
  std::size_t at = NamesStart(path, &root_names);
  while (at <= path.size()) {
    std::size_t end = path.find_first_of("\\/", at);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(at, end - at);
    if (!name.empty() && (name.back() == ' ' || name.back() == '.')) return false;
    if (name.find(':') != std::string::npos) return false;
    at = end + 1;
  }
  return true;
}

bool CreateFolderPath(Platform& p, std::string path) {
  // The length bound also bounds the recursion: one level per backslash.
  if (path.empty() || path.size() >= kMaxPath) return false;
  if (path.back() == '\\') path.pop_back();
  const std::size_t cut = path.find_last_of("\\:");
  const std::string parent = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  if (path.size() < 3 || FolderExists(p, path) || path == parent) return true;
  if (!CreateFolderPath(p, parent)) return false;
  return p.MakeDir(path);
}

bool TForm1::CheckTargetFolder(const std::string& path) {
  // Only a full path (every later step, and the rollback, work in other current directories)
  // below the root of its drive or share, whose names the system keeps as they stand, with room
  // below kMaxPath for every file the installation writes there: the folder that passes is the
  // folder installed into, and nothing is made for a folder that could not take the files.
  bool formed = false;
  try {
    const std::size_t folder_length =
        path.size() + (path.empty() || path.back() != '\\' ? 1 : 0);
    formed = IsFullPath(path) && NamesItself(path) && BelowRoot(path) &&
             folder_length + LongestTargetName() < kMaxPath && CreateFolderPath(p_, path);
  } catch (...) {
    formed = false;  // any error while forming the path refuses it
  }
  if (formed) return true;
  ShowError(text::kMsgBadPath);
  try {
    SetText(Ctl::Edit1, ctx_.PreviousDir);
    Focus(Ctl::Edit1);
  } catch (...) {
  }
  return false;
}

bool TForm1::CheckFreeSpace() {
  const std::string root = RootOf(ctx_.TargetDir);
  bool refused = true;  // a drive that cannot be examined is not installed onto
  try {
    std::uint32_t sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
    if (!p_.DiskFreeSpace(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                          &clusters)) {
      return true;  // no medium, no such drive: accepted without a word
    }
    const std::uint64_t free_bytes = std::uint64_t{free_clusters} * sectors_per_cluster *
                                     bytes_per_sector;
    const std::uint64_t threshold = ctx_.FullEdition ? kFullEditionFreeSpace : kDemoEditionFreeSpace;
    const char first = root.empty() ? '\0' : root[0];
    refused = free_bytes < threshold || first == 'A' || first == 'a' ||
              p_.DriveType(root) == kDriveCdrom || first == 'B' || first == 'b';
  } catch (...) {
  }
  if (!refused) return true;
  ShowError(text::kMsgNoSpaceHead + root + text::kMsgNoSpaceTail);
  try {
    p_.RemoveDir(ctx_.TargetDir);  // the deepest level only, and only when empty
  } catch (...) {
  }
  return false;
}

void TForm1::Edit1ButtonClick() {
  const std::string current = Edit1Text();
  const std::string start = FolderExists(p_, current) ? current : "\\";
  std::string name;
  bool action = p_.BrowseForFolder(text::kBrowseTitle, start, &name);
  if (!action) name = start;
  Focus(Ctl::Edit1);
  if (action && name.empty()) {
    // A folder whose name the system's code page cannot hold: said, and the editor keeps its text.
    ShowError(text::kMsgBadPath);
    return;
  }
  Edit1AfterDialog(name, action);
  if (action) SetText(Ctl::Edit1, name);
}

void TForm1::Edit1AfterDialog(std::string& name, bool& /*action*/) {
  if (name.empty()) {
    name = ctx_.PreviousDir;
  } else if (name.back() == '\\') {
    name += text::kProductFolderName;
  } else {
    name += '\\';
    name += text::kProductFolderName;
  }
}

}  // namespace kv
