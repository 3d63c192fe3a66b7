/*
** rows.cpp - processing of one row: read the source value, decide the country, run the
** country's row routine, convert its output for the destination and write it.
**
** A row allocates nothing: the value, output and message buffers belong to the call.
*/
#include <cstring>

#include "exit/exit_internal.h"
#include "exit/log/log.h"
#include "exit/operands/operands.h"
#include "exit/wstr.h"

enum {
    MSG_INVALID_SOURCE_TYPE = 7,
    MSG_UNSUPPORTED_DEST = 8,
    MSG_GET_FAILED = 9,
    MSG_PUT_FAILED = 0xa,
    MSG_INTERNAL = 0xff,
    MSG_TOO_LONG = 0x105,
    MSG_BAD_OUT_KIND = 0x106,
    GET_CONVERSION_ERROR = 9,
    SWITCH_BUF_BYTES = 8,
    VALUE_BUF_BYTES = VALUE_BUF_CHARS * 2
};

/* What a step of the row asks for next. */
enum STEP { STEP_GO_ON, STEP_WRITE, STEP_SKIP, STEP_ERROR };

/* Row state carried between the steps. */
struct ROW {
    CALL* c;
    RBPDATA* rbp;
    INPUTPARMS* ip;
    int16_t nullInd;
    char16_t* put;                /* what is written: the value buffer or the output buffer */
};

/* Skips the row: with debug on, the message buffer is logged as it stands. */
static int16_t SkipRow(ROW* r) {
    if (r->rbp->Flags & MODE_DEBUG) LogMessage(LOG_TAG, r->c->msg);
    return EXIT_SKIPPED;
}

/* Skips the row and adds one to a counter. */
static int16_t CountAndSkip(ROW* r, int32_t WORKAREA::*counter) {
    r->c->wa->*counter += 1;
    return SkipRow(r);
}

/* ------------------------------------------------------------------ packed decimal */

/* The k-th digit from the right of a packed value of n bytes: the high half of the last
** byte, then the low and the high half of each earlier byte. */
static uint8_t PackedDigit(const uint8_t* bytes, size_t n, int k) {
    uint8_t b = bytes[n - 1 - size_t(k + 1) / 2];
    return (k % 2 == 1) ? uint8_t(b & 0x0F) : uint8_t(b >> 4);
}

bool PackedToInt(const uint8_t* bytes, size_t bufBytes, int digits, int32_t* out) {
    if (digits < 0) return false;
    size_t n = size_t(digits + 2) / 2;
    if (n == 0 || n > bufBytes) return false;
    uint32_t sum = 0, weight = 1; /* unsigned: too many digits wrap instead of overflowing */
    for (int k = 0; k < digits; ++k) {
        uint8_t d = PackedDigit(bytes, n, k);
        if (d > 9) return false;
        sum += d * weight;
        weight *= 10;
    }
    bool negative = (bytes[n - 1] & 0x0F) == 0x0D;
    *out = int32_t(negative ? 0u - sum : sum);
    return true;
}

bool IntToPacked(int64_t value, int digits, uint8_t* bytes, size_t bufBytes) {
    if (digits < 0) return false;
    size_t n = size_t(digits + 2) / 2;
    if (n == 0 || n > bufBytes) return false;
    std::memset(bytes, 0, n);
    bytes[n - 1] = value >= 0 ? 0x0C : 0x0D;
    uint64_t mag = value >= 0 ? uint64_t(value) : 0ULL - uint64_t(value);
    /* Digit k goes to the high half of the last byte, then low/high of earlier bytes. */
    for (int k = 0; k < digits && mag; ++k) {
        uint8_t d = uint8_t(mag % 10);
        mag /= 10;
        size_t byte = n - 1 - size_t(k + 1) / 2;
        bytes[byte] |= (k % 2 == 0) ? uint8_t(d << 4) : d;
    }
    return mag == 0;
}

/* ------------------------------------------------------------------ reading the source */

/* Zeroes at least the first n characters of a buffer of VALUE_BUF_CHARS, a block of 32
** characters at a time: short requests are the rule, and fixed-size blocks compile to a
** few vector stores instead of a string instruction with its start-up cost. */
static void ClearChars(char16_t* buf, size_t n) {
    constexpr size_t BLOCK = 32;
    static_assert(VALUE_BUF_CHARS % BLOCK == 0);
    for (size_t i = 0; i < n; i += BLOCK) std::memset(buf + i, 0, BLOCK * sizeof(char16_t));
}

/* Length of the string in the value buffer, whose character at `term` is NUL and which
** is cleared up to the next multiple of 32 characters past it: four characters are
** tested at a time. */
static size_t ValueLength(const char16_t* buf, size_t term) {
    const uint64_t ones = 0x0001000100010001ULL, highs = 0x8000800080008000ULL;
    for (size_t i = 0;; i += 4) {
        uint64_t v;
        std::memcpy(&v, buf + i, sizeof v);
        uint64_t zero = (v - ones) & ~v & highs; /* lowest set lane marks the first NUL */
        if (zero) {
            size_t n = i + size_t(__builtin_ctzll(zero)) / 16;
            return n < term ? n : term;
        }
    }
}

/* Value type requested for a source code and the buffer length in bytes. */
static void SourceRequest(int16_t code, int32_t length, uint16_t* request, int32_t* bytes) {
    int64_t n;
    switch (code) {
    case 1: case 2: case 3: case 4: case 31: case 33:
        *request = VT_WSTRING;
        n = int64_t(length) * 2 + 2;
        break;
    case 35: case 36: case 37: case 38:
        *request = VT_WSTRING;
        n = int64_t(length) + 2;
        break;
    default:
        *request = uint16_t(code);
        n = length;
        break;
    }
    /* Never more than the value buffer holds, keeping room for a terminator. */
    if (n < 0) n = 0;
    if (n > VALUE_BUF_BYTES - 2) n = VALUE_BUF_BYTES - 2;
    *bytes = int32_t(n);
}

static bool IsStringCode(int16_t code) {
    switch (code) {
    case 1: case 2: case 3: case 4: case 31: case 33: case 35: case 36: case 37: case 38:
        return true;
    default:
        return false;
    }
}

/* Reads the source value into the value buffer and classifies it. */
static STEP ReadSource(ROW* r, int16_t* result) {
    RBPDATA* rbp = r->rbp;
    COLDESC* src = rbp->pSrcCol;
    CALL* c = r->c;
    uint16_t request;
    int32_t bytes;
    SourceRequest(rbp->SrcDataType, src->Length, &request, &bytes);

    /* Clear what the host may write plus the terminator after it. */
    size_t term = size_t(bytes + 1) / 2;
    ClearChars(c->value, term + 1);
    int16_t rc = r->ip->pGetColValue(src->ColId, request, src->Precision, src->Scale, c->value, bytes,
                                     &r->nullInd);
    c->value[term] = 0;
    if (rc == GET_CONVERSION_ERROR) {
        *result = CountAndSkip(r, &WORKAREA::ConversionErrorCount);
        return STEP_SKIP;
    }
    if (rc != 0) {
        FormatMsg(c->msg, u"NID ERROR %#x: Error Getting col: %s data", MSG_GET_FAILED, src->pColName);
        return STEP_ERROR;
    }
    if (src->Nullable && r->nullInd == NULLIND_NULL) {
        if (rbp->pDestCol->Nullable) return STEP_WRITE;
        *result = CountAndSkip(r, &WORKAREA::NullInputCount);
        return STEP_SKIP;
    }
    r->nullInd = NULLIND_VALUE;

    int16_t code = rbp->SrcDataType;
    if (IsStringCode(code)) {
        rbp->InKind = KIND_STRING;
        rbp->InValue.pStr = c->value;
        rbp->InLength = int32_t(ValueLength(c->value, term));
    } else if (code == 10 || code == 14 || code == 15) {
        rbp->InKind = KIND_INT32;
        std::memcpy(&rbp->InValue.Int32, c->value, sizeof(int32_t));
    } else if (code == VT_PACKED) {
        int32_t v;
        if (!PackedToInt(reinterpret_cast<const uint8_t*>(c->value), size_t(bytes), src->Precision, &v)) {
            *result = SkipRow(r);
            return STEP_SKIP;
        }
        rbp->InKind = KIND_INT32;
        rbp->InValue.Int32 = v;
    } else {
        FormatMsg(c->msg, u"NID ERROR %#x: Invalid source type", MSG_INVALID_SOURCE_TYPE);
        return STEP_ERROR;
    }
    return STEP_GO_ON;
}

/* ------------------------------------------------------------------ choosing the country */

/* The two characters of a code as one number, for a switch. */
static constexpr uint32_t CodePair(char16_t a, char16_t b) { return uint32_t(a) << 16 | b; }

uint16_t CountryOfCode(const char16_t* code) {
    if (code[0] == 0) return 0;
    switch (CodePair(WToUpper(code[0]), WToUpper(code[1]))) {
    case CodePair(u'F', u'R'): return COUNTRY_FR;
    case CodePair(u'U', u'K'): return COUNTRY_UK;
    case CodePair(u'E', u'S'): return COUNTRY_ES;
    case CodePair(u'I', u'T'): return COUNTRY_IT;
    default: return 0;
    }
}

/* The country of the row from the switch operand: a quoted literal code, or the value of
** the source column it names, read afresh for every row. */
static uint16_t CountryOfValue(ROW* r) {
    MAPENTRY* sw = nullptr;
    if (FindOperand(KW_SWITCH, r->rbp->pOperands, &sw) != OPS_OK) return 0;
    const char16_t* v = PlainValue(sw);
    if (!v) return 0;
    if (v[0] == u'"') return CountryOfCode(v + 1);

    COLDESC* col = FindColumn(v, WStrLen(v), r->rbp->pSrcColList);
    if (!col) return 0;
    char16_t buf[SWITCH_BUF_BYTES / 2] = {0, 0, 0, 0};
    int16_t ind = 0;
    if (r->ip->pGetColValue(col->ColId, VT_WSTRING, col->Precision, col->Scale, buf, SWITCH_BUF_BYTES,
                            &ind) != 0)
        return 0;
    buf[3] = 0;
    return CountryOfCode(buf);
}

/* ------------------------------------------------------------------ converting the output */

/* Writes the decimal digits of v (a "-" first when negative) into the value buffer. */
static void WriteDecimal(CALL* c, int64_t v) {
    char16_t tmp[24];
    int n = 0;
    uint64_t mag = v < 0 ? 0ULL - uint64_t(v) : uint64_t(v);
    while (mag) {
        tmp[n++] = char16_t(u'0' + mag % 10);
        mag /= 10;
    }
    int k = 0;
    if (v < 0) c->value[k++] = u'-';
    while (n) c->value[k++] = tmp[--n];
    c->value[k] = 0;
}

/* The number of a numeric output kind; false for a kind that carries none. */
static bool NumericOutput(const RBPDATA* rbp, int64_t* v) {
    switch (rbp->OutKind) {
    case KIND_INT16: *v = rbp->OutValue.Int16; return true;
    case KIND_INT32: *v = rbp->OutValue.Int32; return true;
    case KIND_FLOAT: {
        float f = rbp->OutValue.Float32;
        /* Truncated toward zero; values outside 32 bits (and NaN) saturate. */
        if (!(f == f)) *v = 0;
        else if (f >= 2147483647.0f) *v = 2147483647;
        else if (f <= -2147483648.0f) *v = -2147483647 - 1;
        else *v = int64_t(f);
        return true;
    }
    default: return false;
    }
}

static bool IsStringDest(int16_t code) { return code == 34 || IsStringCode(code); }

/* Converts the routine's output into the value buffer for the destination. */
static STEP ConvertOutput(ROW* r, int16_t* result) {
    RBPDATA* rbp = r->rbp;
    CALL* c = r->c;
    int16_t dest = rbp->DestDataType;
    int64_t num = 0;
    if (IsStringDest(dest)) {
        if (rbp->OutKind == KIND_STRING) {
            int32_t len = rbp->OutLength;
            if (len < 0 || len > VALUE_BUF_CHARS - 1) {
                FormatMsg(c->msg, u"NID ERROR %#x: Length %d of Destination Data exceeds the max size %d: skipping the row",
                          MSG_TOO_LONG, len, int(VALUE_BUF_CHARS));
                *result = SkipRow(r);
                return STEP_SKIP;
            }
            if (rbp->OutValue.pStr == c->out) {
                /* The text is already in a buffer of ours: terminate it there. */
                c->out[len] = 0;
                r->put = c->out;
            } else {
                std::memcpy(c->value, rbp->OutValue.pStr, size_t(len) * sizeof(char16_t));
                c->value[len] = 0;
            }
            return STEP_WRITE;
        }
        bool numericKind = (rbp->OutKind >= 1 && rbp->OutKind <= 4) || rbp->OutKind == 6 || rbp->OutKind == 7;
        if (!numericKind) {
            FormatMsg(c->msg, u"NID ERROR %#x: Invalid Out DataType. Expected %d:skipping row", MSG_BAD_OUT_KIND,
                      dest);
            *result = SkipRow(r);
            return STEP_SKIP;
        }
        if (!NumericOutput(rbp, &num)) num = rbp->OutValue.Int32; /* kinds 3, 6, 7 */
        WriteDecimal(c, num);
        return STEP_WRITE;
    }
    if (dest == 10 || dest == 14 || dest == 15 || dest == VT_PACKED) {
        if (!NumericOutput(rbp, &num)) {
            FormatMsg(c->msg, u"Invalid Dest DataType.                             Expected %d, passed %d, skipping",
                      dest, rbp->OutKind);
            *result = SkipRow(r);
            return STEP_SKIP;
        }
        if (dest == VT_PACKED)
            IntToPacked(num, rbp->pDestCol->Precision, reinterpret_cast<uint8_t*>(c->value), VALUE_BUF_BYTES);
        else
            WriteDecimal(c, num);
        return STEP_WRITE;
    }
    FormatMsg(c->msg, u"NID ERROR %#x: Unsupported Dest Column Data Type", MSG_UNSUPPORTED_DEST);
    return STEP_ERROR;
}

/* ------------------------------------------------------------------ the row */

/* Acts on a row routine's result code. */
static STEP ActOnRoutineCode(ROW* r, int32_t code, int16_t* result) {
    switch (code) {
    case RC_OK:
    case RC_BLANK: return STEP_GO_ON;
    case RC_KEEP: return STEP_WRITE;
    case RC_NOTHING: *result = SkipRow(r); return STEP_SKIP;
    case RC_NULL_INPUT: *result = CountAndSkip(r, &WORKAREA::NullInputCount); return STEP_SKIP;
    case RC_INVALID_DATA:
    case RC_INVALID_DEST:
    case RC_INVALID_TYPE: *result = CountAndSkip(r, &WORKAREA::InvalidDataCount); return STEP_SKIP;
    case RC_CONVERSION: *result = CountAndSkip(r, &WORKAREA::ConversionErrorCount); return STEP_SKIP;
    case RC_INVALID_LENGTH: *result = CountAndSkip(r, &WORKAREA::InvalidLengthCount); return STEP_SKIP;
    case RC_INVALID_PART: *result = CountAndSkip(r, &WORKAREA::InvalidPartCount); return STEP_SKIP;
    case RC_INVALID_SEPARATOR: *result = CountAndSkip(r, &WORKAREA::InvalidSeparatorCount); return STEP_SKIP;
    case RC_FATAL: return STEP_ERROR;
    default:
        FormatMsg(r->c->msg, u"NID ERROR %#x: INTERNAL ERROR", MSG_INTERNAL);
        return STEP_ERROR;
    }
}

/* Decides the country and runs its routine. */
static STEP MaskValue(ROW* r, int16_t* result) {
    CALL* c = r->c;
    RBPDATA* rbp = r->rbp;
    uint16_t country = CountryOfValue(r) & c->wa->CountriesInit;
    const COUNTRYROUTINES* k = nullptr;
    for (const COUNTRYROUTINES& cand : c->countries->Country)
        if (cand.Bit == country) k = &cand;
    if (!k) {
        FormatMsg(c->msg, u"NID ERROR Country %d: not to be masked", c->wa->CountriesInit);
        *result = SkipRow(r);
        return STEP_SKIP;
    }
    int32_t code = k->Mask(rbp, CountryWorkArea(c->wa, k->Bit));
    STEP s = ActOnRoutineCode(r, code, result);
    if (s != STEP_GO_ON) return s;
    return ConvertOutput(r, result);
}

/* Writes the value buffer (or NULL) to the destination column. */
static int16_t WriteValue(ROW* r) {
    COLDESC* dst = r->rbp->pDestCol;
    int16_t rc = r->ip->pPutColValue(VT_WSTRING, dst->Precision, dst->Scale, r->put, dst->Length, &r->nullInd);
    if (rc == 0) return EXIT_DONE;
    FormatMsg(r->c->msg, u"NID ERROR %#x: Error Putting col %s data", MSG_PUT_FAILED, dst->pColName);
    return EXIT_ERROR;
}

int16_t ProcessRow(CALL* c) {
    ROW r{c, c->wa->pRBPDATA, c->wa->pRBPDATA->pInputParms, NULLIND_VALUE, c->value};
    if (!r.ip->pGetColValue || !r.ip->pPutColValue) {
        FormatMsg(c->msg, u"NID ERROR %#x: INTERNAL ERROR", MSG_INTERNAL);
        return EXIT_ERROR;
    }
    int16_t result = EXIT_SKIPPED;
    STEP s = STEP_GO_ON;
    if (!(r.rbp->Flags & MODE_RANDOM)) s = ReadSource(&r, &result);
    if (s == STEP_GO_ON) {
        r.nullInd = NULLIND_VALUE;
        r.rbp->OutValue.pStr = c->out;
        s = MaskValue(&r, &result);
    }
    switch (s) {
    case STEP_WRITE: return WriteValue(&r);
    case STEP_SKIP: return result;
    case STEP_ERROR: return EXIT_ERROR;
    default: return EXIT_ERROR; /* not reached: every path above ends in a step */
    }
}
