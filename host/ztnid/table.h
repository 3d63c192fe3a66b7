/*
** table.h - where ztnid reads rows from and writes them to.
**
** A Source hands out one row at a time; its values stay valid until the next row.  A
** Sink receives the destination rows: the copied columns straight from the source, the
** mapped ones as the exit put them.  CSV files and SQLite tables implement both.
*/
#ifndef ZTNID_TABLE_H
#define ZTNID_TABLE_H

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/emul/utf.h"
#include "host/ztnid/columns.h"

struct sqlite3_value;

namespace ztnid {

/* A failure of the run (input, output, exit): reported with status 2. */
struct RunError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct SourceColumn {
    std::string name;             /* UTF-8 */
    ColumnType type;              /* as declared to the exit */
    bool nullable = true;
    std::string declared;         /* SQL declared type; "" for CSV */
    std::string pgType;           /* PostgreSQL type of a PostgreSQL column, else "" */
};

struct DestColumn {
    std::string name;
    ColumnType type;
    bool nullable = true;
    std::string declared;         /* SQL type of a created table */
    int source = -1;              /* index of the source column copied; -1 when mapped */
    std::string pgType;           /* PostgreSQL type kept from a PostgreSQL source, else "" */
};

/* The value the exit put into a mapped column for the current row. */
struct OutCell {
    bool isNull = true;
    std::u16string value;
};

/* Where a copied value lies in a buffer of bytes. */
struct RowCell {
    size_t offset, length;
    bool isNull;
};

class Source {
public:
    virtual ~Source() = default;
    virtual const std::vector<SourceColumn>& columns() const = 0;
    /* Advances to the next row; false at the end.  Throws RunError. */
    virtual bool next() = 0;
    virtual bool isNull(size_t col) = 0;
    /* The value as UTF-8 ("" for NULL). */
    virtual std::string_view text(size_t col) = 0;
    /* The value as 16-bit text into out (cap units, terminator included); SIZE_MAX when
    ** it does not fit. */
    size_t text16(size_t col, char16_t* out, size_t cap) { return Utf8IntoUtf16(text(col), out, cap); }
    /* Appends the current row's values to bytes and where they lie to cells (one per
    ** column), for a copy of the row. */
    virtual void copyRow(std::string& bytes, RowCell* cells) {
        for (size_t c = 0; c < columns().size(); ++c) {
            bool null = isNull(c);
            std::string_view t = null ? std::string_view() : text(c);
            cells[c] = RowCell{bytes.size(), t.size(), null};
            bytes.append(t.data(), t.size());
        }
    }
    /* The SQLite value of a column, when the source is an SQLite table. */
    virtual sqlite3_value* sqliteValue(size_t) { return nullptr; }
    /* Where the current row is, for messages ("line 12", "row 12"): a word and a number. */
    virtual const char* positionWord() const = 0;
    virtual long position() const = 0;
    std::string where() const { return std::string(positionWord()) + " " + std::to_string(position()); }
    /* The share of the input read so far (0 to 1), or a negative number when unknown;
    ** asked only for the progress line. */
    virtual double fractionRead() { return -1; }
};

class Sink {
public:
    virtual ~Sink() = default;
    virtual void begin(const std::vector<DestColumn>& cols) = 0;
    /* One destination row: copied columns from src, mapped ones from mapped[i]. */
    virtual void write(Source& src, const std::vector<OutCell>& mapped) = 0;
    /* A sink that writes a byte stream (CSV, a COPY) lets the worker threads of a run
    ** encode rows: encode appends one row to out and touches nothing else of the sink;
    ** writeEncoded then writes encoded rows, in order, from one thread. */
    virtual bool encodes() const { return false; }
    virtual void encode(Source&, const std::vector<OutCell>&, std::string&) const {}
    virtual void writeEncoded(std::string_view /*bytes*/, long /*rows*/) {}
    /* Makes the output final (rename, commit).  Throws RunError. */
    virtual void commit() = 0;
    /* Leaves no output behind (removes the file, rolls back). */
    virtual void abort() noexcept = 0;
    /* Rows that the output holds for good: all after commit, none after abort, except
    ** those a stream already passed on. */
    virtual long rowsKept() const = 0;
};

} // namespace ztnid

#endif
