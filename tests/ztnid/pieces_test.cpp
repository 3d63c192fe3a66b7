/*
** pieces_test.cpp - ztnid's converters, CSV reader and writer, and column map specs.
*/
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/emul/utf.h"
#include "host/ztnid/csv.h"
#include "host/ztnid/run.h"
#include "host/ztnid/text.h"
#include "ztnid_test_util.h"

using namespace ztnid;
using ztnid_test::kNull;

/* ------------------------------------------------------------------ text */

TEST(ZtnidText, RoundTripsAndAgreesWithTheHostEmulation) {
    const char* cases[] = {"", "1234567L", "José Núñez", "Ægir Łukasz Søren", "王明", "😀 🐍🍕", "a\x01\x7f" "b",
                           "\xF0\x9F\x98", /* a cut 4-byte sequence */ "\xC0\xAF", /* overlong */ "x\xFFy",
                           "\xED\xA0\x80" /* a surrogate in UTF-8 */};
    for (const char* c : cases) {
        std::u16string expected = Utf8ToUtf16(c);
        char16_t buf[64];
        size_t n = Utf8IntoUtf16(c, buf, 64);
        ASSERT_EQ(std::u16string(buf, n), expected) << c;
        EXPECT_EQ(Utf16Length(c), expected.size()) << c;
        std::string back;
        AppendUtf8(back, buf, n);
        EXPECT_EQ(back, Utf16ToUtf8(expected)) << c;
    }
    EXPECT_EQ(Utf8ToUtf16("😀").size(), 2u); /* a surrogate pair */
    std::string lone;
    const char16_t unpaired[] = {u'a', 0xD800, u'b'};
    AppendUtf8(lone, unpaired, 3);
    EXPECT_EQ(lone, "a\xEF\xBF\xBD" "b");
}

TEST(ZtnidText, RefusesWhatDoesNotFitTheBuffer) {
    char16_t buf[5];
    EXPECT_EQ(Utf8IntoUtf16("abcd", buf, 5), 4u); /* four units and the terminator */
    EXPECT_EQ(Utf8IntoUtf16("abcde", buf, 5), SIZE_MAX);
    EXPECT_EQ(Utf8IntoUtf16("abc😀", buf, 5), SIZE_MAX); /* the pair needs two more units */
    EXPECT_EQ(Utf8IntoUtf16("ab😀", buf, 5), 4u);
    EXPECT_EQ(Utf8IntoUtf16("", buf, 0), SIZE_MAX);
}

/* ------------------------------------------------------------------ CSV */

struct CsvCase {
    const char* name;
    std::string text;
    bool emptyIsBlank;
    std::vector<std::vector<std::string>> rows;
};

TEST(ZtnidCsv, ReadsQuotedFieldsNullsAndLineEnds) {
    const std::vector<CsvCase> cases = {
        {"plain", "a,b\n1,2\n3,4\n", false, {{"1", "2"}, {"3", "4"}}},
        {"no final line break", "a,b\n1,2", false, {{"1", "2"}}},
        {"CR LF and blank lines", "a,b\r\n\r\n1,2\r\n\n3,4\r\n", false, {{"1", "2"}, {"3", "4"}}},
        {"empty is NULL, quoted empty is not", "a,b,c\n,\"\",x\n", false, {{kNull, "", "x"}}},
        {"empty is blank", "a,b\n,\"\"\n", true, {{"", ""}}},
        {"last field empty", "a,b\n1,\n", false, {{"1", kNull}}},
        {"delimiter, quote and line break in quotes", "a,b\n\"x,y\",\"say \"\"hi\"\"\nbye\"\n", false,
         {{"x,y", "say \"hi\"\nbye"}}},
        {"byte order mark", "\xEF\xBB\xBF" "a\nJosé\n", false, {{"José"}}},
    };
    ztnid_test::TempDir dir;
    for (const CsvCase& c : cases) {
        ztnid_test::WriteFile(dir / "in.csv", c.text);
        CsvSource src(dir / "in.csv", ',', c.emptyIsBlank);
        std::vector<std::vector<std::string>> rows;
        while (src.next()) {
            std::vector<std::string> row;
            for (size_t i = 0; i < src.columns().size(); ++i)
                row.push_back(src.isNull(i) ? kNull : std::string(src.text(i)));
            rows.push_back(row);
        }
        EXPECT_EQ(rows, c.rows) << c.name;
        EXPECT_EQ(src.columns()[0].nullable, !c.emptyIsBlank) << c.name;
    }
}

TEST(ZtnidCsv, ReportsMalformedInputWithItsLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a,b\n1,2\n\"x\ny\",2\n1,2,3\n", "line 5: 3 fields, the header has 2"},
        {"a,b\n1,\"open\n", "a quoted field is not closed"},
        {"a,b\n\"x\"y,2\n", "line 2: unexpected character after a closing quote"},
        {"a,b\r1,\"x\ry\"\r3\r", "line 4: 1 fields"}, /* CR alone ends a line, also inside quotes */
        {"a,a\n", "column a appears twice"},
        {"", "empty file"},
    };
    ztnid_test::TempDir dir;
    for (const auto& [text, message] : cases) {
        ztnid_test::WriteFile(dir / "in.csv", text);
        try {
            CsvSource src(dir / "in.csv", ',', false);
            while (src.next()) {
            }
            ADD_FAILURE() << "no error for " << text;
        } catch (const RunError& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
}

TEST(ZtnidCsv, ReadsRecordsLongerThanABlock) {
    ztnid_test::TempDir dir;
    std::string big(3 << 20, 'x');
    big[1000] = '\n';
    ztnid_test::WriteFile(dir / "in.csv", "a,b\n1,\"" + big + "\"\n2,y\n");
    CsvSource src(dir / "in.csv", ',', false);
    ASSERT_TRUE(src.next());
    EXPECT_EQ(src.text(1), big);
    ASSERT_TRUE(src.next());
    EXPECT_EQ(src.where(), "line 4");
    EXPECT_FALSE(src.next());
}

TEST(ZtnidCsv, SinkWritesWhatTheSourceReadsBack) {
    ztnid_test::TempDir dir;
    ztnid_test::WriteFile(dir / "in.csv", "a;b\n\"x;y\";\"\"\n;\"q\"\"\nr\"\nplain;😀\n");
    CsvSource src(dir / "in.csv", ';', false);
    CsvSink sink(dir / "out.csv", ';', true);
    std::vector<DestColumn> cols{{"a", {}, true, "", 0, ""}, {"b", {}, true, "", 1, ""}, {"m", {}, true, "", -1, ""}};
    sink.begin(cols);
    std::vector<OutCell> mapped(3);
    int n = 0;
    while (src.next()) {
        mapped[2].isNull = n == 1;
        mapped[2].value = n == 0 ? u"" : u"é\"𝄞";
        sink.write(src, mapped);
        ++n;
    }
    EXPECT_FALSE(ztnid_test::FileExists(dir / "out.csv")); /* written to a temporary file until commit */
    sink.commit();
    EXPECT_EQ(ztnid_test::ReadFile(dir / "out.csv"),
              "a;b;m\r\n\"x;y\";\"\";\"\"\r\n;\"q\"\"\nr\";\r\nplain;😀;\"é\"\"𝄞\"\r\n");
}

/* ------------------------------------------------------------------ column map specs */

TEST(ZtnidColumns, ParsesMapSpecsAndTypes) {
    MapSpec m = ParseMapSpec("nid=switch=CTRY,format=(FR=5X2C8X)");
    EXPECT_EQ(m.dest, "nid");
    EXPECT_FALSE(m.typeGiven);
    EXPECT_EQ(m.operands, "switch=CTRY,format=(FR=5X2C8X)");
    m = ParseMapSpec(" masked : nvarchar( 16 ) =switch=\"IT");
    EXPECT_EQ(m.dest, "masked");
    EXPECT_EQ(m.type.code, 31);
    EXPECT_EQ(m.type.length, 16);
    EXPECT_EQ(m.operands, "switch=\"IT");

    const std::vector<std::pair<const char*, std::pair<int, int>>> types = {
        {"CHAR(9)", {1, 9}}, {"varchar", {2, 255}}, {"NCHAR(15)", {30, 15}}, {"WCHAR(32)", {32, 32}},
        {"WVARCHAR(38)", {33, 38}}, {"33(20)", {33, 20}}, {"5(255)", {5, 255}},
    };
    for (const auto& [text, want] : types) {
        ColumnType t = ParseType(text, 255);
        EXPECT_EQ(std::make_pair(int(t.code), int(t.length)), want) << text;
    }
    EXPECT_EQ(CapacityUnits(ParseType("WVARCHAR(38)", 0)), 19); /* bytes, two per character */
    EXPECT_EQ(TypeText(ParseType("33(20)", 0)), "WVARCHAR(20)");

    for (const char* bad : {"nid", "=switch=x", ":CHAR(9)=switch=x", "nid:TEXT(9)=x", "nid:CHAR(9=x", "nid:CHAR(-1)=x"})
        EXPECT_THROW(ParseMapSpec(bad), UsageError) << bad;

    EXPECT_EQ(TypeOfDeclared("NCHAR(16)").code, 30);
    EXPECT_EQ(TypeOfDeclared("varchar(20)").length, 20);
    EXPECT_EQ(TypeOfDeclared("INTEGER").code, 2);
    EXPECT_EQ(SourceOperand("switch=c,format=(FR=1X9C5X,ES=8X), SRC = \"Nid Col\""), "Nid Col");
    EXPECT_EQ(SourceOperand("switch=c,format=(src=x)"), "");
}

TEST(ZtnidColumns, PlansReplacedAndAddedColumns) {
    std::vector<SourceColumn> src{{"id", {2, 10}, false, "INTEGER", ""},
                                  {"NID", {1, 16}, false, "CHAR(16)", ""},
                                  {"country", {2, 2}, true, "", ""}};
    std::vector<int> at;
    auto dest = PlanColumns(src,
                            {ParseMapSpec("nid=switch=country"), ParseMapSpec("copy=switch=country,source=NID"),
                             ParseMapSpec("fresh:VARCHAR(9)=switch=\"ES,method=random")},
                            &at);
    ASSERT_EQ(dest.size(), 5u);
    EXPECT_EQ(at, (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(dest[0].source, 0);
    EXPECT_EQ(dest[1].name, "NID"); /* the source's spelling */
    EXPECT_EQ(dest[1].source, -1);
    EXPECT_EQ(dest[1].declared, "CHAR(16)");
    EXPECT_FALSE(dest[1].nullable);
    EXPECT_EQ(TypeText(dest[3].type), "CHAR(16)"); /* a new column takes the type of the column read */
    EXPECT_FALSE(dest[3].nullable);
    EXPECT_EQ(TypeText(dest[4].type), "VARCHAR(9)");
    EXPECT_TRUE(dest[4].nullable);
    EXPECT_THROW(PlanColumns(src, {ParseMapSpec("a=x"), ParseMapSpec("A=y")}, &at), UsageError);
}
#endif
