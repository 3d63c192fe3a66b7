#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "countries/es/es.h"
#include "countries/fr/fr.h"
#include "countries/it/it.h"
#include "countries/uk/uk.h"
#include "host/emul/host_emul.h"
#include "keyed/keyed.h"

/* The sanitizer build (unoptimised) runs a tenth of the values. */
#if defined(__SANITIZE_ADDRESS__)
constexpr int kShare = 10;
#else
constexpr int kShare = 1;
#endif

constexpr uint16_t FR = COUNTRY_FR, IT = COUNTRY_IT, ES = COUNTRY_ES, UK = COUNTRY_UK;
static const char* kKey1 = "2b7e151628aed2a6abf7158809cf4f3c";
static const char* kKey2 = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

static std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

/* A masker for one key, operand string and scope, closed at the end of the test. */
struct Masker {
    KEYED* k = nullptr;
    explicit Masker(const char* keyText, const std::u16string& operands = u"", const std::string& scope = "") {
        KEYEDKEY key;
        char err[KEYED_ERR_CHARS] = "";
        EXPECT_TRUE(KeyedDecodeKey(keyText, std::strlen(keyText), &key, err)) << err;
        k = KeyedOpen(&key, operands.c_str(), scope.data(), scope.size(), err);
        KeyedWipeKey(&key);
        EXPECT_NE(k, nullptr) << err;
    }
    ~Masker() { KeyedClose(k); }
    /* The result, or the result code in brackets. */
    std::u16string run(uint16_t country, const std::u16string& in, bool unmask = false) {
        char16_t out[KEYED_OUT_CHARS], msg[MSG_BUF_CHARS];
        int32_t n = 0;
        int32_t rc = (unmask ? KeyedUnmask : KeyedMask)(k, country, in.data(), int32_t(in.size()), out, &n, msg);
        std::string code = "[" + std::to_string(rc) + "]";
        return rc == RC_OK ? std::u16string(out, size_t(n)) : std::u16string(code.begin(), code.end());
    }
};

/* The exit itself, with validation, as the judge of a value's validity. */
struct ExitCheck {
    hostemu::ColumnMap map;
    explicit ExitCheck(const char16_t* code)
        : map(&KLOColMapWExit, std::u16string(u"switch=\"") + code + u",validate=y", {{u"NID", 2, 30}},
              {{u"NID", 2, 30}}) {}
    bool valid(const std::u16string& v) {
        map.set(u"NID", v);
        const char16_t* put = nullptr;
        bool isNull = false;
        return map.rowFast(&put, &isNull) == EXIT_DONE;
    }
};

static std::u16string RandomNirFR(std::mt19937_64& g) {
    static const int kDepts[] = {0, 1, 13, 20, 33, 59, 75, 93, 95, 97};
    char16_t v[NIR_CHARS + 1];
    int dept = g() % 4 ? int(g() % 96) : kDepts[g() % 10]; /* every index 0..95, and some often */
    int c;
    do c = int(g() % 999) + 1;
    while (!IsValidCommuneFR(dept, c));
    v[0] = char16_t(u'0' + SexDigitsFR[g() % 4]);
    WriteDigitsFR(v + 1, uint32_t(g() % 100), 2);
    WriteDigitsFR(v + 3, uint32_t(g() % 12 + 1), 2);
    WriteDeptFR(v + 5, dept);
    WriteDigitsFR(v + 7, uint32_t(c), 3);
    WriteDigitsFR(v + 10, uint32_t(g() % 1000), 3);
    WriteDigitsFR(v + 13, uint32_t(NirKey(v)), 2);
    return std::u16string(v, NIR_CHARS);
}

static std::u16string RandomCodeIT(std::mt19937_64& g) {
    char16_t v[IT_CODE_CHARS + 1];
    for (int part = 0; part < 6; part += 3)
        do
            for (int i = 0; i < 3; ++i) v[part + i] = char16_t(u'A' + g() % 26);
        while (!NameCodeValidIT(v + part));
    int year = int(g() % 100), month = int(g() % 12);
    int day = int(g() % uint64_t(MonthLengthIT(MonthLetters[month], year))) + 1 + (g() % 2 ? 40 : 0);
    WriteDigitsFR(v + 6, uint32_t(year), 2);
    v[8] = MonthLetters[month];
    WriteDigitsFR(v + 9, uint32_t(day), 2);
    int number;
    do v[11] = CommuneLetters[g() % 12], number = int(g() % 1000);
    while (!CommuneAcceptedIT(v[11], number));
    WriteDigitsFR(v + 12, uint32_t(number), 3);
    /* One value in four takes substitution letters on its last 1 to 7 digits. */
    if (g() % 4 == 0)
        for (int k = int(g() % 7); k >= 0; --k)
            v[OmocodePositions[k] - 1] = OmocodeLetters[v[OmocodePositions[k] - 1] - u'0'];
    SetControlChar(v);
    return std::u16string(v, IT_CODE_CHARS);
}

static std::u16string RandomNinoUK(std::mt19937_64& g) {
    char buf[12];
    const char16_t* p = PrefixTableUK[g() % UK_PREFIX_COUNT];
    int suffix = int(g() % 5);
    std::snprintf(buf, sizeof buf, "%c%c%06d%s", char(p[0]), char(p[1]), int(g() % 999999) + 1,
                  suffix ? std::string(1, char('A' + suffix - 1)).c_str() : "");
    return std::u16string(buf, buf + std::strlen(buf));
}

static std::u16string RandomNumberES(std::mt19937_64& g) {
    char buf[12];
    int v = g() % 8 ? int(g() % 10000000) : int(g() % 2) * 9999999; /* the first and last often */
    std::snprintf(buf, sizeof buf, "%s%07d%c", g() % 2 ? "X" : "", v, char(CheckLetterES(v)));
    return std::u16string(buf, buf + std::strlen(buf));
}

/* Each of count drawn values masks to a value of its length that the exit's validation
** accepts and that unmasks back (so distinct values give distinct results); another key or
** scope gives an unrelated mapping, and the wrong key does not unmask.  Under each format the
** result matches a pattern: "*" any replaced character, "#" a substitution letter, anything
** else itself (copied characters and separators); the layout is no part of the mapping (a table
** masked in another layout still joins). */
TEST(Keyed, SampledBijectionAndFormats) {
    using Draw = std::u16string (*)(std::mt19937_64&);
    struct { uint16_t country; const char16_t *code, *format; Draw draw; int count; } rows[] = {
        {FR, u"FR", u"", RandomNirFR, 250000},        {FR, u"FR", u"15X", RandomNirFR, 100000},
        {FR, u"FR", u"3C2X2C8X", RandomNirFR, 50000}, /* a commune per department */
        {FR, u"FR", u"1X9C5X", RandomNirFR, 20000},   /* 4000 values: long walks */
        {IT, u"IT", u"", RandomCodeIT, 250000},       {IT, u"IT", u"16X", RandomCodeIT, 100000},
        {IT, u"IT", u"6X9C1X", RandomCodeIT, 50000},  {IT, u"IT", u"11C5X", RandomCodeIT, 20000},
        {UK, u"UK", u"2C6X1C", RandomNinoUK, 100000}, {UK, u"UK", u"8X1C", RandomNinoUK, 100000},
        {ES, u"ES", u"", RandomNumberES, 100000},
    };
    for (const auto& r : rows) {
        std::u16string ops = *r.format ? u"format=(" + std::u16string(r.code) + u"=" + r.format + u")" : u"";
        SCOPED_TRACE(Narrow(ops));
        Masker m(kKey1, ops), other(kKey2, ops), s1(kKey1, ops, "hr"), s2(kKey1, ops, "crm");
        ExitCheck exitCheck(r.code);
        std::mt19937_64 g(uint64_t(r.count) + r.country);
        int bad = 0, same = 0;
        for (int i = 0; i < r.count / kShare; ++i) {
            std::u16string x = r.draw(g), y = m.run(r.country, x);
            bool ok = y.size() == x.size() && y[0] != u'[' && exitCheck.valid(y) && m.run(r.country, y, true) == x;
            if (!ok && ++bad <= 5) ADD_FAILURE() << Narrow(x) << " -> " << Narrow(y);
            if (i < 1000)
                same += (y == other.run(r.country, x)) + (s1.run(r.country, x) == s2.run(r.country, x)) +
                        (other.run(r.country, y, true) == x);
        }
        EXPECT_LE(same, 20) << "values that other keys or scopes map alike";
    }
}

static std::u16string WithControlIT(std::u16string s) {
    s.resize(IT_CODE_CHARS + 1);
    SetControlChar(s.data());
    s.resize(IT_CODE_CHARS);
    return s;
}

static std::u16string Compact(std::u16string s) {
    s.erase(std::remove_if(s.begin(), s.end(), [](char16_t c) { return c == u' ' || c == u'-' || c == u'.'; }), s.end());
    return s;
    const std::u16string it = WithControlIT(u"RSSMRA85T50A562"), omo = WithControlIT(u"RSSMRA85T50A5MN");
    struct { uint16_t country; const char16_t* operands; std::u16string in; const char* pattern; } patterns[] = {
        {FR, u"", u"185057511234529", "*****75********"}, {FR, u"", u"1850575112345 29", "*****75****** **"},
        {FR, u"format=(FR=5X2C6X-2X)", u"185057511234529", "*****75******-**"},
        {FR, u"format=(FR=1X9C5X)", u"185052A00412329", "*85052A004*****"},
        {FR, u"format=(FR=5C10X)", u"185057511234529", "18505**********"},
        {IT, u"", it.substr(0, 3) + u" " + it.substr(3, 3) + u" " + it.substr(6, 5) + u" " + it.substr(11),
         "RSS MRA ***** *****"},
        {IT, u"format=(IT=11X4C1X)", it, "***********A562*"},
        {IT, u"format=(IT=3X-3X-5C-5X)", it, "***-***-85T50-*****"},
        {IT, u"format=(IT=6C5X4C1X)", omo, "RSSMRA*****A5##*"}, {UK, u"", u"AB 12 34 56 C", "AB ** ** ** C"},
        {UK, u"format=(UK=2C-6X-1C)", u"AB123456c", "AB-******-c"},
        {UK, u"format=(UK=2X.2X.2X.2X.1C)", u"AB123456", "**.**.**.**"},
        {ES, u"", u"1234567 L", "******* *"}, {ES, u"format=(ES=7X-1X)", u"X1234567L", "X-*******-*"},
    };
    for (const auto& r : patterns) {
        Masker m(kKey1, r.operands);
        std::u16string y = m.run(r.country, r.in);
        std::string p = r.pattern;
        bool ok = y.size() == p.size();
        for (size_t i = 0; ok && i < p.size(); ++i)
            ok = p[i] == '*' ? y[i] != u' ' && y[i] != u'-' : p[i] == '#' ? InfoIT(y[i]).Omocode >= 0 : y[i] == char16_t(p[i]);
        EXPECT_TRUE(ok) << Narrow(r.operands) << ": " << Narrow(r.in) << " -> " << Narrow(y) << ", want " << p;
        EXPECT_EQ(Compact(m.run(r.country, y, true)), Compact(r.in)) << Narrow(y);
    }
    Masker plain(kKey1, u"format=(FR=5X2C8X,IT=16X,UK=2C6X1C)"),
        separated(kKey1, u"format=(FR=5X2C6X 2X,IT=3X-3X-5X-5X,UK=2C 2X 2X 2X 1C)");
    for (auto [country, x] : {std::pair{FR, std::u16string(u"185057511234529")},
                              {IT, WithControlIT(u"RSSMRA85T10A562")}, {UK, u"AB123456C"}})
        EXPECT_EQ(plain.run(country, x), Compact(separated.run(country, x))) << Narrow(x);
}

/* Refusals give the exit's codes and counters; key texts are hex or base64 of 16, 24 or 32
** bytes, nothing else, and a wiped key is zeros; KeyedOpen refuses what it cannot use. */
TEST(KeyedRefusals, CodesCountersKeysAndOpen) {
    const char *P = "InvalidPartCount", *L = "InvalidLengthCount", *D = "InvalidDataCount";
    struct { uint16_t country; std::u16string in; int32_t rc; const char* counter; } rows[] = {
        {FR, u"185057511234528", RC_INVALID_PART, P}, {FR, u"185057512100029", RC_INVALID_PART, P}, /* key, commune */
        {FR, u"18505751123452", RC_INVALID_LENGTH, L}, {FR, u"185052a00412329", RC_INVALID_DATA, D},
        {FR, u"1850575112345/29", RC_INVALID_SEPARATOR, "InvalidSeparatorCount"}, {FR, u"   ", RC_BLANK, nullptr},
        {IT, u"RSSMRA85T10A562", RC_INVALID_LENGTH, L}, {IT, u"   ", RC_INVALID_LENGTH, L},
        {IT, WithControlIT(u"RSSMRA85T10A562").substr(0, 15) + u"0", RC_INVALID_PART, P},
        {ES, u"1234567A", RC_INVALID_PART, P}, {ES, u"12345678Z", RC_INVALID_DATA, D}, {ES, u"", RC_BLANK, nullptr},
        {UK, u"QQ123456C", RC_INVALID_PART, P}, {UK, u"AB000000C", RC_INVALID_PART, P},
        {UK, u"AB12345", RC_INVALID_LENGTH, L}, {0x10, u"123", RC_NOTHING, nullptr},
    };
    Masker m(kKey1);
    for (const auto& r : rows)
        for (auto* run : {KeyedMask, KeyedUnmask}) {
            char16_t out[KEYED_OUT_CHARS], msg[MSG_BUF_CHARS] = u"";
            int32_t n = -1;
            int32_t rc = run(m.k, r.country, r.in.data(), int32_t(r.in.size()), out, &n, msg);
            EXPECT_EQ(rc, r.rc) << Narrow(r.in);
            EXPECT_EQ(n, -1);
            EXPECT_STREQ(KeyedCounterName(rc), r.counter) << Narrow(r.in);
            EXPECT_EQ(std::u16string(msg).substr(0, 9), r.counter ? u"NID ERROR" : u"") << Narrow(r.in);
        }
    struct { const char* text; size_t bytes; } keys[] = {
        {"2b7e151628aed2a6abf7158809cf4f3c", 16}, {"  2B7E151628AED2A6ABF7158809CF4F3CEF4359D8D580AA4F\n", 24},
        {kKey2, 32}, {"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=\r\n", 32}, {"AAECAwQFBgcICQoLDA0ODw==", 16},
        {"", 0}, {" \n", 0}, {"this is no key at all, sorry!", 0}, {"AAECAwQFBgcICQ==", 0}, /* base64 of 10 bytes */
        {"2b7e151628aed2a6", 0}, {"2b7e151628aed2a6abf7158809cf4f3c00", 0}, /* 8 and 17 bytes */
    };
    for (const auto& r : keys) {
        KEYEDKEY k;
        char err[KEYED_ERR_CHARS] = "";
        EXPECT_EQ(KeyedDecodeKey(r.text, std::strlen(r.text), &k, err), r.bytes != 0) << r.text;
        EXPECT_EQ(k.Length, r.bytes) << r.text;
        EXPECT_EQ(err[0] != 0, r.bytes == 0) << r.text;
        EXPECT_EQ(r.bytes == 32 ? k.Bytes[31] : 0x1f, 0x1f) << r.text;
        KeyedWipeKey(&k);
        EXPECT_EQ(k.Length + k.Bytes[0] + k.Bytes[31], 0u) << r.text;
    }
    KEYEDKEY key;
    char err[KEYED_ERR_CHARS];
    ASSERT_TRUE(KeyedDecodeKey(kKey1, std::strlen(kKey1), &key, err));
    const std::string longScope(KEYED_SCOPE_MAX + 1, 's');
    struct { const char16_t* operands; size_t scopeLen; size_t keyLen; const char* error; } opens[] = {
        {u"format=(FR=5X2C8Y)", 0, 16, "format for FR"}, {u"format=(UK=2C-6X-1X)", 0, 16, "format for UK"},
        {u"format=5X2C8X", 0, 16, "format for FR"},     {u"", longScope.size(), 16, "scope"},
        {u"", 0, 20, "16, 24 or 32"}, {u"switch=\"FR,format=(FR=15X,IT=16X,ES=8X,UK=8X1C)", 0, 16, nullptr},
    };
    for (const auto& r : opens) {
        key.Length = r.keyLen;
        err[0] = 0;
        KEYED* k = KeyedOpen(&key, r.operands, longScope.data(), r.scopeLen, err);
        EXPECT_EQ(k == nullptr, r.error != nullptr) << Narrow(r.operands);
        EXPECT_NE(std::string(err).find(r.error ? r.error : ""), std::string::npos) << err;
        KeyedClose(k);
    }
}
