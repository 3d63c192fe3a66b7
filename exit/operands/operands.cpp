/*
** operands.cpp - parser of the column map's operand string.
**
** The text is parsed one level at a time: a cursor walks it one character per step,
** closing a keyword=value pair at every separator, jumping over parenthesised stretches
** and remembering whether such a stretch held a separator or an assignment (the list
** mark).  Values marked as lists are then parsed again into sub-maps, one level deep.
** Unknown keywords, pairs without a value and unbalanced parentheses are not errors:
** those pairs are simply left out of the map.
*/
#include "exit/operands/operands.h"

#include <climits>
#include <cstring>

#include "exit/memory.h"
#include "exit/wstr.h"

const KEYWORD KeywordTable[KEYWORD_COUNT] = {
    {KW_SWITCH, u"swt", u"switch"},    {KW_FORMAT, u"fmt", u"format"},
    {KW_SOURCE, u"src", u"source"},    {KW_DEBUG, u"dbg", u"debug"},
    {KW_STATUS, u"stat", u"status"},   {KW_METHOD, u"mtd", u"method"},
    {KW_VALIDATE, u"val", u"validate"}, {KW_COUNTRY, u"ctry", u"country"},
    {KW_STATE, u"st", u"state"},       {KW_FR, u"FR", u"france"},
    {KW_IT, u"IT", u"italy"},          {KW_ES, u"ES", u"spain"},
    {KW_UK, u"UK", u"uk"},             {KW_CA, u"CA", u"canada"},
    {KW_US, u"US", u"usa"},            {KW_KR, u"KR", u"korea"},
};

enum { INITIAL_ENTRIES = 5, GROW_ENTRIES = 3, MAX_DEPTH = 3 };

int LookupKeyword(const char16_t* name) {
    for (const KEYWORD& k : KeywordTable) {
        if (WEqualsNoCase(name, k.LongName) || WEqualsNoCase(name, k.ShortName)) return k.Id;
    }
    return -1;
}

int FindOperand(uint16_t keywordId, const MAP* map, MAPENTRY** out) {
    if (!map) return OPS_MISSING;
    for (int i = 0; i < map->Count; ++i) {
        if (map->pEntries[i].KeywordId == keywordId) {
            if (out) *out = &map->pEntries[i];
            return OPS_OK;
        }
    }
    return OPS_ABSENT;
}

void FreeOperands(MAP* map) {
    if (!map || !map->pEntries) return;
    for (int i = 0; i < map->Capacity; ++i) {
        MAPENTRY* e = &map->pEntries[i];
        if (e->IsList) {
            FreeOperands(e->Value.pList);
            ZtFree(e->Value.pList);
        } else {
            ZtFree(e->Value.pStr);
        }
        e->Value.pStr = nullptr;
    }
    ZtFree(map->pEntries);
    map->pEntries = nullptr;
}

/* Makes room for one more entry: grows a full array by three zero-filled entries. */
static int EnsureRoom(MAP* map) {
    if (map->Count < map->Capacity) return OPS_OK;
    if (map->Capacity > SHRT_MAX - GROW_ENTRIES) return OPS_NOMEM;
    int cap = map->Capacity + GROW_ENTRIES;
    void* p = ZtRealloc(map->pEntries, size_t(cap) * sizeof(MAPENTRY));
    if (!p) return OPS_NOMEM;
    map->pEntries = static_cast<MAPENTRY*>(p);
    std::memset(&map->pEntries[map->Capacity], 0, GROW_ENTRIES * sizeof(MAPENTRY));
    map->Capacity = int16_t(cap);
    return OPS_OK;
}

/* Closes the pair text[start, end): adds an entry for a known keyword with a value, or
** drops the pair.  *listMark is lowered when an entry is added. */
static int ClosePair(const char16_t* text, size_t start, size_t end, char16_t assign, MAP* map,
                     bool* listMark) {
    size_t eq = start;
    while (eq < end && text[eq] != assign) ++eq;
    if (eq == end) return OPS_OK; /* no assignment: dropped */

    char16_t keyword[KEYWORD_MAX_CHARS + 1];
    size_t klen = 0;
    for (size_t i = start; i < eq; ++i) {
        if (text[i] == u' ') continue;
        if (klen == KEYWORD_MAX_CHARS) return OPS_OK; /* too long to be a keyword */
        keyword[klen++] = text[i];
    }
    keyword[klen] = 0;
    int id = LookupKeyword(keyword);
    if (id < 0) return OPS_OK;

    size_t vstart = eq + 1;
    int opened = 0;
    while (vstart < end && (text[vstart] == u' ' || text[vstart] == u'(')) {
        if (text[vstart] == u'(') ++opened;
        ++vstart;
    }
    if (vstart == end) return OPS_OK; /* no value: dropped */

    size_t vend = end;
    while (vend > vstart) {
        char16_t c = text[vend - 1];
        if (c == u' ') {
            --vend;
        } else if (c == u')' && opened > 0) {
            --opened;
            --vend;
        } else {
            break;
        }
    }

    size_t vlen = vend - vstart;
    char16_t* value = static_cast<char16_t*>(ZtCalloc(vlen + 1, sizeof(char16_t)));
    if (!value) return OPS_NOMEM;
    std::memcpy(value, text + vstart, vlen * sizeof(char16_t));

    MAPENTRY* e = &map->pEntries[map->Count];
    e->KeywordId = uint16_t(id);
    e->Value.pStr = value;
    e->IsList = *listMark ? 1 : 0;
    *listMark = false;
    map->Count++;
    return OPS_OK;
}

/* Parses one level of text into map (see the file comment). */
static int ParseLevel(const char16_t* text, MAP* map, char16_t sep, char16_t assign) {
    if (!text) return OPS_MISSING;
    size_t cur = 0;
    while (text[cur] && !WIsLetter(text[cur])) ++cur;
    if (!text[cur]) return OPS_OK;

    map->pEntries = static_cast<MAPENTRY*>(ZtCalloc(INITIAL_ENTRIES, sizeof(MAPENTRY)));
    if (!map->pEntries) return OPS_NOMEM;
    map->Capacity = INITIAL_ENTRIES;
    map->Count = 0;

    size_t start = cur;
    bool listMark = false;
    for (;; ++cur) {
        int rc = EnsureRoom(map);
        if (rc) return rc;
        bool atEnd = text[cur] == 0;
        if ((atEnd || text[cur] == sep) && cur > start) {
            rc = ClosePair(text, start, cur, assign, map, &listMark);
            if (rc) return rc;
            start = cur + 1;
        } else if (text[cur] == u'(') {
            int depth = 0;
            for (;;) {
                char16_t c = text[cur];
                if (c == u'(') {
                    ++depth;
                } else if (c == u')') {
                    --depth;
                } else if (!listMark && (c == sep || c == assign)) {
                    listMark = true;
                }
                if (depth == 0 || text[cur + 1] == 0) break;
                ++cur;
            }
            if (depth != 0) break; /* unbalanced: the pending pair is lost */
        }
        if (atEnd) break;
    }
    return OPS_OK;
}

/* Turns an entry's string into a parsed sub-map, or drops the entry when the sub-list is
** empty.  Returns a non-zero code only when the sub-parse itself failed. */
static int ParseSubList(MAPENTRY* e, char16_t sep, char16_t assign, int depth);

/* Marks entries from index i on as plain strings, so that a map left by a failed parse
** holds no list mark over a value that is still a string. */
static void KeepAsStrings(MAP* map, int i) {
    for (; i < map->Count; ++i) map->pEntries[i].IsList = 0;
}

static int ParseDepth(const char16_t* text, MAP* map, char16_t sep, char16_t assign, int depth) {
    if (map->Capacity > 0 || depth >= MAX_DEPTH || !text) return OPS_OK;
    int rc = ParseLevel(text, map, sep, assign);
    if (rc) {
        KeepAsStrings(map, 0);
        return rc;
    }
    for (int i = 0; i < map->Count; ++i) {
        if (!map->pEntries[i].IsList) continue;
        rc = ParseSubList(&map->pEntries[i], sep, assign, depth);
        if (rc) {
            KeepAsStrings(map, i + 1);
            return rc;
        }
    }
    return OPS_OK;
}

static int ParseSubList(MAPENTRY* e, char16_t sep, char16_t assign, int depth) {
    MAP* sub = static_cast<MAP*>(ZtCalloc(1, sizeof(MAP)));
    if (!sub) {
        e->IsList = 0; /* keep the value as a plain string */
        return OPS_OK;
    }
    int rc = ParseDepth(e->Value.pStr, sub, sep, assign, depth + 1);
    if (rc == OPS_OK && sub->Count > 0) {
        ZtFree(e->Value.pStr);
        e->Value.pList = sub;
        return OPS_OK;
    }
    FreeOperands(sub);
    ZtFree(sub);
    ZtFree(e->Value.pStr);
    e->Value.pStr = nullptr;
    e->KeywordId = 0;
    e->IsList = 0;
    return rc;
}

int ParseOperands(const char16_t* text, MAP* map, char16_t sep, char16_t assign) {
    if (!map) return OPS_MISSING;
    return ParseDepth(text, map, sep, assign, 1);
}
