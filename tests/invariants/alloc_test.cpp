/*
** alloc_test.cpp - a row allocates nothing.
**
** Counted around row calls (never around a column's first call, whose set-up allocates):
** the exit's allocation hook and the global operator new (replaced below; portable), and
** malloc/calloc/realloc where a program can see them (glibc: the definitions below stand
** in for the C library's; AddressSanitizer: its hooks).
*/
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "exit/memory.h"
#include "support/lean_host.h"

namespace {
bool g_counting = false;
long g_allocs = 0, g_mallocs = 0; /* exit and operator new; the C library */
void* Counted(std::size_t n) {
    if (g_counting) ++g_allocs;
    return std::malloc(n ? n : 1);
}
} // namespace

/* Out of line: inlined into a new-expression, malloc and free would pair with new/delete. */
#define ZT_REPLACED [[gnu::noinline]]
ZT_REPLACED void* operator new(std::size_t n) {
    if (void* p = Counted(n)) return p;
    throw std::bad_alloc();
}
ZT_REPLACED void* operator new[](std::size_t n) {
    if (void* p = Counted(n)) return p;
    throw std::bad_alloc();
}
ZT_REPLACED void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Counted(n); }
ZT_REPLACED void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Counted(n); }
ZT_REPLACED void operator delete(void* p) noexcept { std::free(p); }
ZT_REPLACED void operator delete[](void* p) noexcept { std::free(p); }
ZT_REPLACED void operator delete(void* p, std::size_t) noexcept { std::free(p); }
ZT_REPLACED void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

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
namespace {
void OnMalloc(const volatile void*, size_t) { g_mallocs += g_counting; }
void OnFree(const volatile void*) {}
const bool kMallocSeen = __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree) != 0;
} // namespace
#elif defined(__GLIBC__)
namespace {
void* Note(void* p) {
    g_mallocs += g_counting;
    return p;
}
} // namespace
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
namespace {
const bool kMallocSeen = true;
}
#else
namespace {
const bool kMallocSeen = false;
}
#endif

namespace {

using leanhost::Country;
using leanhost::LeanHost;

bool CountExitAlloc(size_t) {
    g_allocs += g_counting;
    return true;
}

/* Runs rows, counting allocations. */
void CountRows(LeanHost& h, size_t rows) {
    g_allocs = g_mallocs = 0;
    ZtSetAllocHook(&CountExitAlloc);
    g_counting = true;
    for (size_t i = 0; i < rows; ++i) h.row();
    g_counting = false;
    ZtSetAllocHook(nullptr);
}

/* Valid numbers in the default and a separated layout, then values that fail. */
std::vector<std::u16string> Inputs(const Country& c, const std::u16string& separated) {
    std::vector<std::u16string> v = leanhost::DrawValid(c, 20);
    for (const std::u16string& s : leanhost::DrawValid(c, 20, separated)) v.push_back(s);
    std::u16string broken = v[0];
    broken.back() = broken.back() == u'0' ? u'1' : u'0';
    v.insert(v.end(), {u"", u"   ", u"?", broken, std::u16string(255, u'9'), u"\xD800\xDFFF\xFFFF"});
    return v;
}

/* Every country that initialises, with each method, formats, valid and invalid values,
** NULLs and a switch column. */
TEST(RowAllocations, NoRowAllocatesInAnyCountryMethodOrFormat) {
    int covered = 0;
    for (const Country& c : leanhost::Countries()) {
        if (!leanhost::CountryAvailable(c)) continue;
        ++covered;
        std::vector<std::u16string> formats = leanhost::CountryFormats(c);
        std::vector<std::u16string> inputs = Inputs(c, formats.back());
        const struct {
            std::u16string operands;
            bool switchColumn, logs; /* logs: the log file is opened (the C library allocates) */
        } configs[] = {
            {leanhost::Operands(c, u"mask"), false, false},
            {leanhost::Operands(c, u"mask", u"", u"validate=y"), false, false},
            {leanhost::Operands(c, u"mask", formats.front()), false, false},
            {leanhost::Operands(c, u"mask", formats.back()), false, false},
            {leanhost::Operands(c, u"random"), false, false},
            {leanhost::Operands(c, u"random", formats.back()), false, false},
            {u"switch=CTRY,method=mask", true, false},
            {leanhost::Operands(c, u"mask", u"", u"debug=y,status=y"), false, true},
        };
        for (const auto& k : configs) {
            LeanHost::Columns cols;
            cols.srcLength = 255;
            cols.srcNullable = true;
            cols.withSwitchColumn = k.switchColumn;
            LeanHost h(k.operands, cols);
            h.setSwitch(c.code);
            h.setValues(inputs);
            h.row(); /* set-up */
            CountRows(h, 3 * inputs.size());
            long allocs = g_allocs, mallocs = g_mallocs;
            h.setNull();
            CountRows(h, 10);
            h.end();
            std::string label = leanhost::Name(c) + " " + std::string(k.operands.begin(), k.operands.end());
            EXPECT_EQ(allocs + g_allocs, 0) << label;
            EXPECT_EQ(k.logs ? 0 : mallocs + g_mallocs, 0) << label;
        }
    }
    if (covered == 0) GTEST_SKIP() << "no country initialises";
}

/* The counters see what they should: a set-up allocates through all that apply. */
TEST(RowAllocations, CountersSeeTheSetUp) {
    LeanHost h(u"switch=\"XX,method=random");
    CountRows(h, 1);
    h.end();
    EXPECT_GT(g_allocs, 0);
    EXPECT_TRUE(!kMallocSeen || g_mallocs > 0);
    g_allocs = 0;
    g_counting = true;
    std::string* grown = new std::string(100, 'x'); /* the object and its characters */
    g_counting = false;
    delete grown;
    EXPECT_EQ(g_allocs, 2);
}

} // namespace
