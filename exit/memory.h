/*
** memory.h - the exit's allocations, all made at set-up and released at the end call.
**
** Every allocation goes through these three functions so that a test can make the n-th
** one fail, or count them around a row call to prove that a row allocates nothing.
*/
#ifndef ZT0NID_MEMORY_H
#define ZT0NID_MEMORY_H

#include <stddef.h>

void* ZtCalloc(size_t count, size_t size);
void* ZtRealloc(void* p, size_t size);
void ZtFree(void* p);

/* Test seam: the hook is asked before every ZtCalloc/ZtRealloc and makes it fail when it
** returns false.  Pass NULL to remove it. */
typedef bool (*ZtAllocHook)(size_t size);
void ZtSetAllocHook(ZtAllocHook hook);

#endif
