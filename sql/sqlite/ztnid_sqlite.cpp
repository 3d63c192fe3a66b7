/*
** ztnid_sqlite.cpp - the ztnid SQLite extension (ztnid_sqlite.so).
**
**   ztnid_mask(value, country[, operands])    deterministic: the value the exit puts,
**                                             NULL when it skips the row
**   ztnid_check(value, country[, operands])   deterministic: NULL when mask writes a
**                                             value, else why the exit skips the row
**   ztnid_random(country[, operands])         a fresh valid number of the country
**   ztnid_keyed_mask(value, country, key[, operands[, scope]])
**   ztnid_keyed_unmask(value, country, key[, operands[, scope]])
**                                             deterministic: masked with the key (a blob
**                                             of 16, 24 or 32 bytes) and reversed; NULL
**                                             for a value that is not valid
**
** Each registration keeps its column maps for the life of the connection; the end calls
** are made when the connection closes (or the function is replaced).
*/
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include "sql/common/sql_host.h"
#include "sql/common/sql_keyed.h"

namespace {

/* An argument as UTF-8 text (SQLite converts numbers and blobs), or NULL. */
sqlhost::Text ArgText(sqlite3_value** argv, int argc, int n) {
    sqlhost::Text t;
    if (n >= argc || sqlite3_value_type(argv[n]) == SQLITE_NULL) return t;
    t.data = reinterpret_cast<const char*>(sqlite3_value_text(argv[n]));
    t.size = size_t(sqlite3_value_bytes(argv[n]));
    t.isNull = t.data == nullptr;
    return t;
}

void SetResult(sqlite3_context* ctx, sqlhost::Answer a) {
    switch (a.status) {
    case sqlhost::ANSWER_VALUE: sqlite3_result_text(ctx, a.text, int(a.size), SQLITE_TRANSIENT); break;
    case sqlhost::ANSWER_NULL: sqlite3_result_null(ctx); break;
    case sqlhost::ANSWER_NO_MEMORY: sqlite3_result_error_nomem(ctx); break;
    default: sqlite3_result_error(ctx, a.text, int(a.size)); break;
    }
}

sqlhost::CallSite* SiteOf(sqlite3_context* ctx) { return static_cast<sqlhost::CallSite*>(sqlite3_user_data(ctx)); }

/* mask and check: NULL for a NULL value or country under mask, as a strict function. */
void MaskOrCheck(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool strict) {
    sqlhost::Text value = ArgText(argv, argc, 0), country = ArgText(argv, argc, 1);
    if (strict && (value.isNull || country.isNull)) return sqlite3_result_null(ctx);
    SetResult(ctx, sqlhost::RunRow(SiteOf(ctx), value, country, ArgText(argv, argc, 2)));
}

void Mask(sqlite3_context* ctx, int argc, sqlite3_value** argv) { MaskOrCheck(ctx, argc, argv, true); }
void Check(sqlite3_context* ctx, int argc, sqlite3_value** argv) { MaskOrCheck(ctx, argc, argv, false); }

void Random(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    sqlhost::Text country = ArgText(argv, argc, 0);
    if (country.isNull) return sqlite3_result_null(ctx);
    SetResult(ctx, sqlhost::RunRow(SiteOf(ctx), sqlhost::Text{}, country, ArgText(argv, argc, 1)));
}

void FreeSite(void* site) { sqlhost::FreeCallSite(static_cast<sqlhost::CallSite*>(site)); }

/* The key argument's bytes (a blob, or the bytes of text). */
sqlhost::Text ArgBytes(sqlite3_value** argv, int n) {
    sqlhost::Text t;
    t.data = static_cast<const char*>(sqlite3_value_blob(argv[n]));
    t.size = size_t(sqlite3_value_bytes(argv[n]));
    t.isNull = sqlite3_value_type(argv[n]) == SQLITE_NULL;
    if (!t.data) t.data = "";
    return t;
}

/* keyed_mask and keyed_unmask: NULL for any NULL argument, as a strict function. */
void Keyed(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool unmask) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    auto* site = static_cast<sqlhost::KeyedSite*>(sqlite3_user_data(ctx));
    sqlhost::Text key = ArgBytes(argv, 2); /* read first: text conversions of the others do not touch it */
    SetResult(ctx, sqlhost::RunKeyed(site, unmask, ArgText(argv, argc, 0), ArgText(argv, argc, 1), key,
                                     ArgText(argv, argc, 3), ArgText(argv, argc, 4)));
}

void KeyedMask(sqlite3_context* ctx, int argc, sqlite3_value** argv) { Keyed(ctx, argc, argv, false); }
void KeyedUnmask(sqlite3_context* ctx, int argc, sqlite3_value** argv) { Keyed(ctx, argc, argv, true); }

void FreeKeyedSite(void* site) { sqlhost::FreeKeyedSite(static_cast<sqlhost::KeyedSite*>(site)); }

/* Registers one name for nArg arguments, with a call site of its own. */
int Register(sqlite3* db, const char* name, int nArg, int flags, sqlhost::Method method,
             void (*fn)(sqlite3_context*, int, sqlite3_value**)) {
    sqlhost::CallSite* site = sqlhost::NewCallSite(method);
    if (!site) return SQLITE_NOMEM;
    /* On failure SQLite calls FreeSite itself. */
    return sqlite3_create_function_v2(db, name, nArg, flags, site, fn, nullptr, nullptr, FreeSite);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int sqlite3_ztnidsqlite_init(sqlite3* db, char** /*pzErrMsg*/,
                                                                                const sqlite3_api_routines* pApi) {
    SQLITE_EXTENSION_INIT2(pApi);
    const int pure = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    const struct {
        const char* name;
        int minArgs;
        int flags;
        sqlhost::Method method;
        void (*fn)(sqlite3_context*, int, sqlite3_value**);
    } kFunctions[] = {
        {"ztnid_mask", 2, pure, sqlhost::METHOD_MASK, Mask},
        {"ztnid_check", 2, pure, sqlhost::METHOD_CHECK, Check},
        {"ztnid_random", 1, SQLITE_UTF8 | SQLITE_INNOCUOUS, sqlhost::METHOD_RANDOM, Random},
    };
    for (const auto& f : kFunctions)
        for (int n = f.minArgs; n <= f.minArgs + 1; ++n) {
            int rc = Register(db, f.name, n, f.flags, f.method, f.fn);
            if (rc != SQLITE_OK) return rc;
        }
    const struct {
        const char* name;
        void (*fn)(sqlite3_context*, int, sqlite3_value**);
    } kKeyed[] = {{"ztnid_keyed_mask", KeyedMask}, {"ztnid_keyed_unmask", KeyedUnmask}};
    for (const auto& f : kKeyed)
        for (int n = 3; n <= 5; ++n) {
            sqlhost::KeyedSite* site = sqlhost::NewKeyedSite();
            if (!site) return SQLITE_NOMEM;
            int rc = sqlite3_create_function_v2(db, f.name, n, pure, site, f.fn, nullptr, nullptr, FreeKeyedSite);
            if (rc != SQLITE_OK) return rc;
        }
    return SQLITE_OK;
}
