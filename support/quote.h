// Quoted arguments held in numbered slots, for use inside diagnostics.
//
// Each function returns a NUL-terminated rendering that this module owns:
// callers neither free nor modify it.  A result stays valid until the next
// call that uses the same slot number; other slots leave it alone.  errno is
// left as it was.
#pragma once

#include "quotearg.h"

// arg in style s, with an empty extra-escape set, in slot n.  A negative n
// aborts.
char* quotearg_n_style(int n, quote_style s, const char* arg);
// arg in the locale style, in slot n.
char* quote_n(int n, const char* arg);
// arg in the locale style, in slot 0.
char* quote(const char* arg);
// arg as the default record says, with ch added to its extra-escape set,
// in slot 0.  The default record itself is unchanged.
char* quotearg_char(const char* arg, char ch);
// quotearg_char with ':'.
char* quotearg_colon(const char* arg);
