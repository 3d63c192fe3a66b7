/*
** lean_host.h - a minimal in-process host for property tests and benchmarks.
**
** A LeanHost owns the packed records of one destination column ("NID") with up to two
** source columns ("NID" and the switch column "CTRY") and a work area.  Its callbacks
** copy prepared values and record what is put in fixed buffers, so a row call costs
** the exit's own work plus a copy, and allocates nothing on the host's side either.
**
** The countries, their format values and a way to obtain valid numbers of any country
** without knowing its rules (draw them through the exit with method=random) are here
** too, so that every property or benchmark covers each country that initialises.
*/
#ifndef ZT0NID_TESTS_LEAN_HOST_H
#define ZT0NID_TESTS_LEAN_HOST_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "exit/host_records.h"

namespace leanhost {

#pragma pack(push, 1)
/* A column list with room for two descriptors. */
struct ColList2 {
    int16_t NumCols;
    COLDESC Col[2];
};
#pragma pack(pop)

/* What the host passes to its callbacks: one row's values. */
struct Row {
    const char16_t* value = u"";  /* source column NID */
    size_t length = 0;
    bool isNull = false;
    const char16_t* ctry = u"";   /* switch column CTRY */
};

class LeanHost;
inline LeanHost*& Active() {
    static LeanHost* active = nullptr;
    return active;
}

class LeanHost {
public:
    /* Column settings: the source (host type srcType, srcLength characters) and the
    ** destination (destType, destLength) are both named "NID" unless names are given (the
    ** caller keeps them alive); "CTRY" follows the source when withSwitchColumn is set. */
    struct Columns {
        int16_t srcType = 1;
        int32_t srcLength = 20;
        int16_t destType = 1;
        int32_t destLength = 20;
        bool srcNullable = false;
        bool destNullable = false;
        bool withSwitchColumn = false;
        const char16_t* srcName = nullptr;
        const char16_t* destName = nullptr;
    };

    explicit LeanHost(std::u16string operands) : LeanHost(std::move(operands), Columns{}) {}
    LeanHost(std::u16string operands, const Columns& cols) : operands_(std::move(operands)) {
        std::memset(&ip_, 0, sizeof ip_);
        std::memset(&src_, 0, sizeof src_);
        std::memset(&dst_, 0, sizeof dst_);
        std::memset(work_, 0, sizeof work_);
        ip_.CallType = 1;
        ip_.pGetColValue = &Get;
        ip_.pPutColValue = &Put;
        ip_.pWorkArea = work_;
        ip_.NumParms = 1;
        ip_.pParm[0] = operands_.data();
        src_.NumCols = cols.withSwitchColumn ? 2 : 1;
        Describe(src_.Col[0], cols.srcName ? cols.srcName : nidName_, 1, cols.srcType, cols.srcLength,
                 cols.srcNullable);
        Describe(src_.Col[1], ctryName_, 2, 1, 3, false);
        dst_.NumCols = 1;
        Describe(dst_.Col[0], cols.destName ? cols.destName : nidName_, 1, cols.destType, cols.destLength,
                 cols.destNullable);
    }
    ~LeanHost() {
        if (Active() == this) Active() = nullptr;
    }
    LeanHost(const LeanHost&) = delete;
    LeanHost& operator=(const LeanHost&) = delete;

    /* The values served in turn, row after row (copied here, not on the row path). */
    void setValues(const std::vector<std::u16string>& values) {
        values_ = values;
        rows_.assign(values_.size(), Row{});
        for (size_t i = 0; i < values_.size(); ++i) rows_[i] = Row{values_[i].c_str(), values_[i].size(), false, ctry_};
        next_ = 0;
    }
    void setValue(const std::u16string& value) { setValues({value}); }
    /* The switch column's value for every row (at most 3 characters). */
    void setSwitch(const char16_t* ctry) {
        std::memset(ctry_, 0, sizeof ctry_);
        for (int i = 0; i < 3 && ctry[i]; ++i) ctry_[i] = ctry[i];
    }
    void setNull() {
        rows_.assign(1, Row{u"", 0, true, ctry_});
        next_ = 0;
    }
    /* false: PutColValue only measures the value (as the least a host does), without
    ** keeping it; putValue() then holds nothing.  For benchmarks. */
    void keepPuts(bool keep) { keepPuts_ = keep; }
    /* What GetColValue (for the NID column) and PutColValue return; 0 = success. */
    void setGetResult(int16_t rc) { getResult_ = rc; }
    void setPutResult(int16_t rc) { putResult_ = rc; }

    /* One row call; CallType 1. */
    int16_t row() {
        Active() = this;
        ip_.CallType = 1;
        puts_ = 0;
        return KLOColMapWExit(&ip_, src(), dst());
    }
    /* The end call; the work area then holds no state of the exit. */
    int16_t end() {
        Active() = this;
        ip_.CallType = CALLTYPE_END;
        return KLOColMapWExit(&ip_, src(), dst());
    }

    /* What the last row put: the value (NULL when it put NULL) and how often it put. */
    const char16_t* putValue() const { return putNull_ ? nullptr : put_; }
    std::u16string putString() const { return putNull_ || !keepPuts_ ? std::u16string() : std::u16string(put_, putLength_); }
    size_t putLength() const { return putLength_; }
    int puts() const { return puts_; }
    uint64_t putChars() const { return putChars_; }

    WORKAREA& workArea() { return *reinterpret_cast<WORKAREA*>(work_); }
    /* MsgText up to its terminator (at most 50 characters). */
    std::u16string msgText() {
        const char16_t* m = workArea().MsgText;
        size_t n = 0;
        while (n < 50 && m[n]) ++n;
        return std::u16string(m, n);
    }
    uint8_t* workBytes() { return work_; }
    static constexpr size_t kWorkBytes = 256; /* the work area and a guard after it */

    COLLIST* src() { return reinterpret_cast<COLLIST*>(&src_); }
    COLLIST* dst() { return reinterpret_cast<COLLIST*>(&dst_); }
    INPUTPARMS& inputParms() { return ip_; }

private:
    static void Describe(COLDESC& d, const char16_t* name, uint16_t id, int16_t type, int32_t length, bool nullable) {
        d.pColName = const_cast<char16_t*>(name);
        d.ColId = id;
        d.DataType = type;
        d.Length = length;
        d.Nullable = nullable ? 1 : 0;
    }

    /* GetColValue: the NID value of the row (cycling), or the switch column. */
    static int16_t Get(uint16_t colId, uint16_t, uint16_t, uint16_t, void* buffer, int32_t bytes, int16_t* nullInd) {
        LeanHost* h = Active();
        if (!h || h->rows_.empty()) return 1;
        if (colId != 2 && h->getResult_ != 0) return h->getResult_;
        const Row& r = h->rows_[h->next_];
        const char16_t* s = colId == 2 ? r.ctry : r.value;
        size_t len = colId == 2 ? std::char_traits<char16_t>::length(r.ctry) : r.length;
        if (colId != 2 && ++h->next_ == h->rows_.size()) h->next_ = 0;
        if (bytes < 2) return 1;
        size_t room = size_t(bytes) / 2 - 1;
        if (len > room) len = room;
        std::memcpy(buffer, s, len * 2);
        static_cast<char16_t*>(buffer)[len] = 0;
        *nullInd = (colId != 2 && r.isNull) ? NULLIND_NULL : NULLIND_VALUE;
        return 0;
    }

    /* PutColValue: keeps the value (at most 4095 characters) and counts the call. */
    static int16_t Put(uint16_t, uint16_t, uint16_t, void* buffer, int32_t, int16_t* nullInd) {
        LeanHost* h = Active();
        if (!h) return 1;
        ++h->puts_;
        h->putNull_ = *nullInd == NULLIND_NULL;
        const char16_t* s = static_cast<const char16_t*>(buffer);
        size_t n = 0;
        if (!h->putNull_)
            while (n < VALUE_BUF_CHARS - 1 && s[n]) ++n;
        h->putChars_ += n;
        h->putLength_ = n;
        if (!h->keepPuts_) return h->putResult_;
        std::memcpy(h->put_, s, n * 2);
        h->put_[n] = 0;
        return h->putResult_;
    }

    std::u16string operands_;
    INPUTPARMS ip_;
    ColList2 src_, dst_;
    alignas(8) uint8_t work_[kWorkBytes];
    char16_t nidName_[4] = u"NID";
    char16_t ctryName_[5] = u"CTRY";
    char16_t ctry_[4] = {0, 0, 0, 0};
    std::vector<std::u16string> values_;
    std::vector<Row> rows_;
    size_t next_ = 0;
    int16_t getResult_ = 0, putResult_ = 0;
    bool keepPuts_ = true;
    char16_t put_[VALUE_BUF_CHARS] = {};
    size_t putLength_ = 0;
    bool putNull_ = false;
    int puts_ = 0;
    uint64_t putChars_ = 0;
};

/* ------------------------------------------------------------------ countries */

struct Country {
    const char16_t* code;         /* as in a quoted switch: "FR */
    const char16_t* keyword;      /* inside the format list */
    uint16_t bit;
    int32_t minLength;            /* shortest destination the country accepts */
};

inline const std::vector<Country>& Countries() {
    static const std::vector<Country> k = {
        {u"FR", u"FR", COUNTRY_FR, 15}, {u"UK", u"UK", COUNTRY_UK, 8},
        {u"ES", u"ES", COUNTRY_ES, 8},  {u"IT", u"IT", COUNTRY_IT, 16}};
    return k;
}

/* The country code as a narrow string, for messages. */
inline std::string Name(const Country& c) { return std::string{char(c.code[0]), char(c.code[1])}; }

/* Every format value a country accepts (the column map's side of its table). */
inline std::vector<std::u16string> CountryFormats(const Country& c) {
    std::vector<std::u16string> out;
    if (c.bit == COUNTRY_FR) {
        /* Each plain NIR form also exists with "-" or " " before the two-character key. */
        static const char16_t* const kPlain[] = {
            u"5X2C8X", u"1X9C5X", u"3X7C5X", u"1X2C2X5C5X", u"1X6C8X", u"1X4C10X", u"5X5C5X", u"3X4C8X",
            u"3X2C10X", u"1X2C2X2C8X", u"1X2C12X", u"15X", u"1C2X7C5X", u"1C4X5C5X", u"1C2X4C8X", u"1C2X2C10X",
            u"1C4X2C8X", u"1C14X", u"3C2X5C5X", u"3C2X2C8X", u"3C12X", u"7C8X", u"5C10X"};
        for (const char16_t* p : kPlain) {
            std::u16string s = p;
            size_t start = s.size() - 1; /* the last run "nX": n - 2 positions, then the key */
            while (start > 0 && s[start - 1] >= u'0' && s[start - 1] <= u'9') --start;
            int n = std::stoi(std::string(s.begin() + long(start), s.end() - 1));
            std::u16string head = s.substr(0, start);
            for (char16_t digit : std::to_string(n - 2)) head += digit;
            out.push_back(s);
            out.push_back(head + u"X-2X");
            out.push_back(head + u"X 2X");
        }
    } else if (c.bit == COUNTRY_IT) {
        out = {u"16X", u"6C10X", u"6X5C5X", u"11X4C1X", u"6X9C1X", u"6C5X4C1X", u"11C5X",
               u"3X 3X 5X 5X", u"3C 3C 5X 5X", u"3X 3X 5C 5X", u"3X 3X 5X 4C1X", u"3X 3X 5C 4C1X",
               u"3C 3C 5X 4C1X", u"3C 3C 5C 5X", u"3X-3X-5X-5X", u"3C-3C-5X-5X", u"3X-3X-5C-5X",
               u"3X-3X-5X-4C1X", u"3X-3X-5C-4C1X", u"3C-3C-5X-4C1X", u"3C-3C-5C-5X"};
    } else if (c.bit == COUNTRY_ES) {
        out = {u"8X", u"7X-1X", u"7X 1X"};
    } else if (c.bit == COUNTRY_UK) {
        out = {u"8X1C", u"2C6X1C", u"2C-6X-1C", u"2X-6X-1C", u"2C.6X.1C", u"2X.6X.1C", u"2C 6X 1C",
               u"2X 6X 1C", u"2C-2X-2X-2X-1C", u"2X-2X-2X-2X-1C", u"2C.2X.2X.2X.1C", u"2X.2X.2X.2X.1C",
               u"2C 2X 2X 2X 1C", u"2X 2X 2X 2X 1C"};
    }
    return out;
}

/* Operand string for a country: quoted switch, method, optional format and extras. */
inline std::u16string Operands(const Country& c, const char16_t* method, const std::u16string& format = u"",
                               const char16_t* extra = u"") {
    std::u16string s = u"switch=\"" + std::u16string(c.code) + u",method=" + method;
    if (!format.empty()) s += u",format=(" + std::u16string(c.keyword) + u"=" + format + u")";
    if (*extra) s += u"," + std::u16string(extra);
    return s;
}

/* True when the country initialises for a plain string column of destLength characters. */
inline bool CountryAvailable(const Country& c, int32_t destLength = 20) {
    LeanHost::Columns cols;
    cols.destLength = destLength;
    LeanHost h(Operands(c, u"random"), cols);
    h.setValue(u"");
    h.row();
    bool ok = (h.workArea().CountriesInit & c.bit) != 0;
    h.end();
    return ok;
}

/* n valid numbers of the country, drawn through the exit with method=random (and the
** format, when given, deciding their layout); empty when the country does not
** initialise.  Rows the exit does not write are left out. */
inline std::vector<std::u16string> DrawValid(const Country& c, size_t n, const std::u16string& format = u"",
                                             int32_t destLength = 20) {
    std::vector<std::u16string> out;
    LeanHost::Columns cols;
    cols.destLength = destLength;
    LeanHost h(Operands(c, u"random", format), cols);
    h.setValue(u"");
    for (size_t i = 0; i < n; ++i) {
        if (h.row() != EXIT_DONE) {
            if (!(h.workArea().CountriesInit & c.bit)) break;
            continue;
        }
        out.push_back(h.putString());
    }
    h.end();
    return out;
}

} // namespace leanhost

#endif
