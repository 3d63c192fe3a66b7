/*
** utf.h - UTF-8 <-> UTF-16 conversion for hosts and tests.
**
** Valid text round-trips losslessly, surrogate pairs included.  Malformed UTF-8 and
** unpaired surrogates become U+FFFD.
*/
#ifndef ZT0NID_HOST_UTF_H
#define ZT0NID_HOST_UTF_H

#include <string>
#include <string_view>

std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

#endif
