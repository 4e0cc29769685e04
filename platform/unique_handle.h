// One owner for each kind of handle the platform gives out: it knows the kind's empty value and the
// one call that gives the handle back, and gives it back on every way out of its scope.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/platform.h"

namespace kv {

// `Kind` names the handle's type, its empty value and its close call:
//   using Handle = ...; static constexpr Handle kEmpty = ...;
//   static bool Close(Platform&, Handle);  // true when the system took the handle back
template <typename Kind>
class UniqueHandle {
 public:
  using Handle = typename Kind::Handle;

  explicit UniqueHandle(Platform& platform, Handle handle = Kind::kEmpty)
      : p_(&platform), handle_(handle) {}
  // Postcondition: `other` is empty and closes nothing.
  UniqueHandle(UniqueHandle&& other) noexcept
      : p_(other.p_), handle_(std::exchange(other.handle_, Kind::kEmpty)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Dispose();
      p_ = other.p_;
      handle_ = std::exchange(other.handle_, Kind::kEmpty);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  // A close that fails or throws here is lost: the handle is gone either way.
  ~UniqueHandle() { Dispose(); }

  Handle get() const { return handle_; }
  // Gives the handle up to the caller, who closes it.
  Handle release() { return std::exchange(handle_, Kind::kEmpty); }
  explicit operator bool() const { return handle_ != Kind::kEmpty; }

  // Closes the handle held, if any, and holds `handle` instead. The owner holds the new value
  // before the close call is made, so that code the close runs into never sees a closed handle.
  // Returns the close's result (true when nothing was held); the close's exception passes on.
  bool reset(Handle handle = Kind::kEmpty) {
    const Handle old = std::exchange(handle_, handle);
    return old == Kind::kEmpty || Kind::Close(*p_, old);
  }

 private:
  void Dispose() noexcept {
    try {
      reset();
    } catch (...) {
    }
  }

  Platform* p_;
  Handle handle_;
};

struct FileKind {
  using Handle = FileHandle;
  static constexpr Handle kEmpty = kInvalidFile;  // INVALID_HANDLE_VALUE, never null
  static bool Close(Platform& p, Handle f) { return p.Close(f); }
};
// A key from RegCreate or RegOpen. Never a predefined root: those are the system's.
struct RegKeyKind {
  using Handle = RegKey;
  static constexpr Handle kEmpty = 0;
  static bool Close(Platform& p, Handle key) { return p.RegClose(key) == kErrorSuccess; }
};

// A DDE conversation from DdeConnect; its disconnect also frees its string handles.
struct DdeConversationKind {
  using Handle = std::uintptr_t;
  static constexpr Handle kEmpty = 0;
  static bool Close(Platform& p, Handle conversation) {
    p.DdeDisconnect(conversation);
    return true;
  }
};

using UniqueFile = UniqueHandle<FileKind>;
using UniqueRegKey = UniqueHandle<RegKeyKind>;
using UniqueDdeConversation = UniqueHandle<DdeConversationKind>;

}  // namespace kv
