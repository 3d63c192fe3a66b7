/*
** copy_text_test.cpp - COPY's text format as ztnid reads and writes it.
*/
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/ztnid/pg_table.h"

using namespace ztnid;

namespace {

/* The fields of a line as text, NULL as "<NULL>"; the reason of a refusal otherwise. */
std::vector<std::string> Fields(const std::string& line, size_t count) {
    std::string values, why;
    std::vector<CopyField> fields(count);
    if (!ParseCopyLine(line, &values, &fields, &why)) return {"error: " + why};
    std::vector<std::string> out;
    for (const CopyField& f : fields) out.push_back(f.isNull ? "<NULL>" : values.substr(f.offset, f.length));
    return out;
}

} // namespace

TEST(ZtnidCopyText, ReadsNullsEscapesAndRefusesMalformedLines) {
    struct Case {
        std::string line;
        size_t count;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"a\tb", 2, {"a", "b"}},
        {"\\N\t\t\\N", 3, {"<NULL>", "", "<NULL>"}},
        {"\\\\N\t\\Nx", 2, {"\\N", "Nx"}}, /* only a whole \N is NULL */
        {"t\\tab\\nl\\rc\\\\b\\b\\f\\v", 1, {"t\tab\nl\rc\\b\b\f\v"}},
        {"\\101\\x42\\7\\x4\\xg\\q", 1, {"AB\7\4xgq"}},
        {"José 😀", 1, {"José 😀"}},
        {"", 1, {""}},
        {"a\tb\tc", 2, {"error: more fields than columns"}},
        {"a", 2, {"error: fewer fields than columns"}},
        {"a\\", 1, {"error: the line ends in a backslash"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Fields(c.line, c.count), c.want) << c.line;
}

TEST(ZtnidCopyText, WritesWhatItReads) {
    for (std::string v : {"", "plain", "\\N", "tab\there", "line\nbreak\r\n", "back\\slash\\", "\\x41 \\101"}) {
        std::string line;
        AppendCopyText(line, v);
        EXPECT_EQ(line.find_first_of("\t\n\r"), std::string::npos) << v;
        EXPECT_EQ(Fields(line, 1), std::vector<std::string>{v});
    }
}
#endif
