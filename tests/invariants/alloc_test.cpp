/* alloc_test.cpp - a row allocates nothing: counted through the exit's allocation hook and,
** where a program sees them, malloc, calloc and realloc (glibc: stand-ins; ASan: hooks). */
#include <gtest/gtest.h>

#include "exit/memory.h"
#include "host/emul/utf.h"
#include "support/lean_host.h"

static bool g_counting = false;
static long g_allocs = 0, g_mallocs = 0; /* the exit's; the C library's */

#if defined(__SANITIZE_ADDRESS__)
#define ZT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZT_ASAN 1
#endif
#endif

#if defined(ZT_ASAN)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
static void OnMalloc(const volatile void*, size_t) { g_mallocs += g_counting; }
static void OnFree(const volatile void*) {}
static const bool kMallocSeen = __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree);
#elif defined(__GLIBC__)
static void* Note(void* p) {
    g_mallocs += g_counting;
    return p;
}
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* malloc(size_t n) noexcept { return Note(__libc_malloc(n)); }
void* calloc(size_t n, size_t size) noexcept { return Note(__libc_calloc(n, size)); }
void* realloc(void* p, size_t n) noexcept { return Note(__libc_realloc(p, n)); }
void free(void* p) noexcept { __libc_free(p); }
}
static const bool kMallocSeen = true;
#else
static const bool kMallocSeen = false;
#endif

namespace {

using leanhost::Country;
using leanhost::LeanHost;
using leanhost::Operands;

bool CountExitAlloc(size_t) {
    g_allocs += g_counting;
    return true;
}

/* Runs rows, counting allocations. */
void CountRows(LeanHost& h, size_t rows) {
    ZtSetAllocHook(&CountExitAlloc);
    g_counting = true;
    for (size_t i = 0; i < rows; ++i) h.row();
    g_counting = false;
    ZtSetAllocHook(nullptr);
}

/* Every country with each method, formats, valid and invalid values, NULLs, a switch column. */
TEST(RowAllocations, NoRowAllocatesInAnyCountryMethodOrFormat) {
    bool covered = false;
    for (const Country& c : leanhost::Countries()) {
        if (!leanhost::CountryAvailable(c)) continue;
        covered = true;
        std::vector<std::u16string> formats = leanhost::CountryFormats(c);
        /* valid numbers in the default and a separated layout, then values that fail */
        std::vector<std::u16string> inputs = leanhost::DrawValid(c, 20);
        for (const std::u16string& v : leanhost::DrawValid(c, 20, formats.back()))
            inputs.push_back(v);
        std::u16string broken = inputs[0];
        broken.back() = broken.back() == u'0' ? u'1' : u'0';
        inputs.insert(inputs.end(), {u"", u"   ", u"?", broken, std::u16string(255, u'9'),
                                     u"\xD800\xDFFF\xFFFF"});
        const std::u16string configs[] = {
            Operands(c, u"mask"), Operands(c, u"mask", u"", u"validate=y"),
            Operands(c, u"mask", formats.front()), Operands(c, u"mask", formats.back()),
            Operands(c, u"random"), Operands(c, u"random", formats.back()),
            u"switch=CTRY,method=mask", Operands(c, u"mask", u"", u"debug=y,status=y")};
        for (const std::u16string& ops : configs) {
            LeanHost h(ops, {255, 1, 20, true, false, ops[7] == u'C'});
            h.setSwitch(c.code);
            h.setValues(inputs);
            g_allocs = g_mallocs = 0;
            CountRows(h, 1); /* the set-up allocates, and the counters see it */
            EXPECT_GT(g_allocs, 0);
            EXPECT_TRUE(!kMallocSeen || g_mallocs > 0);
            g_allocs = g_mallocs = 0;
            CountRows(h, 3 * inputs.size());
            h.setNull();
            CountRows(h, 10);
            h.end();
            EXPECT_EQ(g_allocs, 0) << Utf16ToUtf8(ops); /* opening the log file mallocs: */
            EXPECT_EQ(ops.find(u"debug") != ops.npos ? 0 : g_mallocs, 0) << Utf16ToUtf8(ops);
        }
    }
    if (!covered) GTEST_SKIP() << "no country initialises";
}

} // namespace
