/*
** bench_es.cpp - rows per second of the Spanish NIF/NIE through KLOColMapWExit.
**
** Two hosts: the test emulator (ColumnMap::rowFast) and a lean in-process host below that
** hands out pre-built values and only checks what is put, so the exit's own cost shows.
*/
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "exit/host_records.h"
#include "host/emul/host_emul.h"

namespace {

/* Valid NIF and NIE values in every source layout. */
std::vector<std::u16string> MakeValues(size_t n) {
    static const char16_t kLetters[] = u"TRWAGMYFPDXBNJZSQVHLCKE";
    std::vector<std::u16string> v;
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        uint32_t num = (x >> 8) % 10000000u;
        std::u16string d;
        for (uint32_t k = 1000000, r = num; k; r %= k, k /= 10) d += char16_t(u'0' + r / k);
        char16_t letter = kLetters[num % 23];
        switch (i % 4) {
        case 0: v.push_back(d + letter); break;
        case 1: v.push_back(d + u'-' + letter); break;
        case 2: v.push_back(u"X" + d + letter); break;
        default: v.push_back(u"X " + d + u' ' + letter); break;
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

void SetUpLeanHost(LeanHost& h, const char16_t* ops) {
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
    h.src.Col[0].Length = h.dst.Col[0].Length = 11;
    h.src.Col[0].ColId = 11;
    h.values = MakeValues(1024);
}

void RunLean(benchmark::State& state, const char16_t* ops) {
    LeanHost h;
    SetUpLeanHost(h, ops);
    g_host = &h;
    int16_t rc = 0;
    for (auto _ : state) rc |= KLOColMapWExit(&h.ip, &h.src, &h.dst);
    h.ip.CallType = CALLTYPE_END;
    KLOColMapWExit(&h.ip, &h.src, &h.dst);
    g_host = nullptr;
    if (rc != 0 || h.putChars == 0) state.SkipWithError("a row was not written");
    state.counters["rows/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_MaskES_LeanHost(benchmark::State& state) { RunLean(state, u"switch=\"ES,validate=y"); }
void BM_MaskES_LeanHost_Format(benchmark::State& state) { RunLean(state, u"switch=\"ES,format=(ES=7X-1X)"); }
void BM_RandomES_LeanHost(benchmark::State& state) { RunLean(state, u"switch=\"ES,method=random"); }

/* ------------------------------------------------------------------ test emulator */

void BM_MaskES_Emulator(benchmark::State& state) {
    hostemu::ColumnMap m(&KLOColMapWExit, u"switch=\"ES,validate=y", {{u"NID", 1, 11}}, {{u"NID", 1, 11}});
    m.set(u"NID", u"X 7654321 J");
    int16_t rc = 0;
    for (auto _ : state) rc |= m.rowFast(nullptr, nullptr);
    m.end();
    if (rc != 0) state.SkipWithError("a row was not written");
    state.counters["rows/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_MaskES_LeanHost);
BENCHMARK(BM_MaskES_LeanHost_Format);
BENCHMARK(BM_RandomES_LeanHost);
BENCHMARK(BM_MaskES_Emulator);
