// The platform's error(): the C library's own where it has one (glibc),
// else the small replacement in platform_error.cc (musl has none).
#pragma once

#ifdef FERNWICK_HAVE_ERROR
#include <error.h>
#else
// Flushes standard output, then writes on standard error the program name
// as the C library recorded it from the first command-line word, ": ", the
// message formatted from format, and for a nonzero errnum ": " and the
// system's text for it, then a newline.  Ends the process with exit(status)
// when status is not 0.
extern "C" void error(int status, int errnum, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
#endif
