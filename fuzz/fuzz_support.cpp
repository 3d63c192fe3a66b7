/*
** fuzz_support.cpp - reader, templates, random source and allocation hook of the fuzz
** targets.
*/
#include "fuzz/fuzz_support.h"

#include <cstdio>

#include "exit/memory.h"
#include "exit/random/random.h"
#include "tests/support/lean_host.h"

namespace fuzz {

std::u16string Reader::str(size_t maxChars) {
    std::u16string s;
    for (int pieces = 0; pieces < 8; ++pieces) {
        uint8_t head = u8();
        switch (head & 3) {
        case 0: {
            size_t n = u8();
            for (size_t i = 0; i < n && left() >= 2; ++i) s += char16_t(u16());
            break;
        }
        case 1: {
            size_t n = u8();
            for (size_t i = 0; i < n && left() >= 1; ++i) s += char16_t(u8());
            break;
        }
        case 2: {
            char16_t unit = char16_t(u16());
            size_t count = u16();
            if (count > maxChars - s.size()) count = maxChars - s.size();
            s.append(count, unit);
            break;
        }
        default: {
            const std::vector<std::u16string>& t = Templates();
            s += t[u16() % t.size()];
            break;
        }
        }
        if (s.size() > maxChars) s.resize(maxChars);
        if (!(head & 0x80)) break;
    }
    return s;
}

/* ------------------------------------------------------------------ random source */

namespace {
uint32_t g_pool[16];
int g_poolSize = 0, g_poolNext = 0;
uint32_t g_xorshift = 1;

uint32_t PoolDraw() { return NextDraw(); }

uint32_t g_lcg = 12345;
uint32_t FixedDraw() {
    g_lcg = g_lcg * 1664525u + 1013904223u;
    return g_lcg;
}
} // namespace

void SeedDraws(Reader& r) {
    g_poolSize = r.u8() % 17;
    g_poolNext = 0;
    for (int i = 0; i < g_poolSize; ++i) g_pool[i] = r.u32();
    g_xorshift = 0x9E3779B9u;
    for (int i = 0; i < g_poolSize; ++i) g_xorshift = (g_xorshift ^ g_pool[i]) * 0x01000193u;
    if (g_xorshift == 0) g_xorshift = 1;
    SetRandomSource(&PoolDraw);
}

uint32_t NextDraw() {
    if (g_poolNext < g_poolSize) return g_pool[g_poolNext++];
    g_xorshift ^= g_xorshift << 13;
    g_xorshift ^= g_xorshift >> 17;
    g_xorshift ^= g_xorshift << 5;
    return g_xorshift;
}

/* ------------------------------------------------------------------ allocations */

namespace {
int g_failAt = 0, g_allocs = 0;
bool CountAndFail(size_t) { return ++g_allocs != g_failAt; }
} // namespace

void FailAllocation(int n) {
    g_failAt = n;
    g_allocs = 0;
    ZtSetAllocHook(n > 0 ? &CountAndFail : nullptr);
}

/* ------------------------------------------------------------------ templates */

const std::vector<std::u16string>& Templates() {
    static const std::vector<std::u16string> t = [] {
        std::vector<std::u16string> v = {
            u"", u" ", u"NID", u"nid", u"CTRY", u"\"NID\"", u"\"FR", u"\"UK", u"\"ES", u"\"IT", u"\"fr", u"\"XX",
            u"FR", u"UK", u"ES", u"IT", u"GB", u"UKX", u"mask", u"random", u"y", u"n",
            u"switch=", u"format=(", u"method=", u"validate=", u"source=", u"debug=", u"status=",
            std::u16string(4095, u'N'), std::u16string(4096, u'N'), std::u16string(600, u'x')};
        /* Valid numbers through the exit's own random method, with a fixed draw sequence so
        ** that the templates, and with them every saved input, mean the same each run. */
        RandomSourceFn old = SetRandomSource(&FixedDraw);
        for (const leanhost::Country& c : leanhost::Countries()) {
            std::vector<std::u16string> formats = leanhost::CountryFormats(c);
            for (const std::u16string& f : formats) v.push_back(f);
            for (const std::u16string& n : leanhost::DrawValid(c, 4)) v.push_back(n);
            for (const std::u16string& f : formats)
                for (const std::u16string& n : leanhost::DrawValid(c, 1, f)) v.push_back(n);
        }
        SetRandomSource(old);
        return v;
    }();
    return t;
}

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

} // namespace fuzz
