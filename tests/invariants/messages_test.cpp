/*
** messages_test.cpp - messages that show names of 4095 characters stay inside the message
** buffer, and MsgText inside its 100 bytes.
**
** Each logged text must be the message cut to 511 characters; a failed call hands the host
** its first 50, and the counters after MsgText and the bytes after the work area must be
** untouched.
*/
#include <gtest/gtest.h>

#include "support/lean_host.h"
#include "support/log_file.h"

namespace {

using leanhost::LeanHost;

const std::u16string kLong(4095, u'N');
const size_t kMsgChars = MSG_BUF_CHARS - 1;

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

/* The quoted switch of a country that initialises (any serves); empty when none does. */
std::u16string AnySwitch() {
    for (const leanhost::Country& c : leanhost::Countries())
        if (leanhost::CountryAvailable(c)) return u"switch=\"" + std::u16string(c.code);
    return u"";
}

/* The counters stay as the rows left them and the bytes after the work area (the host's
** guard) are never written. */
void ExpectBounded(LeanHost& h, int32_t nulls) {
    const WORKAREA& wa = h.workArea();
    EXPECT_EQ(wa.NullInputCount, nulls);
    EXPECT_EQ(wa.InvalidDataCount + wa.InvalidLengthCount + wa.ConversionErrorCount +
                  wa.InvalidPartCount + wa.InvalidSeparatorCount, 0);
    for (size_t i = sizeof(WORKAREA); i < LeanHost::kWorkBytes; ++i) EXPECT_EQ(h.workBytes()[i], 0);
}

TEST(MessageBounds, LongNamesAreCutToTheMessageBufferAndMsgText) {
    const std::u16string sw = AnySwitch(), longSource(4200, u'S');
    if (sw.empty()) GTEST_SKIP() << "no country initialises";
    const std::u16string ops = sw + u",debug=y";
    const struct {
        std::u16string operands, srcName, destName;
        int16_t getResult, putResult;
        std::u16string message;
    } cases[] = {
        {ops + u",source=" + longSource, u"NID", u"NID", 0, 0,
         u"NID ERROR 0x4: Col " + longSource.substr(0, 4095) + u" not in sourcecol list"},
        {ops, u"NID", kLong, 0, 0, u"NID ERROR 0x4: Col " + kLong + u" not in sourcecol list"},
        {ops, kLong, kLong, 3, 0, u"NID ERROR 0x9: Error Getting col: " + kLong + u" data"},
        {ops, kLong, kLong, 0, 3, u"NID ERROR 0xa: Error Putting col " + kLong + u" data"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(Narrow(k.message.substr(0, 30)));
        testlog::LogFile log;
        LeanHost::Columns cols;
        cols.srcName = k.srcName.c_str();
        cols.destName = k.destName.c_str();
        cols.srcNullable = true;
        cols.destNullable = k.putResult != 0; /* a NULL is then written, and the put fails */
        LeanHost h(k.operands, cols);
        int32_t nulls = k.getResult != 0;     /* a NULL row skipped and counted first */
        h.setNull();
        if (nulls) {
            EXPECT_EQ(h.row(), EXIT_SKIPPED);
        }
        h.setGetResult(k.getResult);
        h.setPutResult(k.putResult);
        EXPECT_EQ(h.row(), EXIT_ERROR);
        EXPECT_EQ(Narrow(h.msgText()), Narrow(k.message.substr(0, 50)));
        ExpectBounded(h, nulls);
        h.end();
        bool found = false;
        for (const std::string& t : log.tagged()) {
            EXPECT_LE(t.size(), kMsgChars);
            found = found || t == Narrow(k.message.substr(0, kMsgChars));
        }
        EXPECT_TRUE(found);
    }
    LeanHost h(u"   "); /* a short message reaches MsgText whole and terminated */
    EXPECT_EQ(h.row(), EXIT_ERROR);
    EXPECT_EQ(Narrow(h.msgText()), "NID ERROR 0x5: No Operands found.");
    ExpectBounded(h, 0);
    h.end();
}

/* The end report names the destination column: cut like every message. */
TEST(MessageBounds, EndReportWithALongDestinationName) {
    const std::u16string sw = AnySwitch();
    if (sw.empty()) GTEST_SKIP() << "no country initialises";
    for (bool withErrors : {false, true}) {
        testlog::LogFile log;
        LeanHost::Columns cols;
        cols.srcName = cols.destName = kLong.c_str();
        cols.srcNullable = true;
        cols.destNullable = !withErrors; /* a NULL row is written, or skipped and counted */
        LeanHost h(sw + u",status=y", cols);
        h.setNull();
        EXPECT_EQ(h.row(), withErrors ? EXIT_SKIPPED : EXIT_DONE);
        h.end();
        std::u16string head = withErrors ? u"Non-zero error counts for column "
                                         : u"No row errors detected processing column ";
        std::vector<std::string> want = {Narrow((head + kLong).substr(0, kMsgChars))};
        if (withErrors) want.push_back("Null Input:           1");
        EXPECT_EQ(log.tagged(), want);
    }
}

} // namespace
