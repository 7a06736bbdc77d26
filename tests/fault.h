// Fault injection for test programs.  Test binaries are linked with
// --wrap for malloc, realloc, free, gethostname, fflush, fclose, _exit and
// abort, so every call the support library makes to them lands here first.
#pragma once

#include <cstddef>

#include <gtest/gtest.h>

namespace fault
{

struct allocator_control {
    long fail_after = -1;                     // successful calls left before all fail; -1: never
    std::size_t fail_above = ~std::size_t(0); // requests above this fail
    bool trace = false;                       // write "alloc N" to stderr for each request
    bool clobber_errno = false;               // successful requests set errno, as they may
    long calls = 0;                           // malloc and realloc requests seen
    long live = 0;                            // blocks handed out and not yet freed
    long calls_at_last_free = -1;             // requests seen when a block was last freed
    std::size_t last_request = 0;
    // The calls seen, in order: m malloc, r realloc, f free of null, F free
    // of a block (the first 15).
    char events[16] = {};
};
extern allocator_control alloc;

// How the fake gethostname answers a buffer too small for the name.
enum class too_small {
    fail_enametoolong,
    fail_einval,
    fail_enomem,
    fail_no_errno, // fails and sets no error number, leaving errno as it was
    truncate,      // succeeds with the name cut to the length, no NUL
    truncate_nul,  // succeeds with the name cut to the length, its last byte a NUL
    nul_past,      // succeeds, writing the NUL one byte past the length
};

struct host_control {
    const char* name = nullptr; // null: the real gethostname answers
    too_small mode = too_small::fail_enametoolong;
    int fail_errno = 0; // nonzero: every call fails with this errno
    int calls = 0;
    std::size_t lens[32] = {}; // the lengths handed over, in call order
    char sentinels[32] = {};   // the last byte handed over, as it was on each call
};
extern host_control host;

struct stdio_control {
    // A flush that fails shows only in the stream's error indicator, its
    // data discarded: fflush reports success, and fclose the close's own
    // result, as some C libraries (uClibc-ng) do.
    bool hide_flush_failure = false;
    // ... and leaves errno as it was, as a C library that loses the write
    // without a word might.
    bool hide_flush_errno = false;
    // fclose sets errno to this when it is nonzero, as any call may, even
    // one that succeeds.
    int close_errno = 0;
};
extern stdio_control stdio;

// Puts every control back to its pass-through default.
void reset();

// A fixture whose tests start and end with every control at its default.
class fixture : public ::testing::Test
{
  protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
};

// Traces every allocation request and refuses those above 1 GiB, as an
// allocator without that much memory would.
inline void trace_refusing_huge()
{
    alloc.trace = true;
    alloc.fail_above = std::size_t(1) << 30;
}

// The whole of standard error when a fatal report is the only output.
inline constexpr const char* exhausted_only = "^[^\n]*: memory exhausted\n$";

} // namespace fault
