#include "xgethostname.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "fault.h"

namespace
{

using fault::alloc;
using fault::host;
using fault::too_small;

using Xgethostname = fault::fixture;

TEST_F(Xgethostname, MatchesTheSystem)
{
    char expected[256] = {};
    ASSERT_EQ(gethostname(expected, sizeof expected - 1), 0);
    char* name = xgethostname();
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, expected);
    char* again = xgethostname();
    EXPECT_NE(again, name); // each call hands out a block of its own
    std::free(name);
    std::free(again);
    EXPECT_EQ(alloc.live, 0);
}

// A name fits a block of S bytes when it has at most S - 3 bytes, its NUL
// before the sentinel; every way of answering a buffer that is too small
// leads to the doubled block.
TEST_F(Xgethostname, GrowsUntilTheNameFits)
{
    struct row {
        std::size_t name_len;
        int calls;
    };
    const row rows[] = {{0, 1},  {1, 1},  {31, 1},  {32, 2},  {33, 2},
                        {65, 2}, {66, 3}, {133, 3}, {134, 4}, {300, 5}};
    const too_small modes[] = {too_small::fail_enametoolong, too_small::fail_einval,
                               too_small::fail_enomem,       too_small::fail_no_errno,
                               too_small::truncate,          too_small::truncate_nul,
                               too_small::nul_past};
    const std::size_t lens[] = {33, 67, 135, 271, 543};
    for (too_small mode : modes) {
        for (const row& r : rows) {
            SCOPED_TRACE(::testing::Message()
                         << "mode " << static_cast<int>(mode) << " length " << r.name_len);
            fault::reset();
            std::string want(r.name_len, 'n');
            if (!want.empty())
                want.back() = 'z';
            host.name = want.c_str();
            host.mode = mode;
            // A stale error number, and an allocator that sets one on
            // success: a failure that sets none must still read as too small.
            alloc.clobber_errno = true;
            errno = EPERM;
            char* got = xgethostname();
            ASSERT_NE(got, nullptr);
            EXPECT_EQ(std::string(got), want);
            EXPECT_EQ(host.calls, r.calls);
            for (int i = 0; i < host.calls; ++i) {
                EXPECT_EQ(host.lens[i], lens[i]);
                EXPECT_EQ(host.sentinels[i], '\0'); // set before each call
            }
            EXPECT_EQ(alloc.last_request, lens[r.calls - 1] + 1);
            std::free(got);
            EXPECT_EQ(alloc.live, 0);
        }
    }
}

TEST_F(Xgethostname, OtherFailuresReturnNullWithTheirErrno)
{
    for (int e : {EPERM, EFAULT, EIO, EACCES}) {
        SCOPED_TRACE(::testing::Message() << "errno " << e);
        fault::reset();
        host.name = "unused";
        host.fail_errno = e;
        alloc.clobber_errno = true; // the release must not cost the caller errno
        errno = 0;
        EXPECT_EQ(xgethostname(), nullptr);
        EXPECT_EQ(errno, e);
        EXPECT_EQ(host.calls, 1);
        EXPECT_EQ(alloc.live, 0); // the buffer was released
    }
}

TEST_F(Xgethostname, EndlessTooSmallEndsInExhaustion)
{
    EXPECT_EXIT(
        {
            host.name = "endless";
            host.fail_errno = ENAMETOOLONG;
            alloc.fail_above = 1 << 20;
            xgethostname();
        },
        ::testing::ExitedWithCode(1), fault::exhausted_only);
}

} // namespace
