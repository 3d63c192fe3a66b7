/*
** init_uk.cpp - set-up of the UK for a column: column checks and the output format.
**
** The format value chosen in the column map (format=(UK=...)) is looked up in
** FormatTableUK; its index and the destination's declared length decide the flag word.
** A missing or unknown format value is no error: each value then keeps its own layout.
*/
#include "countries/uk/uk.h"

#include "exit/formats/formats.h"
#include "exit/operands/operands.h"

enum {
    FMT_8X1C = 0,
    FMT_2C6X1C = 1,
    FMT_FIRST_GROUPS3 = 2,
    FMT_FIRST_GROUPS5 = 8,
    GROUPS3_MIN_LENGTH = 11,
    GROUPS5_MIN_LENGTH = 13
};

int32_t CheckColTypeUK(const COLDESC* col, int16_t* typeCode, bool isSource) {
    return CheckStringColumn(col, typeCode, isSource, UK_MIN_COLUMN_LENGTH);
}

/* Layout bit of a format row: grouped layouts fall back to compact when the
** destination is too short for them. */
static uint32_t LayoutOfFormat(int row, int32_t destLength) {
    if (row < FMT_FIRST_GROUPS3) return UK_OUT_COMPACT;
    if (row < FMT_FIRST_GROUPS5) return destLength >= GROUPS3_MIN_LENGTH ? UK_OUT_GROUPS3 : UK_OUT_COMPACT;
    return destLength >= GROUPS5_MIN_LENGTH ? UK_OUT_GROUPS5 : UK_OUT_COMPACT;
}

/* Separator bit of a grouped format value, from its third character as written. */
static uint32_t SeparatorOfFormat(const char16_t* value) {
    if (value[2] == u'-') return UK_SEP_HYPHEN;
    if (value[2] == u' ') return UK_SEP_BLANK;
    return UK_SEP_DOT;
}

int32_t InitCountryUK(RBPDATA* rbp, uint32_t* workArea) {
    *workArea = 0;
    int32_t rc;
    if (rbp->Flags & MODE_MASK) {
        rc = CheckColTypeUK(rbp->pSrcCol, &rbp->SrcDataType, true);
        if (rc) return rc;
    }
    rc = CheckColTypeUK(rbp->pDestCol, &rbp->DestDataType, false);
    if (rc) return rc;

    int32_t destLength = rbp->pDestCol->Length;
    uint32_t flags = 0;
    if (destLength == UK_COMPACT_MIN) flags |= UK_OUT_NO_SUFFIX;

    const char16_t* value = nullptr;
    int row = -1;
    if (GetCountryFormat(KW_UK, rbp->pOperands, &value) == 0)
        row = FindFormat(value, FormatTableUK, UK_FORMAT_COUNT);
    if (row >= 0) {
        flags |= UK_FORMAT_GIVEN | LayoutOfFormat(row, destLength);
        if (row == FMT_8X1C) flags |= UK_MASK_PREFIX;
        if (row >= FMT_FIRST_GROUPS3) {
            flags |= SeparatorOfFormat(value);
            /* With the random method the whole value is drawn: no prefix to replace. */
            if ((value[1] == u'X' || value[1] == u'x') && !(rbp->Flags & MODE_RANDOM)) flags |= UK_MASK_PREFIX;
        }
    }
    *workArea = flags;
    return 0;
}
