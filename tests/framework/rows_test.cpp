// Row processing through the entry point: source, country, routine's code, output.
#include "exit/exit_internal.h"
#include "framework/fake_countries.h"

namespace {

using Rows = Fake;

// A NULL source is written NULL, or skipped and counted, without reading the switch column;
// the indicator of a non-nullable source is ignored.
TEST_F(Rows, NullSource) {
    struct { bool srcNullable, destNullable; const char* did; size_t gets; } cases[] = {
        {true, true, "rc 0 put NULL", 1}, {true, false, "rc 1 null 1", 1},
        {false, true, "rc 0 put MASKED", 2}};
    for (const auto& c : cases) {
        Map m(u"switch=CTRY", {{u"NID", 1, 20, c.srcNullable}, {u"CTRY", 1, 3}},
              {{u"NID", 1, 20, c.destNullable}});
        m.setNull(u"NID");
        m.set(u"CTRY", u"FR");
        auto r = m.row();
        EXPECT_EQ(Did(m, r), c.did);
        EXPECT_EQ(r.gets.size(), c.gets);
        EXPECT_EQ(g_fake.seenInKind, c.gets == 2 ? KIND_STRING : 0);
    }
}

// The source is asked for in the representation of the type the country chose (never
// more than the value buffer holds) and handed on as a string or an integer.
TEST_F(Rows, SourceTypes) {
    struct { int16_t type; int32_t length; uint16_t request; int32_t bytes; } cases[] = {
        {1, 20, 39, 42},  {3, 17, 39, 36},  {31, 25, 39, 52}, {33, 12, 39, 26},
        {35, 30, 39, 32}, {37, 40, 39, 42}, {10, 4, 10, 4},   {18, 5, 18, 5},
        {1, 70000, 39, 8190}, {1, -5, 39, 0}, {0, 20, 0, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.length);
        Map m(u"switch=\"FR", {{u"NID", 1, c.length, true, 7}});
        g_fake.srcType = c.type;
        m.set(u"NID", u"-7654321");
        auto r = m.row();
        ASSERT_FALSE(r.gets.empty());
        EXPECT_EQ(r.gets[0].valueType, c.request);
        EXPECT_EQ(r.gets[0].bufferLength, c.bytes);
        EXPECT_EQ(Msg(r), c.type == 0 ? "NID ERROR 0x7: Invalid source type" : "");
        EXPECT_EQ(g_fake.seenInt, c.type == 0 || c.request == 39 ? 0 : -7654321);
        EXPECT_EQ(g_fake.seenIn, c.request == 39 && c.bytes > 0 ? u"-7654321" : u"");
    }
    // a packed value the host did not encode (more digits than its bytes) is skipped, uncounted
    Map m(u"switch=\"FR", {{u"NID", 18, 3, true, 5}});
    g_fake.srcType = 18;
    m.set(u"NID", u"12345");
    EXPECT_EQ(m.did(), "rc 0 put MASKED");
    m.sourceList()->Col[0].Precision = 40;
    EXPECT_EQ(m.did(), "rc 1");
}

TEST_F(Rows, PackedDecimalBothWays) {
    struct { int64_t value; int digits; } cases[] = {{0, 1}, {7, 1}, {12345, 5}, {-12345, 5},
        {-1, 3}, {1234567, 7}, {999999999, 9}, {2147483647, 10}};
    for (const auto& c : cases) {
        uint8_t bytes[16] = {};
        ASSERT_TRUE(IntToPacked(c.value, c.digits, bytes, sizeof bytes));
        int32_t back = 0;
        ASSERT_TRUE(PackedToInt(bytes, sizeof bytes, c.digits, &back));
        EXPECT_EQ(back, c.value);
    }
    uint8_t bytes[3];
    EXPECT_FALSE(IntToPacked(123456, 5, bytes, 3)); // a digit lost
    EXPECT_FALSE(IntToPacked(1, 5, bytes, 2));      // does not fit
    const uint8_t badDigit[] = {0x1A, 0x3C};
    int32_t v;
    EXPECT_FALSE(PackedToInt(badDigit, 2, 3, &v));
}

// A quoted switch or the switch column's value names the country (reads: N source, C switch
// column); no country leaves the row skipped and uncounted.
TEST_F(Rows, SwitchDecidesTheCountry) {
    struct { const char16_t *ops, *ctry; uint16_t country; const char* read; } cases[] = {
        {u"switch=\"fr", u"", COUNTRY_FR, "N"},      {u"switch=\"ESPANA", u"", COUNTRY_ES, "N"},
        {u"switch=\"", u"", 0, "N"},                 {u"switch=ctry", u"Uk", COUNTRY_UK, "NC"},
        {u"switch=CTRY", u"UKX", COUNTRY_UK, "NC"},   {u"switch=CTRY", u"iT", COUNTRY_IT, "NC"},
        {u"switch=CTRY", u"GB", 0, "NC"},             {u"switch=CTRY", u"F", 0, "NC"},
        {u"switch=\"CTRY\"", u"FR", 0, "N"},         {u"switch=NOPE", u"FR", 0, "N"},
        {u"switch=CTRY,method=random", u"ES", COUNTRY_ES, "C"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.ops + std::u16string(u" ") + c.ctry));
        Map m(c.ops, {{u"NID"}, {u"CTRY", 1, 3}});
        m.set(u"CTRY", c.ctry);
        auto r = m.row();
        std::string read;
        for (const auto& g : r.gets) read += g.colId == m.sourceList()->Col[0].ColId ? "N" : "C";
        EXPECT_EQ(Did(m, r), c.country ? "rc 0 put MASKED" : "rc 1");
        EXPECT_EQ(g_fake.seenCountry, c.country);
        EXPECT_EQ(read, c.read);
    }
    Map m(u"switch=CTRY,debug=y", {{u"NID"}, {u"CTRY", 1, 3}});
    m.set(u"CTRY", hostemu::Cell{false, u"", 9});
    auto r = m.row();
    EXPECT_EQ(Did(m, r), "rc 1");
    EXPECT_TRUE(r.gets.size() == 2 && r.gets[1].valueType == 39 && r.gets[1].bufferLength == 8);
    m.setNull(u"CTRY");
    EXPECT_EQ(m.did(), "rc 1");
    m.end();
    const std::string skip = "NID ERROR Country 15: not to be masked";
    EXPECT_EQ(log.tagged(), (Strings{skip, skip, "No row errors detected processing column NID"}));
}

// Each code of the routine: written, source kept, skipped and counted, or the run ended; any
// call type other than the end call's is a row.
TEST_F(Rows, RoutineCodesAndCallTypes) {
    const std::string internal = "rc 2 msg NID ERROR 0xff: INTERNAL ERROR";
    struct { int32_t code; std::string did; } cases[] = {
        {0, "rc 0 put MASKED"},   {64, "rc 0 put MASKED"},  {128, "rc 0 put SOURCE"},
        {256, "rc 1"},            {57, "rc 1 null 1"},      {58, "rc 1 data 1"},
        {262, "rc 1 data 1"},     {263, "rc 1 data 1"},     {59, "rc 1 conversion 1"},
        {257, "rc 1 length 1"},   {258, "rc 1 parts 1"},    {259, "rc 1 separator 1"},
        {512, "rc 2 msg ROUTINE SAYS"}, {255, internal},    {1, internal}, {-1, internal}};
    for (const auto& c : cases) {
        Map m(u"switch=\"FR");
        g_fake.maskRc = c.code;
        g_fake.maskMsg = u"ROUTINE SAYS";
        m.set(u"NID", u"SOURCE");
        EXPECT_EQ(m.did(), c.did) << c.code;
    }
    Map m(u"switch=\"FR");
    for (uint32_t t : {0u, 1u, 2u, 98u, 100u, 0xFFFFFFFFu}) EXPECT_EQ(m.row(t).rc, 0);
    EXPECT_EQ(g_fake.maskCalls, 6);
}

TEST_F(Rows, OutputLengthLimit) {
    Map m(u"switch=\"FR,debug=y");
    g_fake.out = std::u16string(4095, u'7');
    EXPECT_EQ(m.row().put.size(), 4095u);
    g_fake.outLength = 4096;
    EXPECT_EQ(m.did(), "rc 1");
    m.end();
    EXPECT_EQ(log.tagged()[0], "NID ERROR 0x105: Length 4096 of Destination Data exceeds the max "
                               "size 4096: skipping the row");
}

// The routine's output in the destination's form: written (rc 0), skipped with a logged
// message (rc 1), or the run ended with a message (rc 2).
TEST_F(Rows, Conversions) {
    const std::string badDest = "Invalid Dest DataType.                             Expected ";
    const std::string badOut = "NID ERROR 0x106: Invalid Out DataType. Expected 1:skipping row";
    const std::string unsupported = "NID ERROR 0x8: Unsupported Dest Column Data Type";
    struct { int16_t destType; int32_t outKind; uint64_t raw; int16_t rc; std::string text; }
    cases[] = {
        {1, KIND_STRING, 0, 0, "MASKED"},  {37, KIND_STRING, 0, 0, "MASKED"},
        {34, KIND_STRING, 0, 0, "MASKED"}, {1, KIND_INT32, 1234, 0, "1234"},
        {1, KIND_INT16, 0xFFFF, 0, "-1"},  {10, KIND_INT32, 987654321, 0, "987654321"},
        {14, KIND_INT16, 42, 0, "42"},     {15, KIND_INT32, 0, 0, ""},
        {15, KIND_FLOAT, 0x414E6666, 0, "12"}, // 12.9f
        {18, KIND_INT32, 12345, 0, "\xe3\x90\x92\x5c"}, // bytes 12 34 5C as 16-bit characters
        {1, KIND_NONE, 0, 1, badOut},      {1, 9, 0, 1, badOut},
        {10, KIND_STRING, 0, 1, badDest + "10, passed 5, skipping"},
        {18, KIND_STRING, 0, 1, badDest + "18, passed 5, skipping"},
        {0, KIND_STRING, 0, 2, unsupported}, {5, KIND_STRING, 0, 2, unsupported}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.destType << " " << c.outKind);
        testlog::LogFile caseLog;
        Map m(u"switch=\"FR,debug=y", {{u"NID"}}, {{u"NID", 1, 3, true, 5}});
        g_fake.destType = c.destType;
        g_fake.outKind = c.outKind;
        g_fake.outRaw = c.raw;
        auto r = m.row();
        m.end();
        EXPECT_EQ(r.rc, c.rc);
        Strings logged = caseLog.tagged();
        logged.push_back("");
        EXPECT_EQ(c.rc == 0 ? Utf16ToUtf8(r.put) : c.rc == 1 ? logged[0] : Msg(r), c.text);
    }
}

} // namespace
