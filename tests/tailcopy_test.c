/* tailcopy from C, and from C++ (tailcopy_test.cc): the object links into
   a program of either language and behaves. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tailcopy.h"

static int passed, failed;

static void check(int ok, const char* what)
{
    if (ok) {
        ++passed;
    } else {
        ++failed;
        printf("FAIL %s\n", what);
    }
}

int main(void)
{
    char buf[16];

    memset(buf, 'x', sizeof buf);
    check(tailcopy(buf, "") == buf, "empty source returns dst");
    check(buf[0] == '\0' && buf[1] == 'x', "empty source writes only the terminator");

    memset(buf, 'x', sizeof buf);
    char* end = tailcopy(tailcopy(buf, "ab"), "cd");
    check(end == buf + 4, "chained calls return the final terminator");
    check(memcmp(buf, "abcd", 5) == 0 && buf[5] == 'x', "chained calls leave abcd");

    /* A long source, with every byte value but NUL, those above 0x7f included. */
    size_t n = (size_t)1 << 20;
    char* src = (char*)malloc(n + 1);
    char* dst = (char*)malloc(n + 2);
    if (!src || !dst) {
        printf("FAIL cannot allocate\n");
        return 1;
    }
    for (size_t i = 0; i < n; ++i)
        src[i] = (char)(1 + i % 255);
    src[n] = '\0';
    dst[n + 1] = 'x';
    check(tailcopy(dst, src) == dst + n, "1 MiB: result is dst plus the length");
    check(memcmp(dst, src, n + 1) == 0, "1 MiB: copied exactly, terminator included");
    check(dst[n + 1] == 'x', "1 MiB: nothing written past the terminator");
    free(src);
    free(dst);

    printf("%d passed, %d failed\n", passed, failed);
    return failed != 0;
}
