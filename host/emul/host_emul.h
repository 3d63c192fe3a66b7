/*
** host_emul.h - a host as the exit sees it: packed records, callbacks, a work area.
**
** A ColumnMap drives one destination column through any KLOColMapWExit (linked in, or
** loaded from the shared library): set the source values of a row, call row(), read
** what the exit put; end() makes the end call.  The host keeps the same records for
** every call of a run and a zero-filled work area that it never touches, as a real
** host does.
*/
#ifndef ZT0NID_HOST_EMUL_H
#define ZT0NID_HOST_EMUL_H

#include <cstdint>
#include <string>
#include <vector>

#include "exit/host_records.h"

namespace hostemu {

/* A column of the source or destination list. */
struct Column {
    std::u16string name;
    int16_t dataType = 1;         /* host data type */
    int32_t length = 20;          /* declared length */
    bool nullable = true;
    uint16_t precision = 0;
    uint16_t scale = 0;
    uint16_t colId = 0;           /* 0: assigned by the host (100 + list index) */
};

/* The value of a source column for the next row. */
struct Cell {
    bool isNull = false;
    std::u16string text;          /* also the digits of numeric and packed requests */
    int16_t getResult = 0;        /* what GetColValue returns for this column */
};

/* The host's own rows, for a host that keeps its values itself (ztnid): when a map has
** one, GetColValue and PutColValue go to it instead of to the map's cells and recorded
** put value. */
class RowHost {
public:
    virtual ~RowHost() = default;
    /* GetColValue for the source column at index `column` of the source list. */
    virtual int16_t get(size_t column, uint16_t valueType, uint16_t precision, void* buffer, int32_t bufferLength,
                        int16_t* nullInd) = 0;
    /* PutColValue of the map's destination column: value is NUL-terminated, or NULL
    ** when the exit writes NULL; length is the declared length the exit passed. */
    virtual int16_t put(const char16_t* value, int32_t length) = 0;
};

/* One GetColValue request as the exit made it. */
struct GetCall {
    uint16_t colId;
    uint16_t valueType;
    int32_t bufferLength;
};

/* What one row call did. */
struct RowOutcome {
    int16_t rc = 0;
    int puts = 0;                 /* number of PutColValue calls */
    bool putNull = false;
    std::u16string put;           /* the value put (NUL-terminated string of code 39) */
    std::u16string msgText;       /* MsgText up to its terminator, at most 50 characters */
    std::vector<GetCall> gets;
};

class ColumnMap {
public:
    ColumnMap(PFN_KLOCOLMAPWEXIT exitFn, std::u16string operands, std::vector<Column> sources,
              std::vector<Column> dests, int destIndex = 0);
    /* A run that made row calls without an end call is ended here, as a host ends it. */
    ~ColumnMap();
    ColumnMap(const ColumnMap&) = delete;
    ColumnMap& operator=(const ColumnMap&) = delete;

    /* Value of a source column for the rows to come (kept until changed). */
    void set(const std::u16string& column, const Cell& cell);
    void set(const std::u16string& column, const std::u16string& text) { set(column, Cell{false, text, 0}); }
    void setNull(const std::u16string& column) { set(column, Cell{true, u"", 0}); }

    /* Serves the rows from host (NULL: back to the map's own cells); not owned. */
    void setHost(RowHost* host) { host_ = host; }

    /* Result PutColValue gives (0 = success). */
    void setPutResult(int16_t rc) { putResult_ = rc; }

    /* One row call (any CallType but 99) and the end call. */
    RowOutcome row(uint32_t callType = 1);
    int16_t end();

    /* Without recording the gets: the fast path for benchmarks and bulk runs. */
    int16_t rowFast(const char16_t** putValue, bool* putNull);

    WORKAREA& workArea() { return *reinterpret_cast<WORKAREA*>(work_.data()); }
    INPUTPARMS& inputParms() { return *reinterpret_cast<INPUTPARMS*>(parms_.data()); }
    COLLIST* sourceList() { return reinterpret_cast<COLLIST*>(srcList_.data()); }
    COLLIST* destList() { return reinterpret_cast<COLLIST*>(dstList_.data()); }

    /* Callback side (public for the C callbacks of the implementation). */
    int16_t onGet(uint16_t colId, uint16_t valueType, uint16_t precision, void* buffer, int32_t bufferLength,
                  int16_t* nullInd);
    int16_t onPut(void* buffer, int16_t* nullInd, int32_t length = 0);

private:
    std::vector<uint8_t> buildList(std::vector<Column>& cols, uint16_t firstId);
    int16_t call(uint32_t callType);

    PFN_KLOCOLMAPWEXIT exit_;
    std::u16string operands_;
    std::vector<Column> sources_, dests_;
    std::vector<Cell> cells_;
    std::vector<uint8_t> parms_, srcList_, dstList_, work_;
    int16_t putResult_ = 0;
    bool recordGets_ = true;
    bool needsEnd_ = false;       /* row calls made since the last end call */
    RowOutcome* current_ = nullptr;
    RowHost* host_ = nullptr;
    int puts_ = 0;
    bool putNull_ = false;
    std::u16string putValue_;
};

/* Packed decimal of `digits` digits (host side of value type 18). */
void EncodePacked(int64_t value, int digits, uint8_t* out, size_t outBytes);

/* The exit loaded from a shared library (dlopen / LoadLibrary); NULL with *error set. */
PFN_KLOCOLMAPWEXIT LoadExit(const std::string& path, std::string* error);

} // namespace hostemu

#endif
