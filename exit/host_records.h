/*
** host_records.h - the records a host exchanges with the ZT0NID column map exit.
**
** A host program includes this header alone to call the exit:
**
**   int16_t KLOColMapWExit(INPUTPARMS* pInputParms, COLLIST* pSrcColList, COLLIST* pDestColList);
**
** Host records are packed (no padding, 8-byte pointers); every offset that a host relies
** on is checked below.  Strings are NUL-terminated 16-bit (UTF-16) strings: char16_t,
** never wchar_t, which is 32 bits wide on Linux.
**
** The exit's own state records (RBPDATA, the mode, country and result codes) follow the
** host records; a host does not need them but may read them for diagnostics.
*/
#ifndef ZT0NID_HOST_RECORDS_H
#define ZT0NID_HOST_RECORDS_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>                /* char16_t, for hosts written in C */
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------ host callbacks */

/* Reads the current row's value of the source column ColId in the representation
** ValueType into Buffer (BufferLength bytes) and sets *NullInd (-1 NULL, 0 value).
** Returns 0, 9 when the value cannot be converted, anything else on error. */
typedef int16_t (*PFN_GETCOLVALUE)(uint16_t ColId, uint16_t ValueType, uint16_t Precision,
                                   uint16_t Scale, void* Buffer, int32_t BufferLength,
                                   int16_t* NullInd);

/* Writes the destination column's value for the current row.  ValueType is always 39
** (a NUL-terminated 16-bit string), Length is the column's declared length and
** *NullInd is -1 to write NULL, 0 otherwise.  Returns 0 on success. */
typedef int16_t (*PFN_PUTCOLVALUE)(uint16_t ValueType, uint16_t Precision, uint16_t Scale,
                                   void* Buffer, int32_t Length, int16_t* NullInd);

/* ------------------------------------------------------------------ packed host records */
#pragma pack(push, 1)

/* Input parameter block, the first argument of every call. */
typedef struct INPUTPARMS {
    uint32_t CallType;            /* CALLTYPE_END (99) = end call, anything else = one row */
    PFN_GETCOLVALUE pGetColValue;
    PFN_PUTCOLVALUE pPutColValue;
    void* pReserved1;
    void* pWorkArea;              /* this column's WORKAREA */
    char16_t* pSrcDBAliasName;
    char16_t* pSrcCreatorID;
    char16_t* pSrcTableName;
    char16_t* pDstDBAliasName;
    char16_t* pDstCreatorID;
    char16_t* pDstTableName;
    int16_t DestColIndex;         /* index in the destination list of the column we fill */
    uint8_t Reserved2[18];
    int32_t NumParms;
    char16_t* pParm[1];           /* NumParms strings; the first is the operand string */
} INPUTPARMS;

/* Column descriptor, 24 bytes. */
typedef struct COLDESC {
    char16_t* pColName;
    uint16_t ColId;               /* identifies the column to GetColValue */
    int16_t DataType;             /* host data type (1, 2, 30, 31, 32, 33 hold strings) */
    int32_t Length;               /* declared length */
    uint16_t Precision;
    uint16_t Scale;
    uint8_t Nullable;
    uint8_t Reserved;
    uint16_t CodePage;
} COLDESC;

/* Column list: a count followed at once by the descriptors. */
typedef struct COLLIST {
    int16_t NumCols;
    COLDESC Col[1];
} COLLIST;

/* Work area of one destination column: zero-filled by the host before the first call,
** never changed by it afterwards. */
typedef struct WORKAREA {
    char16_t MsgText[50];         /* first 50 characters of a failed call's message, unterminated */
    int32_t NullInputCount;
    int32_t InvalidDataCount;
    int32_t InvalidLengthCount;
    int32_t ConversionErrorCount;
    int32_t InvalidPartCount;
    int32_t InvalidSeparatorCount;
    struct RBPDATA* pRBPDATA;     /* NULL until set up, and again after the end call */
    uint32_t* pWorkAreaES;
    uint32_t* pWorkAreaIT;
    uint32_t* pWorkAreaUK;
    uint32_t* pWorkAreaFR;
    uint16_t CountriesInit;       /* COUNTRY_* bits of the countries that initialised */
} WORKAREA;

#pragma pack(pop)

/* The entry point, the library's only export: 0 done, 1 row skipped, 2 error. */
typedef int16_t (*PFN_KLOCOLMAPWEXIT)(INPUTPARMS* pInputParms, COLLIST* pSrcColList,
                                      COLLIST* pDestColList);
int16_t KLOColMapWExit(INPUTPARMS* pInputParms, COLLIST* pSrcColList, COLLIST* pDestColList);

/* ------------------------------------------------------------------ exit's own context */

/* Per-column context handed to every country routine (naturally aligned, 96 bytes). */
typedef struct RBPDATA {
    int16_t SrcDataType;          /* value type code of the source column */
    int16_t DestDataType;         /* value type code of the destination column */
    uint16_t Flags;               /* MODE_* bits */
    INPUTPARMS* pInputParms;
    COLLIST* pSrcColList;
    COLLIST* pDestColList;
    COLDESC* pSrcCol;             /* NULL with the random method */
    COLDESC* pDestCol;
    char16_t* pMsgBuf;            /* this call's message buffer (MSG_BUF_CHARS) */
    struct MAP* pOperands;
    int32_t InKind;               /* KIND_STRING or KIND_INT32 */
    int32_t InLength;             /* characters of the input string */
    union {
        char16_t* pStr;
        int32_t Int32;
        uint64_t Raw;
    } InValue;
    int32_t OutKind;              /* KIND_* of the output */
    int32_t OutLength;            /* characters of the output string */
    union {
        char16_t* pStr;           /* the output buffer (OUT_BUF_CHARS) */
        int16_t Int16;
        int32_t Int32;
        float Float32;
        uint64_t Raw;
    } OutValue;
} RBPDATA;

/* ------------------------------------------------------------------ constants */

enum {
    CALLTYPE_END = 99,

    /* sizes of the per-call buffers, in 16-bit characters */
    MSG_BUF_CHARS = 512,
    VALUE_BUF_CHARS = 4096,
    OUT_BUF_CHARS = 4096,
    MSGTEXT_BYTES = 100,

    /* mode bits of RBPDATA.Flags */
    MODE_MASK = 0x8000,
    MODE_DEBUG = 0x4000,
    MODE_STATUS = 0x2000,
    MODE_RANDOM = 0x0400,
    MODE_VALIDATE = 0x0200,

    /* country bits (CountriesInit and the country of a row) */
    COUNTRY_FR = 1,
    COUNTRY_IT = 2,
    COUNTRY_UK = 4,
    COUNTRY_ES = 8,

    /* kinds of RBPDATA.InValue / OutValue */
    KIND_NONE = 0,
    KIND_INT16 = 1,
    KIND_INT32 = 2,
    KIND_FLOAT = 4,
    KIND_STRING = 5,

    /* value type codes exchanged with the callbacks */
    VT_WSTRING = 39,              /* NUL-terminated 16-bit string */
    VT_PACKED = 18,               /* packed decimal */

    /* null indicator values */
    NULLIND_NULL = -1,
    NULLIND_VALUE = 0,

    /* results of KLOColMapWExit */
    EXIT_DONE = 0,
    EXIT_SKIPPED = 1,
    EXIT_ERROR = 2,

    /* result codes of the country row routines */
    RC_OK = 0,
    RC_BLANK = 64,                /* blank input gave a blank output */
    RC_KEEP = 128,                /* write the source value unchanged */
    RC_NOTHING = 256,             /* skip the row, no counter */
    RC_NULL_INPUT = 57,
    RC_INVALID_DATA = 58,
    RC_CONVERSION = 59,
    RC_INVALID_LENGTH = 257,
    RC_INVALID_PART = 258,
    RC_INVALID_SEPARATOR = 259,
    RC_INVALID_DEST = 262,
    RC_INVALID_TYPE = 263,
    RC_FATAL = 512
};

#ifdef __cplusplus
} /* extern "C" */

static_assert(offsetof(INPUTPARMS, CallType) == 0);
static_assert(offsetof(INPUTPARMS, pGetColValue) == 4);
static_assert(offsetof(INPUTPARMS, pPutColValue) == 12);
static_assert(offsetof(INPUTPARMS, pReserved1) == 20);
static_assert(offsetof(INPUTPARMS, pWorkArea) == 28);
static_assert(offsetof(INPUTPARMS, pSrcDBAliasName) == 36);
static_assert(offsetof(INPUTPARMS, pSrcCreatorID) == 44);
static_assert(offsetof(INPUTPARMS, pSrcTableName) == 52);
static_assert(offsetof(INPUTPARMS, pDstDBAliasName) == 60);
static_assert(offsetof(INPUTPARMS, pDstCreatorID) == 68);
static_assert(offsetof(INPUTPARMS, pDstTableName) == 76);
static_assert(offsetof(INPUTPARMS, DestColIndex) == 84);
static_assert(offsetof(INPUTPARMS, Reserved2) == 86);
static_assert(offsetof(INPUTPARMS, NumParms) == 104);
static_assert(offsetof(INPUTPARMS, pParm) == 108);

static_assert(sizeof(COLDESC) == 24);
static_assert(offsetof(COLDESC, pColName) == 0);
static_assert(offsetof(COLDESC, ColId) == 8);
static_assert(offsetof(COLDESC, DataType) == 10);
static_assert(offsetof(COLDESC, Length) == 12);
static_assert(offsetof(COLDESC, Precision) == 16);
static_assert(offsetof(COLDESC, Scale) == 18);
static_assert(offsetof(COLDESC, Nullable) == 20);
static_assert(offsetof(COLDESC, Reserved) == 21);
static_assert(offsetof(COLDESC, CodePage) == 22);
static_assert(offsetof(COLLIST, Col) == 2);

static_assert(offsetof(WORKAREA, MsgText) == 0);
static_assert(offsetof(WORKAREA, NullInputCount) == 100);
static_assert(offsetof(WORKAREA, InvalidDataCount) == 104);
static_assert(offsetof(WORKAREA, InvalidLengthCount) == 108);
static_assert(offsetof(WORKAREA, ConversionErrorCount) == 112);
static_assert(offsetof(WORKAREA, InvalidPartCount) == 116);
static_assert(offsetof(WORKAREA, InvalidSeparatorCount) == 120);
static_assert(offsetof(WORKAREA, pRBPDATA) == 124);
static_assert(offsetof(WORKAREA, pWorkAreaES) == 132);
static_assert(offsetof(WORKAREA, pWorkAreaIT) == 140);
static_assert(offsetof(WORKAREA, pWorkAreaUK) == 148);
static_assert(offsetof(WORKAREA, pWorkAreaFR) == 156);
static_assert(offsetof(WORKAREA, CountriesInit) == 164);
static_assert(sizeof(WORKAREA) == 166);

static_assert(sizeof(RBPDATA) == 96);
static_assert(offsetof(RBPDATA, Flags) == 4);
static_assert(offsetof(RBPDATA, pInputParms) == 8);
static_assert(offsetof(RBPDATA, pOperands) == 56);
static_assert(offsetof(RBPDATA, InKind) == 64);
static_assert(offsetof(RBPDATA, InValue) == 72);
static_assert(offsetof(RBPDATA, OutKind) == 80);
static_assert(offsetof(RBPDATA, OutValue) == 88);
#endif

#endif /* ZT0NID_HOST_RECORDS_H */
