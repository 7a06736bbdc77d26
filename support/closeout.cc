#include "closeout.h"

#include <errno.h>
#include <stdio.h>

#include <stdio_ext.h>
#include <unistd.h>

#include "exitfail.h"
#include "platform_error.h"

void close_stdout()
{
    bool had_error = ferror_unlocked(stdout) != 0;
    bool pending = __fpending(stdout) != 0;
    bool close_failed = fclose(stdout) != 0;
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
