/*
** scan.cpp - finds the columns that hold national identification numbers.
**
** One pass over the rows.  Per column and country a column map with the operands
** switch="XX,validate=y is called for the values whose shape leaves that country
** possible; what it masks is valid, and a skipped row is put down to the work-area
** counter that moved.  Per row, for every pair of a column and a column holding country
** codes, the scan counts how often the code names a country whose number the column
** holds: the best such column is the switch of a column with several countries.
*/
#include "host/ztnid/scan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/emul/host_emul.h"
#include "host/ztnid/text.h"

namespace ztnid {

const char* const kScanCountries[SCAN_COUNTRIES] = {"FR", "IT", "ES", "UK"};
const char* const kReasonNames[REASON_COUNT] = {
    "invalid length",     "invalid part",      "invalid data",       "null input", "conversion errors",
    "invalid separators", "skipped uncounted", "not shaped like one", "no country",
};

namespace {

enum { FR, IT, ES, UK };
const char* const kKinds[SCAN_COUNTRIES] = {"French NIR", "Italian codice fiscale", "Spanish NIF/NIE",
                                            "UK National Insurance numbers"};
enum { MAX_CODE_COLUMNS = 32, GET_CANNOT_CONVERT = 9 };

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLetter(char c) { return IsUpper(char(c & ~0x20)); }
bool IsAlnum(char c) { return IsDigit(c) || IsLetter(c); }

/* The countries whose numbers could have the shape of s (length, first and last
** characters): a cheap sieve, looser than any country's rules, so that the exit is
** asked only about values it might mask. */
unsigned PossibleCountries(std::string_view s) {
    size_t n = s.size();
    if (n < 8 || n > 19) return 0;
    char first = s[0], last = s[n - 1];
    unsigned m = 0;
    if ((n == 15 || n == 16) && IsDigit(first) && IsDigit(last)) m |= 1u << FR;
    if ((n == 16 || n == 19) && IsLetter(first) && IsLetter(last)) m |= 1u << IT;
    if ((n == 8 || n == 9 || n == 11) && (IsDigit(first) || first == 'X') && IsLetter(last)) m |= 1u << ES;
    if ((n == 8 || n == 9 || n == 11 || n == 13) && IsUpper(first) && IsUpper(s[1])) m |= 1u << UK;
    return m;
}

/* The country a switch column value names, as the README says the exit reads it: at
** most three characters, the first two compared with FR, UK, ES and IT ignoring case;
** -1 for none. */
int CountryOfCode(std::string_view s) {
    if (s.size() < 2 || s.size() > 12) return -1; /* three characters take at most 12 bytes */
    char a = char(s[0] & ~0x20), b = char(s[1] & ~0x20);
    for (int k = 0; k < SCAN_COUNTRIES; ++k)
        if (a == kScanCountries[k][0] && b == kScanCountries[k][1]) return s.size() <= 3 || Utf16Length(s) <= 3 ? k : -1;
    return -1;
}

/* Two or three ASCII letters, the shape of a country code. */
bool IsCodeShaped(std::string_view s) {
    if (s.size() < 2 || s.size() > 3) return false;
    for (char c : s)
        if (!IsLetter(c)) return false;
    return true;
}

bool IsBlank(std::string_view s) {
    for (char c : s)
        if (c != ' ') return false;
    return true;
}

/* The layout of a value: "compact" without separators, else the lengths of its groups
** with the separators between them ("13-2", "3 3 5 5"). */
std::string LayoutOf(std::string_view s) {
    std::string out;
    size_t run = 0;
    bool separated = false;
    for (char c : s) {
        if (IsAlnum(c)) {
            ++run;
            continue;
        }
        out += std::to_string(run) + c;
        run = 0;
        separated = true;
    }
    return separated ? out + std::to_string(run) : "compact";
}

/* The first separator of a layout, or 0 when it is compact. */
char SeparatorOf(const std::string& layout) {
    for (char c : layout)
        if (!IsDigit(c) && layout != "compact") return c;
    return 0;
}

/* The format value that writes every number in the one layout seen, masking the parts
** the exit masks by default; "" when the default serves as well (the exit keeps the
** layout of each value when no format is given). */
std::string FormatKeeping(int country, const std::string& layout, int32_t length) {
    char sep = SeparatorOf(layout);
    std::string s(1, sep);
    switch (country) {
    case FR: return sep ? "5X2C6X" + s + "2X" : "5X2C8X";
    case IT: return sep ? "3C" + s + "3C" + s + "5X" + s + "5X" : "6C10X";
    case ES: return sep ? "7X" + s + "1X" : "8X";
    default:
        if (!sep) return "2C6X1C";
        if (std::count(layout.begin(), layout.end(), sep) <= 2) return "2C" + s + "6X" + s + "1C";
        /* Five groups are written only into 13 characters or more. */
        return length >= 13 ? "2C" + s + "2X" + s + "2X" + s + "2X" + s + "1C" : "";
    }
}

/* What the value of a row looked like, for the statistics of the pairs. */
struct CellState {
    bool nonEmpty = false;
    int code = -1;                /* country named, as a switch value */
    unsigned valid = 0;           /* countries whose number it is */
    int8_t reason[SCAN_COUNTRIES] = {}; /* why not, per country */
};

/* Counts of a column against one column of country codes. */
struct PairCounts {
    long valid[SCAN_COUNTRIES] = {};
    long invalid[REASON_COUNT] = {};
    long total() const { return valid[0] + valid[1] + valid[2] + valid[3]; }
};

/* The host side of the scan: GetColValue reads the current row of the source. */
class ScanHost : public hostemu::RowHost {
public:
    explicit ScanHost(Source* src) : src_(src) {}
    int16_t get(size_t column, uint16_t valueType, uint16_t, void* buffer, int32_t bufferLength,
                int16_t* nullInd) override {
        bool null = src_->isNull(column);
        if (nullInd) *nullInd = null ? NULLIND_NULL : NULLIND_VALUE;
        if (null) return 0;
        if (valueType != VT_WSTRING || !buffer || bufferLength <= 0) return GET_CANNOT_CONVERT;
        return src_->text16(column, static_cast<char16_t*>(buffer), size_t(bufferLength) / 2) == SIZE_MAX
                   ? GET_CANNOT_CONVERT
                   : 0;
    }
    int16_t put(const char16_t*, int32_t) override { return 0; }

private:
    Source* src_;
};

/* One column and one country: the exit's column map and its counters so far. */
struct Probe {
    std::unique_ptr<hostemu::ColumnMap> map;
    long counters[COUNTER_COUNT] = {};
};

class Scanner {
public:
    Scanner(Source& src, const ScanOptions& opt, ScanReport& r) : src_(src), opt_(opt), r_(r), host_(&src) {}
    void prepare();
    void readRows();
    void conclude();

private:
    void scanCell(size_t c);
    int8_t ask(size_t c, int country);
    void countPairs();
    void suggest(size_t c);

    Source& src_;
    const ScanOptions& opt_;
    ScanReport& r_;
    ScanHost host_;
    PFN_KLOCOLMAPWEXIT exit_ = nullptr;
    std::vector<hostemu::Column> hostCols_;
    std::vector<Probe> probes_;           /* column * SCAN_COUNTRIES + country */
    std::vector<CellState> row_;
    std::vector<int> codeSlot_;           /* per column: its slot among the code columns, or -1 */
    std::vector<size_t> codeColumns_;
    std::vector<PairCounts> pairs_;       /* column * MAX_CODE_COLUMNS + slot */
    std::string scratch_;
};

void Scanner::prepare() {
    std::string why;
    exit_ = hostemu::LoadExit(opt_.exitPath, &why);
    if (!exit_) throw RunError("cannot load the exit " + opt_.exitPath + ": " + why);
    const std::vector<SourceColumn>& cols = src_.columns();
    RefuseTooManyColumns(cols.size(), 1);
    for (const SourceColumn& c : cols) {
        hostCols_.push_back(HostColumn(c.name, c.type, c.nullable));
        ColumnScan s;
        s.name = c.name;
        s.type = TypeText(c.type);
        r_.columns.push_back(s);
    }
    probes_.resize(cols.size() * SCAN_COUNTRIES);
    row_.resize(cols.size());
    codeSlot_.assign(cols.size(), -1);
    pairs_.resize(cols.size() * MAX_CODE_COLUMNS);
    r_.source = opt_.sourceName;
    r_.rowLimit = opt_.rowLimit;
}

/* Asks the exit whether the current value of column c is a number of the country:
** -1 when it masks it, else the reason it gave. */
int8_t Scanner::ask(size_t c, int country) {
    Probe& p = probes_[c * SCAN_COUNTRIES + size_t(country)];
    if (!p.map) {
        std::u16string ops = u"switch=\"";
        ops += char16_t(kScanCountries[country][0]);
        ops += char16_t(kScanCountries[country][1]);
        ops += u",validate=y";
        hostemu::Column dest = hostCols_[c];
        dest.colId = 0;
        p.map = std::make_unique<hostemu::ColumnMap>(exit_, ops, hostCols_, std::vector<hostemu::Column>{dest});
        p.map->setHost(&host_);
    }
    int16_t rc = p.map->rowFast(nullptr, nullptr);
    if (rc == EXIT_DONE) return -1;
    if (rc != EXIT_SKIPPED)
        throw RunError("column " + r_.columns[c].name + ", " + src_.where() + ": the exit failed: " +
                       MsgTextOf(p.map->workArea()));
    long now[COUNTER_COUNT];
    CountersOf(p.map->workArea(), now);
    int8_t reason = REASON_NO_COUNTER;
    for (int i = 0; i < COUNTER_COUNT; ++i) {
        if (now[i] != p.counters[i] && reason == REASON_NO_COUNTER) reason = int8_t(i);
        p.counters[i] = now[i];
    }
    return reason;
}

void Scanner::scanCell(size_t c) {
    ColumnScan& s = r_.columns[c];
    CellState& cell = row_[c];
    cell = CellState{};
    if (src_.isNull(c)) {
        ++s.nulls;
        return;
    }
    std::string_view v = src_.text(c);
    if (IsBlank(v)) {
        ++s.blanks;
        return;
    }
    cell.nonEmpty = true;
    ++s.nonEmpty;
    cell.code = CountryOfCode(v);
    if (cell.code >= 0) ++s.countryCodes;
    if (IsCodeShaped(v)) ++s.codeShaped;
    if (cell.code >= 0 && codeSlot_[c] < 0 && codeColumns_.size() < MAX_CODE_COLUMNS) {
        codeSlot_[c] = int(codeColumns_.size());
        codeColumns_.push_back(c);
    }
    unsigned possible = PossibleCountries(v);
    if (possible) {
        /* Reading the value as 16-bit text for the exit may move an SQLite value's UTF-8. */
        scratch_.assign(v);
        v = scratch_;
    }
    for (int k = 0; k < SCAN_COUNTRIES; ++k) {
        cell.reason[k] = REASON_SHAPE;
        if (!(possible & (1u << k))) continue;
        CountryScan& cs = s.countries[k];
        ++cs.tried;
        cell.reason[k] = ask(c, k);
        if (cell.reason[k] >= 0) {
            ++cs.refused[cell.reason[k]];
            continue;
        }
        cell.valid |= 1u << k;
        ++cs.valid;
        std::string layout = LayoutOf(v);
        auto it = std::find_if(cs.layouts.begin(), cs.layouts.end(),
                               [&](const LayoutCount& l) { return l.layout == layout; });
        if (it == cs.layouts.end()) cs.layouts.push_back(LayoutCount{layout, 1});
        else ++it->count;
        if (cs.example.empty()) cs.example = Redact(v);
    }
}

/* Every column against every column that has held a country code so far. */
void Scanner::countPairs() {
    for (size_t c = 0; c < row_.size(); ++c) {
        const CellState& cell = row_[c];
        if (!cell.nonEmpty) continue;
        for (size_t slot = 0; slot < codeColumns_.size(); ++slot) {
            size_t k = codeColumns_[slot];
            if (k == c) continue;
            PairCounts& p = pairs_[c * MAX_CODE_COLUMNS + slot];
            int country = row_[k].code;
            if (country < 0) ++p.invalid[REASON_NO_COUNTRY];
            else if (cell.valid & (1u << country)) ++p.valid[country];
            else ++p.invalid[cell.reason[country]];
        }
    }
}

void Scanner::readRows() {
    while (r_.rowLimit < 0 || r_.rows < r_.rowLimit) {
        if (!src_.next()) {
            r_.complete = true;
            return;
        }
        ++r_.rows;
        for (size_t c = 0; c < row_.size(); ++c) scanCell(c);
        if (!codeColumns_.empty()) countPairs();
    }
}

/* Lower bound of the 95 % Wilson interval of k successes in n. */
double WilsonLower(long k, long n) {
    if (n <= 0) return 0;
    const double z = 1.959964, p = double(k) / double(n), nn = double(n);
    double centre = p + z * z / (2 * nn);
    double spread = z * std::sqrt(p * (1 - p) / nn + z * z / (4 * nn * nn));
    return std::max(0.0, (centre - spread) / (1 + z * z / nn));
}

/* A single-quoted word for a POSIX shell. */
std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

/* The column map of a column found to hold numbers: one country, or the switch column
** that names the countries of more of its values than any one country covers. */
void Scanner::suggest(size_t c) {
    ColumnScan& s = r_.columns[c];
    MapSuggestion& m = s.map;
    int best = 0;
    for (int k = 1; k < SCAN_COUNTRIES; ++k)
        if (s.countries[k].valid > s.countries[best].valid) best = k;
    m.country = best;
    m.valid = s.countries[best].valid;
    for (int i = 0; i < REASON_COUNT; ++i) m.invalid[i] = s.countries[best].refused[i];
    m.invalid[REASON_SHAPE] = s.nonEmpty - s.countries[best].tried;
    for (size_t slot = 0; slot < codeColumns_.size(); ++slot) {
        size_t k = codeColumns_[slot];
        const PairCounts& p = pairs_[c * MAX_CODE_COLUMNS + slot];
        if (k == c || !r_.columns[k].countryColumn || p.total() <= m.valid) continue;
        m.switchColumn = r_.columns[k].name;
        m.country = -1;
        m.valid = p.total();
        std::copy(std::begin(p.invalid), std::end(p.invalid), m.invalid);
        /* Rows before the country column's first code were not paired: they named none. */
        long counted = m.valid;
        for (int i = 0; i < REASON_COUNT; ++i) counted += i == REASON_NO_COUNTRY ? 0 : m.invalid[i];
        m.invalid[REASON_NO_COUNTRY] = s.nonEmpty - counted;
    }
    m.operands = "switch=" + (m.switchColumn.empty() ? "\"" + std::string(kScanCountries[m.country]) : m.switchColumn);
    std::string formats;
    for (int k = 0; k < SCAN_COUNTRIES; ++k) {
        const CountryScan& cs = s.countries[k];
        if (cs.valid == 0 || (m.country >= 0 && k != m.country) || cs.layouts.size() != 1) continue;
        std::string f = FormatKeeping(k, cs.layouts[0].layout, CapacityUnits(src_.columns()[c].type));
        if (!f.empty()) formats += (formats.empty() ? "" : ",") + std::string(kScanCountries[k]) + "=" + f;
    }
    if (!formats.empty()) m.operands += ",format=(" + formats + ")";
    m.line = "--map " + ShellQuote(s.name + "=" + m.operands);
    m.share = s.nonEmpty ? double(m.valid) / double(s.nonEmpty) : 0;
    m.confidence = WilsonLower(m.valid, s.nonEmpty);
}

void Scanner::conclude() {
    for (ColumnScan& s : r_.columns) {
        for (CountryScan& cs : s.countries)
            std::stable_sort(cs.layouts.begin(), cs.layouts.end(),
                             [](const LayoutCount& a, const LayoutCount& b) { return a.count > b.count; });
        double n = double(s.nonEmpty);
        s.countryColumn = s.nonEmpty > 0 && double(s.countryCodes) >= kCodeShare * n &&
                          double(s.codeShaped) >= kCodeShapeShare * n;
    }
    for (size_t c = 0; c < r_.columns.size(); ++c) {
        ColumnScan& s = r_.columns[c];
        long valid = 0;
        for (const CountryScan& cs : s.countries) valid += cs.valid;
        s.detected = !s.countryColumn && valid > 0 && double(valid) >= kDetectShare * double(s.nonEmpty);
        if (s.detected) suggest(c);
    }
}

/* ------------------------------------------------------------------ reports */

std::string Percent(long k, long n) {
    if (n <= 0 || k <= 0) return "-";
    char b[16];
    std::snprintf(b, sizeof b, "%.1f%%", 100.0 * double(k) / double(n));
    return b;
}

std::string Layouts(const CountryScan& cs) {
    std::string out;
    for (const LayoutCount& l : cs.layouts) out += (out.empty() ? "" : ", ") + l.layout + " " + std::to_string(l.count);
    return out;
}

std::string Reasons(const long* counts) {
    std::string out;
    for (int i = 0; i < REASON_COUNT; ++i)
        if (counts[i]) out += (out.empty() ? "" : ", ") + std::string(kReasonNames[i]) + " " + std::to_string(counts[i]);
    return out.empty() ? "none" : out;
}

std::string Padded(const std::string& s, size_t width) {
    size_t n = Utf16Length(s);
    return n >= width ? s + " " : s + std::string(width - n, ' ');
}

double Rounded(double v) { return std::round(v * 10000) / 10000; }

nlohmann::ordered_json ReasonsJson(const long* counts) {
    nlohmann::ordered_json o = nlohmann::ordered_json::object();
    for (int i = 0; i < REASON_COUNT; ++i)
        if (counts[i]) o[kReasonNames[i]] = counts[i];
    return o;
}

} // namespace

int ScanReport::status() const {
    for (const ColumnScan& c : columns)
        if (c.detected) return 0;
    return 1;
}

ScanReport ScanTable(Source& src, const ScanOptions& opt) {
    ScanReport r;
    Scanner s(src, opt, r);
    s.prepare();
    s.readRows();
    s.conclude();
    return r;
}

std::string FormatScanText(const ScanReport& r) {
    std::ostringstream o;
    o << "ztnid scan: " << r.source << ", " << r.rows << " rows "
      << (r.complete ? "(the whole table)" : "(the first " + std::to_string(r.rows) + "; --rows all reads every row)")
      << "\n\n";
    size_t width = 8;
    for (const ColumnScan& c : r.columns) width = std::max(width, Utf16Length(c.name) + 2);
    o << Padded("column", width) << Padded("type", 15) << "  null  blank  codes     FR     IT     ES     UK\n";
    for (const ColumnScan& c : r.columns) {
        long all = c.nulls + c.blanks + c.nonEmpty;
        char line[128];
        std::snprintf(line, sizeof line, "%6s %6s %6s %6s %6s %6s %6s", Percent(c.nulls, all).c_str(),
                      Percent(c.blanks, all).c_str(), Percent(c.countryCodes, c.nonEmpty).c_str(),
                      Percent(c.countries[FR].valid, c.nonEmpty).c_str(), Percent(c.countries[IT].valid, c.nonEmpty).c_str(),
                      Percent(c.countries[ES].valid, c.nonEmpty).c_str(), Percent(c.countries[UK].valid, c.nonEmpty).c_str());
        o << Padded(c.name, width) << Padded(c.type, 15) << line
          << (c.countryColumn ? "  country codes" : c.detected ? "  national numbers" : "") << "\n";
    }
    bool any = false;
    for (const ColumnScan& c : r.columns) {
        if (!c.detected) continue;
        any = true;
        const MapSuggestion& m = c.map;
        o << "\n" << c.name << ": "
          << (m.switchColumn.empty() ? std::string(kKinds[m.country]) + " (" + kScanCountries[m.country] + ")"
                                     : "numbers of several countries, named by column " + m.switchColumn)
          << "\n";
        for (int k = 0; k < SCAN_COUNTRIES; ++k) {
            const CountryScan& cs = c.countries[k];
            if (cs.valid == 0) continue;
            o << "  " << kScanCountries[k] << "  " << cs.valid << " valid (" << Layouts(cs) << "), e.g. " << cs.example
              << "; refused: " << Reasons(cs.refused) << "\n";
        }
        char conf[112];
        std::snprintf(conf, sizeof conf, "valid for the country it names: %ld of %ld values (%s), confidence %.2f",
                      m.valid, c.nonEmpty, Percent(m.valid, c.nonEmpty).c_str(), m.confidence);
        o << "  " << m.line << "\n    " << conf << "; not valid: " << Reasons(m.invalid) << "\n";
    }
    if (!any) o << "\nNo column holds national identification numbers.\n";
    return o.str();
}

std::string FormatScanJson(const ScanReport& r) {
    using Json = nlohmann::ordered_json;
    Json doc;
    doc["source"] = r.source;
    doc["rows"] = r.rows;
    doc["row_limit"] = r.rowLimit < 0 ? Json(nullptr) : Json(r.rowLimit);
    doc["complete"] = r.complete;
    doc["found"] = r.status() == 0;
    Json cols = Json::array();
    for (const ColumnScan& c : r.columns) {
        Json col;
        col["name"] = c.name;
        col["type"] = c.type;
        col["nulls"] = c.nulls;
        col["blanks"] = c.blanks;
        col["non_empty"] = c.nonEmpty;
        col["country_codes"] = c.countryCodes;
        col["country_column"] = c.countryColumn;
        Json countries = Json::object();
        for (int k = 0; k < SCAN_COUNTRIES; ++k) {
            const CountryScan& cs = c.countries[k];
            Json layouts = Json::array();
            for (const LayoutCount& l : cs.layouts) layouts.push_back(Json{{"layout", l.layout}, {"count", l.count}});
            countries[kScanCountries[k]] = Json{{"valid", cs.valid},
                                                {"share", Rounded(c.nonEmpty ? double(cs.valid) / double(c.nonEmpty) : 0)},
                                                {"tried", cs.tried},
                                                {"refused", ReasonsJson(cs.refused)},
                                                {"layouts", layouts},
                                                {"example", cs.example.empty() ? Json(nullptr) : Json(cs.example)}};
        }
        col["countries"] = countries;
        col["detected"] = c.detected;
        if (c.detected) {
            const MapSuggestion& m = c.map;
            col["map"] = Json{{"switch", m.switchColumn.empty() ? Json(nullptr) : Json(m.switchColumn)},
                              {"country", m.country < 0 ? Json(nullptr) : Json(kScanCountries[m.country])},
                              {"operands", m.operands},
                              {"line", m.line},
                              {"valid", m.valid},
                              {"invalid", ReasonsJson(m.invalid)},
                              {"share", Rounded(m.share)},
                              {"confidence", Rounded(m.confidence)}};
        } else {
            col["map"] = nullptr;
        }
        cols.push_back(col);
    }
    doc["columns"] = cols;
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace ztnid
