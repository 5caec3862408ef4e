// The fuzzers' assertion. A broken property prints what broke and aborts, so
// that libFuzzer stops and saves the input in its artifact file. Not assert():
// it must hold in every build, NDEBUG or not.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)
