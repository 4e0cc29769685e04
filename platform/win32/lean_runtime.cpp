// Pieces of the C++ runtime replaced to keep setup.exe small. The library's versions drag in
// code the program never runs (the symbol demangler behind the verbose terminate handler, and,
// through the exception types they construct, a second string implementation with its
// formatting and parsing support); the PE linker keeps all code an unwind table mentions, so
// what is pulled in stays even when unused.
#include <cstdlib>
#include <new>

namespace __gnu_cxx {
// An exception nobody catches ends the program at once, without writing a demangled type name
// to a console a GUI program does not have.
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
// Running out of memory stays an exception the steps can catch; the others report programming
// errors the program never catches, so they end it as an uncaught exception would.
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std
