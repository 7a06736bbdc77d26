// The quoting engine: renders a byte string so that it can be shown without
// ambiguity, into a caller's buffer, never allocating and never failing.
#pragma once

#include <stddef.h>
#include <stdint.h>

// How an argument is rendered.  Any value outside these renders as literal.
enum class quote_style : uint32_t {
    literal = 0,      // the bytes unchanged
    shell = 1,        // bare when safe for a shell, otherwise as shell_always
    shell_always = 2, // 'text', with ' written as '\''
    c = 3,            // "text" with C escapes
    escape = 4,       // C escapes, no marks
    locale = 5,       // `text' with C escapes
    clocale = 6,      // "text" with C escapes
};

// A plain value: the style and a set of bytes that get a backslash in the
// styles with escapes.  The bit of byte c is bit c % 32 of extra[c / 32].
struct quote_options {
    quote_style style;
    uint32_t extra[8];
};

// Stands in wherever a null record is given; literal with an empty set.
// NOLINTNEXTLINE(bugprone-dynamic-static-initializers): a declaration; zero-initialized
extern quote_options default_quote_options;

// Sets c's bit in the extra-escape set of *o (the default record when o is
// null) to i & 1 and returns the bit's previous value.
int set_char_quoting(quote_options* o, char c, int i);

// Length of an argument terminated by a NUL byte.
inline constexpr size_t nul_terminated = SIZE_MAX;

// Renders arg, of arg_len bytes (or NUL-terminated when arg_len is
// nul_terminated), as options (or the default record) say.  Stores at most
// buf_size bytes, adds a NUL when the rendering is shorter than buf_size,
// and returns the full rendering's length whatever fitted.  errno is left
// as it was.
size_t quotearg_buffer(char* buf, size_t buf_size, const char* arg, size_t arg_len,
                       const quote_options* options);
