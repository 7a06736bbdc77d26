#include "xgethostname.h"

#include <errno.h>
#include <stddef.h>
#include <stdlib.h>

#include <unistd.h>

#include "xalloc.h"

namespace
{

// Whether the first n bytes of s hold a NUL.  A name counts as whole only
// when its NUL falls before the sentinel: a gethostname that cuts a long
// name to the length and ends it with a NUL on the sentinel (musl's does)
// would otherwise pass off the cut name as the name.  A loop rather than
// memchr, whose import would cost the program more than it saves.
bool ends_before(const char* s, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (s[i] == '\0')
            return true;
    return false;
}

} // namespace

char* xgethostname()
{
    char* buf = nullptr;
    size_t size = 34;

    for (;;) {
        buf = static_cast<char*>(x2realloc(buf, &size));

        // Hand over all but the block's last byte, so a gethostname that
        // writes its NUL one past the length still stays inside the block.
        // The last handed byte is a sentinel.
        size_t len = size - 1;
        buf[len - 1] = '\0';
        errno = 0;

        if (gethostname(buf, len) == 0) {
            if (ends_before(buf, len - 1))
                return buf;
            continue;
        }

        int e = errno;
        if (e != 0 && e != ENAMETOOLONG && e != EINVAL && e != ENOMEM) {
            free(buf);
            errno = e;
            return nullptr;
        }
    }
}
