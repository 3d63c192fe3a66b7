/*
** operands.h - the operand string of a column map, parsed into a MAP.
**
** "switch=CTRY,method=mask,format=(FR=5X2C8X,IT=16X)" becomes a map of keyword ids to
** values; a parenthesised value holding "," or "=" becomes a sub-map, one level deep.
*/
#ifndef ZT0NID_OPERANDS_H
#define ZT0NID_OPERANDS_H

#include <stdint.h>

struct MAP;

/* One keyword=value pair. */
struct MAPENTRY {
    uint8_t IsList;               /* nonzero: Value.pList is a sub-map */
    uint16_t KeywordId;           /* KW_*; 0 for an entry that was dropped */
    union {
        char16_t* pStr;
        MAP* pList;
    } Value;
};

/* The operand map; owned by whoever allocated it, zero-filled before parsing. */
struct MAP {
    int16_t Capacity;             /* entries allocated */
    int16_t Count;                /* entries filled */
    MAPENTRY* pEntries;
};

/* Keyword ids of KeywordTable. */
enum {
    KW_SWITCH = 1,
    KW_FORMAT = 2,
    KW_SOURCE = 3,
    KW_DEBUG = 4,
    KW_STATUS = 5,
    KW_METHOD = 6,
    KW_VALIDATE = 7,
    KW_COUNTRY = 8,
    KW_STATE = 9,
    KW_FR = 10,
    KW_IT = 11,
    KW_ES = 12,
    KW_UK = 13,
    KW_CA = 14,
    KW_US = 15,
    KW_KR = 16
};

/* Result codes of the parser and of FindOperand. */
enum {
    OPS_OK = 0,
    OPS_MISSING = 8,              /* no text or no map */
    OPS_NOMEM = 32,               /* memory exhausted (or more pairs than a map holds) */
    OPS_ABSENT = 56               /* keyword not present */
};

enum { KEYWORD_COUNT = 16, KEYWORD_MAX_CHARS = 15 };

/* One record of the keyword table. */
struct KEYWORD {
    uint16_t Id;
    char16_t ShortName[5];
    char16_t LongName[15];
};
extern const KEYWORD KeywordTable[KEYWORD_COUNT];

/* Parses text into the zero-filled map; sep and assign are normally ',' and '='. */
int ParseOperands(const char16_t* text, MAP* map, char16_t sep, char16_t assign);

/* Finds the first entry with the keyword id: 0 and *out (when out is not NULL), 56 when
** absent, 8 when map is NULL. */
int FindOperand(uint16_t keywordId, const MAP* map, MAPENTRY** out);

/* Releases everything the map owns, not the MAP record itself. */
void FreeOperands(MAP* map);

/* Keyword id of a long or short name, ignoring case; -1 when unknown. */
int LookupKeyword(const char16_t* name);

/* The plain string value of an entry, or NULL when the entry holds a sub-list. */
inline const char16_t* PlainValue(const MAPENTRY* e) { return e && !e->IsList ? e->Value.pStr : nullptr; }

#endif
