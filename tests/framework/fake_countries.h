// Stand-in country routines whose results a test chooses, and the framework tests' scaffolding.
#ifndef ZT0NID_TEST_FAKE_COUNTRIES_H
#define ZT0NID_TEST_FAKE_COUNTRIES_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "exit/host_records.h"
#include "host/emul/host_emul.h"
#include "host/emul/utf.h"
#include "support/log_file.h"

struct FakeConfig {
    int32_t initRc[4] = {0, 0, 0, 0}; // France, UK, Spain, Italy
    int16_t srcType = 1;              // value type codes the initialisations store
    int16_t destType = 1;
    int32_t maskRc = RC_OK;
    int32_t outKind = KIND_STRING;
    std::u16string out = u"MASKED";
    int32_t outLength = -1;           // -1: the length of out
    uint64_t outRaw = 0;              // OutValue of a numeric kind
    std::u16string maskMsg;           // formatted into the message buffer by the routine
    // what the row routine saw
    int maskCalls = 0;
    uint16_t seenCountry = 0, seenFlags = 0;
    int32_t seenInKind = 0, seenInt = 0;
    std::u16string seenIn;
    bool seenNoSource = false;
};

extern FakeConfig g_fake;

// KLOColMapWExit over the fake routines.
int16_t FakeExit(INPUTPARMS* ip, COLLIST* src, COLLIST* dst);

using Strings = std::vector<std::string>;

inline std::string Msg(const hostemu::RowOutcome& r) { return Utf16ToUtf8(r.msgText); }

// What a row call did, in one line: "rc R", "put VALUE" or "put NULL" when it wrote, the
// non-zero counters ("parts 1") and "msg TEXT" when MsgText holds a message.
inline std::string Did(hostemu::ColumnMap& m, const hostemu::RowOutcome& r) {
    const WORKAREA& wa = m.workArea();
    const std::pair<const char*, int32_t> counts[] = {
        {"null", wa.NullInputCount},           {"data", wa.InvalidDataCount},
        {"length", wa.InvalidLengthCount},     {"conversion", wa.ConversionErrorCount},
        {"parts", wa.InvalidPartCount},         {"separator", wa.InvalidSeparatorCount}};
    std::string s = "rc " + std::to_string(r.rc);
    if (r.puts) s += r.putNull ? " put NULL" : " put " + Utf16ToUtf8(r.put);
    for (const auto& [name, n] : counts)
        if (n) s += " " + std::string(name) + " " + std::to_string(n);
    return r.msgText.empty() ? s : s + " msg " + Msg(r);
}

// A column map over the default fake routines (changed before the first row); NID holds "V".
struct Map : hostemu::ColumnMap {
    explicit Map(const std::u16string& ops, std::vector<hostemu::Column> src = {{u"NID"}},
                 std::vector<hostemu::Column> dst = {{u"NID"}})
        : ColumnMap(&FakeExit, ops, std::move(src), std::move(dst)) {
        g_fake = FakeConfig{};
        set(u"NID", u"V");
    }
    std::string did() { return Did(*this, row()); } // one row, in Did's words
};

// An allocation hook (ZtSetAllocHook) that fails the n-th allocation from now on.
inline int g_allocsLeft = -1;
inline bool FailNth(size_t) { return g_allocsLeft < 0 || g_allocsLeft-- > 0; }

// Each test starts with no log file.
struct Fake : ::testing::Test {
    testlog::LogFile log;
};

#endif
