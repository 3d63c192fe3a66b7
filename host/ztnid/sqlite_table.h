/*
** sqlite_table.h - SQLite tables as sources and sinks.
**
** Source and destination may share one database (one connection).  The sink works in
** one transaction: it creates (or empties, or appends to) the destination table and
** inserts every row; abort rolls it all back, so a failed run leaves the database as
** it was.  Copied columns keep their SQLite values (integers, blobs...) unchanged.
*/
#ifndef ZTNID_SQLITE_TABLE_H
#define ZTNID_SQLITE_TABLE_H

#include <memory>
#include <string>
#include <vector>

#include "host/ztnid/table.h"

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_value;

namespace ztnid {

/* One open database.  Throws RunError. */
class SqliteDb {
public:
    /* create: a missing file becomes a new database (a source database must exist). */
    SqliteDb(const std::string& path, bool create);
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    sqlite3* handle() { return db_; }
    const std::string& path() const { return path_; }
    void exec(const std::string& sql);
    bool tableExists(const std::string& table);
    std::string error() const;

private:
    sqlite3* db_ = nullptr;
    std::string path_;
    bool created_ = false;        /* the file did not exist before */
};

/* "name" with its double quotes doubled, for SQL text. */
std::string QuoteName(const std::string& name);

class SqliteSource : public Source {
public:
    SqliteSource(std::shared_ptr<SqliteDb> db, const std::string& table);
    ~SqliteSource() override;

    const std::vector<SourceColumn>& columns() const override { return columns_; }
    bool next() override;
    bool isNull(size_t col) override;
    std::string_view text(size_t col) override;
    sqlite3_value* sqliteValue(size_t col) override;
    const char* positionWord() const override { return "row"; }
    long position() const override { return row_; }
    double fractionRead() override;

private:
    void freeAside();

    std::shared_ptr<SqliteDb> db_;
    std::string table_;
    sqlite3_stmt* stmt_ = nullptr;
    long row_ = 0, rowCount_ = -1; /* counted when the progress line first asks */
    bool utf8_ = false;                 /* the database stores text as UTF-8 */
    std::vector<sqlite3_value*> aside_; /* private copies of this row's values, by column */
    std::vector<SourceColumn> columns_;
};

enum class TableMode { Create, Replace, Append };

class SqliteSink : public Sink {
public:
    SqliteSink(std::shared_ptr<SqliteDb> db, std::string table, TableMode mode);
    ~SqliteSink() override;

    void begin(const std::vector<DestColumn>& cols) override;
    void write(Source& src, const std::vector<OutCell>& mapped) override;
    void commit() override;
    void abort() noexcept override;
    long rowsKept() const override { return committed_ ? rows_ : 0; }

private:
    std::shared_ptr<SqliteDb> db_;
    std::string table_;
    TableMode mode_;
    long rows_ = 0;
    bool committed_ = false;
    sqlite3_stmt* insert_ = nullptr;
    bool inTransaction_ = false;
    std::vector<DestColumn> cols_;
};

} // namespace ztnid

#endif
