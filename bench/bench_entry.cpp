/*
** bench_entry.cpp - rows per second through KLOColMapWExit for every country, and the
** operand parser.
**
** The host is the lean in-process host of the tests (tests/support/lean_host.h): its
** callbacks copy a prepared value and record what is put, so the numbers are the exit's
** own cost.  Per country that initialises:
**   Mask/CC/compact     method=mask, compact sources, a compact format
**   Mask/CC/separated   method=mask, separated sources, a separated format
**   MaskValidate/...    the same with validate=y
**   Random/CC/...       method=random (one secure-generator call per draw)
** and Mask/FR/switch_column (the country read from a column on every row),
** Mask/FR/source_length_255 (a source column declared with 255 characters), the formats
** that replace the most (Mask/FR/15X, Mask/UK/8X1C with the prefix), the same rows
** through the test emulator (Mask/ES/emulator: what a heavier host adds), the row path
** without a country (NULL written as NULL), RandomNumber alone, and ParseOperands.
** Random rows also report draws/row: the RandomNumber calls one row makes.
*/
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "exit/operands/operands.h"
#include "exit/random/random.h"
#include "host/emul/host_emul.h"
#include "platform/platform.h"
#include "tests/support/lean_host.h"

namespace {

using leanhost::Country;
using leanhost::LeanHost;

/* The compact and a separated format of each country. */
struct Layouts {
    const char16_t* compact;
    const char16_t* separated;
};
Layouts LayoutsOf(const Country& c) {
    switch (c.bit) {
    case COUNTRY_FR: return {u"5X2C8X", u"5X2C6X-2X"};
    case COUNTRY_IT: return {u"16X", u"3X-3X-5X-5X"};
    case COUNTRY_ES: return {u"8X", u"7X-1X"};
    default: return {u"2C6X1C", u"2C-2X-2X-2X-1C"};
    }
}

/* Runs rows through a set-up column until the benchmark stops; every row must be written.
** The host only measures what is put. */
void RunRows(benchmark::State& state, LeanHost& h) {
    h.keepPuts(false);
    if (h.row() != EXIT_DONE) {
        state.SkipWithError("the first row was not written");
        return;
    }
    int16_t rc = 0;
    for (auto _ : state) rc |= h.row();
    if (rc != EXIT_DONE) state.SkipWithError("a row was not written");
    state.counters["rows/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["ns/row"] = benchmark::Counter(double(state.iterations()),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

/* Masks valid sources of a country with one format. */
void MaskFormat(benchmark::State& state, const Country& c, const char16_t* format, const char16_t* extra,
                int32_t srcLength = 20) {
    LeanHost::Columns cols;
    cols.srcLength = srcLength;
    LeanHost h(leanhost::Operands(c, u"mask", format, extra), cols);
    h.setValues(leanhost::DrawValid(c, 1024, format));
    RunRows(state, h);
    h.end();
}

void MaskRows(benchmark::State& state, const Country& c, bool separated, const char16_t* extra,
              int32_t srcLength = 20) {
    Layouts l = LayoutsOf(c);
    MaskFormat(state, c, separated ? l.separated : l.compact, extra, srcLength);
}

/* The Spanish mask through the test emulator (hostemu::ColumnMap), a heavier host. */
void MaskThroughEmulator(benchmark::State& state) {
    const Country& es = leanhost::Countries()[2];
    std::vector<std::u16string> values = leanhost::DrawValid(es, 1024, u"8X");
    hostemu::ColumnMap m(&KLOColMapWExit, leanhost::Operands(es, u"mask", u"8X"), {{u"NID"}}, {{u"NID"}});
    size_t i = 0;
    int16_t rc = 0;
    for (auto _ : state) {
        m.set(u"NID", values[i++ % values.size()]);
        rc |= m.rowFast(nullptr, nullptr);
    }
    if (rc != EXIT_DONE) state.SkipWithError("a row was not written");
    state.counters["rows/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

/* Counts the secure generator's calls while forwarding them. */
uint64_t g_draws = 0;
uint32_t CountedDraw() {
    ++g_draws;
    return PlatformRandom32();
}

void RandomRows(benchmark::State& state, const Country& c, bool separated) {
    Layouts l = LayoutsOf(c);
    LeanHost h(leanhost::Operands(c, u"random", separated ? l.separated : l.compact));
    h.setValue(u"");
    /* Draws per row, measured apart from the timed loop. */
    g_draws = 0;
    RandomSourceFn old = SetRandomSource(&CountedDraw);
    const int sample = 20000;
    for (int i = 0; i < sample; ++i) h.row();
    SetRandomSource(old);
    state.counters["draws/row"] = double(g_draws) / sample;
    RunRows(state, h);
    h.end();
}

void MaskSwitchColumn(benchmark::State& state) {
    const Country& fr = leanhost::Countries()[0];
    LeanHost::Columns cols;
    cols.withSwitchColumn = true;
    LeanHost h(u"switch=CTRY,method=mask,format=(FR=5X2C8X)", cols);
    h.setSwitch(u"FR");
    h.setValues(leanhost::DrawValid(fr, 1024, u"5X2C8X"));
    RunRows(state, h);
    h.end();
}

/* The entry point's own row path: a NULL source written as NULL, no country routine. */
void NullRow(benchmark::State& state) {
    LeanHost::Columns cols;
    cols.srcNullable = cols.destNullable = true;
    LeanHost h(u"switch=\"ES,method=mask", cols);
    h.setNull();
    RunRows(state, h);
    h.end();
}

void SecureDraw(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(RandomNumber());
    state.counters["draws/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void Parse(benchmark::State& state, std::u16string text) {
    int entries = 0;
    for (auto _ : state) {
        MAP map{};
        ParseOperands(text.c_str(), &map, u',', u'=');
        entries += map.Count;
        FreeOperands(&map);
    }
    benchmark::DoNotOptimize(entries);
    state.counters["chars"] = double(text.size());
}

std::u16string Repeat(const std::u16string& s, int n) {
    std::u16string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

/* Registered before main: one benchmark per country that initialises. */
const bool kRegistered = [] {
    for (const Country& c : leanhost::Countries()) {
        if (!leanhost::CountryAvailable(c)) continue;
        std::string cc = leanhost::Name(c);
        for (bool sep : {false, true}) {
            std::string layout = sep ? "/separated" : "/compact";
            benchmark::RegisterBenchmark(("Mask/" + cc + layout).c_str(),
                                         [&c, sep](benchmark::State& s) { MaskRows(s, c, sep, u""); });
            benchmark::RegisterBenchmark(("MaskValidate/" + cc + layout).c_str(),
                                         [&c, sep](benchmark::State& s) { MaskRows(s, c, sep, u"validate=y"); });
            benchmark::RegisterBenchmark(("Random/" + cc + layout).c_str(),
                                         [&c, sep](benchmark::State& s) { RandomRows(s, c, sep); });
        }
    }
    if (leanhost::CountryAvailable(leanhost::Countries()[0])) {
        benchmark::RegisterBenchmark("Mask/FR/switch_column", MaskSwitchColumn);
        benchmark::RegisterBenchmark("Mask/FR/source_length_255", [](benchmark::State& s) {
            MaskRows(s, leanhost::Countries()[0], false, u"", 255);
        });
        benchmark::RegisterBenchmark("Mask/FR/15X", [](benchmark::State& s) {
            MaskFormat(s, leanhost::Countries()[0], u"15X", u"");
        });
    }
    if (leanhost::CountryAvailable(leanhost::Countries()[1])) {
        benchmark::RegisterBenchmark("Mask/UK/8X1C", [](benchmark::State& s) {
            MaskFormat(s, leanhost::Countries()[1], u"8X1C", u"");
        });
    }
    if (leanhost::CountryAvailable(leanhost::Countries()[2]))
        benchmark::RegisterBenchmark("Mask/ES/emulator", MaskThroughEmulator);
    benchmark::RegisterBenchmark("RowPath/null_to_null", NullRow);
    benchmark::RegisterBenchmark("RandomNumber", SecureDraw);
    benchmark::RegisterBenchmark("ParseOperands/typical", [](benchmark::State& s) {
        Parse(s, u"switch=CTRY,method=mask,format=(FR=5X2C8X,IT=16X)");
    });
    benchmark::RegisterBenchmark("ParseOperands/every_keyword", [](benchmark::State& s) {
        Parse(s, u"switch=\"FR,method=mask,validate=y,debug=n,status=y,source=NID,"
                 u"format=(FR=5X2C6X-2X,UK=2C-2X-2X-2X-1C,ES=7X-1X,IT=3X-3X-5X-5X)");
    });
    benchmark::RegisterBenchmark("ParseOperands/4000_chars_of_pairs",
                                 [](benchmark::State& s) { Parse(s, Repeat(u"swt=ab,", 570)); });
    benchmark::RegisterBenchmark("ParseOperands/4000_chars_of_parentheses",
                                 [](benchmark::State& s) { Parse(s, u"fmt=" + Repeat(u"(", 2000) + Repeat(u")", 2000)); });
    return true;
}();

} // namespace
