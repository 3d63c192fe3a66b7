/*
** columns.cpp - the column checks that the countries share.
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
