// A stand-in set of country routines whose results a test chooses, for driving every
// path of the entry point without depending on a real country's rules.
#ifndef ZT0NID_TEST_FAKE_COUNTRIES_H
#define ZT0NID_TEST_FAKE_COUNTRIES_H

#include <cstdint>
#include <string>
#include <vector>

#include "exit/host_records.h"
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
    uint16_t seenCountry = 0;
    uint16_t seenFlags = 0;
    int32_t seenInKind = 0;
    int32_t seenInLength = 0;
    std::u16string seenIn;
    int32_t seenInt = 0;
    bool seenNoSource = false;
};

extern FakeConfig g_fake;

// KLOColMapWExit over the fake routines.
int16_t FakeExit(INPUTPARMS* ip, COLLIST* src, COLLIST* dst);

// The messages of the tagged log lines (the text after "-ZTNID : ").
inline std::vector<std::string> TaggedMessages(const testlog::LogFile& log) {
    std::vector<std::string> out;
    for (const std::string& t : log.texts())
        if (t.rfind("ZTNID : ", 0) == 0) out.push_back(t.substr(8));
    return out;
}

#endif
