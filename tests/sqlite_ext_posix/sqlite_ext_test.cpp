/* sqlite_ext_test.cpp - the ztnid SQLite extension in a real database file: ztnid's values,
** indexes and generated columns, bad input, and French rows from several connections. */
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kSample =
    (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "samples" / "people.csv").string();
const std::string kHexKey = "8f0c3ad2b71e4c559a0e6d2f41b7c3e98f0c3ad2b71e4c559a0e6d2f41b7c3e9";
const std::string key = "x'" + kHexKey + "'";

/* The rows (columns joined by "|", NULL as "<NULL>", one a line), "<no rows>", or "<ERROR message>". */
std::string Rows(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        return std::string("<ERROR ") + sqlite3_errmsg(db) + ">";
    std::string out;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const unsigned char* t = sqlite3_column_text(st, i);
            out += (i ? "|" : out.empty() ? "" : "\n") + std::string(t ? reinterpret_cast<const char*>(t) : "<NULL>");
        }
    if (rc != SQLITE_DONE) out = std::string("<ERROR ") + sqlite3_errmsg(db) + ">";
    sqlite3_finalize(st);
    return out.empty() ? "<no rows>" : out;
}

/* A connection to path with the extension loaded (a test's first query says when it is not). */
sqlite3* Open(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 1, nullptr);
    sqlite3_load_extension(db, ZT_SQLITE_EXTENSION, nullptr, nullptr);
    return db;
}

/* One database for the program: the sample, ztnid's mask of it and its keyed mask. */
class SqliteExt : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char tmpl[] = "/tmp/ztnid-sqlite-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        const std::string db = "--db '" + dir_ + "/people.db' ", keyFile = dir_ + "/nid.key";
        std::ofstream(keyFile) << kHexKey << "\n";
        for (const std::string& args : {"'" + kSample + "' " + db + "--to people",
                                        db + "--from people --to people_ztnid --map nid=switch=country",
                                        db + "--from people --to people_keyed --map nid=switch=country --keyed nid=hr"
                                             " --key-file '" + keyFile + "'"}) {
            int rc = std::system(("'" ZTNID_PROGRAM "' mask -q " + args).c_str());
            ASSERT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) <= 1) << args;
        }
        db_ = Open(dir_ + "/people.db");
    }
    static void TearDownTestSuite() {
        sqlite3_close(db_);
        std::filesystem::remove_all(dir_);
    }
    static std::string Value(const std::string& sql) { return Rows(db_, sql); }

    static inline std::string dir_;
    static inline sqlite3* db_ = nullptr;
};

/* mask and keyed_mask give what ztnid gives, keyed_unmask takes it back, check names the skips;
** the deterministic functions serve indexes and generated columns; single values, keyed ones
** included, give the result, NULL, or the error message. */
TEST_F(SqliteExt, MasksAsZtnidServesIndexesAndAnswersSingleValues) {
    EXPECT_EQ(Value("SELECT count(*) || ' rows, ' || count(z.nid) || ' masked, ' ||"
                    " sum(ztnid_mask(p.nid, p.country) IS NOT z.nid) || ' differ'"
                    " FROM people p JOIN people_ztnid z USING (id)"),
              "490 rows, " + Value("SELECT count(nid) FROM people_ztnid") + " masked, 0 differ");
    EXPECT_EQ(Value("SELECT sum((ztnid_mask(nid, country) IS NULL AND nid IS NOT NULL)"
                    " <> (ztnid_check(nid, country) IS NOT NULL)) FROM people"),
              "0");
    EXPECT_EQ(Value("SELECT sum(ztnid_keyed_mask(p.nid, p.country, " + key + ", '', 'hr') IS NOT k.nid) || ' of ' ||"
                    " count(k.nid) FROM people p JOIN people_keyed k USING (id)"),
              "0 of " + Value("SELECT count(nid) FROM people_keyed"));
    EXPECT_EQ(Value("SELECT sum(ztnid_keyed_unmask(k.nid, k.country, " + key + ", '', 'hr') IS NOT p.nid)"
                    " FROM people p JOIN people_keyed k USING (id) WHERE k.nid IS NOT NULL"),
              "0");
    for (const char* sql : {
             "CREATE TABLE t (id, nid, country, masked AS (ztnid_mask(nid, country, 'format=(UK=2X-6X-1C)')) STORED)",
             "INSERT INTO t (id, nid, country) SELECT id, nid, country FROM people",
             "CREATE INDEX t_mask ON t (ztnid_mask(nid, country))",
         })
        ASSERT_EQ(Value(sql), "<no rows>") << sql;
    EXPECT_EQ(Value("SELECT sum(masked IS NOT ztnid_mask(nid, country, 'format=(UK=2X-6X-1C)')) FROM t"), "0");
    std::string masked = Value("SELECT nid FROM people_ztnid WHERE nid IS NOT NULL ORDER BY id LIMIT 1");
    std::string lookup = "SELECT id FROM t WHERE ztnid_mask(nid, country) = '" + masked + "'";
    EXPECT_NE(Value("EXPLAIN QUERY PLAN " + lookup).find("t_mask"), std::string::npos);
    EXPECT_EQ(Value(lookup), Value("SELECT id FROM people_ztnid WHERE nid = '" + masked + "'"));
    // random is not deterministic: refused where the result must be.
    EXPECT_NE(Value("CREATE INDEX t_random ON t (ztnid_random(country))").find("non-deterministic"), std::string::npos);
    struct Case { std::string expr, want; } cases[] = {
        {"ztnid_mask(NULL, 'FR')", "<NULL>"}, {"ztnid_mask('185057511234529', NULL)", "<NULL>"},
        {"ztnid_mask('12345', 'FR')", "<NULL>"}, {"ztnid_check(185057511234529, 'DE')", "not masked"},
        {"ztnid_check(x'3132', 'FR')", "invalid length"},
        {"ztnid_mask('1', 'FR', 'source=x')", "<ERROR operand source is not accepted: the value argument is the source>"},
        {"ztnid_random('FR', 'validate=y')", "<ERROR NID ERROR 0x2: Incompatible operands validate & ra>"},
        {"length(ztnid_random('IT'))", "16"}, {"ztnid_random(NULL)", "<NULL>"},
        {"ztnid_mask('1')", "<ERROR wrong number of arguments to function ztnid_mask()>"},
        {"ztnid_keyed_mask('185057511234528', 'FR', " + key + ")", "<NULL>"},
        {"ztnid_keyed_mask(NULL, 'FR', " + key + ")", "<NULL>"},
        {"ztnid_keyed_unmask(ztnid_keyed_mask('X1234567L', 'ES', " + key + ", 'format=(ES=7X-1X)'), 'ES', " + key + ")",
         "X-1234567-L"},
        {"ztnid_keyed_mask('1234567L', 'ES', x'0011')", "<ERROR the key has 2 bytes; AES takes 16, 24 or 32>"},
        {"ztnid_keyed_mask('1234567L', 'ES', zeroblob(33))", "<ERROR the key has 33 bytes; AES takes 16, 24 or 32>"},
        {"ztnid_keyed_mask('1234567L', 'ES', " + key + ", 'format=(ES=9X)')",
         "<ERROR the format for ES is not one the country accepts>"},
    };
    for (const Case& c : cases) EXPECT_EQ(Value("SELECT " + c.expr), c.want) << c.expr;
}

/* The exit's French routines share one scratch buffer: in-memory connections on several
** threads give what one gives alone (plain and separated NIRs; default, separated,
** validating and keyed masks). */
TEST(SqliteExtThreads, FrenchRowsFromSeveralConnectionsAsFromOne) {
    enum { ROWS = 30000, THREADS = 3 };
    const std::string sql =
        "WITH RECURSIVE s(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM s WHERE i < " + std::to_string(ROWS - 1) +
        "), b(i, n) AS (SELECT i, (1 + i % 2) * 1000000000000 + (i % 100) * 10000000000 + (1 + i % 12) * 100000000"
        " + 75000000 + (101 + i % 20) * 1000 + i % 997 FROM s),"
        " v(i, nid) AS (SELECT i, printf('%013d', n) || substr('- ', 1 + i % 3, i % 3 < 2) || printf('%02d', 97 - n % 97)"
        " FROM b)"
        " SELECT ztnid_mask(nid, 'FR'), ztnid_mask(nid, 'fr', 'format=(FR=5X2C6X-2X)'),"
        " ztnid_mask(nid, 'FR', 'validate=y'),"
        " ztnid_keyed_mask(nid, 'FR', x'8f0c3ad2b71e4c559a0e6d2f41b7c3e9', 'format=(FR=1X6C8X)') FROM v";
    auto all = [&sql] {
        sqlite3* db = Open(":memory:");
        std::string out = Rows(db, sql);
        sqlite3_close(db);
        return out;
    };
    const std::string alone = all();
    ASSERT_EQ(alone.find("<"), std::string::npos) << alone.substr(0, 200);
    std::vector<std::string> got(THREADS);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) threads.emplace_back([&, t] { got[size_t(t)] = all(); });
    for (std::thread& t : threads) t.join();
    for (const std::string& g : got) EXPECT_TRUE(g == alone) << "a connection's rows differ from those of one alone";
}

} // namespace
