/*
** log.cpp - the 16-bit formatter and the log file lines.
*/
#include "exit/log/log.h"

#include "exit/wstr.h"
#include "platform/platform.h"

const char16_t LOG_TAG[] = u"ZTNID ";

namespace {

/* Output cursor that cuts everything past the buffer's last character. */
struct Out {
    char16_t* buf;
    size_t cap;
    size_t len;
    void put(char16_t c) {
        if (len + 1 < cap) buf[len++] = c;
    }
    void repeat(char16_t c, int n) {
        for (; n > 0; --n) put(c);
    }
};

/* One parsed conversion: flags, width, precision, length and the conversion letter. */
struct Conversion {
    bool left = false, zero = false, alt = false, plus = false, space = false;
    int width = 0;
    int precision = -1;
    int longs = 0;
    char16_t conv = 0;
};

/* Reads a decimal number at *p, capped so that huge widths stay harmless. */
int ReadNumber(const char16_t** p) {
    int n = 0;
    while (WIsDigit(**p)) {
        if (n < 100000) n = n * 10 + (**p - u'0');
        ++*p;
    }
    return n;
}

/* Parses the conversion after "%"; leaves *p on the conversion character. */
Conversion ParseConversion(const char16_t** p) {
    Conversion s;
    for (;; ++*p) {
        char16_t c = **p;
        if (c == u'-') s.left = true;
        else if (c == u'0') s.zero = true;
        else if (c == u'#') s.alt = true;
        else if (c == u'+') s.plus = true;
        else if (c == u' ') s.space = true;
        else break;
    }
    s.width = ReadNumber(p);
    if (**p == u'.') {
        ++*p;
        s.precision = ReadNumber(p);
    }
    while (**p == u'l' || **p == u'h') {
        if (**p == u'l') ++s.longs;
        ++*p;
    }
    s.conv = **p;
    return s;
}

/* Writes body (len characters) with the sign/prefix and padding the conversion asks for. */
void EmitPadded(Out& out, const Conversion& s, const char16_t* prefix, const char16_t* body, int len,
                bool numeric) {
    int plen = int(WStrLen(prefix));
    int zeros = 0;
    if (numeric && s.precision > len) zeros = s.precision - len;
    int total = plen + zeros + len;
    int pad = s.width > total ? s.width - total : 0;
    if (numeric && s.zero && !s.left && s.precision < 0) {
        zeros += pad;
        pad = 0;
    }
    if (!s.left) out.repeat(u' ', pad);
    for (int i = 0; i < plen; ++i) out.put(prefix[i]);
    out.repeat(u'0', zeros);
    for (int i = 0; i < len; ++i) out.put(body[i]);
    if (s.left) out.repeat(u' ', pad);
}

/* Formats one integer conversion (d, i, u, x, X). */
void EmitInteger(Out& out, const Conversion& s, long long value) {
    bool isSigned = s.conv == u'd' || s.conv == u'i';
    unsigned long long mag;
    bool negative = false;
    if (isSigned) {
        long long v = s.longs ? value : static_cast<long long>(static_cast<int32_t>(value));
        negative = v < 0;
        mag = negative ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    } else {
        mag = s.longs ? static_cast<unsigned long long>(value)
                      : static_cast<unsigned long long>(static_cast<uint32_t>(value));
    }
    unsigned base = (s.conv == u'x' || s.conv == u'X') ? 16 : 10;
    const char16_t* digits = s.conv == u'X' ? u"0123456789ABCDEF" : u"0123456789abcdef";
    char16_t tmp[24];
    int n = 0;
    if (mag == 0 && s.precision == 0) {
        n = 0; /* "%.0d" of 0 prints no digit */
    } else {
        do {
            tmp[n++] = digits[mag % base];
            mag /= base;
        } while (mag);
    }
    char16_t body[24];
    for (int i = 0; i < n; ++i) body[i] = tmp[n - 1 - i];

    const char16_t* prefix = u"";
    if (isSigned) {
        if (negative) prefix = u"-";
        else if (s.plus) prefix = u"+";
        else if (s.space) prefix = u" ";
    } else if (s.alt && base == 16 && n > 0 && !(n == 1 && body[0] == u'0')) {
        prefix = s.conv == u'X' ? u"0X" : u"0x";
    }
    EmitPadded(out, s, prefix, body, n, true);
}

} // namespace

int FormatArgs(char16_t* buf, size_t cap, const char16_t* fmt, const FmtArg* args, int nargs) {
    if (!buf || cap == 0) return 0;
    Out out{buf, cap, 0};
    int next = 0;
    static const FmtArg kMissing{false, 0, nullptr};
    for (const char16_t* p = fmt ? fmt : u""; *p; ++p) {
        if (*p != u'%') {
            out.put(*p);
            continue;
        }
        ++p;
        if (*p == u'%') {
            out.put(u'%');
            continue;
        }
        Conversion s = ParseConversion(&p);
        if (s.conv == 0) break; /* the format ends inside a conversion */
        const FmtArg& a = next < nargs ? args[next++] : kMissing;
        switch (s.conv) {
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X':
            EmitInteger(out, s, a.isString ? 0 : a.num);
            break;
        case u'c': {
            char16_t c = a.isString ? u'?' : static_cast<char16_t>(a.num);
            EmitPadded(out, s, u"", &c, 1, false);
            break;
        }
        case u's': {
            const char16_t* str = a.isString ? (a.str ? a.str : u"(null)") : u"";
            size_t len = WStrLen(str);
            if (s.precision >= 0 && size_t(s.precision) < len) len = size_t(s.precision);
            if (len > cap) len = cap; /* nothing past the buffer can be written anyway */
            EmitPadded(out, s, u"", str, int(len), false);
            break;
        }
        default: /* unknown conversion: shown as written */
            out.put(u'%');
            out.put(s.conv);
            break;
        }
    }
    buf[out.len] = 0;
    return int(out.len);
}

int LogMessage(const char16_t* tag, const char16_t* text) {
    if (!tag && !text) return PlatformAppendLog(nullptr);

    PlatformTime t;
    PlatformLocalTime(&t);
    char16_t stamp[32];
    FormatMsgN(stamp, 32, u"%02d/%02d/%02d %02d:%02d", t.month, t.day, t.year % 100, t.hour,
               t.minute);

    /* The message text is at most one message buffer; the newline always survives. */
    enum { LINE_CHARS = MSG_BUF_CHARS + 128 };
    char16_t line[LINE_CHARS + 2];
    int n = tag ? FormatMsgN(line, LINE_CHARS, u"%s -%s: %s", stamp, tag, text ? text : u"")
                : FormatMsgN(line, LINE_CHARS, u"%s -%s", stamp, text);
    line[n] = u'\n';
    line[n + 1] = 0;
    return PlatformAppendLog(line);
}
