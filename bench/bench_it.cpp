/*
** bench_it.cpp - rows per second of the Italian codice fiscale through KLOColMapWExit.
**
** Two hosts: the test emulator (ColumnMap::rowFast) and a lean in-process host below that
** hands out pre-built values and only counts what is put, so the exit's own cost shows.
*/
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "countries/it/it.h"
#include "exit/host_records.h"
#include "exit/random/random.h"
#include "host/emul/host_emul.h"

namespace {

uint32_t g_seed = 12345;
uint32_t SeededDraw() {
    g_seed = g_seed * 1664525u + 1013904223u;
    return g_seed >> 8;
}

/* Valid codes from a seeded generator, compact, hyphen- and blank-separated; every eighth
** with substitution letters in the commune number. */
std::vector<std::u16string> MakeValues(size_t n) {
    RandomSourceFn old = SetRandomSource(&SeededDraw);
    std::vector<std::u16string> v;
    for (size_t i = 0; i < n; ++i) {
        char16_t code[17];
        RandomCodeIT(code);
        if (i % 8 == 7) {
            for (int p = 12; p < 15; ++p) code[p] = OmocodeLetters[code[p] - u'0'];
            SetControlChar(code);
        }
        std::u16string c(code, 16);
        switch (i % 3) {
        case 0: v.push_back(c); break;
        case 1: v.push_back(c.substr(0, 3) + u'-' + c.substr(3, 3) + u'-' + c.substr(6, 5) + u'-' + c.substr(11)); break;
        default: v.push_back(c.substr(0, 3) + u' ' + c.substr(3, 3) + u' ' + c.substr(6, 5) + u' ' + c.substr(11)); break;
        }
    }
    SetRandomSource(old);
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
    h.src.Col[0].Length = h.dst.Col[0].Length = 19;
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

void BM_MaskIT_LeanHost(benchmark::State& state) { RunLean(state, u"switch=\"IT"); }
void BM_MaskIT_LeanHost_AllParts(benchmark::State& state) {
    RunLean(state, u"switch=\"IT,validate=y,format=(IT=3X-3X-5X-5X)");
}
void BM_RandomIT_LeanHost(benchmark::State& state) { RunLean(state, u"switch=\"IT,method=random"); }

/* ------------------------------------------------------------------ test emulator */

void RunEmulator(benchmark::State& state, const char16_t* ops) {
    hostemu::ColumnMap m(&KLOColMapWExit, ops, {{u"NID", 1, 19}}, {{u"NID", 1, 19}});
    m.set(u"NID", u"BNC-LCU-80A01-D612U");
    int16_t rc = 0;
    for (auto _ : state) rc |= m.rowFast(nullptr, nullptr);
    m.end();
    if (rc != 0) state.SkipWithError("a row was not written");
    state.counters["rows/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_MaskIT_Emulator(benchmark::State& state) { RunEmulator(state, u"switch=\"IT,validate=y,format=(IT=16X)"); }
void BM_RandomIT_Emulator(benchmark::State& state) { RunEmulator(state, u"switch=\"IT,method=random"); }

} // namespace

BENCHMARK(BM_MaskIT_LeanHost);
BENCHMARK(BM_MaskIT_LeanHost_AllParts);
BENCHMARK(BM_RandomIT_LeanHost);
BENCHMARK(BM_MaskIT_Emulator);
BENCHMARK(BM_RandomIT_Emulator);
