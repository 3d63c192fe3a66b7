/*
** memory.cpp - allocation wrappers with a test seam.
*/
#include "exit/memory.h"

#include <cstdlib>

static ZtAllocHook g_allocHook = nullptr;

void ZtSetAllocHook(ZtAllocHook hook) { g_allocHook = hook; }

void* ZtCalloc(size_t count, size_t size) {
    if (g_allocHook && !g_allocHook(count * size)) return nullptr;
    return std::calloc(count, size);
}

void* ZtRealloc(void* p, size_t size) {
    if (g_allocHook && !g_allocHook(size)) return nullptr;
    return std::realloc(p, size);
}

void ZtFree(void* p) { std::free(p); }
