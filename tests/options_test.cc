#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <getopt.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "closeout.h"
#include "exitfail.h"
#include "long_options.h"
#include "version_etc.h"

namespace
{

std::string banner(const char* command, ...)
{
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* f = open_memstream(&text, &size);
    std::va_list authors;
    va_start(authors, command);
    version_etc_va(f, command, "Pkg", "2.5", authors);
    va_end(authors);
    std::fclose(f);
    std::string s(text, size);
    std::free(text);
    return s;
}

// The text after the licence notice's closing blank line.
std::string authors_line(const std::string& b)
{
    return b.substr(b.find("\n\n") + 2);
}

TEST(VersionEtc, Banner)
{
    std::string b = banner("cmd", "Ann", static_cast<const char*>(nullptr));
    EXPECT_EQ(b.substr(0, b.find('\n') + 1), "cmd (Pkg) 2.5\n");
    EXPECT_EQ(b.substr(b.find('\n') + 1, b.find('\n', b.find('\n') + 1) - b.find('\n')),
              "Copyright (C) 2026 The Fernwick developers.\n");
    EXPECT_EQ(authors_line(b), "Written by Ann.\n");

    b = banner(nullptr, "Ann", static_cast<const char*>(nullptr));
    EXPECT_EQ(b.substr(0, b.find('\n') + 1), "Pkg 2.5\n");
}

TEST(VersionEtc, AuthorLines)
{
    const char* n = nullptr;
    const struct {
        std::string got, want;
    } rows[] = {
        {authors_line(banner("c", "A", "B", n)), "Written by A and B.\n"},
        {authors_line(banner("c", "A", "B", "C", n)), "Written by A, B, and C.\n"},
        {authors_line(banner("c", "A", "B", "C", "D", n)), "Written by A, B, C,\nand D.\n"},
        {authors_line(banner("c", "A", "B", "C", "D", "E", n)), "Written by A, B, C,\nD, and E.\n"},
        {authors_line(banner("c", "A", "B", "C", "D", "E", "F", n)),
         "Written by A, B, C,\nD, E, and F.\n"},
        {authors_line(banner("c", "A", "B", "C", "D", "E", "F", "G", n)),
         "Written by A, B, C,\nD, E, F, and G.\n"},
        {authors_line(banner("c", "A", "B", "C", "D", "E", "F", "G", "H", n)),
         "Written by A, B, C,\nD, E, F, G,\nand H.\n"},
        {authors_line(banner("c", "A", "B", "C", "D", "E", "F", "G", "H", "I", n)),
         "Written by A, B, C,\nD, E, F, G,\nH, and I.\n"},
        {authors_line(banner("c", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", n)),
         "Written by A, B, C,\nD, E, F, G,\nH, I, and others.\n"},
        {authors_line(banner("c", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", n)),
         "Written by A, B, C,\nD, E, F, G,\nH, I, and others.\n"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.got, r.want);
}

TEST(VersionEtc, NoAuthorsAborts)
{
    EXPECT_EXIT(banner("c", static_cast<const char*>(nullptr)), ::testing::KilledBySignal(SIGABRT),
                "");
}

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
    };
    for (const auto& argv : lines)
        EXPECT_EXIT(parse_in_child(argv), ::testing::ExitedWithCode(0), "^$") << argv.size();
}

// Each case prepares standard output in a child, then ends through exit
// with close_stdout registered, as the command does.
void run_closeout(void (*prepare)(), int exit_status = 0)
{
    std::atexit(close_stdout);
    prepare();
    std::exit(exit_status);
}

TEST(CloseStdout, Outcomes)
{
    const auto ok = ::testing::ExitedWithCode(0);
    const auto failed = ::testing::ExitedWithCode(1);

    // Written and closed without trouble: silent, status unchanged.
    EXPECT_EXIT(run_closeout([] {
                    std::freopen("/dev/null", "w", stdout);
                    std::puts("text");
                }),
                ok, "^$");
    EXPECT_EXIT(run_closeout([] { std::freopen("/dev/null", "w", stdout); }, 4),
                ::testing::ExitedWithCode(4), "^$");
    // Closed from the start and never written: silent.
    EXPECT_EXIT(run_closeout([] { close(STDOUT_FILENO); }), ok, "^$");
    // Closed from the start, then written: the close reports EBADF.
    EXPECT_EXIT(run_closeout([] {
                    close(STDOUT_FILENO);
                    std::puts("lost");
                }),
                failed, "^[^\n]*: write error: Bad file descriptor\n$");
    // A full device: the final flush fails.
    EXPECT_EXIT(run_closeout([] {
                    std::freopen("/dev/full", "w", stdout);
                    std::puts("lost");
                }),
                failed, "^[^\n]*: write error: No space left on device\n$");
    // An earlier write failed but the close succeeds: no system text.
    EXPECT_EXIT(run_closeout([] {
                    std::freopen("/dev/null", "r", stdout);
                    std::puts("lost");
                }),
                failed, "^[^\n]*: write error\n$");
    // With exit_failure 0 the report is made and the status stands.
    EXPECT_EXIT(run_closeout([] {
                    exit_failure = 0;
                    std::freopen("/dev/full", "w", stdout);
                    std::puts("lost");
                }),
                ok, "^[^\n]*: write error: No space left on device\n$");
}

} // namespace
