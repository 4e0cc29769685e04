// The error of the media builder and of the helper programs it runs: its text says what went
// wrong, for the vendor who runs mkmedia.
#pragma once

#include <stdexcept>

namespace kv {

class MediaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kv
