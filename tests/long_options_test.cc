#include "long_options.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <getopt.h>

#include <gtest/gtest.h>

namespace
{

[[noreturn]] void fake_usage(int status)
{
    std::fprintf(stderr, "usage %d\n", status);
    std::_Exit(3);
}

// Runs parse_long_options on argv in a child, which then exits 0 when
// opterr came back unchanged and optind at 0.
void parse_in_child(std::vector<const char*> argv)
{
    argv.push_back(nullptr);
    opterr = 7;
    parse_long_options(static_cast<int>(argv.size() - 1), const_cast<char**>(argv.data()), "cmd",
                       "Pkg", "2.5", fake_usage, "Ann", static_cast<const char*>(nullptr));
    std::fflush(stdout);
    std::_Exit(opterr == 7 && optind == 0 ? 0 : 2);
}

TEST(ParseLongOptions, HelpAloneCallsUsage)
{
    for (const char* arg : {"--help", "--he", "--h"})
        EXPECT_EXIT(parse_in_child({"cmd", arg}), ::testing::ExitedWithCode(3), "^usage 0\n$")
            << arg;
}

TEST(ParseLongOptions, AnythingElseReturnsSilently)
{
    const std::vector<const char*> lines[] = {
        {"cmd"},
        {"cmd", "--help", "x"},
        {"cmd", "x", "--help"},
        {"cmd", "--bogus"},
        {"cmd", "-h"},
        {"cmd", "--"},
        {"cmd", "name"},
        {"cmd", "--version", "--help"},
        {"cmd", "--help=x"},
        {"cmd", "--version=2"},
    };
    for (const auto& argv : lines)
        EXPECT_EXIT(parse_in_child(argv), ::testing::ExitedWithCode(0), "^$") << argv.size();
}

} // namespace
