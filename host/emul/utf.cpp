/*
** utf.cpp - UTF-8 <-> UTF-16 conversion.
*/
#include "host/emul/utf.h"

#include <cstdint>

uint32_t DecodeUtf8(std::string_view s, size_t i, size_t* used) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp, min;
    size_t n;
    if (c < 0x80) { *used = 1; return c; }
    if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; n = 2; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; n = 3; min = 0x800; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; n = 4; min = 0x10000; }
    else { *used = 1; return 0xFFFD; }
    size_t k = 1;
    for (; k < n && i + k < s.size(); ++k) {
        unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) break;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (k < n || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        *used = k;
        return 0xFFFD;
    }
    *used = n;
    return cp;
}

void AppendUtf8(std::string& out, const char16_t* s, size_t n) {
    /* The ASCII run at the start (often all of it) in one step. */
    size_t ascii = 0;
    while (ascii < n && s[ascii] < 0x80) ++ascii;
    size_t at = out.size();
    out.resize(at + ascii);
    for (size_t i = 0; i < ascii; ++i) out[at + i] = char(s[i]);
    for (size_t i = ascii; i < n; ++i) {
        uint32_t cp = s[i];
        if (cp < 0x80) {
            out += char(cp);
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
        }
        out += char(0x80 | (cp & 0x3F));
    }
}

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0, used = 0; i < s.size(); i += used) {
        uint32_t cp = DecodeUtf8(s, i, &used);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    AppendUtf8(out, s.data(), s.size());
    return out;
}

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
