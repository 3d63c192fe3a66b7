/*
** mask_fr_test.cpp - the France row routine: worked values through the entry point,
** layouts, refusals with their status, message and counter, blank inputs.
*/
#include <gtest/gtest.h>

#include "countries/fr/fr.h"
#include "fr_test_util.h"

namespace {

using frtest::NewMap;

struct Worked {
    const char16_t* format; /* France descriptor, or NULL for none */
    int32_t destLength;
    const char16_t* in;
    const char16_t* out;
};

std::u16string Ops(const char16_t* format, const char16_t* extra = u"") {
    std::u16string ops = u"switch=\"FR";
    ops += extra;
    if (format) ops += std::u16string(u",format=(FR=") + format + u")";
    return ops;
}

TEST(MaskFR, WorkedValues) {
    const Worked cases[] = {
        {nullptr, 20, u"185057511234529", u"283027511108627"},
        {u"15X", 20, u"185057511234529", u"283025711108628"},
        {u"7C8X", 20, u"185057511234529", u"185057511108627"},
        {u"1X9C5X", 20, u"185057511234529", u"285057511208644"},
        {nullptr, 20, u"185052A00412329", u"283022A00682048"},
        {u"15X", 20, u"185052A00412329", u"283020200582079"},
        {u"15X", 20, u"201010201500141", u"799102A01770888"},
        {u"15X", 20, u"169076912399923", u"867096912243212"},
        {nullptr, 20, u"185059710145642", u"283029742439120"},
        {nullptr, 20, u"185057511234500", u"283027511108627"},  /* the key is not examined */
        /* layouts */
        {nullptr, 16, u"1850575112345-29", u"2830275111086-27"},
        {nullptr, 16, u"1850575112345 29", u"2830275111086 27"},
        {nullptr, 15, u"1850575112345-29", u"283027511108627"},
        {nullptr, 15, u"1850575112345 29", u"283027511108627"},
        {nullptr, 16, u"185057511234529", u"283027511108627"},
        {u"5X2C6X-2X", 16, u"185057511234529", u"2830275111086-27"},
        {u"5X2C6X-2X", 16, u"1850575112345 29", u"2830275111086-27"},
        {u"5X2C6X-2X", 15, u"1850575112345-29", u"283027511108627"},
        {u"5X2C8X", 20, u"1850575112345-29", u"283027511108627"},
        {u"7C6X 2X", 20, u"185057511234529", u"1850575111086 27"},
        /* commune steps */
        {u"7C8X", 20, u"185051300112317", u"185051311908606"},
        {u"7C8X", 20, u"185059720112391", u"185059713408604"},
        {u"7C8X", 20, u"185059250012383", u"185059203382010"},
        {u"7C8X", 20, u"185059201712323", u"185059201982042"},
        {u"5C10X", 20, u"185052900212340", u"185059207882018"},
        {u"1X9C5X", 20, u"185057500012322", u"285057500084625"},  /* commune 000 copied */
    };
    for (const Worked& k : cases) {
        SCOPED_TRACE(frtest::U8(k.in) + " format " + (k.format ? frtest::U8(k.format) : "none"));
        auto m = NewMap(Ops(k.format), k.destLength);
        m->set(u"NID", k.in);
        auto r = m->row();
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.put, k.out);
        EXPECT_EQ(m->end(), 0);
    }
}

/* The sex digit of every source month, from the permutation of 1..4 seeded by the month. */
TEST(MaskFR, SexDigitByMonth) {
    const char* maps[12] = {"2781", "7812", "8172", "1728", "2871", "7128",
                            "8271", "1827", "2187", "7218", "8721", "1278"};
    auto m = NewMap(u"switch=\"FR,format=(FR=1X9C5X)");
    for (int month = 1; month <= 12; ++month) {
        for (int s = 0; s < 4; ++s) {
            char head[8];
            snprintf(head, sizeof head, "%c85%02d", "1278"[s], month);
            std::string s13 = std::string(head) + "75112345";
            m->set(u"NID", frtest::U16(s13 + frtest::KeyOf(s13)));
            auto r = m->row();
            ASSERT_EQ(r.rc, 0);
            EXPECT_EQ(char(r.put[0]), maps[month - 1][s]) << "month " << month << " sex " << "1278"[s];
        }
    }
}

/* Status, message and counter of each refusal, through the row routine itself. */
struct Refusal {
    const char16_t* in;
    bool validate;
    int32_t status;
    const char16_t* msg; /* NULL: the routine writes none */
};

TEST(MaskFR, RefusalsStatusAndMessage) {
    const Refusal cases[] = {
        {u"1850575112345/29", false, 259, u"NID ERROR 0x103 :Invalid Separator for source data value"},
        {u"18505751123452", false, 257, u"NID ERROR 0x101:Invalid Length for source data value"},
        {u"18505751123452900", false, 257, u"NID ERROR 0x101:Invalid Length for source data value"},
        {u"185052a00412329", false, 58, u"NID ERROR 0x3a :Invalid Input Value (185052a00412329)"},
        {u"1850575112345-2X", false, 58, u"NID ERROR 0x3a :Invalid Input Value (18505751123452X)"},
        {u"1850575A1234529", false, 58, u"NID ERROR 0x3a :Invalid Input Value (1850575A1234529)"},
        {u"185053A00412329", false, 258, u"NID ERROR  0x11c :Department (\"0\")is not a valid department)"},
        {u"385057511234529", false, 258, u"NID ERROR 0x11a :Invalid Sex for source data value (385057511234529)"},
        {u"3850575112345-29", false, 258, u"NID ERROR 0x11a :Invalid Sex for source data value (385057511234529)"},
        {u"185137511234529", false, 258, u"NID ERROR 0x11b :Invalid Month for source data value (185137511234529)"},
        {u"185007511234529", false, 258, u"NID ERROR 0x11b :Invalid Month for source data value (185007511234529)"},
        {u"185052011234529", false, 258, u"NID ERROR  0x11c :Department (\"20\")is not a valid department)"},
        {u"185059611234529", false, 258, u"NID ERROR  0x11c :Department (\"96\")is not a valid department)"},
        {u"185050011234529", false, 258, u"NID ERROR  0x11c :Department (\"0\")is not a valid department)"},
        {u"185059811234529", false, 258, u"NID ERROR  0x11c :Department (\"98\")is not a valid department)"},
        {u"185057512100029", true, 258, u"NID ERROR 0x11e :Invalid Commune for source data value (185057512100029)"},
        {u"185057500012322", true, 258, u"NID ERROR 0x11e :Invalid Commune for source data value (185057500012322)"},
        {u"185059713512334", true, 258, u"NID ERROR 0x11e :Invalid Commune for source data value (185059713512334)"},
        {u"185057511234528", true, 258, u"NID ERROR 0x11f :Invalid Control Key for source data value(185057511234528) "},
        {u"185057500012322", false, 258, nullptr}, /* commune 000 masked */
    };
    for (const Refusal& k : cases) {
        SCOPED_TRACE(frtest::U8(k.in));
        char16_t in[64], out[OUT_BUF_CHARS], msg[MSG_BUF_CHARS] = u"untouched";
        std::u16string s = k.in;
        std::copy(s.begin(), s.end() + 1, in);
        COLDESC dest{};
        dest.Length = 20;
        RBPDATA rbp{};
        rbp.Flags = MODE_MASK | (k.validate ? MODE_VALIDATE : 0);
        rbp.DestDataType = 1;
        rbp.pDestCol = &dest;
        rbp.pMsgBuf = msg;
        rbp.InKind = KIND_STRING;
        rbp.InLength = int32_t(s.size());
        rbp.InValue.pStr = in;
        rbp.OutValue.pStr = out;
        uint32_t word = FR_DEFAULT_FIELDS;
        EXPECT_EQ(MaskCountryFR(&rbp, &word), k.status);
        EXPECT_EQ(std::u16string(msg), k.msg ? k.msg : u"untouched");
    }
}

/* The same refusals through the entry point: row skipped, nothing put, one counter. */
TEST(MaskFR, RefusalsCounted) {
    struct { const char16_t* in; int counter; } cases[] = {
        {u"1850575112345/29", 5}, {u"18505751123452", 2}, {u"185052a00412329", 1},
        {u"185053A00412329", 4},  {u"385057511234529", 4}, {u"185137511234529", 4},
        {u"185057500012322", 4},
    };
    for (auto& k : cases) {
        auto m = NewMap(u"switch=\"FR");
        m->set(u"NID", k.in);
        auto r = m->row();
        EXPECT_EQ(r.rc, 1) << frtest::U8(k.in);
        EXPECT_EQ(r.puts, 0);
        WORKAREA& wa = m->workArea();
        int32_t counts[6] = {wa.NullInputCount, wa.InvalidDataCount, wa.InvalidLengthCount,
                             wa.ConversionErrorCount, wa.InvalidPartCount, wa.InvalidSeparatorCount};
        for (int i = 0; i < 6; ++i) { EXPECT_EQ(counts[i], i == k.counter ? 1 : 0) << frtest::U8(k.in) << " counter " << i; }
        m->end();
    }
}

TEST(MaskFR, ValidationAcceptsValidNumbers) {
    auto m = NewMap(u"switch=\"FR,validate=y");
    struct { const char16_t *in, *out; } cases[] = {
        {u"185057511234529", u"283027511108627"}, {u"185052A00412329", u"283022A00682048"},
        {u"185059713412364", u"283029713308634"}, {u"185057512012311", u"283027511984694"},
    };
    for (auto& k : cases) {
        m->set(u"NID", k.in);
        auto r = m->row();
        EXPECT_EQ(r.rc, 0) << frtest::U8(k.in);
        EXPECT_EQ(r.put, k.out);
    }
}

/* A blank input gives a blank output by destination type; types outside both sets skip. */
TEST(MaskFR, BlankInput) {
    struct { int16_t hostType; const char16_t* in; int rc; const char16_t* put; } cases[] = {
        {1, u"               ", 0, u"               "}, {1, u"", 0, u"               "},
        {1, u"   ", 0, u"               "},             {2, u"               ", 0, u""},
        {2, u"", 0, u""},                               {30, u"                ", 0, u"               "},
        {32, u"", 0, u"               "},               {31, u"  ", 0, u""},
        {33, u"               ", 1, nullptr},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(testing::Message() << "host type " << k.hostType << " '" << frtest::U8(k.in) << "'");
        auto m = NewMap(u"switch=\"FR", 20, k.hostType);
        m->set(u"NID", k.in);
        auto r = m->row();
        EXPECT_EQ(r.rc, k.rc);
        if (k.put) { EXPECT_EQ(r.put, k.put); }
        else { EXPECT_EQ(m->workArea().InvalidDataCount, 1); }
    }
    /* a long blank input is not blank: its length is refused */
    char16_t msg[MSG_BUF_CHARS], out[OUT_BUF_CHARS];
    std::u16string blanks(300, u' ');
    COLDESC dest{};
    dest.Length = 20;
    RBPDATA rbp{};
    rbp.Flags = MODE_MASK;
    rbp.DestDataType = 1;
    rbp.pDestCol = &dest;
    rbp.pMsgBuf = msg;
    rbp.InKind = KIND_STRING;
    rbp.InLength = int32_t(blanks.size());
    rbp.InValue.pStr = blanks.data();
    rbp.OutValue.pStr = out;
    uint32_t word = FR_DEFAULT_FIELDS;
    EXPECT_EQ(MaskCountryFR(&rbp, &word), 257);
    rbp.InKind = KIND_INT32;
    EXPECT_EQ(MaskCountryFR(&rbp, &word), 263);
    EXPECT_EQ(std::u16string(msg), u"NID ERROR 0x107 :Invalid Datatype for source data value");
}

} // namespace
