#pragma once

#include <cstdio>
#include <cstdlib>

// A property a target checks beyond "no crash": when it does not hold, the
// input is a finding like any crash.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
