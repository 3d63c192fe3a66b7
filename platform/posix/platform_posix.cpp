/*
** platform_posix.cpp - the platform services on Linux and other POSIX systems.
**
** The directory standing for the root of drive C: is named by ZTNID_DRIVE_C (default
** /tmp), so the log file is $ZTNID_DRIVE_C/ZTMSG.TXT.
*/
#include "platform/platform.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

uint32_t PlatformRandom32() {
    /* Four bytes per call: one draw is one request to the kernel's generator. */
    uint32_t v = 0;
    while (getrandom(&v, sizeof v, 0) != static_cast<ssize_t>(sizeof v)) {
        if (errno != EINTR) return 0;
    }
    return v;
}

void PlatformLocalTime(PlatformTime* t) {
    time_t now = time(nullptr);
    struct tm tmv;
    std::memset(&tmv, 0, sizeof tmv);
    localtime_r(&now, &tmv);
    t->year = tmv.tm_year + 1900;
    t->month = tmv.tm_mon + 1;
    t->day = tmv.tm_mday;
    t->hour = tmv.tm_hour;
    t->minute = tmv.tm_min;
}

/* Encodes a UTF-16 string as UTF-8 into out (cap bytes, terminated); an unpaired
** surrogate becomes U+FFFD.  Returns the bytes written. */
static size_t ToUtf8(const char16_t* s, char* out, size_t cap) {
    size_t n = 0;
    for (size_t i = 0; s[i]; ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        char b[4];
        size_t k;
        if (cp < 0x80) { b[0] = char(cp); k = 1; }
        else if (cp < 0x800) { b[0] = char(0xC0 | (cp >> 6)); b[1] = char(0x80 | (cp & 0x3F)); k = 2; }
        else if (cp < 0x10000) {
            b[0] = char(0xE0 | (cp >> 12)); b[1] = char(0x80 | ((cp >> 6) & 0x3F));
            b[2] = char(0x80 | (cp & 0x3F)); k = 3;
        } else {
            b[0] = char(0xF0 | (cp >> 18)); b[1] = char(0x80 | ((cp >> 12) & 0x3F));
            b[2] = char(0x80 | ((cp >> 6) & 0x3F)); b[3] = char(0x80 | (cp & 0x3F)); k = 4;
        }
        if (n + k + 1 > cap) break;
        std::memcpy(out + n, b, k);
        n += k;
    }
    out[n] = 0;
    return n;
}

int PlatformAppendLog(const char16_t* line) {
    const char* dir = std::getenv("ZTNID_DRIVE_C");
    if (!dir || !*dir) dir = "/tmp";
    char path[4096];
    if (std::snprintf(path, sizeof path, "%s/ZTMSG.TXT", dir) >= int(sizeof path)) return 8;

    FILE* f = std::fopen(path, "a");
    if (!f) return 8;
    if (line) {
        char utf8[4096];
        size_t n = ToUtf8(line, utf8, sizeof utf8);
        std::fwrite(utf8, 1, n, f);
    }
    std::fclose(f);
    return 0;
}
