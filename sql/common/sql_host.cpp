/*
** sql_host.cpp - column maps for SQL functions, over the host emulation.
*/
#include "sql/common/sql_host.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "exit/operands/operands.h"
#include "host/emul/french_lock.h"
#include "host/emul/host_emul.h"
#include "host/emul/utf.h"

namespace sqlhost {

namespace {

enum {
    GET_CANNOT_CONVERT = 9, /* GetColValue: the value does not fit the buffer */
    PUT_REFUSED = 1,        /* PutColValue: the value does not fit the column */
    MAX_MAPS = 8,           /* column maps kept per call site (distinct operand strings) */
    VALUE_COLUMN = 0,
    COUNTRY_COLUMN = 1
};

/* The work-area counters, named for check's answer. */
const struct {
    int32_t WORKAREA::*counter;
    const char* name;
} kCounters[] = {
    {&WORKAREA::InvalidLengthCount, "invalid length"}, {&WORKAREA::InvalidPartCount, "invalid part"},
    {&WORKAREA::InvalidDataCount, "invalid data"},     {&WORKAREA::NullInputCount, "null input"},
    {&WORKAREA::ConversionErrorCount, "conversion error"},
    {&WORKAREA::InvalidSeparatorCount, "invalid separator"},
};
constexpr size_t COUNTER_COUNT = sizeof kCounters / sizeof kCounters[0];

/* Operands the function sets itself, and why the caller may not. */
const struct {
    uint16_t keyword;
    const char* refusal;
} kReserved[] = {
    {KW_SWITCH, "operand switch is not accepted: the country argument is the switch"},
    {KW_SOURCE, "operand source is not accepted: the value argument is the source"},
    {KW_METHOD, "operand method is not accepted: mask, check and random are separate functions"},
};

/* The host side of a map: the row's two arguments and the value the exit puts.  The
** callbacks run inside the exit's call: they never allocate and never throw. */
class RowValues : public hostemu::RowHost {
public:
    RowValues() { out.reserve(4 * COLUMN_LENGTH + 4); }

    int16_t get(size_t column, uint16_t valueType, uint16_t /*precision*/, void* buffer, int32_t bufferLength,
                int16_t* nullInd) override {
        const Text& t = cells[column == COUNTRY_COLUMN ? COUNTRY_COLUMN : VALUE_COLUMN];
        if (nullInd) *nullInd = t.isNull ? NULLIND_NULL : NULLIND_VALUE;
        if (t.isNull) return 0;
        if (valueType != VT_WSTRING || !buffer || bufferLength <= 0) return GET_CANNOT_CONVERT;
        size_t n = Utf8IntoUtf16(std::string_view(t.data, t.size), static_cast<char16_t*>(buffer),
                                 size_t(bufferLength) / 2);
        return n == SIZE_MAX ? GET_CANNOT_CONVERT : 0;
    }

    int16_t put(const char16_t* value, int32_t /*length*/) override {
        ++puts;
        putNull = value == nullptr;
        if (putNull) return 0;
        size_t n = 0;
        while (n <= COLUMN_LENGTH && value[n]) ++n;
        if (n > COLUMN_LENGTH) return PUT_REFUSED;
        out.clear(); /* within the reserved capacity: no allocation */
        AppendUtf8(out, value, n);
        return 0;
    }

    Text cells[2];
    std::string out;
    bool putNull = false;
    int puts = 0;
};

/* One operand string's column map. */
struct Entry {
    std::string operands;          /* the caller's, as given */
    std::string refusal;           /* set when the operands may not be used */
    RowValues host;
    std::unique_ptr<hostemu::ColumnMap> map;
};

hostemu::Column VarcharColumn(const char16_t* name) {
    hostemu::Column c;
    c.name = name;
    c.dataType = 2; /* VARCHAR */
    c.length = COLUMN_LENGTH;
    c.nullable = true;
    return c;
}

/* The refusal for operands that set what the function sets, or "". */
std::string ReservedOperand(const std::u16string& operands) {
    MAP map{};
    std::string refusal;
    if (ParseOperands(operands.c_str(), &map, u',', u'=') == OPS_OK)
        for (const auto& r : kReserved)
            if (refusal.empty() && FindOperand(r.keyword, &map, nullptr) == OPS_OK) refusal = r.refusal;
    FreeOperands(&map);
    return refusal;
}

std::unique_ptr<Entry> NewEntry(Method method, std::string_view operands) {
    auto e = std::make_unique<Entry>();
    e->operands = operands;
    std::u16string given = Utf8ToUtf16(operands);
    e->refusal = ReservedOperand(given);
    std::u16string all = method == METHOD_RANDOM ? u"switch=CTRY,method=random" : u"switch=CTRY";
    if (!given.empty()) all += u"," + given;
    e->map = std::make_unique<hostemu::ColumnMap>(KLOColMapWExit, all,
                                                  std::vector<hostemu::Column>{VarcharColumn(u"NID"),
                                                                               VarcharColumn(u"CTRY")},
                                                  std::vector<hostemu::Column>{VarcharColumn(u"NID")});
    e->map->setHost(&e->host);
    return e;
}

} // namespace

struct CallSite {
    Method method;
    std::vector<std::unique_ptr<Entry>> entries; /* most recently used first */
    std::string text;                            /* the last answer's text */

    /* The map of an operand string, made on first use; the least recently used one
    ** gets its end call when there are too many. */
    Entry* find(std::string_view operands) {
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i]->operands != operands) continue;
            for (; i > 0; --i) entries[i].swap(entries[i - 1]);
            return entries[0].get();
        }
        if (entries.size() == MAX_MAPS) entries.pop_back();
        entries.insert(entries.begin(), NewEntry(method, operands));
        return entries[0].get();
    }

    Answer answer(Status status, std::string s) {
        text = std::move(s);
        return Answer{status, text.c_str(), text.size()};
    }
};

CallSite* NewCallSite(Method method) noexcept {
    CallSite* site = new (std::nothrow) CallSite;
    if (site) site->method = method;
    return site;
}

void FreeCallSite(CallSite* site) noexcept { delete site; }

/* The first 50 characters of the exit's message, as UTF-8. */
static std::string MsgTextOf(const WORKAREA& wa) {
    size_t n = 0;
    while (n < MSGTEXT_BYTES / 2 && wa.MsgText[n]) ++n;
    return Utf16ToUtf8(std::u16string_view(wa.MsgText, n));
}

/* Why the exit skipped the row: the counter that grew. */
static const char* SkipReason(const WORKAREA& wa, const int32_t* before) {
    for (size_t i = 0; i < COUNTER_COUNT; ++i)
        if (wa.*kCounters[i].counter != before[i]) return kCounters[i].name;
    return "not masked";
}

Answer RunRow(CallSite* site, Text value, Text country, Text operands) noexcept {
    try {
        std::string_view ops = operands.isNull ? std::string_view() : std::string_view(operands.data, operands.size);
        Entry* e = site->find(ops);
        if (!e->refusal.empty()) return site->answer(ANSWER_ERROR, e->refusal);

        RowValues& h = e->host;
        h.cells[VALUE_COLUMN] = value;
        h.cells[COUNTRY_COLUMN] = country;
        h.puts = 0;
        h.putNull = false;
        const WORKAREA& wa = e->map->workArea();
        int32_t before[COUNTER_COUNT];
        for (size_t i = 0; i < COUNTER_COUNT; ++i) before[i] = wa.*kCounters[i].counter;

        int16_t rc;
        {
            /* The switch is the country argument: several connections may run rows at once. */
            hostemu::FrenchRowLock hold(!country.isNull &&
                                        hostemu::MayBeFrench(std::string_view(country.data, country.size)));
            rc = e->map->rowFast(nullptr, nullptr);
        }
        if (rc == 2) return site->answer(ANSWER_ERROR, MsgTextOf(wa));
        if (site->method == METHOD_CHECK)
            return rc == 0 ? Answer{ANSWER_NULL, "", 0} : site->answer(ANSWER_VALUE, SkipReason(wa, before));
        if (rc != 0 || h.puts == 0 || h.putNull) return Answer{ANSWER_NULL, "", 0};
        return Answer{ANSWER_VALUE, h.out.c_str(), h.out.size()};
    } catch (const std::bad_alloc&) {
        return Answer{ANSWER_NO_MEMORY, "out of memory", 13};
    } catch (...) {
        return Answer{ANSWER_ERROR, "internal error", 14};
    }
}

} // namespace sqlhost
