/* country.h - what the four country test programs share: scripted draws, the routines
** called on their own, set-up cases, rows and refusals through the entry point. */
#ifndef ZT0NID_TESTS_COUNTRY_H
#define ZT0NID_TESTS_COUNTRY_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "countries/countries.h"
#include "exit/operands/operands.h"
#include "exit/random/random.h"
#include "host/emul/host_emul.h"

namespace ctest {

inline std::string U8(const std::u16string& s) { return std::string(s.begin(), s.end()); }
inline std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

/* Draws come from the script while the object lives, then count up from 0. */
struct ScriptedDraws {
    static inline std::vector<uint32_t> script;
    static inline size_t taken = 0;
    RandomSourceFn previous;
    explicit ScriptedDraws(std::vector<uint32_t> s) : previous(SetRandomSource(&Draw)) {
        script = std::move(s), taken = 0;
    }
    ~ScriptedDraws() { SetRandomSource(previous); }
    static uint32_t Draw() {
        size_t i = taken++;
        return i < script.size() ? script[i] : uint32_t(i - script.size());
    }
};

/* What a country routine called on its own left behind. */
struct Call {
    int32_t rc;
    uint32_t word;
    std::u16string msg, out;
    int16_t srcType, destType;
    int32_t outLength, outKind;
};
using CountryFn = int32_t (*)(RBPDATA*, uint32_t*);

/* Runs fn on the columns, type codes, operands and input; the message starts "untouched". */
inline Call Run(CountryFn fn, uint16_t mode, const char16_t* ops, int16_t srcType, int32_t srcLength,
                int16_t destType, int32_t destLength, int16_t codes, uint32_t word,
                std::u16string in = u"", int32_t kind = KIND_STRING) {
    MAP map{};
    EXPECT_EQ(ParseOperands(ops, &map, u',', u'='), 0);
    char16_t msg[MSG_BUF_CHARS] = u"untouched", out[OUT_BUF_CHARS] = {};
    COLDESC src{nullptr, 0, srcType, srcLength, 0, 0, 0, 0, 0};
    COLDESC dest{nullptr, 0, destType, destLength, 0, 0, 0, 0, 0};
    RBPDATA rbp{};
    rbp.SrcDataType = rbp.DestDataType = codes;
    rbp.Flags = mode;
    rbp.pSrcCol = &src;
    rbp.pDestCol = &dest;
    rbp.pMsgBuf = msg;
    rbp.pOperands = &map;
    rbp.InKind = kind;
    rbp.InLength = int32_t(in.size());
    rbp.InValue.pStr = in.data();
    rbp.OutValue.pStr = out;
    int32_t rc = fn(&rbp, &word);
    FreeOperands(&map);
    return {rc, word, msg, out, rbp.SrcDataType, rbp.DestDataType, rbp.OutLength, rbp.OutKind};
}

/* The row routine on one input: flag word `word`, a destination of 20 and type code destCode. */
inline Call Mask(CountryFn fn, uint16_t mode, uint32_t word, const std::u16string& in,
                 int32_t kind = KIND_STRING, int16_t destCode = 1) {
    return Run(fn, uint16_t(MODE_MASK | mode), u"", 1, 20, 1, 20, destCode, word, in, kind);
}

/* Operands for a country code, then more; fmt is its format, or operands when it starts with a comma. */
inline std::u16string Ops(const std::u16string& code, const std::u16string& fmt, const std::u16string& more = u"") {
    std::u16string ops = u"switch=\"" + code + more;
    return fmt.empty() || fmt[0] == u',' ? ops + fmt : ops + u",format=(" + code + u"=" + fmt + u")";
}

/* A map of the column NID (source of type 1 and 20). */
inline hostemu::ColumnMap Map(const std::u16string& ops, int32_t destLength = 20, int16_t destType = 1) {
    return hostemu::ColumnMap(&KLOColMapWExit, ops, {{u"NID", 1, 20}}, {{u"NID", destType, destLength}});
}

/* One row of in through a fresh map: out put and nothing counted, or (out null) the row
** skipped and counted once, under the counter of status; the end call succeeds. */
inline void ExpectRow(const std::u16string& ops, int32_t destLength, int16_t destType,
                      const std::u16string& in, const char16_t* out, int32_t status = 0) {
    SCOPED_TRACE(U8(ops) + " [" + U8(in) + "]");
    hostemu::ColumnMap m = Map(ops, destLength, destType);
    m.set(u"NID", in);
    hostemu::RowOutcome r = m.row();
    EXPECT_EQ(r.rc, out ? 0 : 1);
    EXPECT_EQ(r.puts, out ? 1 : 0);
    if (out) { EXPECT_EQ(U8(r.put), U8(out)); }
    const int32_t* counters = &m.workArea().NullInputCount; /* null, data, length, conversion, part, separator */
    const int k = status == RC_INVALID_DATA ? 1 : status == RC_INVALID_LENGTH ? 2 : status == RC_INVALID_PART ? 4 : 5;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(counters[i], !out && i == k ? 1 : 0) << "counter " << i;
    EXPECT_EQ(m.end(), 0);
}

/* One row of a random run on scripted draws: out put, every draw taken, the source unread. */
inline void ExpectDrawn(const std::u16string& ops, int32_t destLength, const std::vector<uint32_t>& draws,
                        const std::string& out) {
    SCOPED_TRACE(U8(ops) + " -> " + out);
    hostemu::ColumnMap m = Map(ops, destLength);
    ScriptedDraws scripted(draws);
    hostemu::RowOutcome r = m.row();
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(U8(r.put), out);
    EXPECT_EQ(ScriptedDraws::taken, draws.size());
    EXPECT_TRUE(r.gets.empty());
}

/* A set-up case: method, columns, operands; then status, flag word (all ones before), message
** (null: not checked) and type codes stored (-7 before; 0: not checked). */
struct InitCase {
    const char16_t* ops;
    uint16_t mode;
    int16_t srcType;
    int32_t srcLength;
    int16_t destType;
    int32_t destLength;
    int32_t rc;
    uint32_t word;
    const char16_t* msg = nullptr;
    int16_t srcCode = 0, destCode = 0;
};
inline void ExpectInit(CountryFn fn, const std::u16string& ops, const InitCase& k) {
    SCOPED_TRACE(U8(ops) + " " + std::to_string(k.srcType) + "/" + std::to_string(k.srcLength) + " -> " +
                 std::to_string(k.destType) + "/" + std::to_string(k.destLength));
    Call c = Run(fn, k.mode, ops.c_str(), k.srcType, k.srcLength, k.destType, k.destLength, -7, ~0u);
    EXPECT_EQ(c.rc, k.rc);
    EXPECT_EQ(c.word, k.word);
    if (k.msg) { EXPECT_EQ(U8(c.msg), U8(k.msg)); }
    if (k.srcCode) { EXPECT_EQ(c.srcType, k.srcCode); }
    if (k.destCode) { EXPECT_EQ(c.destType, k.destCode); }
}

/* A refusal: the row routine's status and message ("NID ERROR " msg; null: untouched), nothing
** written; then, for a string, through the entry (ops, plus validate=y for MODE_VALIDATE) the
** row skipped and counted.  Status 0: accepted by the routine. */
struct Refusal {
    uint16_t mode;
    const char16_t* in;
    int32_t status;
    const char16_t* msg;
    int32_t kind = KIND_STRING;
};
inline void ExpectRefusal(CountryFn fn, uint32_t word, std::u16string ops, int32_t destLength,
                          const Refusal& k) {
    SCOPED_TRACE(U8(k.in));
    Call c = Mask(fn, k.mode, word, k.in, k.kind);
    EXPECT_EQ(c.rc, k.status);
    EXPECT_EQ(U8(c.msg), k.msg ? "NID ERROR " + U8(k.msg) : "untouched");
    if (k.status == 0) return;
    EXPECT_EQ(c.out, u"");
    if (k.kind != KIND_STRING) return;
    ExpectRow(k.mode & MODE_VALIDATE ? ops + u",validate=y" : ops, destLength, 1, k.in, nullptr, k.status);
}

} // namespace ctest

#endif
