#include "media/archive.h"

#include <zlib.h>

#include <limits>
#include <map>
#include <memory>

#include "platform/unique_handle.h"

namespace kv {

namespace {

// The unpacker's working storage: set up once for the process, on the first unpack, and kept
// (not in the program file: zero-filled sections are not always left out of it).
// Either both buffers exist or neither: a failed allocation leaves nothing behind and is tried
// again by the next unpack.
struct Buffers {
  std::unique_ptr<unsigned char[]> packed_owner{new unsigned char[kMemberBufferSize]};
  std::unique_ptr<unsigned char[]> unpacked_owner{new unsigned char[kMemberBufferSize]};
  unsigned char* const packed = packed_owner.get();
  unsigned char* const unpacked = unpacked_owner.get();
};
Buffers& WorkingStorage() {
  static Buffers buffers;
  return buffers;
}

// A member name longer than any Windows path cannot name a file; reading stops there.
constexpr std::size_t kMaxNameLength = 1024;

// The length field's conversion, fed one byte at a time: only the value is kept, so a field of
// any length reads in constant memory.
class LengthConversion {
 public:
  void Feed(char c) {
    switch (stage_) {
      case Stage::kBlanks:
        if (c == ' ') return;
        stage_ = Stage::kSign;
        [[fallthrough]];
      case Stage::kSign:
        stage_ = Stage::kDigits;
        if (c == '+' || c == '-') {
          negative_ = c == '-';
          return;
        }
        [[fallthrough]];
      case Stage::kDigits:
        if (c < '0' || c > '9') {
          stage_ = Stage::kDone;
          return;
        }
        value_ = value_ * 10 + (c - '0');
        if (value_ > kLimit) value_ = kLimit + 1;  // saturate: out of range either way
        return;
      case Stage::kDone:
        return;
    }
  }
  std::int64_t value() const { return negative_ ? -value_ : value_; }

 private:
  static constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
  enum class Stage { kBlanks, kSign, kDigits, kDone };
  Stage stage_ = Stage::kBlanks;
  bool negative_ = false;
  std::int64_t value_ = 0;
};

// Reads the archive byte by byte and counts its position.
class FieldReader {
 public:
  explicit FieldReader(ArchiveSource& source) : source_(source) {}
  std::int64_t position() const { return position_; }
  void Advance(std::int64_t n) { position_ += n; }
  // The next byte; false at the end of the archive.
  bool Next(char* c) {
    std::uint32_t done = 0;
    if (!source_.Read(c, 1, &done)) throw ArchiveError("cannot read the archive", position_);
    if (done != 1) return false;
    ++position_;
    return true;
  }

 private:
  ArchiveSource& source_;
  std::int64_t position_ = 0;
};

// Reads a member name up to and including "$"; the "$" is dropped.
std::string ReadName(FieldReader& in) {
  const std::int64_t start = in.position();
  std::string name;
  for (char c = 0;;) {
    if (!in.Next(&c)) {
      throw ArchiveError(in.position() == 0 ? "the archive is empty"
                                            : "the archive ends in a member name: the " +
                                                  std::to_string(in.position() - start) +
                                                  " bytes after the last whole member form none",
                         start);
    }
    if (c == '$') return name;
    if (name.size() >= kMaxNameLength) {
      throw ArchiveError("a member name longer than " + std::to_string(kMaxNameLength) + " bytes",
                         start);
    }
    name += c;
  }
}

// Reads a length field up to and including "$" and converts it, keeping nothing of its text.
std::int64_t ReadLength(FieldReader& in, const std::string& name) {
  const std::int64_t start = in.position();
  LengthConversion length;
  for (char c = 0;;) {
    if (!in.Next(&c)) throw ArchiveError("the archive ends in the length of " + name, start);
    if (c == '$') return length.value();
    length.Feed(c);
  }
}

// The installer's unpacker: each member into a file of its name, relative to the current folder.
class UnpackToFiles final : public MemberVisitor {
 public:
  UnpackToFiles(Platform& p, const std::function<void()>& advance)
      : p_(p), advance_(advance), member_(p) {}
  void BeginMember() override { advance_(); }
  void Name(const std::string& name, std::int64_t offset) override {
    name_ = name;
    member_.reset(p_.OpenFile(name, FileOpen::kCreateAlways));
    if (!member_) throw ArchiveError("cannot create " + name, offset);
  }
  void Content(const unsigned char* data, std::uint32_t size, std::int64_t) override {
    std::uint32_t done = 0;
    if (size > 0 && (!p_.Write(member_.get(), data, size, &done) || done != size)) {
      throw ArchiveError("cannot write " + name_);
    }
    if (!member_.reset()) throw ArchiveError("cannot close " + name_);
    sizes_[FileNameIdentity(name_)] = size;
  }
  std::uint64_t InstalledBytes() const {
    std::uint64_t total = 0;
    for (const auto& [file, size] : sizes_) total += size;
    return total;
  }

 private:
  Platform& p_;
  const std::function<void()>& advance_;
  UniqueFile member_;
  std::string name_;
  // The size of each file written, by its identity: a later member of the same file replaces it.
  std::map<std::string, std::uint32_t> sizes_;
};

// The archive file through the platform.
class PlatformSource final : public ArchiveSource {
 public:
  PlatformSource(Platform& p, FileHandle f) : p_(p), f_(f) {}
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* done) override {
    return p_.Read(f_, buffer, size, done);
  }

 private:
  Platform& p_;
  FileHandle f_;
};

}  // namespace

std::int64_t ParseMemberLength(const std::string& field) {
  LengthConversion length;
  for (char c : field) length.Feed(c);
  return length.value();
}

void ReadMembers(ArchiveSource& source, std::int64_t size, MemberVisitor& visitor) {
  unsigned char* const PackedBuffer = WorkingStorage().packed;
  unsigned char* const UnpackedBuffer = WorkingStorage().unpacked;
  FieldReader in(source);
  do {
    visitor.BeginMember();
    const std::int64_t member_start = in.position();
    const std::string name = ReadName(in);
    if (const std::string fault = MemberNameFault(name); !fault.empty()) {
      throw ArchiveError("the member name \"" + name + "\" " + fault, member_start);
    }
    visitor.Name(name, member_start);
    const std::int64_t length_start = in.position();
    const std::int64_t packed = ReadLength(in, name);
    if (packed < 0 || packed > kMemberBufferSize) {
      throw ArchiveError(name + ": payload length " + std::to_string(packed) + " outside 0.." +
                             std::to_string(kMemberBufferSize),
                         length_start);
    }
    const std::int64_t payload_start = in.position();
    std::uint32_t done = 0;
    if (packed > 0) {
      if (!source.Read(PackedBuffer, static_cast<std::uint32_t>(packed), &done)) {
        throw ArchiveError("cannot read the archive", payload_start);
      }
      if (done != packed) {
        throw ArchiveError(name + ": the archive ends " + std::to_string(done) +
                               " bytes into a payload of " + std::to_string(packed),
                           payload_start);
      }
    }
    in.Advance(packed);
    uLongf unpacked = kMemberBufferSize;
    const int inflated =
        uncompress(UnpackedBuffer, &unpacked, PackedBuffer, static_cast<uLong>(packed));
    if (inflated != Z_OK) {
      // uncompress reports a full output buffer as Z_BUF_ERROR, a damaged or short stream as
      // Z_DATA_ERROR.
      throw ArchiveError(
          name + (inflated == Z_BUF_ERROR
                      ? ": content larger than " + std::to_string(kMemberBufferSize) + " bytes"
                      : ": the payload does not inflate"),
          payload_start);
    }
    visitor.Content(UnpackedBuffer, static_cast<std::uint32_t>(unpacked), packed);
  } while (in.position() < size);
}

std::uint64_t UnpackMembers(Platform& p, const std::function<void()>& advance,
                            const std::string& archive_path) {
  UniqueFile archive(p, p.OpenFile(archive_path, FileOpen::kOpenRead));
  if (!archive) throw ArchiveError("cannot open the archive");
  const std::int64_t size = p.FileSize(archive.get());
  if (size < 0) throw ArchiveError("cannot size the archive");
  PlatformSource source(p, archive.get());
  UnpackToFiles files(p, advance);
  ReadMembers(source, size, files);
  archive.reset();
  return files.InstalledBytes();
}

std::string PackMember(const std::string& name, const std::string& content) {
  uLongf packed_size = compressBound(static_cast<uLong>(content.size()));
  std::unique_ptr<Bytef[]> packed(new Bytef[packed_size]);
  if (compress2(packed.get(), &packed_size, reinterpret_cast<const Bytef*>(content.data()),
                static_cast<uLong>(content.size()), Z_DEFAULT_COMPRESSION) != Z_OK) {
    throw ArchiveError("cannot compress " + name);
  }
  return name + "$" + std::to_string(packed_size) + "$" +
         std::string(reinterpret_cast<const char*>(packed.get()), packed_size);
}

}  // namespace kv
