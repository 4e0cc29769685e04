// The welcome picture, stored in the program as a JPEG and decoded at start.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/picture.h"

namespace kv {

// Decodes a baseline JPEG into RGB; false (and an empty picture) for data libjpeg rejects.
bool DecodeJpeg(const std::uint8_t* data, std::size_t size, Picture* picture);

// The stored welcome picture (generated from assets/welcome.jpg at build time).
extern const std::uint8_t kWelcomeJpeg[];
extern const std::size_t kWelcomeJpegSize;

}  // namespace kv
