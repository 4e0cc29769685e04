// The temporary archive: members stored back to back, each
//   name "$" decimal-length "$" zlib-stream
// with no header, directory or checksum beyond zlib's own.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "app/product_facts.h"
#include "media/file_names.h"
#include "platform/platform.h"

namespace kv {

class ArchiveError : public std::runtime_error {
 public:
  explicit ArchiveError(const std::string& what, std::int64_t offset = -1)
      : std::runtime_error(what), offset_(offset) {}
  // The archive byte offset of the field where the fault was found; -1 when there is none.
  std::int64_t offset() const { return offset_; }

 private:
  std::int64_t offset_;
};

// The length field: any number of leading blanks, one optional sign, then digits up to the first
// non-digit; 0 without digits. Values beyond the 32-bit range saturate (and are refused by the
// reader).
std::int64_t ParseMemberLength(const std::string& field);

// The archive's bytes, read in order from the start.
class ArchiveSource {
 public:
  // Reads up to `size` bytes into `buffer`; fewer only at the end. False on a read error.
  virtual bool Read(void* buffer, std::uint32_t size, std::uint32_t* done) = 0;

 protected:
  ~ArchiveSource() = default;
};

// What a walk of the archive does with each member; for every member the calls come in this
// order, and a fault found by the reader ends the walk before the next call.
class MemberVisitor {
 public:
  // Before the member's name is read.
  virtual void BeginMember() {}
  // The member's name, read and found safe; `offset` is where the member starts.
  virtual void Name(const std::string& name, std::int64_t offset) = 0;
  // The member's content, inflated into the reader's buffer (valid until the next call);
  // `packed` is the payload's length.
  virtual void Content(const unsigned char* data, std::uint32_t size, std::int64_t packed) = 0;

 protected:
  ~MemberVisitor() = default;
};

// Walks an archive of `size` bytes: each member's name (by MemberNameFault) and length are read
// and checked, its payload read and inflated within kMemberBufferSize, until a member ends at
// `size` or beyond.
// Throws ArchiveError, with the offset of the faulty field, at the first fault. Uses the
// process's two working buffers: one walk at a time.
void ReadMembers(ArchiveSource& source, std::int64_t size, MemberVisitor& visitor);

// Unpacks every member of the archive at `archive_path` into files named after the members,
// relative to the current directory. `advance` is called once at the start of each member.
// Throws ArchiveError at the first failure; the archive and the member file are closed on every
// path, and a member whose payload fails is left as an empty file. Returns the bytes of the files
// written: each file counted once, at the size its last member gave it.
std::uint64_t UnpackMembers(Platform& p, const std::function<void()>& advance,
                            const std::string& archive_path);

// One member as the media builder writes it (compress2 at the default level).
std::string PackMember(const std::string& name, const std::string& content);

}  // namespace kv
