/*
** fr_test_util.h - helpers of the France tests: scripted random draws, NIR keys computed
** apart from the exit, and a column map that masks one NIR column.
*/
#ifndef ZT0NID_TESTS_FR_UTIL_H
#define ZT0NID_TESTS_FR_UTIL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "exit/random/random.h"
#include "host/emul/host_emul.h"

namespace frtest {

/* Replaces the random source by a script for the lifetime of the object; once the
** script is used up, the draws count up from 0. */
class ScriptedDraws {
public:
    explicit ScriptedDraws(std::vector<uint32_t> draws) {
        script() = std::move(draws);
        next() = 0;
        taken() = 0;
        previous_ = SetRandomSource(&Draw);
    }
    ~ScriptedDraws() { SetRandomSource(previous_); }
    static size_t Taken() { return taken(); }

private:
    static std::vector<uint32_t>& script() { static std::vector<uint32_t> s; return s; }
    static size_t& next() { static size_t n; return n; }
    static size_t& taken() { static size_t n; return n; }
    static uint32_t Draw() {
        ++taken();
        size_t i = next()++;
        return i < script().size() ? script()[i] : uint32_t(i - script().size());
    }
    RandomSourceFn previous_;
};

inline std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }
inline std::string U8(const std::u16string& s) { return std::string(s.begin(), s.end()); }

/* Key of the first 13 characters ("2A"/"2B" counting as 20), as two digits. */
inline std::string KeyOf(const std::string& s13) {
    std::string t = s13.substr(0, 13);
    if (t[6] == 'A' || t[6] == 'B') t[6] = '0';
    unsigned long long n = std::stoull(t);
    char b[3] = {char('0' + (97 - n % 97) / 10), char('0' + (97 - n % 97) % 10), 0};
    return b;
}

/* A map of one NIR column: source and destination "NID", host type 1. */
inline std::unique_ptr<hostemu::ColumnMap> NewMap(const std::u16string& ops, int32_t destLength = 20,
                                                  int16_t destType = 1) {
    return std::make_unique<hostemu::ColumnMap>(&KLOColMapWExit, ops, std::vector<hostemu::Column>{{u"NID", 1, 20}},
                                                std::vector<hostemu::Column>{{u"NID", destType, destLength}});
}

/* Masked positions (1..15) and separator of a descriptor, read from its notation. */
struct Spelled {
    bool masked[16] = {};
    char sep = 0;
    int count = 0;
};

inline Spelled Spell(const char16_t* desc) {
    Spelled s;
    int n = 0;
    for (const char16_t* p = desc; *p;) {
        if (*p == u'-' || *p == u' ') { s.sep = char(*p++); continue; }
        while (*p >= u'0' && *p <= u'9') n = n * 10 + (*p++ - u'0');
        bool x = (*p++ == u'X');
        for (; n > 0; --n) {
            ++s.count;
            if (s.count <= 15) s.masked[s.count] = x;
        }
    }
    return s;
}

} // namespace frtest

#endif
