/* pieces_test.cpp - ztnid's text converters, CSV reader, COPY text format and --map arguments. */
#if !defined(_WIN32)
#include "host/ztnid/pg_table.h"
#include "host/ztnid/run.h"
#include "host/ztnid/text.h"
#include "ztnid_test_util.h"

using namespace ztnid;
using ztnid_test::Rows;

/* The host emulation's decoding, and ztnid's converters agree with it and refuse what does
** not fit.  A malformed sequence is one U+FFFD. */
TEST(ZtnidText, AgreesWithTheHostEmulationAndRefusesWhatDoesNotFit) {
    for (const auto& [c, expected] : std::vector<std::pair<const char*, std::u16string>>{
             {"", u""}, {"1234567L", u"1234567L"}, {"José Núñez", u"José Núñez"},
             {"Ægir Łukasz", u"Ægir Łukasz"}, {"王明", u"王明"}, {"😀 🐍🍕", u"😀 🐍🍕"},
             {"a\x01\x7f", u"a\x01\x7f"}, {"\xF0\x9F\x98" /* cut */, u"\xFFFD"},
             {"\xC0\xAF" /* overlong */, u"\xFFFD"}, {"x\xFFy", u"x\xFFFDy"},
             {"\xED\xA0\x80" /* a surrogate */, u"\xFFFD"}}) {
        ASSERT_EQ(Utf8ToUtf16(c), expected) << c;
        char16_t buf[64];
        size_t n = Utf8IntoUtf16(c, buf, 64);
        ASSERT_EQ(std::u16string(buf, n), expected) << c;
        EXPECT_EQ(Utf16Length(c), expected.size()) << c;
        std::string back;
        AppendUtf8(back, buf, n);
        EXPECT_EQ(back, Utf16ToUtf8(expected)) << c;
    }
    std::string lone;
    const char16_t unpaired[] = {u'a', 0xD800, u'b'};
    AppendUtf8(lone, unpaired, 3);
    EXPECT_EQ(lone, "a\xEF\xBF\xBD" "b");
    char16_t buf[5]; /* units and the terminator */
    for (const auto& [text, n] : std::vector<std::pair<const char*, size_t>>{
             {"abcd", 4}, {"abcde", SIZE_MAX}, {"abc😀", SIZE_MAX}, {"ab😀", 4}})
        EXPECT_EQ(Utf8IntoUtf16(text, buf, 5), n) << text;
    EXPECT_EQ(Utf8IntoUtf16("", buf, 0), SIZE_MAX);
}

/* The rows read, or the message of a refusal (quoting and NULLs: the semicolon round trip). */
TEST(ZtnidCsv, ReadsLineEndsBomsAndLongRecordsAndRefusesMalformedOnes) {
    std::string big(3 << 20, 'x'); /* longer than a block */
    big[1000] = '\n';
    const std::tuple<std::string, Rows, std::string> cases[] = {
        {"a,b\n1,2", {{"1", "2"}}, ""},
        {"a,b\r\n\r\n1,2\r\n\n3,4\r\n", {{"1", "2"}, {"3", "4"}}, ""},
        {"\xEF\xBB\xBF" "a\nJosé\n", {{"José"}}, ""},
        {"a,b\n1,\"" + big + "\"\n2,y\n", {{"1", big}, {"2", "y"}}, ""},
        {"a,b\n1,2\n\"x\ny\",2\n1,2,3\n", {}, "line 5: 3 fields, the header has 2"},
        {"a,b\n1,\"" + big + "\"\n2,y,z\n", {}, "line 4: 3 fields"},
        {"a,b\n1,\"open\n", {}, "a quoted field is not closed"},
        {"a,b\n\"x\"y,2\n", {}, "line 2: unexpected character after a closing quote"},
        {"a,b\r1,\"x\ry\"\r3\r", {}, "line 4: 1 fields"}, /* CR alone ends a line, in quotes too */
        {"a,a\n", {}, "column a appears twice"},
        {"", {}, "empty file"},
    };
    ztnid_test::TempDir dir;
    const std::string in = dir / "in.csv";
    for (const auto& [text, rows, error] : cases) {
        ztnid_test::WriteFile(in, text);
        try {
            EXPECT_EQ(ztnid_test::CsvRows(in), rows) << text.size();
            EXPECT_EQ(error, "");
        } catch (const RunError& e) {
            EXPECT_TRUE(!error.empty() && ztnid_test::Contains(e.what(), error)) << e.what();
        }
    }
}

/* The fields of a COPY text line, NULL as "<NULL>"; the reason of a refusal otherwise. */
static ztnid_test::Args CopyFields(const std::string& line, size_t count) {
    std::string values, why;
    std::vector<CopyField> fields(count);
    if (!ParseCopyLine(line, &values, &fields, &why)) return {"error: " + why};
    ztnid_test::Args out;
    for (const CopyField& f : fields)
        out.push_back(f.isNull ? "<NULL>" : values.substr(f.offset, f.length));
    return out;
}

TEST(ZtnidCopyText, ReadsNullsEscapesRefusesMalformedLinesAndWritesWhatItReads) {
    const std::tuple<std::string, size_t, ztnid_test::Args> cases[] = {
        {"a\tb", 2, {"a", "b"}},
        {"\\N\t\t\\N", 3, {"<NULL>", "", "<NULL>"}},
        {"\\\\N\t\\Nx", 2, {"\\N", "Nx"}}, /* only a whole \N is NULL */
        {"t\\tab\\nl\\rc\\\\b\\b\\f\\v", 1, {"t\tab\nl\rc\\b\b\f\v"}},
        {"\\101\\x42\\7\\x4\\xg\\q", 1, {"AB\7\4xgq"}},
        {"", 1, {""}},
        {"a\tb\tc", 2, {"error: more fields than columns"}},
        {"a", 2, {"error: fewer fields than columns"}},
        {"a\\", 1, {"error: the line ends in a backslash"}},
    };
    for (const auto& [line, count, want] : cases) EXPECT_EQ(CopyFields(line, count), want) << line;
    std::string line, v = "\\N\ttab\nline\r\\"; /* written on one line, read back whole */
    AppendCopyText(line, v);
    EXPECT_EQ(line.find_first_of("\t\n\r"), std::string::npos) << line;
    EXPECT_EQ(CopyFields(line, 1), ztnid_test::Args{v});
}

/* --map arguments; types by name (any case) or code, a wide one two bytes a character. */
TEST(ZtnidColumns, ParsesMapArgumentsAndTypes) {
    MapSpec m = ParseMapSpec("nid=switch=CTRY,format=(FR=5X2C8X)");
    EXPECT_EQ(std::make_tuple(m.dest, m.typeGiven, m.operands),
              std::make_tuple("nid", false, "switch=CTRY,format=(FR=5X2C8X)"));
    m = ParseMapSpec(" masked : nvarchar( 16 ) =switch=\"IT");
    EXPECT_EQ(std::make_tuple(m.dest, TypeText(m.type), m.operands),
              std::make_tuple("masked", "NVARCHAR(16)", "switch=\"IT"));
    for (const auto& [text, type] : std::vector<std::pair<const char*, const char*>>{
             {"CHAR(9)", "CHAR(9)"}, {"varchar", "VARCHAR(255)"}, {"NCHAR(15)", "NCHAR(15)"},
             {"WCHAR(32)", "WCHAR(32)"}, {"33(20)", "WVARCHAR(20)"}, {"5(255)", "5(255)"}})
        EXPECT_EQ(TypeText(ParseType(text, 255)), type);
    EXPECT_EQ(CapacityUnits(ParseType("WVARCHAR(38)", 0)), 19);
    for (const char* bad : {"nid", "=switch=x", ":CHAR(9)=x", "n:TEXT(9)=x", "n:CHAR(9=x",
                            "n:CHAR(-1)=x"})
        EXPECT_THROW(ParseMapSpec(bad), UsageError) << bad;
    EXPECT_EQ(SourceOperand("switch=c,format=(FR=1X9C5X,ES=8X), SRC = \"Nid Col\""), "Nid Col");
    EXPECT_EQ(SourceOperand("switch=c,format=(src=x)"), "");
}
#endif
