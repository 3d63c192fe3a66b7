/*
** mask_it.cpp - Italy: deterministic masking of a codice fiscale and the row routine.
**
** MaskCountryIT checks the source value step by step (shape, separators, characters,
** parts, control character), masks the parts that WorkAreaIT names with MaskCodeIT (or
** draws a fresh code with the random method) and writes the result in the chosen layout.
** Everything lives on the stack of the call: a row allocates nothing.
*/
#include <cstring>

#include "countries/it/it.h"
#include "exit/log/log.h"
#include "exit/wstr.h"

/* Copies n characters (a fixed count: the copy is inlined). */
static inline void CopyChars(char16_t* to, const char16_t* from, size_t n) { std::memcpy(to, from, n * sizeof(char16_t)); }

/* x shifted into the positive range: a multiple of 5 and 21 larger than any 16-bit key,
** so that the remainders by 5 and 21 keep their value and need no sign test. */
static inline int Positive(int x) { return x + 5 * 21 * 313; }

/* ------------------------------------------------------------------ name codes */

int MaskNameCode(const char16_t* in, char16_t* out, int16_t key) {
    if (!in || !out) return 0;
    bool vowelSeen = false;
    int16_t k = key;
    for (int i = 0; i < 3; ++i) {
        /* The middle character shifts backwards, the outer two forwards. */
        int shift = i == 1 ? -k : k;
        const CHARINFO_IT& info = InfoIT(in[i]);
        int p = info.Vowel;
        if (p >= 0) {
            vowelSeen = true;
            out[i] = VowelsIT[Positive(p + 1 + shift) % 5];
        } else if (!vowelSeen) {
            int q = info.Consonant; /* -1 for a character in neither table */
            out[i] = ConsonantsIT[Positive(q + 1 + shift) % 21];
        } else {
            out[i] = in[i]; /* the "X" padding after a vowel */
        }
        k = int16_t(k + i + 1);
    }
    out[3] = 0;
    return 1;
}

/* ------------------------------------------------------------------ the whole code */

/* x (0 to 2^22) mod a month length (28 to 31) without division and without a branch on
** the length, which varies from row to row: the quotient is x times ceil(2^32 / length),
** shifted, which is exact in that range. */
static int ModMonthLength(int x, int length) {
    static constexpr uint64_t kInverse[4] = {((1ull << 32) + 27) / 28, ((1ull << 32) + 28) / 29,
                                             ((1ull << 32) + 29) / 30, ((1ull << 32) + 30) / 31};
    int q = int((uint64_t(x) * kInverse[length - 28]) >> 32);
    return x - q * length;
}

/* Moves the date by s: year and month forward, day within the new month's length. */
static void MaskDateIT(CODEFIELDS_IT* f, int s) {
    f->year = (f->year + s) % 100;
    f->month = (f->month - 1 + s) % 12 + 1;
    f->day = ModMonthLength(f->day + s, MonthLengthIT(MonthLetters[f->month - 1], f->year)) + 1;
}

int WalkCommuneIT(int* letterIndex, int32_t* number, int c) {
    /* The walk has 12 x 999 states: past that many rounds it only repeats itself. */
    enum { MAX_ROUNDS = 12 * 999 };
    int index = *letterIndex;
    int32_t n = *number;
    if (c < 1 || c > 100 || index < 0 || index >= 12 || n < 0 || n > 999) return 0;
    for (int round = 1; round <= MAX_ROUNDS; ++round) {
        index = (index + c) % 12;
        n -= 3 * c + 7;
        if (n < 1) n += 999; /* once is enough: n was 0..999 and drops by at most 307 */
        if (CommuneAcceptedIT(CommuneLetters[index], n)) {
            *letterIndex = index;
            *number = n;
            return round;
        }
    }
    return 0;
}

/* "00" to "99": two digits written by one copy. */
struct DIGITPAIRS {
    char16_t Pair[100][2];
};
static constexpr DIGITPAIRS kDigitPairs = [] {
    DIGITPAIRS t{};
    for (int v = 0; v < 100; ++v) {
        t.Pair[v][0] = char16_t(u'0' + v / 10);
        t.Pair[v][1] = char16_t(u'0' + v % 10);
    }
    return t;
}();

/* Two decimal digits of v (0..99) at out. */
static void PutTwoDigits(char16_t* out, int v) { CopyChars(out, kDigitPairs.Pair[v], 2); }

void CarrySubstitutionsIT(const char16_t* src, char16_t* out) {
    for (uint8_t pos : OmocodePositions) {
        if (InfoIT(src[pos - 1]).Omocode < 0) break;
        out[pos - 1] = OmocodeLetters[out[pos - 1] - u'0'];
    }
}

/* One letter of a name code of capitals masked from its row of NameMaskIT; *vowelSeen
** tells whether a vowel came before.  Without branches, as vowels and consonants come in
** no order a predictor could learn. */
static inline char16_t MaskNameLetterIT(char16_t c, const char16_t* row, unsigned* vowelSeen) {
    /* Bits of A, E, I, O and U among the letters A-Z. */
    constexpr uint32_t kVowels = 1u << 0 | 1u << 4 | 1u << 8 | 1u << 14 | 1u << 20;
    unsigned l = unsigned(c - u'A');
    unsigned vowel = (kVowels >> l) & 1;
    unsigned keep = *vowelSeen & ~vowel; /* the "X" padding after a vowel */
    char16_t masked = row[l];
    *vowelSeen |= vowel;
    return char16_t(keep ? c : masked);
}

/* MaskNameCode with a month key for a name code of capitals, from NameMaskIT. */
static void MaskNameCodeIT(const char16_t* in, char16_t* out, int month) {
    const char16_t(*letter)[26] = NameMaskIT.Letter[month - 1];
    unsigned vowelSeen = 0;
    out[0] = MaskNameLetterIT(in[0], letter[0], &vowelSeen);
    out[1] = MaskNameLetterIT(in[1], letter[1], &vowelSeen);
    out[2] = MaskNameLetterIT(in[2], letter[2], &vowelSeen);
}

uint16_t MaskFieldsIT(const char16_t* src, const CODEFIELDS_IT* fields, char16_t* out, uint32_t flags) {
    CODEFIELDS_IT f = *fields;
    int key = (src[11] - 64) * 1000 + f.number;
    int s = 2 * key + 1;

    if (flags & IT_NAMES) {
        MaskNameCodeIT(src, out, f.month);
        MaskNameCodeIT(src + 3, out + 3, f.month);
    } else {
        for (int i = 0; i < 6; ++i) out[i] = src[i];
    }
    if (flags & IT_DATE) MaskDateIT(&f, s);
    if ((flags & IT_COMMUNE) && !WalkCommuneIT(&f.communeLetter, &f.number, f.year == 0 ? 100 : f.year))
        return IT_ERR_MASK;

    PutTwoDigits(out + 6, f.year);
    out[8] = MonthLetters[f.month - 1];
    PutTwoDigits(out + 9, f.day + 40 * f.female);
    out[11] = CommuneLetters[f.communeLetter];
    out[12] = char16_t(u'0' + f.number / 100);
    PutTwoDigits(out + 13, f.number % 100);
    out[16] = 0;
    if (flags & IT_OMO_ANY) CarrySubstitutionsIT(src, out);
    out[15] = ControlCharIT(out);
    return 0;
}

uint16_t MaskCodeIT(const char16_t* src, char16_t* out, uint32_t flags) {
    CODEFIELDS_IT f;
    for (int i = 0; i < 6; ++i)
        if (!WIsUpper(src[i])) return IT_ERR_MASK;
    if (ValidateFieldsIT(src, flags, &f) != 0) return IT_ERR_MASK;
    return MaskFieldsIT(src, &f, out, flags);
}

/* ------------------------------------------------------------------ the row routine */


/* Rejects an invalid part, naming the source value as it was received. */
static int32_t RejectPart(const RBPDATA* rbp, const char16_t* fmt) {
    char16_t src[IT_SEPARATED_CHARS + 1];
    int n = rbp->InLength;
    for (int i = 0; i < n; ++i) src[i] = rbp->InValue.pStr[i];
    src[n] = 0;
    FormatMsg(rbp->pMsgBuf, fmt, int(RC_INVALID_PART), src);
    return RC_INVALID_PART;
}

/* A blank source gives 16 blanks for fixed-length strings, an empty string for the others. */
static int32_t BlankResultIT(RBPDATA* rbp) {
    switch (rbp->DestDataType) {
    case 1: case 31: case 35: return WriteBlankOutput(rbp, IT_CODE_CHARS);
    case 3: case 33: case 37: return WriteBlankOutput(rbp, 0);
    default:
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x :Destination Datatype Not supported\n", int(RC_INVALID_DEST));
        return RC_INVALID_DEST;
    }
}

/* Copies the source into the compact code, dropping the separators of a 19-character
** value and noting its layout; mixed separators are an error only under validation. */
static int32_t CompactSourceIT(const RBPDATA* rbp, char16_t* code, int* layout) {
    const char16_t* in = rbp->InValue.pStr;
    *layout = IT_SRC_COMPACT;
    if (rbp->InLength == IT_CODE_CHARS) {
        CopyChars(code, in, IT_CODE_CHARS);
    } else {
        char16_t a = in[3], b = in[7], c = in[13];
        if (a == u'-' && b == u'-' && c == u'-') {
            *layout = IT_SRC_HYPHEN;
        } else if (a == u' ' && b == u' ' && c == u' ') {
            *layout = IT_SRC_BLANK;
        } else if (rbp->Flags & MODE_VALIDATE) {
            FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x :Invalid Separator for source data value\n",
                      int(RC_INVALID_SEPARATOR));
            return RC_INVALID_SEPARATOR;
        }
        CopyChars(code, in, 3);
        CopyChars(code + 3, in + 4, 3);
        CopyChars(code + 6, in + 8, 5);
        CopyChars(code + 11, in + 14, 5);
    }
    code[IT_CODE_CHARS] = 0;
    return RC_OK;
}

/* True when positions 1-6, 9 and 12 hold capitals and the seven number positions digits:
** the usual source, which CheckCharactersIT would leave as it is. */
static bool PlainCharactersIT(const char16_t* code) {
    /* Counted without branches: all fifteen must hold. */
    int capitals = WIsUpper(code[0]) + WIsUpper(code[1]) + WIsUpper(code[2]) + WIsUpper(code[3]) +
                   WIsUpper(code[4]) + WIsUpper(code[5]) + WIsUpper(code[8]) + WIsUpper(code[11]);
    int digits = WIsDigit(code[6]) + WIsDigit(code[7]) + WIsDigit(code[9]) + WIsDigit(code[10]) +
                 WIsDigit(code[12]) + WIsDigit(code[13]) + WIsDigit(code[14]);
    return capitals + digits == 15;
}

/* Checks the characters of positions 1-15, upper-cases the letters and adds the
** substitution bits of the date and commune fields to the row flags. */
static int32_t CheckCharactersIT(const RBPDATA* rbp, char16_t* code, uint32_t* flags) {
    for (int i = 0; i < 6; ++i) {
        if (!WIsLetter(code[i]))
            return RejectPart(rbp, u"NID ERROR %#x :Invalid ASCII CHARACTER for source data value (%s) \n");
        code[i] = WToUpper(code[i]);
    }
    static const struct {
        uint8_t pos;
        uint16_t bit;
    } kDigits[7] = {{7, IT_OMO_YEAR},     {8, IT_OMO_YEAR},     {10, IT_OMO_DAY},    {11, IT_OMO_DAY},
                    {13, IT_OMO_COMMUNE}, {14, IT_OMO_COMMUNE}, {15, IT_OMO_COMMUNE}};
    bool substituted = false;
    for (const auto& d : kDigits) {
        char16_t c = code[d.pos - 1];
        if (WIsDigit(c)) {
            if (substituted)
                return RejectPart(rbp, u"NID ERROR %#x :Invalid REPLACEMENT CHARACTER for source data value (%s) \n");
            continue;
        }
        if (!WIsLetter(c))
            return RejectPart(rbp, u"NID ERROR %#x :Invalid ASCII CHARACTER for source data value (%s)\n");
        c = WToUpper(c);
        if (InfoIT(c).Omocode < 0)
            return RejectPart(rbp, u"NID ERROR %#x :Invalid Replacement Character for source data value (%s)\n");
        code[d.pos - 1] = c;
        *flags |= d.bit;
        substituted = true;
    }
    static const uint8_t kLetters[2] = {8, 11}; /* month and commune letters */
    for (int i : kLetters) {
        if (!WIsLetter(code[i]))
            return RejectPart(rbp, u"NID ERROR %#x :Invalid ASCII CHARACTER for source data value (%s)\n");
        code[i] = WToUpper(code[i]);
    }
    return RC_OK;
}

/* Turns a ValidateCodeIT status into the row's refusal. */
static int32_t RejectRuleIT(const RBPDATA* rbp, uint16_t status) {
    switch (status) {
    case IT_ERR_FAMILY:
        return RejectPart(rbp, u"NID ERROR %#x :Invalid FAMILY NAME Code for source data value (%s) \n");
    case IT_ERR_FIRST:
        return RejectPart(rbp, u"NID ERROR %#x :Invalid FIRST NAME Code for source data value (%s) \n");
    case IT_ERR_DATE:
        return RejectPart(rbp, u"NID ERROR %#x :Invalid BIRTH DATE for source data value (%s) \n");
    default:
        return RejectPart(rbp, u"NID ERROR %#x :Invalid REGION CODE for source data value (%s) \n");
    }
}

int32_t ReadCodeIT(RBPDATA* rbp, uint32_t workArea, char16_t* code, uint32_t* flags, int* layout,
                   CODEFIELDS_IT* fields) {
    if (rbp->InKind != KIND_STRING || !rbp->InValue.pStr) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x :Invalid source value type\n", int(RC_INVALID_TYPE));
        return RC_INVALID_TYPE;
    }
    if (rbp->InLength != IT_CODE_CHARS && rbp->InLength != IT_SEPARATED_CHARS) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x :Invalid Length for Source Data Value\n", int(RC_INVALID_LENGTH));
        return RC_INVALID_LENGTH;
    }
    if (WAllBlank(rbp->InValue.pStr, size_t(rbp->InLength))) return RC_BLANK;

    int32_t rc = CompactSourceIT(rbp, code, layout);
    if (rc != RC_OK) return rc;
    *flags = workArea;
    if (!PlainCharactersIT(code)) {
        rc = CheckCharactersIT(rbp, code, flags);
        if (rc != RC_OK) return rc;
    }
    uint16_t status = ValidateFieldsIT(code, *flags, fields);
    if (status != 0) return RejectRuleIT(rbp, status);

    /* Positions 1-15 are digits and capitals now. */
    if ((rbp->Flags & MODE_VALIDATE) && ControlCharIT(code) != code[15])
        return RejectPart(rbp, u"NID ERROR %#x :Invalid CONTROL CHARACTER for source data value (%s)\n");
    return RC_OK;
}

int32_t ReadCodeIT(RBPDATA* rbp, uint32_t workArea, char16_t* code, uint32_t* flags, int* layout) {
    CODEFIELDS_IT fields;
    return ReadCodeIT(rbp, workArea, code, flags, layout, &fields);
}

/* Validates the source value and masks it into masked; RC_OK, RC_BLANK or a refusal. */
static int32_t MaskSourceIT(RBPDATA* rbp, uint32_t workArea, char16_t* masked, int* layout) {
    char16_t code[IT_CODE_CHARS + 1];
    uint32_t flags = workArea;
    CODEFIELDS_IT fields;
    int32_t rc = ReadCodeIT(rbp, workArea, code, &flags, layout, &fields);
    if (rc == RC_BLANK) return BlankResultIT(rbp);
    if (rc != RC_OK) return rc;
    if (MaskFieldsIT(code, &fields, masked, flags) != 0) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x :Error while Masking source data value: Row skipped\n",
                  int(RC_CONVERSION));
        return RC_CONVERSION;
    }
    return RC_OK;
}

/* Separator of the result (0 for compact) from the format's layout bit and the source's. */
static char16_t SeparatorIT(uint32_t workArea, int layout) {
    if (workArea & IT_COMPACT) return 0;
    if (workArea & IT_BLANK) return u' ';
    if (workArea & IT_HYPHEN) return layout == IT_SRC_BLANK ? u' ' : u'-';
    return layout == IT_SRC_HYPHEN ? u'-' : layout == IT_SRC_BLANK ? u' ' : 0;
}

void WriteResultIT(RBPDATA* rbp, uint32_t workArea, const char16_t* masked, int layout) {
    char16_t* out = rbp->OutValue.pStr;
    char16_t sep = 0;
    if (rbp->pDestCol && rbp->pDestCol->Length >= IT_SEPARATED_CHARS) sep = SeparatorIT(workArea, layout);
    int n = IT_CODE_CHARS;
    if (!sep) {
        CopyChars(out, masked, IT_CODE_CHARS);
    } else {
        CopyChars(out, masked, 3);
        out[3] = sep;
        CopyChars(out + 4, masked + 3, 3);
        out[7] = sep;
        CopyChars(out + 8, masked + 6, 5);
        out[13] = sep;
        CopyChars(out + 14, masked + 11, 5);
        n = IT_SEPARATED_CHARS;
    }
    out[n] = 0;
    rbp->OutLength = n;
    rbp->OutKind = KIND_STRING;
}

int32_t MaskCountryIT(RBPDATA* rbp, uint32_t* workArea) {
    uint32_t wa = workArea ? *workArea : 0;
    char16_t masked[IT_CODE_CHARS + 1];
    int layout = IT_SRC_COMPACT;
    if (rbp->Flags & MODE_RANDOM) {
        if (RandomCodeIT(masked) != 0) {
            FormatMsg(rbp->pMsgBuf, u"NID ERROR Random masking failed:Row Skipped\n");
            return RC_NOTHING;
        }
    } else {
        int32_t rc = MaskSourceIT(rbp, wa, masked, &layout);
        if (rc != RC_OK) return rc;
    }
    WriteResultIT(rbp, wa, masked, layout);
    return RC_OK;
}
