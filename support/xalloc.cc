#include "xalloc.h"

#include <stdint.h>
#include <stdlib.h>

#include "platform_error.h"

#include "exitfail.h"

void* rpl_malloc(size_t n)
{
    return malloc(n ? n : 1);
}

void* rpl_realloc(void* p, size_t n)
{
    if (n == 0) {
        free(p);
        return rpl_malloc(1);
    }
    if (!p)
        return rpl_malloc(n);
    return realloc(p, n);
}

void* xmalloc_elems(size_t n, size_t s)
{
    if (SIZE_MAX / s < n)
        xalloc_die();
    void* r = rpl_malloc(n * s);
    // A zero count may come back null when even one byte cannot be had;
    // that is the caller's to handle, not an exhaustion.
    if (!r && n != 0)
        xalloc_die();
    return r;
}

void* xrealloc_elems(void* p, size_t n, size_t s)
{
    if (SIZE_MAX / s < n)
        xalloc_die();
    void* r = rpl_realloc(p, n * s);
    if (!r && n != 0)
        xalloc_die();
    return r;
}

void* x2realloc_elems(void* p, size_t* pn, size_t s)
{
    size_t n = *pn;
    if (!p) {
        if (n == 0) {
            n = 64 / s;
            n += !n;
        }
    } else {
        if ((SIZE_MAX / 2) / s < n)
            xalloc_die();
        n *= 2;
    }
    *pn = n;
    // The element-count form keeps a caller's oversized first count from
    // wrapping around; for every count that fits it is the byte request n * s.
    return xrealloc_elems(p, n, s);
}

void* xmalloc(size_t n)
{
    return xmalloc_elems(n, 1);
}

void* xrealloc(void* p, size_t n)
{
    return xrealloc_elems(p, n, 1);
}

void* x2realloc(void* p, size_t* pn)
{
    return x2realloc_elems(p, pn, 1);
}

void xalloc_die()
{
    error(exit_failure, 0, "%s", "memory exhausted");
    // error returns only when exit_failure is 0.
    abort();
}
