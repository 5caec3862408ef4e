// Size hooks for the Windows program's statically linked C++ runtime.
//
// The program catches no exceptions: a failed allocation or a length error
// inside the standard library would end it through std::terminate anyway.
// Ending it here directly, without building the exception object, keeps the
// runtime's exception classes, their strings and the name demangler of the
// verbose terminate handler out of the exe: about half its size, which
// matters for a tool meant to be small and dropped anywhere. Nothing the
// user sees changes. Linked into vantrel.exe only, never into the tests.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
} // namespace std
