#pragma once

#include <cstdio>
#include <cstdlib>

// A property of the code under fuzzing that does not hold: the abort is a finding for
// libFuzzer, which keeps the input that caused it.
#define FUZZ_CHECK(condition)                                                                            \
    do {                                                                                                 \
        if (!(condition)) {                                                                              \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                                \
        }                                                                                                \
    } while (false)
