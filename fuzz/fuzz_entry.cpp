/*
** fuzz_entry.cpp - KLOColMapWExit driven by a fuzzer-chosen scenario.
**
** A scenario is: an operand string (built from chosen parts, or taken raw), source and
** destination column descriptors (any type, lengths 0 to 70000, nullable or not, names
** up to 4096 characters), the destination index, an allocation to fail, the random
** draws, then up to 12 calls: rows with the source values of any length and content
** (unpaired surrogates, 4095+ characters...), the results GetColValue and PutColValue
** give, and end calls; a last end call always follows.
**
** The host keeps every record in a heap block of its exact size, so the sanitizers see
** any access outside them, and it checks each call:
**   - a row ends as exactly one of: written (result 0, one put), a counted skip (result
**     1, one counter up by one), an uncounted skip with a message (result 1, counters
**     unchanged; with debug on, the logged text is not empty), or an error (result 2
**     with MsgText set);
**   - GetColValue is never asked for more than the value buffer; PutColValue gets code
**     39, the destination's declared length, a value terminated within 4096
**     characters, and NULL only for a nullable destination;
**   - MsgText changes only when a call returns 2;
**   - an end call returns 0 and leaves no state of the exit in the work area.
** Leaks, overflows and undefined behaviour are the sanitizers' to report.
*/
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "exit/host_records.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/lean_host.h"

using fuzz::Reader;

namespace {

/* ------------------------------------------------------------------ the scenario */

struct Cell {
    int16_t rc = 0;
    bool isNull = false;
    std::u16string value;
};

struct Scenario {
    INPUTPARMS* ip = nullptr;
    COLLIST* src = nullptr;
    COLLIST* dst = nullptr;
    WORKAREA* wa = nullptr;
    char16_t* operands = nullptr;
    std::vector<char16_t*> names;
    int nSrc = 0, nDst = 0;
    std::vector<Cell> cells;      /* per source column, for the current row */
    int16_t putResult = 0;
    int puts = 0;
};
Scenario* g_s = nullptr;
std::string g_logDir, g_logPath;
bool g_trace = false; /* ZT_FUZZ_TRACE=1: one line per call on stderr */

char16_t* HeapString(const std::u16string& s) {
    char16_t* p = static_cast<char16_t*>(std::malloc((s.size() + 1) * sizeof(char16_t)));
    std::memcpy(p, s.data(), s.size() * sizeof(char16_t));
    p[s.size()] = 0;
    return p;
}

/* ------------------------------------------------------------------ operands */

void Add(std::u16string& s, const char16_t* keyword, const std::u16string& value) {
    if (!s.empty()) s += u',';
    s += keyword;
    s += u'=';
    s += value;
}

/* One of the options, "absent" (empty) or, past them, a fuzzed string. */
std::u16string Choose(Reader& r, std::initializer_list<const char16_t*> options) {
    uint8_t k = r.u8() % (options.size() + 2);
    if (k == 0) return u"";
    if (k <= options.size()) return options.begin()[k - 1];
    return r.str(64);
}

std::u16string FormatList(Reader& r) {
    uint8_t n = r.u8() % 7;
    if (n == 5) return r.str(64);                 /* a plain value, not a list */
    if (n == 6) return u"(" + r.str(200) + u")";  /* a list of anything */
    static const char16_t* const kKeywords[] = {u"FR", u"UK", u"ES", u"IT", u"france", u"uk", u"spain", u"italy", u"KR"};
    std::u16string list;
    for (int i = 0; i < n; ++i) {
        uint8_t k = r.u8();
        const char16_t* kw = kKeywords[k % 9];
        std::u16string value;
        uint8_t v = r.u8();
        const leanhost::Country& c = leanhost::Countries()[k % 4];
        std::vector<std::u16string> formats = leanhost::CountryFormats(c);
        value = (v & 0x80) ? r.str(32) : formats[v % formats.size()];
        if (!list.empty()) list += u',';
        list += std::u16string(kw) + u"=" + value;
    }
    return n ? u"(" + list + u")" : u"";
}

std::u16string BuildOperands(Reader& r) {
    if (r.u8() & 1) return r.str(5000);
    std::u16string s, v;
    if (!(v = Choose(r, {u"\"FR", u"\"UK", u"\"ES", u"\"IT", u"CTRY", u"\"fr", u"\"XX", u"NID"})).empty()) Add(s, u"switch", v);
    if (!(v = Choose(r, {u"mask", u"random", u"MASKX", u"rand"})).empty()) Add(s, u"method", v);
    if (!(v = Choose(r, {u"y", u"n"})).empty()) Add(s, u"validate", v);
    if (!(v = Choose(r, {u"y"})).empty()) Add(s, u"debug", v);
    if (!(v = Choose(r, {u"y"})).empty()) Add(s, u"status", v);
    if (!(v = Choose(r, {u"NID", u"\"NID\"", u"CTRY"})).empty()) Add(s, u"source", v);
    if (!(v = FormatList(r)).empty()) Add(s, u"format", v);
    std::u16string extra = r.str(200);
    if (!extra.empty()) s += u"," + extra;
    return s;
}

/* ------------------------------------------------------------------ columns */

void ReadColumn(Reader& r, COLDESC* d, uint16_t id, Scenario& s) {
    static const int16_t kTypes[] = {1, 2, 30, 31, 32, 33, 34, 35, 36, 37, 38, 10, 14, 15, 18, 0, 5, 8, 9, -1, 3};
    static const int32_t kLengths[] = {0, 1, 7, 8, 9, 10, 11, 12, 13, 15, 16, 19, 20, 255, 256, 4095, 4096, 8191, 70000, -1};
    uint8_t nameKind = r.u8() % 4;
    std::u16string name = nameKind == 0 ? u"NID" : nameKind == 1 ? u"CTRY" : nameKind == 2 ? u"nid" : r.str(4096);
    char16_t* heapName = HeapString(name);
    s.names.push_back(heapName);
    d->pColName = heapName;
    d->ColId = id;
    uint8_t t = r.u8();
    d->DataType = t < sizeof kTypes / sizeof kTypes[0] * 8 ? kTypes[t % (sizeof kTypes / sizeof kTypes[0])] : int16_t(r.u16());
    uint8_t l = r.u8();
    d->Length = l < 200 ? kLengths[l % (sizeof kLengths / sizeof kLengths[0])] : int32_t(r.u32() % 70001);
    uint8_t f = r.u8();
    d->Nullable = f & 1;
    d->Precision = uint16_t((f >> 1) % 40);
    d->Scale = uint16_t(r.u8() % 40);
}

COLLIST* NewList(int n) {
    return static_cast<COLLIST*>(std::calloc(1, 2 + sizeof(COLDESC) * size_t(n)));
}

/* ------------------------------------------------------------------ callbacks */

int16_t Get(uint16_t colId, uint16_t type, uint16_t, uint16_t, void* buffer, int32_t bytes, int16_t* nullInd) {
    Scenario& s = *g_s;
    FUZZ_CHECK(buffer != nullptr && nullInd != nullptr);
    FUZZ_CHECK(bytes >= 0 && bytes <= VALUE_BUF_CHARS * 2);
    int i = int(colId) - 1;
    if (i < 0 || i >= s.nSrc) return 1;
    const Cell& c = s.cells[size_t(i)];
    if (c.rc != 0) return c.rc;
    *nullInd = c.isNull ? NULLIND_NULL : NULLIND_VALUE;
    if (c.isNull) return 0;
    if (type == VT_WSTRING) {
        if (bytes < 2) return 0;
        size_t n = c.value.size();
        if (n > size_t(bytes) / 2 - 1) n = size_t(bytes) / 2 - 1;
        std::memcpy(buffer, c.value.data(), n * 2);
        static_cast<char16_t*>(buffer)[n] = 0;
    } else {
        size_t n = c.value.size() * 2;
        if (n > size_t(bytes)) n = size_t(bytes);
        std::memcpy(buffer, c.value.data(), n);
    }
    return 0;
}

int16_t Put(uint16_t type, uint16_t precision, uint16_t scale, void* buffer, int32_t length, int16_t* nullInd) {
    Scenario& s = *g_s;
    const COLDESC& d = s.dst->Col[s.ip->DestColIndex];
    FUZZ_CHECK(type == VT_WSTRING);
    FUZZ_CHECK(precision == d.Precision && scale == d.Scale && length == d.Length);
    FUZZ_CHECK(nullInd && (*nullInd == NULLIND_VALUE || *nullInd == NULLIND_NULL));
    if (*nullInd == NULLIND_NULL) {
        FUZZ_CHECK(d.Nullable);
    } else {
        const char16_t* v = static_cast<const char16_t*>(buffer);
        size_t n = 0;
        while (n < VALUE_BUF_CHARS && v[n]) ++n;
        FUZZ_CHECK(n < VALUE_BUF_CHARS);
    }
    ++s.puts;
    return s.putResult;
}

/* ------------------------------------------------------------------ the checks of a call */

long LogSize() {
    struct stat st;
    return stat(g_logPath.c_str(), &st) == 0 ? long(st.st_size) : 0;
}

/* The text of the last line logged since offset `from`: empty when none. */
std::string LastLoggedText(long from) {
    std::string tail;
    if (FILE* f = std::fopen(g_logPath.c_str(), "rb")) {
        std::fseek(f, from, SEEK_SET);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) tail.append(buf, n);
        std::fclose(f);
    }
    if (!tail.empty() && tail.back() == '\n') tail.pop_back();
    size_t nl = tail.rfind('\n');
    std::string line = nl == std::string::npos ? tail : tail.substr(nl + 1);
    size_t tag = line.find("-ZTNID : ");
    return tag == std::string::npos ? std::string() : line.substr(tag + 9);
}

int32_t Counter(const WORKAREA* wa, int i) {
    const int32_t v[6] = {wa->NullInputCount, wa->InvalidDataCount, wa->InvalidLengthCount,
                          wa->ConversionErrorCount, wa->InvalidPartCount, wa->InvalidSeparatorCount};
    return v[i];
}

void CallAndCheck(Scenario& s, uint32_t callType) {
    WORKAREA* wa = s.wa;
    int32_t before[6];
    for (int i = 0; i < 6; ++i) before[i] = Counter(wa, i);
    char16_t msgBefore[50];
    std::memcpy(msgBefore, wa->MsgText, sizeof msgBefore);
    bool setUp = wa->pRBPDATA == nullptr;
    long logBefore = LogSize();
    s.puts = 0;
    s.ip->CallType = callType;

    int16_t rc = KLOColMapWExit(s.ip, s.src, s.dst);

    if (g_trace) {
        std::string ops(s.operands, s.operands + std::char_traits<char16_t>::length(s.operands));
        std::fprintf(stderr, "call %u: rc %d, puts %d, counters %d %d %d %d %d %d, operands %.80s\n", callType, rc,
                     s.puts, wa->NullInputCount, wa->InvalidDataCount, wa->InvalidLengthCount,
                     wa->ConversionErrorCount, wa->InvalidPartCount, wa->InvalidSeparatorCount, ops.c_str());
    }
    if (callType == CALLTYPE_END) {
        FUZZ_CHECK(rc == EXIT_DONE && s.puts == 0);
        FUZZ_CHECK(!wa->pRBPDATA && !wa->pWorkAreaES && !wa->pWorkAreaFR && !wa->pWorkAreaIT && !wa->pWorkAreaUK);
        for (int i = 0; i < 6; ++i) FUZZ_CHECK(Counter(wa, i) == before[i]);
        return;
    }
    FUZZ_CHECK(rc == EXIT_DONE || rc == EXIT_SKIPPED || rc == EXIT_ERROR);
    bool msgChanged = std::memcmp(msgBefore, wa->MsgText, sizeof msgBefore) != 0;
    if (rc != EXIT_ERROR) FUZZ_CHECK(!msgChanged);
    if (rc != EXIT_ERROR) FUZZ_CHECK(wa->pRBPDATA != nullptr); /* the column's state exists */

    /* A set-up clears the counters once it has its memory. */
    if (setUp) {
        if (rc == EXIT_ERROR) return;
        for (int i = 0; i < 6; ++i) before[i] = 0;
    }
    int raised = 0;
    for (int i = 0; i < 6; ++i) {
        int32_t d = Counter(wa, i) - before[i];
        FUZZ_CHECK(d == 0 || d == 1);
        raised += d;
    }
    switch (rc) {
    case EXIT_DONE:
        FUZZ_CHECK(s.puts == 1 && raised == 0 && s.putResult == 0);
        break;
    case EXIT_SKIPPED:
        FUZZ_CHECK(s.puts == 0);
        if (raised == 0 && (wa->pRBPDATA->Flags & MODE_DEBUG)) FUZZ_CHECK(!LastLoggedText(logBefore).empty());
        break;
    default:
        FUZZ_CHECK(raised == 0 && s.puts <= 1);
        if (s.puts == 1) FUZZ_CHECK(s.putResult != 0);
        FUZZ_CHECK(wa->MsgText[0] != 0);
        break;
    }
}

void ReadRow(Reader& r, Scenario& s) {
    for (Cell& c : s.cells) {
        uint8_t b = r.u8();
        c = Cell{};
        switch (b & 7) {
        case 5: c.rc = 9; break;
        case 6: c.rc = int16_t(1 + (b >> 3)); break;
        case 7: c.isNull = true; break;
        default: c.value = r.str(5000); break;
        }
    }
    uint8_t p = r.u8();
    s.putResult = p == 0xFF ? 5 : 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    /* The log goes to a directory of our own in memory; it is emptied per input. */
    char dir[] = "/dev/shm/ztnid-fuzz-XXXXXX";
    char fallback[] = "/tmp/ztnid-fuzz-XXXXXX";
    const char* d = mkdtemp(dir);
    if (!d) d = mkdtemp(fallback);
    if (!d) fuzz::Fail("no directory for the log file");
    setenv("ZTNID_DRIVE_C", d, 1);
    g_logDir = d;
    g_logPath = g_logDir + "/ZTMSG.TXT";
    std::atexit([] {
        std::remove(g_logPath.c_str());
        rmdir(g_logDir.c_str());
    });
    g_trace = std::getenv("ZT_FUZZ_TRACE") != nullptr;
    fuzz::Templates();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader r(data, size);
    Scenario s;
    g_s = &s;
    std::u16string ops = BuildOperands(r);
    s.operands = HeapString(ops);

    s.nSrc = r.u8() % 5;
    s.src = NewList(s.nSrc);
    s.src->NumCols = int16_t(s.nSrc);
    for (int i = 0; i < s.nSrc; ++i) ReadColumn(r, &s.src->Col[i], uint16_t(i + 1), s);
    s.nDst = 1 + r.u8() % 3;
    s.dst = NewList(s.nDst);
    s.dst->NumCols = int16_t(s.nDst);
    for (int i = 0; i < s.nDst; ++i) ReadColumn(r, &s.dst->Col[i], uint16_t(100 + i), s);
    s.cells.resize(size_t(s.nSrc));

    s.ip = static_cast<INPUTPARMS*>(std::calloc(1, sizeof(INPUTPARMS)));
    s.wa = static_cast<WORKAREA*>(std::calloc(1, sizeof(WORKAREA)));
    s.ip->pGetColValue = &Get;
    s.ip->pPutColValue = &Put;
    s.ip->pWorkArea = s.wa;
    s.ip->DestColIndex = int16_t(int(r.u8() % uint8_t(s.nDst + 2)) - 1);
    s.ip->NumParms = 1;
    s.ip->pParm[0] = s.operands;

    uint8_t fail = r.u8();
    fuzz::FailAllocation((fail >> 6) == 3 ? (fail & 63) + 1 : 0);
    fuzz::SeedDraws(r);
    if (FILE* f = std::fopen(g_logPath.c_str(), "wb")) std::fclose(f);

    int calls = 1 + r.u8() % 12;
    for (int i = 0; i < calls; ++i) {
        uint8_t b = r.u8();
        if (b == 0xFF) {
            CallAndCheck(s, CALLTYPE_END);
            continue;
        }
        ReadRow(r, s);
        CallAndCheck(s, b < 0xF0 ? 1u : b == 0xF0 ? 0u : uint32_t(b) << 8);
    }
    CallAndCheck(s, CALLTYPE_END);
    fuzz::FailAllocation(0);

    for (char16_t* n : s.names) std::free(n);
    std::free(s.operands);
    std::free(s.src);
    std::free(s.dst);
    std::free(s.ip);
    std::free(s.wa);
    g_s = nullptr;
    return 0;
}
