/*
** sample_fr_test.cpp - a broad generated sample through the entry point under every
** descriptor: each masked output is a well-formed NIR with a correct key and a valid
** commune, copies what its descriptor copies, and is the same on every run; arbitrary
** input never breaks the routine.
*/
#include <gtest/gtest.h>

#include <random>

#include "countries/fr/fr.h"
#include "fr_test_util.h"

namespace {

using frtest::U16;
using frtest::U8;

struct Gen {
    std::mt19937 rng{20240611};
    int u(int n) { return int(rng() % unsigned(n)); }

    /* A valid NIR in its compact or separated form. */
    std::string Nir() {
        int d;
        do d = u(DEPT_INDEX_COUNT);
        while (d == DEPT_NONE);
        int c;
        do c = 1 + u(999);
        while (!IsValidCommuneFR(d, c));
        char s13[16];
        snprintf(s13, sizeof s13, "%c%02d%02d%s%03d%03d", "1278"[u(4)], u(100), 1 + u(12),
                 d == DEPT_2A ? "2A" : d == DEPT_2B ? "2B" : std::to_string(100 + d).substr(1).c_str(), c, u(1000));
        std::string key = frtest::KeyOf(s13);
        switch (u(3)) {
        case 0: return std::string(s13) + key;
        case 1: return std::string(s13) + "-" + key;
        default: return std::string(s13) + " " + key;
        }
    }
};

std::string Compact(const std::string& v) { return v.size() == 16 ? v.substr(0, 13) + v.substr(14) : v; }

/* Why a compact output is not a well-formed NIR; empty when it is. */
std::string Malformed(const std::string& v) {
    if (v.size() != 15) return "length";
    for (int i = 0; i < 15; ++i)
        if (!isdigit((unsigned char)v[i]) && !(i == 6 && v[5] == '2' && (v[6] == 'A' || v[6] == 'B'))) return "character";
    if (std::string("1278").find(v[0]) == std::string::npos) return "sex";
    int month = std::stoi(v.substr(3, 2));
    if (month < 1 || month > 12) return "month";
    std::string dc = v.substr(5, 2);
    int d = dc == "2A" ? DEPT_2A : dc == "2B" ? DEPT_2B : std::stoi(dc);
    if ((d == 20 && dc != "2A") || d < 0 || d > 97 || d == DEPT_NONE || (d == 0 && dc != "2B")) return "department";
    if (!IsValidCommuneFR(d, std::stoi(v.substr(7, 3)))) return "commune";
    if (frtest::KeyOf(v) != v.substr(13)) return "key";
    return "";
}

/* Masks the sample under one descriptor (NULL: none) and checks every output. */
void CheckSample(const char16_t* format, const std::vector<std::string>& inputs) {
    std::u16string ops = u"switch=\"FR";
    if (format) ops += std::u16string(u",format=(FR=") + format + u")";
    frtest::Spelled spelled = frtest::Spell(format ? format : u"5X2C8X");
    auto first = frtest::NewMap(ops, 16), second = frtest::NewMap(ops, 16);
    for (const std::string& in : inputs) {
        SCOPED_TRACE(in + " format " + (format ? U8(format) : "none"));
        first->set(u"NID", U16(in));
        second->set(u"NID", U16(in));
        auto r = first->row();
        ASSERT_EQ(r.rc, 0);
        std::string out = U8(r.put);
        auto again = first->row(), other = second->row();
        ASSERT_EQ(again.put, r.put);
        ASSERT_EQ(other.put, r.put);

        char wantSep = format ? spelled.sep : (in.size() == 16 ? in[13] : 0);
        ASSERT_EQ(out.size(), wantSep ? 16u : 15u);
        if (wantSep) { ASSERT_EQ(out[13], wantSep); }
        std::string ci = Compact(in), co = Compact(out);
        ASSERT_EQ(Malformed(co), "");
        for (int p = 1; p <= 15; ++p)
            if (!spelled.masked[p]) { ASSERT_EQ(ci[p - 1], co[p - 1]) << "position " << p; }
    }
}

TEST(SampleFR, EveryDescriptorGivesValidOutputs) {
    Gen g;
    std::vector<std::string> inputs;
    for (int i = 0; i < 1500; ++i) inputs.push_back(g.Nir());
    CheckSample(nullptr, inputs);
    for (int i = 0; i < FR_FORMAT_COUNT; ++i) CheckSample(FormatTableFR[i], inputs);
}

/* Arbitrary strings never crash the routine; whatever it writes is well formed. */
TEST(SampleFR, ArbitraryInputIsRefusedOrMasked) {
    const char16_t alphabet[] = u"0123456789012345678912AB- ab/\u00e9\u4e2d\xffff";
    std::mt19937 rng(7);
    for (const char16_t* ops : {u"switch=\"FR", u"switch=\"FR,validate=y,format=(FR=15X)"}) {
        auto m = frtest::NewMap(ops, 16);
        for (int i = 0; i < 30000; ++i) {
            size_t len = i % 10 == 0 ? rng() % 300 : 14 + rng() % 4;
            std::u16string v;
            for (size_t k = 0; k < len; ++k) v += alphabet[rng() % (sizeof alphabet / 2 - 1)];
            m->set(u"NID", v);
            auto r = m->row();
            ASSERT_TRUE(r.rc == 0 || r.rc == 1) << U8(v);
            if (r.rc == 0 && !r.put.empty() && r.put[0] != u' ') { ASSERT_EQ(Malformed(Compact(U8(r.put))), "") << U8(v); }
        }
    }
}

} // namespace
