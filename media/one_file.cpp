#include "media/one_file.h"

#include <cstring>

#include "media/little_endian.h"

namespace kv {

namespace {

constexpr char kMagic[8] = {'K', 'V', 'M', 'E', 'D', 'I', 'U', 'M'};
constexpr std::uint32_t kVersion = 1, kFullEditionFlag = 1;
constexpr std::uint64_t kAlignment = 8;

std::uint64_t Aligned(std::uint64_t n) { return (n + kAlignment - 1) / kAlignment * kAlignment; }

}  // namespace

bool ReadProgramExtent(const std::string& headers, std::uint64_t file_size, ProgramExtent* extent) {
  const std::uint64_t size = headers.size();
  if (size < 64 || headers.compare(0, 2, "MZ") != 0) return false;
  const std::uint64_t pe = Little(headers, 60, 4);
  if (pe > size || size - pe < 24 || headers.compare(pe, 4, "PE\0\0", 4) != 0) return false;
  const std::uint64_t sections = Little(headers, pe + 6, 2);
  const std::uint64_t optional = pe + 24, optional_size = Little(headers, pe + 20, 2);
  if (optional_size < 2 || size - optional < optional_size) return false;
  // PE32 (0x10B) or PE32+ (0x20B): the data directories begin at 96 or 112.
  const std::uint64_t magic = Little(headers, optional, 2);
  const std::uint64_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
  if (directories == 0) return false;
  const std::uint64_t table = optional + optional_size;
  if (sections == 0 || (size - table) / 40 < sections) return false;
  std::uint64_t end = 0;
  for (std::uint64_t i = 0; i < sections; ++i) {
    const std::uint64_t at = table + 40 * i;
    const std::uint64_t raw_size = Little(headers, at + 16, 4), raw = Little(headers, at + 20, 4);
    if (raw_size != 0 && raw + raw_size > end) end = raw + raw_size;
  }
  if (end > file_size) return false;
  std::uint64_t payload_end = file_size;
  // Data directory 4, the certificate table: a file offset and a size.
  if (directories + 5 * 8 <= optional_size &&
      Little(headers, optional + 92 + (magic == 0x20B ? 16 : 0), 4) > 4) {
    const std::uint64_t at = Little(headers, optional + directories + 32, 4);
    const std::uint64_t length = Little(headers, optional + directories + 36, 4);
    // A table that does not lie within the file is a file cut short: what it holds is unknown.
    if (at != 0 && length != 0 && at >= end && at <= file_size) payload_end = at;
  }
  extent->sections_end = end;
  extent->payload_end = payload_end;
  return true;
}

OneFileState ReadOneFileTrailer(const std::string& trailer, const ProgramExtent& e,
                                OneFileLayout* layout) {
  if (e.payload_end <= e.sections_end) return OneFileState::kNone;
  if (trailer.size() != kOneFileTrailerSize ||
      e.payload_end - e.sections_end < kOneFileTrailerSize ||
      trailer.compare(0, sizeof kMagic, kMagic, sizeof kMagic) != 0 ||
      Little(trailer, 8, 4) != kVersion || (Little(trailer, 12, 4) & ~kFullEditionFlag) != 0) {
    return OneFileState::kDamaged;
  }
  OneFileLayout l;
  l.full_edition = Little(trailer, 12, 4) & kFullEditionFlag;
  l.archive_offset = Little(trailer, 16, 8);
  l.archive_size = Little(trailer, 24, 8);
  l.licence_offset = Little(trailer, 32, 8);
  l.licence_size = Little(trailer, 40, 8);
  // Each part where the one before ends, the trailer after the padding: compared by
  // differences, so that no offset can wrap around.
  const std::uint64_t trailer_at = e.payload_end - kOneFileTrailerSize;
  const std::uint64_t room = trailer_at - e.sections_end;
  if (l.archive_offset != e.sections_end || l.archive_size == 0 || l.archive_size > room ||
      l.licence_offset != l.archive_offset + l.archive_size ||
      l.licence_size > room - l.archive_size || (!l.full_edition && l.licence_size != 0) ||
      Aligned(l.licence_offset + l.licence_size) != trailer_at) {
    return OneFileState::kDamaged;
  }
  *layout = l;
  return OneFileState::kPresent;
}

std::string OneFilePayload(std::uint64_t program_size, const std::string& archive,
                           const std::string& licence, bool full_edition) {
  std::string payload = archive + licence;
  payload.resize(Aligned(program_size + payload.size()) - program_size, '\0');
  std::string trailer(kOneFileTrailerSize, '\0');
  std::memcpy(trailer.data(), kMagic, sizeof kMagic);
  PutLittle(trailer, 8, kVersion, 4);
  PutLittle(trailer, 12, full_edition ? kFullEditionFlag : 0, 4);
  PutLittle(trailer, 16, program_size, 8);
  PutLittle(trailer, 24, archive.size(), 8);
  PutLittle(trailer, 32, program_size + archive.size(), 8);
  PutLittle(trailer, 40, licence.size(), 8);
  return payload + trailer;
}

}  // namespace kv
