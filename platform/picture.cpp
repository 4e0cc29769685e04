#include "platform/picture.h"

#include <cstddef>

namespace kv {

Picture Resampled(const Picture& source, int width, int height) {
  Picture out{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  // A destination pixel's centre in source pixels, in 1/256ths: whole part and weight.
  auto map = [](int i, int from, int to, int* whole, int* weight) {
    int at = (2 * i + 1) * from * 128 / to - 128;
    at = at < 0 ? 0 : at;
    *whole = at >> 8 < from - 1 ? at >> 8 : from - 1;
    *weight = *whole < from - 1 ? at & 255 : 0;
  };
  std::uint8_t* dst = out.rgb.data();
  for (int y = 0; y < height; ++y) {
    int y0, wy;
    map(y, source.height, height, &y0, &wy);
    const std::uint8_t* row0 = &source.rgb[static_cast<std::size_t>(y0) * source.width * 3];
    const std::uint8_t* row1 = wy ? row0 + source.width * 3 : row0;
    for (int x = 0; x < width; ++x) {
      int x0, wx;
      map(x, source.width, width, &x0, &wx);
      const int x1 = wx ? x0 + 1 : x0;
      for (int c = 0; c < 3; ++c) {
        const int top = row0[x0 * 3 + c] * (256 - wx) + row0[x1 * 3 + c] * wx;
        const int bottom = row1[x0 * 3 + c] * (256 - wx) + row1[x1 * 3 + c] * wx;
        *dst++ = static_cast<std::uint8_t>((top * (256 - wy) + bottom * wy + 32768) >> 16);
      }
    }
  }
  return out;
}

}  // namespace kv
