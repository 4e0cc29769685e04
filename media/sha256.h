// SHA-256 (FIPS 180-4), fed in pieces. Where the processor has the SHA extensions and the system
// saves the registers they use, the compression runs on them (decided once, at run time);
// elsewhere, Windows 98 included, a portable one does the same work.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  // `use_cpu` false: the portable compression only, whatever the processor has.
  explicit Sha256(bool use_cpu = true);
  void Add(const void* data, std::size_t size);
  // The digest of everything added; the object then starts over.
  Sha256Digest Finish();

  // True when this processor and system run the SHA extensions.
  static bool CpuHasShaExtensions();

 private:
  void Compress(const std::uint8_t* blocks, std::size_t count);
  void Reset();

  std::uint32_t state_[8];
  std::uint8_t pending_[64];
  std::size_t pending_size_ = 0;
  std::uint64_t total_ = 0;
  bool cpu_;
};

Sha256Digest Sha256Of(const std::string& bytes);
// Lowercase hexadecimal, as sha256sum prints it.
std::string DigestHex(const Sha256Digest& digest);

}  // namespace kv
