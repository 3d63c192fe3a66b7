/*
** fuzz_keyed.cpp - the keyed masker with any values, formats, scopes and keys.
**
** Scenario: a control byte (bits 0-1 the country, bit 2 unmask first, bits 3-5 one of the
** operand strings below or, for 7, any string of the input, bit 6 a key of the input's
** own, bit 7 that key as text rather than raw bytes); with a key of its own the key (raw
** bytes, of any length, or a string decoded as key text), the scope and the operand
** string; then up to 8 values (fuzz_support's strings: templates of valid numbers too).
**
** Checks: a refused value gives one of the exit's row codes, its counter and no result; a
** result has 8 to 19 characters; a masked value unmasks (the exit's own check) and masks
** back to the same result; a masker that cannot be opened says why.
*/
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "keyed/keyed.h"

using fuzz::Reader;

namespace {

const char16_t* const kOperands[7] = {
    u"",
    u"format=(FR=15X,IT=16X,ES=7X-1X,UK=8X1C)",
    u"format=(FR=1X9C5X,IT=11C5X,ES=8X,UK=2C 2X 2X 2X 1C)",
    u"format=(FR=3C2X2C8X,IT=6X9C1X,UK=2X-6X-1C)",
    u"format=(FR=5X2C6X 2X,IT=3X-3X-5C-5X,ES=7X 1X)",
    u"format=(FR=7C8X,IT=6C5X4C1X,UK=2C.6X.1C)",
    u"switch=\"FR,format=(FR=1C4X2C8X,IT=3C 3C 5X 4C1X)",
};
const uint16_t kCountry[4] = {COUNTRY_FR, COUNTRY_IT, COUNTRY_ES, COUNTRY_UK};

KEYED* OpenWith(const KEYEDKEY& key, const std::u16string& ops, const std::string& scope) {
    char err[KEYED_ERR_CHARS] = "";
    KEYED* k = KeyedOpen(&key, ops.c_str(), scope.data(), scope.size(), err);
    if (!k && !err[0]) std::abort(); /* a refusal always says why */
    return k;
}

/* The maskers of the fixed operand strings under one fixed key, opened once. */
KEYED* Fixed(int i) {
    static KEYED* cache[7] = {};
    if (!cache[i]) {
        KEYEDKEY key{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, 16};
        cache[i] = OpenWith(key, kOperands[i], "");
        if (!cache[i]) std::abort();
    }
    return cache[i];
}

bool IsRowCode(int32_t rc) {
    switch (rc) {
    case RC_NULL_INPUT: case RC_INVALID_DATA: case RC_CONVERSION: case RC_INVALID_LENGTH: case RC_INVALID_PART:
    case RC_INVALID_SEPARATOR: case RC_INVALID_DEST: case RC_INVALID_TYPE: return true;
    default: return false;
    }
}

/* One call; aborts on a broken promise.  True with the result in out. */
bool Call(KEYED* k, uint16_t country, const std::u16string& v, bool unmask, std::u16string* out) {
    char16_t buf[KEYED_OUT_CHARS], msg[MSG_BUF_CHARS];
    int32_t n = -1;
    int32_t rc = unmask ? KeyedUnmask(k, country, v.data(), int32_t(v.size()), buf, &n, msg)
                        : KeyedMask(k, country, v.data(), int32_t(v.size()), buf, &n, msg);
    if (rc == RC_OK) {
        if (n < 8 || n > 19) std::abort();
        out->assign(buf, size_t(n));
        return true;
    }
    if (n != -1 || (rc != RC_BLANK && !IsRowCode(rc))) std::abort();
    /* The message (the exit's; the UK's separator refusal has none) ends inside its buffer. */
    if ((IsRowCode(rc) && !KeyedCounterName(rc)) || std::char_traits<char16_t>::find(msg, MSG_BUF_CHARS, 0) == nullptr)
        std::abort();
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader r(data, size);
    uint8_t ctl = r.u8();
    uint16_t country = kCountry[ctl & 3];
    bool unmaskFirst = ctl & 4;
    int ops = (ctl >> 3) & 7;
    KEYED* k = nullptr;
    bool own = (ctl & 0x40) || ops == 7;
    if (own) {
        KEYEDKEY key{};
        if (ctl & 0x80) {
            std::u16string text = r.str(200);
            std::string narrow(text.begin(), text.end());
            char err[KEYED_ERR_CHARS] = "";
            if (!KeyedDecodeKey(narrow.data(), narrow.size(), &key, err) && !err[0]) std::abort();
        } else {
            key.Length = r.u8() % 40;
            for (size_t i = 0; i < key.Length && i < sizeof key.Bytes; ++i) key.Bytes[i] = r.u8();
            if (key.Length > sizeof key.Bytes) key.Length = sizeof key.Bytes + 1;
        }
        std::u16string scope16 = r.str(300);
        std::string scope(scope16.begin(), scope16.end());
        std::u16string opsText = ops == 7 ? r.str(400) : std::u16string(kOperands[ops]);
        k = OpenWith(key, opsText, scope);
        KeyedWipeKey(&key);
        if (!k) return 0;
    } else {
        k = Fixed(ops);
    }
    for (int i = 0; i < 8 && r.left(); ++i) {
        std::u16string v = r.str(100), y, back, again;
        if (!Call(k, country, v, unmaskFirst, &y)) continue;
        /* y is a valid number: its reverse takes it back, and the forward again gives y. */
        if (!Call(k, country, y, !unmaskFirst, &back) || !Call(k, country, back, unmaskFirst, &again) || again != y)
            std::abort();
    }
    if (own) KeyedClose(k);
    return 0;
}
