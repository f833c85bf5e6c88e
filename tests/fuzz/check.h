#pragma once
// The oracle of every fuzz target: a property that does not hold stops the
// run, naming the property; libFuzzer then saves the input that broke it.

#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "oracle violated: %s\n", what);
    std::abort();
}

} // namespace fuzz
