/*
** keyed.cpp - the keyed masker: opening it for a key, operands and scope, and running one
** value through its country's rules.
**
** Opening runs each country's own initialisation on a VARCHAR(255) column with the mask
** method and validation, so the format is read exactly as the exit reads it; then it
** builds the country's FF1 domains.  A row allocates nothing.
*/
#include <openssl/crypto.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "countries/es/es.h"
#include "countries/fr/fr.h"
#include "countries/it/it.h"
#include "countries/uk/uk.h"
#include "exit/formats/formats.h"
#include "exit/operands/operands.h"
#include "exit/wstr.h"
#include "keyed/keyed_internal.h"

enum {
    MIN_DOMAIN = 1000000,         /* FF1 wants radix^n of at least a million */
    MAX_LENGTH = 64,
    VARCHAR_TYPE = 2,
    VARCHAR_CODE = 3,
    COLUMN_LENGTH = 255,
    COPY_CHARS = 32               /* values shorter than this are copied before reading */
};

/* The four countries, in the order of their work area words in KEYED. */
static const KEYEDRULES* const kRules[4] = {&KeyedRulesFR, &KeyedRulesIT, &KeyedRulesES, &KeyedRulesUK};

struct COUNTRYINIT {
    uint16_t Keyword;             /* KW_* of the format list */
    int32_t (*Init)(RBPDATA* rbp, uint32_t* workArea);
    const char16_t* const* Formats;
    int FormatCount;
};

struct KEYED {
    FF1KEY Aes;
    KEYEDCOUNTRY Country[4];
};

/* ------------------------------------------------------------------ numbers */

uint64_t KeyedRank(const uint64_t* value, const uint64_t* size, int n) {
    uint64_t r = 0;
    for (int i = 0; i < n; ++i) r = r * size[i] + value[i];
    return r;
}

void KeyedUnrank(uint64_t r, const uint64_t* size, int n, uint64_t* value) {
    for (int i = n - 1; i >= 0; --i) {
        value[i] = r % size[i];
        r /= size[i];
    }
}

uint64_t KeyedPermute(KEYEDCOUNTRY* c, const KEYEDDOMAIN* dom, uint64_t x, bool unmask) {
    /* Cycle walking: the permutation of radix^n numbers, applied again until the number is
    ** one of the Size valid ones.  The cycle through x returns to x at the latest. */
    uint64_t calls = 0;
    do {
        x = unmask ? FF1Decrypt(&dom->Ff1, x) : FF1Encrypt(&dom->Ff1, x);
        ++calls;
    } while (x >= dom->Size);
    c->Stats.Values += 1;
    c->Stats.Rounds += calls;
    if (calls > c->Stats.MaxRounds) c->Stats.MaxRounds = calls;
    return x;
}

/* r^n, or 0 when it reaches 2^64. */
static uint64_t PowerOrZero(uint64_t r, int n) {
    unsigned __int128 p = 1;
    for (int i = 0; i < n; ++i)
        if ((p *= r) >> 64) return 0;
    return uint64_t(p);
}

/* The smallest radix^n (n >= 2, radix <= 65536) that holds size and a million numbers:
** the fewer numbers above size, the fewer cycle-walking steps. */
static bool ChooseRadix(uint64_t size, uint32_t* radix, int* n) {
    uint64_t need = size < uint64_t(MIN_DOMAIN) ? uint64_t(MIN_DOMAIN) : size, best = 0;
    for (int len = 2; len <= MAX_LENGTH; ++len) {
        uint64_t r = uint64_t(std::ceil(std::pow(double(need), 1.0 / len)));
        if (r < 2) r = 2;
        while (r > 2 && PowerOrZero(r - 1, len) >= need) --r;
        while (PowerOrZero(r, len) != 0 && PowerOrZero(r, len) < need) ++r;
        uint64_t total = PowerOrZero(r, len);
        if (r <= FF1_MAX_RADIX && total != 0 && (best == 0 || total < best)) {
            best = total;
            *radix = uint32_t(r);
            *n = len;
        }
        if (r == 2) break;
    }
    return best != 0;
}

/* ------------------------------------------------------------------ opening */

static const COUNTRYINIT kInit[4] = {
    {KW_FR, InitCountryFR, FormatTableFR, FR_FORMAT_COUNT},
    {KW_IT, InitCountryIT, FormatTableIT, IT_FORMAT_COUNT},
    {KW_ES, InitCountryES, FormatTableES, ES_FORMAT_COUNT},
    {KW_UK, InitCountryUK, FormatTableUK, UK_FORMAT_COUNT},
};

/* The country's work area word as its initialisation sets it for a VARCHAR(255) column;
** false with err for a format value that the country does not accept. */
static bool CountryWord(int i, MAP* operands, uint32_t* word, char* err) {
    const COUNTRYINIT& ci = kInit[i];
    const char16_t* desc = nullptr;
    int rc = GetCountryFormat(ci.Keyword, operands, &desc);
    if (rc == FMT_NOT_A_LIST || (rc == 0 && FindFormat(desc, ci.Formats, ci.FormatCount) < 0)) {
        std::snprintf(err, KEYED_ERR_CHARS, "the format for %s is not one the country accepts", kRules[i]->Code);
        return false;
    }
    COLDESC col{};
    col.DataType = VARCHAR_TYPE;
    col.Length = COLUMN_LENGTH;
    char16_t msg[MSG_BUF_CHARS] = {};
    RBPDATA rbp{};
    rbp.Flags = MODE_MASK | MODE_VALIDATE;
    rbp.pSrcCol = rbp.pDestCol = &col;
    rbp.pMsgBuf = msg;
    rbp.pOperands = operands;
    if (ci.Init(&rbp, word) != 0) {
        std::snprintf(err, KEYED_ERR_CHARS, "%s cannot be initialised", kRules[i]->Code);
        return false;
    }
    return true;
}

/* Builds the domains of one country for its word: tweak = country, replaced fields, scope. */
static bool SetUpCountry(KEYED* k, int i, const char* scope, size_t scopeLen, char* err) {
    const KEYEDRULES* r = kRules[i];
    KEYEDCOUNTRY* c = &k->Country[i];
    uint8_t tweak[3 + KEYED_SCOPE_MAX];
    tweak[0] = uint8_t(r->Code[0]);
    tweak[1] = uint8_t(r->Code[1]);
    tweak[2] = r->Fields(c->Word);
    if (scopeLen) std::memcpy(tweak + 3, scope, scopeLen);

    c->DomainCount = r->DomainCount(c->Word);
    c->Domains = static_cast<KEYEDDOMAIN*>(std::calloc(size_t(c->DomainCount), sizeof(KEYEDDOMAIN)));
    if (!c->Domains) return std::snprintf(err, KEYED_ERR_CHARS, "out of memory"), false;
    for (int d = 0; d < c->DomainCount; ++d) {
        KEYEDDOMAIN* dom = &c->Domains[d];
        dom->Size = r->DomainSize(c->Word, d);
        uint32_t radix;
        int n;
        if (dom->Size == 0) continue;
        /* One table per country at most: a country with a domain per department computes. */
        bool tabulate = c->DomainCount == 1;
        if (!ChooseRadix(dom->Size, &radix, &n) ||
            !FF1SetDomain(&dom->Ff1, &k->Aes, radix, n, tweak, 3 + scopeLen, tabulate)) {
            std::snprintf(err, KEYED_ERR_CHARS, "cannot set up the cipher for %s", r->Code);
            return false;
        }
    }
    return true;
}

KEYED* KeyedOpen(const KEYEDKEY* key, const char16_t* operands, const char* scope, size_t scopeLen, char* err) {
    err[0] = 0;
    if (scopeLen > KEYED_SCOPE_MAX) {
        std::snprintf(err, KEYED_ERR_CHARS, "the scope is longer than %d bytes", int(KEYED_SCOPE_MAX));
        return nullptr;
    }
    MAP map{};
    if (operands && operands[0]) {
        int rc = ParseOperands(operands, &map, u',', u'=');
        if (rc != OPS_OK) {
            FreeOperands(&map);
            std::snprintf(err, KEYED_ERR_CHARS, "the operands cannot be read (code %d)", rc);
            return nullptr;
        }
    }
    KEYED* k = static_cast<KEYED*>(std::calloc(1, sizeof(KEYED)));
    bool ok = k != nullptr;
    if (!ok) std::snprintf(err, KEYED_ERR_CHARS, "out of memory");
    for (int i = 0; ok && i < 4; ++i) ok = CountryWord(i, &map, &k->Country[i].Word, err);
    FreeOperands(&map);
    if (ok && !FF1OpenKey(&k->Aes, key->Bytes, key->Length)) {
        std::snprintf(err, KEYED_ERR_CHARS, "the key has %zu bytes; AES takes 16, 24 or 32", key->Length);
        ok = false;
    }
    for (int i = 0; ok && i < 4; ++i) ok = SetUpCountry(k, i, scope, scopeLen, err);
    if (!ok) {
        KeyedClose(k);
        return nullptr;
    }
    return k;
}

void KeyedClose(KEYED* k) {
    if (!k) return;
    for (KEYEDCOUNTRY& c : k->Country) {
        for (int d = 0; c.Domains && d < c.DomainCount; ++d) FF1FreeDomain(&c.Domains[d].Ff1);
        std::free(c.Domains);
    }
    if (k->Aes.ctx) FF1CloseKey(&k->Aes);
    OPENSSL_cleanse(k, sizeof *k); /* the domains' MAC states derive from the key */
    std::free(k);
}

/* ------------------------------------------------------------------ one value */

static int CountryIndex(uint16_t country) {
    for (int i = 0; i < 4; ++i)
        if (kRules[i]->Bit == country) return i;
    return -1;
}

static int32_t RunValue(KEYED* k, uint16_t country, const char16_t* in, int32_t len, char16_t* out, int32_t* outLen,
                        char16_t* msg, bool unmask) {
    msg[0] = 0;
    int i = CountryIndex(country);
    if (i < 0) return RC_NOTHING;
    if (!in) return RC_NULL_INPUT;
    /* The country's checks may shorten a value in place: short values are read from a copy.
    ** Longer ones are refused (or found blank) without being written to. */
    char16_t copy[COPY_CHARS];
    char16_t* value = const_cast<char16_t*>(in);
    if (len >= 0 && len < COPY_CHARS) {
        std::memcpy(copy, in, size_t(len) * sizeof(char16_t));
        copy[len] = 0;
        value = copy;
    }
    COLDESC col{};
    col.DataType = VARCHAR_TYPE;
    col.Length = COLUMN_LENGTH;
    RBPDATA rbp{};
    rbp.SrcDataType = rbp.DestDataType = VARCHAR_CODE;
    rbp.Flags = MODE_MASK | MODE_VALIDATE;
    rbp.pSrcCol = rbp.pDestCol = &col;
    rbp.pMsgBuf = msg;
    rbp.InKind = KIND_STRING;
    rbp.InLength = len;
    rbp.InValue.pStr = value;
    rbp.OutValue.pStr = out;
    int32_t rc = kRules[i]->Row(&k->Country[i], &rbp, unmask);
    if (rc == RC_OK) *outLen = rbp.OutLength;
    return rc;
}

int32_t KeyedMask(KEYED* k, uint16_t country, const char16_t* in, int32_t len, char16_t* out, int32_t* outLen,
                  char16_t* msg) {
    return RunValue(k, country, in, len, out, outLen, msg, false);
}

int32_t KeyedUnmask(KEYED* k, uint16_t country, const char16_t* in, int32_t len, char16_t* out, int32_t* outLen,
                    char16_t* msg) {
    return RunValue(k, country, in, len, out, outLen, msg, true);
}

/* The work area counter of each refusal code, as the exit counts it. */
static const struct {
    int32_t Rc;
    int32_t WORKAREA::*Counter;
    const char* Name;
} kCounters[] = {
    {RC_NULL_INPUT, &WORKAREA::NullInputCount, "NullInputCount"},
    {RC_INVALID_DATA, &WORKAREA::InvalidDataCount, "InvalidDataCount"},
    {RC_INVALID_DEST, &WORKAREA::InvalidDataCount, "InvalidDataCount"},
    {RC_INVALID_TYPE, &WORKAREA::InvalidDataCount, "InvalidDataCount"},
    {RC_CONVERSION, &WORKAREA::ConversionErrorCount, "ConversionErrorCount"},
    {RC_INVALID_LENGTH, &WORKAREA::InvalidLengthCount, "InvalidLengthCount"},
    {RC_INVALID_PART, &WORKAREA::InvalidPartCount, "InvalidPartCount"},
    {RC_INVALID_SEPARATOR, &WORKAREA::InvalidSeparatorCount, "InvalidSeparatorCount"},
};

const char* KeyedCounterName(int32_t rc) {
    for (const auto& c : kCounters)
        if (c.Rc == rc) return c.Name;
    return nullptr;
}

int32_t WORKAREA::*KeyedCounter(int32_t rc) {
    for (const auto& c : kCounters)
        if (c.Rc == rc) return c.Counter;
    return nullptr;
}

void KeyedStats(const KEYED* k, uint16_t country, KEYEDSTATS* s) {
    int i = CountryIndex(country);
    *s = i < 0 ? KEYEDSTATS{} : k->Country[i].Stats;
}
