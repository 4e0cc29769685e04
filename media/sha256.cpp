#include "media/sha256.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define KV_SHA_X86 1
#endif

namespace kv {

namespace {

alignas(16) constexpr std::uint32_t kK[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t Rotr(std::uint32_t x, int n) { return x >> n | x << (32 - n); }

void CompressPortable(std::uint32_t state[8], const std::uint8_t* data, std::size_t count) {
  for (; count > 0; --count, data += 64) {
    std::uint32_t w[64];
    for (int t = 0; t < 16; ++t) {
      w[t] = std::uint32_t{data[4 * t]} << 24 | std::uint32_t{data[4 * t + 1]} << 16 |
             std::uint32_t{data[4 * t + 2]} << 8 | data[4 * t + 3];
    }
    for (int t = 16; t < 64; ++t) {
      const std::uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
      const std::uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
      const std::uint32_t t1 =
          h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kK[t] + w[t];
      const std::uint32_t t2 =
          (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

#ifdef KV_SHA_X86
// Four rounds per step on the SHA extensions; the message schedule of the next four words is
// made from the four groups of the last sixteen. The stack is realigned on entry: a 32-bit
// Windows program may be called with a 4-byte aligned one.
__attribute__((target("sha,sse4.1"), force_align_arg_pointer)) void CompressCpu(
    std::uint32_t state[8], const std::uint8_t* data, std::size_t count) {
  const __m128i byte_swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
  __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
  __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
  const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  for (; count > 0; --count, data += 64) {
    const __m128i abef_before = abef, cdgh_before = cdgh;
    __m128i msg[4];
    for (int i = 0; i < 4; ++i) {
      msg[i] = _mm_shuffle_epi8(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byte_swap);
    }
    for (int group = 0; group < 16; ++group) {
      __m128i wk = _mm_add_epi32(
          msg[group & 3], _mm_load_si128(reinterpret_cast<const __m128i*>(&kK[4 * group])));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
      if (group < 12) {
        __m128i next = _mm_sha256msg1_epu32(msg[group & 3], msg[(group + 1) & 3]);
        next = _mm_add_epi32(next, _mm_alignr_epi8(msg[(group + 3) & 3], msg[(group + 2) & 3], 4));
        msg[group & 3] = _mm_sha256msg2_epu32(next, msg[(group + 3) & 3]);
      }
      wk = _mm_shuffle_epi32(wk, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, wk);
    }
    abef = _mm_add_epi32(abef, abef_before);
    cdgh = _mm_add_epi32(cdgh, cdgh_before);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}
#endif

}  // namespace

bool Sha256::CpuHasShaExtensions() {
#ifdef KV_SHA_X86
  // Asked each time (a few instructions per Sha256): a static with a run-time initialiser would
  // bring the C++ runtime's thread-safe guards into a program that has no threads.
  const bool has = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    // SSSE3, SSE4.1, and the system's own XSAVE: a system that saves the AVX state surely saves
    // the SSE registers these instructions use (Windows 95 and 98 save neither).
    const bool sse = (c & (1u << 9)) && (c & (1u << 19)) && (c & (1u << 27));
    if (!sse || !__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return (b & (1u << 29)) != 0;
  }();
  return has;
#else
  return false;
#endif
}

Sha256::Sha256(bool use_cpu) : cpu_(use_cpu && CpuHasShaExtensions()) { Reset(); }

void Sha256::Reset() {
  static constexpr std::uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::memcpy(state_, kInitial, sizeof state_);
  pending_size_ = 0;
  total_ = 0;
}

void Sha256::Compress(const std::uint8_t* blocks, std::size_t count) {
#ifdef KV_SHA_X86
  if (cpu_) return CompressCpu(state_, blocks, count);
#endif
  CompressPortable(state_, blocks, count);
}

void Sha256::Add(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  total_ += size;
  if (pending_size_ > 0) {
    const std::size_t take = size < 64 - pending_size_ ? size : 64 - pending_size_;
    std::memcpy(pending_ + pending_size_, bytes, take);
    pending_size_ += take;
    bytes += take;
    size -= take;
    if (pending_size_ < 64) return;
    Compress(pending_, 1);
    pending_size_ = 0;
  }
  if (size >= 64) {
    Compress(bytes, size / 64);
    bytes += size / 64 * 64;
    size %= 64;
  }
  std::memcpy(pending_, bytes, size);
  pending_size_ = size;
}

Sha256Digest Sha256::Finish() {
  const std::uint64_t bits = total_ * 8;
  std::uint8_t tail[72] = {0x80};
  const std::size_t pad = (pending_size_ < 56 ? 56 : 120) - pending_size_;
  for (int i = 0; i < 8; ++i) tail[pad + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  Add(tail, pad + 8);
  Sha256Digest digest;
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
  }
  Reset();
  return digest;
}

Sha256Digest Sha256Of(const std::string& bytes) {
  Sha256 sha;
  sha.Add(bytes.data(), bytes.size());
  return sha.Finish();
}

std::string DigestHex(const Sha256Digest& digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

}  // namespace kv
