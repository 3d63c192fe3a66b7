/*
** formats.cpp - format descriptor lookup.
*/
#include "exit/formats/formats.h"

#include "exit/operands/operands.h"
#include "exit/wstr.h"

int GetCountryFormat(uint16_t countryId, const MAP* map, const char16_t** out) {
    MAPENTRY* format = nullptr;
    int rc = FindOperand(KW_FORMAT, map, &format);
    if (rc) return rc;
    if (!format->IsList) return FMT_NOT_A_LIST;
    MAPENTRY* country = nullptr;
    rc = FindOperand(countryId, format->Value.pList, &country);
    if (rc) return rc;
    if (country->IsList) return FMT_NOT_A_LIST;
    *out = country->Value.pStr;
    return 0;
}

int FindFormat(const char16_t* desc, const char16_t* const* table, int n) {
    for (int i = 0; i < n; ++i)
        if (WEqualsNoCase(desc, table[i])) return i;
    return -1;
}
