/*
** alloc_test.cpp - a row allocates nothing.
**
** Three counters run around row calls (never around the first call of a column, whose
** set-up allocates): the exit's own allocation hook, the global operator new (replaced
** below; portable), and malloc/calloc/realloc where the platform lets a program see
** them (glibc: the program's definitions stand in for the C library's; AddressSanitizer:
** its allocation hooks).  Every country that initialises is run with each method,
** formats, valid and invalid values, NULLs and a switch column.
*/
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "exit/memory.h"
#include "support/lean_host.h"

namespace {
bool g_counting = false;
long g_exitAllocs = 0, g_news = 0, g_mallocs = 0;
} // namespace

/* ------------------------------------------------------------------ operator new */
/* Kept out of line: inlined into a new-expression, the compiler would see malloc and free
** paired with new and delete. */

#define ZT_REPLACED [[gnu::noinline]]
ZT_REPLACED void* operator new(std::size_t n) {
    if (g_counting) ++g_news;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
ZT_REPLACED void* operator new[](std::size_t n) {
    if (g_counting) ++g_news;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
ZT_REPLACED void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    if (g_counting) ++g_news;
    return std::malloc(n ? n : 1);
}
ZT_REPLACED void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    if (g_counting) ++g_news;
    return std::malloc(n ? n : 1);
}
ZT_REPLACED void operator delete(void* p) noexcept { std::free(p); }
ZT_REPLACED void operator delete[](void* p) noexcept { std::free(p); }
ZT_REPLACED void operator delete(void* p, std::size_t) noexcept { std::free(p); }
ZT_REPLACED void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

/* ------------------------------------------------------------------ malloc */

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
void OnMalloc(const volatile void*, size_t) {
    if (g_counting) ++g_mallocs;
}
void OnFree(const volatile void*) {}
const bool kMallocSeen = __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree) != 0;
} // namespace
#elif defined(__GLIBC__)
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* malloc(size_t n) noexcept {
    if (g_counting) ++g_mallocs;
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) noexcept {
    if (g_counting) ++g_mallocs;
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) noexcept {
    if (g_counting) ++g_mallocs;
    return __libc_realloc(p, n);
}
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
    if (g_counting) ++g_exitAllocs;
    return true;
}

struct Counts {
    long exitAllocs, news, mallocs;
};

/* Runs rows on a host that is already set up, counting the allocations. */
Counts CountRows(LeanHost& h, size_t rows) {
    g_exitAllocs = g_news = g_mallocs = 0;
    ZtSetAllocHook(&CountExitAlloc);
    g_counting = true;
    for (size_t i = 0; i < rows; ++i) h.row();
    g_counting = false;
    ZtSetAllocHook(nullptr);
    return Counts{g_exitAllocs, g_news, g_mallocs};
}

/* Valid numbers in the default and a separated layout, then values that fail. */
std::vector<std::u16string> Inputs(const Country& c) {
    std::vector<std::u16string> v = leanhost::DrawValid(c, 20);
    std::vector<std::u16string> formats = leanhost::CountryFormats(c);
    for (const std::u16string& s : leanhost::DrawValid(c, 20, formats.back())) v.push_back(s);
    std::u16string broken = v.empty() ? u"X" : v[0];
    broken.back() = broken.back() == u'0' ? u'1' : u'0';
    for (const std::u16string& s : {std::u16string(u""), std::u16string(u"   "), std::u16string(u"?"), broken,
                                    std::u16string(255, u'9'), std::u16string(u"\xD800\xDFFF\xFFFF")})
        v.push_back(s);
    return v;
}

struct Config {
    const char* what;
    std::u16string operands;
    bool switchColumn;
    bool countMalloc;             /* false where logging opens the log file (the C library allocates) */
};

TEST(RowAllocations, NoRowAllocatesInAnyCountryMethodOrFormat) {
    int covered = 0;
    for (const Country& c : leanhost::Countries()) {
        if (!leanhost::CountryAvailable(c)) continue;
        ++covered;
        std::vector<std::u16string> formats = leanhost::CountryFormats(c);
        std::vector<Config> configs = {
            {"mask", leanhost::Operands(c, u"mask"), false, true},
            {"mask validate", leanhost::Operands(c, u"mask", u"", u"validate=y"), false, true},
            {"mask first format", leanhost::Operands(c, u"mask", formats.front()), false, true},
            {"mask last format", leanhost::Operands(c, u"mask", formats.back()), false, true},
            {"random", leanhost::Operands(c, u"random"), false, true},
            {"random last format", leanhost::Operands(c, u"random", formats.back()), false, true},
            {"switch column", u"switch=CTRY,method=mask", true, true},
            {"debug", leanhost::Operands(c, u"mask", u"", u"debug=y,status=y"), false, false},
        };
        std::vector<std::u16string> inputs = Inputs(c);
        for (const Config& k : configs) {
            LeanHost::Columns cols;
            cols.srcLength = 255;
            cols.srcNullable = true;
            cols.withSwitchColumn = k.switchColumn;
            LeanHost h(k.operands, cols);
            h.setSwitch(c.code);
            h.setValues(inputs);
            h.row(); /* set-up */
            Counts n = CountRows(h, 3 * inputs.size());
            h.setNull();
            Counts nulls = CountRows(h, 10);
            h.end();
            std::string label = leanhost::Name(c) + " " + k.what;
            EXPECT_EQ(n.exitAllocs + nulls.exitAllocs, 0) << label;
            EXPECT_EQ(n.news + nulls.news, 0) << label;
            if (k.countMalloc) {
                EXPECT_EQ(n.mallocs + nulls.mallocs, 0) << label;
            }
        }
    }
    if (covered == 0) GTEST_SKIP() << "no country initialises";
}

/* The counters see what they should: a set-up allocates through all that apply. */
TEST(RowAllocations, CountersSeeTheSetUp) {
    LeanHost h(u"switch=\"XX,method=random");
    g_exitAllocs = g_news = g_mallocs = 0;
    ZtSetAllocHook(&CountExitAlloc);
    g_counting = true;
    h.row();
    g_counting = false;
    ZtSetAllocHook(nullptr);
    h.end();
    EXPECT_GT(g_exitAllocs, 0);
    if (kMallocSeen) {
        EXPECT_GT(g_mallocs, 0);
    }
    g_counting = true;
    std::string* grown = new std::string(100, 'x'); /* the object and its characters */
    g_counting = false;
    delete grown;
    EXPECT_EQ(g_news, 2);
}

} // namespace
