/*
** bench_uk.cpp - rows per second of the UK NINO through KLOColMapWExit.
**
** Two hosts: the test emulator (ColumnMap::rowFast) and a lean in-process host below that
** hands out pre-built values and only counts what is put, so the exit's own cost shows.
*/
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "countries/uk/uk.h"
#include "exit/host_records.h"
#include "host/emul/host_emul.h"

namespace {

/* Valid NINOs over all prefixes, in every source layout. */
std::vector<std::u16string> MakeValues(size_t n) {
    std::vector<std::u16string> v;
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        uint32_t num = (x >> 8) % 999999u + 1;
        std::u16string p(PrefixTableUK[(x >> 3) % UK_PREFIX_COUNT], 2);
        std::u16string d;
        for (uint32_t k = 100000, r = num; k; r %= k, k /= 10) d += char16_t(u'0' + r / k);
        char16_t suffix = char16_t(u'A' + i % 4);
        switch (i % 4) {
        case 0: v.push_back(p + d + suffix); break;
        case 1: v.push_back(p + d); break;
        case 2: v.push_back(p + u'-' + d + u'-' + suffix); break;
        default: v.push_back(p + u' ' + d.substr(0, 2) + u' ' + d.substr(2, 2) + u' ' + d.substr(4) + u' ' + suffix); break;
        }
    }
    return v;
}

/* ------------------------------------------------------------------ lean host */

struct LeanHost {
    std::u16string operands;
    INPUTPARMS ip{};
    COLLIST src{}, dst{};
    alignas(8) uint8_t work[512] = {};
    std::vector<std::u16string> values;
    size_t next = 0;
    uint64_t putChars = 0;
};
LeanHost* g_host = nullptr;

int16_t LeanGet(uint16_t, uint16_t, uint16_t, uint16_t, void* buffer, int32_t bufferLength, int16_t* nullInd) {
    const std::u16string& v = g_host->values[g_host->next];
    if (++g_host->next == g_host->values.size()) g_host->next = 0;
    size_t n = v.size() * 2 + 2 <= size_t(bufferLength) ? v.size() : 0;
    std::memcpy(buffer, v.c_str(), n * 2 + 2);
    *nullInd = 0;
    return 0;
}

int16_t LeanPut(uint16_t, uint16_t, uint16_t, void* buffer, int32_t, int16_t*) {
    const char16_t* s = static_cast<const char16_t*>(buffer);
    while (*s) ++s;
    g_host->putChars += uint64_t(s - static_cast<const char16_t*>(buffer));
    return 0;
}

void SetUpLeanHost(LeanHost& h, const char16_t* ops, int32_t destLength) {
    static char16_t name[] = u"NID";
    h.operands = ops;
    h.ip.CallType = 1;
    h.ip.pGetColValue = &LeanGet;
    h.ip.pPutColValue = &LeanPut;
    h.ip.pWorkArea = h.work;
    h.ip.NumParms = 1;
    h.ip.pParm[0] = h.operands.data();
    h.src.NumCols = h.dst.NumCols = 1;
    h.src.Col[0].pColName = h.dst.Col[0].pColName = name;
    h.src.Col[0].DataType = h.dst.Col[0].DataType = 1;
    h.src.Col[0].Length = 13;
    h.dst.Col[0].Length = destLength;
    h.src.Col[0].ColId = 11;
    h.values = MakeValues(1024);
}

void RunLean(benchmark::State& state, const char16_t* ops, int32_t destLength) {
    LeanHost h;
    SetUpLeanHost(h, ops, destLength);
    g_host = &h;
    int16_t rc = 0;
    for (auto _ : state) rc |= KLOColMapWExit(&h.ip, &h.src, &h.dst);
    h.ip.CallType = CALLTYPE_END;
    KLOColMapWExit(&h.ip, &h.src, &h.dst);
    g_host = nullptr;
    if (rc != 0 || h.putChars == 0) state.SkipWithError("a row was not written");
    state.counters["rows/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_MaskUK_LeanHost(benchmark::State& state) { RunLean(state, u"switch=\"UK", 13); }
void BM_MaskUK_LeanHost_PrefixFormat(benchmark::State& state) {
    RunLean(state, u"switch=\"UK,format=(UK=2X-2X-2X-2X-1C)", 13);
}
void BM_RandomUK_LeanHost(benchmark::State& state) { RunLean(state, u"switch=\"UK,method=random", 13); }

/* ------------------------------------------------------------------ test emulator */

void BM_MaskUK_Emulator(benchmark::State& state) {
    hostemu::ColumnMap m(&KLOColMapWExit, u"switch=\"UK", {{u"NID", 1, 13}}, {{u"NID", 1, 13}});
    m.set(u"NID", u"JK 12 34 56 D");
    int16_t rc = 0;
    for (auto _ : state) rc |= m.rowFast(nullptr, nullptr);
    m.end();
    if (rc != 0) state.SkipWithError("a row was not written");
    state.counters["rows/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_MaskUK_LeanHost);
BENCHMARK(BM_MaskUK_LeanHost_PrefixFormat);
BENCHMARK(BM_RandomUK_LeanHost);
BENCHMARK(BM_MaskUK_Emulator);
