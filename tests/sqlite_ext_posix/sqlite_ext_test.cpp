/*
** sqlite_ext_test.cpp - the ztnid SQLite extension loaded into a real database: the same
** values as the ztnid program, the deterministic functions in an index and a generated
** column, bad input, and French rows masked from several connections at once.
*/
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kSample =
    (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "samples" / "people.csv").string();

/* A database file with the extension loaded, removed at the end. */
class SqliteExt : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/ztnid-sqlite-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/people.db";
        // ztnid copies the sample into the database and masks it into another table.
        const std::string ztnid = "'" ZTNID_PROGRAM "' ";
        ASSERT_EQ(std::system((ztnid + "mask -q '" + kSample + "' --db '" + path_ + "' --to people").c_str()), 0);
        int rc = std::system((ztnid + "mask -q --db '" + path_ + "' --from people --to people_ztnid --map nid=switch=country").c_str());
        ASSERT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) <= 1);
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db_), SQLITE_OK);
        ASSERT_EQ(sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 1, nullptr), SQLITE_OK);
        char* err = nullptr;
        ASSERT_EQ(sqlite3_load_extension(db_, ZT_SQLITE_EXTENSION, nullptr, &err), SQLITE_OK) << (err ? err : "");
    }
    void TearDown() override {
        sqlite3_close(db_);
        std::filesystem::remove_all(dir_);
    }

    /* The rows (one a line, columns joined by "|", NULL as "<NULL>"), "<no rows>", or
    ** "<ERROR message>". */
    std::string Value(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            return std::string("<ERROR ") + sqlite3_errmsg(db_) + ">";
        std::string out;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* t = sqlite3_column_text(st, i);
                out += (i ? "|" : out.empty() ? "" : "\n") + std::string(t ? reinterpret_cast<const char*>(t) : "<NULL>");
            }
        }
        if (rc != SQLITE_DONE) out = std::string("<ERROR ") + sqlite3_errmsg(db_) + ">";
        sqlite3_finalize(st);
        return out.empty() ? "<no rows>" : out;
    }

    std::string dir_, path_;
    sqlite3* db_ = nullptr;
};

TEST_F(SqliteExt, MasksTheSampleAsTheZtnidProgram) {
    EXPECT_EQ(Value("SELECT count(*) || ' rows, ' || count(z.nid) || ' masked, ' ||"
                    " sum(ztnid_mask(p.nid, p.country) IS NOT z.nid) || ' differ'"
                    " FROM people p JOIN people_ztnid z USING (id)"),
              "490 rows, " + Value("SELECT count(nid) FROM people_ztnid") + " masked, 0 differ");
    EXPECT_EQ(Value("SELECT sum((ztnid_mask(nid, country) IS NULL AND nid IS NOT NULL)"
                    " <> (ztnid_check(nid, country) IS NOT NULL)) FROM people"),
              "0");
}

TEST_F(SqliteExt, DeterministicFunctionsServeIndexesAndGeneratedColumns) {
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
    // Static masking in place.
    Value("UPDATE t SET nid = ztnid_mask(nid, country)");
    EXPECT_EQ(Value("SELECT sum(t.nid IS NOT z.nid) FROM t JOIN people_ztnid z USING (id)"), "0");
    // random is not deterministic: refused where the result must be.
    EXPECT_NE(Value("CREATE INDEX t_random ON t (ztnid_random(country))").find("non-deterministic"), std::string::npos);
}

TEST_F(SqliteExt, AnswersNullsSkipsAndBadInput) {
    struct Case {
        const char* expr;
        const char* want;
    } cases[] = {
        {"ztnid_mask(NULL, 'FR')", "<NULL>"},
        {"ztnid_mask('185057511234529', NULL)", "<NULL>"},
        {"ztnid_mask('12345', 'FR')", "<NULL>"},
        {"ztnid_check('12345', 'FR')", "invalid length"},
        {"ztnid_check(185057511234529, 'DE')", "not masked"},
        {"ztnid_check('185057511234529', 'FR')", "<NULL>"},
        {"ztnid_check(x'3132', 'FR')", "invalid length"},
        {"ztnid_mask('1', 'FR', 'switch=FR')", "<ERROR operand switch is not accepted: the country argument is the switch>"},
        {"ztnid_mask('1', 'FR', 'source=x')", "<ERROR operand source is not accepted: the value argument is the source>"},
        {"ztnid_random('FR', 'validate=y')", "<ERROR NID ERROR 0x2: Incompatible operands validate & ra>"},
        {"length(ztnid_random('IT'))", "16"},
        {"ztnid_random(NULL)", "<NULL>"},
        {"ztnid_mask('1')", "<ERROR wrong number of arguments to function ztnid_mask()>"},
    };
    for (const Case& c : cases) EXPECT_EQ(Value(std::string("SELECT ") + c.expr), c.want) << c.expr;
}

/* keyed_mask gives what ztnid --keyed gives, keyed_unmask takes it back, and a value that
** is not valid is NULL; a key or format that cannot be used is an error. */
TEST_F(SqliteExt, KeyedMaskAsTheZtnidProgramAndBack) {
    const std::string hex = "8f0c3ad2b71e4c559a0e6d2f41b7c3e98f0c3ad2b71e4c559a0e6d2f41b7c3e9", key = "x'" + hex + "'";
    ASSERT_EQ(std::system(("echo " + hex + " > '" + dir_ + "/nid.key'").c_str()), 0);
    int rc = std::system(("'" ZTNID_PROGRAM "' mask -q --db '" + path_ +
                          "' --from people --to people_keyed --map nid=switch=country --keyed nid=hr --key-file '" +
                          dir_ + "/nid.key'")
                             .c_str());
    ASSERT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) <= 1);
    EXPECT_EQ(Value("SELECT sum(ztnid_keyed_mask(p.nid, p.country, " + key + ", '', 'hr') IS NOT k.nid) || ' of ' ||"
                    " count(k.nid) FROM people p JOIN people_keyed k USING (id)"),
              "0 of " + Value("SELECT count(nid) FROM people_keyed"));
    EXPECT_EQ(Value("SELECT sum(ztnid_keyed_unmask(k.nid, k.country, " + key + ", '', 'hr') IS NOT p.nid)"
                    " FROM people p JOIN people_keyed k USING (id) WHERE k.nid IS NOT NULL"),
              "0");
    struct { std::string expr, want; } cases[] = {
        {"ztnid_keyed_mask('185057511234528', 'FR', " + key + ")", "<NULL>"},
        {"ztnid_keyed_mask(NULL, 'FR', " + key + ")", "<NULL>"},
        {"ztnid_keyed_unmask(ztnid_keyed_mask('X1234567L', 'ES', " + key + ", 'format=(ES=7X-1X)'), 'ES', " + key +
             ")",
         "X-1234567-L"},
        {"ztnid_keyed_mask('1234567L', 'ES', x'0011')", "<ERROR the key has 2 bytes; AES takes 16, 24 or 32>"},
        {"ztnid_keyed_mask('1234567L', 'ES', " + key + ", 'format=(ES=9X)')",
         "<ERROR the format for ES is not one the country accepts>"},
    };
    for (const auto& c : cases) EXPECT_EQ(Value("SELECT " + c.expr), c.want) << c.expr;
}

/* Every result of the query, one a line, on a new in-memory connection with the
** extension; "<ERROR ...>" when something fails. */
std::string AllRows(const std::string& sql) {
    sqlite3* db = nullptr;
    std::string out;
    char* err = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK ||
        sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 1, nullptr) != SQLITE_OK ||
        sqlite3_load_extension(db, ZT_SQLITE_EXTENSION, nullptr, &err) != SQLITE_OK ||
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        out = std::string("<ERROR ") + (err ? err : sqlite3_errmsg(db)) + ">";
    while (st && sqlite3_step(st) == SQLITE_ROW)
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const unsigned char* t = sqlite3_column_text(st, i);
            out += t ? reinterpret_cast<const char*>(t) : "<NULL>";
            out += i + 1 < sqlite3_column_count(st) ? '|' : '\n';
        }
    sqlite3_free(err);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

/* The exit's French routines share one scratch buffer: connections on several threads
** must give what one connection gives alone.  Valid NIRs, plain and separated, masked
** with the default and a separated format, with validation, and keyed. */
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
    const std::string alone = AllRows(sql);
    ASSERT_EQ(alone.find("<"), std::string::npos) << alone.substr(0, 200);
    std::vector<std::string> got(THREADS);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) threads.emplace_back([&, t] { got[size_t(t)] = AllRows(sql); });
    for (std::thread& t : threads) t.join();
    for (const std::string& g : got) EXPECT_TRUE(g == alone) << "a connection's rows differ from those of one alone";
}

} // namespace
