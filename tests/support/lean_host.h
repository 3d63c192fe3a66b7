/* lean_host.h - a minimal host for property tests and benchmarks (a row allocates nothing),
** and the countries with their formats and valid numbers (drawn through the exit). */
#ifndef ZT0NID_TESTS_LEAN_HOST_H
#define ZT0NID_TESTS_LEAN_HOST_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "exit/host_records.h"

namespace leanhost {

#pragma pack(push, 1)
struct ColList2 {
    int16_t NumCols;
    COLDESC Col[2];
};
#pragma pack(pop)

/* Source and destination (names kept alive by the caller); a switch column "CTRY" too. */
struct Columns {
    int32_t srcLength = 20;
    int16_t destType = 1;
    int32_t destLength = 20;
    bool srcNullable = false, destNullable = false, withSwitchColumn = false;
    const char16_t* srcName = u"NID";
    const char16_t* destName = u"NID";
};

class LeanHost {
public:
    using Columns = leanhost::Columns;
    explicit LeanHost(std::u16string operands, const Columns& c = Columns{})
        : operands_(std::move(operands)) {
        std::memset(&ip_, 0, sizeof ip_);
        ip_.pGetColValue = &Get;
        ip_.pPutColValue = &Put;
        ip_.pWorkArea = work_;
        ip_.NumParms = 1;
        ip_.pParm[0] = operands_.data();
        src_.NumCols = c.withSwitchColumn ? 2 : 1;
        src_.Col[0] = Col(c.srcName, 1, 1, c.srcLength, c.srcNullable);
        src_.Col[1] = Col(u"CTRY", 2, 1, 3, false);
        dst_.NumCols = 1;
        dst_.Col[0] = Col(c.destName, 1, c.destType, c.destLength, c.destNullable);
    }
    ~LeanHost() {
        if (active_ == this) active_ = nullptr;
    }
    LeanHost(const LeanHost&) = delete;

    /* The values served in turn, row after row (a NULL source for setNull). */
    void setValues(const std::vector<std::u16string>& values) {
        values_ = values;
        null_ = false;
        next_ = 0;
    }
    void setValue(const std::u16string& value) { setValues({value}); }
    void setNull() {
        setValue(u"");
        null_ = true;
    }
    /* The switch column's value for every row (at most 3 characters). */
    void setSwitch(const char16_t* ctry) {
        std::memset(ctry_, 0, sizeof ctry_);
        for (int i = 0; i < 3 && ctry[i]; ++i) ctry_[i] = ctry[i];
    }
    /* false: PutColValue only measures the value, as the least a host does (benchmarks). */
    void keepPuts(bool keep) { keepPuts_ = keep; }

    int16_t row() { return call(1); }
    int16_t end() { return call(CALLTYPE_END); }

    /* What the last row put (empty for NULL). */
    std::u16string putString() const { return std::u16string(put_, putLength_); }
    WORKAREA& workArea() { return *reinterpret_cast<WORKAREA*>(work_); }

private:
    static COLDESC Col(const char16_t* name, uint16_t id, int16_t type, int32_t length, bool null) {
        return {const_cast<char16_t*>(name), id, type, length, 0, 0, null, 0, 0};
    }
    int16_t call(uint32_t type) {
        active_ = this;
        ip_.CallType = type;
        return KLOColMapWExit(&ip_, reinterpret_cast<COLLIST*>(&src_),
                              reinterpret_cast<COLLIST*>(&dst_));
    }

    /* GetColValue: the NID value of the row (cycling), or the switch column. */
    static int16_t Get(uint16_t colId, uint16_t, uint16_t, uint16_t, void* buffer, int32_t bytes,
                       int16_t* nullInd) {
        LeanHost* h = active_;
        if (!h || h->values_.empty() || bytes < 2) return 1;
        bool nid = colId != 2;
        const std::u16string& v = h->values_[h->next_];
        if (nid && ++h->next_ == h->values_.size()) h->next_ = 0;
        size_t len = nid ? v.size() : std::char_traits<char16_t>::length(h->ctry_);
        len = std::min(len, size_t(bytes) / 2 - 1);
        std::memcpy(buffer, nid ? v.data() : h->ctry_, len * 2);
        static_cast<char16_t*>(buffer)[len] = 0;
        *nullInd = nid && h->null_ ? NULLIND_NULL : NULLIND_VALUE;
        return 0;
    }

    /* PutColValue: keeps the value (at most 4095 characters), or only measures it. */
    static int16_t Put(uint16_t, uint16_t, uint16_t, void* buffer, int32_t, int16_t* nullInd) {
        LeanHost* h = active_;
        if (!h) return 1;
        const char16_t* s = static_cast<const char16_t*>(buffer);
        size_t n = 0;
        if (*nullInd != NULLIND_NULL)
            while (n < VALUE_BUF_CHARS - 1 && s[n]) ++n;
        h->putLength_ = h->keepPuts_ ? n : 0;
        std::memcpy(h->put_, s, h->putLength_ * 2);
        return 0;
    }

    static inline LeanHost* active_ = nullptr;
    std::u16string operands_;
    INPUTPARMS ip_;
    ColList2 src_{}, dst_{};
    alignas(8) uint8_t work_[sizeof(WORKAREA)] = {};
    char16_t ctry_[4] = {0, 0, 0, 0};
    std::vector<std::u16string> values_;
    size_t next_ = 0;
    bool null_ = false, keepPuts_ = true;
    char16_t put_[VALUE_BUF_CHARS] = {};
    size_t putLength_ = 0;
};

struct Country {
    const char16_t* code;    /* as in a quoted switch: "FR */
    const char16_t* keyword; /* inside the format list */
    uint16_t bit;
    int32_t minLength;       /* shortest destination the country accepts */
};

inline const std::vector<Country>& Countries() {
    static const std::vector<Country> k = {
        {u"FR", u"FR", COUNTRY_FR, 15}, {u"UK", u"UK", COUNTRY_UK, 8},
        {u"ES", u"ES", COUNTRY_ES, 8},  {u"IT", u"IT", COUNTRY_IT, 16}};
    return k;
}

inline std::string Name(const Country& c) { return {char(c.code[0]), char(c.code[1])}; }

/* Every format value a country accepts (the column map's side of its table). */
inline std::vector<std::u16string> CountryFormats(const Country& c) {
    std::vector<std::u16string> out;
    if (c.bit == COUNTRY_FR) {
        /* Each plain NIR form also exists with "-" or " " before the two-character key. */
        static const char16_t* const kPlain[] = {
            u"5X2C8X",     u"1X9C5X",   u"3X7C5X",    u"1X2C2X5C5X", u"1X6C8X",    u"1X4C10X",
            u"5X5C5X",     u"3X4C8X",   u"3X2C10X",   u"1X2C2X2C8X", u"1X2C12X",   u"15X",
            u"1C2X7C5X",   u"1C4X5C5X", u"1C2X4C8X",  u"1C2X2C10X",  u"1C4X2C8X",  u"1C14X",
            u"3C2X5C5X",   u"3C2X2C8X", u"3C12X",     u"7C8X",       u"5C10X"};
        for (std::u16string s : kPlain) { /* the last run "nX": n - 2 positions, then the key */
            std::u16string head = s.substr(0, s.find_last_not_of(u"0123456789", s.size() - 2) + 1);
            std::string n = std::to_string(std::stoi(std::string(s.begin() + long(head.size()),
                                                                 s.end() - 1)) - 2);
            head.append(n.begin(), n.end());
            out.insert(out.end(), {s, head + u"X-2X", head + u"X 2X"});
        }
    } else if (c.bit == COUNTRY_IT) {
        out = {u"16X", u"6C10X", u"6X5C5X", u"11X4C1X", u"6X9C1X", u"6C5X4C1X", u"11C5X",
               u"3X 3X 5X 5X", u"3C 3C 5X 5X", u"3X 3X 5C 5X", u"3X 3X 5X 4C1X", u"3X 3X 5C 4C1X",
               u"3C 3C 5X 4C1X", u"3C 3C 5C 5X", u"3X-3X-5X-5X", u"3C-3C-5X-5X", u"3X-3X-5C-5X",
               u"3X-3X-5X-4C1X", u"3X-3X-5C-4C1X", u"3C-3C-5X-4C1X", u"3C-3C-5C-5X"};
    } else if (c.bit == COUNTRY_ES) {
        out = {u"8X", u"7X-1X", u"7X 1X"};
    } else if (c.bit == COUNTRY_UK) {
        out = {u"8X1C", u"2C6X1C", u"2C-6X-1C", u"2X-6X-1C", u"2C.6X.1C", u"2X.6X.1C",
               u"2C 6X 1C", u"2X 6X 1C", u"2C-2X-2X-2X-1C", u"2X-2X-2X-2X-1C", u"2C.2X.2X.2X.1C",
               u"2X.2X.2X.2X.1C", u"2C 2X 2X 2X 1C", u"2X 2X 2X 2X 1C"};
    }
    return out;
}

/* Operand string for a country: quoted switch, method, optional format and extras. */
inline std::u16string Operands(const Country& c, const char16_t* method,
                               const std::u16string& format = u"", const char16_t* extra = u"") {
    std::u16string s = u"switch=\"" + std::u16string(c.code) + u",method=" + method;
    if (!format.empty()) s += u",format=(" + std::u16string(c.keyword) + u"=" + format + u")";
    if (*extra) s += u"," + std::u16string(extra);
    return s;
}

/* n valid numbers drawn with method=random (in the format's layout), fewer if rows are not
** written; none when the country does not initialise. */
inline std::vector<std::u16string> DrawValid(const Country& c, size_t n,
                                             const std::u16string& format = u"",
                                             int32_t destLength = 20) {
    std::vector<std::u16string> out;
    LeanHost h(Operands(c, u"random", format), {20, 1, destLength});
    h.setValue(u"");
    for (size_t i = 0; i < n; ++i) {
        if (h.row() == EXIT_DONE) out.push_back(h.putString());
        else if (!(h.workArea().CountriesInit & c.bit)) break;
    }
    h.end();
    return out;
}

/* True when the country initialises (and draws a number) for a plain string column. */
inline bool CountryAvailable(const Country& c) { return !DrawValid(c, 1).empty(); }

} // namespace leanhost

#endif
