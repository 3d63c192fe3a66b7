/*
** pg_table.cpp - PostgreSQL tables as sources and sinks, over libpq.
*/
#include "host/ztnid/pg_table.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "host/ztnid/text.h"

namespace ztnid {

namespace {

enum { SEND_BYTES = 1 << 16 };

/* The server (its start time) and the database (its oid), as one value. */
const char* const kServerIdentity =
    "pg_postmaster_start_time()::text || '|' || (SELECT oid FROM pg_database WHERE datname = current_database())";

struct ResultFree {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

/* A server message on one line: its lines joined by "; ", without the last line end. */
std::string OneLine(const char* msg) {
    std::string s = msg ? msg : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    for (size_t p; (p = s.find('\n')) != std::string::npos;) s.replace(p, 1, "; ");
    return s;
}

/* The value of a backslash escape of COPY's text format starting at s[*i] (just after
** the backslash); *i moves past it. */
char Unescape(const char* s, size_t n, size_t* i) {
    char c = s[(*i)++];
    switch (c) {
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'v': return '\v';
    case 'x': {
        int v = 0, k = 0;
        for (; k < 2 && *i < n && std::isxdigit(static_cast<unsigned char>(s[*i])); ++k, ++*i)
            v = v * 16 + (s[*i] <= '9' ? s[*i] - '0' : (s[*i] | 0x20) - 'a' + 10);
        return k ? char(v) : 'x';
    }
    default:
        if (c >= '0' && c <= '7') {
            int v = c - '0';
            for (int k = 1; k < 3 && *i < n && s[*i] >= '0' && s[*i] <= '7'; ++k, ++*i) v = v * 8 + (s[*i] - '0');
            return char(v);
        }
        return c; /* \\ and any other character stand for themselves */
    }
}

} // namespace

bool ParseCopyLine(std::string_view line, std::string* values, std::vector<CopyField>* fields, std::string* why) {
    const char* s = line.data();
    size_t n = line.size(), field = 0, i = 0;
    values->clear();
    for (;;) {
        if (field == fields->size()) {
            *why = "more fields than columns";
            return false;
        }
        CopyField& f = (*fields)[field];
        f.offset = values->size();
        f.isNull = n - i >= 2 && s[i] == '\\' && s[i + 1] == 'N' && (i + 2 == n || s[i + 2] == '\t');
        if (f.isNull) {
            i += 2;
        } else {
            while (i < n && s[i] != '\t') {
                size_t run = i;
                while (run < n && s[run] != '\t' && s[run] != '\\') ++run;
                values->append(s + i, run - i);
                i = run;
                if (i < n && s[i] == '\\') {
                    if (++i == n) {
                        *why = "the line ends in a backslash";
                        return false;
                    }
                    *values += Unescape(s, n, &i);
                }
            }
        }
        f.length = values->size() - f.offset;
        ++field;
        if (i == n) break;
        ++i; /* the tab */
    }
    if (field != fields->size()) {
        *why = "fewer fields than columns";
        return false;
    }
    return true;
}

namespace {

/* Characters COPY's text format escapes on the way in. */
struct EscapeTable {
    char code[256] = {};
    EscapeTable() {
        code[uint8_t('\\')] = '\\';
        code[uint8_t('\n')] = 'n';
        code[uint8_t('\r')] = 'r';
        code[uint8_t('\t')] = 't';
    }
};
const EscapeTable kEscape;

} // namespace

void AppendCopyText(std::string& out, std::string_view v) {
    size_t from = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        char e = kEscape.code[static_cast<unsigned char>(v[i])];
        if (!e) continue;
        out.append(v.data() + from, i - from);
        out += '\\';
        out += e;
        from = i + 1;
    }
    out.append(v.data() + from, v.size() - from);
}

namespace {

/* The exit's type of a PostgreSQL column from its catalog entry (type name, typmod). */
ColumnType ExitTypeOf(const std::string& typname, long typmod) {
    ColumnType t;
    if ((typname == "varchar" || typname == "bpchar") && typmod > 4) t.length = int32_t(typmod - 4);
    if (typname == "bpchar") t.code = 1; /* CHAR */
    if (typname == "bpchar" && typmod <= 4) t.length = 1;
    return t;
}

/* A declared type for an SQLite table that keeps the values as PostgreSQL wrote them:
** the exit's names for the string types, INTEGER for the integer types, and TEXT for
** everything else (other names would give SQLite's numeric affinity, which turns
** 12.50 into 12.5). */
std::string DeclaredFor(const std::string& typname, ColumnType t) {
    if (typname == "varchar" || typname == "bpchar") return TypeText(t);
    if (typname == "int2" || typname == "int4" || typname == "int8") return "INTEGER";
    return "TEXT";
}

} // namespace

/* ------------------------------------------------------------------ connection */

PgConnection::PgConnection(const std::string& conninfo) {
    const char* keys[] = {"dbname", "fallback_application_name", nullptr};
    const char* values[] = {conninfo.c_str(), "ztnid", nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!conn_) throw RunError("cannot connect to PostgreSQL: out of memory");
    const char* failed = PQstatus(conn_) != CONNECTION_OK         ? "cannot connect to PostgreSQL: "
                         : PQsetClientEncoding(conn_, "UTF8") != 0 ? "PostgreSQL: cannot use UTF-8: "
                                                                   : nullptr;
    if (failed) {
        /* A constructor that throws runs no destructor: the connection is closed here. */
        std::string why = error();
        PQfinish(conn_);
        conn_ = nullptr;
        throw RunError(failed + why);
    }
}

PgConnection::~PgConnection() { PQfinish(conn_); }

std::string PgConnection::error() const { return OneLine(PQerrorMessage(conn_)); }

std::vector<std::vector<std::string>> PgConnection::query(const std::string& sql,
                                                          const std::vector<std::string>& params) {
    std::vector<const char*> p;
    for (const std::string& s : params) p.push_back(s.c_str());
    Result r(PQexecParams(conn_, sql.c_str(), int(p.size()), nullptr, p.data(), nullptr, nullptr, 0));
    ExecStatusType st = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK)
        throw RunError("PostgreSQL: " + (r ? OneLine(PQresultErrorMessage(r.get())) : error()));
    std::vector<std::vector<std::string>> rows(size_t(PQntuples(r.get())));
    for (size_t i = 0; i < rows.size(); ++i)
        for (int c = 0; c < PQnfields(r.get()); ++c) rows[i].emplace_back(PQgetvalue(r.get(), int(i), c));
    return rows;
}

std::string PgConnection::quote(const std::string& name) {
    char* q = PQescapeIdentifier(conn_, name.c_str(), name.size());
    if (!q) throw RunError("PostgreSQL: " + error());
    std::string s = q;
    PQfreemem(q);
    return s;
}

/* ------------------------------------------------------------------ source */

PgSource::PgSource(const std::string& conninfo, const std::string& table)
    : conn_(std::make_unique<PgConnection>(conninfo)), table_(table) {
    /* The server resolves the name along its search path. */
    auto rel = conn_->query("SELECT n.nspname, c.relname, " + std::string(kServerIdentity) +
                                " FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE c.oid = "
                                "to_regclass($1)",
                            {table});
    if (rel.empty()) throw RunError("PostgreSQL: no table " + table);
    quoted_ = conn_->quote(rel[0][0]) + "." + conn_->quote(rel[0][1]);
    identity_ = rel[0][2] + "|" + rel[0][0] + "|" + rel[0][1];
    auto cols = conn_->query("SELECT a.attname, t.typname, a.atttypmod, format_type(a.atttypid, a.atttypmod), "
                             "a.attnotnull FROM pg_attribute a JOIN pg_type t ON t.oid = a.atttypid "
                             "WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped "
                             "ORDER BY a.attnum",
                             {table});
    std::string select = "COPY (SELECT ";
    for (const auto& c : cols) {
        SourceColumn s;
        s.name = c[0];
        s.type = ExitTypeOf(c[1], std::atol(c[2].c_str()));
        s.pgType = c[3];
        s.declared = DeclaredFor(c[1], s.type);
        s.nullable = c[4] != "t";
        select += (columns_.empty() ? "" : ", ") + conn_->quote(s.name);
        columns_.push_back(s);
    }
    if (columns_.empty()) throw RunError("PostgreSQL: table " + table + " has no columns");
    copy_ = select + " FROM " + quoted_ + ") TO STDOUT";
    fields_.resize(columns_.size());
}

PgSource::~PgSource() = default;

double PgSource::fractionRead() {
    if (rowCount_ < 0 && !copying_) {
        rowCount_ = 0;
        auto n = conn_->query("SELECT count(*) FROM " + quoted_);
        rowCount_ = std::atol(n[0][0].c_str());
    }
    return rowCount_ > 0 ? double(row_) / double(rowCount_) : -1;
}

bool PgSource::next() {
    if (done_) return false;
    if (!copying_) {
        Result r(PQexec(conn_->handle(), copy_.c_str()));
        if (!r || PQresultStatus(r.get()) != PGRES_COPY_OUT)
            throw RunError("PostgreSQL: " + (r ? OneLine(PQresultErrorMessage(r.get())) : conn_->error()));
        copying_ = true;
    }
    char* line = nullptr;
    int n = PQgetCopyData(conn_->handle(), &line, 0);
    if (n > 0) {
        ++row_;
        size_t len = size_t(n);
        if (line[len - 1] == '\n') --len;
        try {
            parseRow(line, len);
        } catch (...) {
            PQfreemem(line);
            throw;
        }
        PQfreemem(line);
        return true;
    }
    if (n == -2) throw RunError("PostgreSQL: reading " + table_ + ": " + conn_->error());
    done_ = true;
    Result r(PQgetResult(conn_->handle()));
    if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK)
        throw RunError("PostgreSQL: reading " + table_ + ": " +
                       (r ? OneLine(PQresultErrorMessage(r.get())) : conn_->error()));
    while (PGresult* rest = PQgetResult(conn_->handle())) PQclear(rest);
    return false;
}

void PgSource::parseRow(const char* s, size_t n) {
    std::string why;
    if (!ParseCopyLine(std::string_view(s, n), &values_, &fields_, &why))
        throw RunError("PostgreSQL: reading " + table_ + ", row " + std::to_string(row_) + ": " + why);
}

std::string_view PgSource::text(size_t col) {
    const CopyField& f = fields_[col];
    return std::string_view(values_.data() + f.offset, f.length);
}

/* ------------------------------------------------------------------ sink */

std::string PgTypeOf(const DestColumn& c) {
    if (!c.pgType.empty()) return c.pgType;
    /* A copied column of another source keeps a string type it declares by the exit's
    ** names; everything else is text. */
    if (c.source >= 0) {
        std::string upper;
        for (char ch : c.declared) upper += char(std::toupper(static_cast<unsigned char>(ch)));
        if (upper.find('(') == std::string::npos || !*TypeCodeName(c.type.code)) return "text";
        if (upper.rfind(TypeCodeName(c.type.code), 0) != 0) return "text";
    }
    int32_t n = CapacityUnits(c.type);
    if (n < 1) n = 1;
    switch (c.type.code) {
    case 1: case 30: case 32: return "character(" + std::to_string(n) + ")";
    case 2: case 31: case 33: return "character varying(" + std::to_string(n) + ")";
    default: return "text";
    }
}

PgSink::PgSink(const std::string& conninfo, std::string table, TableMode mode)
    : conn_(std::make_unique<PgConnection>(conninfo)), table_(std::move(table)), mode_(mode) {}

PgSink::~PgSink() { abort(); }

void PgSink::begin(const std::vector<DestColumn>& cols) {
    cols_ = cols;
    conn_->query("BEGIN");
    inTransaction_ = true;
    /* SCHEMA.TABLE, or TABLE in the schema where CREATE TABLE would put it. */
    auto name = conn_->query("SELECT coalesce(CASE WHEN array_length(p, 1) = 2 THEN p[1] END, current_schema()), "
                             "p[array_length(p, 1)], array_length(p, 1), " + std::string(kServerIdentity) +
                                 " FROM parse_ident($1) AS p",
                             {table_});
    if (name[0][2] != "1" && name[0][2] != "2")
        throw RunError("PostgreSQL: " + table_ + ": a table is named TABLE or SCHEMA.TABLE");
    if (name[0][0].empty()) throw RunError("PostgreSQL: " + table_ + ": no schema to create the table in");
    if (name[0][3] + "|" + name[0][0] + "|" + name[0][1] == sourceIdentity_)
        throw RunError("PostgreSQL: " + table_ + " is the table being read");
    std::string quoted = conn_->quote(name[0][0]) + "." + conn_->quote(name[0][1]);
    bool exists = !conn_->query("SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                                "WHERE n.nspname = $1 AND c.relname = $2",
                                {name[0][0], name[0][1]})
                       .empty();
    if (exists && mode_ == TableMode::Create)
        throw RunError("PostgreSQL: table " + table_ + " exists (use --replace or --append)");
    if (exists && mode_ == TableMode::Replace) conn_->query("DROP TABLE " + quoted);
    if (!exists || mode_ == TableMode::Replace) {
        std::string sql = "CREATE TABLE " + quoted + " (";
        for (size_t i = 0; i < cols_.size(); ++i) {
            sql += (i ? ", " : "") + conn_->quote(cols_[i].name) + " " + PgTypeOf(cols_[i]);
            if (!cols_[i].nullable) sql += " NOT NULL";
        }
        conn_->query(sql + ")");
    }
    std::string copy = "COPY " + quoted + " (";
    for (size_t i = 0; i < cols_.size(); ++i) copy += (i ? ", " : "") + conn_->quote(cols_[i].name);
    /* A table made in this transaction can take its rows already frozen. */
    copy += exists && mode_ == TableMode::Append ? ") FROM STDIN" : ") FROM STDIN WITH (FREEZE)";
    Result r(PQexec(conn_->handle(), copy.c_str()));
    if (!r || PQresultStatus(r.get()) != PGRES_COPY_IN)
        throw RunError("PostgreSQL: " + (r ? OneLine(PQresultErrorMessage(r.get())) : conn_->error()));
    copying_ = true;
}

void PgSink::encode(Source& src, const std::vector<OutCell>& mapped, std::string& out) const {
    thread_local std::string scratch;
    for (size_t i = 0; i < cols_.size(); ++i) {
        if (i) out += '\t';
        int s = cols_[i].source;
        if (s >= 0) {
            if (src.isNull(size_t(s))) out += "\\N";
            else AppendCopyText(out, src.text(size_t(s)));
        } else if (mapped[i].isNull) {
            out += "\\N";
        } else {
            scratch.clear();
            AppendUtf8(scratch, mapped[i].value.data(), mapped[i].value.size());
            AppendCopyText(out, scratch);
        }
    }
    out += '\n';
}

void PgSink::write(Source& src, const std::vector<OutCell>& mapped) {
    encode(src, mapped, out_);
    ++rows_;
    if (out_.size() >= SEND_BYTES) send();
}

void PgSink::writeEncoded(std::string_view bytes, long rows) {
    send();
    put(bytes);
    rows_ += rows;
}

void PgSink::put(std::string_view bytes) {
    for (size_t at = 0; at < bytes.size(); at += SEND_BYTES) {
        size_t n = std::min(bytes.size() - at, size_t(SEND_BYTES));
        if (PQputCopyData(conn_->handle(), bytes.data() + at, int(n)) != 1)
            throw RunError("PostgreSQL: writing " + table_ + ": " + conn_->error());
    }
}

void PgSink::send() {
    put(out_);
    out_.clear();
}

void PgSink::commit() {
    send();
    copying_ = false;
    if (PQputCopyEnd(conn_->handle(), nullptr) != 1)
        throw RunError("PostgreSQL: writing " + table_ + ": " + conn_->error());
    Result r(PQgetResult(conn_->handle()));
    std::string why = !r ? conn_->error()
                         : PQresultStatus(r.get()) != PGRES_COMMAND_OK ? OneLine(PQresultErrorMessage(r.get())) : "";
    while (PGresult* rest = PQgetResult(conn_->handle())) PQclear(rest);
    if (!why.empty()) throw RunError("PostgreSQL: writing " + table_ + ": " + why);
    conn_->query("COMMIT");
    inTransaction_ = false;
    committed_ = true;
}

void PgSink::abort() noexcept {
    out_.clear();
    if (!conn_) return;
    if (copying_) {
        PQputCopyEnd(conn_->handle(), "the ztnid run failed");
        while (PGresult* r = PQgetResult(conn_->handle())) PQclear(r);
        copying_ = false;
    }
    if (inTransaction_) PQclear(PQexec(conn_->handle(), "ROLLBACK"));
    inTransaction_ = false;
}

} // namespace ztnid
