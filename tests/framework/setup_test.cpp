// The entry point's set-up, end call and call finishing, driven through the host records
// with stand-in country routines.
#include "exit/exit_internal.h"
#include "exit/memory.h"
#include "framework/fake_countries.h"

namespace {

using hostemu::ColumnMap;
using SetUpTest = Fake;

// A failed set-up returns 2 with the first 50 characters of its message in MsgText (no
// terminator at 50), writes nothing, leaves the counters after MsgText alone, and so does
// every later row.
TEST_F(SetUpTest, FailuresGiveTheirMessage) {
    const std::u16string q522(522, u'Q'), q523(523, u'Q');
    struct { std::u16string operands; std::string message; int destIndex = 0; } cases[] = {
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
        {u"switch=\"FR", "NID ERROR 0xff: INTERNAL ERROR", 3}}; // destination index out of range
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        g_fake = FakeConfig{};
        ColumnMap m(&FakeExit, c.operands, {{u"NID"}, {q523}}, {{u"NID"}}, c.destIndex);
        m.set(u"NID", u"V");
        auto first = m.row(), second = m.row(); // the second processes nothing either
        EXPECT_EQ(Did(m, first), "rc 2 msg " + c.message.substr(0, 50));
        EXPECT_EQ(Did(m, second), Did(m, first));
        EXPECT_TRUE(second.gets.empty());
        EXPECT_EQ(g_fake.maskCalls, 0);
        EXPECT_EQ(m.end(), 0);
    }
    EXPECT_EQ(RunOne(u"switch=\"ES,source=\"" + q522 + u"\"", {{q522}}).rc, 0);
}

// The mode bits the routines see follow the debug, status, validate and method operands.
TEST_F(SetUpTest, ModeBitsFollowTheOperands) {
    const int mask = MODE_MASK, debug = MODE_MASK | MODE_DEBUG;
    struct { const char16_t* operands; int flags; } cases[] = {
        {u"debug=yes", debug},  {u"debug=Y", debug},     {u"dbg=y", debug},
        {u"debug=N", mask},     {u"debug=1", mask},      {u"debug=", mask},
        {u"debug=(y=1)", mask}, {u"method=maskx", mask}, {u"method=MASK", mask},
        {u"method=(a=1)", mask}, {u"method=", mask},     {u"method=Randomly", MODE_RANDOM},
        {u"status=Yes,validate=y", MODE_MASK | MODE_STATUS | MODE_VALIDATE},
        {u"mtd=random,validate=no", MODE_RANDOM}};
    for (const auto& c : cases) {
        auto r = RunOne(u"switch=\"FR," + std::u16string(c.operands));
        EXPECT_EQ(r.rc, 0) << Msg(r);
        EXPECT_EQ(g_fake.seenFlags & ~int(MODE_SETUP_DONE), c.flags) << Utf16ToUtf8(c.operands);
    }
}

// Only switch is needed.  The source column is the destination's namesake (in any case)
// unless the source operand names one (quoted or not, any case, in parentheses); the
// random method reads none, even a named one that does not exist.  Nothing is logged.
TEST_F(SetUpTest, SourceColumn) {
    for (const std::u16string ops : {u"", u",source=\"IN\"", u",source=in", u",source= ( In )",
                                     u",method=random,source=NOPE"}) {
        g_fake = FakeConfig{};
        Map m(u"switch=\"ES" + ops, {{u"OTHER"}, {u"nid"}, {u"In"}});
        m.set(u"nid", u"1234567L");
        m.set(u"In", u"FROM-IN");
        auto r = m.row();
        bool random = ops.find(u"random") != ops.npos;
        EXPECT_EQ(Did(m, r), "rc 0 put MASKED") << Utf16ToUtf8(ops);
        EXPECT_EQ(g_fake.seenIn, random ? u"" : ops.empty() ? u"1234567L" : u"FROM-IN");
        EXPECT_EQ(r.gets.size(), random ? 0u : 1u);
        EXPECT_EQ(g_fake.seenNoSource, random);
        EXPECT_EQ(g_fake.seenFlags, int(random ? MODE_RANDOM : MODE_MASK) | int(MODE_SETUP_DONE));
        EXPECT_EQ(g_fake.seenCountry, COUNTRY_ES);
        EXPECT_EQ(m.workArea().CountriesInit, 15);
    }
    EXPECT_TRUE(log.exists());
    EXPECT_EQ(log.tagged(), Strings{});
}

// Set-up failures are logged only with debug or status, and the end call then reports;
// each line starts "MM/DD/YY HH:MM -ZTNID : " and is UTF-8.
TEST_F(SetUpTest, SetUpFailuresAreLoggedWithDebugOrStatus) {
    const std::string none = "No row errors detected processing column NID";
    const std::string countries = "NID ERROR 0xb: No Countries initialized for Masking";
    const std::string init = "NID ERROR 0x8: InitCountry";
    const std::string random = "NID ERROR 0x2: Incompatible operands validate & random provided";
    const std::string name = "NID ERROR 0x4: Col N\u00cfR\u20ac\U0001D11E not in sourcecol list";
    struct { int32_t initRc; const char16_t* ops; std::string msg; Strings logged; } cases[] = {
        {8, u"switch=\"FR", countries, {}},
        {8, u"switch=\"FR,debug=y", countries,
         {init + "FR Failed", init + "UK Failed", init + "ES Failed", init + "IT Failed", countries,
          none}},
        {0, u"switch=\"FR,status=y,method=random,validate=yes", random, {random, none}},
        {0, u"switch=\"FR,status=y,source=N\u00cfR\u20ac\U0001D11E", name, {name, none}}};
    for (const auto& c : cases) {
        testlog::LogFile caseLog;
        for (int32_t& rc : g_fake.initRc) rc = c.initRc;
        auto r = RunOne(c.ops);
        EXPECT_EQ(r.rc, 2);
        EXPECT_EQ(r.msgText, Utf8ToUtf16(c.msg).substr(0, 50));
        EXPECT_EQ(caseLog.tagged(), c.logged);
        for (const std::string& line : caseLog.lines()) {
            ASSERT_GE(line.size(), 24u);
            EXPECT_TRUE(line[2] == '/' && line[5] == '/' && line[8] == ' ' && line[11] == ':');
            EXPECT_EQ(line.substr(14, 10), " -ZTNID : ") << line;
        }
    }
}

TEST_F(SetUpTest, OnlyInitialisedCountriesAreMasked) {
    g_fake.initRc[0] = g_fake.initRc[1] = g_fake.initRc[2] = 257;
    Map m(u"switch=CTRY,status=y", {{u"NID"}, {u"CTRY", 1, 3}});
    m.set(u"CTRY", u"FR");
    EXPECT_EQ(m.row().rc, 1);
    EXPECT_EQ(g_fake.maskCalls, 0);
    m.set(u"CTRY", u"it");
    EXPECT_EQ(m.row().rc, 0);
    EXPECT_EQ(g_fake.seenCountry, COUNTRY_IT);
    EXPECT_EQ(m.workArea().CountriesInit, COUNTRY_IT);
    EXPECT_EQ(m.end(), 0);
    EXPECT_EQ(log.tagged(), (Strings{"NID ERROR 0x101: InitCountryFR Failed",
                                     "NID ERROR 0x101: InitCountryUK Failed",
                                     "NID ERROR 0x101: InitCountryES Failed",
                                     "No row errors detected processing column NID"}));
}

TEST_F(SetUpTest, EachAllocationFailureHasItsMessage) {
    const std::string memory = "NID ERROR 0x20: Failed to allocate memory for ";
    const std::string expected[] = {memory + "RBPDATA",    memory + "WorkAreaES",
                                    memory + "WorkAreaFR", memory + "WorkAreaIT",
                                    memory + "WorkAreaUK", memory + "MAP",
                                    "NID ERROR 0x6: Failed to get the Operands"};
    for (int n = 0; n < 7; ++n) {
        Map m(u"switch=\"FR,debug=y,status=y");
        g_allocsLeft = n;
        ZtSetAllocHook(&FailNth);
        auto r = m.row();
        ZtSetAllocHook(nullptr);
        EXPECT_EQ(Did(m, r), "rc 2 msg " + expected[n].substr(0, 50));
        EXPECT_EQ(m.end(), 0); // releases whatever was allocated (checked by the sanitizer build)
        EXPECT_EQ(static_cast<void*>(m.workArea().pRBPDATA), nullptr);
        EXPECT_EQ(static_cast<void*>(m.workArea().pWorkAreaES), nullptr);
    }
    EXPECT_EQ(log.tagged(), Strings{}); // no mode bits existed yet
}

// An end call without rows only creates the log file; an end call releases everything (a
// second finds nothing) and keeps the counters until the next row sets the column up again.
TEST_F(SetUpTest, EndCallsAndASecondRunInTheSameWorkArea) {
    Map m(u"switch=\"FR,debug=y");
    const WORKAREA& wa = m.workArea();
    EXPECT_FALSE(log.exists());
    EXPECT_EQ(m.end(), 0);
    EXPECT_TRUE(log.exists());
    EXPECT_TRUE(log.lines().empty()); // at most the platform's byte order mark
    EXPECT_EQ(wa.CountriesInit, 0);
    g_fake.maskRc = RC_INVALID_LENGTH;
    m.row();
    EXPECT_EQ(wa.InvalidLengthCount, 1);
    EXPECT_TRUE(wa.pRBPDATA && wa.pWorkAreaFR);
    EXPECT_EQ(m.end(), 0);
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

// With debug each skipped row logs its message: the set-up's note on the missing method
// (the first row only: a later one starts with an empty buffer), then the routine's; the
// end report lists the non-zero counters in their order.
TEST_F(SetUpTest, SkippedRowsAndEndReport) {
    const std::string part = "NID ERROR 0x102:Bad part";
    g_fake.maskMsg = Utf8ToUtf16(part);
    Map m(u"switch=\"FR,debug=y,source=NID", {{u"NID"}}, {{u"OUTCOL"}});
    m.set(u"NID", hostemu::Cell{false, u"", 9});
    EXPECT_EQ(m.did(), "rc 1 conversion 1");
    EXPECT_EQ(m.did(), "rc 1 conversion 2");
    m.set(u"NID", u"V");
    for (int32_t rc : {RC_INVALID_SEPARATOR, RC_INVALID_PART, RC_INVALID_PART, RC_NULL_INPUT,
                       RC_INVALID_LENGTH, RC_INVALID_DATA}) {
        g_fake.maskRc = rc;
        EXPECT_EQ(m.row().rc, 1);
    }
    EXPECT_EQ(m.end(), 0);
    EXPECT_EQ(log.tagged(),
              (Strings{"NID ERROR 0x38: Operand method not provided,Choosing MASK as default ", "",
                       part, part, part, part, part, part,
                       "Non-zero error counts for column OUTCOL",
                       "Invalid source data length:           1",
                       "Invalid source data part:           2", "Invalid source data:           1",
                       "Null Input:           1", "Column conversion errors:           2",
                       "Invalid Separator(s) In Input:           1"}));
}

} // namespace
