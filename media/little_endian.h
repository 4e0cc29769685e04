// Little-endian numbers in byte strings: the layouts of the seal block and of a one-file medium.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

// The `size`-byte number at `at`; the caller has checked that the bytes are there.
inline std::uint64_t Little(const std::string& bytes, std::size_t at, int size) {
  std::uint64_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

inline void PutLittle(std::string& bytes, std::size_t at, std::uint64_t v, int size) {
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

}  // namespace kv
