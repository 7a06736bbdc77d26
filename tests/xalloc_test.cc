#include "xalloc.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "exitfail.h"
#include "fault.h"

namespace
{

using fault::alloc;
using fault::exhausted_only;

// Standard error of a run that asked the allocator for n bytes, was
// refused, and died.
std::string refused_then_exhausted(std::size_t n)
{
    return "^alloc " + std::to_string(n) + "\n[^\n]*: memory exhausted\n$";
}

using Xalloc = fault::fixture;

TEST_F(Xalloc, ZeroByteRequestsAreServedAsOneByte)
{
    void* p = xmalloc(0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(alloc.last_request, 1u);
    static_cast<char*>(p)[0] = 'x';

    long live = alloc.live;
    long calls = alloc.calls;
    void* q = xrealloc(p, 0); // releases p, then a fresh byte
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(alloc.last_request, 1u);
    EXPECT_EQ(alloc.live, live);
    EXPECT_EQ(alloc.calls_at_last_free, calls); // p went before the byte was asked for
    std::free(q);
}

// rpl_realloc over every class of its input: a block or null, a size of 0
// or not, the allocator refusing or not.  The calls it makes, in order
// (m malloc, r realloc, f free of null, F free of a block), what it
// returns, and the block it leaves.
TEST_F(Xalloc, ReallocReplacementByInput)
{
    const struct {
        bool block;
        std::size_t n;
        bool refuse;
        const char* calls;
        std::size_t request;
    } rows[] = {
        {false, 0, false, "fm", 1}, {false, 0, true, "fm", 1}, {true, 0, false, "Fm", 1},
        {true, 0, true, "Fm", 1},   {false, 5, false, "m", 5}, {false, 5, true, "m", 5},
        {true, 5, false, "r", 5},   {true, 5, true, "r", 5},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "block " << r.block << " size " << r.n << " refused " << r.refuse);
        fault::reset();
        char* p = r.block ? static_cast<char*>(rpl_malloc(8)) : nullptr;
        if (p)
            std::strcpy(p, "kept");
        alloc.fail_after = r.refuse ? 0 : -1;
        alloc.events[0] = '\0';
        char* q = static_cast<char*>(rpl_realloc(p, r.n));
        const std::string calls = alloc.events;
        alloc.fail_after = -1;
        EXPECT_EQ(calls, r.calls);
        EXPECT_EQ(alloc.last_request, r.request);
        EXPECT_EQ(q == nullptr, r.refuse);
        // The old contents move with a resized block; a refused resize
        // leaves the old block as it was.
        if (r.block && r.n != 0) {
            EXPECT_STREQ(q ? q : p, "kept");
        }
        std::free(r.block && r.n != 0 && !q ? p : q);
        EXPECT_EQ(alloc.live, 0);
    }
}

TEST_F(Xalloc, ReallocOfNullIsMalloc)
{
    void* p = xrealloc(nullptr, 40);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(alloc.last_request, 40u);
    EXPECT_EQ(alloc.live, 1);
    std::free(p);
}

TEST_F(Xalloc, GrowthRule)
{
    struct row {
        bool have_block;
        std::size_t count, elem, new_count, request;
    };
    const row rows[] = {
        {false, 0, 1, 64, 64},                           // a first block of 64 bytes
        {false, 34, 1, 34, 34},                          // a given first size is kept
        {true, 34, 1, 68, 68},                           // doubled
        {true, 0, 1, 0, 1},                              // nothing to double: a fresh byte
        {false, 0, 8, 8, 64},                            // 64 bytes' worth of elements
        {false, 0, 64, 1, 64},  {false, 0, 100, 1, 100}, // at least one element
        {true, 3, 100, 6, 600},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(::testing::Message() << "count " << r.count << " elem " << r.elem);
        void* p = nullptr;
        if (r.have_block) {
            p = xmalloc(r.count * r.elem + 1);
            std::memset(p, 'k', r.count * r.elem);
        }
        std::size_t n = r.count;
        char* q = static_cast<char*>(x2realloc_elems(p, &n, r.elem));
        ASSERT_NE(q, nullptr);
        EXPECT_EQ(n, r.new_count);
        EXPECT_EQ(alloc.last_request, r.request);
        if (r.have_block && r.new_count) {
            EXPECT_EQ(std::string(q, r.count * r.elem), std::string(r.count * r.elem, 'k'));
        }
        std::free(q);
    }
}

TEST_F(Xalloc, ZeroRequestThatCannotBeHadReturnsNull)
{
    void* p = xmalloc(4);
    alloc.fail_after = 0;
    EXPECT_EQ(xmalloc(0), nullptr);
    EXPECT_EQ(xrealloc(nullptr, 0), nullptr);
    EXPECT_EQ(xrealloc(p, 0), nullptr); // p released all the same
    EXPECT_EQ(xmalloc_elems(0, 8), nullptr);
    EXPECT_EQ(alloc.live, 0);
}

TEST_F(Xalloc, RefusedRequestIsExhaustion)
{
    EXPECT_EXIT((alloc.fail_after = 0, xmalloc(10)), ::testing::ExitedWithCode(1), exhausted_only);
    EXPECT_EXIT((alloc.fail_after = 0, xrealloc(nullptr, 10)), ::testing::ExitedWithCode(1),
                exhausted_only);
    std::size_t n = 64;
    void* p = xmalloc(n);
    EXPECT_EXIT((alloc.fail_after = 0, x2realloc(p, &n)), ::testing::ExitedWithCode(1),
                exhausted_only);
    std::free(p);
}

TEST_F(Xalloc, SizeLimitsAreCheckedBeforeAllocating)
{
    const std::size_t half = SIZE_MAX / 2;
    void* p = xmalloc(1);

    // The largest count that may double still asks the allocator.
    EXPECT_EXIT(
        {
            fault::trace_refusing_huge();
            std::size_t n = half;
            x2realloc(p, &n);
        },
        ::testing::ExitedWithCode(1), refused_then_exhausted(2 * half));
    EXPECT_EXIT(
        {
            fault::trace_refusing_huge();
            std::size_t n = half + 1;
            x2realloc(p, &n);
        },
        ::testing::ExitedWithCode(1), exhausted_only);
    // In elements of four bytes: the largest count that may double asks,
    // and a count whose double would wrap around never does.
    EXPECT_EXIT(
        {
            fault::trace_refusing_huge();
            std::size_t n = half / 4;
            x2realloc_elems(p, &n, 4);
        },
        ::testing::ExitedWithCode(1), refused_then_exhausted(half / 4 * 2 * 4));
    EXPECT_EXIT(
        {
            fault::trace_refusing_huge();
            std::size_t n = half + 1;
            x2realloc_elems(p, &n, 4);
        },
        ::testing::ExitedWithCode(1), exhausted_only);

    EXPECT_EXIT((fault::trace_refusing_huge(), xmalloc_elems(SIZE_MAX / 4, 4)),
                ::testing::ExitedWithCode(1), refused_then_exhausted(SIZE_MAX / 4 * 4));
    EXPECT_EXIT((fault::trace_refusing_huge(), xmalloc_elems(SIZE_MAX / 4 + 1, 4)),
                ::testing::ExitedWithCode(1), exhausted_only);
    EXPECT_EXIT((fault::trace_refusing_huge(), xrealloc_elems(p, SIZE_MAX / 4, 4)),
                ::testing::ExitedWithCode(1), refused_then_exhausted(SIZE_MAX / 4 * 4));
    EXPECT_EXIT((fault::trace_refusing_huge(), xrealloc_elems(p, SIZE_MAX / 4 + 1, 4)),
                ::testing::ExitedWithCode(1), exhausted_only);
    std::free(p);
}

std::size_t refused_count;
void* refused_block;

// A refused doubling ends the process; an exit handler shows the count it
// left behind: unchanged when the count was too large to double, doubled
// when the allocator refused the block, since the count is stored first.
TEST_F(Xalloc, RefusedDoublingLeavesItsCount)
{
    const struct {
        std::size_t count;
        long fail_after;
        std::size_t left;
    } rows[] = {{SIZE_MAX / 2 + 1, -1, SIZE_MAX / 2 + 1}, {64, 0, 128}};
    for (const auto& row : rows) {
        refused_count = row.count;
        EXPECT_EXIT(
            {
                refused_block = xmalloc(1);
                std::atexit([] { std::fprintf(stderr, "count %zu\n", refused_count); });
                alloc.fail_after = row.fail_after;
                x2realloc(refused_block, &refused_count);
            },
            ::testing::ExitedWithCode(1),
            "memory exhausted\ncount " + std::to_string(row.left) + "\n$");
    }
}

TEST_F(Xalloc, ThirtyTwoBitLimits)
{
    if (SIZE_MAX != 4294967295u)
        GTEST_SKIP() << "size_t is not 32 bits here";
    void* p = xmalloc(1);
    EXPECT_EXIT(
        {
            fault::trace_refusing_huge();
            std::size_t n = 2147483647;
            x2realloc(p, &n);
        },
        ::testing::ExitedWithCode(1), "^alloc 4294967294\n[^\n]*: memory exhausted\n$");
    EXPECT_EXIT(
        {
            fault::trace_refusing_huge();
            std::size_t n = 2147483648u;
            x2realloc(p, &n);
        },
        ::testing::ExitedWithCode(1), exhausted_only);
    std::free(p);
}

TEST_F(Xalloc, DieAbortsWhenErrorReturns)
{
    EXPECT_EXIT((exit_failure = 0, xalloc_die()), ::testing::KilledBySignal(SIGABRT),
                "memory exhausted\n");
    EXPECT_EXIT(xalloc_die(), ::testing::ExitedWithCode(1), exhausted_only);
}

} // namespace
