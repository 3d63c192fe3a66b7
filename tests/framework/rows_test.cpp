// Row processing through the entry point: reading the source, choosing the country,
// acting on the routine's code, converting the output, writing it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "exit/exit_internal.h"
#include "host/emul/host_emul.h"
#include "host/emul/utf.h"
#include "framework/fake_countries.h"
#include "support/log_file.h"

namespace {

using hostemu::Cell;
using hostemu::Column;
using hostemu::ColumnMap;
using Strings = std::vector<std::string>;

class Rows : public ::testing::Test {
protected:
    void SetUp() override { g_fake = FakeConfig{}; }
    testlog::LogFile log;
};

Column Col(const char16_t* name, int16_t type = 1, int32_t len = 20, bool nullable = true) {
    Column c;
    c.name = name;
    c.dataType = type;
    c.length = len;
    c.nullable = nullable;
    return c;
}

int32_t Counts(const WORKAREA& wa, int i) {
    const int32_t v[] = {wa.NullInputCount,       wa.InvalidDataCount, wa.InvalidLengthCount,
                         wa.ConversionErrorCount, wa.InvalidPartCount, wa.InvalidSeparatorCount};
    return v[i];
}

TEST_F(Rows, NullSourceIsWrittenNullOrCounted) {
    ColumnMap nullable(&FakeExit, u"switch=CTRY", {Col(u"NID"), Col(u"CTRY", 1, 3)}, {Col(u"NID")});
    nullable.setNull(u"NID");
    auto r = nullable.row();
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(r.putNull);
    EXPECT_EQ(r.gets.size(), 1u); // no country decision: the switch column is not read
    EXPECT_EQ(g_fake.maskCalls, 0);
    nullable.end();

    ColumnMap strict(&FakeExit, u"switch=\"FR", {Col(u"NID")}, {Col(u"NID", 1, 20, false)});
    strict.setNull(u"NID");
    r = strict.row();
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.puts, 0);
    EXPECT_EQ(strict.workArea().NullInputCount, 1);
    strict.end();
}

TEST_F(Rows, NullIndicatorOfANonNullableSourceIsIgnored) {
    ColumnMap m(&FakeExit, u"switch=\"FR", {Col(u"NID", 1, 20, false)}, {Col(u"NID")});
    m.setNull(u"NID");
    auto r = m.row();
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(g_fake.seenInKind, KIND_STRING);
    EXPECT_EQ(g_fake.seenIn, u"");
    m.end();
}

TEST_F(Rows, GetterFailures) {
    ColumnMap m(&FakeExit, u"switch=\"ES,source=IN,status=y", {Col(u"IN")}, {Col(u"OUTCOL")});
    m.set(u"IN", Cell{false, u"", 9});
    auto r = m.row();
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(m.workArea().ConversionErrorCount, 1);
    m.set(u"IN", Cell{false, u"", 4});
    r = m.row();
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(Utf16ToUtf8(r.msgText), "NID ERROR 0x9: Error Getting col: IN data");
    m.set(u"IN", u"V");
    m.setPutResult(3);
    r = m.row();
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(r.put, u"MASKED");
    EXPECT_EQ(Utf16ToUtf8(r.msgText), "NID ERROR 0xa: Error Putting col OUTCOL data");
    m.end();
    EXPECT_EQ(TaggedMessages(log), (Strings{"NID ERROR 0x9: Error Getting col: IN data",
                                       "NID ERROR 0xa: Error Putting col OUTCOL data",
                                       "Non-zero error counts for column OUTCOL", "Column conversion errors:           1"}));
}

struct RequestCase {
    int16_t srcType;
    int32_t length;
    uint16_t request;
    int32_t bytes;
};

class SourceRequest : public Rows, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(SourceRequest, AsksForTheRepresentationOfTheType) {
    g_fake.srcType = GetParam().srcType;
    ColumnMap m(&FakeExit, u"switch=\"FR", {Col(u"NID", 1, GetParam().length)}, {Col(u"NID")});
    m.set(u"NID", u"V");
    auto r = m.row();
    ASSERT_FALSE(r.gets.empty());
    EXPECT_EQ(r.gets[0].valueType, GetParam().request);
    EXPECT_EQ(r.gets[0].bufferLength, GetParam().bytes);
    m.end();
}

INSTANTIATE_TEST_SUITE_P(Types, SourceRequest,
                         ::testing::Values(RequestCase{1, 20, 39, 42}, RequestCase{3, 17, 39, 36},
                                           RequestCase{31, 25, 39, 52}, RequestCase{33, 12, 39, 26},
                                           RequestCase{35, 30, 39, 32}, RequestCase{37, 40, 39, 42},
                                           RequestCase{0, 20, 0, 20}, RequestCase{10, 4, 10, 4},
                                           RequestCase{18, 5, 18, 5},
                                           // never more than the value buffer holds
                                           RequestCase{1, 70000, 39, 8190}, RequestCase{1, -5, 39, 0}));

TEST_F(Rows, SourceKinds) {
    g_fake.srcType = 10;
    ColumnMap ints(&FakeExit, u"switch=\"FR", {Col(u"NID", 10, 4)}, {Col(u"NID")});
    ints.set(u"NID", u"-1234567");
    EXPECT_EQ(ints.row().rc, 0);
    EXPECT_EQ(g_fake.seenInKind, KIND_INT32);
    EXPECT_EQ(g_fake.seenInt, -1234567);
    ints.end();

    g_fake.srcType = 18;
    Column packed = Col(u"NID", 18, 4);
    packed.precision = 7;
    ColumnMap pk(&FakeExit, u"switch=\"FR,debug=y", {packed}, {Col(u"NID")});
    pk.set(u"NID", u"-7654321");
    EXPECT_EQ(pk.row().rc, 0);
    EXPECT_EQ(g_fake.seenInt, -7654321);
    pk.end();

    g_fake.srcType = 0;
    ColumnMap bad(&FakeExit, u"switch=\"FR", {Col(u"NID")}, {Col(u"NID")});
    bad.set(u"NID", u"V");
    auto r = bad.row();
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(Utf16ToUtf8(r.msgText), "NID ERROR 0x7: Invalid source type");
    bad.end();
}

TEST_F(Rows, InvalidPackedSourceIsSkippedWithoutCounter) {
    g_fake.srcType = 18;
    Column packed = Col(u"NID", 18, 3);
    packed.precision = 5;
    ColumnMap m(&FakeExit, u"switch=\"FR", {packed}, {Col(u"NID")});
    // a host that stores a string where packed decimal was asked: halves above 9
    m.set(u"NID", u"12345");
    EXPECT_EQ(m.row().rc, 0); // the emulator encodes the digits as packed decimal
    auto& cell = m.sourceList()->Col[0];
    cell.Precision = 40;      // more digits than the column's bytes hold
    auto r = m.row();
    EXPECT_EQ(r.rc, 1);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Counts(m.workArea(), i), 0);
    m.end();
}

TEST_F(Rows, PackedDecimalBothWays) {
    struct {
        int64_t value;
        int digits;
    } cases[] = {{0, 1}, {7, 1}, {12345, 5}, {-12345, 5}, {1234567, 7}, {-1, 3}, {999999999, 9}, {2147483647, 10}};
    for (auto c : cases) {
        uint8_t bytes[16] = {};
        ASSERT_TRUE(IntToPacked(c.value, c.digits, bytes, sizeof bytes));
        int32_t back = 0;
        ASSERT_TRUE(PackedToInt(bytes, sizeof bytes, c.digits, &back));
        EXPECT_EQ(back, c.value);
    }
    uint8_t bytes[3];
    ASSERT_TRUE(IntToPacked(12345, 5, bytes, 3));
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(bytes[1], 0x34);
    EXPECT_EQ(bytes[2], 0x5C);
    EXPECT_FALSE(IntToPacked(123456, 5, bytes, 3)); // a digit lost
    EXPECT_FALSE(IntToPacked(1, 5, bytes, 2));      // does not fit
    const uint8_t badDigit[] = {0x1A, 0x3C};
    int32_t v;
    EXPECT_FALSE(PackedToInt(badDigit, 2, 3, &v));
}

TEST_F(Rows, SwitchDecidesTheCountry) {
    struct {
        const char16_t* ops;
        const char16_t* ctry;
        int16_t rc;
        uint16_t country;
    } cases[] = {
        {u"switch=\"fr", u"", 0, COUNTRY_FR},       {u"switch=\"ESPANA", u"", 0, COUNTRY_ES},
        {u"switch=\"", u"", 1, 0},                  {u"switch=ctry", u"Uk", 0, COUNTRY_UK},
        {u"switch=CTRY", u"UKX", 0, COUNTRY_UK},    {u"switch=CTRY", u"iT", 0, COUNTRY_IT},
        {u"switch=CTRY", u"GB", 1, 0},              {u"switch=CTRY", u"F", 1, 0},
        {u"switch=\"CTRY\"", u"FR", 1, 0},          {u"switch=NOPE", u"FR", 1, 0},
    };
    for (auto& c : cases) {
        g_fake = FakeConfig{};
        ColumnMap m(&FakeExit, c.ops, {Col(u"NID"), Col(u"CTRY", 1, 3)}, {Col(u"NID")});
        m.set(u"NID", u"V");
        m.set(u"CTRY", c.ctry);
        auto r = m.row();
        EXPECT_EQ(r.rc, c.rc) << Utf16ToUtf8(c.ops) << " " << Utf16ToUtf8(c.ctry);
        EXPECT_EQ(g_fake.seenCountry, c.country);
        m.end();
    }
}

TEST_F(Rows, SwitchColumnIsReadPerRowWithItsOwnRequest) {
    ColumnMap m(&FakeExit, u"switch=CTRY,debug=y", {Col(u"NID"), Col(u"CTRY", 1, 3)}, {Col(u"NID")});
    m.set(u"NID", u"V");
    m.set(u"CTRY", Cell{false, u"", 9});
    auto r = m.row();
    EXPECT_EQ(r.rc, 1);
    ASSERT_EQ(r.gets.size(), 2u);
    EXPECT_EQ(r.gets[1].valueType, 39);
    EXPECT_EQ(r.gets[1].bufferLength, 8);
    m.setNull(u"CTRY");
    EXPECT_EQ(m.row().rc, 1); // a NULL switch value gives no country
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Counts(m.workArea(), i), 0);
    m.end();
    EXPECT_EQ(TaggedMessages(log), (Strings{"NID ERROR Country 15: not to be masked", "NID ERROR Country 15: not to be masked",
                                       "No row errors detected processing column NID"}));
}

TEST_F(Rows, RandomReadsOnlyTheSwitchColumn) {
    ColumnMap m(&FakeExit, u"switch=CTRY,method=random", {Col(u"NID"), Col(u"CTRY", 1, 3)}, {Col(u"NID")});
    m.set(u"CTRY", u"ES");
    auto r = m.row();
    EXPECT_EQ(r.rc, 0);
    ASSERT_EQ(r.gets.size(), 1u);
    EXPECT_EQ(r.gets[0].colId, m.sourceList()->Col[1].ColId);
    m.end();
}

struct CodeCase {
    int32_t code;
    int16_t rc;
    int counter; // index in Counts, -1 for none
};

class RoutineCode : public Rows, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(RoutineCode, IsActedOn) {
    g_fake.maskRc = GetParam().code;
    g_fake.maskMsg = u"ROUTINE SAYS";
    ColumnMap m(&FakeExit, u"switch=\"FR", {Col(u"NID")}, {Col(u"NID")});
    m.set(u"NID", u"SOURCE");
    auto r = m.row();
    EXPECT_EQ(r.rc, GetParam().rc);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Counts(m.workArea(), i), i == GetParam().counter ? 1 : 0) << i;
    if (r.rc == 0) {
        EXPECT_EQ(r.put, GetParam().code == RC_KEEP ? u"SOURCE" : u"MASKED");
    }
    if (r.rc == 2) {
        EXPECT_EQ(Utf16ToUtf8(r.msgText),
                  GetParam().code == RC_FATAL ? "ROUTINE SAYS" : "NID ERROR 0xff: INTERNAL ERROR");
    }
    m.end();
}

INSTANTIATE_TEST_SUITE_P(Codes, RoutineCode,
                         ::testing::Values(CodeCase{0, 0, -1}, CodeCase{64, 0, -1}, CodeCase{128, 0, -1},
                                           CodeCase{256, 1, -1}, CodeCase{57, 1, 0}, CodeCase{58, 1, 1},
                                           CodeCase{262, 1, 1}, CodeCase{263, 1, 1}, CodeCase{59, 1, 3},
                                           CodeCase{257, 1, 2}, CodeCase{258, 1, 4}, CodeCase{259, 1, 5},
                                           CodeCase{512, 2, -1}, CodeCase{255, 2, -1}, CodeCase{1, 2, -1},
                                           CodeCase{-1, 2, -1}));

TEST_F(Rows, SkippedRowLogsTheRoutinesMessageWithDebug) {
    g_fake.maskRc = RC_INVALID_PART;
    g_fake.maskMsg = u"NID ERROR 0x102:Bad part";
    ColumnMap m(&FakeExit, u"switch=\"FR,debug=y", {Col(u"NID")}, {Col(u"NID")});
    m.set(u"NID", u"V");
    m.row();
    m.end();
    EXPECT_EQ(TaggedMessages(log), (Strings{"NID ERROR 0x102:Bad part", "Non-zero error counts for column NID",
                                       "Invalid source data part:           1"}));
}

TEST_F(Rows, OutputLengthLimit) {
    ColumnMap m(&FakeExit, u"switch=\"FR,debug=y", {Col(u"NID")}, {Col(u"NID", 1, 255)});
    m.set(u"NID", u"V");
    g_fake.out = std::u16string(4095, u'7');
    auto r = m.row();
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.put.size(), 4095u);
    g_fake.out = std::u16string(4000, u'7');
    g_fake.outLength = 4096;
    EXPECT_EQ(m.row().rc, 1);
    m.end();
    EXPECT_EQ(TaggedMessages(log)[0],
              "NID ERROR 0x105: Length 4096 of Destination Data exceeds the max size 4096: skipping the row");
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Counts(m.workArea(), i), 0);
}

struct ConvertCase {
    int16_t destType;
    int32_t outKind;
    uint64_t raw;
    int16_t rc;
    const char16_t* put;
};

class Conversion : public Rows, public ::testing::WithParamInterface<ConvertCase> {};

TEST_P(Conversion, WritesTheDestinationsForm) {
    const ConvertCase& c = GetParam();
    g_fake.destType = c.destType;
    g_fake.outKind = c.outKind;
    g_fake.outRaw = c.raw;
    ColumnMap m(&FakeExit, u"switch=\"FR,debug=y", {Col(u"NID")}, {Col(u"NID")});
    m.set(u"NID", u"V");
    auto r = m.row();
    EXPECT_EQ(r.rc, c.rc);
    if (c.put) {
        EXPECT_EQ(r.put, c.put);
    }
    m.end();
}

uint64_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

INSTANTIATE_TEST_SUITE_P(
    Destinations, Conversion,
    ::testing::Values(ConvertCase{1, KIND_STRING, 0, 0, u"MASKED"}, ConvertCase{37, KIND_STRING, 0, 0, u"MASKED"},
                      ConvertCase{34, KIND_STRING, 0, 0, u"MASKED"},
                      ConvertCase{1, KIND_INT32, 1234, 0, u"1234"}, ConvertCase{1, KIND_INT16, 0xFFFF, 0, u"-1"},
                      ConvertCase{1, KIND_NONE, 0, 1, nullptr}, ConvertCase{1, 9, 0, 1, nullptr},
                      ConvertCase{10, KIND_INT32, 987654321, 0, u"987654321"},
                      ConvertCase{14, KIND_INT16, 42, 0, u"42"}, ConvertCase{15, KIND_INT32, 0, 0, u""},
                      ConvertCase{15, KIND_FLOAT, FloatBits(12.9f), 0, u"12"},
                      ConvertCase{10, KIND_STRING, 0, 1, nullptr}, ConvertCase{18, KIND_INT32, 12345, 0, nullptr},
                      ConvertCase{18, KIND_STRING, 0, 1, nullptr}, ConvertCase{0, KIND_STRING, 0, 2, nullptr},
                      ConvertCase{5, KIND_STRING, 0, 2, nullptr}));

TEST_F(Rows, ConversionMessages) {
    g_fake.destType = 10;
    ColumnMap m(&FakeExit, u"switch=\"FR,debug=y", {Col(u"NID")}, {Col(u"NID")});
    m.set(u"NID", u"V");
    m.row();
    g_fake.destType = 1;
    m.end();
    ColumnMap m2(&FakeExit, u"switch=\"FR,debug=y", {Col(u"NID")}, {Col(u"NID")});
    m2.set(u"NID", u"V");
    g_fake.outKind = KIND_NONE;
    m2.row();
    g_fake.destType = 0;
    m2.end();
    ColumnMap m3(&FakeExit, u"switch=\"FR", {Col(u"NID")}, {Col(u"NID")});
    m3.set(u"NID", u"V");
    g_fake.outKind = KIND_STRING;
    EXPECT_EQ(Utf16ToUtf8(m3.row().msgText), "NID ERROR 0x8: Unsupported Dest Column Data Type");
    m3.end();
    Strings msgs = TaggedMessages(log);
    ASSERT_GE(msgs.size(), 4u);
    EXPECT_EQ(msgs[0], "Invalid Dest DataType.                             Expected 10, passed 5, skipping");
    EXPECT_EQ(msgs[2], "NID ERROR 0x106: Invalid Out DataType. Expected 1:skipping row");
}

TEST_F(Rows, PackedDestinationUsesTheDestinationPrecision) {
    g_fake.destType = 18;
    g_fake.outKind = KIND_INT32;
    g_fake.outRaw = 12345;
    Column dst = Col(u"NID", 18, 3);
    dst.precision = 5;
    ColumnMap m(&FakeExit, u"switch=\"FR", {Col(u"NID")}, {dst});
    m.set(u"NID", u"V");
    auto r = m.row();
    EXPECT_EQ(r.rc, 0);
    // bytes 12 34 5C read back as two 16-bit characters
    ASSERT_EQ(r.put.size(), 2u);
    EXPECT_EQ(r.put[0], char16_t(0x3412));
    EXPECT_EQ(r.put[1], char16_t(0x005C));
    m.end();
}

TEST_F(Rows, CallTypeOtherThan99IsARow) {
    ColumnMap m(&FakeExit, u"switch=\"FR", {Col(u"NID")}, {Col(u"NID")});
    m.set(u"NID", u"V");
    for (uint32_t t : {0u, 1u, 2u, 98u, 100u, 0xFFFFFFFFu}) EXPECT_EQ(m.row(t).rc, 0);
    EXPECT_EQ(g_fake.maskCalls, 6);
    m.end();
}

TEST_F(Rows, AllStatesKeepTheWorkAreaPointersConsistent) {
    ColumnMap m(&FakeExit, u"switch=\"FR", {Col(u"NID")}, {Col(u"NID")});
    m.set(u"NID", u"V");
    m.row();
    EXPECT_NE(static_cast<void*>(m.workArea().pRBPDATA), nullptr);
    EXPECT_NE(static_cast<void*>(m.workArea().pWorkAreaFR), nullptr);
    m.end();
    const WORKAREA& wa = m.workArea();
    EXPECT_EQ(static_cast<void*>(wa.pRBPDATA), nullptr);
    EXPECT_EQ(static_cast<void*>(wa.pWorkAreaES), nullptr);
    EXPECT_EQ(static_cast<void*>(wa.pWorkAreaIT), nullptr);
    EXPECT_EQ(static_cast<void*>(wa.pWorkAreaUK), nullptr);
    EXPECT_EQ(static_cast<void*>(wa.pWorkAreaFR), nullptr);
}

} // namespace
