/*
** text.cpp - text on ztnid's row path.
*/
#include "host/ztnid/text.h"

#include "host/emul/utf.h"

namespace ztnid {

std::string Redact(std::string_view value) {
    std::u16string s = Utf8ToUtf16(value);
    size_t keep = s.size() >= 8 ? 2 : s.size() >= 5 ? 1 : 0;
    for (size_t i = keep; i + keep < s.size(); ++i) s[i] = u'*';
    return Utf16ToUtf8(s);
}

} // namespace ztnid
