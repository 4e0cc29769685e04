// Folder helpers shared by the steps.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

#include "app/product_facts.h"
#include "app/texts.h"
#include "platform/platform.h"

namespace kv {

// True when `path` names an existing folder (GetFileAttributesA with the directory bit).
bool FolderExists(Platform& p, const std::string& path);

// The longest path the file system functions take, with its NUL.
constexpr std::size_t kMaxPath = 260;

// True for a text that names the same folder whatever the current directory is: a drive letter,
// a colon and a backslash, or a UNC path (two backslashes, then a server name). The device
// namespaces ("\\.\", "\\?\") do not count.
bool IsFullPath(const std::string& path);

// The root of a full path's drive (C:\) or network share (\\server\share\), with its
// trailing backslash.
std::string RootOf(const std::string& path);

// True when a full path names a folder below its root: a root holds the user's own files among
// which the installation would clear and roll back the product's file names.
bool BelowRoot(const std::string& path);

// True when the system keeps every name of `path` as it stands, so that the folder it makes is
// the folder named: no name ends in a blank or a dot (the system drops them, also from "." and
// ".."), and no colon follows the drive's. Backslashes and slashes both separate names.
bool NamesItself(const std::string& path);

// Makes every missing level of a folder path exist. Fails for an empty text, a text of kMaxPath
// characters or more, and when a level cannot be created; levels created before the failing one
// stay. A text shorter than three characters (after one trailing backslash is dropped) counts as
// existing.
bool CreateFolderPath(Platform& p, std::string path);

// The longest name the installation writes into the target folder: the temporary archive or a
// product file. A target folder must leave room for it below kMaxPath.
constexpr std::size_t LongestTargetName() {
  std::size_t longest = std::char_traits<char>::length(text::kTempArchive);
  for (const char* name : kProductFileSet) {
    longest = std::max(longest, std::char_traits<char>::length(name));
  }
  return longest;
}

}  // namespace kv
