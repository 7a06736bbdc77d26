/* Linked into a copy of the program for the end-to-end tests: gethostname
   fails with EFAULT, as it would for a reason other than a short buffer. */
#include <errno.h>
#include <stddef.h>

int gethostname(char* name, size_t len)
{
    (void)name;
    (void)len;
    errno = EFAULT;
    return -1;
}
