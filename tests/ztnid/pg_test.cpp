/* pg_test.cpp - ztnid with PostgreSQL tables on a throwaway cluster: copies through
** PostgreSQL, CSV and SQLite agree byte for byte; failed, dry and killed runs leave the
** destination as it was. */
#if !defined(_WIN32)
#include <libpq-fe.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "support/pg_cluster.h"
#include "ztnid_test_util.h"

using namespace ztnid_test;

/* Rows of a statement, every value as text (NULL as kNull), and an error as one row. */
static Rows Sql(const std::string& conninfo, const std::string& sql) {
    PGconn* c = PQconnectdb((conninfo + " options='-c client_min_messages=warning'").c_str());
    PGresult* r = PQexec(c, sql.c_str());
    Rows rows;
    if (PQresultStatus(r) != PGRES_TUPLES_OK && PQresultStatus(r) != PGRES_COMMAND_OK)
        rows.push_back({std::string("error: ") + PQresultErrorMessage(r)});
    for (int i = 0; i < PQntuples(r); ++i) {
        rows.emplace_back();
        for (int k = 0; k < PQnfields(r); ++k)
            rows.back().push_back(PQgetisnull(r, i, k) ? kNull : PQgetvalue(r, i, k));
    }
    PQclear(r);
    PQfinish(c);
    return rows;
}

class ZtnidPg : public Ztnid {
protected:
    void SetUp() override {
        Ztnid::SetUp();
        std::string why;
        const pgtest::PgCluster* cluster = IsSkipped() ? nullptr : pgtest::SharedPgCluster(&why);
        if (!cluster) GTEST_SKIP() << why;
        db = cluster->conninfo();
    }
    /* The rows of a table as ztnid writes them to CSV. */
    std::string AsCsv(const Args& from) {
        Outcome o = Mask(Plus({"-q"}, from));
        EXPECT_LE(o.status, 1) << o.err;
        return o.out;
    }
    bool Exists(const std::string& table) {
        return Sql(db, "SELECT to_regclass('" + table + "') IS NOT NULL") == Rows{{"t"}};
    }
    std::string db;
};

/* Common types, names to quote, non-ASCII, NULLs and '', tabs, line breaks, backslashes. */
static const char* kSource = R"(DROP SCHEMA IF EXISTS "HR Data" CASCADE; CREATE SCHEMA "HR Data";
CREATE TABLE "HR Data"."My People" (id integer PRIMARY KEY, "Full Name" text, country char(2),
  nid varchar(20), amount numeric(10,2), born date, seen timestamptz, doc json, raw bytea,
  tags text[], ok boolean, ratio double precision);
INSERT INTO "HR Data"."My People" VALUES
(1, E'José Núñez\ttab\nline \\ back 😀', 'ES', '1234567L', 12.50, '1980-01-02',
  '2020-01-01 10:00+00', '{"a": [1, "é"]}', '\x00ff10', '{a,"b c",NULL}', true, 0.1),
(2, NULL, 'FR', '185057511234529', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
(3, '', 'IT', 'BNCLCU80A01D612U', -1, 'infinity', 'epoch', 'null', '\x', '{}', false, -1e300),
(4, '王明 "quoted", comma', 'UK', 'JK 12 34 56 D', 0, '2000-02-29', now(), '[]', '\x5c',
  '{"\\\\"}', true, 'NaN'),
(5, 'Zoë', 'ES', 'X-7654321-J', 1e7, '0001-01-01 BC', NULL, '{}', '\x0a0d09', NULL, NULL, 1.5),
(6, 'nobody', 'DE', '', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
(7, 'blank', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);)";

/* The unmapped columns as the source's, the mapped one as the exit answers. */
TEST_F(ZtnidPg, CopiesAgreeBetweenPostgresqlCsvAndSqlite) {
    ASSERT_EQ(Sql(db, kSource), (Rows{}));
    const std::string ops = "switch=country", out = "\"Out Schema\".\"Masked People\"";
    const Args source{"--from-pg", db, "--from", "\"HR Data\".\"My People\""};
    const Args masking = Plus(source, {"--map", "nid=" + ops});
    std::string plain = AsCsv(source), masked = AsCsv(Plus(masking, {"-j", "1"}));
    WriteFile(dir / "plain.csv", plain);
    WriteFile(dir / "masked.csv", masked);
    Args want = ReferenceRun(dir / "plain.csv", "nid", ops);
    Rows in = CsvRows(dir / "plain.csv"), got = CsvRows(dir / "masked.csv");
    ASSERT_EQ(in.size(), 7u) << plain;
    for (size_t r = 0; r < in.size(); ++r) in[r][3] = want[r];
    EXPECT_EQ(got, in);
    EXPECT_EQ(std::make_tuple(in[0][1], in[1][1], in[2][1], in[0][8], in[3][8]),
              std::make_tuple("José Núñez\ttab\nline \\ back 😀", kNull, "", "\\x00ff10", "\\x5c"));
    /* the same masked table through PostgreSQL and SQLite; -j 2 as -j 1 */
    const std::string sqlite = dir / "t.db";
    const std::pair<Args, Args> routes[] = {
        {{"--to-pg", db, "--to", out}, {"--from-pg", db, "--from", out}},
        {{"--db", sqlite, "--to", "masked"}, {"--db", sqlite, "--from", "masked"}},
        {{"--to-pg", db, "--to", "masked_2", "-j", "2"}, {"--from-pg", db, "--from", "masked_2"}},
    };
    Sql(db, "CREATE SCHEMA \"Out Schema\"");
    for (const auto& [to, back] : routes) {
        Outcome o = Mask(Plus(masking, to));
        EXPECT_EQ(o.status, 1) << o.err; /* the rows of Germany and the blank country: skipped */
        EXPECT_TRUE(AsCsv(back) == masked) << to[2];
    }
    EXPECT_TRUE(AsCsv(Plus(masking, {"-j", "2"})) == masked);
    /* PostgreSQL keeps the source's types; the plain CSV goes in and out unchanged */
    EXPECT_EQ(Sql(db, "SELECT format_type(atttypid, atttypmod) FROM pg_attribute WHERE attrelid ="
                      " '" + out + "'::regclass AND attname IN ('amount', 'tags', 'nid')"
                      " ORDER BY 1"),
              (Rows{{"character varying(20)"}, {"numeric(10,2)"}, {"text[]"}}));
    ASSERT_EQ(Mask({dir / "plain.csv", "--to-pg", db, "--to", "from_csv"}).status, 0);
    EXPECT_TRUE(AsCsv({"--from-pg", db, "--from", "from_csv"}) == plain);
}

/* Failed and dry runs leave the destination as it was; scan reads a table. */
TEST_F(ZtnidPg, AFailedOrDryRunLeavesTheDestinationAsItWasAndScanReadsATable) {
    Sql(db, "DROP TABLE IF EXISTS src, narrow, kept, fresh, victim, people;"
            "CREATE TABLE src (id integer, nid varchar(20));"
            "INSERT INTO src SELECT i, CASE WHEN i = 6000 THEN 'X-7654321-J' ELSE '1234567L' END"
            " FROM generate_series(1, 10000) i;"
            "CREATE TABLE narrow (id integer, nid varchar(9));"
            "INSERT INTO narrow VALUES (0, 'kept');"
            "CREATE TABLE kept (id integer, nid text); INSERT INTO kept VALUES (0, 'old');"
            "CREATE TABLE victim (x integer);");
    const Args src = {"mask", "--from-pg", db, "--from", "src", "--to-pg", db, "--map"};
    const std::string es = "nid=switch=\"ES", es9 = "nid:VARCHAR(9)=switch=\"ES";
    ASSERT_EQ(Mask({"-q", SamplePath(), "--to-pg", db, "--to", "people"}).status, 0);
    const Args people = {"--from-pg", db, "--from", "people"};
    ExpectOutcomes({
        {Plus({"scan", "--json", "--rows", "300"}, people), 0, /* a partial read */
         {"\"line\": \"--map 'nid=switch=country'\""}},
        {Plus({"mask", "--dry-run", "--to-pg", db, "--to", "never_made", "--map",
               "nid=switch=country"}, people), 1, {}},
        /* the server refuses row 6000 (11 characters) in the middle of the COPY */
        {Plus(src, {es, "--to", "narrow", "--append"}), 2,
         {"value too long for type character varying(9)"}},
        /* the host refuses it: the old table stays */
        {Plus(src, {es9, "--to", "kept", "--replace"}), 2, {"row 6000"}},
        {Plus(src, {es9, "--to", "fresh", "-j", "2"}), 2, {"row 6000"}},
        /* the table being read, under another name: replacing it would wait forever */
        {Plus(src, {es, "--to", "public.SRC", "--replace"}), 2, {"is the table being read"}},
        /* a name is never SQL */
        {Plus(src, {es, "--to", "victim; DROP TABLE victim"}), 2, {"is not a valid identifier"}},
    }, dir.path);
    EXPECT_EQ(Sql(db, "SELECT * FROM narrow UNION ALL SELECT id, nid FROM kept"),
              (Rows{{"0", "kept"}, {"0", "old"}}));
    EXPECT_FALSE(Exists("fresh") || Exists("never_made"));
    EXPECT_TRUE(Exists("victim"));
}

TEST_F(ZtnidPg, AKilledRunLeavesNoTable) {
    Sql(db, "DROP TABLE IF EXISTS many, many_out; CREATE TABLE many (id integer, nid varchar(20));"
            "INSERT INTO many SELECT i, '1234567L' FROM generate_series(1, 3000000) i;");
    pid_t pid = SpawnZtnid({"mask", "-q", "--from-pg", db, "--from", "many", "--to-pg", db, "--to",
                            "many_out", "--map", "nid=switch=\"ES"});
    auto busy = [&](const std::string& query) {
        const std::string sql = "SELECT 1 FROM pg_stat_activity WHERE application_name = 'ztnid'";
        return !Sql(db, sql + query).empty();
    };
    bool copying = false; /* killed while its COPY into the new table runs */
    for (int i = 0; i < 600 && !(copying = busy(" AND query LIKE 'COPY%many_out%STDIN%'")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(pid, SIGKILL);
    int ws = 0;
    waitpid(pid, &ws, 0);
    EXPECT_TRUE(copying);
    EXPECT_TRUE(WIFSIGNALED(ws)) << "ztnid ended before it was killed";
    for (int i = 0; i < 500 && busy(""); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(Exists("many_out"));
}
#endif
