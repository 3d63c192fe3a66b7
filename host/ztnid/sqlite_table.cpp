/*
** sqlite_table.cpp - SQLite tables as sources and sinks.
*/
#include "host/ztnid/sqlite_table.h"

#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "host/ztnid/text.h"

namespace ztnid {

/* ------------------------------------------------------------------ database */

SqliteDb::SqliteDb(const std::string& path, bool create) : path_(path) {
    if (!create && access(path.c_str(), F_OK) != 0)
        throw RunError("cannot open database " + path + ": " + std::strerror(errno));
    created_ = create && access(path.c_str(), F_OK) != 0;
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw RunError("cannot open database " + path + ": " + why);
    }
    sqlite3_busy_timeout(db_, 5000);
}

/* A database file this run created and left without a page (the run failed before its
** first commit) is removed: no debris. */
SqliteDb::~SqliteDb() {
    sqlite3_close(db_);
    struct stat st;
    if (created_ && stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) unlink(path_.c_str());
}

std::string SqliteDb::error() const { return path_ + ": " + sqlite3_errmsg(db_); }

void SqliteDb::exec(const std::string& sql) {
    char* msg = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string why = msg ? msg : sqlite3_errmsg(db_);
        sqlite3_free(msg);
        throw RunError(path_ + ": " + why);
    }
}

bool SqliteDb::tableExists(const std::string& table) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE", -1,
                           &st, nullptr) != SQLITE_OK)
        throw RunError(error());
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw RunError(error());
    return rc == SQLITE_ROW;
}

std::string QuoteName(const std::string& name) {
    std::string q = "\"";
    for (char c : name) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

/* ------------------------------------------------------------------ source */

SqliteSource::SqliteSource(std::shared_ptr<SqliteDb> db, const std::string& table)
    : db_(std::move(db)), table_(table) {
    if (!db_->tableExists(table)) throw RunError(db_->path() + ": no table " + table);
    /* Declared types and NOT NULL constraints, in column order.  Generated columns
    ** (hidden 2 and 3, which table_info leaves out) are read like the others, so their
    ** values are copied; the hidden columns of a virtual table (1) are not. */
    sqlite3_stmt* info = nullptr;
    std::string sql = "SELECT name, type, \"notnull\" FROM pragma_table_xinfo(?1) WHERE hidden <> 1 ORDER BY cid";
    if (sqlite3_prepare_v2(db_->handle(), sql.c_str(), -1, &info, nullptr) != SQLITE_OK) throw RunError(db_->error());
    sqlite3_bind_text(info, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(info)) == SQLITE_ROW) {
        SourceColumn c;
        const unsigned char* name = sqlite3_column_text(info, 0);
        const unsigned char* type = sqlite3_column_text(info, 1);
        c.name = name ? reinterpret_cast<const char*>(name) : "";
        c.declared = type ? reinterpret_cast<const char*>(type) : "";
        c.type = TypeOfDeclared(c.declared);
        c.nullable = sqlite3_column_int(info, 2) == 0;
        columns_.push_back(c);
    }
    sqlite3_finalize(info);
    if (rc != SQLITE_DONE) throw RunError(db_->error());

    sqlite3_stmt* enc = nullptr;
    if (sqlite3_prepare_v2(db_->handle(), "PRAGMA encoding", -1, &enc, nullptr) == SQLITE_OK &&
        sqlite3_step(enc) == SQLITE_ROW) {
        const unsigned char* e = sqlite3_column_text(enc, 0);
        utf8_ = e && std::strcmp(reinterpret_cast<const char*>(e), "UTF-8") == 0;
    }
    sqlite3_finalize(enc);

    std::string select = "SELECT ";
    for (size_t i = 0; i < columns_.size(); ++i) select += (i ? ", " : "") + QuoteName(columns_[i].name);
    select += " FROM " + QuoteName(table);
    if (sqlite3_prepare_v2(db_->handle(), select.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
        throw RunError(db_->error());
}

SqliteSource::~SqliteSource() {
    freeAside();
    sqlite3_finalize(stmt_);
}

bool SqliteSource::next() {
    freeAside();
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        ++row_;
        return true;
    }
    if (rc == SQLITE_DONE) return false;
    throw RunError(db_->error());
}

bool SqliteSource::isNull(size_t col) { return sqlite3_column_type(stmt_, int(col)) == SQLITE_NULL; }

/* The value as UTF-8 text.  Asking SQLite for the text of a number or a blob, or for
** UTF-8 text stored as UTF-16, converts the row's value in place, and a copied column
** would then be written converted: those values are read from a private copy, freed
** at the next row, so the row keeps its values exactly as stored. */
std::string_view SqliteSource::text(size_t col) {
    sqlite3_value* v = sqlite3_column_value(stmt_, int(col));
    int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL) return std::string_view();
    if (type != SQLITE_TEXT || !utf8_) {
        if (aside_.size() < columns_.size()) aside_.resize(columns_.size(), nullptr);
        if (!aside_[col] && !(aside_[col] = sqlite3_value_dup(v))) throw std::bad_alloc();
        v = aside_[col];
    }
    const unsigned char* p = sqlite3_value_text(v);
    int n = sqlite3_value_bytes(v);
    return p ? std::string_view(reinterpret_cast<const char*>(p), size_t(n)) : std::string_view();
}

double SqliteSource::fractionRead() {
    if (rowCount_ < 0) {
        rowCount_ = 0;
        sqlite3_stmt* st = nullptr;
        std::string sql = "SELECT count(*) FROM " + QuoteName(table_);
        if (sqlite3_prepare_v2(db_->handle(), sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            rowCount_ = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
    }
    return rowCount_ > 0 ? double(row_) / double(rowCount_) : -1;
}

/* Frees the private copies of the last row's values. */
void SqliteSource::freeAside() {
    for (sqlite3_value*& v : aside_) {
        sqlite3_value_free(v);
        v = nullptr;
    }
}

sqlite3_value* SqliteSource::sqliteValue(size_t col) { return sqlite3_column_value(stmt_, int(col)); }

/* ------------------------------------------------------------------ sink */

SqliteSink::SqliteSink(std::shared_ptr<SqliteDb> db, std::string table, TableMode mode)
    : db_(std::move(db)), table_(std::move(table)), mode_(mode) {}

SqliteSink::~SqliteSink() { abort(); }

void SqliteSink::begin(const std::vector<DestColumn>& cols) {
    cols_ = cols;
    db_->exec("BEGIN IMMEDIATE");
    inTransaction_ = true;
    bool exists = db_->tableExists(table_);
    if (exists && mode_ == TableMode::Create)
        throw RunError(db_->path() + ": table " + table_ + " exists (use --replace or --append)");
    if (exists && mode_ == TableMode::Replace) db_->exec("DROP TABLE " + QuoteName(table_));
    if (!exists || mode_ == TableMode::Replace) {
        std::string sql = "CREATE TABLE " + QuoteName(table_) + " (";
        for (size_t i = 0; i < cols_.size(); ++i) {
            sql += (i ? ", " : "") + QuoteName(cols_[i].name);
            if (!cols_[i].declared.empty()) sql += " " + cols_[i].declared;
            if (!cols_[i].nullable) sql += " NOT NULL";
        }
        db_->exec(sql + ")");
    }
    std::string sql = "INSERT INTO " + QuoteName(table_) + " (";
    for (size_t i = 0; i < cols_.size(); ++i) sql += (i ? ", " : "") + QuoteName(cols_[i].name);
    sql += ") VALUES (";
    for (size_t i = 0; i < cols_.size(); ++i) sql += i ? ", ?" : "?";
    if (sqlite3_prepare_v2(db_->handle(), (sql + ")").c_str(), -1, &insert_, nullptr) != SQLITE_OK)
        throw RunError(db_->error());
}

void SqliteSink::write(Source& src, const std::vector<OutCell>& mapped) {
    for (size_t i = 0; i < cols_.size(); ++i) {
        int p = int(i) + 1;
        int s = cols_[i].source;
        if (s >= 0) {
            if (sqlite3_value* v = src.sqliteValue(size_t(s))) {
                sqlite3_bind_value(insert_, p, v);
            } else if (src.isNull(size_t(s))) {
                sqlite3_bind_null(insert_, p);
            } else {
                std::string_view t = src.text(size_t(s));
                sqlite3_bind_text(insert_, p, t.data(), int(t.size()), SQLITE_TRANSIENT);
            }
        } else if (mapped[i].isNull) {
            sqlite3_bind_null(insert_, p);
        } else {
            sqlite3_bind_text16(insert_, p, mapped[i].value.data(), int(mapped[i].value.size() * 2), SQLITE_TRANSIENT);
        }
    }
    if (sqlite3_step(insert_) != SQLITE_DONE) {
        std::string why = db_->error();
        sqlite3_reset(insert_);
        throw RunError(why);
    }
    sqlite3_reset(insert_);
    ++rows_;
}

void SqliteSink::commit() {
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    db_->exec("COMMIT");
    inTransaction_ = false;
    committed_ = true;
}

void SqliteSink::abort() noexcept {
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    if (inTransaction_) sqlite3_exec(db_->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    inTransaction_ = false;
}

} // namespace ztnid
