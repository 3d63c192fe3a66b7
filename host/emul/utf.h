/*
** utf.h - UTF-8 <-> UTF-16 conversion for hosts and tests.
**
** Valid text round-trips losslessly, surrogate pairs included.  Malformed UTF-8 and
** unpaired surrogates become U+FFFD.
*/
#ifndef ZT0NID_HOST_UTF_H
#define ZT0NID_HOST_UTF_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

/* The code point at s[i] and, in *used, the bytes it takes; a malformed sequence gives
** U+FFFD and takes the bytes that looked like part of it. */
uint32_t DecodeUtf8(std::string_view s, size_t i, size_t* used);

/* Appends the UTF-8 form of the n 16-bit units at s to out. */
void AppendUtf8(std::string& out, const char16_t* s, size_t n);

/* Converts s into out (cap 16-bit units, terminator included) without allocating, and
** terminates it.  Returns the units written before the terminator, or SIZE_MAX when the
** text does not fit (out then holds a terminated prefix). */
size_t Utf8IntoUtf16(std::string_view s, char16_t* out, size_t cap);

/* Number of 16-bit units the UTF-8 text s converts to. */
size_t Utf16Length(std::string_view s);

#endif
