#include "media/seal.h"

#include <cstring>

#include "media/little_endian.h"

namespace kv {

namespace {

constexpr char kMagic[8] = {'K', 'V', 'S', 'E', 'A', 'L', 1, 0};
constexpr std::size_t kHeaderSize = 16, kEntrySize = 64, kNameSize = 16;

}  // namespace

const SealEntry* Seal::Find(const std::string& name) const {
  for (const SealEntry& entry : entries) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

std::string SealBlock(const Seal& seal) {
  if (seal.entries.size() > kSealMaxEntries) return {};
  std::string block(kSealBlockSize, '\0');
  std::memcpy(block.data(), kMagic, sizeof kMagic);
  PutLittle(block, 8, seal.entries.size(), 4);
  std::size_t at = kHeaderSize;
  for (const SealEntry& entry : seal.entries) {
    if (entry.name.empty() || entry.name.size() >= kNameSize ||
        entry.name.find('\0') != std::string::npos) {
      return {};
    }
    block.replace(at, entry.name.size(), entry.name);
    PutLittle(block, at + kNameSize, entry.size, 8);
    std::memcpy(block.data() + at + kNameSize + 8, entry.digest.data(), entry.digest.size());
    at += kEntrySize;
  }
  return block;
}

SealState ReadSealBlock(const std::string& block, Seal* seal) {
  seal->entries.clear();
  if (block.size() != kSealBlockSize) return SealState::kMalformed;
  if (block.find_first_not_of('\0') == std::string::npos) return SealState::kUnsealed;
  const std::uint64_t count = Little(block, 8, 4);
  if (block.compare(0, sizeof kMagic, kMagic, sizeof kMagic) != 0 || count == 0 ||
      count > kSealMaxEntries || Little(block, 12, 4) != 0) {
    return SealState::kMalformed;
  }
  const std::size_t end = kHeaderSize + count * kEntrySize;
  if (block.find_first_not_of('\0', end) != std::string::npos) return SealState::kMalformed;
  for (std::size_t at = kHeaderSize; at < end; at += kEntrySize) {
    SealEntry entry;
    const std::size_t length = block.find('\0', at);
    if (length == at || length >= at + kNameSize ||
        block.find_first_not_of('\0', length) < at + kNameSize ||
        Little(block, at + kNameSize + 40, 8) != 0) {
      return SealState::kMalformed;
    }
    entry.name = block.substr(at, length - at);
    entry.size = Little(block, at + kNameSize, 8);
    std::memcpy(entry.digest.data(), block.data() + at + kNameSize + 8, entry.digest.size());
    if (seal->Find(entry.name)) return SealState::kMalformed;
    seal->entries.push_back(entry);
  }
  return SealState::kSealed;
}

bool WriteSeal(const Seal& seal, std::string* program) {
  const std::size_t at = SealBlockOffset(*program);
  const std::string block = SealBlock(seal);
  if (at == std::string::npos || block.empty()) return false;
  program->replace(at, kSealBlockSize, block);
  return true;
}

std::size_t SealBlockOffset(const std::string& program) {
  // The DOS header's pointer to "PE\0\0", the COFF header's section count and optional header
  // size, then the section table: 40 bytes per section, name (8), virtual size, virtual address,
  // raw data size, raw data pointer...
  if (program.size() < 64 || program.compare(0, 2, "MZ") != 0) return std::string::npos;
  const std::uint64_t pe = Little(program, 60, 4);
  if (pe > program.size() || program.size() - pe < 24 || program.compare(pe, 4, "PE\0\0", 4) != 0) {
    return std::string::npos;
  }
  const std::uint64_t sections = Little(program, pe + 6, 2);
  const std::uint64_t table = pe + 24 + Little(program, pe + 20, 2);
  for (std::uint64_t i = 0; i < sections; ++i) {
    const std::uint64_t at = table + 40 * i;
    if (at > program.size() || program.size() - at < 40) break;
    char name[9] = {};
    std::memcpy(name, program.data() + at, 8);
    if (std::strcmp(name, kSealSection) != 0) continue;
    const std::uint64_t raw_size = Little(program, at + 16, 4);
    const std::uint64_t raw = Little(program, at + 20, 4);
    const std::uint64_t virtual_size = Little(program, at + 8, 4);
    if (raw_size < kSealBlockSize || virtual_size < kSealBlockSize || raw > program.size() ||
        program.size() - raw < kSealBlockSize) {
      return std::string::npos;
    }
    return static_cast<std::size_t>(raw);
  }
  return std::string::npos;
}

}  // namespace kv
