/*
** host.c - a host written in C against the installed exit: one destination column,
** one row per country, then the end call.
**
** tools/package-check.sh builds it twice against the installed packages, with
** find_package(ZT0NID) (CMakeLists.txt here) and with pkg-config.  Status 0 when the exit
** replaced every number by another of the same length.
*/
#include <stdio.h>
#include <string.h>

#include <zt0nid/host_records.h>

enum { NID_ID = 1, CTRY_ID = 2, VALUE_CHARS = 20 };

/* Country and number of each row. */
static const char* const kRows[][2] = {
    {"FR", "185057511234529"}, {"IT", "CLMLCU49E49D969R"}, {"ES", "7951584R"}, {"UK", "JK123456D"}};
static int row;
static char16_t put[VALUE_CHARS + 1];

/* ASCII to a NUL-terminated 16-bit string. */
static void Widen(const char* s, char16_t* out) {
    do *out++ = (unsigned char)*s; while (*s++);
}

/* ASCII of a 16-bit string (the exit's output is ASCII). */
static const char* Narrow(const char16_t* s) {
    static char out[VALUE_CHARS + 1];
    size_t i = 0;
    for (; s[i] && i < VALUE_CHARS; ++i) out[i] = (char)s[i];
    out[i] = 0;
    return out;
}

/* GetColValue: the current row's country or number, as a 16-bit string (type 39). */
static int16_t GetColValue(uint16_t colId, uint16_t valueType, uint16_t precision, uint16_t scale, void* buffer,
                           int32_t bufferLength, int16_t* nullInd) {
    const char* text = kRows[row][colId == CTRY_ID ? 0 : 1];
    (void)precision, (void)scale;
    if (valueType != VT_WSTRING || (int32_t)(2 * (strlen(text) + 1)) > bufferLength) return 9;
    Widen(text, buffer);
    *nullInd = NULLIND_VALUE;
    return 0;
}

/* PutColValue: keeps the value written for the current row. */
static int16_t PutColValue(uint16_t valueType, uint16_t precision, uint16_t scale, void* buffer, int32_t length,
                           int16_t* nullInd) {
    const char16_t* value = buffer;
    size_t i = 0;
    (void)valueType, (void)precision, (void)scale, (void)length;
    if (*nullInd != NULLIND_NULL)
        for (; value[i] && i < VALUE_CHARS; ++i) put[i] = value[i];
    put[i] = 0;
    return 0;
}

#pragma pack(push, 1)
struct SourceList {
    int16_t NumCols;
    COLDESC Col[2];
};
#pragma pack(pop)

int main(void) {
    static char16_t nid[] = u"NID", ctry[] = u"CTRY", operands[] = u"switch=CTRY";
    struct SourceList src = {2, {{nid, NID_ID, 2, VALUE_CHARS, 0, 0, 1, 0, 0}, {ctry, CTRY_ID, 2, 2, 0, 0, 1, 0, 0}}};
    COLLIST dst = {1, {{nid, NID_ID, 2, VALUE_CHARS, 0, 0, 1, 0, 0}}};
    WORKAREA work;
    INPUTPARMS parms;
    int failures = 0;

    memset(&work, 0, sizeof work);
    memset(&parms, 0, sizeof parms);
    parms.pGetColValue = GetColValue;
    parms.pPutColValue = PutColValue;
    parms.pWorkArea = &work;
    parms.DestColIndex = 0;
    parms.NumParms = 1;
    parms.pParm[0] = operands;

    for (row = 0; row < 4; ++row) {
        parms.CallType = 1;
        int16_t rc = KLOColMapWExit(&parms, (COLLIST*)&src, &dst);
        const char* out = Narrow(put);
        int ok = rc == EXIT_DONE && strlen(out) == strlen(kRows[row][1]) && strcmp(out, kRows[row][1]) != 0;
        printf("%s %-16s -> %-16s result %d%s\n", kRows[row][0], kRows[row][1], out, rc, ok ? "" : "  FAILED");
        failures += !ok;
    }
    parms.CallType = CALLTYPE_END;
    if (KLOColMapWExit(&parms, (COLLIST*)&src, &dst) != EXIT_DONE) ++failures;
    return failures ? 1 : 0;
}
