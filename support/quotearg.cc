#include "quotearg.h"

#include <ctype.h>
#include <errno.h>
#include <string.h>

quote_options default_quote_options;

namespace
{

// What the engine may do with a byte.  Each class is handled alike in
// every style, apart from the positional rules for '#', '~' and braces.
enum byte_class : unsigned char {
    k_nul,           // NUL
    k_bare_letter,   // BEL BS VT FF: letter escapes, left bare by the shell style
    k_quoted_letter, // TAB LF CR and backslash: letter escapes, quoted by the shell style
    k_special,       // shell metacharacters
    k_dquote,        // '"': a shell metacharacter and a closing mark
    k_hash,          // '#' '~': special only at the start
    k_brace,         // '{' '}': special only as the whole argument
    k_apos,          // '\''
    k_qmark,         // '?': globbing, and trigraphs in C
    k_plain,         // always stored as it is
    k_other,         // the rest: printable or octal in the escape styles
};

struct class_table {
    byte_class of[256];
};

constexpr void mark(class_table& t, const char* bytes, byte_class k)
{
    for (; *bytes; ++bytes)
        t.of[static_cast<unsigned char>(*bytes)] = k;
}

constexpr class_table make_classes()
{
    class_table t{};
    for (auto& k : t.of)
        k = k_other;
    t.of[0] = k_nul;
    mark(t, "\a\b\v\f", k_bare_letter);
    mark(t, "\t\n\r\\", k_quoted_letter);
    mark(t, " !$&()*;<=>[^`|", k_special);
    mark(t, "\"", k_dquote);
    mark(t, "#~", k_hash);
    mark(t, "{}", k_brace);
    mark(t, "'", k_apos);
    mark(t, "?", k_qmark);
    mark(t, "%+,-./0123456789:]_", k_plain);
    mark(t, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", k_plain);
    return t;
}

constexpr class_table classes = make_classes();

constexpr unsigned bit(byte_class k)
{
    return 1u << k;
}

// Per style: the marks, whether backslash escapes are on, and the classes
// whose bytes take the ordinary store wherever they stand (bytes of those
// classes are copied in runs; everything else takes the byte-by-byte path).
struct style_info {
    char open;
    char close;
    bool escapes;
    unsigned short runs;
};

constexpr unsigned k_all = (1u << (k_other + 1)) - 1;
constexpr unsigned k_escape_runs = bit(k_special) | bit(k_hash) | bit(k_brace) | bit(k_plain);

constexpr style_info styles[] = {
    /* literal */ {0, 0, false, k_all},
    /* shell */
    {0, 0, false,
     bit(k_nul) | bit(k_bare_letter) | bit(k_hash) | bit(k_brace) | bit(k_plain) | bit(k_other)},
    /* shell_always */ {'\'', '\'', false, k_all & ~bit(k_apos)},
    /* c */ {'"', '"', true, k_escape_runs | bit(k_apos)},
    /* escape */
    {0, 0, true, k_escape_runs | bit(k_dquote) | bit(k_apos) | bit(k_qmark)},
    /* locale */ {'`', '\'', true, k_escape_runs | bit(k_dquote) | bit(k_qmark)},
    /* clocale */ {'"', '"', true, k_escape_runs | bit(k_apos) | bit(k_qmark)},
};

constexpr bool in_set(const uint32_t* set, unsigned char c)
{
    return (set[c / 32] >> (c % 32)) & 1;
}

constexpr char letter_escape(unsigned char c)
{
    switch (c) {
    case 7: return 'a';
    case 8: return 'b';
    case 9: return 't';
    case 10: return 'n';
    case 11: return 'v';
    case 12: return 'f';
    case 13: return 'r';
    default: return '\\';
    }
}

constexpr bool is_trigraph_end(unsigned char c)
{
    switch (c) {
    case '!':
    case '\'':
    case '(':
    case ')':
    case '-':
    case '/':
    case '<':
    case '=':
    case '>': return true;
    default: return false;
    }
}

// The output side of a rendering: stores what fits, counts everything.
struct sink {
    char* buf;
    size_t size;
    size_t len;

    void put(char b)
    {
        if (len < size)
            buf[len] = b;
        ++len;
    }

    void put_run(const char* p, size_t n)
    {
        if (len < size) {
            size_t room = size - len;
            memcpy(buf + len, p, n < room ? n : room);
        }
        len += n;
    }
};

// End of the run of bytes from i on whose classes are in runs (and, when
// set is not null, whose extra-escape bit is clear).  A NUL-terminated
// argument never has k_nul in runs, so its terminator ends every run.
size_t run_end(const unsigned char* a, size_t i, size_t end, unsigned runs, const uint32_t* set)
{
    while (i != end) {
        unsigned char c = a[i];
        if (!((runs >> classes.of[c]) & 1))
            break;
        if (set && in_set(set, c))
            break;
        ++i;
    }
    return i;
}

// An ordinary store: the byte, after a backslash when escapes are on and
// the byte is in the extra-escape set.
void ordinary(sink& out, bool escapes, const uint32_t* set, unsigned char b)
{
    if (escapes && in_set(set, b))
        out.put('\\');
    out.put(static_cast<char>(b));
}

// Whether the byte at a[i] makes the shell style quote the whole argument:
// a shell metacharacter, a letter escape the shell would not keep, '#' or
// '~' at the start, or a brace that is the whole argument.  (An empty
// argument is quoted too; that the caller sees at the end.)
bool shell_quotes(const unsigned char* a, size_t i, size_t arg_len, bool terminated)
{
    switch (classes.of[a[i]]) {
    case k_quoted_letter:
    case k_special:
    case k_dquote:
    case k_apos:
    case k_qmark: return true;
    case k_hash: return i == 0;
    case k_brace: return i == 0 && (terminated ? a[1] == 0 : arg_len == 1);
    default: return false;
    }
}

// Renders the byte at a[i] by the byte table, once the shell style's
// decision is made, and returns the position of the next byte.
size_t render_byte(sink& out, quote_style style, bool escapes, const uint32_t* set,
                   const unsigned char* a, size_t i, size_t arg_len, bool terminated)
{
    unsigned char c = a[i];
    switch (classes.of[c]) {
    case k_nul:
        if (escapes) {
            out.put('\\');
            out.put('0');
            out.put('0');
            ordinary(out, escapes, set, '0');
        } else {
            out.put('\0');
        }
        break;
    case k_bare_letter:
    case k_quoted_letter:
        if (escapes) {
            out.put('\\');
            out.put(letter_escape(c));
        } else {
            out.put(static_cast<char>(c));
        }
        break;
    case k_apos:
        if (style == quote_style::shell_always) {
            out.put('\'');
            out.put('\\');
            out.put('\'');
        }
        ordinary(out, escapes, set, c);
        break;
    case k_qmark:
        if (style == quote_style::c && (terminated || i + 2 < arg_len) && a[i + 1] == '?' &&
            is_trigraph_end(a[i + 2])) {
            out.put('?');
            out.put('\\');
            out.put('?');
            i += 2;
            c = a[i];
        }
        ordinary(out, escapes, set, c);
        break;
    case k_other:
        if (!escapes) {
            out.put(static_cast<char>(c));
        } else if (isprint(c)) {
            ordinary(out, escapes, set, c);
        } else {
            out.put('\\');
            out.put(static_cast<char>('0' + (c >> 6)));
            out.put(static_cast<char>('0' + ((c >> 3) & 7)));
            out.put(static_cast<char>('0' + (c & 7)));
        }
        break;
    default: ordinary(out, escapes, set, c); break;
    }
    return i + 1;
}

// The engine: quotearg_buffer with the style given apart, options never
// null (only its extra-escape set is read), and errno not preserved.  Kept
// out of line: inlined into quotearg_buffer, its run scanner loses a
// quarter of its speed on x86-64 (bench/quotearg_bench).
[[gnu::noinline]] size_t quotearg_render(char* buf, size_t buf_size, const char* arg,
                                         size_t arg_len, quote_style style,
                                         const quote_options* options)
{
    const bool shell = style == quote_style::shell;
    const auto index = static_cast<uint32_t>(style);
    const style_info& info = styles[index < 7 ? index : 0];
    const uint32_t* set = options->extra;
    const auto* a = reinterpret_cast<const unsigned char*>(arg);
    const bool terminated = arg_len == nul_terminated;

    unsigned runs = info.runs;
    if (terminated)
        runs &= ~bit(k_nul);
    bool with_set = false;
    if (info.escapes)
        for (uint32_t w : options->extra)
            with_set |= w != 0;

    sink out{buf, buf_size, 0};
    if (info.open)
        out.put(info.open);

    size_t i = 0;
    for (;;) {
        // In the shell style the first byte decides about '#', '~' and a
        // lone brace, so it always takes the byte-by-byte path.
        if (i != 0 || !shell) {
            size_t j = run_end(a, i, arg_len, runs, with_set ? set : nullptr);
            out.put_run(arg + i, j - i);
            i = j;
        }
        if (terminated ? a[i] == 0 : i == arg_len)
            break;

        // The whole argument is rendered anew in the shell-always style.
        if (shell && shell_quotes(a, i, arg_len, terminated))
            return quotearg_render(buf, buf_size, arg, arg_len, quote_style::shell_always, options);
        if (info.escapes && info.close && (terminated || i + 1 <= arg_len) &&
            memcmp(arg + i, &info.close, 1) == 0)
            out.put('\\');
        i = render_byte(out, style, info.escapes, set, a, i, arg_len, terminated);
    }

    if (shell && i == 0)
        return quotearg_render(buf, buf_size, arg, arg_len, quote_style::shell_always, options);
    if (info.close)
        out.put(info.close);
    if (out.len < buf_size)
        buf[out.len] = '\0';
    return out.len;
}

} // namespace

int set_char_quoting(quote_options* o, char c, int i)
{
    quote_options* p = o ? o : &default_quote_options;
    unsigned char uc = static_cast<unsigned char>(c);
    uint32_t& word = p->extra[uc / 32];
    unsigned shift = uc % 32;
    int old = static_cast<int>((word >> shift) & 1);
    word ^= static_cast<uint32_t>((i & 1) ^ old) << shift;
    return old;
}

size_t quotearg_buffer(char* buf, size_t buf_size, const char* arg, size_t arg_len,
                       const quote_options* options)
{
    const quote_options* p = options ? options : &default_quote_options;
    int saved = errno;
    size_t len = quotearg_render(buf, buf_size, arg, arg_len, p->style, p);
    errno = saved;
    return len;
}
