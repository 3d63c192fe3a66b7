/*
** keyed_column.cpp - the keyed columns of a ztnid run.
**
** The key and each keyed column's scope and direction are set before the run and only read
** during it.  Each work area (one per thread and column) opens its own masker at its first
** row and keeps it where the exit keeps its state; the end call closes it.
*/
#include "host/ztnid/keyed_column.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "exit/exit_internal.h"
#include "exit/operands/operands.h"
#include "exit/wstr.h"
#include "host/emul/utf.h"
#include "keyed/keyed.h"

namespace ztnid {

namespace {

enum { MSG_GET_FAILED = 9, MSG_PUT_FAILED = 0xa, GET_CANNOT_CONVERT = 9, SWITCH_BUF_CHARS = 4 };

/* A keyed destination column as the command line set it. */
struct KeyedColumn {
    std::u16string dest;
    std::string scope;
    bool unmask;
};

struct Keyed {
    KEYEDKEY key{};
    std::vector<KeyedColumn> columns;
};
Keyed g_keyed; /* written before the run, read by its threads */

/* One work area's state: the masker, the columns it reads and its buffers. */
struct STATE {
    KEYED* masker;
    bool unmask;
    COLDESC* source;
    COLDESC* switchColumn;        /* NULL when the switch is a quoted code */
    uint16_t country;             /* the quoted code's country */
    char16_t value[VALUE_BUF_CHARS];
    char16_t out[KEYED_OUT_CHARS];
    char16_t msg[MSG_BUF_CHARS];
};

/* The state is kept in the work area where the exit keeps its own (a pointer's bytes). */
STATE* StateOf(const WORKAREA* wa) {
    STATE* s;
    std::memcpy(&s, &wa->pRBPDATA, sizeof s);
    return s;
}
void SetState(WORKAREA* wa, STATE* s) { std::memcpy(&wa->pRBPDATA, &s, sizeof s); }

/* Fails the call: the first 50 characters of the message go to the work area. */
int16_t Fail(WORKAREA* wa, const std::u16string& msg) {
    std::memset(wa->MsgText, 0, sizeof wa->MsgText);
    std::memcpy(wa->MsgText, msg.data(), std::min(msg.size(), size_t(50)) * sizeof(char16_t));
    return EXIT_ERROR;
}

/* The plain value of an operand, or NULL. */
const char16_t* Operand(const MAP* map, uint16_t keyword) {
    MAPENTRY* e = nullptr;
    return FindOperand(keyword, map, &e) == OPS_OK ? PlainValue(e) : nullptr;
}

/* Opens the work area's masker and finds its columns on the first row call. */
int16_t SetUp(INPUTPARMS* ip, COLLIST* srcList, COLLIST* destList, STATE** out) {
    WORKAREA* wa = static_cast<WORKAREA*>(ip->pWorkArea);
    COLDESC* dest = ColumnAt(destList, ip->DestColIndex);
    const char16_t* ops = ip->NumParms > 0 ? ip->pParm[0] : nullptr;
    if (!dest || !ops) return Fail(wa, u"keyed: no destination column or operands");
    const KeyedColumn* kc = nullptr;
    for (const KeyedColumn& c : g_keyed.columns)
        if (WEqualsNoCase(c.dest.c_str(), dest->pColName)) kc = &c;
    if (!kc) return Fail(wa, u"keyed: the column is not keyed");

    MAP map{};
    if (ParseOperands(ops, &map, u',', u'=') != OPS_OK) {
        FreeOperands(&map);
        return Fail(wa, u"keyed: the operands cannot be read");
    }
    auto* s = new (std::nothrow) STATE{};
    const char16_t* src = Operand(&map, KW_SOURCE);
    const char16_t* sw = Operand(&map, KW_SWITCH);
    if (s) {
        s->unmask = kc->unmask;
        s->source = src ? FindColumn(src, WStrLen(src), srcList) : FindColumn(dest->pColName, WStrLen(dest->pColName), srcList);
        if (sw && sw[0] == u'"') s->country = CountryOfCode(sw + 1);
        else if (sw) s->switchColumn = FindColumn(sw, WStrLen(sw), srcList);
    }
    FreeOperands(&map);
    if (!s) return Fail(wa, u"keyed: out of memory");
    char err[KEYED_ERR_CHARS] = "";
    s->masker = s->source ? KeyedOpen(&g_keyed.key, ops, kc->scope.data(), kc->scope.size(), err) : nullptr;
    if (!s->masker) {
        std::u16string why = s->source ? u"keyed: " + Utf8ToUtf16(err) : u"keyed: the source column is not found";
        delete s;
        return Fail(wa, why);
    }
    SetState(wa, s);
    *out = s;
    return EXIT_DONE;
}

/* The row's country: the quoted code, or the switch column's value. */
uint16_t CountryOfRow(INPUTPARMS* ip, STATE* s) {
    if (!s->switchColumn) return s->country;
    char16_t buf[SWITCH_BUF_CHARS] = {};
    int16_t ind = 0;
    COLDESC* c = s->switchColumn;
    if (ip->pGetColValue(c->ColId, VT_WSTRING, c->Precision, c->Scale, buf, sizeof buf, &ind) != 0 ||
        ind == NULLIND_NULL)
        return 0;
    buf[SWITCH_BUF_CHARS - 1] = 0;
    return CountryOfCode(buf);
}

/* Writes value (NULL for SQL NULL) to the destination column. */
int16_t Put(INPUTPARMS* ip, COLDESC* dest, const char16_t* value) {
    int16_t ind = value ? NULLIND_VALUE : NULLIND_NULL;
    char16_t none = 0;
    if (ip->pPutColValue(VT_WSTRING, dest->Precision, dest->Scale, const_cast<char16_t*>(value ? value : &none),
                         dest->Length, &ind) == 0)
        return EXIT_DONE;
    return Fail(static_cast<WORKAREA*>(ip->pWorkArea),
                u"NID ERROR 0xa: Error Putting col " + std::u16string(dest->pColName) + u" data");
}

int16_t Row(INPUTPARMS* ip, COLLIST* destList, STATE* s) {
    WORKAREA* wa = static_cast<WORKAREA*>(ip->pWorkArea);
    COLDESC* dest = ColumnAt(destList, ip->DestColIndex);
    COLDESC* src = s->source;
    int16_t ind = NULLIND_VALUE;
    /* The buffer the exit asks for: the declared length (bytes for the W types), and a NUL. */
    int64_t units = (src->DataType == 32 || src->DataType == 33) ? src->Length / 2 : src->Length;
    int32_t bytes = int32_t(std::clamp<int64_t>(units * 2 + 2, 2, int64_t(sizeof s->value) - 2));
    std::memset(s->value, 0, sizeof s->value);
    int16_t rc = ip->pGetColValue(src->ColId, VT_WSTRING, src->Precision, src->Scale, s->value, bytes, &ind);
    if (rc == GET_CANNOT_CONVERT) return ++wa->ConversionErrorCount, EXIT_SKIPPED;
    if (rc != 0) return Fail(wa, u"NID ERROR 0x9: Error Getting col: " + std::u16string(src->pColName) + u" data");
    if (src->Nullable && ind == NULLIND_NULL) {
        if (dest->Nullable) return Put(ip, dest, nullptr);
        return ++wa->NullInputCount, EXIT_SKIPPED;
    }
    int32_t len = int32_t(WStrLen(s->value)), n = 0;
    uint16_t country = CountryOfRow(ip, s);
    int32_t r = s->unmask ? KeyedUnmask(s->masker, country, s->value, len, s->out, &n, s->msg)
                          : KeyedMask(s->masker, country, s->value, len, s->out, &n, s->msg);
    if (r == RC_OK) return s->out[n] = 0, Put(ip, dest, s->out);
    if (r == RC_BLANK) return Put(ip, dest, s->value);
    if (int32_t WORKAREA::*counter = KeyedCounter(r)) wa->*counter += 1;
    return EXIT_SKIPPED;
}

int16_t KeyedColumnCall(INPUTPARMS* ip, COLLIST* srcList, COLLIST* destList) {
    WORKAREA* wa = static_cast<WORKAREA*>(ip->pWorkArea);
    STATE* s = StateOf(wa);
    if (ip->CallType == CALLTYPE_END) {
        if (s) KeyedClose(s->masker);
        delete s;
        SetState(wa, nullptr);
        return EXIT_DONE;
    }
    if (!s && SetUp(ip, srcList, destList, &s) != EXIT_DONE) return EXIT_ERROR;
    return Row(ip, destList, s);
}

/* The entry point: nothing thrown leaves it. */
int16_t KeyedColumnExit(INPUTPARMS* ip, COLLIST* srcList, COLLIST* destList) {
    if (!ip || !ip->pWorkArea || !ip->pGetColValue || !ip->pPutColValue) return EXIT_ERROR;
    try {
        return KeyedColumnCall(ip, srcList, destList);
    } catch (...) {
        return Fail(static_cast<WORKAREA*>(ip->pWorkArea), u"keyed: out of memory");
    }
}

} // namespace

void PrepareKeyed(const KeyedArgs& args, bool unmask, std::vector<MapSpec>& maps) {
    ForgetKey();
    for (const std::string& column : args.columns) {
        size_t eq = column.find('=');
        std::string dest = column.substr(0, eq), scope = eq == std::string::npos ? "" : column.substr(eq + 1);
        bool found = false;
        for (MapSpec& m : maps) found = found || NamesEqual(m.dest, dest);
        if (!found) throw UsageError("--keyed " + dest + ": no --map for that column");
        if (scope.size() > KEYED_SCOPE_MAX)
            throw UsageError("--keyed " + dest + ": the scope is longer than " + std::to_string(KEYED_SCOPE_MAX) + " bytes");
        g_keyed.columns.push_back({Utf8ToUtf16(dest), scope, unmask});
    }
    if (unmask) {
        if (maps.empty()) throw UsageError("unmask needs the --map of each column to reverse");
        for (const MapSpec& m : maps) {
            bool named = false;
            for (const KeyedColumn& c : g_keyed.columns) named = named || NamesEqual(Utf16ToUtf8(c.dest), m.dest);
            if (!named) g_keyed.columns.push_back({Utf8ToUtf16(m.dest), "", true});
        }
    }
    for (MapSpec& m : maps)
        for (const KeyedColumn& c : g_keyed.columns) m.keyed = m.keyed || NamesEqual(Utf16ToUtf8(c.dest), m.dest);
    if (g_keyed.columns.empty()) {
        if (!args.keyFile.empty() || !args.keyEnv.empty()) throw UsageError("--key-file and --key-env need --keyed");
        return;
    }
    if (args.keyFile.empty() == args.keyEnv.empty())
        throw UsageError("keyed masking needs the key: give either --key-file FILE or --key-env NAME");
    char err[KEYED_ERR_CHARS] = "";
    bool ok = args.keyFile.empty() ? KeyedReadKeyEnv(args.keyEnv.c_str(), &g_keyed.key, err)
                                   : KeyedReadKeyFile(args.keyFile.c_str(), &g_keyed.key, err);
    if (!ok) throw UsageError(err);
    for (const MapSpec& m : maps) {
        if (!m.keyed) continue;
        std::string scope;
        for (const KeyedColumn& c : g_keyed.columns)
            if (NamesEqual(Utf16ToUtf8(c.dest), m.dest)) scope = c.scope;
        KEYED* k = KeyedOpen(&g_keyed.key, Utf8ToUtf16(m.operands).c_str(), scope.data(), scope.size(), err);
        if (!k) throw UsageError("column " + m.dest + ": " + err);
        KeyedClose(k);
    }
}

void ForgetKey() {
    KeyedWipeKey(&g_keyed.key);
    g_keyed.columns.clear();
}

PFN_KLOCOLMAPWEXIT KeyedExit() { return &KeyedColumnExit; }

} // namespace ztnid
