/* Copies a terminated string and returns where the next piece goes. */
#ifndef FERNWICK_TAILCOPY_H
#define FERNWICK_TAILCOPY_H

#ifdef __cplusplus
extern "C" {
#endif

/* Copies src, terminator included, to dst, and returns the address of the
   terminator written in dst, that is dst plus the length of src.  dst must
   have room for it; dst and src must not overlap. */
char* tailcopy(char* dst, const char* src);

#ifdef __cplusplus
}
#endif

#endif
