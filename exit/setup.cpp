/*
** setup.cpp - the set-up of a column on its first row call, and the column lookup.
**
** The set-up allocates the column's state, parses the operand string into mode bits,
** finds the source column and initialises the countries.  Each failure stops it with
** result 2 and its numbered message; what was allocated stays until the end call.
*/
#include "exit/exit_internal.h"
#include "exit/log/log.h"
#include "exit/memory.h"
#include "exit/operands/operands.h"
#include "exit/wstr.h"

enum {
    MSG_SWITCH_MISSING = 1,
    MSG_INCOMPATIBLE = 2,
    MSG_INVALID_VALUE = 3,
    MSG_COLUMN_NOT_FOUND = 4,
    MSG_NO_OPERANDS = 5,
    MSG_OPERANDS_FAILED = 6,
    MSG_NO_COUNTRIES = 0xb,
    MSG_NO_MEMORY = 0x20,
    MSG_METHOD_DEFAULT = 0x38,
    MSG_INTERNAL = 0xff,
    MAX_SOURCE_NAME = 4095,
    MAX_QUOTED_NAME = 522
};

COLDESC* ColumnAt(COLLIST* list, int i) {
    if (!list || i < 0 || i >= list->NumCols) return nullptr;
    return &list->Col[i];
}

/* True when name (len characters) equals the column name ignoring case. */
static bool NameEquals(const char16_t* name, size_t len, const char16_t* colName) {
    if (!colName) return false;
    for (size_t i = 0; i < len; ++i) {
        if (colName[i] == 0 || WToUpper(colName[i]) != WToUpper(name[i])) return false;
    }
    return colName[len] == 0;
}

COLDESC* FindColumn(const char16_t* name, size_t len, COLLIST* list) {
    if (!name || !list) return nullptr;
    if (len > 0 && name[0] == u'"') {
        if (len < 2) return nullptr;
        name += 1;
        len -= 2; /* the opening quote and the closing character */
        if (len > MAX_QUOTED_NAME) return nullptr;
    }
    for (int i = 0; i < list->NumCols; ++i) {
        if (NameEquals(name, len, list->Col[i].pColName)) return &list->Col[i];
    }
    return nullptr;
}

uint32_t* CountryWorkArea(WORKAREA* wa, uint16_t countryBit) {
    switch (countryBit) {
    case COUNTRY_FR: return wa->pWorkAreaFR;
    case COUNTRY_IT: return wa->pWorkAreaIT;
    case COUNTRY_UK: return wa->pWorkAreaUK;
    case COUNTRY_ES: return wa->pWorkAreaES;
    default: return nullptr;
    }
}

/* Allocates one zero-filled country word; NULL (message formatted) on failure. */
static uint32_t* AllocCountryArea(CALL* c, const char16_t* name) {
    uint32_t* p = static_cast<uint32_t*>(ZtCalloc(1, sizeof(uint32_t)));
    if (!p) FormatMsg(c->msg, u"NID ERROR %#x: Failed to allocate memory for %s", MSG_NO_MEMORY, name);
    return p;
}

/* The plain value of a keyword, or NULL when absent or a list. */
static const char16_t* PlainOperand(const MAP* map, uint16_t id) {
    MAPENTRY* e = nullptr;
    return FindOperand(id, map, &e) == OPS_OK ? PlainValue(e) : nullptr;
}

/* True when the keyword has a plain value beginning with "y" or "Y". */
static bool IsYes(const MAP* map, uint16_t id) {
    const char16_t* v = PlainOperand(map, id);
    return v && (v[0] == u'y' || v[0] == u'Y');
}

/* Sets the debug, status, validate and method bits; EXIT_ERROR on a bad method. */
static int16_t SetModeBits(CALL* c, RBPDATA* rbp, const MAP* map) {
    if (IsYes(map, KW_DEBUG)) rbp->Flags |= MODE_DEBUG;
    if (IsYes(map, KW_STATUS)) rbp->Flags |= MODE_STATUS;
    if (IsYes(map, KW_VALIDATE)) rbp->Flags |= MODE_VALIDATE;

    const char16_t* method = PlainOperand(map, KW_METHOD);
    if (!method) {
        rbp->Flags |= MODE_MASK;
        FormatMsg(c->msg, u"NID ERROR %#x: Operand %s not provided,Choosing MASK as default ",
                  MSG_METHOD_DEFAULT, u"method");
    } else if (WPrefixNoCase(method, u"mask", 4)) {
        rbp->Flags |= MODE_MASK;
    } else if (WPrefixNoCase(method, u"random", 6)) {
        rbp->Flags |= MODE_RANDOM;
    } else {
        FormatMsg(c->msg, u"NID ERROR %#x: Invalid Value specified for Operand %s", MSG_INVALID_VALUE,
                  u"method");
        return EXIT_ERROR;
    }
    if ((rbp->Flags & MODE_VALIDATE) && (rbp->Flags & MODE_RANDOM)) {
        FormatMsg(c->msg, u"NID ERROR %#x: Incompatible operands %s & %s provided", MSG_INCOMPATIBLE,
                  u"validate", u"random");
        return EXIT_ERROR;
    }
    return 0;
}

/* Parses the operand string into a new MAP stored in pOperands. */
static int16_t ParseColumnOperands(CALL* c, RBPDATA* rbp) {
    MAP* map = static_cast<MAP*>(ZtCalloc(1, sizeof(MAP)));
    if (!map) {
        FormatMsg(c->msg, u"NID ERROR %#x: Failed to allocate memory for %s", MSG_NO_MEMORY, u"MAP");
        return EXIT_ERROR;
    }
    int rc = ParseOperands(c->ip->pParm[0], map, u',', u'=');
    if (rc != OPS_OK || map->Count == 0) {
        FreeOperands(map);
        ZtFree(map);
        if (rc != OPS_OK)
            FormatMsg(c->msg, u"NID ERROR %#x: Failed to get the Operands", MSG_OPERANDS_FAILED);
        else
            FormatMsg(c->msg, u"NID ERROR %#x: No Operands found.", MSG_NO_OPERANDS);
        return EXIT_ERROR;
    }
    rbp->pOperands = map;
    return 0;
}

/* Finds the source column: the source operand, or the destination column's name. */
static int16_t FindSourceColumn(CALL* c, RBPDATA* rbp) {
    const char16_t* name = PlainOperand(rbp->pOperands, KW_SOURCE);
    if (!name) name = rbp->pDestCol->pColName;
    size_t len = WStrNLen(name, MAX_SOURCE_NAME);
    rbp->pSrcCol = FindColumn(name, len, rbp->pSrcColList);
    if (rbp->pSrcCol) return 0;
    FormatMsg(c->msg, u"NID ERROR %#x: Col %s not in sourcecol list", MSG_COLUMN_NOT_FOUND,
              name ? name : u"");
    return EXIT_ERROR;
}

/* Initialises every country in order; a failure leaves that country out. */
static void InitCountries(CALL* c, RBPDATA* rbp) {
    for (const COUNTRYROUTINES& k : c->countries->Country) {
        int32_t rc = k.Init(rbp, CountryWorkArea(c->wa, k.Bit));
        if (rc == 0) {
            c->wa->CountriesInit |= k.Bit;
        } else if (rbp->Flags & (MODE_DEBUG | MODE_STATUS)) {
            FormatMsg(c->msg, k.InitFailedMsg, rc);
            LogMessage(LOG_TAG, c->msg);
        }
    }
}

int16_t SetUpColumn(CALL* c) {
    WORKAREA* wa = c->wa;
    RBPDATA* rbp = static_cast<RBPDATA*>(ZtCalloc(1, sizeof(RBPDATA)));
    if (!rbp) {
        FormatMsg(c->msg, u"NID ERROR %#x: Failed to allocate memory for %s", MSG_NO_MEMORY, u"RBPDATA");
        return EXIT_ERROR;
    }
    wa->pRBPDATA = rbp;
    if (!(wa->pWorkAreaES = AllocCountryArea(c, u"WorkAreaES"))) return EXIT_ERROR;
    if (!(wa->pWorkAreaFR = AllocCountryArea(c, u"WorkAreaFR"))) return EXIT_ERROR;
    if (!(wa->pWorkAreaIT = AllocCountryArea(c, u"WorkAreaIT"))) return EXIT_ERROR;
    if (!(wa->pWorkAreaUK = AllocCountryArea(c, u"WorkAreaUK"))) return EXIT_ERROR;

    wa->NullInputCount = wa->InvalidDataCount = wa->InvalidLengthCount = 0;
    wa->ConversionErrorCount = wa->InvalidPartCount = wa->InvalidSeparatorCount = 0;

    rbp->pInputParms = c->ip;
    rbp->pSrcColList = c->srcList;
    rbp->pDestColList = c->destList;
    rbp->pDestCol = ColumnAt(c->destList, c->ip->DestColIndex);
    rbp->pMsgBuf = c->msg;
    if (!rbp->pDestCol) { /* the host's records name no destination column */
        FormatMsg(c->msg, u"NID ERROR %#x: INTERNAL ERROR", MSG_INTERNAL);
        return EXIT_ERROR;
    }

    if (ParseColumnOperands(c, rbp)) return EXIT_ERROR;

    MAPENTRY* sw = nullptr;
    if (FindOperand(KW_SWITCH, rbp->pOperands, &sw) != OPS_OK) {
        FormatMsg(c->msg, u"NID ERROR %#x: Operand %s not provided", MSG_SWITCH_MISSING, u"switch");
        return EXIT_ERROR;
    }
    if (sw->IsList) { /* a list names neither a country nor a column */
        FormatMsg(c->msg, u"NID ERROR %#x: Invalid Value specified for Operand %s", MSG_INVALID_VALUE,
                  u"switch");
        return EXIT_ERROR;
    }

    if (SetModeBits(c, rbp, rbp->pOperands)) return EXIT_ERROR;
    if (!(rbp->Flags & MODE_RANDOM) && FindSourceColumn(c, rbp)) return EXIT_ERROR;

    InitCountries(c, rbp);
    if (wa->CountriesInit == 0) {
        FormatMsg(c->msg, u"NID ERROR %#x: No Countries initialized for Masking", MSG_NO_COUNTRIES);
        return EXIT_ERROR;
    }
    rbp->Flags |= MODE_SETUP_DONE;
    return 0;
}
