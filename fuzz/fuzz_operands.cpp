/*
** fuzz_operands.cpp - the operand parser on arbitrary 16-bit strings.
**
** Input: one mode byte, then the text.  Mode bit 0 chooses how the text is read: as
** UTF-16 code units (little endian), or one byte per character with 0xFF introducing a
** 16-bit unit, which keeps mutations of ASCII keywords readable.  Mode bits 1-7 make the
** n-th allocation fail (0: none), to drive the clean-up paths.
**
** Checks: the result is 0, or 32 only when an allocation failed; a parsed map is well
** formed (counts, keyword ids, terminated strings, sub-lists one level deep and never
** empty); parsing is deterministic; every lookup works on it; nothing leaks.
*/
#include <cstddef>
#include <cstdint>
#include <vector>

#include "exit/formats/formats.h"
#include "exit/operands/operands.h"
#include "exit/wstr.h"
#include "fuzz/fuzz_support.h"

namespace {

std::vector<char16_t> Decode(const uint8_t* d, size_t n, bool bytewise) {
    std::vector<char16_t> text;
    if (bytewise) {
        for (size_t i = 0; i < n; ++i) {
            if (d[i] == 0xFF && i + 2 < n) {
                text.push_back(char16_t(d[i + 1] | (d[i + 2] << 8)));
                i += 2;
            } else {
                text.push_back(char16_t(d[i]));
            }
        }
    } else {
        for (size_t i = 0; i + 1 < n; i += 2) text.push_back(char16_t(d[i] | (d[i + 1] << 8)));
    }
    text.push_back(0);
    return text;
}

/* A parsed map: counts in range, filled entries with a known keyword and a value of the
** right kind; dropped entries hold nothing. */
void CheckMap(const MAP* map, int depth) {
    FUZZ_CHECK(map->Capacity >= 0 && map->Count >= 0 && map->Count <= map->Capacity);
    FUZZ_CHECK((map->Capacity == 0) == (map->pEntries == nullptr));
    int filled = 0;
    for (int i = 0; i < map->Capacity; ++i) {
        const MAPENTRY& e = map->pEntries[i];
        FUZZ_CHECK(e.KeywordId <= KEYWORD_COUNT);
        if (e.KeywordId == 0) {
            FUZZ_CHECK(!e.IsList && e.Value.pStr == nullptr);
            continue;
        }
        ++filled;
        if (e.IsList) {
            FUZZ_CHECK(depth == 1); /* lists are one level deep */
            FUZZ_CHECK(e.Value.pList && e.Value.pList->Count > 0);
            CheckMap(e.Value.pList, depth + 1);
        } else {
            FUZZ_CHECK(e.Value.pStr != nullptr);
            (void)WStrLen(e.Value.pStr); /* terminated inside its block (ASan) */
        }
    }
    FUZZ_CHECK(filled <= map->Count);
}

bool SameString(const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
        if (*a != *b) return false;
        if (*a == 0) return true;
    }
}

/* The same text parsed twice gives the same map. */
bool SameMap(const MAP* a, const MAP* b) {
    if (a->Count != b->Count || a->Capacity != b->Capacity) return false;
    for (int i = 0; i < a->Capacity; ++i) {
        const MAPENTRY &x = a->pEntries[i], &y = b->pEntries[i];
        if (x.KeywordId != y.KeywordId || x.IsList != y.IsList) return false;
        if (x.KeywordId == 0) continue;
        if (x.IsList ? !SameMap(x.Value.pList, y.Value.pList) : !SameString(x.Value.pStr, y.Value.pStr))
            return false;
    }
    return true;
}

/* Every lookup the exit makes on a map. */
void LookUpEverything(const MAP* map) {
    static const char16_t* const kTable[] = {u"5X2C8X", u"16X", u"7X-1X", u"2C 2X 2X 2X 1C"};
    for (uint16_t id = 0; id <= KEYWORD_COUNT + 1; ++id) {
        MAPENTRY* e = nullptr;
        int rc = FindOperand(id, map, &e);
        FUZZ_CHECK(rc == OPS_OK || rc == OPS_ABSENT);
        FUZZ_CHECK((rc == OPS_OK) == (e != nullptr && e->KeywordId == id));
    }
    for (uint16_t id = KW_FR; id <= KW_UK; ++id) {
        const char16_t* desc = nullptr;
        int rc = GetCountryFormat(id, map, &desc);
        FUZZ_CHECK(rc == OPS_OK || rc == OPS_ABSENT || rc == FMT_NOT_A_LIST);
        if (rc == OPS_OK) {
            FUZZ_CHECK(desc != nullptr);
            int k = FindFormat(desc, kTable, 4);
            FUZZ_CHECK(k >= -1 && k < 4);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint8_t mode = data[0];
    std::vector<char16_t> text = Decode(data + 1, size - 1, mode & 1);
    int failAt = mode >> 1;

    MAP map{};
    fuzz::FailAllocation(failAt);
    int rc = ParseOperands(text.data(), &map, u',', u'=');
    fuzz::FailAllocation(0);
    FUZZ_CHECK(rc == OPS_OK || rc == OPS_NOMEM);
    if (rc == OPS_OK) {
        CheckMap(&map, 1);
        LookUpEverything(&map);
        if (failAt == 0) {
            MAP again{};
            FUZZ_CHECK(ParseOperands(text.data(), &again, u',', u'=') == OPS_OK);
            FUZZ_CHECK(SameMap(&map, &again));
            FreeOperands(&again);
        }
    } else {
        /* Memory exhausted: only when an allocation was made to fail, or when the text
        ** holds more pairs than a map counts. */
        FUZZ_CHECK(failAt != 0 || text.size() > 60000);
    }
    /* A map that already has entries is not parsed again. */
    if (map.Capacity > 0) FUZZ_CHECK(ParseOperands(text.data(), &map, u',', u'=') == OPS_OK);
    FreeOperands(&map);
    FUZZ_CHECK(map.pEntries == nullptr);
    return 0;
}
