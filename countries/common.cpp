/*
** common.cpp - what the countries share: the column checks and the blank result.
*/
#include "countries/countries.h"

int16_t ValueTypeOfHostType(int16_t hostType) {
    switch (hostType) {
    case 1: return 1;
    case 2: return 3;
    case 30: return 31;
    case 31: return 33;
    case 32: return 35;
    case 33: return 37;
    default: return -1;
    }
}

int32_t CheckStringColumn(const COLDESC* col, int16_t* typeCode, bool isSource, int32_t minLength) {
    if (!col) return isSource ? COLCHECK_BAD_SOURCE_TYPE : COLCHECK_BAD_DEST_TYPE;
    int16_t code = ValueTypeOfHostType(col->DataType);
    if (code < 0) return isSource ? COLCHECK_BAD_SOURCE_TYPE : COLCHECK_BAD_DEST_TYPE;
    *typeCode = code;
    if (col->Length < minLength || col->Length > 255) return COLCHECK_BAD_LENGTH;
    return COLCHECK_OK;
}

int32_t WriteBlankOutput(RBPDATA* rbp, int32_t n) {
    char16_t* out = rbp->OutValue.pStr;
    if (n > OUT_BUF_CHARS - 1) n = OUT_BUF_CHARS - 1;
    for (int32_t i = 0; i < n; ++i) out[i] = u' ';
    out[n < 0 ? 0 : n] = 0;
    rbp->OutLength = n < 0 ? 0 : n;
    rbp->OutKind = KIND_STRING;
    return RC_BLANK;
}
