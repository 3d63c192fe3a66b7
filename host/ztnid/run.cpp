/*
** run.cpp - one masking run: rows from a source, through the exit, to a sink.
*/
#include "host/ztnid/run.h"

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
#include <thread>

#include "host/emul/french_lock.h"
#include "host/emul/host_emul.h"
#include "host/emul/utf.h"
#include "host/ztnid/batch.h"
#include "host/ztnid/keyed_column.h"

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
    void setSource(Source* src) { src_ = src; }

    /* The source column the switch operand names, whose values are watched. */
    void watchSwitch(size_t column, bool strict) {
        switchColumn_ = column;
        strict_ = strict;
    }
    /* Switch values longer than a two-letter code (blanks after it aside), and the
    ** first of them: the exit reads their first two letters. */
    long longSwitchValues() const { return longSwitch_; }
    const std::string& longSwitchExample() const { return longSwitchExample_; }
    long longSwitchAt() const { return longSwitchAt_; } /* the line or row of the example */
    /* With --strict, the first such value stops the run. */
    bool stopped() const { return strict_ && longSwitch_ > 0; }

private:
    /* Counts a switch value longer than two letters; false refuses it (--strict). */
    bool NoteSwitchValue(const char16_t* v, size_t n) {
        while (n > 2 && v[n - 1] == u' ') --n;
        if (n <= 2) return true;
        if (longSwitch_++ == 0) {
            longSwitchExample_ = Utf16ToUtf8(std::u16string_view(v, n));
            longSwitchAt_ = src_->position();
        }
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
    long longSwitch_ = 0, longSwitchAt_ = 0;
    std::string longSwitchExample_;
};

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

/* The guard of a mapped column's rows (host/emul/french_lock.h): its switch operand names
** a country or a source column. */
hostemu::FrenchGuard GuardOf(const std::string& operands, const std::vector<SourceColumn>& src) {
    std::string sw = SwitchOperand(operands);
    size_t column = hostemu::NO_COLUMN;
    for (size_t i = 0; i < src.size(); ++i)
        if (NamesEqual(src[i].name, sw)) column = i;
    return hostemu::GuardOf(sw, column);
}

/* The work areas of one thread: a column map per mapped column, the cells the exit puts
** into, and the counters of the rows this thread masked. */
struct Lane {
    std::vector<OutCell> out;
    std::vector<std::unique_ptr<MapHost>> hosts;
    std::vector<std::unique_ptr<hostemu::ColumnMap>> maps;
    std::vector<ColumnStats> stats;
};

/* A batch of rows on its way from the reader through a worker to the writer. */
struct Slot {
    enum State { FREE, FILLED, DONE };
    std::unique_ptr<Batch> rows;
    State state = FREE;
    long seq = -1;
    std::string encoded;                       /* the kept rows, when the sink encodes */
    std::vector<std::vector<OutCell>> mapped;  /* per row, when it does not */
    std::vector<char> keep;
    size_t failedRow = SIZE_MAX;               /* the row that stopped the run */
    std::string error;
};

/* The message of an exception caught on a thread of the run. */
std::string MessageOf(const std::exception& e) {
    return dynamic_cast<const std::bad_alloc*>(&e) ? "out of memory" : e.what();
}

enum { BATCH_ROWS = 4096, BATCH_BYTES = 1 << 20, SLOTS_PER_THREAD = 3 };

/* The state of a run and its steps. */
class Run {
public:
    Run(Source& src, Sink& sink, const RunOptions& opt, RunResult& r) : src_(src), sink_(sink), opt_(opt), r_(r) {}

    void prepare();
    void copyRows();
    void endCalls();

private:
    Lane& lane(size_t i, Source* rows);
    bool maskRow(Lane& lane, Source& row);
    void copyOnOneThread();
    void copyOnThreads();
    void readBatches();
    void maskBatches(size_t worker);
    void maskBatch(Lane& lane, Slot& slot);
    void writeBatches();
    void showProgress(bool last, double fraction);

    Source& src_;
    Sink& sink_;
    const RunOptions& opt_;
    RunResult& r_;
    std::vector<DestColumn> dest_;
    std::vector<int> mapDest_;
    PFN_KLOCOLMAPWEXIT exitFn_ = nullptr;
    std::vector<hostemu::Column> srcCols_, destCols_;
    std::vector<std::unique_ptr<Lane>> lanes_;  /* made when a thread takes its first row */
    std::vector<hostemu::FrenchGuard> guards_;  /* per mapped column, with several threads */
    bool ended_ = false;
    std::chrono::steady_clock::time_point start_, lastProgress_;
    bool progressShown_ = false;

    /* The threads' meeting point. */
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;
    long endSeq_ = LONG_MAX;                   /* batches the reader made, once it is done */
    bool stop_ = false;
    std::string readError_, writeError_;
    std::atomic<double> fraction_{-1};
};

void Run::prepare() {
    dest_ = PlanColumns(src_.columns(), opt_.maps, &mapDest_);
    if (!opt_.maps.empty()) RefuseTooManyColumns(src_.columns().size(), dest_.size());
    if (!opt_.maps.empty()) {
        std::string why;
        exitFn_ = hostemu::LoadExit(opt_.exitPath, &why);
        if (!exitFn_) throw RunError("cannot load the exit " + opt_.exitPath + ": " + why);
    }
    for (const SourceColumn& c : src_.columns()) srcCols_.push_back(HostColumn(c.name, c.type, c.nullable));
    for (const DestColumn& c : dest_) destCols_.push_back(HostColumn(c.name, c.type, c.nullable));
    if (opt_.checkMap)
        for (size_t k = 0; k < opt_.maps.size(); ++k) opt_.checkMap(opt_.maps[k], srcCols_, destCols_, mapDest_[k]);
    for (size_t k = 0; k < opt_.maps.size(); ++k) {
        const DestColumn& d = dest_[size_t(mapDest_[k])];
        ColumnStats s;
        s.name = d.name;
        s.type = TypeText(d.type);
        s.operands = opt_.maps[k].operands;
        r_.columns.push_back(s);
    }
    if (opt_.progress) src_.fractionRead(); /* a table counts its rows before it is read */
    lanes_.resize(size_t(opt_.threads < 1 ? 1 : opt_.threads));
    for (const MapSpec& m : opt_.maps)
        guards_.push_back(lanes_.size() == 1 ? hostemu::FrenchGuard{hostemu::FrenchGuard::NEVER, 0}
                                             : GuardOf(m.operands, src_.columns()));
    sink_.begin(dest_);
}

/* The work areas of thread i, reading rows from `rows`; made on first use. */
Lane& Run::lane(size_t i, Source* rows) {
    if (lanes_[i]) return *lanes_[i];
    auto l = std::make_unique<Lane>();
    l->out.resize(dest_.size());
    for (size_t k = 0; k < opt_.maps.size(); ++k) {
        int d = mapDest_[k];
        l->hosts.push_back(std::make_unique<MapHost>(rows, &l->out[size_t(d)], &dest_[size_t(d)]));
        PFN_KLOCOLMAPWEXIT fn = opt_.maps[k].keyed ? KeyedExit() : exitFn_;
        l->maps.push_back(std::make_unique<hostemu::ColumnMap>(fn, Utf8ToUtf16(opt_.maps[k].operands), srcCols_,
                                                               destCols_, d));
        l->maps.back()->setHost(l->hosts.back().get());
        std::string sw = SwitchColumnOperand(opt_.maps[k].operands);
        for (size_t c = 0; c < src_.columns().size() && !sw.empty(); ++c)
            if (NamesEqual(src_.columns()[c].name, sw)) l->hosts.back()->watchSwitch(c, opt_.strict);
    }
    l->stats.resize(opt_.maps.size());
    std::lock_guard<std::mutex> hold(mutex_);
    lanes_[i] = std::move(l);
    return *lanes_[i];
}

/* Calls the exit for every mapped column of the current row; false drops the row. */
bool Run::maskRow(Lane& lane, Source& row) {
    bool keep = true;
    for (size_t k = 0; k < lane.maps.size(); ++k) {
        ColumnStats& s = lane.stats[k];
        const std::string& name = r_.columns[k].name;
        OutCell& cell = lane.out[size_t(mapDest_[k])];
        cell.isNull = true;
        ++s.read;
        const hostemu::FrenchGuard& g = guards_[k];
        bool french = g.kind == hostemu::FrenchGuard::ALWAYS ||
                      (g.kind == hostemu::FrenchGuard::BY_COLUMN && !row.isNull(g.column) &&
                       hostemu::MayBeFrench(row.text(g.column)));
        int16_t rc;
        {
            hostemu::FrenchRowLock hold(french);
            rc = lane.maps[k]->rowFast(nullptr, nullptr);
        }
        if (lane.hosts[k]->stopped())
            throw RunError("column " + name + ", " + row.where() + ": the switch value \"" +
                           lane.hosts[k]->longSwitchExample() + "\" is not a two-letter country code (--strict)");
        if (rc == EXIT_DONE) {
            ++s.written;
            if (cell.isNull) ++s.nulls;
        } else if (rc == EXIT_SKIPPED) {
            ++s.skipped;
            if (opt_.onSkip == SkipPolicy::Fail)
                throw RunError("column " + name + ", " + row.where() + ": the exit skipped the row (--on-skip fail)");
            if (opt_.onSkip == SkipPolicy::Drop || !dest_[size_t(mapDest_[k])].nullable) keep = false;
        } else {
            std::string msg = "column " + name + ", " + row.where() + ": ";
            msg += rc == EXIT_ERROR ? MsgTextOf(lane.maps[k]->workArea())
                                    : "the exit returned " + std::to_string(rc) + ", not 0, 1 or 2";
            if (!lane.hosts[k]->refusal().empty()) msg += " (" + lane.hosts[k]->refusal() + ")";
            throw RunError(msg);
        }
    }
    return keep;
}

/* The progress line: rows, rows per second, and the share done when the source knows it. */
void Run::showProgress(bool last, double fraction) {
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
    double seconds = std::chrono::duration<double>(now - start_).count();
    std::fprintf(stderr, "\rztnid: %ld rows read, %ld written, %.0f rows/s", r_.rowsRead, r_.rowsWritten,
                 double(r_.rowsRead) / seconds);
    if (fraction >= 0) std::fprintf(stderr, ", %.0f %% done", fraction > 1 ? 100.0 : fraction * 100);
    std::fputs("\033[K", stderr);
    std::fflush(stderr);
}

void Run::copyRows() {
    start_ = lastProgress_ = std::chrono::steady_clock::now();
    if (lanes_.size() == 1) copyOnOneThread();
    else copyOnThreads();
    showProgress(true, 0);
}

/* One thread: each row is masked and written as it is read, without copies. */
void Run::copyOnOneThread() {
    Lane& l = lane(0, &src_);
    while (src_.next()) {
        ++r_.rowsRead;
        if (maskRow(l, src_)) {
            sink_.write(src_, l.out);
            ++r_.rowsWritten;
        } else {
            ++r_.rowsDropped;
        }
        if (r_.rowsRead % PROGRESS_EVERY == 0) showProgress(false, opt_.progress ? src_.fractionRead() : -1);
    }
}

/* Several threads: this one reads batches, the workers mask (and encode) them, the
** writer writes them in order.  The first error in the order of the rows wins. */
void Run::copyOnThreads() {
    size_t n = lanes_.size();
    slots_.resize(n * SLOTS_PER_THREAD);
    for (Slot& s : slots_) s.rows = std::make_unique<Batch>(src_);
    std::vector<std::thread> threads;
    try {
        threads.emplace_back([this] { writeBatches(); });
        for (size_t w = 0; w < n; ++w) threads.emplace_back([this, w] { maskBatches(w); });
    } catch (const std::exception& e) {
        /* the threads started must end before their std::thread objects go */
        {
            std::lock_guard<std::mutex> hold(mutex_);
            stop_ = true;
            changed_.notify_all();
        }
        for (std::thread& t : threads) t.join();
        throw RunError("cannot start the threads of the run (-j): " + MessageOf(e));
    }
    readBatches();
    for (std::thread& t : threads) t.join();
    if (!writeError_.empty()) throw RunError(writeError_);
    if (!readError_.empty()) throw RunError(readError_);
}

void Run::readBatches() {
    for (long seq = 0;; ++seq) {
        Slot& slot = slots_[size_t(seq) % slots_.size()];
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return slot.state == Slot::FREE || stop_; });
            if (stop_) return;
        }
        bool more = true;
        try {
            slot.rows->clear();
            while (slot.rows->rows() < BATCH_ROWS && slot.rows->bytes() < BATCH_BYTES && (more = src_.next()))
                slot.rows->add();
            if (opt_.progress) fraction_ = src_.fractionRead();
        } catch (const std::exception& e) {
            /* the rows read before the failure are masked and counted, as with one thread */
            readError_ = MessageOf(e);
            more = false;
        }
        std::lock_guard<std::mutex> hold(mutex_);
        if (slot.rows->rows() > 0) {
            slot.seq = seq;
            slot.state = Slot::FILLED;
        }
        if (!more) endSeq_ = slot.rows->rows() > 0 ? seq + 1 : seq;
        changed_.notify_all();
        if (!more) return;
    }
}

void Run::maskBatches(size_t worker) {
    size_t n = lanes_.size();
    for (long seq = long(worker);; seq += long(n)) {
        Slot& slot = slots_[size_t(seq) % slots_.size()];
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] {
                return (slot.state == Slot::FILLED && slot.seq == seq) || stop_ || seq >= endSeq_;
            });
            if (stop_ || !(slot.state == Slot::FILLED && slot.seq == seq)) return;
        }
        slot.error.clear();
        slot.failedRow = SIZE_MAX;
        try {
            maskBatch(lane(worker, slot.rows.get()), slot);
        } catch (const std::exception& e) {
            slot.error = MessageOf(e);
            /* failing before its first row (work areas, buffers), the batch stops at row 0:
            ** its keep and mapped rows are still the previous batch's */
            if (slot.failedRow == SIZE_MAX) slot.failedRow = 0;
        }
        std::lock_guard<std::mutex> hold(mutex_);
        slot.state = Slot::DONE;
        changed_.notify_all();
    }
}

/* Masks the rows of a batch with one thread's work areas; a failing row ends the batch. */
void Run::maskBatch(Lane& l, Slot& slot) {
    Batch& rows = *slot.rows;
    size_t n = rows.rows();
    bool encode = sink_.encodes();
    slot.encoded.clear();
    slot.keep.assign(n, 0);
    if (!encode && slot.mapped.size() < n) slot.mapped.resize(n);
    for (auto& h : l.hosts) h->setSource(&rows); /* the exit's reads go to this batch */
    for (size_t i = 0; i < n; ++i) {
        rows.seek(i);
        slot.failedRow = i;
        if (!maskRow(l, rows)) continue;
        slot.keep[i] = 1;
        if (encode) sink_.encode(rows, l.out, slot.encoded);
        else slot.mapped[i] = l.out;
    }
    slot.failedRow = SIZE_MAX;
}

void Run::writeBatches() {
    try {
        for (long seq = 0;; ++seq) {
            Slot& slot = slots_[size_t(seq) % slots_.size()];
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] {
                    return (slot.state == Slot::DONE && slot.seq == seq) || stop_ || seq >= endSeq_;
                });
                if (stop_ || !(slot.state == Slot::DONE && slot.seq == seq)) return;
            }
            Batch& rows = *slot.rows;
            size_t n = slot.failedRow == SIZE_MAX ? rows.rows() : slot.failedRow + 1;
            long kept = 0;
            for (size_t i = 0; i < n; ++i) {
                ++r_.rowsRead;
                if (i == slot.failedRow) throw RunError(slot.error);
                if (!slot.keep[i]) {
                    ++r_.rowsDropped;
                    continue;
                }
                ++r_.rowsWritten;
                ++kept;
                if (!sink_.encodes()) {
                    rows.seek(i);
                    sink_.write(rows, slot.mapped[i]);
                }
            }
            if (sink_.encodes()) sink_.writeEncoded(slot.encoded, kept);
            showProgress(false, fraction_);
            std::lock_guard<std::mutex> hold(mutex_);
            slot.state = Slot::FREE;
            changed_.notify_all();
        }
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> hold(mutex_);
        writeError_ = MessageOf(e);
        stop_ = true;
        changed_.notify_all();
    }
}

/* The end call of every work area, also after an error; adds up the counters and
** collects what the exit logged for its end reports. */
void Run::endCalls() {
    if (ended_) return;
    ended_ = true;
    showProgress(true, 0);
    std::string log = ExitLogPath();
    std::vector<long> firstLongSwitch(r_.columns.size(), 0);
    for (const std::unique_ptr<Lane>& l : lanes_) {
        if (!l) continue;
        for (size_t k = 0; k < l->maps.size(); ++k) {
            long before = FileSize(log);
            l->maps[k]->end();
            ColumnStats& s = r_.columns[k];
            s.endReport += ReadFrom(log, before);
            const WORKAREA& wa = l->maps[k]->workArea();
            long counters[COUNTER_COUNT];
            CountersOf(wa, counters);
            for (int i = 0; i < COUNTER_COUNT; ++i) s.counters[i] += counters[i];
            if (s.workAreas++ == 0) s.countriesInit = wa.CountriesInit;
            s.read += l->stats[k].read;
            s.written += l->stats[k].written;
            s.nulls += l->stats[k].nulls;
            s.skipped += l->stats[k].skipped;
            /* the example of a long switch value is the one of the earliest row */
            const MapHost& h = *l->hosts[k];
            if (h.longSwitchValues() > 0 && (s.longSwitchValues == 0 || h.longSwitchAt() < firstLongSwitch[k])) {
                s.longSwitchExample = h.longSwitchExample();
                firstLongSwitch[k] = h.longSwitchAt();
            }
            s.longSwitchValues += h.longSwitchValues();
        }
    }
}

} // namespace

void RefuseTooManyColumns(size_t source, size_t dest) {
    if (source <= size_t(INT16_MAX) && dest <= size_t(INT16_MAX)) return;
    throw RunError("the " + std::string(source > size_t(INT16_MAX) ? "source" : "destination") + " has " +
                   std::to_string(source > size_t(INT16_MAX) ? source : dest) + " columns, more than the " +
                   std::to_string(INT16_MAX) + " that the exit's column lists hold");
}

hostemu::Column HostColumn(const std::string& name, ColumnType t, bool nullable) {
    hostemu::Column c;
    c.name = Utf8ToUtf16(name);
    c.dataType = t.code;
    c.length = t.length;
    c.nullable = nullable;
    return c;
}

std::string MsgTextOf(const WORKAREA& wa) {
    size_t n = 0;
    while (n < MSGTEXT_BYTES / 2 && wa.MsgText[n]) ++n;
    return Utf16ToUtf8(std::u16string_view(wa.MsgText, n));
}

void CountersOf(const WORKAREA& wa, long out[COUNTER_COUNT]) {
    const int32_t counters[COUNTER_COUNT] = {wa.InvalidLengthCount,   wa.InvalidPartCount,
                                             wa.InvalidDataCount,     wa.NullInputCount,
                                             wa.ConversionErrorCount, wa.InvalidSeparatorCount};
    for (int i = 0; i < COUNTER_COUNT; ++i) out[i] = counters[i];
}

std::vector<DestColumn> PlanColumns(const std::vector<SourceColumn>& src, const std::vector<MapSpec>& maps,
                                    std::vector<int>* mapDest) {
    std::vector<DestColumn> dest;
    for (size_t i = 0; i < src.size(); ++i)
        dest.push_back(DestColumn{src[i].name, src[i].type, src[i].nullable, src[i].declared, int(i), src[i].pgType});
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
        if (!m.typeGiven && basis >= 0) d.pgType = src[size_t(basis)].pgType;
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
            if (s.workAreas > 1) o << "    end reports of the exit (one per work area, " << s.workAreas << " threads):\n";
            else o << "    end report of the exit:\n";
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
