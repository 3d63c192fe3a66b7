/*
** bench_keyed.cpp - keyed masking: values per second per country and format, with the
** cycle-walking rounds they took, and the cost of opening a masker.
**
** Sources are 1024 valid numbers drawn by the exit's random method, masked in turn by one
** masker (one AES context, FF1 domains built at the open).  Counters: rows/s, ns/row,
** walk_mean (FF1 calls per value: 1 means no cycle walking) and walk_max.
**   Mask/CC/default     the country's default format
**   Mask/CC/<format>    the format that replaces the most, and one with few values
**   Unmask/CC/default   the reverse
**   Open/default        KeyedOpen and KeyedClose for the four countries
*/
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "keyed/keyed.h"
#include "tests/support/lean_host.h"

namespace {

const char kKey[] = "2b7e151628aed2a6abf7158809cf4f3c2b7e151628aed2a6abf7158809cf4f3c";

KEYED* Open(const std::u16string& operands) {
    KEYEDKEY key;
    char err[KEYED_ERR_CHARS];
    KeyedDecodeKey(kKey, std::strlen(kKey), &key, err);
    KEYED* k = KeyedOpen(&key, operands.c_str(), "", 0, err);
    KeyedWipeKey(&key);
    return k;
}

void Run(benchmark::State& state, const leanhost::Country& c, const char16_t* format, bool unmask) {
    std::u16string operands = format[0] ? std::u16string(u"format=(") + c.keyword + u"=" + format + u")" : u"";
    KEYED* k = Open(operands);
    std::vector<std::u16string> values = leanhost::DrawValid(c, 1024);
    if (!k || values.empty()) {
        state.SkipWithError("cannot open the masker or draw values");
        KeyedClose(k);
        return;
    }
    char16_t out[KEYED_OUT_CHARS], msg[MSG_BUF_CHARS];
    int32_t n;
    if (unmask) /* reverse what the masker gives */
        for (std::u16string& v : values)
            if (KeyedMask(k, c.bit, v.data(), int32_t(v.size()), out, &n, msg) == RC_OK) v.assign(out, size_t(n));
    KEYEDSTATS before;
    KeyedStats(k, c.bit, &before);
    size_t i = 0;
    int32_t bad = 0;
    for (auto _ : state) {
        const std::u16string& v = values[i++ & 1023];
        int32_t rc = unmask ? KeyedUnmask(k, c.bit, v.data(), int32_t(v.size()), out, &n, msg)
                            : KeyedMask(k, c.bit, v.data(), int32_t(v.size()), out, &n, msg);
        bad |= rc;
        benchmark::DoNotOptimize(out);
    }
    if (bad) state.SkipWithError("a value was refused");
    KEYEDSTATS s;
    KeyedStats(k, c.bit, &s);
    state.counters["rows/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["ns/row"] = benchmark::Counter(double(state.iterations()),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["walk_mean"] = double(s.Rounds - before.Rounds) / double(s.Values - before.Values);
    state.counters["walk_max"] = double(s.MaxRounds);
    KeyedClose(k);
}

void OpenClose(benchmark::State& state) {
    for (auto _ : state) KeyedClose(Open(u""));
}

/* Per country: the default, the format that replaces the most, and one with few values. */
struct Formats {
    const char16_t* most;
    const char16_t* few;
};
Formats FormatsOf(uint16_t bit) {
    switch (bit) {
    case COUNTRY_FR: return {u"15X", u"1X9C5X"};
    case COUNTRY_IT: return {u"16X", u"11C5X"};
    case COUNTRY_ES: return {u"7X-1X", u"8X"};
    default: return {u"8X1C", u"2C6X1C"};
    }
}

int Register() {
    for (const leanhost::Country& c : leanhost::Countries()) {
        std::string cc(c.code, c.code + 2);
        Formats f = FormatsOf(c.bit);
        benchmark::RegisterBenchmark(("Mask/" + cc + "/default").c_str(), Run, c, u"", false);
        benchmark::RegisterBenchmark(("Mask/" + cc + "/" + std::string(f.most, f.most + std::char_traits<char16_t>::length(f.most))).c_str(), Run, c, f.most, false);
        benchmark::RegisterBenchmark(("Mask/" + cc + "/" + std::string(f.few, f.few + std::char_traits<char16_t>::length(f.few))).c_str(), Run, c, f.few, false);
        benchmark::RegisterBenchmark(("Unmask/" + cc + "/default").c_str(), Run, c, u"", true);
    }
    benchmark::RegisterBenchmark("Open/default", OpenClose);
    return 0;
}
const int kRegistered = Register();

} // namespace
