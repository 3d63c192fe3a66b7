/*
** columns.cpp - host data types and the column map specs of the command line.
*/
#include "host/ztnid/columns.h"

#include <cctype>
#include <charconv>

namespace ztnid {

namespace {

struct TYPENAME {
    const char* name;
    int16_t code;
};
const TYPENAME kTypeNames[] = {
    {"CHAR", 1}, {"VARCHAR", 2}, {"NCHAR", 30}, {"NVARCHAR", 31}, {"WCHAR", 32}, {"WVARCHAR", 33},
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

/* A whole decimal number in [lo, hi], or false. */
bool ParseInt(std::string_view s, long lo, long hi, long* out) {
    s = Trim(s);
    long v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || p != s.data() + s.size() || v < lo || v > hi) return false;
    *out = v;
    return true;
}

/* The code of a type name (ignoring case), or -1. */
int CodeOfName(std::string_view name) {
    for (const TYPENAME& t : kTypeNames)
        if (NamesEqual(name, t.name)) return t.code;
    return -1;
}

} // namespace

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const char* TypeCodeName(int16_t code) {
    for (const TYPENAME& t : kTypeNames)
        if (t.code == code) return t.name;
    return "";
}

std::string TypeText(ColumnType t) {
    std::string name = TypeCodeName(t.code);
    if (name.empty()) name = std::to_string(t.code);
    return name + "(" + std::to_string(t.length) + ")";
}

int32_t CapacityUnits(ColumnType t) { return (t.code == 32 || t.code == 33) ? t.length / 2 : t.length; }

ColumnType ParseType(std::string_view text, int32_t defaultLength) {
    std::string_view s = Trim(text);
    std::string_view name = s, len;
    size_t open = s.find('(');
    if (open != std::string_view::npos) {
        if (s.back() != ')') throw UsageError("type '" + std::string(text) + "': missing ')'");
        name = Trim(s.substr(0, open));
        len = s.substr(open + 1, s.size() - open - 2);
    }
    ColumnType t;
    long v;
    int code = CodeOfName(name);
    if (code >= 0) {
        t.code = int16_t(code);
    } else if (ParseInt(name, 0, 32767, &v)) {
        t.code = int16_t(v);
    } else {
        throw UsageError("unknown type '" + std::string(name) +
                         "' (types: CHAR, VARCHAR, NCHAR, NVARCHAR, WCHAR, WVARCHAR, or a numeric code)");
    }
    t.length = defaultLength;
    if (open != std::string_view::npos) {
        if (!ParseInt(len, 0, 1000000, &v))
            throw UsageError("type '" + std::string(text) + "': the length must be a number from 0 to 1000000");
        t.length = int32_t(v);
    }
    return t;
}

ColumnType TypeOfDeclared(std::string_view declared) {
    ColumnType t;
    std::string_view s = Trim(declared);
    size_t open = s.find('(');
    int code = CodeOfName(Trim(s.substr(0, open)));
    if (code >= 0) t.code = int16_t(code);
    long v;
    if (open != std::string_view::npos) {
        size_t close = s.find(')', open);
        std::string_view len = s.substr(open + 1, close == std::string_view::npos ? std::string_view::npos
                                                                                 : close - open - 1);
        if (ParseInt(len, 1, 1000000, &v)) t.length = int32_t(v);
    }
    return t;
}

MapSpec ParseMapSpec(std::string_view text) {
    size_t eq = text.find('=');
    if (eq == std::string_view::npos)
        throw UsageError("--map '" + std::string(text) + "': expected DEST[:TYPE(LENGTH)]=OPERANDS");
    MapSpec m;
    std::string_view dest = Trim(text.substr(0, eq));
    m.operands = std::string(text.substr(eq + 1));
    size_t colon = dest.rfind(':');
    if (colon != std::string_view::npos) {
        m.type = ParseType(dest.substr(colon + 1), DEFAULT_LENGTH);
        m.typeGiven = true;
        dest = Trim(dest.substr(0, colon));
    }
    if (dest.empty()) throw UsageError("--map '" + std::string(text) + "': the destination column has no name");
    m.dest = std::string(dest);
    return m;
}

SourceTypeSpec ParseSourceTypeSpec(std::string_view text) {
    size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || Trim(text.substr(0, colon)).empty())
        throw UsageError("--source-type '" + std::string(text) + "': expected COLUMN:TYPE(LENGTH)");
    return SourceTypeSpec{std::string(Trim(text.substr(0, colon))), ParseType(text.substr(colon + 1), DEFAULT_LENGTH)};
}

/* The plain value of the first top-level pair whose keyword is longName or shortName
** (ignoring case and blanks), or "" when there is none. */
static std::string_view TopLevelValue(std::string_view operands, const char* longName, const char* shortName) {
    size_t start = 0;
    int depth = 0;
    for (size_t i = 0; i <= operands.size(); ++i) {
        char c = i < operands.size() ? operands[i] : ',';
        if (c == '(') ++depth;
        if (c == ')' && depth > 0) --depth;
        if (c != ',' || depth > 0) continue;
        std::string_view pair = operands.substr(start, i - start);
        start = i + 1;
        size_t eq = pair.find('=');
        if (eq == std::string_view::npos) continue;
        std::string key;
        for (char k : pair.substr(0, eq))
            if (k != ' ') key += k;
        if (!NamesEqual(key, longName) && !NamesEqual(key, shortName)) continue;
        std::string_view v = Trim(pair.substr(eq + 1));
        while (!v.empty() && v.front() == '(' && v.back() == ')') v = Trim(v.substr(1, v.size() - 2));
        return v;
    }
    return std::string_view();
}

std::string SourceOperand(std::string_view operands) {
    std::string_view v = TopLevelValue(operands, "source", "src");
    if (!v.empty() && v.front() == '"') v = v.size() >= 2 ? v.substr(1, v.size() - 2) : std::string_view();
    return std::string(v);
}

std::string SwitchOperand(std::string_view operands) { return std::string(TopLevelValue(operands, "switch", "swt")); }

std::string SwitchColumnOperand(std::string_view operands) {
    std::string v = SwitchOperand(operands);
    return v.empty() || v.front() == '"' ? std::string() : v;
}

} // namespace ztnid
