#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the run on a broken property, naming it: libFuzzer keeps the input that broke it.
inline void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}
