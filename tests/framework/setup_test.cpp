// The entry point's set-up, end call and call finishing, driven through the host records
// with stand-in country routines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exit/exit_internal.h"
#include "exit/memory.h"
#include "host/emul/host_emul.h"
#include "host/emul/utf.h"
#include "framework/fake_countries.h"
#include "support/log_file.h"

namespace {

using hostemu::Column;
using hostemu::ColumnMap;
using Strings = std::vector<std::string>;

class SetUpTest : public ::testing::Test {
protected:
    void SetUp() override { g_fake = FakeConfig{}; }
    testlog::LogFile log;
};

std::string Msg(const hostemu::RowOutcome& r) { return Utf16ToUtf8(r.msgText); }

// What MsgText holds of a message: its first 50 characters.
std::string First50(const std::string& m) { return m.substr(0, 50); }

// One row of an operand string on a NID column, then the end call.
hostemu::RowOutcome RunOne(const std::u16string& ops, std::vector<Column> src = {{u"NID"}},
                           std::vector<Column> dst = {{u"NID"}}) {
    ColumnMap m(&FakeExit, ops, std::move(src), std::move(dst));
    m.set(u"NID", u"VALUE");
    hostemu::RowOutcome r = m.row();
    EXPECT_EQ(m.end(), 0);
    return r;
}

TEST_F(SetUpTest, OnlySwitchMasksFromTheDestinationsNamesake) {
    ColumnMap m(&FakeExit, u"switch=\"ES", {{u"OTHER"}, {u"nid"}}, {{u"NID"}});
    m.set(u"nid", u"1234567L");
    auto r = m.row();
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.put, u"MASKED");
    EXPECT_EQ(g_fake.seenFlags, int(MODE_MASK) | int(MODE_SETUP_DONE));
    EXPECT_EQ(g_fake.seenIn, u"1234567L");
    EXPECT_EQ(g_fake.seenCountry, COUNTRY_ES);
    EXPECT_EQ(m.workArea().CountriesInit, 15);
    EXPECT_EQ(m.end(), 0);
    EXPECT_EQ(TaggedMessages(log), Strings{});
    EXPECT_TRUE(log.exists());
}

struct FailureCase {
    const char16_t* operands;
    const char* message;
};

class SetUpFailure : public SetUpTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SetUpFailure, ReturnsTwoWithTheMessage) {
    auto r = RunOne(GetParam().operands);
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(r.puts, 0);
    EXPECT_EQ(Msg(r), std::string(GetParam().message).substr(0, 50));
    EXPECT_EQ(g_fake.maskCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, SetUpFailure,
    ::testing::Values(
        FailureCase{u"method=mask,format=(FR=15X)", "NID ERROR 0x1: Operand switch not provided"},
        FailureCase{u"sw=\"FR,method=mask", "NID ERROR 0x1: Operand switch not provided"},
        FailureCase{u"", "NID ERROR 0x5: No Operands found."},
        FailureCase{u"     ", "NID ERROR 0x5: No Operands found."},
        FailureCase{u"foo=bar,baz=(FR=15X)", "NID ERROR 0x5: No Operands found."},
        FailureCase{u"switch=\"FR,method=RANDOM,validate=y",
                    "NID ERROR 0x2: Incompatible operands validate & random provided"},
        FailureCase{u"switch=\"FR,method=rand", "NID ERROR 0x3: Invalid Value specified for Operand method"},
        FailureCase{u"switch=(a=1),method=mask", "NID ERROR 0x1: Operand switch not provided"},
        FailureCase{u"switch=(FR=x),method=mask", "NID ERROR 0x3: Invalid Value specified for Operand switch"},
        FailureCase{u"switch=\"ES,source=NOPE", "NID ERROR 0x4: Col NOPE not in sourcecol list"},
        FailureCase{u"switch=\"ES,source=\"NID", "NID ERROR 0x4: Col \"NID not in sourcecol list"}));

struct ModeCase {
    const char16_t* operands;
    uint16_t flags;
};

class ModeBits : public SetUpTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ModeBits, FollowTheOperands) {
    auto r = RunOne(GetParam().operands);
    EXPECT_EQ(r.rc, 0) << Msg(r);
    EXPECT_EQ(g_fake.seenFlags & ~int(MODE_SETUP_DONE), GetParam().flags);
}

INSTANTIATE_TEST_SUITE_P(
    Operands, ModeBits,
    ::testing::Values(ModeCase{u"switch=\"FR,debug=yes", MODE_MASK | MODE_DEBUG},
                      ModeCase{u"switch=\"FR,debug=Y", MODE_MASK | MODE_DEBUG},
                      ModeCase{u"switch=\"FR,dbg=y", MODE_MASK | MODE_DEBUG},
                      ModeCase{u"switch=\"FR,debug=N", MODE_MASK}, ModeCase{u"switch=\"FR,debug=1", MODE_MASK},
                      ModeCase{u"switch=\"FR,debug=", MODE_MASK},
                      ModeCase{u"switch=\"FR,debug=(y=1)", MODE_MASK},
                      ModeCase{u"switch=\"FR,status=Yes,validate=y", MODE_MASK | MODE_STATUS | MODE_VALIDATE},
                      ModeCase{u"switch=\"FR,method=maskx", MODE_MASK},
                      ModeCase{u"switch=\"FR,method=MASK", MODE_MASK},
                      ModeCase{u"switch=\"FR,method=(a=1)", MODE_MASK},
                      ModeCase{u"switch=\"FR,method=", MODE_MASK},
                      ModeCase{u"switch=\"FR,method=Randomly", MODE_RANDOM},
                      ModeCase{u"switch=\"FR,mtd=random,validate=no", MODE_RANDOM}));

TEST_F(SetUpTest, RandomReadsNoSourceColumn) {
    ColumnMap m(&FakeExit, u"switch=\"ES,method=random,source=NOPE", {}, {{u"NID"}});
    auto r = m.row();
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(r.gets.empty());
    EXPECT_TRUE(g_fake.seenNoSource);
    EXPECT_EQ(m.end(), 0);
}

TEST_F(SetUpTest, QuotedSourceAndCaseInsensitiveNames) {
    for (const char16_t* ops : {u"switch=\"ES,source=\"IN\"", u"switch=\"ES,source=in", u"switch=\"ES,source= ( In )"}) {
        ColumnMap m(&FakeExit, ops, {{u"NID"}, {u"In"}}, {{u"NID"}});
        m.set(u"In", u"FROM-IN");
        auto r = m.row();
        EXPECT_EQ(r.rc, 0) << Msg(r);
        EXPECT_EQ(g_fake.seenIn, u"FROM-IN");
        EXPECT_EQ(m.end(), 0);
    }
}

TEST_F(SetUpTest, QuotedNameLongerThanTheModelHoldsIsNotFound) {
    std::u16string name(523, u'Q');
    auto r = RunOne(u"switch=\"ES,source=\"" + name + u"\"", {{name}});
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(Msg(r).substr(0, 20), "NID ERROR 0x4: Col \"");
    std::u16string ok(522, u'Q');
    EXPECT_EQ(RunOne(u"switch=\"ES,source=\"" + ok + u"\"", {{ok}}).rc, 0);
}

TEST_F(SetUpTest, CountryInitFailuresAreLoggedOnlyWithDebugOrStatus) {
    for (int32_t& rc : g_fake.initRc) rc = 8;
    auto quiet = RunOne(u"switch=\"FR");
    EXPECT_EQ(Msg(quiet), First50("NID ERROR 0xb: No Countries initialized for Masking"));
    EXPECT_EQ(TaggedMessages(log), Strings{});

    auto loud = RunOne(u"switch=\"FR,debug=y");
    EXPECT_EQ(loud.rc, 2);
    EXPECT_EQ(TaggedMessages(log), (Strings{"NID ERROR 0x8: InitCountryFR Failed", "NID ERROR 0x8: InitCountryUK Failed",
                                       "NID ERROR 0x8: InitCountryES Failed", "NID ERROR 0x8: InitCountryIT Failed",
                                       "NID ERROR 0xb: No Countries initialized for Masking",
                                       "No row errors detected processing column NID"}));
}

TEST_F(SetUpTest, OnlyInitialisedCountriesAreMasked) {
    g_fake.initRc[0] = g_fake.initRc[1] = g_fake.initRc[2] = 257;
    ColumnMap m(&FakeExit, u"switch=CTRY,status=y", {{u"NID"}, {u"CTRY", 1, 3}}, {{u"NID"}});
    m.set(u"NID", u"X");
    m.set(u"CTRY", u"FR");
    auto fr = m.row();
    EXPECT_EQ(fr.rc, 1);
    EXPECT_EQ(g_fake.maskCalls, 0);
    m.set(u"CTRY", u"it");
    EXPECT_EQ(m.row().rc, 0);
    EXPECT_EQ(g_fake.seenCountry, COUNTRY_IT);
    EXPECT_EQ(m.workArea().CountriesInit, COUNTRY_IT);
    EXPECT_EQ(m.end(), 0);
    EXPECT_EQ(TaggedMessages(log), (Strings{"NID ERROR 0x101: InitCountryFR Failed", "NID ERROR 0x101: InitCountryUK Failed",
                                       "NID ERROR 0x101: InitCountryES Failed",
                                       "No row errors detected processing column NID"}));
}

TEST_F(SetUpTest, FailedSetUpIsLoggedWithStatusAndReportedAtTheEnd) {
    auto r = RunOne(u"switch=\"FR,status=y,method=random,validate=yes");
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(TaggedMessages(log), (Strings{"NID ERROR 0x2: Incompatible operands validate & random provided",
                                       "No row errors detected processing column NID"}));
}

TEST_F(SetUpTest, RowAfterFailedSetUpProcessesNothing) {
    ColumnMap m(&FakeExit, u"switch=\"ES,method=rand", {{u"NID"}}, {{u"NID"}});
    m.set(u"NID", u"1234567L");
    auto first = m.row();
    auto second = m.row();
    EXPECT_EQ(first.rc, 2);
    EXPECT_EQ(second.rc, 2);
    EXPECT_EQ(second.msgText, first.msgText);
    EXPECT_EQ(second.puts, 0);
    EXPECT_TRUE(second.gets.empty());
    EXPECT_EQ(g_fake.maskCalls, 0);
    EXPECT_EQ(m.end(), 0);
}

TEST_F(SetUpTest, MsgTextHoldsFiftyCharactersUnterminatedAndLeavesTheCounters) {
    ColumnMap m(&FakeExit, u"switch=\"FR,method=bogus", {{u"NID"}}, {{u"NID"}});
    m.row();
    const WORKAREA& wa = m.workArea();
    std::u16string text(wa.MsgText, wa.MsgText + 50);
    EXPECT_EQ(text, u"NID ERROR 0x3: Invalid Value specified for Operand");
    EXPECT_EQ(wa.NullInputCount, 0);
    EXPECT_EQ(m.end(), 0);
}

// Fails the n-th allocation from now on.
int g_allocsLeft = -1;
bool FailNth(size_t) { return g_allocsLeft < 0 || g_allocsLeft-- > 0; }

TEST_F(SetUpTest, EachAllocationFailureHasItsMessage) {
    const char* expected[] = {
        "NID ERROR 0x20: Failed to allocate memory for RBPDATA", "NID ERROR 0x20: Failed to allocate memory for WorkAreaES",
        "NID ERROR 0x20: Failed to allocate memory for WorkAreaFR", "NID ERROR 0x20: Failed to allocate memory for WorkAreaIT",
        "NID ERROR 0x20: Failed to allocate memory for WorkAreaUK", "NID ERROR 0x20: Failed to allocate memory for MAP",
        "NID ERROR 0x6: Failed to get the Operands",
    };
    for (int n = 0; n < 7; ++n) {
        ColumnMap m(&FakeExit, u"switch=\"FR,debug=y,status=y", {{u"NID"}}, {{u"NID"}});
        g_allocsLeft = n;
        ZtSetAllocHook(&FailNth);
        auto r = m.row();
        ZtSetAllocHook(nullptr);
        EXPECT_EQ(r.rc, 2);
        EXPECT_EQ(Msg(r), First50(expected[n])) << n;
        EXPECT_EQ(m.end(), 0); // releases whatever was allocated (checked by the sanitizer build)
        EXPECT_EQ(static_cast<void*>(m.workArea().pRBPDATA), nullptr);
        EXPECT_EQ(static_cast<void*>(m.workArea().pWorkAreaES), nullptr);
    }
    EXPECT_EQ(TaggedMessages(log), Strings{}); // no mode bits existed yet
}

TEST_F(SetUpTest, DestinationIndexOutOfRangeIsAnInternalError) {
    ColumnMap m(&FakeExit, u"switch=\"FR", {{u"NID"}}, {{u"NID"}}, 3);
    auto r = m.row();
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(Msg(r), "NID ERROR 0xff: INTERNAL ERROR");
    EXPECT_EQ(m.end(), 0);
}

TEST_F(SetUpTest, EndCallWithoutRowsOnlyTouchesTheLog) {
    ColumnMap m(&FakeExit, u"switch=\"FR,debug=y", {{u"NID"}}, {{u"NID"}});
    EXPECT_FALSE(log.exists());
    EXPECT_EQ(m.end(), 0);
    EXPECT_TRUE(log.exists());
    EXPECT_TRUE(log.lines().empty()); // at most the platform's byte order mark
    EXPECT_EQ(m.workArea().CountriesInit, 0);
}

TEST_F(SetUpTest, SecondRunInTheSameWorkAreaStartsAfresh) {
    ColumnMap m(&FakeExit, u"switch=\"FR,debug=y", {{u"NID"}}, {{u"NID"}});
    m.set(u"NID", u"V");
    g_fake.maskRc = RC_INVALID_LENGTH;
    m.row();
    EXPECT_EQ(m.workArea().InvalidLengthCount, 1);
    EXPECT_EQ(m.end(), 0);
    EXPECT_EQ(m.end(), 0); // a second end call finds nothing to release
    EXPECT_EQ(m.workArea().CountriesInit, 15);
    EXPECT_EQ(m.workArea().InvalidLengthCount, 1); // counters stay after the end call...
    g_fake.maskRc = RC_OK;
    EXPECT_EQ(m.row().rc, 0);
    EXPECT_EQ(m.workArea().InvalidLengthCount, 0); // ...until the next set-up
    EXPECT_EQ(m.end(), 0);
}

TEST_F(SetUpTest, EndReportListsNonZeroCountersInOrder) {
    ColumnMap m(&FakeExit, u"switch=\"FR,status=y,source=NID", {{u"NID"}}, {{u"OUTCOL"}});
    m.set(u"NID", u"V");
    const int32_t codes[] = {RC_INVALID_SEPARATOR, RC_INVALID_PART, RC_INVALID_PART, RC_NULL_INPUT};
    for (int32_t rc : codes) {
        g_fake.maskRc = rc;
        EXPECT_EQ(m.row().rc, 1);
    }
    EXPECT_EQ(m.end(), 0);
    EXPECT_EQ(TaggedMessages(log), (Strings{"Non-zero error counts for column OUTCOL",
                                       "Invalid source data part:           2", "Null Input:           1",
                                       "Invalid Separator(s) In Input:           1"}));
}

TEST_F(SetUpTest, MethodDefaultMessageStaysForTheFirstRow) {
    ColumnMap m(&FakeExit, u"switch=\"FR,debug=y", {{u"NID"}}, {{u"NID"}});
    m.set(u"NID", hostemu::Cell{false, u"", 9});
    EXPECT_EQ(m.row().rc, 1);
    EXPECT_EQ(m.workArea().ConversionErrorCount, 1);
    EXPECT_EQ(m.row().rc, 1); // a later call starts with an empty message buffer
    EXPECT_EQ(m.end(), 0);
    Strings msgs = TaggedMessages(log);
    ASSERT_GE(msgs.size(), 2u);
    EXPECT_EQ(msgs[0], "NID ERROR 0x38: Operand method not provided,Choosing MASK as default ");
    EXPECT_EQ(msgs[1], "");
}

TEST_F(SetUpTest, LogLinesCarryTheStampAndTag) {
    RunOne(u"switch=\"FR,status=y,source=N\u00cfR\u20ac");
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    const std::string& line = lines[0];
    ASSERT_GE(line.size(), 24u);
    // MM/DD/YY HH:MM -ZTNID : 
    EXPECT_TRUE(line[2] == '/' && line[5] == '/' && line[8] == ' ' && line[11] == ':') << line;
    EXPECT_EQ(line.substr(14, 10), " -ZTNID : ");
    EXPECT_EQ(TaggedMessages(log)[0], "NID ERROR 0x4: Col N\u00cfR\u20ac not in sourcecol list");
}

} // namespace
