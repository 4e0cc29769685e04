// Pieces of the C++ runtime replaced to keep setup.exe small. The library's versions drag in
// code the program never runs: the symbol demangler behind the verbose terminate handler, and,
// behind std::runtime_error (the base of the steps' own errors) and the throw helpers, a second
// string implementation with its formatting and random-device support. The PE linker keeps all
// code an unwind table mentions, so whatever an object file brings stays even when unused.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace __gnu_cxx {
// An exception nobody catches (one leaving a destructor while another unwinds, say) ends the
// program at once as "not installed": abort() would end it with 3 after a box that nobody answers
// in an unattended run. Nothing is written: a GUI program has no console.
void __verbose_terminate_handler() { _exit(1); }
}  // namespace __gnu_cxx

namespace {

// An error's message, shared by the copies of the exception object: a count, then the text.
struct Message {
  long refs;
  char text[1];
};

Message* Of(const char* text) {
  return reinterpret_cast<Message*>(const_cast<char*>(text) - offsetof(Message, text));
}

// Null when memory is short: the error then carries an empty message rather than a second error.
const char* Make(const char* s, std::size_t n) {
  auto* m = static_cast<Message*>(std::malloc(offsetof(Message, text) + n + 1));
  if (!m) return nullptr;
  m->refs = 1;
  std::memcpy(m->text, s, n);
  m->text[n] = '\0';
  return m->text;
}

const char* Share(const char* text) {
  if (text) __atomic_add_fetch(&Of(text)->refs, 1, __ATOMIC_RELAXED);
  return text;
}

void Drop(const char* text) {
  if (text && __atomic_sub_fetch(&Of(text)->refs, 1, __ATOMIC_ACQ_REL) == 0) std::free(Of(text));
}

}  // namespace

namespace std {

// Every one of these stays an exception that the steps' guards catch like any other error; the
// library's messages are never shown, so the errors carry none.
struct LibraryError : exception {};
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char*) { throw LibraryError(); }
void __throw_logic_error(const char*) { throw LibraryError(); }
void __throw_out_of_range_fmt(const char*, ...) { throw LibraryError(); }

// The message holder of the standard exception types, and std::runtime_error on top of it.
__cow_string::__cow_string() : _M_p(nullptr) {}
__cow_string::__cow_string(const std::string& s) : _M_p(Make(s.data(), s.size())) {}
__cow_string::__cow_string(const char* s, size_t n) : _M_p(Make(s, n)) {}
__cow_string::__cow_string(const __cow_string& other) noexcept : _M_p(Share(other._M_p)) {}
__cow_string::__cow_string(__cow_string&& other) noexcept : _M_p(Share(other._M_p)) {}
__cow_string& __cow_string::operator=(const __cow_string& other) noexcept {
  const char* text = Share(other._M_p);
  Drop(_M_p);
  _M_p = text;
  return *this;
}
__cow_string& __cow_string::operator=(__cow_string&& other) noexcept {
  return *this = static_cast<const __cow_string&>(other);
}
__cow_string::~__cow_string() { Drop(_M_p); }

runtime_error::runtime_error(const string& message) : _M_msg(message) {}
runtime_error::runtime_error(const char* message) : _M_msg(message, strlen(message)) {}
runtime_error::runtime_error(const runtime_error& other) noexcept = default;
runtime_error::runtime_error(runtime_error&& other) noexcept = default;
runtime_error& runtime_error::operator=(const runtime_error& other) noexcept = default;
runtime_error& runtime_error::operator=(runtime_error&& other) noexcept = default;
runtime_error::~runtime_error() noexcept {}
const char* runtime_error::what() const noexcept { return _M_msg._M_p ? _M_msg._M_p : ""; }

}  // namespace std
