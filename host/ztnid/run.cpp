/*
** run.cpp - one masking run: rows from a source, through the exit, to a sink.
*/
#include "host/ztnid/run.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>

#include "host/emul/host_emul.h"
#include "host/emul/utf.h"

namespace ztnid {

const char* const kCounterNames[COUNTER_COUNT] = {
    "invalid length", "invalid part", "invalid data", "null input", "conversion errors", "invalid separators",
};

namespace {

enum { GET_CANNOT_CONVERT = 9, PUT_REFUSED = 1, PROGRESS_EVERY = 1 << 14 };

/* The host side of one mapped column: GetColValue reads the current source row,
** PutColValue stores into the column's output cell. */
class MapHost : public hostemu::RowHost {
public:
    MapHost(Source* src, OutCell* out, const DestColumn* dest) : src_(src), out_(out), dest_(dest) {}

    int16_t get(size_t column, uint16_t valueType, uint16_t precision, void* buffer, int32_t bufferLength,
                 int16_t* nullInd) override {
        if (src_->isNull(column)) {
            if (nullInd) *nullInd = NULLIND_NULL;
            return 0;
        }
        if (nullInd) *nullInd = NULLIND_VALUE;
        if (!buffer || bufferLength <= 0) return GET_CANNOT_CONVERT;
        if (valueType == VT_WSTRING) {
            /* A value longer than the buffer (the column's declared length) cannot be
            ** delivered: a conversion error, which the exit counts. */
            size_t n = src_->text16(column, static_cast<char16_t*>(buffer), size_t(bufferLength) / 2);
            if (n == SIZE_MAX) return GET_CANNOT_CONVERT;
            if (column == switchColumn_ && !NoteSwitchValue(static_cast<const char16_t*>(buffer), n))
                return GET_CANNOT_CONVERT;
            return 0;
        }
        long long v;
        if (!ParseNumber(src_->text(column), &v)) return GET_CANNOT_CONVERT;
        if (valueType == 10 || valueType == 14 || valueType == 15) {
            if (bufferLength < 4 || v < INT32_MIN || v > INT32_MAX) return GET_CANNOT_CONVERT;
            int32_t i = int32_t(v);
            std::memcpy(buffer, &i, 4);
            return 0;
        }
        if (valueType == VT_PACKED) {
            long long limit = 1;
            for (int d = 0; d < precision && limit < 1000000000000000000LL; ++d) limit *= 10;
            if (size_t(precision + 2) / 2 > size_t(bufferLength) || v >= limit || -v >= limit) return GET_CANNOT_CONVERT;
            hostemu::EncodePacked(v, precision, static_cast<uint8_t*>(buffer), size_t(bufferLength));
            return 0;
        }
        return GET_CANNOT_CONVERT;
    }

    int16_t put(const char16_t* value, int32_t /*length*/) override {
        if (!value) {
            out_->isNull = true;
            return 0;
        }
        size_t n = 0;
        while (value[n]) ++n;
        int32_t cap = CapacityUnits(dest_->type);
        if (n > size_t(cap < 0 ? 0 : cap)) {
            refusal_ = "the value put has " + std::to_string(n) + " characters, more than the " +
                       std::to_string(cap) + " that " + TypeText(dest_->type) + " holds";
            return PUT_REFUSED;
        }
        out_->isNull = false;
        out_->value.assign(value, n);
        return 0;
    }

    const std::string& refusal() const { return refusal_; }

    /* The source column the switch operand names, whose values are watched. */
    void watchSwitch(size_t column, bool strict) {
        switchColumn_ = column;
        strict_ = strict;
    }
    /* Switch values longer than a two-letter code (blanks after it aside), and the
    ** first of them: the exit reads their first two letters. */
    long longSwitchValues() const { return longSwitch_; }
    const std::string& longSwitchExample() const { return longSwitchExample_; }
    /* With --strict, the first such value stops the run. */
    bool stopped() const { return strict_ && longSwitch_ > 0; }

private:
    /* Counts a switch value longer than two letters; false refuses it (--strict). */
    bool NoteSwitchValue(const char16_t* v, size_t n) {
        while (n > 2 && v[n - 1] == u' ') --n;
        if (n <= 2) return true;
        if (longSwitch_++ == 0) longSwitchExample_ = Utf16ToUtf8(std::u16string_view(v, n));
        return !strict_;
    }

    /* A whole decimal number (blanks around it allowed). */
    static bool ParseNumber(std::string_view s, long long* out) {
        while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
        while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
        bool neg = !s.empty() && s.front() == '-';
        if (!s.empty() && (s.front() == '-' || s.front() == '+')) s.remove_prefix(1);
        if (s.empty() || s.size() > 18) return false;
        long long v = 0;
        for (char c : s) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + (c - '0');
        }
        *out = neg ? -v : v;
        return true;
    }

    Source* src_;
    OutCell* out_;
    const DestColumn* dest_;
    std::string refusal_;
    size_t switchColumn_ = SIZE_MAX;
    bool strict_ = false;
    long longSwitch_ = 0;
    std::string longSwitchExample_;
};

hostemu::Column HostColumn(const std::string& name, ColumnType t, bool nullable) {
    hostemu::Column c;
    c.name = Utf8ToUtf16(name);
    c.dataType = t.code;
    c.length = t.length;
    c.nullable = nullable;
    return c;
}

/* The SQL type of a mapped column in a created table. */
std::string DeclaredType(ColumnType t) { return *TypeCodeName(t.code) ? TypeText(t) : "TEXT"; }

long FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? long(st.st_size) : 0;
}

/* What the log file gained after offset `from`. */
std::string ReadFrom(const std::string& path, long from) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return "";
    f.seekg(from);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

/* The work area's first 50 characters of a failed call's message, as UTF-8. */
std::string MsgTextOf(const WORKAREA& wa) {
    size_t n = 0;
    while (n < MSGTEXT_BYTES / 2 && wa.MsgText[n]) ++n;
    return Utf16ToUtf8(std::u16string_view(wa.MsgText, n));
}

/* The state of a run and its steps. */
class Run {
public:
    Run(Source& src, Sink& sink, const RunOptions& opt, RunResult& r) : src_(src), sink_(sink), opt_(opt), r_(r) {}

    void prepare();
    void copyRows();
    void endCalls();

private:
    bool maskRow();
    void showProgress(bool last);

    Source& src_;
    Sink& sink_;
    const RunOptions& opt_;
    RunResult& r_;
    std::vector<DestColumn> dest_;
    std::vector<int> mapDest_;
    std::vector<OutCell> out_;
    std::vector<std::unique_ptr<MapHost>> hosts_;
    std::vector<std::unique_ptr<hostemu::ColumnMap>> maps_;
    bool ended_ = false;
    std::chrono::steady_clock::time_point start_, lastProgress_;
    bool progressShown_ = false;
};

/* The exit's column lists count their columns in 16 bits. */
void RefuseTooManyColumns(size_t source, size_t dest) {
    if (source <= size_t(INT16_MAX) && dest <= size_t(INT16_MAX)) return;
    throw RunError("the " + std::string(source > size_t(INT16_MAX) ? "source" : "destination") + " has " +
                   std::to_string(source > size_t(INT16_MAX) ? source : dest) + " columns, more than the " +
                   std::to_string(INT16_MAX) + " that the exit's column lists hold");
}

void Run::prepare() {
    dest_ = PlanColumns(src_.columns(), opt_.maps, &mapDest_);
    if (!opt_.maps.empty()) RefuseTooManyColumns(src_.columns().size(), dest_.size());
    out_.resize(dest_.size());
    PFN_KLOCOLMAPWEXIT exitFn = nullptr;
    if (!opt_.maps.empty()) {
        std::string why;
        exitFn = hostemu::LoadExit(opt_.exitPath, &why);
        if (!exitFn) throw RunError("cannot load the exit " + opt_.exitPath + ": " + why);
    }
    std::vector<hostemu::Column> srcCols, destCols;
    for (const SourceColumn& c : src_.columns()) srcCols.push_back(HostColumn(c.name, c.type, c.nullable));
    for (const DestColumn& c : dest_) destCols.push_back(HostColumn(c.name, c.type, c.nullable));
    if (opt_.checkMap)
        for (size_t k = 0; k < opt_.maps.size(); ++k) opt_.checkMap(opt_.maps[k], srcCols, destCols, mapDest_[k]);
    for (size_t k = 0; k < opt_.maps.size(); ++k) {
        int d = mapDest_[k];
        hosts_.push_back(std::make_unique<MapHost>(&src_, &out_[size_t(d)], &dest_[size_t(d)]));
        maps_.push_back(std::make_unique<hostemu::ColumnMap>(exitFn, Utf8ToUtf16(opt_.maps[k].operands), srcCols,
                                                             destCols, d));
        maps_.back()->setHost(hosts_.back().get());
        std::string sw = SwitchColumnOperand(opt_.maps[k].operands);
        for (size_t i = 0; i < src_.columns().size() && !sw.empty(); ++i)
            if (NamesEqual(src_.columns()[i].name, sw)) hosts_.back()->watchSwitch(i, opt_.strict);
        ColumnStats s;
        s.name = dest_[size_t(d)].name;
        s.type = TypeText(dest_[size_t(d)].type);
        s.operands = opt_.maps[k].operands;
        r_.columns.push_back(s);
    }
    sink_.begin(dest_);
}

/* Calls the exit for every mapped column of the current row; false drops the row. */
bool Run::maskRow() {
    bool keep = true;
    for (size_t k = 0; k < maps_.size(); ++k) {
        ColumnStats& s = r_.columns[k];
        OutCell& cell = out_[size_t(mapDest_[k])];
        cell.isNull = true;
        ++s.read;
        int16_t rc = maps_[k]->rowFast(nullptr, nullptr);
        if (hosts_[k]->stopped())
            throw RunError("column " + s.name + ", " + src_.where() + ": the switch value \"" +
                           hosts_[k]->longSwitchExample() + "\" is not a two-letter country code (--strict)");
        if (rc == EXIT_DONE) {
            ++s.written;
            if (cell.isNull) ++s.nulls;
        } else if (rc == EXIT_SKIPPED) {
            ++s.skipped;
            if (opt_.onSkip == SkipPolicy::Fail)
                throw RunError("column " + s.name + ", " + src_.where() + ": the exit skipped the row (--on-skip fail)");
            if (opt_.onSkip == SkipPolicy::Drop || !dest_[size_t(mapDest_[k])].nullable) keep = false;
        } else {
            std::string msg = "column " + s.name + ", " + src_.where() + ": ";
            msg += rc == EXIT_ERROR ? MsgTextOf(maps_[k]->workArea())
                                    : "the exit returned " + std::to_string(rc) + ", not 0, 1 or 2";
            if (!hosts_[k]->refusal().empty()) msg += " (" + hosts_[k]->refusal() + ")";
            throw RunError(msg);
        }
    }
    return keep;
}

void Run::showProgress(bool last) {
    if (!opt_.progress) return;
    auto now = std::chrono::steady_clock::now();
    if (last) {
        if (progressShown_) std::fputs("\r\033[K", stderr);
        progressShown_ = false;
        return;
    }
    if (now - start_ < std::chrono::seconds(1) || now - lastProgress_ < std::chrono::milliseconds(250)) return;
    lastProgress_ = now;
    progressShown_ = true;
    std::fprintf(stderr, "\rztnid: %ld rows read, %ld written", r_.rowsRead, r_.rowsWritten);
    std::fflush(stderr);
}

void Run::copyRows() {
    start_ = lastProgress_ = std::chrono::steady_clock::now();
    while (src_.next()) {
        ++r_.rowsRead;
        if (maskRow()) {
            sink_.write(src_, out_);
            ++r_.rowsWritten;
        } else {
            ++r_.rowsDropped;
        }
        if (r_.rowsRead % PROGRESS_EVERY == 0) showProgress(false);
    }
    showProgress(true);
}

/* The end call of every column, also after an error; collects the counters and what
** the exit logged for its end report. */
void Run::endCalls() {
    if (ended_) return;
    ended_ = true;
    showProgress(true);
    std::string log = ExitLogPath();
    for (size_t k = 0; k < maps_.size(); ++k) {
        long before = FileSize(log);
        maps_[k]->end();
        ColumnStats& s = r_.columns[k];
        s.endReport = ReadFrom(log, before);
        const WORKAREA& wa = maps_[k]->workArea();
        const int32_t counters[COUNTER_COUNT] = {wa.InvalidLengthCount,   wa.InvalidPartCount,
                                                 wa.InvalidDataCount,     wa.NullInputCount,
                                                 wa.ConversionErrorCount, wa.InvalidSeparatorCount};
        for (int i = 0; i < COUNTER_COUNT; ++i) s.counters[i] = counters[i];
        s.countriesInit = wa.CountriesInit;
        s.longSwitchValues = hosts_[k]->longSwitchValues();
        s.longSwitchExample = hosts_[k]->longSwitchExample();
    }
}

} // namespace

std::vector<DestColumn> PlanColumns(const std::vector<SourceColumn>& src, const std::vector<MapSpec>& maps,
                                    std::vector<int>* mapDest) {
    std::vector<DestColumn> dest;
    for (size_t i = 0; i < src.size(); ++i)
        dest.push_back(DestColumn{src[i].name, src[i].type, src[i].nullable, src[i].declared, int(i)});
    auto find = [](const auto& cols, const std::string& name) -> int {
        for (size_t i = 0; i < cols.size(); ++i)
            if (NamesEqual(cols[i].name, name)) return int(i);
        return -1;
    };
    mapDest->clear();
    for (size_t k = 0; k < maps.size(); ++k) {
        const MapSpec& m = maps[k];
        for (size_t j = 0; j < k; ++j)
            if (NamesEqual(maps[j].dest, m.dest)) throw UsageError("column " + m.dest + " is mapped twice");
        /* A replaced column keeps its own type and nullability; a new one takes those of
        ** the column the exit reads for it. */
        int basis = find(src, m.dest);
        if (basis < 0) basis = find(src, SourceOperand(m.operands));
        DestColumn d;
        d.name = m.dest;
        d.nullable = basis < 0 || src[size_t(basis)].nullable;
        d.type = m.typeGiven ? m.type : basis >= 0 ? src[size_t(basis)].type : ColumnType{};
        d.declared = !m.typeGiven && basis >= 0 && !src[size_t(basis)].declared.empty() ? src[size_t(basis)].declared
                                                                                        : DeclaredType(d.type);
        int at = find(src, m.dest);
        if (at >= 0) {
            d.name = src[size_t(at)].name;
            dest[size_t(at)] = d;
        } else {
            at = int(dest.size());
            dest.push_back(d);
        }
        mapDest->push_back(at);
    }
    return dest;
}

RunResult RunMask(Source& src, Sink& sink, const RunOptions& opt) {
    RunResult r;
    Run run(src, sink, opt, r);
    try {
        run.prepare();
        run.copyRows();
        run.endCalls();
        sink.commit();
    } catch (const std::bad_alloc&) {
        run.endCalls();
        sink.abort();
        r.error = "out of memory";
    } catch (const std::exception& e) {
        run.endCalls();
        sink.abort();
        r.error = e.what();
    }
    r.rowsWritten = sink.rowsKept();
    if (!r.error.empty()) {
        r.status = 2;
    } else {
        for (const ColumnStats& s : r.columns)
            if (s.skipped > 0) r.status = 1;
    }
    return r;
}

std::string ExitLogPath() {
    const char* dir = std::getenv("ZTNID_DRIVE_C");
    return std::string(dir && *dir ? dir : "/tmp") + "/ZTMSG.TXT";
}

std::string FormatSummary(const RunResult& r) {
    std::ostringstream o;
    o << "ztnid: " << r.rowsRead << " rows read, " << r.rowsWritten << " written, " << r.rowsDropped << " dropped";
    o << (r.error.empty() ? "\n" : " (the run failed: only rows already written stay written)\n");
    for (const ColumnStats& s : r.columns) {
        o << "  column " << s.name << " " << s.type << "  <- " << s.operands << "\n";
        o << "    read " << s.read << ", written " << s.written;
        if (s.nulls) o << " (" << s.nulls << " NULL)";
        o << ", skipped " << s.skipped << "\n";
        long counted = 0;
        for (int i = 0; i < COUNTER_COUNT; ++i) {
            counted += s.counters[i];
            if (s.counters[i] == 0) continue;
            char line[80];
            std::snprintf(line, sizeof line, "      %-22s %8ld\n", kCounterNames[i], s.counters[i]);
            o << line;
        }
        if (s.skipped > counted) {
            char line[120];
            std::snprintf(line, sizeof line, "      %-22s %8ld   (skipped without a counter: e.g. a country not masked)\n",
                          "not counted", s.skipped - counted);
            o << line;
        }
        if (s.longSwitchValues)
            o << "    warning: " << s.longSwitchValues << " switch values longer than a two-letter code (e.g. \""
              << s.longSwitchExample << "\"): the exit takes their first two letters as the country\n";
        if (!s.endReport.empty()) {
            o << "    end report of the exit:\n";
            std::istringstream lines(s.endReport);
            for (std::string l; std::getline(lines, l);) o << "      " << l << "\n";
        }
    }
    if (!r.error.empty()) o << "ztnid: error: " << r.error << "\n";
    static const char* const kStatus[] = {"every row written", "some rows skipped by the exit", "error"};
    o << "ztnid: status " << r.status << " (" << kStatus[r.status] << ")\n";
    return o.str();
}

} // namespace ztnid
