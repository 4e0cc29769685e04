// Benchmark baseline: inflates every member of a temporary archive with zlib and writes it, with
// plain stdio and nothing else (no progress, no checks beyond what the format needs).
//   plaininflate ARCHIVE OUT_FOLDER
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  FILE* in = std::fopen(argv[1], "rb");
  if (!in) return 1;
  std::vector<unsigned char> packed(10485761), unpacked(10485761);
  for (;;) {
    std::string name, length;
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '$') name += static_cast<char>(c);
    if (c == EOF) break;
    while ((c = std::fgetc(in)) != EOF && c != '$') length += static_cast<char>(c);
    const long n = std::atol(length.c_str());
    if (n < 0 || n > 10485761 || std::fread(packed.data(), 1, n, in) != static_cast<size_t>(n)) return 1;
    uLongf size = unpacked.size();
    if (uncompress(unpacked.data(), &size, packed.data(), n) != Z_OK) return 1;
    FILE* out = std::fopen((std::string(argv[2]) + "/" + name).c_str(), "wb");
    if (!out || std::fwrite(unpacked.data(), 1, size, out) != size) return 1;
    std::fclose(out);
  }
  std::fclose(in);
  return 0;
}
