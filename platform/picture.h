// A picture as the window draws it, and its resampling to another size. Plain C++, so that both
// builds compile it and the unit tests check it.
#pragma once

#include <cstdint>
#include <vector>

namespace kv {

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // rows top to bottom, 3 bytes a pixel
};

// `source` resampled to width x height, bilinearly, pixel centres on pixel centres: a pixel of
// the result takes the colour of the source at its centre, weighed between the four source pixels
// around it; the edges repeat the outermost pixels. `source` must hold at least one pixel, and
// width and height must be positive.
Picture Resampled(const Picture& source, int width, int height);

}  // namespace kv
