/*
** text.h - UTF-8 <-> UTF-16 conversion on the row path, without allocation.
**
** Valid text round-trips losslessly, surrogate pairs included.  Malformed UTF-8 and
** unpaired surrogates become U+FFFD, as in the host emulation's converters.
*/
#ifndef ZTNID_TEXT_H
#define ZTNID_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

#include "host/emul/utf.h" /* AppendUtf8 */

namespace ztnid {

/* Converts s into out (cap 16-bit units, terminator included) and terminates it.
** Returns the units written before the terminator, or SIZE_MAX when the text does not
** fit (out then holds a terminated prefix). */
size_t Utf8IntoUtf16(std::string_view s, char16_t* out, size_t cap);

/* Number of 16-bit units the UTF-8 text s converts to. */
size_t Utf16Length(std::string_view s);

/* A value fit to be shown: every character but the first and last two (one of each for
** five to seven characters, none below) becomes "*", so "185057511234529" gives
** "18***********29". */
std::string Redact(std::string_view value);

} // namespace ztnid

#endif
