/*
** fr_test_util.h - helpers of the France tests: scripted draws, keys computed apart from
** the exit, descriptors read as their notation, a map of one NIR column.
*/
#ifndef ZT0NID_TESTS_FR_UTIL_H
#define ZT0NID_TESTS_FR_UTIL_H

#include <memory>
#include <string>
#include <vector>

#include "exit/random/random.h"
#include "host/emul/host_emul.h"

namespace frtest {

/* Draws come from the script while the object lives, then count up from 0. */
struct ScriptedDraws {
    static inline std::vector<uint32_t> script;
    static inline size_t taken = 0;
    RandomSourceFn previous;
    explicit ScriptedDraws(std::vector<uint32_t> s) : previous(SetRandomSource(&Draw)) { script = std::move(s), taken = 0; }
    ~ScriptedDraws() { SetRandomSource(previous); }
    static uint32_t Draw() {
        size_t i = taken++;
        return i < script.size() ? script[i] : uint32_t(i - script.size());
    }
};

inline std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }
inline std::string U8(const std::u16string& s) { return std::string(s.begin(), s.end()); }

/* Key of the first 13 characters ("2A"/"2B" counting as 20), as two digits. */
inline std::string KeyOf(std::string s) {
    if (s[6] == 'A' || s[6] == 'B') s[6] = '0';
    unsigned k = unsigned(97 - std::stoull(s.substr(0, 13)) % 97);
    return {char('0' + k / 10), char('0' + k % 10)};
}

/* Masked positions (1..15) and separator of a descriptor, read from its notation. */
struct Spelled {
    bool masked[16] = {};
    char sep = 0;
    int count = 0;
};
inline Spelled Spell(const char16_t* p) {
    Spelled s;
    for (int n = 0; *p;) {
        if (*p == u'-' || *p == u' ') { s.sep = char(*p++); continue; }
        while (*p >= u'0' && *p <= u'9') n = n * 10 + (*p++ - u'0');
        for (bool x = (*p++ == u'X'); n > 0; --n) s.masked[++s.count <= 15 ? s.count : 0] = x;
    }
    return s;
}

/* A map of one NIR column "NID" (host type 1 source of length 20); the end call is made
** when it goes. */
struct EndCall {
    void operator()(hostemu::ColumnMap* m) const { m->end(), delete m; }
};
using MapPtr = std::unique_ptr<hostemu::ColumnMap, EndCall>;
inline MapPtr NewMap(const std::u16string& ops, int32_t destLength = 20, int16_t destType = 1) {
    return MapPtr(new hostemu::ColumnMap(&KLOColMapWExit, ops, {{u"NID", 1, 20}}, {{u"NID", destType, destLength}}));
}

} // namespace frtest

#endif
