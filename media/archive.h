// The temporary archive: members stored back to back, each
//   name "$" decimal-length "$" zlib-stream
// with no header, directory or checksum beyond zlib's own.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/platform.h"

namespace kv {

// Size of each of the unpacker's two buffers: the largest payload and the largest content.
constexpr std::int32_t kMemberBufferSize = 10485761;

class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The length field: leading blanks, one optional sign, then digits up to the first non-digit;
// 0 without digits. Values beyond the 32-bit range saturate (and are refused by the reader).
std::int64_t ParseMemberLength(const std::string& field);

// True for a name that the unpacker may create in the target folder: not empty, no drive or
// colon, no leading "\" or "/", no "." or ".." component, no device name (CON, PRN, AUX, NUL,
// COM1-9, LPT1-9, with or without an extension, in any case).
bool IsSafeMemberName(const std::string& name);

// Unpacks every member of the archive at `archive_path` into files named after the members,
// relative to the current directory. `advance` is called once at the start of each member.
// Throws ArchiveError at the first failure; the archive and the member file are closed on every
// path, and a member whose payload fails is left as an empty file.
void UnpackMembers(Platform& p, const std::function<void()>& advance,
                   const std::string& archive_path);

// One member as the media builder writes it (compress2 at the default level).
std::string PackMember(const std::string& name, const std::string& content);

}  // namespace kv
