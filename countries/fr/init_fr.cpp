/*
** init_fr.cpp - France initialisation: column checks and the format descriptor.
**
** A descriptor spells the 15 NIR positions as runs of X (replaced) and C (copied); the
** separated forms write the key after the separator.  Descriptors are matched as whole
** strings only: the flag word of the matching entry carries their meaning.
*/
#include "countries/fr/fr.h"
#include "exit/formats/formats.h"
#include "exit/log/log.h"
#include "exit/operands/operands.h"

/* Three forms per row of masked fields: plain, "-" before the key, " " before the key. */
const char16_t* const FormatTableFR[FR_FORMAT_COUNT] = {
    u"5X2C8X",     u"5X2C6X-2X",     u"5X2C6X 2X",
    u"1X9C5X",     u"1X9C3X-2X",     u"1X9C3X 2X",
    u"3X7C5X",     u"3X7C3X-2X",     u"3X7C3X 2X",
    u"1X2C2X5C5X", u"1X2C2X5C3X-2X", u"1X2C2X5C3X 2X",
    u"1X6C8X",     u"1X6C6X-2X",     u"1X6C6X 2X",
    u"1X4C10X",    u"1X4C8X-2X",     u"1X4C8X 2X",
    u"5X5C5X",     u"5X5C3X-2X",     u"5X5C3X 2X",
    u"3X4C8X",     u"3X4C6X-2X",     u"3X4C6X 2X",
    u"3X2C10X",    u"3X2C8X-2X",     u"3X2C8X 2X",
    u"1X2C2X2C8X", u"1X2C2X2C6X-2X", u"1X2C2X2C6X 2X",
    u"1X2C12X",    u"1X2C10X-2X",    u"1X2C10X 2X",
    u"15X",        u"13X-2X",        u"13X 2X",
    u"1C2X7C5X",   u"1C2X7C3X-2X",   u"1C2X7C3X 2X",
    u"1C4X5C5X",   u"1C4X5C3X-2X",   u"1C4X5C3X 2X",
    u"1C2X4C8X",   u"1C2X4C6X-2X",   u"1C2X4C6X 2X",
    u"1C2X2C10X",  u"1C2X2C8X-2X",   u"1C2X2C8X 2X",
    u"1C4X2C8X",   u"1C4X2C6X-2X",   u"1C4X2C6X 2X",
    u"1C14X",      u"1C12X-2X",      u"1C12X 2X",
    u"3C2X5C5X",   u"3C2X5C3X-2X",   u"3C2X5C3X 2X",
    u"3C2X2C8X",   u"3C2X2C6X-2X",   u"3C2X2C6X 2X",
    u"3C12X",      u"3C10X-2X",      u"3C10X 2X",
    u"7C8X",       u"7C6X-2X",       u"7C6X 2X",
    u"5C10X",      u"5C8X-2X",       u"5C8X 2X",
};

/* Field bits of each row of FormatTableFR. */
static const uint8_t kFieldBitsFR[FR_FORMAT_COUNT / 3] = {
    0x2E, 0x02, 0x06, 0x0A, 0x22, 0x32, 0x0E, 0x26, 0x36, 0x2A, 0x3A, 0x3E,
    0x04, 0x0C, 0x24, 0x34, 0x2C, 0x3C, 0x08, 0x28, 0x38, 0x20, 0x30,
};

static const uint32_t kLayoutBitsFR[3] = {FR_PLAIN, FR_HYPHEN, FR_BLANK};

uint32_t FormatFlagsFR(int index) {
    if (index < 0 || index >= FR_FORMAT_COUNT) return FR_DEFAULT_FIELDS;
    return kFieldBitsFR[index / 3] | kLayoutBitsFR[index % 3];
}

int32_t CheckColTypeFR(const COLDESC* col, int16_t* typeCode, bool isSource) {
    int32_t badType = isSource ? COLCHECK_BAD_SOURCE_TYPE : COLCHECK_BAD_DEST_TYPE;
    if (!col) return badType;
    int16_t code = ValueTypeOfHostType(col->DataType);
    if (code >= 0) *typeCode = code;
    else if (col->DataType >= 8 && col->DataType <= 11) return badType;
    /* any other host type keeps the code it had and goes on to the length */
    if (col->Length < NIR_CHARS || col->Length > 255) return COLCHECK_BAD_LENGTH;
    return COLCHECK_OK;
}

int32_t InitCountryFR(RBPDATA* rbp, uint32_t* workArea) {
    *workArea = 0;
    int32_t rc;
    if (rbp->Flags & MODE_MASK) {
        rc = CheckColTypeFR(rbp->pSrcCol, &rbp->SrcDataType, true);
        if (rc) return rc;
    }
    rc = CheckColTypeFR(rbp->pDestCol, &rbp->DestDataType, false);
    if (rc) return rc;

    const char16_t* desc = nullptr;
    if (GetCountryFormat(KW_FR, rbp->pOperands, &desc) != 0) {
        *workArea = FR_DEFAULT_FIELDS; /* no descriptor: the layout follows each input */
        return 0;
    }
    int index = FindFormat(desc, FormatTableFR, FR_FORMAT_COUNT);
    if (index < 0) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x :Invalid Format for source data value", uint32_t(index));
        *workArea = FR_DEFAULT_FIELDS;
        return 0;
    }
    *workArea = FR_FORMAT | FormatFlagsFR(index);
    return 0;
}
