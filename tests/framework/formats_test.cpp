// Format descriptor lookup: the shapes of the format operand and the table search.
#include <gtest/gtest.h>

#include <string>

#include "exit/formats/formats.h"
#include "exit/operands/operands.h"

namespace {

TEST(Formats, CountryFormatFindsTheCountrysDescriptor) {
    const struct {
        const char16_t* operands;
        uint16_t country;
        int rc;
        const char16_t* descriptor;
    } cases[] = {
        {u"format=(FR=5X2C8X,IT=16X)", KW_FR, 0, u"5X2C8X"},
        {u"format=(FR=5X2C8X,IT=16X)", KW_IT, 0, u"16X"},
        {u"format=(FR=5X2C8X,IT=16X)", KW_ES, OPS_ABSENT, u""},
        {u"format=(france=5x2c8x)", KW_FR, 0, u"5x2c8x"},
        {u"format=(FR=5X2C8X )", KW_FR, 0, u"5X2C8X"},
        {u"format=5X2C8X", KW_FR, FMT_NOT_A_LIST, u""},
        {u"switch=x", KW_UK, OPS_ABSENT, u""},
        // a list one level too deep is dropped: as if absent
        {u"fmt=(uk=(a=1,b=2),ES=8X)", KW_UK, OPS_ABSENT, u""},
        {u"fmt=(uk=(a=1,b=2),ES=8X)", KW_ES, 0, u"8X"},
    };
    for (const auto& c : cases) {
        MAP map{};
        ASSERT_EQ(ParseOperands(c.operands, &map, u',', u'='), 0);
        const char16_t* desc = nullptr;
        EXPECT_EQ(GetCountryFormat(c.country, &map, &desc), c.rc) << c.country;
        EXPECT_EQ(std::u16string(desc ? desc : u""), c.descriptor);
        FreeOperands(&map);
    }
}

TEST(Formats, FindFormatComparesWholeStringsIgnoringCase) {
    static const char16_t* const table[] = {u"8X", u"7X-1X", u"7X 1X"};
    EXPECT_EQ(FindFormat(u"8X", table, 3), 0);
    EXPECT_EQ(FindFormat(u"7x-1x", table, 3), 1);
    EXPECT_EQ(FindFormat(u"7X 1X", table, 3), 2);
    EXPECT_EQ(FindFormat(u"7X-1X ", table, 3), -1);
    EXPECT_EQ(FindFormat(u"7X", table, 3), -1);
    EXPECT_EQ(FindFormat(u"", table, 3), -1);
    EXPECT_EQ(FindFormat(u"8X", table, 0), -1);
}

} // namespace
