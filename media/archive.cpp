#include "media/archive.h"

#include <zlib.h>

#include <cctype>
#include <limits>
#include <memory>

namespace kv {

namespace {

// The unpacker's working storage: set up once for the process, on the first unpack, and kept
// (not in the program file: zero-filled sections are not always left out of it).
struct Buffers {
  unsigned char* const packed = new unsigned char[kMemberBufferSize];
  unsigned char* const unpacked = new unsigned char[kMemberBufferSize];
};
Buffers& WorkingStorage() {
  static Buffers buffers;
  return buffers;
}

// A member name longer than any Windows path cannot name a file; reading stops there.
constexpr std::size_t kMaxFieldLength = 1024;

// Closes a platform file on every way out.
class OpenFile {
 public:
  OpenFile(Platform& p, FileHandle f) : p_(p), f_(f) {}
  ~OpenFile() { Close(); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  FileHandle get() const { return f_; }
  bool Close() {
    if (f_ == kInvalidFile) return true;
    const FileHandle f = f_;
    f_ = kInvalidFile;
    return p_.Close(f);
  }

 private:
  Platform& p_;
  FileHandle f_;
};

// Reads one field byte by byte up to and including "$"; the "$" is dropped.
std::string ReadField(Platform& p, FileHandle archive, std::int64_t* position) {
  std::string field;
  for (;;) {
    char c = 0;
    std::uint32_t done = 0;
    if (!p.Read(archive, &c, 1, &done) || done != 1) throw ArchiveError("archive ends in a field");
    ++*position;
    if (c == '$') return field;
    if (field.size() >= kMaxFieldLength) throw ArchiveError("field too long");
    field += c;
  }
}

bool IsDeviceName(std::string component) {
  // Windows ignores trailing dots and blanks and anything from the first dot on.
  component = component.substr(0, component.find('.'));
  while (!component.empty() && (component.back() == ' ' || component.back() == '.')) {
    component.pop_back();
  }
  for (char& c : component) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (component == "CON" || component == "PRN" || component == "AUX" || component == "NUL") {
    return true;
  }
  return component.size() == 4 && (component.compare(0, 3, "COM") == 0 ||
                                   component.compare(0, 3, "LPT") == 0) &&
         component[3] >= '1' && component[3] <= '9';
}

}  // namespace

std::int64_t ParseMemberLength(const std::string& field) {
  std::size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
    value = value * 10 + (field[i] - '0');
    if (value > kLimit) value = kLimit + 1;  // saturate: out of range either way
  }
  return negative ? -value : value;
}

bool IsSafeMemberName(const std::string& name) {
  if (name.empty() || name.find(':') != std::string::npos) return false;
  if (name.front() == '\\' || name.front() == '/') return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find_first_of("\\/", start);
    const std::string component = name.substr(start, end - start);
    if (component.empty() || component.find_first_not_of(". ") == std::string::npos) return false;
    if (IsDeviceName(component)) return false;
    for (unsigned char c : component) {
      if (c < 0x20) return false;
    }
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

void UnpackMembers(Platform& p, const std::function<void()>& advance,
                   const std::string& archive_path) {
  unsigned char* const PackedBuffer = WorkingStorage().packed;
  unsigned char* const UnpackedBuffer = WorkingStorage().unpacked;
  OpenFile archive(p, p.OpenFile(archive_path, FileOpen::kOpenRead));
  if (archive.get() == kInvalidFile) throw ArchiveError("cannot open the archive");
  const std::int64_t size = p.FileSize(archive.get());
  if (size < 0) throw ArchiveError("cannot size the archive");
  std::int64_t position = 0;
  do {
    advance();
    const std::string name = ReadField(p, archive.get(), &position);
    if (!IsSafeMemberName(name)) throw ArchiveError("unsafe member name");
    OpenFile member(p, p.OpenFile(name, FileOpen::kCreateAlways));
    if (member.get() == kInvalidFile) throw ArchiveError("cannot create " + name);
    const std::int64_t packed = ParseMemberLength(ReadField(p, archive.get(), &position));
    if (packed < 0 || packed > kMemberBufferSize) throw ArchiveError("bad member length");
    std::uint32_t done = 0;
    if (packed > 0 &&
        (!p.Read(archive.get(), PackedBuffer, static_cast<std::uint32_t>(packed), &done) ||
         done != packed)) {
      throw ArchiveError("archive ends in a payload");
    }
    position += packed;
    uLongf unpacked = kMemberBufferSize;
    if (uncompress(UnpackedBuffer, &unpacked, PackedBuffer, static_cast<uLong>(packed)) != Z_OK) {
      throw ArchiveError("payload does not inflate");
    }
    if (unpacked > 0 &&
        (!p.Write(member.get(), UnpackedBuffer, static_cast<std::uint32_t>(unpacked), &done) ||
         done != unpacked)) {
      throw ArchiveError("cannot write " + name);
    }
    if (!member.Close()) throw ArchiveError("cannot close " + name);
  } while (position < size);
  archive.Close();
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
