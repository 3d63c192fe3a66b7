/*
** mask_fr_test.cpp - the France row routine: worked values and layouts through the entry
** point, each refusal with its status, message and counter, blank inputs.
*/
#include <gtest/gtest.h>

#include "countries/fr/fr.h"
#include "exit/random/random.h"
#include "fr_test_util.h"

namespace {

using frtest::U8;

/* Runs the row routine itself on one input (flag word 0x2E, destination type 1 of 20). */
int32_t RunRoutine(std::u16string in, uint16_t mode, std::u16string* msg, int32_t kind = KIND_STRING) {
    char16_t out[OUT_BUF_CHARS], buf[MSG_BUF_CHARS] = u"untouched";
    COLDESC dest{nullptr, 0, 1, 20, 0, 0, 0, 0, 0};
    RBPDATA rbp{};
    rbp.Flags = uint16_t(MODE_MASK | mode);
    rbp.DestDataType = 1;
    rbp.pDestCol = &dest;
    rbp.pMsgBuf = buf;
    rbp.InKind = kind;
    rbp.InLength = int32_t(in.size());
    rbp.InValue.pStr = in.data();
    rbp.OutValue.pStr = out;
    uint32_t word = FR_DEFAULT_FIELDS;
    int32_t rc = MaskCountryFR(&rbp, &word);
    *msg = buf;
    return rc;
}

TEST(MaskFR, WorkedValuesAndLayouts) {
    struct { const char16_t* ops; int32_t destLength; const char16_t *in, *out; } cases[] = {
        {u"", 20, u"185057511234529", u"283027511108627"},
        {u",format=(FR=15X)", 20, u"185057511234529", u"283025711108628"},
        {u",format=(FR=7C8X)", 20, u"185057511234529", u"185057511108627"},
        {u",format=(FR=1X9C5X)", 20, u"185057511234529", u"285057511208644"},
        {u"", 20, u"185052A00412329", u"283022A00682048"},
        {u",format=(FR=15X)", 20, u"185052A00412329", u"283020200582079"},
        {u",format=(FR=15X)", 20, u"201010201500141", u"799102A01770888"},
        {u",format=(FR=15X)", 20, u"169076912399923", u"867096912243212"},
        {u"", 20, u"185059710145642", u"283029742439120"},
        {u"", 20, u"185057511234500", u"283027511108627"},
        {u",validate=y", 20, u"185059713412364", u"283029713308634"},
        {u",validate=y", 20, u"185057512012311", u"283027511984694"},
        {u"", 16, u"1850575112345-29", u"2830275111086-27"},
        {u"", 16, u"1850575112345 29", u"2830275111086 27"},
        {u"", 15, u"1850575112345-29", u"283027511108627"},
        {u"", 16, u"185057511234529", u"283027511108627"},
        {u",format=(FR=5X2C6X-2X)", 16, u"1850575112345 29", u"2830275111086-27"},
        {u",format=(FR=5X2C6X-2X)", 15, u"185057511234529", u"283027511108627"},
        {u",format=(FR=5X2C8X)", 20, u"1850575112345-29", u"283027511108627"},
        {u",format=(FR=7C6X 2X)", 20, u"185057511234529", u"1850575111086 27"},
        {u",format=(FR=7C8X)", 20, u"185051300112317", u"185051311908606"},
        {u",format=(FR=7C8X)", 20, u"185059250012383", u"185059203382010"},
        {u",format=(FR=5C10X)", 20, u"185052900212340", u"185059207882018"},
        {u",format=(FR=1X9C5X)", 20, u"185057500012322", u"285057500084625"},
    };
    for (auto& k : cases) {
        auto m = frtest::NewMap(std::u16string(u"switch=\"FR") + k.ops, k.destLength);
        m->set(u"NID", k.in);
        auto r = m->row();
        EXPECT_EQ(r.rc, 0) << U8(k.in) << U8(k.ops);
        EXPECT_EQ(r.put, k.out) << U8(k.in) << U8(k.ops);
    }
}

/* The sex digit by source month: the sex digits permuted by PermuteFromSeed(month, 4). */
TEST(MaskFR, SexDigitByMonth) {
    const char* maps[12] = {"2781", "7812", "8172", "1728", "2871", "7128", "8271", "1827", "2187", "7218", "8721", "1278"};
    auto m = frtest::NewMap(u"switch=\"FR,format=(FR=1X9C5X)");
    for (int i = 0; i < 48; ++i) {
        char s13[16];
        snprintf(s13, sizeof s13, "%c85%02d75112345", "1278"[i % 4], i / 4 + 1);
        m->set(u"NID", frtest::U16(s13 + frtest::KeyOf(s13)));
        EXPECT_EQ(char(m->row().put[0]), maps[i / 4][i % 4]) << s13;
        uint16_t p[4];
        PermuteFromSeed(i / 4 + 1, 4, p);
        EXPECT_EQ(SexByMonthFR[i / 4 + 1][i % 4], SexDigitsFR[p[i % 4] - 1]) << "month " << i / 4 + 1;
    }
}

/* Each refusal: the routine's status and message, then the row through the entry point
** (skipped, nothing put, the status's counter). */
TEST(MaskFR, Refusals) {
    struct { const char16_t* in; uint16_t mode; int32_t status; const char16_t* msg; } cases[] = {
        {u"1850575112345/29", 0, 259, u"NID ERROR 0x103 :Invalid Separator for source data value"},
        {u"1850575112345529", 0, 259, u"NID ERROR 0x103 :Invalid Separator for source data value"},
        {u"18505751123452", 0, 257, u"NID ERROR 0x101:Invalid Length for source data value"},
        {u"18505751123452900", 0, 257, u"NID ERROR 0x101:Invalid Length for source data value"},
        {u"185052a00412329", 0, 58, u"NID ERROR 0x3a :Invalid Input Value (185052a00412329)"},
        {u"1850575112345-2X", 0, 58, u"NID ERROR 0x3a :Invalid Input Value (18505751123452X)"},
        {u"185053A00412329", 0, 258, u"NID ERROR  0x11c :Department (\"0\")is not a valid department)"},
        {u"3850575112345-29", 0, 258, u"NID ERROR 0x11a :Invalid Sex for source data value (385057511234529)"},
        {u"185137511234529", 0, 258, u"NID ERROR 0x11b :Invalid Month for source data value (185137511234529)"},
        {u"185002011234529", 0, 258, u"NID ERROR  0x11c :Department (\"20\")is not a valid department)"},
        {u"185059611234529", 0, 258, u"NID ERROR  0x11c :Department (\"96\")is not a valid department)"},
        {u"185059811234529", 0, 258, u"NID ERROR  0x11c :Department (\"98\")is not a valid department)"},
        {u"185057512100029", MODE_VALIDATE, 258, u"NID ERROR 0x11e :Invalid Commune for source data value (185057512100029)"},
        {u"185057500012322", MODE_VALIDATE, 258, u"NID ERROR 0x11e :Invalid Commune for source data value (185057500012322)"},
        {u"185059713512334", MODE_VALIDATE, 258, u"NID ERROR 0x11e :Invalid Commune for source data value (185059713512334)"},
        {u"185057511234528", MODE_VALIDATE, 258, u"NID ERROR 0x11f :Invalid Control Key for source data value(185057511234528) "},
        {u"185057500012322", 0, 258, u"untouched"},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(U8(k.in));
        std::u16string msg;
        EXPECT_EQ(RunRoutine(k.in, k.mode, &msg), k.status);
        EXPECT_EQ(msg, k.msg);

        auto m = frtest::NewMap(k.mode ? u"switch=\"FR,validate=y" : u"switch=\"FR");
        m->set(u"NID", k.in);
        auto r = m->row();
        EXPECT_EQ(r.rc, 1);
        EXPECT_EQ(r.puts, 0);
        WORKAREA& wa = m->workArea();
        int32_t counted = k.status == 259 ? wa.InvalidSeparatorCount : k.status == 257 ? wa.InvalidLengthCount
                        : k.status == 58 ? wa.InvalidDataCount : wa.InvalidPartCount;
        EXPECT_EQ(counted, 1);
        EXPECT_EQ(wa.InvalidSeparatorCount + wa.InvalidLengthCount + wa.InvalidDataCount + wa.InvalidPartCount, 1);
    }
}

/* A blank input gives a blank output chosen by the destination type; a type outside both
** blank sets, a long blank input and a non-string input are refused. */
TEST(MaskFR, BlankAndOddInput) {
    struct { int16_t hostType; const char16_t* in; const char16_t* put; } cases[] = {
        {1, u"               ", u"               "}, {1, u"", u"               "},  {1, u"   ", u"               "},
        {2, u"               ", u""},                {30, u"                ", u"               "},
        {32, u"", u"               "},               {31, u"  ", u""},             {33, u"               ", nullptr},
    };
    for (auto& k : cases) {
        auto m = frtest::NewMap(u"switch=\"FR", 20, k.hostType);
        m->set(u"NID", k.in);
        auto r = m->row();
        EXPECT_EQ(r.rc, k.put ? 0 : 1) << k.hostType;
        EXPECT_EQ(r.put, k.put ? k.put : u"") << k.hostType;
        EXPECT_EQ(m->workArea().InvalidDataCount, k.put ? 0 : 1) << k.hostType;
    }
    std::u16string msg;
    EXPECT_EQ(RunRoutine(std::u16string(256, u' '), 0, &msg), 64);
    EXPECT_EQ(RunRoutine(std::u16string(257, u' '), 0, &msg), 257);
    EXPECT_EQ(RunRoutine(u"185057511234529", 0, &msg, KIND_INT32), 263);
    EXPECT_EQ(msg, u"NID ERROR 0x107 :Invalid Datatype for source data value");
}

} // namespace
