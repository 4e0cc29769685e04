// The medium's seal: the name, size and SHA-256 of each file of the medium that the installer
// reads, written by the media builder into a block that the build reserves in setup.exe (the PE
// section kSealSection, kSealBlockSize bytes, all zero in the built program). The builder writes
// it before it signs, so that a signature over setup.exe vouches for the whole medium; the
// installer checks each file against it as it reads it, and `mkmedia check` reads the same block.
//
// Block layout (little-endian), the rest zero:
//   0   "KVSEAL" 1 0          magic and layout version, 8 bytes
//   8   u32 count             entries that follow, at most kSealMaxEntries
//   12  u32 0
//   16  count entries of 64 bytes: name (16 bytes, Windows-1251, NUL-padded, at least one NUL),
//       u64 size, SHA-256 (32 bytes), 8 bytes 0
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/sha256.h"

namespace kv {

inline constexpr char kSealSection[] = ".kvseal";
inline constexpr std::size_t kSealBlockSize = 512;
inline constexpr std::size_t kSealMaxEntries = 7;

struct SealEntry {
  std::string name;  // as the installer names the file: text::kVolume1, text::kLicenceFile...
  std::uint64_t size = 0;
  Sha256Digest digest{};
};

struct Seal {
  std::vector<SealEntry> entries;
  // The entry of `name` (exact, as written by the builder), or null.
  const SealEntry* Find(const std::string& name) const;
};

// The block holding `seal`: kSealBlockSize bytes; empty for more than kSealMaxEntries entries or
// a name that is empty, holds a NUL or has 16 bytes or more.
std::string SealBlock(const Seal& seal);

enum class SealState { kUnsealed, kSealed, kMalformed };
// Reads a block: kUnsealed when every byte is zero, kSealed with *seal filled, kMalformed for
// anything else (a wrong size, magic or count, a name without its NUL, non-zero padding).
SealState ReadSealBlock(const std::string& block, Seal* seal);

// Writes `seal` into the seal block of `program` (the bytes of a PE program), changing no other
// byte; false, with `program` unchanged, when it has no seal block or the seal does not fit one.
bool WriteSeal(const Seal& seal, std::string* program);

// Where the seal block lies in the bytes of a PE program: the file offset of section
// kSealSection's raw data, when the section exists and holds at least kSealBlockSize bytes of
// file data inside `program`; std::string::npos otherwise.
std::size_t SealBlockOffset(const std::string& program);

}  // namespace kv
