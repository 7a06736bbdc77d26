// These tests follow the slots from their initial state, so they run in
// the order written and share one process of their own.
#include "quote.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "fault.h"

namespace
{

using fault::alloc;

using Slots = fault::fixture;

char* first_builtin;

TEST_F(Slots, FirstSlotStartsInItsBuiltInBuffer)
{
    first_builtin = quote("abc");
    EXPECT_STREQ(first_builtin, "`abc'");
    // A rendering of 255 bytes still fits with its NUL.
    std::string a253(253, 'a');
    EXPECT_EQ(quote(a253.c_str()), first_builtin);
    EXPECT_EQ(std::string(first_builtin), "`" + a253 + "'");
    EXPECT_EQ(alloc.calls, 0);
}

// While the vector is still the built-in pair: a slot number too large for
// the size type ends the process before any allocation, and the largest
// that fits asks for the copy of the pair, then for the whole vector.
TEST_F(Slots, ThirtyTwoBitSlotLimit)
{
    if (SIZE_MAX != 4294967295u)
        GTEST_SKIP() << "size_t is not 32 bits here";
    EXPECT_EXIT((fault::trace_refusing_huge(), quote_n(536870911, "x")),
                ::testing::ExitedWithCode(1), fault::exhausted_only);
    EXPECT_EXIT((fault::trace_refusing_huge(), quote_n(536870910, "x")),
                ::testing::ExitedWithCode(1),
                "^alloc 8\nalloc 4294967288\n[^\n]*: memory exhausted\n$");
}

// Slot 0, moved to the heap before the vector first grows, keeps that
// buffer through the growth: a short rendering comes back there and
// allocates nothing.
bool heap_first_slot_survives_first_growth()
{
    std::string long_arg(298, 'h');
    char* heap = quote(long_arg.c_str());
    quote_n(1, "x");
    long calls = alloc.calls;
    long live = alloc.live;
    return heap != first_builtin && quote("short") == heap && alloc.calls == calls &&
           alloc.live == live;
}

// Slot 0's heap buffer, replaced by a larger one, is released before the
// larger one is asked for: one block stays live.
bool replaced_first_slot_buffer_is_released()
{
    long live = alloc.live;
    quote(std::string(298, 'a').c_str());
    quote(std::string(598, 'b').c_str());
    return alloc.last_request == 601u && alloc.live == live + 1 &&
           alloc.calls_at_last_free == alloc.calls - 1;
}

// Histories that need the slots as the process starts, each in a child
// forked from that state, which exits 0 when the history went as it must.
TEST_F(Slots, HistoriesFromTheStart)
{
    const struct {
        const char* name;
        bool (*history)();
    } rows[] = {
        {"heap slot 0 across the first growth", heap_first_slot_survives_first_growth},
        {"slot 0's heap buffer replaced", replaced_first_slot_buffer_is_released},
    };
    for (const auto& row : rows)
        EXPECT_EXIT(std::exit(row.history() ? 0 : 1), ::testing::ExitedWithCode(0), "") << row.name;
}

TEST_F(Slots, FirstGrowthKeepsSlotZeroInItsBuiltInBuffer)
{
    char* two = quote_n(2, "two");
    EXPECT_STREQ(two, "`two'");
    // One slot copied out of the built-in pair, the vector grown to three,
    // and slot 2's buffer of exactly its rendering and NUL.
    EXPECT_EQ(alloc.calls, 3);
    EXPECT_EQ(alloc.last_request, 6u);

    // Slot 0 renders into the built-in buffer still, allocating nothing.
    EXPECT_EQ(quote("abc"), first_builtin);
    EXPECT_STREQ(first_builtin, "`abc'");
    EXPECT_EQ(alloc.calls, 3);

    // Slot 1 was made unused: its first rendering gets a buffer of its own.
    char* one = quote_n(1, "one");
    EXPECT_STREQ(one, "`one'");
    EXPECT_EQ(alloc.calls, 4);
    EXPECT_EQ(alloc.last_request, 6u);
    EXPECT_STREQ(two, "`two'");
}

TEST_F(Slots, LongRenderingMovesTheFirstSlotToTheHeap)
{
    std::string a254(254, 'a');
    char* r = quote(a254.c_str());
    EXPECT_NE(r, first_builtin);
    EXPECT_EQ(std::string(r), "`" + a254 + "'");
    EXPECT_EQ(alloc.calls, 1);
    EXPECT_EQ(alloc.last_request, 257u);
    EXPECT_EQ(alloc.live, 1); // nothing freed: the built-in buffer is not the heap's

    // Shorter renderings reuse that buffer; the built-in one is not taken back.
    EXPECT_EQ(quote("xy"), r);
    EXPECT_STREQ(r, "`xy'");
    EXPECT_EQ(alloc.calls, 1);
}

TEST_F(Slots, GrowingTheVectorKeepsEarlierResults)
{
    char* zero = quote("zero");
    char* two = quote_n(2, "two");
    char* five = quote_n(5, "five");
    EXPECT_STREQ(zero, "`zero'");
    EXPECT_STREQ(two, "`two'");
    EXPECT_STREQ(five, "`five'");
    // The vector, on the heap already, is resized once; slot 5 gets its
    // buffer.  Slots 0 and 2 reuse theirs.
    EXPECT_EQ(alloc.calls, 2);
    EXPECT_EQ(alloc.last_request, 7u);

    // The slot just past the last one grows the vector too.
    char* six = quote_n(6, "six");
    EXPECT_STREQ(six, "`six'");
    EXPECT_EQ(alloc.calls, 4);

    // A new result in a slot leaves the other slots alone.
    quote_n(1, "uno");
    EXPECT_STREQ(zero, "`zero'");
    EXPECT_STREQ(two, "`two'");
    EXPECT_STREQ(five, "`five'");
    EXPECT_STREQ(six, "`six'");
}

TEST_F(Slots, SlotBuffersNeverShrink)
{
    std::string long_arg(398, 'l');
    char* big = quote_n(3, long_arg.c_str());
    EXPECT_EQ(alloc.last_request, 401u);
    long calls = alloc.calls;
    EXPECT_EQ(quote_n(3, "abc"), big);
    EXPECT_STREQ(big, "`abc'");
    EXPECT_EQ(alloc.calls, calls);
}

TEST_F(Slots, ErrnoIsPreserved)
{
    alloc.clobber_errno = true;
    std::string long_arg(600, 'e');
    for (int n : {0, 1, 7, 7, 0}) {
        errno = EILSEQ;
        quote_n(n, long_arg.c_str());
        EXPECT_EQ(errno, EILSEQ) << "slot " << n;
        errno = ENOSPC;
        quote_n(n, "short");
        EXPECT_EQ(errno, ENOSPC) << "slot " << n;
    }
}

TEST_F(Slots, StylesAndCharacterQuoting)
{
    EXPECT_STREQ(quotearg_n_style(1, quote_style::shell, "a b"), "'a b'");
    EXPECT_STREQ(quotearg_n_style(1, quote_style::shell, "ab"), "ab");
    EXPECT_STREQ(quotearg_n_style(1, quote_style::c, "a\nb"), "\"a\\nb\"");
    // The default record is literal, where the extra set does nothing.
    char* colon = quotearg_colon("a:b:c");
    EXPECT_STREQ(colon, "a:b:c");
    EXPECT_EQ(quote("x"), colon); // slot 0, as quote's
    EXPECT_STREQ(quotearg_char("a b\n", 'a'), "a b\n");
    // The per-style records start empty, whatever the default record holds.
    set_char_quoting(nullptr, 'a', 1);
    const std::string per_style[] = {quote("abc"), quote_n(1, "abc"),
                                     quotearg_n_style(2, quote_style::locale, "abc")};
    set_char_quoting(nullptr, 'a', 0);
    for (const std::string& got : per_style)
        EXPECT_EQ(got, "`abc'");
    // In a default style that escapes, the added character is escaped.
    default_quote_options.style = quote_style::c;
    const std::string escaped[] = {quotearg_colon("a:b"), quotearg_char("a b", ' ')};
    default_quote_options.style = quote_style::literal;
    EXPECT_EQ(escaped[0], "\"a\\:b\"");
    EXPECT_EQ(escaped[1], "\"a\\ b\"");
    quote_options untouched{};
    EXPECT_EQ(std::memcmp(&default_quote_options, &untouched, sizeof untouched), 0);
}

TEST_F(Slots, NegativeSlotAborts)
{
    EXPECT_EXIT(quote_n(-1, "x"), ::testing::KilledBySignal(SIGABRT), "");
}

TEST_F(Slots, ExhaustionWhileQuoting)
{
    std::string long_arg(300, 'x');
    EXPECT_EXIT((alloc.fail_after = 0, quote_n(5, long_arg.c_str())), ::testing::ExitedWithCode(1),
                fault::exhausted_only);
    EXPECT_EXIT((alloc.fail_after = 0, quote_n(50, "x")), ::testing::ExitedWithCode(1),
                fault::exhausted_only);
}

TEST_F(Slots, SlotNumberTooLargeForTheVector)
{
    // The vector is already on the heap, so growing it is one request.
    const std::size_t slot_size = sizeof(std::size_t) + sizeof(char*);
    const auto asked = [&](std::size_t count) {
        return "^alloc " + std::to_string(count * slot_size) + "\n[^\n]*: memory exhausted\n$";
    };
    if (SIZE_MAX / slot_size <= static_cast<std::size_t>(INT_MAX)) {
        int limit = static_cast<int>(SIZE_MAX / slot_size);
        EXPECT_EXIT((fault::trace_refusing_huge(), quote_n(limit, "x")),
                    ::testing::ExitedWithCode(1), fault::exhausted_only);
        EXPECT_EXIT((fault::trace_refusing_huge(), quote_n(limit - 1, "x")),
                    ::testing::ExitedWithCode(1), asked(static_cast<std::size_t>(limit)));
    } else {
        // Every int fits the size type: the largest is asked of the
        // allocator, which refuses it.
        EXPECT_EXIT((fault::trace_refusing_huge(), quote_n(INT_MAX, "x")),
                    ::testing::ExitedWithCode(1), asked(std::size_t(INT_MAX) + 1));
    }
}

} // namespace
