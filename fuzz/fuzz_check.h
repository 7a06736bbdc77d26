// Fails a fuzz run with a message naming the broken promise.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void require(bool ok, const char* promise)
{
    if (!ok) {
        std::fprintf(stderr, "broken promise: %s\n", promise);
        std::abort();
    }
}
