/*
** wstr.h - small helpers over NUL-terminated 16-bit strings.
**
** Letters and digits are the ASCII ones; characters are compared as 16-bit values.
*/
#ifndef ZT0NID_WSTR_H
#define ZT0NID_WSTR_H

#include <stddef.h>
#include <stdint.h>

inline bool WIsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
inline bool WIsUpper(char16_t c) { return c >= u'A' && c <= u'Z'; }
inline bool WIsLower(char16_t c) { return c >= u'a' && c <= u'z'; }
inline bool WIsLetter(char16_t c) { return WIsUpper(c) || WIsLower(c); }
inline char16_t WToUpper(char16_t c) { return WIsLower(c) ? char16_t(c - 32) : c; }

/* Length of s, NULL counting as empty. */
inline size_t WStrLen(const char16_t* s) {
    size_t n = 0;
    if (s)
        while (s[n]) ++n;
    return n;
}

/* Length of s, looking at no more than max characters. */
inline size_t WStrNLen(const char16_t* s, size_t max) {
    size_t n = 0;
    if (s)
        while (n < max && s[n]) ++n;
    return n;
}

/* True when a and b have the same length and the same characters ignoring ASCII case. */
inline bool WEqualsNoCase(const char16_t* a, const char16_t* b) {
    if (!a || !b) return false;
    for (;; ++a, ++b) {
        if (WToUpper(*a) != WToUpper(*b)) return false;
        if (*a == 0) return true;
    }
}

/* True when the first n characters of a and b are equal ignoring ASCII case (both
** must hold at least n characters before their terminators for a match). */
inline bool WPrefixNoCase(const char16_t* a, const char16_t* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == 0 || WToUpper(a[i]) != WToUpper(b[i])) return false;
    }
    return true;
}

/* True when the first n characters of s are all blanks (n = 0 counts as blank). */
inline bool WAllBlank(const char16_t* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (s[i] != u' ') return false;
    return true;
}

#endif
