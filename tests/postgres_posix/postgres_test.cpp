/* postgres_test.cpp - the ztnid PostgreSQL extension in a throwaway cluster: the values of
** ztnid and of the exit called directly, single values and errors, markings, parallel plans. */
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <iterator>

#include "host/emul/host_emul.h"
#include "host/emul/utf.h"
#include "support/pg_ztnid.h"

namespace {

using pgtest::Connection;

const std::string kSample =
    (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "samples" / "people.csv").string();
const std::string kHexKey = "8f0c3ad2b71e4c559a0e6d2f41b7c3e98f0c3ad2b71e4c559a0e6d2f41b7c3e9";
const std::string kKey = "'\\x" + kHexKey + "'::bytea";

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

/* The database of every test: the extension, the sample, ztnid's mask and keyed mask of it. */
class Postgres : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The exit's log directory in the server (status=y reports end calls there).
        char tmpl[] = "/tmp/ztnid-pglog-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        logDir_ = tmpl;
        chmod(tmpl, 0777);
        setenv("ZTNID_DRIVE_C", tmpl, 1);
        std::string why;
        const pgtest::PgCluster* cluster = pgtest::ZtnidCluster(&why);
        unsetenv("ZTNID_DRIVE_C"); /* the server's alone: this program and ztnid log elsewhere */
        ASSERT_NE(cluster, nullptr) << why;
        db_ = std::make_unique<Connection>(cluster->conninfo());
        ASSERT_TRUE(db_->ok()) << db_->error();
        // ztnid masks the sample, plainly and with the key (FR=15X); the tables hold the same columns.
        const std::string dir = cluster->dir + "/";
        std::ofstream(dir + "nid.key") << kHexKey << "\n";
        Exec("CREATE EXTENSION ztnid; CREATE TABLE people (id int PRIMARY KEY, first_name text, last_name text,"
             " city text, country text, nid text, note text); CREATE TABLE people_ztnid (LIKE people);"
             " CREATE TABLE people_keyed (LIKE people)");
        const std::string load[][2] = {
            {"people_ztnid", "--map nid=switch=country"},
            {"people_keyed", "--map 'nid=switch=country,format=(FR=15X)' --keyed nid=hr --key-file " + dir + "nid.key"}};
        ASSERT_EQ(db_->copyIn("COPY people FROM STDIN (FORMAT csv, HEADER)", ReadFile(kSample)), "");
        for (const auto& [table, args] : load) {
            const std::string csv = dir + table + ".csv";
            int rc = std::system(("'" ZTNID_PROGRAM "' mask -q '" + kSample + "' -o " + csv + " " + args).c_str());
            ASSERT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) <= 1) << args;
            ASSERT_EQ(db_->copyIn("COPY " + table + " FROM STDIN (FORMAT csv, HEADER)", ReadFile(csv)), "");
        }
        ready_ = true;
    }
    static void TearDownTestSuite() {
        db_.reset();
        std::error_code ec;
        std::filesystem::remove_all(logDir_, ec);
    }

    void SetUp() override { ASSERT_TRUE(ready_) << "the database could not be set up"; }

    static std::string Value(const std::string& sql) { return db_->query(sql).value(); }
    /* The first column of every row, each followed by a newline. */
    static std::string Column(const std::string& sql) {
        std::string out;
        for (const auto& row : db_->query(sql).rows) out += row[0].value_or("<NULL>") + "\n";
        return out;
    }
    static void Exec(const std::string& sql) {
        pgtest::QueryResult r = db_->query(sql);
        ASSERT_TRUE(r.ok) << sql << ": " << r.error;
    }

    static inline std::unique_ptr<Connection> db_;
    static inline std::string logDir_;
    static inline bool ready_ = false;
};

/* mask and keyed_mask give what ztnid gives; single values, NULLs, skips and refused operands. */
TEST_F(Postgres, MasksAsZtnidAndAnswersSingleValues) {
    EXPECT_EQ(Value("SELECT count(*) || ' rows, ' || count(z.nid) || ' masked, ' ||"
                    " count(*) FILTER (WHERE ztnid.mask(p.nid, p.country) IS DISTINCT FROM z.nid) || ' differ'"
                    " FROM people p JOIN people_ztnid z USING (id)"),
              "490 rows, " + Value("SELECT count(nid) FROM people_ztnid") + " masked, 0 differ");
    EXPECT_GT(std::stoi(Value("SELECT count(nid) FROM people_ztnid")), 300);
    // keyed_mask as ztnid --keyed, and keyed_unmask the same numbers back in the layout of FR=15X.
    const std::string args = ", " + kKey + ", 'format=(FR=15X)', 'hr')";
    EXPECT_EQ(Value("SELECT count(*) FILTER (WHERE ztnid.keyed_mask(p.nid, p.country" + args +
                    " IS DISTINCT FROM k.nid) || ' of ' || count(k.nid) FROM people p JOIN people_keyed k USING (id)"),
              "0 of " + Value("SELECT count(nid) FROM people_keyed"));
    EXPECT_EQ(Value("SELECT count(*) FROM people p JOIN people_keyed k USING (id) WHERE k.nid IS NOT NULL AND"
                    " translate(ztnid.keyed_unmask(k.nid, k.country" + args + ", ' -', '')"
                    " IS DISTINCT FROM translate(p.nid, ' -', '')"),
              "0");
}

TEST_F(Postgres, MasksGeneratedRowsAsTheExitAndTheSameInParallel) {
    // 25,000 numbers per country drawn by the exit, compact and separated, one in ten
    // spoilt (cut, or given a non-ASCII character), under three operand strings.
    Exec("CREATE TABLE generated AS SELECT i AS id, country, ops, CASE i / 4 % 10 WHEN 0 THEN substr(n, 2)"
         " WHEN 1 THEN overlay(n placing '\u00e9' from 3) ELSE n END AS nid, NULL::text AS expected"
         " FROM (SELECT i, country, (ARRAY['', 'format=(FR=5X2C6X 2X,IT=6X5C5X,ES=7X-1X,UK=2C-6X-1C)',"
         "   'validate=y'])[1 + i / 4 % 3] AS ops, ztnid.random(country, CASE WHEN i % 3 = 0 THEN"
         "   'format=(FR=5X2C6X-2X,IT=3X 3X 5X 5X,ES=7X 1X,UK=2X-2X-2X-2X-1C)' ELSE '' END) AS n"
         "  FROM generate_series(0, 99999) i, LATERAL (SELECT (ARRAY['FR','IT','ES','UK'])[1 + i % 4] AS country) c) g");

    // What the exit puts for each row, called directly through the host emulation.
    std::map<std::string, std::unique_ptr<hostemu::ColumnMap>> maps;
    std::string copy;
    for (const auto& row : db_->query("SELECT id, nid, country, ops FROM generated").rows) {
        std::unique_ptr<hostemu::ColumnMap>& map = maps[*row[3]];
        if (!map) {
            hostemu::Column nid{u"NID", 2, 255}, ctry{u"CTRY", 2, 255};
            std::u16string all = u"switch=CTRY" + std::u16string(row[3]->empty() ? u"" : u",") + Utf8ToUtf16(*row[3]);
            map = std::make_unique<hostemu::ColumnMap>(KLOColMapWExit, all, std::vector{nid, ctry}, std::vector{nid});
        }
        map->set(u"NID", Utf8ToUtf16(*row[1]));
        map->set(u"CTRY", Utf8ToUtf16(*row[2]));
        hostemu::RowOutcome r = map->row();
        copy += *row[0] + "\t" + (r.rc == 0 && r.puts && !r.putNull ? Utf16ToUtf8(r.put) : "\\N") + "\n";
    }
    Exec("CREATE TEMP TABLE exit_put (id int, value text)");
    ASSERT_EQ(db_->copyIn("COPY exit_put FROM STDIN", copy), "");
    Exec("UPDATE generated g SET expected = e.value FROM exit_put e WHERE e.id = g.id; ANALYZE generated");

    const std::string compare = "SELECT count(*) FILTER (WHERE ztnid.mask(nid, country, ops) IS DISTINCT FROM expected)"
                                " || ' differ, ' || count(expected) FROM generated";
    std::string serial = Value(compare);
    EXPECT_EQ(serial.substr(0, 10), "0 differ, ") << serial;
    EXPECT_GT(std::atoi(serial.c_str() + 10), 50000) << serial; /* of 100,000 values */
    Exec("SET force_parallel_mode = regress; SET max_parallel_workers_per_gather = 2; SET parallel_setup_cost = 0;"
         " SET parallel_tuple_cost = 0; SET min_parallel_table_scan_size = 0");
    std::string plan = Column("EXPLAIN (ANALYZE, COSTS OFF, TIMING OFF) " + compare);
    EXPECT_NE(plan.find("Workers Launched: 2"), std::string::npos) << plan;
    EXPECT_EQ(Value(compare), serial);
    Exec("RESET ALL");
}

TEST_F(Postgres, EndCallsMarkingsAndTheDatabaseEncoding) {
    auto reports = [] {
        std::string log = ReadFile(logDir_ + "/ZTMSG.TXT");
        size_t n = 0;
        for (size_t at = log.find("column NID"); at != std::string::npos; at = log.find("column NID", at + 1)) ++n;
        return n;
    };
    size_t before = reports();
    Exec("SELECT count(ztnid.mask(nid, country, 'status=y')) FROM people");
    EXPECT_EQ(reports(), before + 1);
    EXPECT_EQ(db_->query("SELECT ztnid.mask(nid, country, 'status=y'), 1 / (id - 5) FROM people").sqlstate, "22012");
    EXPECT_EQ(reports(), before + 2);
    /* sqlstate "" for a value; then the value, or a part of the message */
    struct Case { std::string sql, sqlstate, text; } cases[] = {
        {"ztnid.check('12345', 'FR')", "", "invalid length"}, {"ztnid.mask('185057511234529', 'DE')", "", "<NULL>"},
        {"ztnid.check('185057511234529', NULL)", "", "not masked"}, {"ztnid.random('XX')", "", "<NULL>"},
        {"ztnid.check('185057511234529', 'FR')", "", "<NULL>"}, {"ztnid.check(NULL, 'FR')", "", "<NULL>"},
        {"ztnid.check(repeat('1', 256), 'FR')", "", "conversion error"},
        {"length(ztnid.mask('185057511234529', 'FR', 'format=(FR=5X2C6X-2X)'))", "", "16"},
        {"ztnid.mask('1', 'FR', 'switch=FR')", "22023",
         "ztnid: operand switch is not accepted: the country argument is the switch"},
        {"ztnid.mask('1', 'FR', 'SWT=\"FR')", "22023", "operand switch is not accepted"},
        {"ztnid.mask('1', 'FR', 'status=y,src=nid')", "22023", "operand source is not accepted"},
        {"ztnid.check('1', 'FR', 'mtd=random')", "22023", "operand method is not accepted"},
        {"ztnid.random('FR', 'method=mask')", "22023", "operand method is not accepted"},
        {"length(ztnid.random('FR'))", "", "15"}, {"ztnid.random('FR') <> ztnid.random('FR')", "", "t"},
        {"ztnid.keyed_mask('185057511234529', 'DE', " + kKey + ")", "", "<NULL>"},
        {"ztnid.keyed_unmask(ztnid.keyed_mask('X1234567L', 'es', " + kKey + "), 'ES', " + kKey + ")", "", "X1234567L"},
        {"ztnid.keyed_mask('1234567L', 'ES', '\\x0011'::bytea)", "22023", "2 bytes; AES takes 16, 24 or 32"},
    };
    for (const Case& c : cases) {
        pgtest::QueryResult r = db_->query("SELECT " + c.sql);
        if (c.sqlstate.empty()) {
            EXPECT_EQ(r.value(), c.text) << c.sql;
        } else {
            EXPECT_EQ(r.sqlstate, c.sqlstate) << c.sql << ": " << r.value();
            EXPECT_NE(r.error.find(c.text), std::string::npos) << c.sql << ": " << r.error;
        }
    }
    EXPECT_EQ(Column("SELECT proname || '(' || pg_get_function_identity_arguments(oid) || ') ' || provolatile::text ||"
                     " proisstrict::text || proparallel::text FROM pg_proc WHERE pronamespace = 'ztnid'::regnamespace"
                     " ORDER BY 1"),
              "check(value text, country text, operands text) ifalses\n"
              "keyed_mask(value text, country text, key bytea, operands text, scope text) itrues\n"
              "keyed_unmask(value text, country text, key bytea, operands text, scope text) itrues\n"
              "mask(value text, country text, operands text) itrues\n"
              "random(country text, operands text) vtrues\n");
    Exec("CREATE DATABASE latin1 ENCODING 'LATIN1' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0");
    Connection latin1(pgtest::SharedPgCluster()->conninfo("latin1"));
    ASSERT_TRUE(latin1.query("CREATE EXTENSION ztnid").ok);
    for (const char* sql : {"SELECT ztnid.mask('BNCLCU80A01D612U', 'IT')", "SELECT ztnid.check('\u00e9', 'FR')",
                            "SELECT ztnid.mask('BNC-LCU-80A01-D612\u00e9', 'it')"})
        EXPECT_EQ(latin1.query(std::string("SET client_encoding = 'UTF8'; ") + sql).value(), Value(sql)) << sql;
}

} // namespace
