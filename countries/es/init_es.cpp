/*
** init_es.cpp - Spain's set-up: the column checks and the output layout of the format.
*/
#include "countries/es/es.h"
#include "exit/formats/formats.h"
#include "exit/operands/operands.h"

int32_t CheckColTypeES(const COLDESC* col, int16_t* typeCode, bool isSource) {
    return CheckStringColumn(col, typeCode, isSource, ES_NIF_LENGTH);
}

/* The WorkAreaES bit of the format the operands give Spain; 0 when there is none or
** it is not one of ours, in which case each row keeps its source layout. */
static uint32_t LayoutOfFormatES(const MAP* operands) {
    const char16_t* desc = nullptr;
    if (GetCountryFormat(KW_ES, operands, &desc) != 0 || !desc) return 0;
    int i = FindFormat(desc, FormatTableES, ES_FORMAT_COUNT);
    return i < 0 ? 0 : FormatBitsES[i];
}

int32_t InitCountryES(RBPDATA* rbp, uint32_t* workArea) {
    *workArea = 0;
    int32_t rc;
    /* The random method never reads the source, so only the mask method checks it. */
    if (rbp->Flags & MODE_MASK) {
        rc = CheckColTypeES(rbp->pSrcCol, &rbp->SrcDataType, true);
        if (rc != COLCHECK_OK) return rc;
    }
    rc = CheckColTypeES(rbp->pDestCol, &rbp->DestDataType, false);
    if (rc != COLCHECK_OK) return rc;
    *workArea = LayoutOfFormatES(rbp->pOperands);
    return 0;
}
