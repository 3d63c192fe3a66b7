/*
** text.cpp - UTF-8 <-> UTF-16 conversion on the row path.
*/
#include "host/ztnid/text.h"

#include <cstdint>

#include "host/emul/utf.h"

namespace ztnid {

size_t Utf8IntoUtf16(std::string_view s, char16_t* out, size_t cap) {
    if (cap == 0) return SIZE_MAX;
    size_t o = 0, i = 0;
    const size_t last = cap - 1; /* room kept for the terminator */
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (o >= last) break;
            out[o++] = char16_t(c);
            ++i;
            continue;
        }
        size_t used;
        uint32_t cp = DecodeUtf8(s, i, &used);
        size_t units = cp >= 0x10000 ? 2 : 1;
        if (o + units > last) break;
        if (units == 2) {
            cp -= 0x10000;
            out[o++] = char16_t(0xD800 + (cp >> 10));
            out[o++] = char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out[o++] = char16_t(cp);
        }
        i += used;
    }
    out[o] = 0;
    return i < s.size() ? SIZE_MAX : o;
}

size_t Utf16Length(std::string_view s) {
    size_t n = 0, i = 0;
    while (i < s.size()) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++n;
            ++i;
            continue;
        }
        size_t used;
        n += DecodeUtf8(s, i, &used) >= 0x10000 ? 2 : 1;
        i += used;
    }
    return n;
}

std::string Redact(std::string_view value) {
    std::u16string s = Utf8ToUtf16(value);
    size_t keep = s.size() >= 8 ? 2 : s.size() >= 5 ? 1 : 0;
    for (size_t i = keep; i + keep < s.size(); ++i) s[i] = u'*';
    return Utf16ToUtf8(s);
}

} // namespace ztnid
