#pragma once
// Stops a fuzz run with a message when a property of the target fails.

#include <cstdio>
#include <cstdlib>

inline void fuzzCheck(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz property failed: %s\n", what);
        std::abort();
    }
}
