/*
** sample_fr_test.cpp - a broad generated sample under every descriptor: each output is a
** well-formed NIR (correct key, valid commune), copies what its descriptor copies, has its
** layout and is the same on every run and in another column; arbitrary input is refused
** or masked, never anything else.
*/
#include <gtest/gtest.h>

#include <random>

#include "countries/fr/fr.h"
#include "fr_test_util.h"

namespace {

using frtest::U16;
using frtest::U8;

std::string Compact(const std::string& v) { return v.size() == 16 ? v.substr(0, 13) + v.substr(14) : v; }

/* Why a compact value is not a well-formed NIR; empty when it is. */
std::string Malformed(const std::string& v) {
    if (v.size() != 15) return "length";
    std::string dc = v.substr(5, 2);
    int d = dc == "2A" ? DEPT_2A : dc == "2B" ? DEPT_2B : dc == "20" ? -1 : std::atoi(dc.c_str());
    for (int i = 0; i < 15; ++i)
        if (!isdigit((unsigned char)v[i]) && !(i == 6 && (dc == "2A" || dc == "2B"))) return "character";
    if (std::string("1278").find(v[0]) == std::string::npos) return "sex";
    if (v.substr(3, 2) < "01" || v.substr(3, 2) > "12") return "month";
    if (d < 0 || d == DEPT_NONE || !IsValidCommuneFR(d, std::stoi(v.substr(7, 3)))) return "department or commune";
    return frtest::KeyOf(v) == v.substr(13) ? "" : "key";
}

TEST(SampleFR, EveryDescriptorGivesValidOutputs) {
    std::mt19937 rng(20240611);
    std::vector<std::string> inputs;
    while (inputs.size() < 1500) {
        int d = int(rng() % 98), c = int(1 + rng() % 999);
        if (d == DEPT_NONE || !IsValidCommuneFR(d, c)) continue;
        char s13[16];
        snprintf(s13, sizeof s13, "%c%02d%02d%s%03d%03d", "1278"[rng() % 4], int(rng() % 100), int(1 + rng() % 12),
                 d == DEPT_2A ? "2A" : d == DEPT_2B ? "2B" : std::to_string(100 + d).substr(1).c_str(), c, int(rng() % 1000));
        const char* seps[3] = {"", "-", " "};
        inputs.push_back(s13 + std::string(seps[inputs.size() % 3]) + frtest::KeyOf(s13));
    }
    for (int f = -1; f < FR_FORMAT_COUNT; ++f) {
        std::u16string ops = f < 0 ? u"switch=\"FR" : u"switch=\"FR,format=(FR=" + std::u16string(FormatTableFR[f]) + u")";
        frtest::Spelled spelled = frtest::Spell(f < 0 ? u"5X2C8X" : FormatTableFR[f]);
        auto first = frtest::NewMap(ops, 16), second = frtest::NewMap(ops, 16);
        for (const std::string& in : inputs) {
            first->set(u"NID", U16(in));
            second->set(u"NID", U16(in));
            std::string out = U8(first->row().put);
            ASSERT_EQ(U8(first->row().put), out) << in << " " << U8(ops);
            ASSERT_EQ(U8(second->row().put), out) << in << " " << U8(ops);
            char sep = f >= 0 ? spelled.sep : in.size() == 16 ? in[13] : 0;
            ASSERT_EQ(out.size() == 16 ? out[13] : 0, sep) << in << " " << U8(ops);
            std::string ci = Compact(in), co = Compact(out);
            ASSERT_EQ(Malformed(co), "") << in << " -> " << out << " " << U8(ops);
            for (int p = 1; p <= 15; ++p)
                if (!spelled.masked[p]) { ASSERT_EQ(ci[p - 1], co[p - 1]) << in << " -> " << out << " " << U8(ops); }
        }
    }
}

TEST(SampleFR, ArbitraryInputIsRefusedOrMasked) {
    const char16_t alphabet[] = u"01234567890123456789012AB- ab/\u00e9\u4e2d\xffff";
    std::mt19937 rng(7);
    for (const char16_t* ops : {u"switch=\"FR", u"switch=\"FR,validate=y,format=(FR=15X)"}) {
        auto m = frtest::NewMap(ops, 16);
        for (int i = 0; i < 30000; ++i) {
            std::u16string v(i % 10 ? 14 + rng() % 4 : rng() % 300, u' ');
            for (auto& ch : v) ch = alphabet[rng() % (sizeof alphabet / 2 - 1)];
            m->set(u"NID", v);
            auto r = m->row();
            ASSERT_TRUE(r.rc == 0 || r.rc == 1) << U8(v);
            if (r.rc == 0 && !r.put.empty() && r.put[0] != u' ') { ASSERT_EQ(Malformed(Compact(U8(r.put))), "") << U8(v); }
        }
    }
}

} // namespace
