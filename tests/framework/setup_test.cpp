// The entry point's set-up, end call and call finishing, over the fake routines.
#include "exit/exit_internal.h"
#include "exit/memory.h"
#include "framework/fake_countries.h"

namespace {

using SetUpTest = Fake;

// A failed set-up returns 2 with its message's first 50 characters in MsgText, writes nothing,
// and so does every later row (but after a failed allocation); nothing is logged.
TEST_F(SetUpTest, FailuresGiveTheirMessage) {
    const std::u16string q522(522, u'Q'), q523(523, u'Q'), dbg = u"switch=\"FR,debug=y,status=y";
    const std::string memory = "NID ERROR 0x20: Failed to allocate memory for ";
    struct { std::u16string operands; std::string message; int destIndex = 0, allocs = -1; }
    cases[] = {
        {u"method=mask,format=(FR=15X)", "NID ERROR 0x1: Operand switch not provided"},
        {u"sw=\"FR,method=mask", "NID ERROR 0x1: Operand switch not provided"},
        {u"", "NID ERROR 0x5: No Operands found."},
        {u"     ", "NID ERROR 0x5: No Operands found."},
        {u"foo=bar,baz=(FR=15X)", "NID ERROR 0x5: No Operands found."},
        {u"switch=\"FR,method=RANDOM,validate=y",
         "NID ERROR 0x2: Incompatible operands validate & random provided"},
        {u"switch=\"FR,method=rand", "NID ERROR 0x3: Invalid Value specified for Operand method"},
        {u"switch=(a=1),method=mask", "NID ERROR 0x1: Operand switch not provided"},
        {u"switch=(FR=x),method=mask", "NID ERROR 0x3: Invalid Value specified for Operand switch"},
        {u"switch=\"ES,source=NOPE", "NID ERROR 0x4: Col NOPE not in sourcecol list"},
        {u"switch=\"ES,source=\"NID", "NID ERROR 0x4: Col \"NID not in sourcecol list"},
        // a quoted name longer than the model holds is not found
        {u"switch=\"ES,source=\"" + q523 + u"\"", "NID ERROR 0x4: Col \"" + Utf16ToUtf8(q523)},
        {u"switch=\"FR", "NID ERROR 0xff: INTERNAL ERROR", 3}, // destination index out of range
        {dbg, memory + "RBPDATA", 0, 0},    {dbg, memory + "WorkAreaES", 0, 1},
        {dbg, memory + "WorkAreaFR", 0, 2}, {dbg, memory + "WorkAreaIT", 0, 3},
        {dbg, memory + "WorkAreaUK", 0, 4}, {dbg, memory + "MAP", 0, 5},
        {dbg, "NID ERROR 0x6: Failed to get the Operands", 0, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        g_fake = FakeConfig{};
        hostemu::ColumnMap m(&FakeExit, c.operands, {{u"NID"}, {q523}}, {{u"NID"}}, c.destIndex);
        m.set(u"NID", u"V");
        g_allocsLeft = c.allocs;
        ZtSetAllocHook(&FailNth);
        auto first = m.row();
        ZtSetAllocHook(nullptr);
        EXPECT_EQ(Did(m, first), "rc 2 msg " + c.message.substr(0, 50));
        if (c.allocs < 0) { // a later row processes nothing either
            auto second = m.row();
            EXPECT_EQ(Did(m, second), Did(m, first));
            EXPECT_TRUE(second.gets.empty());
        }
        EXPECT_EQ(g_fake.maskCalls, 0);
        EXPECT_EQ(m.end(), 0); // releases (the sanitizer build checks it)
        EXPECT_TRUE(!m.workArea().pRBPDATA && !m.workArea().pWorkAreaES);
    }
    EXPECT_EQ(log.tagged(), Strings{});
    Map longest(u"switch=\"ES,source=\"" + q522 + u"\"", {{q522}});
    EXPECT_EQ(longest.row().rc, 0);
}

// The operands decide the mode bits and the source column (the destination's namesake unless
// named; none for the random method); a row's set-up creates the log file.
TEST_F(SetUpTest, OperandsDecideTheModeAndTheSource) {
    const int mask = MODE_MASK, debug = MODE_MASK | MODE_DEBUG, random = MODE_RANDOM;
    struct { const char16_t* operands; int flags; const char16_t* in = u"1234567L"; } cases[] = {
        {u"", mask},            {u"debug=yes", debug},   {u"debug=Y", debug},
        {u"dbg=y", debug},      {u"debug=N", mask},      {u"debug=1", mask},
        {u"debug=", mask},      {u"debug=(y=1)", mask},  {u"method=maskx", mask},
        {u"method=MASK", mask}, {u"method=(a=1)", mask}, {u"method=", mask},
        {u"method=Randomly", random, u""}, {u"mtd=random,validate=no", random, u""},
        {u"status=Yes,validate=y", MODE_MASK | MODE_STATUS | MODE_VALIDATE},
        {u"source=\"IN\"", mask, u"FROM-IN"}, {u"source=in", mask, u"FROM-IN"},
        {u"source= ( In )", mask, u"FROM-IN"}, {u"method=random,source=NOPE", random, u""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.operands));
        Map m(u"switch=\"ES," + std::u16string(c.operands), {{u"OTHER"}, {u"nid"}, {u"In"}});
        m.set(u"nid", u"1234567L");
        m.set(u"In", u"FROM-IN");
        auto r = m.row();
        EXPECT_EQ(Did(m, r), "rc 0 put MASKED");
        EXPECT_EQ(g_fake.seenFlags, c.flags | int(MODE_SETUP_DONE));
        EXPECT_EQ(g_fake.seenIn, c.in);
        EXPECT_EQ(r.gets.size(), c.flags == random ? 0u : 1u);
        EXPECT_EQ(g_fake.seenNoSource, c.flags == random);
        EXPECT_EQ(g_fake.seenCountry, COUNTRY_ES);
        EXPECT_EQ(m.workArea().CountriesInit, 15);
    }
    EXPECT_TRUE(log.exists());
}

// Set-up failures are logged (UTF-8, stamped) with debug or status, then the end report;
// only the countries that initialise are masked.
TEST_F(SetUpTest, SetUpFailuresAreLoggedWithDebugOrStatus) {
    const std::string none = "No row errors detected processing column NID";
    const std::string countries = "NID ERROR 0xb: No Countries initialized for Masking";
    const std::string init = "NID ERROR 0x8: InitCountry", failed = "NID ERROR 0x101: InitCountry";
    const std::string random = "NID ERROR 0x2: Incompatible operands validate & random provided";
    const std::string name = "NID ERROR 0x4: Col N\u00cfR\u20ac\U0001D11E not in sourcecol list";
    const Strings partly = {failed + "FR Failed", failed + "UK Failed", failed + "ES Failed", none};
    struct { int32_t initRc[4]; const char16_t* ops; int16_t rc; std::string msg; Strings logged; }
    cases[] = {
        {{8, 8, 8, 8}, u"switch=\"FR", 2, countries, {}},
        {{8, 8, 8, 8}, u"switch=\"FR,debug=y", 2, countries,
         {init + "FR Failed", init + "UK Failed", init + "ES Failed", init + "IT Failed", countries,
          none}},
        {{}, u"switch=\"FR,status=y,method=random,validate=yes", 2, random, {random, none}},
        {{}, u"switch=\"FR,status=y,source=N\u00cfR\u20ac\U0001D11E", 2, name, {name, none}},
        {{257, 257, 257}, u"switch=\"FR,status=y", 1, "", partly},
        {{257, 257, 257}, u"switch=\"it,status=y", 0, "", partly}};
    for (const auto& c : cases) {
        testlog::LogFile caseLog;
        Map m(c.ops);
        std::copy(c.initRc, c.initRc + 4, g_fake.initRc);
        auto r = m.row();
        EXPECT_EQ(m.end(), 0);
        EXPECT_EQ(r.rc, c.rc);
        EXPECT_EQ(r.msgText, Utf8ToUtf16(c.msg).substr(0, 50));
        EXPECT_EQ(g_fake.maskCalls, c.rc == 0);
        EXPECT_EQ(caseLog.tagged(), c.logged);
        for (const std::string& l : caseLog.lines()) // MM/DD/YY HH:MM -ZTNID : text
            EXPECT_TRUE(l.size() > 24 && l[2] == '/' && l[5] == '/' && l[8] == ' ' &&
                        l[11] == ':' && l.compare(14, 10, " -ZTNID : ") == 0) << l;
    }
}

// An end call without rows only creates the log file; debug logs each skipped row's message;
// the end call reports the counters, releases everything, and keeps the counters until the
// next row sets the column up again.
TEST_F(SetUpTest, SkippedRowsEndReportAndASecondRun) {
    const std::string bad = "NID ERROR 0x102:Bad part";
    Map m(u"switch=\"FR,debug=y,source=NID", {{u"NID"}}, {{u"OUTCOL"}});
    g_fake.maskMsg = Utf8ToUtf16(bad);
    const WORKAREA& wa = m.workArea();
    EXPECT_FALSE(log.exists());
    EXPECT_EQ(m.end(), 0);
    EXPECT_TRUE(log.exists());
    EXPECT_TRUE(log.lines().empty()); // at most the platform's byte order mark
    EXPECT_EQ(wa.CountriesInit, 0);
    m.set(u"NID", hostemu::Cell{false, u"", 9});
    EXPECT_EQ(m.did(), "rc 1 conversion 1");
    EXPECT_EQ(m.did(), "rc 1 conversion 2");
    m.set(u"NID", u"V");
    for (int32_t rc : {RC_INVALID_SEPARATOR, RC_INVALID_PART, RC_INVALID_PART, RC_NULL_INPUT,
                       RC_INVALID_LENGTH, RC_INVALID_DATA}) {
        g_fake.maskRc = rc;
        EXPECT_EQ(m.row().rc, 1);
    }
    EXPECT_TRUE(wa.pRBPDATA && wa.pWorkAreaFR);
    EXPECT_EQ(m.end(), 0);
    EXPECT_EQ(log.tagged(),
              (Strings{"NID ERROR 0x38: Operand method not provided,Choosing MASK as default ", "",
                       bad, bad, bad, bad, bad, bad, "Non-zero error counts for column OUTCOL",
                       "Invalid source data length:           1",
                       "Invalid source data part:           2", "Invalid source data:           1",
                       "Null Input:           1", "Column conversion errors:           2",
                       "Invalid Separator(s) In Input:           1"}));
    EXPECT_EQ(m.end(), 0);
    EXPECT_TRUE(!wa.pRBPDATA && !wa.pWorkAreaES && !wa.pWorkAreaIT && !wa.pWorkAreaUK &&
                !wa.pWorkAreaFR);
    EXPECT_EQ(wa.CountriesInit, 15);
    EXPECT_EQ(wa.InvalidLengthCount, 1);
    g_fake.maskRc = RC_OK;
    EXPECT_EQ(m.row().rc, 0);
    EXPECT_EQ(wa.InvalidLengthCount, 0);
    EXPECT_EQ(m.end(), 0);
}

} // namespace
