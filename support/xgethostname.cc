#include "xgethostname.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>

#include <unistd.h>

#include "xalloc.h"

char* xgethostname()
{
    char* buf = nullptr;
    std::size_t size = 34;

    for (;;) {
        buf = static_cast<char*>(x2realloc(buf, &size));

        // Hand over all but the block's last byte, so a gethostname that
        // writes its NUL one past the length still stays inside the block.
        // The last handed byte is a sentinel: a name that fits leaves it 0.
        std::size_t len = size - 1;
        buf[len - 1] = '\0';
        errno = 0;

        if (gethostname(buf, len) == 0) {
            if (!buf[len - 1])
                return buf;
            continue;
        }

        int e = errno;
        if (e != 0 && e != ENAMETOOLONG && e != EINVAL && e != ENOMEM) {
            std::free(buf);
            errno = e;
            return nullptr;
        }
    }
}
