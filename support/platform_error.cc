#include "platform_error.h"

#ifndef FERNWICK_HAVE_ERROR
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void error(int status, int errnum, const char* format, ...)
{
    fflush(stdout);
    fprintf(stderr, "%s: ", program_invocation_name);
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    if (errnum != 0)
        fprintf(stderr, ": %s", strerror(errnum));
    fputc('\n', stderr);
    if (status != 0)
        exit(status);
}
#endif
