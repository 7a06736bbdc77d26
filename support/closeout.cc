#include "closeout.h"

#include <errno.h>
#include <stdio.h>

#include <stdio_ext.h>
#include <unistd.h>

#include "exitfail.h"
#include "platform_error.h"

namespace
{

// Flushes what standard output holds, then closes it: false, with errno
// set, when the flush or the close failed.  A flush that sets the error
// indicator has failed whatever it returns: on a hard write error (ENOSPC,
// EPIPE) some C libraries (uClibc-ng) discard the buffer and report the
// flush, and the close after it, as done.
bool flush_and_close(bool had_error, bool pending)
{
    if (pending) {
        errno = 0;
        if (fflush(stdout) != 0 || (!had_error && ferror_unlocked(stdout) != 0)) {
            int e = errno;
            fclose(stdout);
            errno = e;
            return false;
        }
    }
    return fclose(stdout) == 0;
}

} // namespace

void close_stdout()
{
    bool had_error = ferror_unlocked(stdout) != 0;
    bool pending = __fpending(stdout) != 0;
    bool close_failed = !flush_and_close(had_error, pending);
    int e = close_failed ? errno : 0;

    if (!had_error && !close_failed)
        return;
    // Standard output was closed from the start and never written to.
    if (e == EBADF && !had_error && !pending)
        return;

    error(0, e, "%s", "write error");
    // Exit processing is already under way: end here rather than call exit
    // a second time, which would also run this check again.
    if (exit_failure != 0)
        _exit(exit_failure);
}
