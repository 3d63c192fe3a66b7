/*
** init_it.cpp - Italy: accepted formats, column checks and the country's initialisation.
*/
#include "countries/it/it.h"
#include "exit/formats/formats.h"
#include "exit/log/log.h"
#include "exit/operands/operands.h"

/* The accepted format values; the index decides the WorkAreaIT bits (FormatFlagsIT). */
const char16_t* const FormatTableIT[IT_FORMAT_COUNT] = {
    u"16X",         u"6C10X",         u"6X5C5X",        u"11X4C1X",       u"6X9C1X",        u"6C5X4C1X",
    u"11C5X",       u"3X 3X 5X 5X",   u"3C 3C 5X 5X",   u"3X 3X 5C 5X",   u"3X 3X 5X 4C1X", u"3X 3X 5C 4C1X",
    u"3C 3C 5X 4C1X", u"3C 3C 5C 5X", u"3X-3X-5X-5X",   u"3C-3C-5X-5X",   u"3X-3X-5C-5X",   u"3X-3X-5X-4C1X",
    u"3X-3X-5C-4C1X", u"3C-3C-5X-4C1X", u"3C-3C-5C-5X",
};

uint32_t FormatFlagsIT(int index) {
    static const uint8_t kParts[7] = {IT_NAMES | IT_DATE | IT_COMMUNE, IT_DATE | IT_COMMUNE,
                                      IT_NAMES | IT_COMMUNE,          IT_NAMES | IT_DATE,
                                      IT_NAMES,                       IT_DATE,
                                      IT_COMMUNE};
    static const uint8_t kLayout[3] = {IT_COMPACT, IT_BLANK, IT_HYPHEN};
    if (index < 0 || index >= IT_FORMAT_COUNT) return IT_DEFAULT_FORMAT;
    return uint32_t(kParts[index % 7] | kLayout[index / 7]);
}

int32_t CheckColTypeIT(const COLDESC* col, int16_t* typeCode, bool isSource) {
    int16_t code = col ? ValueTypeOfHostType(col->DataType) : -1;
    if (code < 0) return isSource ? COLCHECK_BAD_SOURCE_TYPE : COLCHECK_BAD_DEST_TYPE;
    if (col->Length < IT_CODE_CHARS || col->Length > 255) return COLCHECK_BAD_LENGTH;
    *typeCode = code;
    return COLCHECK_OK;
}

/* The WorkAreaIT word of the format operand; writes the message of a default. */
static uint32_t ChooseFormatIT(RBPDATA* rbp) {
    const char16_t* desc = nullptr;
    if (GetCountryFormat(KW_IT, rbp->pOperands, &desc) != 0 || !desc) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR Format Value Not Found: Default Format used\n");
        return IT_DEFAULT_FORMAT;
    }
    int index = FindFormat(desc, FormatTableIT, IT_FORMAT_COUNT);
    if (index < 0) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR Format Value Invalid: Default Format used\n");
        return IT_DEFAULT_FORMAT;
    }
    return FormatFlagsIT(index);
}

int32_t InitCountryIT(RBPDATA* rbp, uint32_t* workArea) {
    *workArea = 0;
    if (rbp->Flags & MODE_MASK) {
        int32_t rc = CheckColTypeIT(rbp->pSrcCol, &rbp->SrcDataType, true);
        if (rc != COLCHECK_OK) {
            FormatMsg(rbp->pMsgBuf,
                      rc == COLCHECK_BAD_SOURCE_TYPE ? u"NID ERROR  %#x :Source Column Type Not Supported\n"
                                                     : u"NID ERROR  %#x :Source Column Length Not Supported\n",
                      rc);
            return rc;
        }
    }
    int32_t rc = CheckColTypeIT(rbp->pDestCol, &rbp->DestDataType, false);
    if (rc != COLCHECK_OK) {
        FormatMsg(rbp->pMsgBuf,
                  rc == COLCHECK_BAD_DEST_TYPE ? u"NID ERROR  %#x :Destination Column Type Not Supported\n"
                                               : u"NID ERROR  %#x :Destination Column Length Not Supported\n",
                  rc);
        return rc;
    }
    *workArea = ChooseFormatIT(rbp);
    return 0;
}
