#include "quotearg.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exact_copy.h"

namespace
{

using namespace std::string_literals;
using qs = quote_style;

struct example {
    quote_style style;
    std::string arg;
    std::string want;
};

std::string style_name(quote_style s)
{
    static const char* const names[] = {"literal", "shell",  "shell-always", "c",
                                        "escape",  "locale", "clocale"};
    auto v = static_cast<std::uint32_t>(s);
    return v < 7 ? names[v] : "style " + std::to_string(v);
}

// Renders arg, at the very end of a heap block of its exact size, into
// buffers of every size from 0 to two past the full length and checks each
// one: the same length returned, the stored bytes a prefix of the full
// rendering, a NUL exactly when it fits, nothing written past the buffer
// and errno untouched.
void check_rendering(const quote_options& o, const std::string& text, std::size_t arg_len,
                     const std::string& want)
{
    const bool terminated = arg_len == SIZE_MAX;
    SCOPED_TRACE("style " + style_name(o.style) + ", argument \"" + text + "\"" +
                 (terminated ? " NUL-terminated" : ""));
    const std::unique_ptr<char[]> copy = exact_copy(text, terminated);
    const char* arg = copy.get();
    const std::size_t n = want.size();
    errno = EDOM;
    EXPECT_EQ(quotearg_buffer(nullptr, 0, arg, arg_len, &o), n);
    EXPECT_EQ(errno, EDOM);
    for (std::size_t size = 1; size <= n + 2; ++size) {
        std::vector<char> buf(size + 4, '\x5a');
        errno = ERANGE;
        ASSERT_EQ(quotearg_buffer(buf.data(), size, arg, arg_len, &o), n) << "buffer " << size;
        EXPECT_EQ(errno, ERANGE);
        std::size_t stored = size < n ? size : n;
        EXPECT_EQ(std::string(buf.data(), stored), want.substr(0, stored)) << "buffer " << size;
        if (n < size) {
            EXPECT_EQ(buf[n], '\0') << "buffer " << size;
        }
        for (std::size_t k = n < size ? n + 1 : size; k < buf.size(); ++k)
            ASSERT_EQ(buf[k], '\x5a') << "byte " << k << " of buffer " << size;
    }
    // A buffer said to be as large as the size type allows: all of it fits.
    std::vector<char> big(n + 1, '\x5a');
    EXPECT_EQ(quotearg_buffer(big.data(), SIZE_MAX, arg, arg_len, &o), n);
    EXPECT_EQ(std::string(big.data(), n + 1), want + '\0');
}

// Counted, and NUL-terminated as a caller may say it: with the size type's
// largest value, written as that rather than as the library's constant.
void check_example(const example& e, const quote_options& o)
{
    check_rendering(o, e.arg, e.arg.size(), e.want);
    if (e.arg.find('\0') == std::string::npos)
        check_rendering(o, e.arg, SIZE_MAX, e.want);
}

const example examples[] = {
    {qs::locale, "abc", "`abc'"},
    {qs::locale, "a'b", "`a\\'b'"},
    {qs::locale, "a\tb", "`a\\tb'"},
    {qs::locale, "", "`'"},
    {qs::locale, "\x01", "`\\001'"},
    {qs::locale, "'", "`\\''"},
    {qs::locale, "a\"b`", "`a\"b`'"},
    {qs::locale, "\a\b\f\n\r\t\v\\", "`\\a\\b\\f\\n\\r\\t\\v\\\\'"},
    {qs::locale, "\x7f\xe9\x80\xff\x1f", "`\\177\\351\\200\\377\\037'"},
    {qs::locale, "a\0b"s, "`a\\000b'"},
    {qs::locale, "\0"s, "`\\000'"},
    {qs::locale, "?\? ~#{}@$!", "`?\? ~#{}@$!'"},
    {qs::shell, "abc", "abc"},
    {qs::shell, "a b", "'a b'"},
    {qs::shell, "a'b", "'a'\\''b'"},
    {qs::shell, "", "''"},
    {qs::shell, "#x", "'#x'"},
    {qs::shell, "x#", "x#"},
    {qs::shell, "~x", "'~x'"},
    {qs::shell, "x~", "x~"},
    {qs::shell, "{", "'{'"},
    {qs::shell, "}", "'}'"},
    {qs::shell, "{}", "{}"},
    {qs::shell, "a}", "a}"},
    {qs::shell, "{a", "{a"},
    {qs::shell, "\a\b\v\f\x01\x7f\x80\xff@", "\a\b\v\f\x01\x7f\x80\xff@"},
    {qs::shell, "a\0b"s, "a\0b"s},
    {qs::shell, "\0a"s, "\0a"s},
    {qs::shell, "@a", "@a"},
    {qs::shell, "a?", "'a?'"},
    {qs::shell, "a\\b", "'a\\b'"},
    {qs::shell, "a\nb", "'a\nb'"},
    {qs::shell, "a\tb", "'a\tb'"},
    {qs::shell, "ab c", "'ab c'"},
    {qs::shell, "%+,-./09:AZ]_az", "%+,-./09:AZ]_az"},
    {qs::shell_always, "abc", "'abc'"},
    {qs::shell_always, "", "''"},
    {qs::shell_always, "a'b", "'a'\\''b'"},
    {qs::shell_always, "'", "''\\'''"},
    {qs::shell_always, "a\nb\\", "'a\nb\\'"},
    {qs::shell_always, "a\0b"s, "'a\0b'"s},
    {qs::c, "a\"b", "\"a\\\"b\""},
    {qs::c, "a\"", "\"a\\\"\""},
    {qs::c, "'", "\"'\""},
    {qs::c, "", "\"\""},
    {qs::c, "?\?(", "\"?\\?(\""},
    {qs::c, "?\?!?\?'?\?)?\?-?\?/?\?<?\?=?\?>", "\"?\\?!?\\?'?\\?)?\\?-?\\?/?\\?<?\\?=?\\?>\""},
    {qs::c, "?\??", "\"?\??\""},
    {qs::c, "?\?a", "\"?\?a\""},
    {qs::c, "?a(", "\"?a(\""},
    {qs::c, "?\?", "\"?\?\""},
    {qs::c, "x?", "\"x?\""},
    {qs::c, "x?\?", "\"x?\?\""},
    {qs::c, "?\?\?(", "\"?\?\\?(\""},
    {qs::c, "?\?\"", "\"?\?\\\"\""},
    {qs::c, "a\0b"s, "\"a\\000b\""},
    {qs::c, "\\", "\"\\\\\""},
    {qs::escape, "a\nb", "a\\nb"},
    {qs::escape, "\"'?`", "\"'?`"},
    {qs::escape, "", ""},
    {qs::escape, "\x7f", "\\177"},
    {qs::escape, "?\?(", "?\?("},
    {qs::clocale, "a\"b", "\"a\\\"b\""},
    {qs::clocale, "?\?('", "\"?\?('\""},
    {qs::clocale, "", "\"\""},
    {qs::literal, "a\n\0'\"\\\xff"s, "a\n\0'\"\\\xff"s},
    {qs::literal, "", ""},
    {static_cast<qs>(7), "a b'\n", "a b'\n"},
    {static_cast<qs>(0xffffffffu), "a b'\n\0"s, "a b'\n\0"s},
};

TEST(QuoteargBuffer, Examples)
{
    for (const example& e : examples) {
        quote_options o{};
        o.style = e.style;
        check_example(e, o);
    }
}

// A counted argument ends at its length, whatever bytes follow it: here
// the one that would end a trigraph.
TEST(QuoteargBuffer, CountedArgumentEndsAtItsLength)
{
    quote_options o{};
    o.style = qs::c;
    check_rendering(o, "?\?=", 2, "\"?\?\"");
}

TEST(QuoteargBuffer, EveryShellSpecialForcesQuotes)
{
    for (char c : std::string(" !\"$&()*;<=>[^`|'?\t\n\r\\")) {
        quote_options o{};
        o.style = qs::shell;
        std::string arg = "x"s + c + "y";
        std::string want = c == '\'' ? "'x'\\''y'" : "'" + arg + "'";
        check_example({qs::shell, arg, want}, o);
    }
}

TEST(QuoteargBuffer, ExtraEscapes)
{
    struct row {
        quote_style style;
        std::string set;
        example e;
    };
    const row rows[] = {
        // Ordinary stores take the set's backslash, wherever the byte stands
        // and whatever its row: at a run's start, middle and end, ...
        {qs::c, "a", {qs::c, "abc", "\"\\abc\""}},
        {qs::locale, "bc", {qs::locale, "abcb", "`a\\b\\c\\b'"}},
        {qs::locale, ":", {qs::locale, "a:b", "`a\\:b'"}},
        {qs::locale, "@ ", {qs::locale, "@ x", "`\\@\\ x'"}},
        {qs::c, " #{}'~", {qs::c, "#a b{}'~", "\"\\#a\\ b\\{\\}\\'\\~\""}},
        {qs::escape, "\"'?`", {qs::escape, "\"'?`", "\\\"\\'\\?\\`"}},
        {qs::clocale, "?", {qs::clocale, "?\?(", "\"\\?\\?(\""}},
        // ... the closing mark after the guard's backslash, the last 0 of a
        // NUL's escape, the byte a trigraph ends with, but not its marks.
        {qs::locale, "'", {qs::locale, "'", "`\\\\''"}},
        {qs::c, "\"", {qs::c, "a\"", "\"a\\\\\"\""}},
        {qs::escape, "0", {qs::escape, "\0"s, "\\00\\0"}},
        {qs::c, "(", {qs::c, "?\?(", "\"?\\?\\(\""}},
        {qs::c, "?", {qs::c, "?\?(?", "\"?\\?(\\?\""}},
        // Letter and octal escapes and what the engine adds never take it,
        // though the set holds every byte they write.
        {qs::c, "\n\x01", {qs::c, "\n\x01", "\"\\n\\001\""}},
        {qs::c, "abtnvfr\\", {qs::c, "\a\b\t\n\v\f\r\\", "\"\\a\\b\\t\\n\\v\\f\\r\\\\\""}},
        {qs::escape, "\\013579\x7f\xe9", {qs::escape, "\x01\x7f\xe9", "\\001\\177\\351"}},
        {qs::escape, "\\\0"s, {qs::escape, "\0"s, "\\000"}},
        {qs::locale, "\\`", {qs::locale, "'", "`\\''"}},
        {qs::c, "?\\", {qs::c, "?\?!", "\"?\\?!\""}},
        // A set with a byte in each of its eight words, each that word's
        // lowest bit.
        {qs::c, "\0 @`\x80\xa0\xc0\xe0"s, {qs::c, " ", "\"\\ \""}},
        {qs::literal, "a", {qs::literal, "abc", "abc"}},
        {qs::shell, "a", {qs::shell, "abc", "abc"}},
        {qs::shell_always, "a", {qs::shell_always, "abc", "'abc'"}},
    };
    for (const row& r : rows) {
        quote_options o{};
        o.style = r.style;
        for (char c : r.set)
            set_char_quoting(&o, c, 1);
        check_example(r.e, o);
    }
}

TEST(QuoteargBuffer, NullOptionsUseTheDefaultRecord)
{
    EXPECT_EQ(quotearg_buffer(nullptr, 0, "a b", nul_terminated, nullptr), 3u);
    quote_options saved = default_quote_options;
    default_quote_options.style = qs::locale;
    set_char_quoting(nullptr, 'b', 1);
    char buf[16];
    EXPECT_EQ(quotearg_buffer(buf, sizeof buf, "a b", nul_terminated, nullptr), 6u);
    EXPECT_STREQ(buf, "`a \\b'");
    default_quote_options = saved;
}

TEST(SetCharQuoting, SetsAndClearsOneBit)
{
    quote_options o{};
    EXPECT_EQ(set_char_quoting(&o, 'A', 1), 0);
    EXPECT_EQ(set_char_quoting(&o, 'A', 1), 1);
    EXPECT_EQ(o.extra[2], 1u << 1); // 'A' is 65: word 2, bit 1
    EXPECT_EQ(set_char_quoting(&o, 'A', 2), 1);
    EXPECT_EQ(o.extra[2], 0u);
    EXPECT_EQ(set_char_quoting(&o, 'A', 3), 0);
    // Negative values too: their lowest bit decides, and no other bit moves.
    EXPECT_EQ(set_char_quoting(&o, 'A', -2), 1);
    EXPECT_EQ(set_char_quoting(&o, 'A', -1), 0);
    EXPECT_EQ(o.extra[2], 1u << 1);
    EXPECT_EQ(set_char_quoting(&o, '\xff', 1), 0);
    EXPECT_EQ(o.extra[7], 1u << 31);
    EXPECT_EQ(set_char_quoting(&o, '\0', 1), 0);
    EXPECT_EQ(o.extra[0], 1u);
}

} // namespace
