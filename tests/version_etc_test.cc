#include "version_etc.h"

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace
{

// The banner of "Pkg" 2.5 with the given author list, written to f.
void write_banner(std::FILE* f, const char* command, ...)
{
    std::va_list authors;
    va_start(authors, command);
    version_etc_va(f, command, "Pkg", "2.5", authors);
    va_end(authors);
}

template <class... Names> std::string banner(const char* command, Names... names)
{
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* f = open_memstream(&text, &size);
    write_banner(f, command, names...);
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
    // Names are data, conversions and all.
    std::string b = banner("cmd%s", "Ann%n", static_cast<const char*>(nullptr));
    EXPECT_EQ(b.substr(0, b.find('\n') + 1), "cmd%s (Pkg) 2.5\n");
    EXPECT_EQ(b.substr(b.find('\n') + 1, b.find('\n', b.find('\n') + 1) - b.find('\n')),
              "Copyright (C) 2026 The Fernwick developers.\n");
    EXPECT_EQ(authors_line(b), "Written by Ann%n.\n");

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

// With no authors the banner is written through the licence notice, on
// unbuffered standard error as it goes, and then the process aborts (under
// the emulator, which reports the signal after it).
TEST(VersionEtc, NoAuthorsAborts)
{
    EXPECT_EXIT(write_banner(stderr, "c", static_cast<const char*>(nullptr)),
                ::testing::KilledBySignal(SIGABRT),
                "^c \\(Pkg\\) 2\\.5\nCopyright \\(C\\) 2026 .*by law\\.\n\n");
}

} // namespace
