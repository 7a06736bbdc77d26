#include "fault.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <malloc.h>

extern "C" {
void* __real_malloc(std::size_t);
void* __real_realloc(void*, std::size_t);
void __real_free(void*);
int __real_gethostname(char*, std::size_t);
int __real_fflush(std::FILE*);
int __real_fclose(std::FILE*);
[[noreturn]] void __real__exit(int);
[[noreturn]] void __real_abort();
// Defined only in builds that measure coverage; the coverage preset links
// it in (-Wl,--undefined), since a weak reference alone does not.
void __gcov_dump() __attribute__((weak));
}

namespace fault
{

allocator_control alloc;
host_control host;
stdio_control stdio;

void reset()
{
    alloc = allocator_control{};
    host = host_control{};
    stdio = stdio_control{};
}

namespace
{

// What runs as the process ends allocates too (coverage counters are
// written then): from then on nothing is refused or traced.
void stand_down()
{
    alloc.fail_after = -1;
    alloc.fail_above = ~std::size_t(0);
    alloc.trace = false;
}

void note(char event)
{
    std::size_t n = std::strlen(alloc.events);
    if (n + 1 < sizeof alloc.events)
        alloc.events[n] = event;
}

bool refuse(std::size_t n)
{
    static const bool registered = std::atexit(stand_down) == 0;
    (void)registered;
    ++alloc.calls;
    alloc.last_request = n;
    if (alloc.trace)
        std::fprintf(stderr, "alloc %zu\n", n);
    if (n > alloc.fail_above)
        return true;
    if (alloc.fail_after == 0)
        return true;
    if (alloc.fail_after > 0)
        --alloc.fail_after;
    return false;
}

// Bytes a block gains are filled with a pattern, so that nothing can pass
// for a store the code under test left out.
void poison(void* p, std::size_t from, std::size_t to)
{
    if (p && from < to)
        std::memset(static_cast<char*>(p) + from, 0xa5, to - from);
}

} // namespace
} // namespace fault

using fault::alloc;
using fault::host;
using fault::stdio;

extern "C" void* __wrap_malloc(std::size_t n)
{
    fault::note('m');
    if (fault::refuse(n)) {
        errno = ENOMEM;
        return nullptr;
    }
    void* p = __real_malloc(n);
    fault::poison(p, 0, p ? malloc_usable_size(p) : 0);
    alloc.live += p != nullptr;
    if (alloc.clobber_errno)
        errno = EAGAIN;
    return p;
}

extern "C" void* __wrap_realloc(void* p, std::size_t n)
{
    fault::note('r');
    if (fault::refuse(n)) {
        errno = ENOMEM;
        return nullptr;
    }
    std::size_t old = p ? malloc_usable_size(p) : 0;
    void* r = __real_realloc(p, n);
    fault::poison(r, old, n);
    alloc.live += !p && r;
    if (alloc.clobber_errno)
        errno = EAGAIN;
    return r;
}

extern "C" void __wrap_free(void* p)
{
    fault::note(p ? 'F' : 'f');
    if (p) {
        --alloc.live;
        alloc.calls_at_last_free = alloc.calls;
    }
    __real_free(p);
    if (alloc.clobber_errno)
        errno = EAGAIN;
}

extern "C" int __wrap_gethostname(char* buf, std::size_t len)
{
    if (!host.name)
        return __real_gethostname(buf, len);
    if (host.calls < 32) {
        host.lens[host.calls] = len;
        host.sentinels[host.calls] = buf[len - 1];
    }
    ++host.calls;

    if (host.fail_errno) {
        errno = host.fail_errno;
        return -1;
    }
    // Nothing is promised of the bytes past the name's NUL.
    std::memset(buf, 'x', len);
    std::size_t n = std::strlen(host.name);
    if (n < len) {
        std::memcpy(buf, host.name, n + 1);
        return 0;
    }
    std::memcpy(buf, host.name, len);
    switch (host.mode) {
    case fault::too_small::fail_enametoolong: errno = ENAMETOOLONG; return -1;
    case fault::too_small::fail_einval: errno = EINVAL; return -1;
    case fault::too_small::fail_enomem: errno = ENOMEM; return -1;
    case fault::too_small::fail_no_errno: return -1;
    case fault::too_small::truncate: return 0;
    case fault::too_small::truncate_nul: buf[len - 1] = '\0'; return 0;
    case fault::too_small::nul_past: buf[len] = '\0'; return 0;
    }
    return 0;
}

extern "C" int __wrap_fflush(std::FILE* f)
{
    int saved = errno;
    int r = __real_fflush(f);
    if (!stdio.hide_flush_failure)
        return r;
    if (stdio.hide_flush_errno)
        errno = saved;
    return 0;
}

extern "C" int __wrap_fclose(std::FILE* f)
{
    // The C library's own flush discards the buffer when it fails, so the
    // close after it has nothing left to fail on.
    if (stdio.hide_flush_failure)
        __real_fflush(f);
    int r = __real_fclose(f);
    if (stdio.close_errno)
        errno = stdio.close_errno;
    return r;
}

// _exit and abort skip exit's handlers, so the coverage counters are
// written first.
namespace
{
void dump_coverage()
{
    fault::stand_down();
    if (__gcov_dump)
        __gcov_dump();
}
} // namespace

extern "C" void __wrap__exit(int status)
{
    dump_coverage();
    __real__exit(status);
}

extern "C" void __wrap_abort()
{
    dump_coverage();
    __real_abort();
}
