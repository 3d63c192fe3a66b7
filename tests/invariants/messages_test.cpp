/*
** messages_test.cpp - messages that show names stay inside the message buffer, and
** MsgText inside its 100 bytes, with names of 4095 characters.
**
** What the exit logs is its message buffer, so each logged text must be the message cut
** to 511 characters; what a failed call hands to the host is its first 50 characters,
** and the counters after MsgText in the work area, and the bytes after the work area,
** must be untouched.
*/
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/lean_host.h"
#include "support/log_file.h"

namespace {

using leanhost::LeanHost;

const std::u16string kLongName(4095, u'N');
const size_t kMsgChars = MSG_BUF_CHARS - 1;

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

/* The logged texts, without timestamp and tag. */
std::vector<std::string> Logged(const testlog::LogFile& log) {
    std::vector<std::string> out;
    for (const std::string& t : log.texts()) {
        if (t.compare(0, 8, "ZTNID : ") == 0) out.push_back(t.substr(8));
    }
    return out;
}

/* The switch of a country that initialises (these messages are the framework's, any
** country serves); empty when none does. */
std::u16string AnyCountrySwitch() {
    for (const leanhost::Country& c : leanhost::Countries())
        if (leanhost::CountryAvailable(c)) return u"\"" + std::u16string(c.code);
    return u"";
}

/* Bytes of the work area past its end (the host's guard) are never written. */
bool GuardIntact(LeanHost& h) {
    for (size_t i = sizeof(WORKAREA); i < LeanHost::kWorkBytes; ++i)
        if (h.workBytes()[i] != 0) return false;
    return true;
}

struct Case {
    const char* what;
    std::u16string operands;      /* "SW" stands for the switch of a country that initialises */
    std::u16string srcName, destName;
    bool nullFirst;               /* a NULL row first: NullInputCount becomes 1 */
    int16_t getResult, putResult;
    std::u16string message;       /* the full message of the failing call */
};

TEST(MessageBounds, LongNamesAreCutToTheMessageBufferAndMsgText) {
    const std::u16string sw = AnyCountrySwitch();
    if (sw.empty()) GTEST_SKIP() << "no country initialises";
    const std::u16string ops = u"switch=" + sw + u",debug=y";
    const std::u16string longSource(4200, u'S');
    const Case cases[] = {
        {"source operand not in the list", ops + u",source=" + longSource, u"NID", u"NID", false, 0, 0,
         u"NID ERROR 0x4: Col " + longSource.substr(0, 4095) + u" not in sourcecol list"},
        {"destination name as the source name", ops, u"NID", kLongName, false, 0, 0,
         u"NID ERROR 0x4: Col " + kLongName + u" not in sourcecol list"},
        {"GetColValue fails", ops, kLongName, kLongName, true, 3, 0,
         u"NID ERROR 0x9: Error Getting col: " + kLongName + u" data"},
        {"PutColValue fails", ops, kLongName, kLongName, true, 0, 3,
         u"NID ERROR 0xa: Error Putting col " + kLongName + u" data"},
    };
    for (const Case& k : cases) {
        testlog::LogFile log;
        LeanHost::Columns cols;
        cols.srcName = k.srcName.c_str();
        cols.destName = k.destName.c_str();
        cols.srcNullable = true;
        cols.destNullable = k.putResult != 0; /* a NULL is then written, and the put fails */
        LeanHost h(k.operands, cols);
        int32_t nulls = 0;
        if (k.nullFirst) {
            h.setNull();
            if (!cols.destNullable) {
                EXPECT_EQ(h.row(), EXIT_SKIPPED) << k.what;
                nulls = 1;
            }
        }
        h.setGetResult(k.getResult);
        h.setPutResult(k.putResult);
        EXPECT_EQ(h.row(), EXIT_ERROR) << k.what;
        EXPECT_EQ(Narrow(h.msgText()), Narrow(k.message.substr(0, 50))) << k.what;
        const WORKAREA& wa = h.workArea();
        EXPECT_EQ(wa.NullInputCount, nulls) << k.what;
        EXPECT_EQ(wa.InvalidDataCount + wa.InvalidLengthCount + wa.ConversionErrorCount + wa.InvalidPartCount +
                      wa.InvalidSeparatorCount, 0) << k.what;
        EXPECT_TRUE(GuardIntact(h)) << k.what;
        h.end();
        std::vector<std::string> texts = Logged(log);
        bool found = false;
        for (const std::string& t : texts) {
            EXPECT_LE(t.size(), kMsgChars) << k.what;
            found = found || t == Narrow(k.message.substr(0, kMsgChars));
        }
        EXPECT_TRUE(found) << k.what;
    }
}

/* The end report names the destination column: cut like every message. */
TEST(MessageBounds, EndReportWithALongDestinationName) {
    const std::u16string sw = AnyCountrySwitch();
    if (sw.empty()) GTEST_SKIP() << "no country initialises";
    for (bool withErrors : {false, true}) {
        testlog::LogFile log;
        LeanHost::Columns cols;
        cols.srcName = kLongName.c_str();
        cols.destName = kLongName.c_str();
        cols.srcNullable = true;
        cols.destNullable = !withErrors; /* a NULL row is written, or skipped and counted */
        LeanHost h(u"switch=" + sw + u",status=y", cols);
        h.setNull();
        EXPECT_EQ(h.row(), withErrors ? EXIT_SKIPPED : EXIT_DONE);
        h.end();
        std::u16string head = withErrors ? u"Non-zero error counts for column " : u"No row errors detected processing column ";
        std::vector<std::string> texts = Logged(log);
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts[0], Narrow((head + kLongName).substr(0, kMsgChars)));
        if (withErrors) {
            ASSERT_EQ(texts.size(), 2u);
            EXPECT_EQ(texts[1], "Null Input:           1");
        }
    }
}

/* A message shorter than 50 characters reaches MsgText whole and terminated; nothing
** past the 100 bytes is touched. */
TEST(MessageBounds, ShortMessageInMsgText) {
    LeanHost h(u"   ");
    EXPECT_EQ(h.row(), EXIT_ERROR);
    EXPECT_EQ(Narrow(h.msgText()), "NID ERROR 0x5: No Operands found.");
    EXPECT_TRUE(GuardIntact(h));
    h.end();
}

} // namespace
