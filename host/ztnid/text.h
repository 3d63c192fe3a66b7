/*
** text.h - text on ztnid's row path.  The converters that never allocate
** (Utf8IntoUtf16, Utf16Length) are the host emulation's, declared in host/emul/utf.h.
*/
#ifndef ZTNID_TEXT_H
#define ZTNID_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

#include "host/emul/utf.h" /* AppendUtf8, Utf8IntoUtf16, Utf16Length */

namespace ztnid {

/* A value fit to be shown: every character but the first and last two (one of each for
** five to seven characters, none below) becomes "*", so "185057511234529" gives
** "18***********29". */
std::string Redact(std::string_view value);

} // namespace ztnid

#endif
