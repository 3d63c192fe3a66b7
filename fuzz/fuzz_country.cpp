/*
** fuzz_country.cpp - each country's InitCountryXX and MaskCountryXX called as the entry
** point calls them, but with the message buffer, the output buffer, the input value and
** every record in heap blocks of their exact sizes: inside the entry point the three
** buffers of a call sit side by side, where an overrun from one into the next goes
** unseen; here the sanitizers see it.
**
** Scenario: the country, the method (mask or random) with validate and debug, a format
** value (one of the country's, or any string), the source and destination descriptors,
** the random draws, then up to 8 source values of any length and content.
**
** Checks: Init returns 0, 7, 8 or 257 and Mask one of the row codes; messages are
** terminated within the message buffer; an output is a string of at most 4095
** characters; the mask method is deterministic; and when a source value passes the
** country's own validation, so does what the mask or random method made of it.
*/
#include <cstdlib>
#include <cstring>
#include <string>

#include "countries/countries.h"
#include "exit/operands/operands.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/lean_host.h"

using fuzz::Reader;

namespace {

struct CountryRoutines {
    int32_t (*init)(RBPDATA*, uint32_t*);
    int32_t (*mask)(RBPDATA*, uint32_t*);
};
const CountryRoutines kRoutines[4] = {
    {InitCountryFR, MaskCountryFR}, {InitCountryUK, MaskCountryUK}, {InitCountryES, MaskCountryES},
    {InitCountryIT, MaskCountryIT}};

/* A country's context as the set-up leaves it, every part in a block of its own. */
struct Context {
    RBPDATA* rbp = nullptr;
    COLDESC* src = nullptr;
    COLDESC* dst = nullptr;
    MAP* map = nullptr;
    char16_t* msg = nullptr;
    char16_t* out = nullptr;
    uint32_t* work = nullptr;
    char16_t* ops = nullptr;
    int32_t initRc = -1;

    Context(const CountryRoutines& k, uint16_t flags, const std::u16string& operands, const COLDESC& s, const COLDESC& d) {
        rbp = static_cast<RBPDATA*>(std::calloc(1, sizeof(RBPDATA)));
        src = static_cast<COLDESC*>(std::malloc(sizeof(COLDESC)));
        dst = static_cast<COLDESC*>(std::malloc(sizeof(COLDESC)));
        *src = s;
        *dst = d;
        map = static_cast<MAP*>(std::calloc(1, sizeof(MAP)));
        ops = static_cast<char16_t*>(std::malloc((operands.size() + 1) * sizeof(char16_t)));
        std::memcpy(ops, operands.c_str(), (operands.size() + 1) * sizeof(char16_t));
        FUZZ_CHECK(ParseOperands(ops, map, u',', u'=') == 0);
        msg = static_cast<char16_t*>(std::malloc(MSG_BUF_CHARS * sizeof(char16_t)));
        msg[0] = 0;
        out = static_cast<char16_t*>(std::malloc(OUT_BUF_CHARS * sizeof(char16_t)));
        work = static_cast<uint32_t*>(std::calloc(1, sizeof(uint32_t)));
        rbp->Flags = flags;
        rbp->pSrcCol = (flags & MODE_RANDOM) ? nullptr : src;
        rbp->pDestCol = dst;
        rbp->pMsgBuf = msg;
        rbp->pOperands = map;
        initRc = k.init(rbp, work);
        FUZZ_CHECK(initRc == 0 || initRc == 7 || initRc == 8 || initRc == 257);
        CheckMessage();
    }
    ~Context() {
        FreeOperands(map);
        std::free(map);
        std::free(ops);
        std::free(rbp);
        std::free(src);
        std::free(dst);
        std::free(msg);
        std::free(out);
        std::free(work);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    void CheckMessage() const {
        size_t n = 0;
        while (n < MSG_BUF_CHARS && msg[n]) ++n;
        FUZZ_CHECK(n < MSG_BUF_CHARS);
    }

    /* One row on value (a block of its exact size); the routine's code. */
    int32_t Row(const CountryRoutines& k, const std::u16string& value, int32_t kind) {
        char16_t* in = static_cast<char16_t*>(std::malloc((value.size() + 1) * sizeof(char16_t)));
        std::memcpy(in, value.c_str(), (value.size() + 1) * sizeof(char16_t));
        rbp->InKind = kind;
        if (kind == KIND_STRING) {
            rbp->InValue.pStr = in;
            rbp->InLength = int32_t(value.size());
        } else {
            rbp->InValue.Raw = 0;
            rbp->InValue.Int32 = int32_t(value.size() * 7919);
        }
        rbp->OutValue.pStr = out;
        int32_t code = k.mask(rbp, work);
        std::free(in);
        switch (code) {
        case RC_OK: case RC_BLANK: case RC_KEEP: case RC_NOTHING: case RC_NULL_INPUT: case RC_INVALID_DATA:
        case RC_CONVERSION: case RC_INVALID_LENGTH: case RC_INVALID_PART: case RC_INVALID_SEPARATOR:
        case RC_INVALID_DEST: case RC_INVALID_TYPE: case RC_FATAL:
            break;
        default:
            FUZZ_CHECK(!"a row code the entry point does not know");
        }
        CheckMessage();
        if (code == RC_OK || code == RC_BLANK) {
            FUZZ_CHECK(rbp->OutKind == KIND_STRING);
            FUZZ_CHECK(rbp->OutLength >= 0 && rbp->OutLength < OUT_BUF_CHARS);
        }
        return code;
    }

    std::u16string Output() const { return std::u16string(out, size_t(rbp->OutLength)); }
};

COLDESC ReadColumn(Reader& r) {
    static const int16_t kTypes[] = {1, 2, 30, 31, 32, 33, 5, 8, 9, 10, 11, 0, 3, 34, 35};
    static const int32_t kLengths[] = {20, 255, 8, 9, 11, 13, 15, 16, 19, 7, 14, 256, 0, -1, 70000};
    COLDESC d;
    std::memset(&d, 0, sizeof d);
    static char16_t name[] = u"NID";
    d.pColName = name;
    d.ColId = 1;
    uint8_t t = r.u8();
    d.DataType = kTypes[t % 15];
    uint8_t l = r.u8();
    d.Length = l < 240 ? kLengths[l % 15] : int32_t(r.u32() % 70001);
    d.Nullable = 1;
    return d;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("ZTNID_DRIVE_C", "/nonexistent-ztnid-fuzz", 1); /* debug lines of the countries go nowhere */
    fuzz::Templates();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader r(data, size);
    uint8_t which = r.u8() % 4;
    const CountryRoutines& k = kRoutines[which];
    const leanhost::Country& c = leanhost::Countries()[which];

    uint8_t mode = r.u8();
    bool random = mode & 1;
    uint16_t flags = random ? MODE_RANDOM : MODE_MASK;
    if (!random && (mode & 2)) flags |= MODE_VALIDATE;
    if (mode & 4) flags |= MODE_DEBUG;

    std::u16string operands = u"switch=\"" + std::u16string(c.code);
    uint8_t f = r.u8();
    std::vector<std::u16string> formats = leanhost::CountryFormats(c);
    if (f < 200) operands += u",format=(" + std::u16string(c.keyword) + u"=" + formats[f % formats.size()] + u")";
    else if (f < 250) operands += u",format=(" + std::u16string(c.keyword) + u"=" + r.str(40) + u")";
    COLDESC src = ReadColumn(r), dst = ReadColumn(r);
    fuzz::SeedDraws(r);

    Context ctx(k, flags, operands, src, dst);
    if (ctx.initRc != 0) return 0;

    /* The country's own validation: mask with validate, default format, wide columns. */
    COLDESC wide = src;
    wide.DataType = 1;
    wide.Length = 255;
    Context check(k, MODE_MASK | MODE_VALIDATE, u"switch=\"" + std::u16string(c.code), wide, wide);
    FUZZ_CHECK(check.initRc == 0);

    int rows = 1 + r.u8() % 8;
    for (int i = 0; i < rows; ++i) {
        uint8_t kind = r.u8();
        std::u16string value = r.str(VALUE_BUF_CHARS - 1);
        int32_t code = ctx.Row(k, value, kind == 0xFF ? KIND_INT32 : KIND_STRING);
        if (code != RC_OK) continue;
        std::u16string result = ctx.Output();
        if (!random) {
            FUZZ_CHECK(ctx.Row(k, value, KIND_STRING) == RC_OK);
            FUZZ_CHECK(ctx.Output() == result);
        }
        bool inputValid = !random && check.Row(k, value, KIND_STRING) == RC_OK;
        if (random || inputValid) {
            if (check.Row(k, result, KIND_STRING) != RC_OK) FUZZ_CHECK(!"an output fails the country's validation");
        }
    }
    return 0;
}
