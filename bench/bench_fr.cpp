/*
** bench_fr.cpp - rows per second of the France routine through KLOColMapWExit.
**
** A lean in-process host (packed records, callbacks that copy the next input and take the
** output) drives one column over a ring of valid NIRs; the hostemu::ColumnMap variant
** shows the same through the test host.  Build with -DCMAKE_BUILD_TYPE=Release
** -DZT_BENCH=ON and read items_per_second.
*/
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "countries/fr/fr.h"
#include "host/emul/host_emul.h"

namespace {

/* A ring of valid NIRs in the given layouts. */
std::vector<std::u16string> Inputs(bool separated) {
    std::mt19937 rng(42);
    std::vector<std::u16string> v;
    while (v.size() < 4096) {
        int d = int(rng() % 98), c = int(1 + rng() % 999);
        if (d == DEPT_NONE || !IsValidCommuneFR(d, c)) continue;
        char16_t s[17];
        s[0] = u"1278"[rng() % 4];
        WriteDigitsFR(s + 1, rng() % 100, 2);
        WriteDigitsFR(s + 3, 1 + rng() % 12, 2);
        WriteDeptFR(s + 5, d);
        WriteDigitsFR(s + 7, uint32_t(c), 3);
        WriteDigitsFR(s + 10, rng() % 1000, 3);
        WriteDigitsFR(s + 13, uint32_t(NirKey(s)), 2);
        s[15] = 0;
        std::u16string nir(s);
        if (separated) nir.insert(13, 1, v.size() % 2 ? u'-' : u' ');
        v.push_back(nir);
    }
    return v;
}

/* The lean host: one source and one destination column, the records of a real host. */
struct LeanHost {
    static inline const std::u16string* next = nullptr;
    static inline uint64_t checksum = 0;
    alignas(8) uint8_t parms[sizeof(INPUTPARMS)] = {};
    COLLIST src{}, dst{};
    alignas(8) uint8_t work[512] = {};
    std::u16string ops, name = u"NID";

    static int16_t Get(uint16_t, uint16_t, uint16_t, uint16_t, void* buf, int32_t len, int16_t* ind) {
        size_t n = next->size() < size_t(len / 2 - 1) ? next->size() : size_t(len / 2 - 1);
        std::memcpy(buf, next->data(), n * 2);
        static_cast<char16_t*>(buf)[n] = 0;
        *ind = 0;
        return 0;
    }
    static int16_t Put(uint16_t, uint16_t, uint16_t, void* buf, int32_t, int16_t*) {
        checksum += static_cast<const char16_t*>(buf)[14];
        return 0;
    }
    explicit LeanHost(const char16_t* operands, int32_t destLength) : ops(operands) {
        INPUTPARMS* ip = reinterpret_cast<INPUTPARMS*>(parms);
        ip->CallType = 1;
        ip->pGetColValue = &Get;
        ip->pPutColValue = &Put;
        ip->pWorkArea = work;
        ip->NumParms = 1;
        ip->pParm[0] = ops.data();
        src.NumCols = dst.NumCols = 1;
        src.Col[0] = COLDESC{name.data(), 11, 1, 20, 0, 0, 1, 0, 0};
        dst.Col[0] = COLDESC{name.data(), 41, 1, destLength, 0, 0, 1, 0, 0};
    }
    ~LeanHost() { call(CALLTYPE_END); }
    int16_t call(uint32_t type) {
        INPUTPARMS* ip = reinterpret_cast<INPUTPARMS*>(parms);
        ip->CallType = type;
        return KLOColMapWExit(ip, &src, &dst);
    }
};

void RunLean(benchmark::State& state, const char16_t* ops, bool separated, int32_t destLength) {
    std::vector<std::u16string> inputs = Inputs(separated);
    LeanHost host(ops, destLength);
    size_t i = 0;
    for (auto _ : state) {
        LeanHost::next = &inputs[i++ & 4095];
        if (host.call(1) != 0) state.SkipWithError("row not written");
    }
    benchmark::DoNotOptimize(LeanHost::checksum);
    state.SetItemsProcessed(int64_t(state.iterations()));
}

void BM_MaskFR_NoFormat(benchmark::State& s) { RunLean(s, u"switch=\"FR", false, 20); }
void BM_MaskFR_AllFields(benchmark::State& s) { RunLean(s, u"switch=\"FR,format=(FR=15X)", false, 20); }
void BM_MaskFR_Separated(benchmark::State& s) { RunLean(s, u"switch=\"FR,format=(FR=5X2C6X-2X)", true, 20); }
void BM_MaskFR_Validate(benchmark::State& s) { RunLean(s, u"switch=\"FR,validate=y", false, 20); }
void BM_RandomFR(benchmark::State& s) { RunLean(s, u"switch=\"FR,method=random", false, 20); }

/* The same through the test host, one fixed value. */
void BM_MaskFR_ColumnMap(benchmark::State& state) {
    hostemu::ColumnMap m(&KLOColMapWExit, u"switch=\"FR", {{u"NID", 1, 20}}, {{u"NID", 1, 20}});
    m.set(u"NID", u"185057511234529");
    const char16_t* put = nullptr;
    bool isNull = false;
    for (auto _ : state) {
        if (m.rowFast(&put, &isNull) != 0) state.SkipWithError("row not written");
        benchmark::DoNotOptimize(put);
    }
    m.end();
    state.SetItemsProcessed(int64_t(state.iterations()));
}

BENCHMARK(BM_MaskFR_NoFormat);
BENCHMARK(BM_MaskFR_AllFields);
BENCHMARK(BM_MaskFR_Separated);
BENCHMARK(BM_MaskFR_Validate);
BENCHMARK(BM_MaskFR_ColumnMap);
BENCHMARK(BM_RandomFR);

} // namespace
