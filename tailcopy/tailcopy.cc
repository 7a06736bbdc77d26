#include "tailcopy.h"

// One pass, a byte at a time, with no length worked out first.  This file
// is compiled so that the loop cannot become a call into the C library:
// the object has to link against nothing.  Exported whatever visibility the
// build's flags choose, so that a shared library linked from the object
// exports it too.
extern "C" [[gnu::visibility("default")]] char* tailcopy(char* dst, const char* src)
{
    while ((*dst = *src++) != '\0')
        ++dst;
    return dst;
}
