// The 16-bit formatter, and messages that show names of 4095 characters.
#include "exit/log/log.h"
#include "framework/fake_countries.h"

#include <algorithm>

namespace {

template <class... A>
std::string Fmt(const char16_t* fmt, A... a) {
    char16_t buf[MSG_BUF_CHARS];
    int n = FormatMsg(buf, fmt, a...);
    EXPECT_EQ(size_t(n), std::char_traits<char16_t>::length(buf));
    return Utf16ToUtf8(buf);
}

TEST(FormatMsg, Conversions) {
    EXPECT_EQ(Fmt(u"NID ERROR %#x: Operand %s not provided", 1, u"switch"),
              "NID ERROR 0x1: Operand switch not provided");
    EXPECT_EQ(Fmt(u"%#x %#x %#x", 0x105, 0x3a, 0), "0x105 0x3a 0");
    EXPECT_EQ(Fmt(u"%#x", -1), "0xffffffff");
    EXPECT_EQ(Fmt(u"%x %X %u", 255, 255, 4000000000u), "ff FF 4000000000");
    EXPECT_EQ(Fmt(u"%d|%d|%i", 0, -42, 2147483647), "0|-42|2147483647");
    EXPECT_EQ(Fmt(u"%ld", 123456789012LL), "123456789012");
    EXPECT_EQ(Fmt(u"%07d|%06d|%02d", 123, 999999, 7), "0000123|999999|07");
    EXPECT_EQ(Fmt(u"%5d|%-5d|%+d|% d", 42, 42, 42, 42), "   42|42   |+42| 42");
    EXPECT_EQ(Fmt(u"%c%c%07d%c%c", u'X', u'-', 42, u'-', u'T'), "X-0000042-T");
    EXPECT_EQ(Fmt(u"%s%s", u"JK", u"123456"), "JK123456");
    EXPECT_EQ(Fmt(u"[%5s|%-5s|%.2s|%.10s]", u"ab", u"ab", u"abcd", u"abc\0defghijk"),
              "[   ab|ab   |ab|abc]");
    EXPECT_EQ(Fmt(u"100%% %s", static_cast<const char16_t*>(nullptr)), "100% (null)");
    EXPECT_EQ(Fmt(u"Col %s \u00cf\u20ac", u"N\u00cfR"), "Col N\u00cfR \u00cf\u20ac");
    // missing arguments and odd conversions are harmless
    EXPECT_EQ(Fmt(u"%d %s|"), "0 |");
    EXPECT_EQ(Fmt(u"%q%"), "%q");
    EXPECT_EQ(Fmt(u"%s", 5), "");
    EXPECT_EQ(Fmt(u"%d", u"text"), "0");
}

TEST(FormatMsg, CutsToTheBuffer) {
    std::u16string name(4095, u'A');
    char16_t buf[MSG_BUF_CHARS + 8];
    for (auto& c : buf) c = u'#';
    int n = FormatMsg(buf, u"NID ERROR %#x: Col %s not in sourcecol list", 4, name.c_str());
    EXPECT_EQ(n, MSG_BUF_CHARS - 1);
    EXPECT_EQ(buf[MSG_BUF_CHARS - 1], 0);
    EXPECT_EQ(buf[MSG_BUF_CHARS], u'#'); // nothing written past the buffer
    char16_t small[8];
    EXPECT_EQ(FormatMsgN(small, 8, u"%07d-%c", 1234567, u'L'), 7);
    EXPECT_EQ(std::u16string(small), u"1234567");
    EXPECT_EQ(FormatMsgN(small, 1, u"abc"), 0);
    EXPECT_EQ(small[0], 0);
    EXPECT_EQ(FormatMsgN(small, 0, u"abc"), 0);
    EXPECT_EQ(FormatMsgN(small, 8, u"%999999999d", 1), 7);
}

// A failed get or put ends the run naming the column; logged texts are cut to 511 characters,
// MsgText to 50; the counters after MsgText and the bytes after the work area stay.
TEST_F(Fake, LongNamesAreCutToTheMessageBufferAndMsgText) {
    const std::u16string name(4095, u'N'), longSource(4200, u'S');
    const std::u16string ops = u"switch=\"FR,status=y";
    struct { std::u16string operands, src; int16_t getResult, putResult; std::u16string message; }
    cases[] = {
        {ops + u",source=" + longSource, u"NID", 0, 0,
         u"NID ERROR 0x4: Col " + longSource.substr(0, 4095) + u" not in sourcecol list"},
        {ops, u"NID", 0, 0, u"NID ERROR 0x4: Col " + name + u" not in sourcecol list"},
        {ops, name, 3, 0, u"NID ERROR 0x9: Error Getting col: " + name + u" data"},
        {ops, name, 0, 3, u"NID ERROR 0xa: Error Putting col " + name + u" data"}};
    for (const auto& c : cases) {
        testlog::LogFile caseLog;
        Map m(c.operands, {{c.src}}, {{name, 1, 20, false}});
        m.setNull(c.src); // skipped and counted first (when the set-up succeeds)
        m.row();
        m.set(c.src, hostemu::Cell{false, u"V", c.getResult});
        m.setPutResult(c.putResult);
        auto r = m.row();
        const std::string message = Utf16ToUtf8(c.message.substr(0, MSG_BUF_CHARS - 1));
        std::string did = std::string("rc 2") + (c.putResult ? " put MASKED" : "") +
                          (c.src == name ? " null 1" : "") + " msg " + message.substr(0, 50);
        EXPECT_EQ(Did(m, r), did);
        const uint8_t* work = reinterpret_cast<const uint8_t*>(&m.workArea());
        EXPECT_EQ(std::count(work + sizeof(WORKAREA), work + 512, 0), 512 - long(sizeof(WORKAREA)));
        m.end();
        Strings logged = caseLog.tagged();
        const std::u16string report = c.src == name ? u"Non-zero error counts for column "
                                                    : u"No row errors detected processing column ";
        for (const std::u16string& text : {c.message, report + name}) {
            std::string cut = Utf16ToUtf8(text.substr(0, MSG_BUF_CHARS - 1));
            EXPECT_NE(std::find(logged.begin(), logged.end(), cut), logged.end());
        }
        for (const std::string& t : logged) EXPECT_LE(Utf8ToUtf16(t).size(), MSG_BUF_CHARS - 1u);
    }
}

} // namespace
