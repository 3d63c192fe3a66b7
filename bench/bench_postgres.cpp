/*
** bench_postgres.cpp - rows per second of the ztnid PostgreSQL extension in a throwaway
** cluster, against md5(), PostgreSQL's own function, on the same rows.
**
** One table of mixed-country numbers (ZT_BENCH_PG_ROWS rows, ten million by default):
**   Scan/workers:W        SELECT count(nid)                       the scan alone
**   Md5/workers:W         SELECT count(md5(nid))                  the floor
**   Mask/workers:W        SELECT count(ztnid.mask(nid, country))
**   Update                UPDATE t SET nid = ztnid.mask(nid, country) (on a copy)
** with max_parallel_workers_per_gather = W.  Times are wall-clock (the work is done by
** the server's processes); each benchmark runs its statement once per iteration.
*/
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/pg_ztnid.h"

namespace {

long Rows() {
    const char* env = std::getenv("ZT_BENCH_PG_ROWS");
    return env ? std::atol(env) : 10000000L;
}

/* Numbers of the four countries in turn, well formed (the key or letter computed). */
const char* kFill =
    "INSERT INTO t SELECT i, (ARRAY['FR','IT','ES','UK'])[1 + i % 4], CASE i % 4"
    " WHEN 0 THEN b || lpad((97 - b::bigint % 97)::text, 2, '0')"
    " WHEN 1 THEN 'RSSMRA' || lpad((i % 100)::text, 2, '0') || substr('ABCDEHLMPRST', 1 + i % 12, 1)"
    "   || lpad((1 + i % 28)::text, 2, '0') || 'H501' || substr('ABCDEFGHIJKLMNOPQRSTUVWXYZ', 1 + i % 26, 1)"
    " WHEN 2 THEN lpad((i % 9999991)::text, 7, '0') || substr('TRWAGMYFPDXBNJZSQVHLCKE', 1 + (i % 9999991) % 23, 1)"
    " ELSE substr('ABCEGHJKLMNOPRSTWXYZ', 1 + i % 20, 1) || substr('ABCEGHJKLMNPRSTWXYZ', 1 + (i / 20) % 19, 1)"
    "   || lpad((i % 1000000)::text, 6, '0') || substr('ABCD', 1 + i % 4, 1) END"
    " FROM (SELECT i, (1 + i % 2)::text || lpad((i % 100)::text, 2, '0') || lpad((1 + i % 12)::text, 2, '0')"
    "   || lpad((1 + i % 19)::text, 2, '0') || lpad((i % 1000000)::text, 6, '0') AS b"
    "   FROM generate_series(1, $ROWS) i) g";

/* The cluster and the table, made once. */
pgtest::Connection* Db(benchmark::State& state) {
    static std::unique_ptr<pgtest::Connection> db;
    static std::string failure;
    if (!db && failure.empty()) {
        const pgtest::PgCluster* cluster = pgtest::ZtnidCluster(&failure);
        if (cluster) {
            db = std::make_unique<pgtest::Connection>(cluster->conninfo());
            std::string fill = kFill;
            fill.replace(fill.find("$ROWS"), 5, std::to_string(Rows()));
            for (const std::string& sql :
                 {std::string("CREATE EXTENSION ztnid"), std::string("CREATE TABLE t (id int, country text, nid text)"),
                  fill, std::string("VACUUM ANALYZE t"), std::string("SELECT count(*) FROM t")}) {
                pgtest::QueryResult r = db->query(sql);
                if (!r.ok) failure = sql.substr(0, 40) + ": " + r.error;
            }
            std::string masked = db->query("SELECT count(ztnid.mask(nid, country)) FROM t").value();
            std::printf("table t: %ld rows, %s masked\n", Rows(), masked.c_str());
        }
        if (!failure.empty()) db.reset();
    }
    if (!db) state.SkipWithError(failure.c_str());
    return db.get();
}

/* Runs one statement per iteration with W parallel workers; rows/s of the table. */
void RunStatement(benchmark::State& state, const std::string& sql) {
    pgtest::Connection* db = Db(state);
    if (!db) return;
    db->query("SET max_parallel_workers_per_gather = " + std::to_string(state.range(0)));
    for (auto _ : state) {
        pgtest::QueryResult r = db->query(sql);
        if (!r.ok) {
            state.SkipWithError(r.error.c_str());
            return;
        }
    }
    state.counters["rows/s"] = benchmark::Counter(double(Rows()) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void Scan(benchmark::State& state) { RunStatement(state, "SELECT count(nid) FROM t"); }
void Md5(benchmark::State& state) { RunStatement(state, "SELECT count(md5(nid)) FROM t"); }
void Mask(benchmark::State& state) { RunStatement(state, "SELECT count(ztnid.mask(nid, country)) FROM t"); }

void Update(benchmark::State& state) {
    pgtest::Connection* db = Db(state);
    if (!db) return;
    db->query("DROP TABLE IF EXISTS u");
    db->query("CREATE TABLE u AS SELECT * FROM t");
    db->query("VACUUM ANALYZE u");
    RunStatement(state, "UPDATE u SET nid = ztnid.mask(nid, country)");
}

BENCHMARK(Scan)->ArgName("workers")->Arg(0)->Arg(2)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Md5)->ArgName("workers")->Arg(0)->Arg(2)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Mask)->ArgName("workers")->Arg(0)->Arg(2)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Update)->ArgName("workers")->Arg(0)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
