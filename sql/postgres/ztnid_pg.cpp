/*
** ztnid_pg.cpp - the ztnid PostgreSQL extension: ztnid.mask, ztnid.check, ztnid.random,
** ztnid.keyed_mask and ztnid.keyed_unmask.
**
** Every call site (FmgrInfo) keeps its column maps in fn_extra; a reset callback on
** fn_mcxt makes their end calls and frees them, whether the query ends or fails.  The
** exit's own state is allocated by the exit (outside PostgreSQL's memory contexts) and
** released by that end call.
**
** The host layer is noexcept and answers a status; only the functions below, whose
** frames own nothing with a destructor, call into PostgreSQL and may ereport.
*/
extern "C" {
#include "postgres.h"

#include "fmgr.h"
#include "mb/pg_wchar.h"
#include "utils/builtins.h"
#include "utils/memutils.h"

PG_MODULE_MAGIC;

PG_FUNCTION_INFO_V1(ztnid_mask);
PG_FUNCTION_INFO_V1(ztnid_check);
PG_FUNCTION_INFO_V1(ztnid_random);
PG_FUNCTION_INFO_V1(ztnid_keyed_mask);
PG_FUNCTION_INFO_V1(ztnid_keyed_unmask);
}

#include <cstring>

#include "sql/common/sql_host.h"
#include "sql/common/sql_keyed.h"

/* A call site's state (column maps, or keyed maskers) in the call site's memory context;
** a reset callback on fn_mcxt frees it (end calls, wiped keys), whether the query ends or
** fails.  It cannot fail. */
struct PgSite {
    void* state;
    void (*free)(void*);
    MemoryContextCallback release;
};

static void ReleaseSite(void* arg) {
    PgSite* p = static_cast<PgSite*>(arg);
    p->free(p->state);
    p->state = nullptr;
}

/* The call site's state, made by make() on its first call. */
template <typename State, typename Make>
static State* StateOf(FunctionCallInfo fcinfo, Make make, void (*free)(void*)) {
    FmgrInfo* flinfo = fcinfo->flinfo;
    PgSite* p = static_cast<PgSite*>(flinfo->fn_extra);
    if (p && p->state) return static_cast<State*>(p->state);
    p = static_cast<PgSite*>(MemoryContextAllocZero(flinfo->fn_mcxt, sizeof(PgSite)));
    p->state = make();
    if (!p->state) ereport(ERROR, (errcode(ERRCODE_OUT_OF_MEMORY), errmsg("out of memory")));
    p->free = free;
    p->release.func = ReleaseSite;
    p->release.arg = p;
    MemoryContextRegisterResetCallback(flinfo->fn_mcxt, &p->release);
    flinfo->fn_extra = p;
    return static_cast<State*>(p->state);
}

static sqlhost::CallSite* CallSiteOf(FunctionCallInfo fcinfo, sqlhost::Method method) {
    return StateOf<sqlhost::CallSite>(fcinfo, [method] { return sqlhost::NewCallSite(method); },
                                      [](void* s) { sqlhost::FreeCallSite(static_cast<sqlhost::CallSite*>(s)); });
}

/* Argument n as UTF-8 (converted from the database encoding when it differs). */
static sqlhost::Text ArgText(FunctionCallInfo fcinfo, int n) {
    sqlhost::Text t;
    if (PG_NARGS() <= n || PG_ARGISNULL(n)) return t;
    text* arg = PG_GETARG_TEXT_PP(n);
    const char* s = VARDATA_ANY(arg);
    int len = VARSIZE_ANY_EXHDR(arg);
    const char* utf8 = pg_server_to_any(s, len, PG_UTF8);
    t.data = utf8;
    t.size = utf8 == s ? size_t(len) : strlen(utf8);
    t.isNull = false;
    return t;
}

/* The SQL result of an answer: text, NULL, or an ERROR. */
static Datum ResultOf(FunctionCallInfo fcinfo, sqlhost::Answer a) {
    switch (a.status) {
    case sqlhost::ANSWER_VALUE: {
        const char* s = pg_any_to_server(a.text, int(a.size), PG_UTF8);
        PG_RETURN_TEXT_P(cstring_to_text_with_len(s, s == a.text ? int(a.size) : int(strlen(s))));
    }
    case sqlhost::ANSWER_NULL:
        PG_RETURN_NULL();
    case sqlhost::ANSWER_NO_MEMORY:
        ereport(ERROR, (errcode(ERRCODE_OUT_OF_MEMORY), errmsg("out of memory")));
        break;
    default:
        ereport(ERROR, (errcode(ERRCODE_INVALID_PARAMETER_VALUE), errmsg("ztnid: %.*s", int(a.size), a.text)));
    }
    PG_RETURN_NULL(); /* not reached */
}

/* ztnid.mask(value, country, operands): the value the exit puts, NULL when it skips. */
extern "C" Datum ztnid_mask(PG_FUNCTION_ARGS) {
    sqlhost::CallSite* site = CallSiteOf(fcinfo, sqlhost::METHOD_MASK);
    sqlhost::Text value = ArgText(fcinfo, 0), country = ArgText(fcinfo, 1), operands = ArgText(fcinfo, 2);
    return ResultOf(fcinfo, sqlhost::RunRow(site, value, country, operands));
}

/* ztnid.check(value, country, operands): NULL when mask would write a value, else why not. */
extern "C" Datum ztnid_check(PG_FUNCTION_ARGS) {
    sqlhost::CallSite* site = CallSiteOf(fcinfo, sqlhost::METHOD_CHECK);
    sqlhost::Text value = ArgText(fcinfo, 0), country = ArgText(fcinfo, 1), operands = ArgText(fcinfo, 2);
    return ResultOf(fcinfo, sqlhost::RunRow(site, value, country, operands));
}

/* ztnid.random(country, operands): a fresh valid number of the country. */
extern "C" Datum ztnid_random(PG_FUNCTION_ARGS) {
    sqlhost::CallSite* site = CallSiteOf(fcinfo, sqlhost::METHOD_RANDOM);
    sqlhost::Text country = ArgText(fcinfo, 0), operands = ArgText(fcinfo, 1);
    return ResultOf(fcinfo, sqlhost::RunRow(site, sqlhost::Text{}, country, operands));
}

static sqlhost::KeyedSite* KeyedSiteOf(FunctionCallInfo fcinfo) {
    return StateOf<sqlhost::KeyedSite>(fcinfo, [] { return sqlhost::NewKeyedSite(); },
                                       [](void* s) { sqlhost::FreeKeyedSite(static_cast<sqlhost::KeyedSite*>(s)); });
}

/* keyed_mask and keyed_unmask(value, country, key, operands, scope). */
static Datum RunKeyed(FunctionCallInfo fcinfo, bool unmask) {
    sqlhost::KeyedSite* site = KeyedSiteOf(fcinfo);
    bytea* key = PG_GETARG_BYTEA_PP(2);
    sqlhost::Text k;
    k.data = VARDATA_ANY(key);
    k.size = size_t(VARSIZE_ANY_EXHDR(key));
    k.isNull = false;
    sqlhost::Text value = ArgText(fcinfo, 0), country = ArgText(fcinfo, 1), operands = ArgText(fcinfo, 3),
                  scope = ArgText(fcinfo, 4);
    return ResultOf(fcinfo, sqlhost::RunKeyed(site, unmask, value, country, k, operands, scope));
}

extern "C" Datum ztnid_keyed_mask(PG_FUNCTION_ARGS) { return RunKeyed(fcinfo, false); }
extern "C" Datum ztnid_keyed_unmask(PG_FUNCTION_ARGS) { return RunKeyed(fcinfo, true); }
