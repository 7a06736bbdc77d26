#include "quote.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "xalloc.h"

namespace
{

struct slot {
    size_t size;
    char* val;
};

// Slot 0 starts in a static buffer, so short diagnostics allocate nothing.
char slot0[256];
slot slot0_pair = {sizeof slot0, slot0};
slot* slotvec = &slot0_pair;
unsigned int nslots = 1;

void grow_slots(int n)
{
    size_t count = static_cast<size_t>(n) + 1;
    if (count > SIZE_MAX / sizeof(slot))
        xalloc_die();
    if (slotvec == &slot0_pair) {
        slotvec = static_cast<slot*>(xmalloc(sizeof(slot)));
        *slotvec = slot0_pair;
    }
    slotvec = static_cast<slot*>(xrealloc(slotvec, count * sizeof(slot)));
    memset(slotvec + nslots, 0, (count - nslots) * sizeof(slot));
    nslots = static_cast<unsigned int>(count);
}

// A record of style s with an empty extra-escape set.
quote_options options_for_style(quote_style s)
{
    quote_options o{};
    o.style = s;
    return o;
}

// The complete rendering of arg (arg_len bytes, or nul_terminated) in
// slot n, with its NUL; errno is left as it was.
char* quotearg_slot(int n, const char* arg, size_t arg_len, const quote_options* options)
{
    int saved = errno;
    if (n < 0)
        abort();
    if (static_cast<unsigned int>(n) >= nslots)
        grow_slots(n);

    slot& s = slotvec[n];
    size_t q = quotearg_buffer(s.val, s.size, arg, arg_len, options);
    if (q >= s.size) {
        s.size = q + 1;
        if (s.val != slot0)
            free(s.val);
        s.val = static_cast<char*>(xmalloc(s.size));
        quotearg_buffer(s.val, s.size, arg, arg_len, options);
    }
    errno = saved;
    return s.val;
}

} // namespace

char* quotearg_n_style(int n, quote_style s, const char* arg)
{
    quote_options o = options_for_style(s);
    return quotearg_slot(n, arg, nul_terminated, &o);
}

char* quote_n(int n, const char* arg)
{
    return quotearg_n_style(n, quote_style::locale, arg);
}

char* quote(const char* arg)
{
    return quote_n(0, arg);
}

char* quotearg_char(const char* arg, char ch)
{
    quote_options o = default_quote_options;
    set_char_quoting(&o, ch, 1);
    return quotearg_slot(0, arg, nul_terminated, &o);
}

char* quotearg_colon(const char* arg)
{
    return quotearg_char(arg, ':');
}
