// A one-file medium: the whole medium carried by setup.exe itself, after its last section.
//
// File layout:
//   the program, its seal block naming xalarch.v1 (the whole archive), xalarch.v0 (size 0, the
//     full edition only) and licenz.doc (the full edition, when it has one)
//   the archive                      at the end of the program's last section
//   the licence                      directly after the archive (full edition; may be empty)
//   zero padding                     up to a multiple of 8 bytes
//   the trailer, kOneFileTrailerSize bytes (little-endian):
//     0   "KVMEDIUM"   magic, 8 bytes
//     8   u32 1        layout version
//     12  u32 flags    bit 0: full edition; the other bits 0
//     16  u64          archive offset      24  u64  archive size
//     32  u64          licence offset      40  u64  licence size
//   the Authenticode certificate table, when the file is signed (it begins 8-byte aligned, so
//     signing adds no padding between the trailer and it)
// The installer finds the trailer without reading the payload: the payload ends where the
// certificate table (data directory 4) begins, or at the end of an unsigned file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

inline constexpr std::size_t kOneFileTrailerSize = 48;
// What the installer reads of its file's start to find its sections and certificate table.
inline constexpr std::size_t kOneFileHeadersSize = 4096;

struct OneFileLayout {
  bool full_edition = false;
  std::uint64_t archive_offset = 0, archive_size = 0;
  std::uint64_t licence_offset = 0, licence_size = 0;
};

// Where a program's own bytes end and where what follows them ends.
struct ProgramExtent {
  std::uint64_t sections_end = 0;  // the end of the furthest section's file data
  std::uint64_t payload_end = 0;   // where the certificate table begins, else the file's end
};

// From the program's first bytes (`headers`, at most kOneFileHeadersSize of them) and its file
// size; false when they are not a PE program's headers.
bool ReadProgramExtent(const std::string& headers, std::uint64_t file_size, ProgramExtent* extent);

enum class OneFileState {
  kNone,     // nothing follows the program: a folder or floppy medium is the one installed
  kPresent,  // *layout holds the payload's place
  kDamaged,  // something follows the program, but no trailer that fits it (a file cut short)
};
// Reads the kOneFileTrailerSize bytes that end at extent.payload_end.
OneFileState ReadOneFileTrailer(const std::string& trailer, const ProgramExtent& extent,
                                OneFileLayout* layout);

// What follows a program of `program_size` bytes: archive, licence, padding and trailer.
std::string OneFilePayload(std::uint64_t program_size, const std::string& archive,
                           const std::string& licence, bool full_edition);

}  // namespace kv
