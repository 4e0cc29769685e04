// Runs an action on every way out of a scope: a state restored, a window closed.
#pragma once

#include <utility>

namespace kv {

// The action runs once, when the guard goes out of scope. It must not throw: it may run while an
// exception is on its way out.
template <typename Action>
class ScopeExit {
 public:
  explicit ScopeExit(Action action) : action_(std::move(action)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() { action_(); }

 private:
  Action action_;
};

}  // namespace kv
