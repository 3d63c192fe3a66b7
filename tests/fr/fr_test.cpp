/* fr_test.cpp - the French NIR: set-up, masks, refusals, communes, random draws, descriptors. */
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "countries/fr/fr.h"
#include "support/country.h"

using ctest::U16;
using ctest::U8;

/* Key of the first 13 characters ("2A"/"2B" counting as 20), as two digits. */
static std::string KeyOf(std::string s) {
    if (s[6] == 'A' || s[6] == 'B') s[6] = '0';
    unsigned k = unsigned(97 - std::stoull(s.substr(0, 13)) % 97);
    return {char('0' + k / 10), char('0' + k % 10)};
}

/* Masked positions (1..15), separator and flag word of a descriptor, read from its
** notation: whole fields masked (else no word), order number and key always. */
struct Spelled {
    bool masked[16] = {};
    char sep = 0;
    int count = 0;
    uint32_t word = 0;
};
static Spelled Spell(const char16_t* p) {
    Spelled s;
    for (int n = 0; *p;) {
        if (*p == u'-' || *p == u' ') { s.sep = char(*p++); continue; }
        while (*p >= u'0' && *p <= u'9') n = n * 10 + (*p++ - u'0');
        for (bool x = (*p++ == u'X'); n > 0; --n) s.masked[++s.count <= 15 ? s.count : 0] = x;
    }
    const struct { int from, to; uint32_t bit; } fields[] = {
        {1, 1, FR_SEX}, {2, 3, FR_YEAR}, {4, 5, FR_MONTH}, {6, 7, FR_DEPT}, {8, 10, FR_COMMUNE}, {11, 15, 0}};
    s.word = s.sep == '-' ? FR_HYPHEN : s.sep == ' ' ? FR_BLANK : FR_PLAIN;
    for (auto& f : fields) {
        int n = 0;
        for (int p = f.from; p <= f.to; ++p) n += s.masked[p];
        if (n ? n != f.to - f.from + 1 : !f.bit) return {};
        if (n) s.word |= f.bit;
    }
    return s;
}

static std::string Compact(const std::string& v) { return v.size() == 16 ? v.substr(0, 13) + v.substr(14) : v; }

/* Why a value is not a well-formed NIR; empty when it is. */
static std::string Malformed(const std::string& value) {
    std::string v = Compact(value);
    if (v.size() != 15) return "length";
    std::string dc = v.substr(5, 2);
    int d = dc == "2A" ? DEPT_2A : dc == "2B" ? DEPT_2B : dc == "20" ? -1 : std::atoi(dc.c_str());
    for (int i = 0; i < 15; ++i)
        if (!isdigit((unsigned char)v[i]) && !(i == 6 && (dc == "2A" || dc == "2B"))) return "character";
    if (std::string("1278").find(v[0]) == std::string::npos) return "sex";
    if (v.substr(3, 2) < "01" || v.substr(3, 2) > "12") return "month";
    if (d < 0 || d == DEPT_NONE || !IsValidCommuneFR(d, std::stoi(v.substr(7, 3)))) return "commune";
    return KeyOf(v) == v.substr(13) ? "" : "key";
}

/* Set-up: flag word and message of a format operand, the column checks and type codes.  Then
** worked values, layouts and blanks through the entry (out null: refused as invalid data); the
** sex digit by source month. */
TEST(FR, SetUpAndMasks) {
    const char16_t *bad = u"NID ERROR 0xffffffff :Invalid Format for source data value", *ok = u"untouched";
    const char16_t* f15 = u"(FR=15X)";
    const uint16_t M = MODE_MASK, R = MODE_RANDOM;
    const ctest::InitCase inits[] = {
        {u"", M, 1, 20, 1, 20, 0, 0x2E, ok},                {u"5X2C8X", M, 1, 20, 1, 20, 0, 0x2E, ok},
        {u"(IT=16X)", M, 1, 20, 1, 20, 0, 0x2E, ok},        {u"(FR=5x2c6x-2x)", M, 1, 20, 1, 20, 0, 0x16E, ok},
        {u"(france=5x2c8x)", M, 1, 20, 1, 20, 0, 0x12F, ok}, {u"(FR=5X2C8X )", M, 1, 20, 1, 20, 0, 0x12F, ok},
        {u"(FR=13X 2X)", M, 1, 20, 1, 20, 0, 0x1BE, ok},     {u"(FR=7C6X 2X)", M, 1, 20, 1, 20, 0, 0x1A0, ok},
        {u"(FR=5X2C6X_2X)", M, 1, 20, 1, 20, 0, 0x2E, bad},  {u"(FR=5X 2C8X)", M, 1, 20, 1, 20, 0, 0x2E, bad},
        {f15, M, 1, 20, 1, 20, 0, 0x13F, ok, 1, 1},       {f15, M, 2, 15, 30, 255, 0, 0x13F, ok, 3, 31},
        {f15, M, 31, 20, 32, 20, 0, 0x13F, ok, 33, 35},   {f15, M, 33, 20, 5, 255, 0, 0x13F, ok, 37, -7},
        {f15, M, 8, 20, 1, 20, 7, 0, nullptr, -7, -7},    {f15, M, 11, 3, 1, 20, 7, 0, nullptr, -7, -7},
        {f15, M, 1, 20, 9, 20, 8, 0, nullptr, 1, -7},     {f15, M, 1, 14, 1, 20, 257, 0, nullptr, 1, -7},
        {f15, M, 1, 256, 1, 20, 257, 0, nullptr, 1, -7},  {f15, M, 1, 20, 1, 14, 257, 0, nullptr, 1, 1},
        {f15, M, 1, 20, 30, 300, 257, 0, nullptr, 1, 31}, {f15, R, 9, 3, 1, 20, 0, 0x13F, ok, -7, 1},
        {f15, R, 1, 20, 10, 20, 8, 0, nullptr, -7, -7},
    };
    for (auto& k : inits)
        ctest::ExpectInit(InitCountryFR, std::u16string(u"switch=\"FR") + (*k.ops ? u",format=" : u"") + k.ops, k);
    struct { const char16_t *fmt, *in, *out; int32_t destLength = 20; int16_t destType = 1; } cases[] = {
        {u"", u"185057511234529", u"283027511108627"},         {u"15X", u"185057511234529", u"283025711108628"},
        {u"7C8X", u"185057511234529", u"185057511108627"},     {u"1X9C5X", u"185057511234529", u"285057511208644"},
        {u"", u"185052A00412329", u"283022A00682048"},         {u"15X", u"185052A00412329", u"283020200582079"},
        {u"15X", u"201010201500141", u"799102A01770888"},      {u"15X", u"169076912399923", u"867096912243212"},
        {u"", u"185059710145642", u"283029742439120"},         {u"", u"185057511234500", u"283027511108627"},
        {u",validate=y", u"185059713412364", u"283029713308634"},
        {u",validate=y", u"185057512012311", u"283027511984694"},
        {u"", u"1850575112345-29", u"2830275111086-27", 16},    {u"", u"1850575112345 29", u"2830275111086 27", 16},
        {u"", u"1850575112345-29", u"283027511108627", 15},     {u"", u"185057511234529", u"283027511108627", 16},
        {u"5X2C6X-2X", u"1850575112345 29", u"2830275111086-27", 16},
        {u"5X2C6X-2X", u"185057511234529", u"283027511108627", 15},
        {u"5X2C8X", u"1850575112345-29", u"283027511108627"},  {u"7C6X 2X", u"185057511234529", u"1850575111086 27"},
        {u"7C8X", u"185051300112317", u"185051311908606"},     {u"7C8X", u"185059250012383", u"185059203382010"},
        {u"5C10X", u"185052900212340", u"185059207882018"},    {u"1X9C5X", u"185057500012322", u"285057500084625"},
        /* a blank input gives blanks or nothing by destination type; type 33 refuses it */
        {u"", u"               ", u"               "},        {u"", u"", u"               "},
        {u"", u"   ", u"               "},                     {u"", u"               ", u"", 20, 2},
        {u"", u"                ", u"               ", 20, 30}, {u"", u"", u"               ", 20, 32},
        {u"", u"  ", u"", 20, 31},                              {u"", u"               ", nullptr, 20, 33},
    };
    for (auto& k : cases)
        ctest::ExpectRow(ctest::Ops(u"FR", k.fmt), k.destLength, k.destType, k.in, k.out, RC_INVALID_DATA);
}

/* Each refusal: the row routine's status and message, then its counter through the entry. */
TEST(FR, Refusals) {
    const char16_t* sep = u"0x103 :Invalid Separator for source data value";
    const char16_t* len = u"0x101:Invalid Length for source data value";
    const uint16_t V = MODE_VALIDATE;
    const ctest::Refusal cases[] = {
        {0, u"1850575112345/29", 259, sep}, {0, u"1850575112345529", 259, sep},
        {0, u"18505751123452", 257, len},    {0, u"18505751123452900", 257, len},
        {0, u"185052a00412329", 58, u"0x3a :Invalid Input Value (185052a00412329)"},
        {0, u"1850575112345-2X", 58, u"0x3a :Invalid Input Value (18505751123452X)"},
        {0, u"185053A00412329", 258, u" 0x11c :Department (\"0\")is not a valid department)"},
        {0, u"3850575112345-29", 258, u"0x11a :Invalid Sex for source data value (385057511234529)"},
        {0, u"185137511234529", 258, u"0x11b :Invalid Month for source data value (185137511234529)"},
        {0, u"185002011234529", 258, u" 0x11c :Department (\"20\")is not a valid department)"},
        {0, u"185059611234529", 258, u" 0x11c :Department (\"96\")is not a valid department)"},
        {0, u"185059811234529", 258, u" 0x11c :Department (\"98\")is not a valid department)"},
        {V, u"185057512100029", 258, u"0x11e :Invalid Commune for source data value (185057512100029)"},
        {V, u"185057500012322", 258, u"0x11e :Invalid Commune for source data value (185057500012322)"},
        {V, u"185059713512334", 258, u"0x11e :Invalid Commune for source data value (185059713512334)"},
        {V, u"185057511234528", 258, u"0x11f :Invalid Control Key for source data value(185057511234528) "},
        {0, u"185057500012322", 258, nullptr},
        {0, u"185057511234529", 263, u"0x107 :Invalid Datatype for source data value", KIND_INT32},
    };
    for (auto& k : cases) ctest::ExpectRefusal(MaskCountryFR, FR_DEFAULT_FIELDS, u"switch=\"FR", 20, k);
    EXPECT_EQ(ctest::Mask(MaskCountryFR, 0, FR_DEFAULT_FIELDS, std::u16string(256, u' ')).rc, 64);
    EXPECT_EQ(ctest::Mask(MaskCountryFR, 0, FR_DEFAULT_FIELDS, std::u16string(257, u' ')).rc, 257);
    const char* maps[12] = {"2781", "7812", "8172", "1728", "2871", "7128",
                            "8271", "1827", "2187", "7218", "8721", "1278"};
    hostemu::ColumnMap m = ctest::Map(u"switch=\"FR,format=(FR=1X9C5X)");
    for (int i = 0; i < 48; ++i) {
        char s13[16];
        snprintf(s13, sizeof s13, "%c85%02d75112345", "1278"[i % 4], i / 4 + 1);
        m.set(u"NID", U16(s13 + KeyOf(s13)));
        EXPECT_EQ(char(m.row().put[0]), maps[i / 4][i % 4]) << s13;
    }
}

/* Examples (v valid, u step up, d step down); for every index, sorted lists, steps to the
** nearest valid number and a draw ending (on draws 0, 1, ...: the lowest valid number).  Scripted
** draws give exact values (13 characters: plus the key); real draws: sex 1 and 2 four times in
** ten, 7 and 8 once, each department index but 96 once in 97. */
TEST(FR, CommunesAndRandom) {
    struct { int d, c; char op; int want; } cases[] = {
        {97, 135, 'v', 0},   {97, 134, 'v', 1},   {75, 120, 'v', 1},   {75, 121, 'v', 0},   {13, 119, 'v', 1},
        {0, 1, 'v', 0},      {0, 44, 'v', 1},     {0, 76, 'v', 1},     {0, 151, 'v', 1},    {92, 74, 'v', 0},
        {13, 119, 'u', 1},   {13, 1, 'd', 119},   {97, 134, 'u', 201}, {97, 201, 'd', 134}, {97, 424, 'u', 101},
        {97, 101, 'd', 424}, {92, 500, 'u', 33},  {92, 17, 'u', 19},   {92, 2, 'd', 78},    {57, 112, 'd', 111},
        {20, 4, 'u', 6},     {2, 4, 'u', 5},      {20, 15, 'u', 17},   {69, 123, 'd', 122},
    };
    for (auto& k : cases) {
        int got = k.op == 'v' ? IsValidCommuneFR(k.d, k.c)
                : k.op == 'u' ? NextCommuneFR(k.d, k.c) : PrevCommuneFR(k.d, k.c);
        EXPECT_EQ(got, k.want) << k.d << "/" << k.c << " " << k.op;
    }
    for (auto [d, n] : {std::pair{0, 127}, {1, 38}, {92, 44}}) EXPECT_EQ(DeptTableFR[d].excludedCount, n) << d;
    for (int d = 0; d < DEPT_INDEX_COUNT; ++d) {
        if (d == DEPT_NONE) continue;
        const DEPTFR& r = DeptTableFR[d];
        for (int i = 0; i < r.excludedCount && r.excluded[0] != 65535; ++i) {
            ASSERT_TRUE(r.excluded[i] >= 1 && r.excluded[i] <= r.maxCommune) << d;
            if (i) { ASSERT_LT(r.excluded[i - 1], r.excluded[i]) << d; }
        }
        int m = r.maxCommune;
        for (int c = 1; c <= 999; ++c) {
            int up = c % m + 1, down = (c - 1) % m ? (c - 1) % m : m;
            while (!IsValidCommuneFR(d, up)) up = up % m + 1;
            while (!IsValidCommuneFR(d, down)) down = down > 1 ? down - 1 : m;
            ASSERT_EQ(NextCommuneFR(d, c), up) << d << "/" << c;
            ASSERT_EQ(PrevCommuneFR(d, c), down) << d << "/" << c;
        }
        ctest::ScriptedDraws draws({});
        int lowest = NextCommuneFR(d, r.maxCommune);
        EXPECT_EQ(RandomCommuneFR(d), lowest) << d;
        EXPECT_EQ(ctest::ScriptedDraws::taken, size_t(lowest)) << d;
    }
    struct { const char16_t* fmt; int32_t destLength; std::vector<uint32_t> draws; std::string out; } scripted[] = {
        {u"", 20, {0, 50, 4, 75, 111, 345}, "150057511234595"}, {u"", 20, {8, 0, 0, 96, 0, 1, 2}, "700012B00200234"},
        {u"5X2C6X-2X", 16, {9, 99, 11, 20, 5, 7}, "899122A006007-34"},
        {u"5X2C6X-2X", 15, {9, 99, 11, 20, 5, 7}, "899122A00600734"},
        {u"13X 2X", 30, {9, 99, 11, 20, 5, 7}, "899122A006007 34"},
        {u"", 20, {3, 1, 2, 20, 1, 5, 999}, "101032A006999"}, /* 2A/002 excluded: drawn again */
    };
    for (auto& k : scripted) {
        std::string want = k.out.size() == 13 ? k.out + KeyOf(k.out) : k.out;
        ctest::ExpectDrawn(ctest::Ops(u"FR", k.fmt, u",method=random"), k.destLength, k.draws, want);
    }
    const int N = 40000;
    hostemu::ColumnMap m = ctest::Map(u"switch=\"FR,method=random");
    std::map<char, int> sex;
    std::map<std::string, int> dept;
    for (int i = 0; i < N; ++i) {
        std::string v = U8(m.row().put);
        ++sex[v[0]];
        ++dept[v.substr(5, 2)];
    }
    const double share[] = {0.4, 0.4, 0.1, 0.1};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(sex["1278"[i]] / double(N), share[i], 0.015);
    EXPECT_EQ(dept.size(), 97u);
    EXPECT_EQ(dept.count("20") + dept.count("96"), 0u);
    for (auto& [d, n] : dept) EXPECT_NEAR(n / double(N), 1 / 97.0, 0.005) << d;
}

/* Each descriptor's word is what it spells (69 words); under each, a sample's outputs are
** well formed, copy what it copies and have its layout; arbitrary input is refused or masked to
** a well-formed NIR, never anything else. */
TEST(FR, OutputsAreWellFormed) {
    std::mt19937 rng(20240611);
    std::vector<std::string> inputs;
    while (inputs.size() < 1500) {
        int d = int(rng() % 98), c = int(1 + rng() % 999);
        if (d == DEPT_NONE || !IsValidCommuneFR(d, c)) continue;
        char s13[16];
        std::string dc = d == DEPT_2A ? "2A" : d == DEPT_2B ? "2B" : std::to_string(100 + d).substr(1);
        snprintf(s13, sizeof s13, "%c%02d%02d%s%03d%03d", "1278"[rng() % 4], int(rng() % 100),
                 int(1 + rng() % 12), dc.c_str(), c, int(rng() % 1000));
        const char* seps[3] = {"", "-", " "};
        inputs.push_back(s13 + std::string(seps[inputs.size() % 3]) + KeyOf(s13));
    }
    std::set<uint32_t> words;
    for (int f = -1; f < FR_FORMAT_COUNT; ++f) {
        const char16_t* fmt = f < 0 ? u"5X2C8X" : FormatTableFR[f];
        std::u16string ops = f < 0 ? u"switch=\"FR" : u"switch=\"FR,format=(FR=" + std::u16string(fmt) + u")";
        SCOPED_TRACE(U8(ops));
        Spelled spelled = Spell(fmt);
        ASSERT_EQ(spelled.count, 15);
        if (f >= 0) {
            EXPECT_EQ(FormatFlagsFR(f), spelled.word);
            words.insert(FormatFlagsFR(f));
        }
        hostemu::ColumnMap first = ctest::Map(ops, 16);
        for (const std::string& in : inputs) {
            first.set(u"NID", U16(in));
            std::string out = U8(first.row().put), co = Compact(out);
            ASSERT_EQ(U8(first.row().put), out) << in;
            char sep = f >= 0 ? spelled.sep : in.size() == 16 ? in[13] : 0;
            ASSERT_EQ(out.size() == 16 ? out[13] : 0, sep) << in;
            ASSERT_EQ(Malformed(out), "") << in << " -> " << out;
            for (int p = 1; p <= 15; ++p)
                if (!spelled.masked[p]) { ASSERT_EQ(Compact(in)[p - 1], co[p - 1]) << in << " -> " << out; }
        }
    }
    EXPECT_EQ(words.size(), 69u);
    const char16_t alphabet[] = u"01234567890123456789012AB- ab/\u00e9\u4e2d\xffff";
    std::mt19937 noise(7);
    for (const char16_t* ops : {u"switch=\"FR", u"switch=\"FR,validate=y,format=(FR=15X)"}) {
        hostemu::ColumnMap m = ctest::Map(ops, 16);
        for (int i = 0; i < 30000; ++i) {
            std::u16string v(i % 10 ? 14 + noise() % 4 : noise() % 300, u' ');
            for (auto& ch : v) ch = alphabet[noise() % (sizeof alphabet / 2 - 1)];
            m.set(u"NID", v);
            auto r = m.row();
            ASSERT_TRUE(r.rc == 0 || r.rc == 1) << U8(v);
            if (r.rc == 0 && !r.put.empty() && r.put[0] != u' ') {
                ASSERT_EQ(Malformed(U8(r.put)), "") << U8(v);
            }
        }
    }
}
