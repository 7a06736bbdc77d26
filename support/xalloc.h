// Checked allocation.
//
// The x functions never report failure for a nonzero request: when the
// allocator refuses, or a size would not fit size_t, the process ends in
// xalloc_die with "memory exhausted".  A request for zero bytes is served
// as a request for one byte.
#pragma once

#include <stddef.h>

// Element-count forms; s is an element size of at least 1.
void* xmalloc_elems(size_t n, size_t s);
void* xrealloc_elems(void* p, size_t n, size_t s);
// Grows p geometrically: a null p gets *pn elements (64 bytes' worth when
// *pn is 0), any other p twice *pn.  The new count is stored in *pn.
void* x2realloc_elems(void* p, size_t* pn, size_t s);

// Byte forms: the element size is 1.
void* xmalloc(size_t n);
void* xrealloc(void* p, size_t n);
void* x2realloc(void* p, size_t* pn);

// malloc and realloc with zero-byte requests served as one byte.
// rpl_realloc(p, 0) releases p before requesting the new block.
void* rpl_malloc(size_t n);
void* rpl_realloc(void* p, size_t n);

[[noreturn]] void xalloc_die();
