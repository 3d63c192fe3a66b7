/*
** pg_table.h - PostgreSQL tables as sources and sinks, over libpq.
**
** CONNINFO is libpq's own (keywords or a postgresql:// URI); PG* environment variables
** and ~/.pgpass apply as in psql.  A table name is written as in SQL: people,
** hr.people, "My Table" (unquoted names fold to lower case); the server parses it, every
** identifier ztnid writes into SQL is quoted by PQescapeIdentifier, and user text only
** ever reaches the server as a parameter.
**
** The source reads with COPY (SELECT ...) TO STDOUT in text format.  The sink works in
** one transaction: it creates (or drops and creates, or appends to) the table and sends
** the rows with COPY ... FROM STDIN; a failed or interrupted run leaves the database as
** it was (a connection that ends without COMMIT is rolled back by the server).
**
** Types: varchar(n) is VARCHAR(n) to the exit, char(n) (bpchar) CHAR(n), and text, a
** varchar without length and any other type VARCHAR(255), as a CSV column.  Copied
** columns travel as their text form and keep their type in a PostgreSQL destination;
** in an SQLite one the string types keep the exit's names, the integer types become
** INTEGER and the others TEXT, so that no value changes on the way.  Columns of other
** sources become text in PostgreSQL, except those declared CHAR(n), VARCHAR(n)...
*/
#ifndef ZTNID_PG_TABLE_H
#define ZTNID_PG_TABLE_H

#include <memory>
#include <string>
#include <vector>

#include "host/ztnid/sqlite_table.h" /* TableMode */
#include "host/ztnid/table.h"

struct pg_conn;

namespace ztnid {

/* One field of a line of COPY's text format: its unescaped value in a buffer. */
struct CopyField {
    size_t offset = 0, length = 0;
    bool isNull = false;
};

/* Splits a line of COPY's text format (without its line end) into fields->size() fields
** and unescapes them into *values: \N is NULL, the backslash escapes (\t, \n, \\, octal
** \ooo, hex \xhh...) are decoded.  False with *why for a malformed line. */
bool ParseCopyLine(std::string_view line, std::string* values, std::vector<CopyField>* fields, std::string* why);

/* Appends a value in COPY's text format: backslash, tab, line feed and carriage return
** escaped. */
void AppendCopyText(std::string& out, std::string_view v);

/* One connection.  Throws RunError. */
class PgConnection {
public:
    explicit PgConnection(const std::string& conninfo);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    pg_conn* handle() { return conn_; }
    /* The last error of the connection, on one line. */
    std::string error() const;
    /* Runs a statement with text parameters; the rows of its result (NULL as ""), or
    ** throws RunError when it fails. */
    std::vector<std::vector<std::string>> query(const std::string& sql, const std::vector<std::string>& params = {});
    /* name as a quoted SQL identifier. */
    std::string quote(const std::string& name);

private:
    pg_conn* conn_ = nullptr;
};

class PgSource : public Source {
public:
    PgSource(const std::string& conninfo, const std::string& table);
    ~PgSource() override;

    const std::vector<SourceColumn>& columns() const override { return columns_; }
    bool next() override;
    bool isNull(size_t col) override { return fields_[col].isNull; }
    std::string_view text(size_t col) override;
    const char* positionWord() const override { return "row"; }
    long position() const override { return row_; }
    double fractionRead() override;
    /* The server, database and table read: "start time|database|schema|table". */
    const std::string& identity() const { return identity_; }

private:
    void parseRow(const char* line, size_t n);

    std::unique_ptr<PgConnection> conn_;
    std::string table_, quoted_, copy_, identity_;
    bool copying_ = false, done_ = false;
    long row_ = 0, rowCount_ = -1;
    std::string values_;          /* the current row's values, unescaped */
    std::vector<CopyField> fields_;
    std::vector<SourceColumn> columns_;
};

class PgSink : public Sink {
public:
    PgSink(const std::string& conninfo, std::string table, TableMode mode);
    ~PgSink() override;

    void begin(const std::vector<DestColumn>& cols) override;
    void write(Source& src, const std::vector<OutCell>& mapped) override;
    bool encodes() const override { return true; }
    void encode(Source& src, const std::vector<OutCell>& mapped, std::string& out) const override;
    void writeEncoded(std::string_view bytes, long rows) override;
    void commit() override;
    void abort() noexcept override;
    long rowsKept() const override { return committed_ ? rows_ : 0; }
    /* Refuses to write the table of this PgSource::identity(): replacing the table being
    ** read would wait for it forever. */
    void refuseTable(std::string identity) { sourceIdentity_ = std::move(identity); }

private:
    void send();
    void put(std::string_view bytes);

    std::unique_ptr<PgConnection> conn_;
    std::string table_, sourceIdentity_;
    TableMode mode_;
    bool inTransaction_ = false, copying_ = false, committed_ = false;
    long rows_ = 0;
    std::string out_;
    std::vector<DestColumn> cols_;
};

/* The PostgreSQL type of a column created in a PostgreSQL table. */
std::string PgTypeOf(const DestColumn& c);

} // namespace ztnid

#endif
