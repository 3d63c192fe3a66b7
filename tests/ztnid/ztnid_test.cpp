/*
** ztnid_test.cpp - the ztnid program end to end: CSV and SQLite through the exit.
**
** The masked values are compared with what the exit itself (linked in, driven by the
** host emulation) answers for the same rows, so the tests hold whichever countries the
** exit masks.
*/
#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ztnid_test_util.h"

using namespace ztnid_test;

namespace {

class Ztnid : public ZtnidProgramTest {};

/* The masked value a row should hold: the put value, or NULL when the exit skipped it. */
std::string ExpectedValue(const Expected& e) { return e.rc == 0 && !e.isNull ? e.value : kNull; }

} // namespace

TEST_F(Ztnid, MasksTheSampleToCsvAsTheExitDoes) {
    const std::string ops = "switch=country,status=y";
    WORKAREA wa{};
    std::vector<Expected> want = ReferenceRun(SamplePath(), "nid", ops, &wa);
    Outcome o = RunZtnid({"mask", "--map", "nid=" + ops, SamplePath(), "-o", dir / "out.csv"});

    std::vector<std::string> header;
    auto in = ReadCsvRows(SamplePath(), &header);
    auto out = ReadCsvRows(dir / "out.csv");
    ASSERT_EQ(out.size(), in.size()) << o.err; /* nid is nullable: no row is dropped */
    ASSERT_EQ(want.size(), in.size());
    const size_t nid = 5;
    ASSERT_EQ(header[nid], "nid");
    long written = 0, skipped = 0, nulls = 0;
    for (size_t r = 0; r < in.size(); ++r) {
        for (size_t c = 0; c < header.size(); ++c) {
            if (c == nid) continue;
            EXPECT_EQ(out[r][c], in[r][c]) << "row " << r + 1 << " column " << header[c];
        }
        EXPECT_EQ(out[r][nid], ExpectedValue(want[r])) << "row " << r + 1 << ": " << in[r][nid];
        written += want[r].rc == 0;
        nulls += want[r].rc == 0 && want[r].isNull;
        skipped += want[r].rc == 1;
    }
    ASSERT_GT(written - nulls, 0) << "no country masks anything yet";
    EXPECT_EQ(o.status, skipped ? 1 : 0) << o.err;
    EXPECT_TRUE(Contains(o.err, std::to_string(in.size()) + " rows read, " + std::to_string(in.size()) +
                                    " written, 0 dropped"))
        << o.err;
    EXPECT_TRUE(Contains(o.err, "read " + std::to_string(in.size()) + ", written " + std::to_string(written) + " (" +
                                    std::to_string(nulls) + " NULL), skipped " + std::to_string(skipped)))
        << o.err;
    const std::pair<const char*, int32_t> counters[] = {{"invalid length", wa.InvalidLengthCount},
                                                        {"invalid part", wa.InvalidPartCount},
                                                        {"invalid data", wa.InvalidDataCount}};
    for (const auto& [name, n] : counters) {
        std::string line = std::string(name) + std::string(23 - std::string(name).size(), ' ');
        std::string num = std::to_string(n);
        if (n == 0) continue;
        EXPECT_TRUE(Contains(o.err, line + std::string(8 - num.size(), ' ') + num)) << name << "\n" << o.err;
    }
    /* status=y: the exit's end report, as it logged it */
    EXPECT_TRUE(Contains(o.err, skipped ? "Non-zero error counts for column nid" : "No row errors detected")) << o.err;
}

TEST_F(Ztnid, SqliteToSqliteMasksAsTheExitDoesAndKeepsTypes) {
    /* A table with an integer key, a nullable and a NOT NULL number column. */
    auto sample = ReadCsvRows(SamplePath());
    std::string csv = "id,country,nid,nid2\n", sql = "BEGIN; CREATE TABLE people (id INTEGER, country TEXT, nid "
                                                     "VARCHAR(255), nid2 VARCHAR(255) NOT NULL);";
    auto quote = [](const std::string& v) {
        std::string q = "'";
        for (char c : v) q += c == '\'' ? std::string("''") : std::string(1, c);
        return q + "'";
    };
    auto field = [](const std::string& v) { return v == kNull ? std::string() : "\"" + v + "\""; };
    for (const auto& r : sample) {
        std::string nid2 = r[5] == kNull ? "" : r[5];
        csv += r[0] + "," + field(r[4]) + "," + field(r[5]) + ",\"" + nid2 + "\"\n";
        sql += "INSERT INTO people VALUES (" + r[0] + ", " + (r[4] == kNull ? "NULL" : quote(r[4])) + ", " +
               (r[5] == kNull ? "NULL" : quote(r[5])) + ", " + quote(nid2) + ");";
    }
    WriteFile(dir / "people.csv", csv);
    std::string db = dir / "people.db";
    Exec(db, sql + "COMMIT;");
    std::vector<Expected> nid = ReferenceRun(dir / "people.csv", "nid", "switch=country");
    std::vector<Expected> nid2 = ReferenceRun(dir / "people.csv", "nid2", "switch=country");

    Outcome o = RunZtnid({"mask", "--db", db, "--from", "people", "--to", "masked", "--map", "nid=switch=country",
                          "--map", "nid2=switch=country"});
    auto rows = Query(db, "SELECT id, typeof(id), country, nid, nid2 FROM masked ORDER BY rowid");
    size_t k = 0;
    long dropped = 0;
    for (size_t r = 0; r < sample.size(); ++r) {
        if (nid2[r].rc != 0) { /* NOT NULL: a skipped row is dropped */
            ++dropped;
            continue;
        }
        ASSERT_LT(k, rows.size());
        EXPECT_EQ(rows[k][0], sample[r][0]);
        EXPECT_EQ(rows[k][1], "integer");
        EXPECT_EQ(rows[k][2], sample[r][4]);
        EXPECT_EQ(rows[k][3], ExpectedValue(nid[r])) << sample[r][5];
        EXPECT_EQ(rows[k][4], ExpectedValue(nid2[r])) << sample[r][5];
        ++k;
    }
    EXPECT_EQ(k, rows.size());
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(Contains(o.err, std::to_string(sample.size()) + " rows read, " + std::to_string(k) + " written, " +
                                    std::to_string(dropped) + " dropped"))
        << o.err;
    EXPECT_EQ(Query(db, "SELECT \"notnull\" FROM pragma_table_info('masked') WHERE name = 'nid2'"),
              (std::vector<std::vector<std::string>>{{"1"}}));
}

TEST_F(Ztnid, AnErrorMidRunLeavesNoOutput) {
    /* Row 60 masks to an 11-character NIE that a VARCHAR(9) destination cannot hold:
    ** PutColValue refuses it and the exit fails the call. */
    std::string csv = "id,nid\n";
    for (int i = 1; i <= 100; ++i) csv += std::to_string(i) + "," + (i == 60 ? "X-7654321-J" : "1234567L") + "\n";
    WriteFile(dir / "in.csv", csv);
    std::string db = dir / "t.db";
    Exec(db, "CREATE TABLE dst (keep TEXT); INSERT INTO dst VALUES ('a'), ('b'), ('c');"
             "CREATE TABLE app (id TEXT, nid TEXT); INSERT INTO app VALUES ('0', 'x');");
    Outcome imp = RunZtnid({"mask", dir / "in.csv", "--db", db, "--to", "src"});
    ASSERT_EQ(imp.status, 0) << imp.err;

    struct Case {
        std::vector<std::string> args;
        std::string where;
    };
    const std::string map = "nid:VARCHAR(9)=switch=\"ES";
    const Case cases[] = {
        {{"mask", "--db", db, "--from", "src", "--to", "dst", "--replace", "--map", map}, "row 60"},
        {{"mask", "--db", db, "--from", "src", "--to", "fresh", "--map", map}, "row 60"},
        {{"mask", dir / "in.csv", "--db", db, "--to", "app", "--append", "--map", map}, "line 61"},
        {{"mask", dir / "in.csv", "-o", dir / "out.csv", "--map", map}, "line 61"},
    };
    for (const Case& c : cases) {
        Outcome o = RunZtnid(c.args);
        EXPECT_EQ(o.status, 2) << o.err;
        EXPECT_TRUE(Contains(o.err, "column nid, " + c.where + ": NID ERROR 0xa: Error Putting col nid data")) << o.err;
        EXPECT_TRUE(Contains(o.err, "11 characters")) << o.err;
        EXPECT_TRUE(Contains(o.err, "60 rows read, 0 written")) << o.err; /* only what was kept counts */
    }
    EXPECT_EQ(Query(db, "SELECT keep FROM dst"), (std::vector<std::vector<std::string>>{{"a"}, {"b"}, {"c"}}));
    EXPECT_EQ(Query(db, "SELECT * FROM app"), (std::vector<std::vector<std::string>>{{"0", "x"}}));
    EXPECT_EQ(Query(db, "SELECT count(*) FROM sqlite_master WHERE name = 'fresh'"),
              (std::vector<std::vector<std::string>>{{"0"}}));
    EXPECT_FALSE(FileExists(dir / "out.csv"));
    for (const auto& f : std::filesystem::directory_iterator(dir.path))
        EXPECT_EQ(f.path().filename().string().find(".ztnid-"), std::string::npos) << "left behind: " << f.path();
}

TEST_F(Ztnid, NonAsciiTextSurvivesTheRoundTrip) {
    const std::string text = "id,name,nid\n"
                             "1,José Núñez-Pérez,1234567L\n"
                             "2,\"Ægir, Łukasz \"\"Søren\"\"\",X7654321J\n"
                             "3,王明 😀🐍,\n"
                             "4,\"line\nbreak 𝄞\",12345678Z\n";
    WriteFile(dir / "in.csv", text);
    std::string db = dir / "r.db";
    ASSERT_EQ(RunZtnid({"mask", dir / "in.csv", "--db", db, "--to", "t"}).status, 0);
    Outcome back = RunZtnid({"mask", "--db", db, "--from", "t", "--map", "nid=switch=\"ES"});
    std::vector<Expected> want = ReferenceRun(dir / "in.csv", "nid", "switch=\"ES");
    WriteFile(dir / "back.csv", back.out);
    auto in = ReadCsvRows(dir / "in.csv"), out = ReadCsvRows(dir / "back.csv");
    ASSERT_EQ(out.size(), in.size()) << back.err;
    for (size_t r = 0; r < in.size(); ++r) {
        EXPECT_EQ(out[r][1], in[r][1]);
        EXPECT_EQ(out[r][2], ExpectedValue(want[r]));
    }
    EXPECT_EQ(Query(db, "SELECT name FROM t WHERE id = '3'"), (std::vector<std::vector<std::string>>{{"王明 😀🐍"}}));

    /* The exit reads 16-bit units: 5 emoji (10 units) do not fit a VARCHAR(9) source and
    ** are a conversion error; 4 (8 units) are read and refused by the country. */
    WriteFile(dir / "emoji.csv", "nid\n😀😀😀😀😀\n😀😀😀😀\n");
    Outcome o = RunZtnid({"mask", dir / "emoji.csv", "--source-type", "nid:VARCHAR(9)", "--map", "nid=switch=\"ES"});
    EXPECT_TRUE(Contains(o.err, "conversion errors             1")) << o.err;
    EXPECT_TRUE(Contains(o.err, "skipped 2")) << o.err;
}

TEST_F(Ztnid, SkippedRowsFollowThePolicy) {
    WriteFile(dir / "in.csv", "id,nid\n1,1234567L\n2,12345\n3,\n4,\"\"\n");
    WriteFile(dir / "ok.csv", "id,nid\n1,1234567L\n2,X7654321J\n");
    std::vector<Expected> want = ReferenceRun(dir / "in.csv", "nid", "switch=\"ES");
    ASSERT_EQ(want[1].rc, 1); /* 12345 is refused */
    const std::string m = "nid=switch=\"ES";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> ids;
    };
    const Case cases[] = {
        {{dir / "in.csv", "--map", m}, 1, {"1", "2", "3", "4"}},
        {{dir / "in.csv", "--map", m, "--on-skip", "drop"}, 1, {"1", "3", "4"}},
        {{dir / "in.csv", "--map", m, "--empty-is-blank"}, 1, {"1", "3", "4"}}, /* not nullable: dropped */
        {{dir / "in.csv", "--map", m, "--on-skip", "fail"}, 2, {}},
        {{dir / "ok.csv", "--map", m}, 0, {"1", "2"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"mask"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome o = RunZtnid(args);
        EXPECT_EQ(o.status, c.status) << o.err;
        WriteFile(dir / "out.csv", o.out);
        std::vector<std::string> ids;
        if (c.status != 2)
            for (const auto& row : ReadCsvRows(dir / "out.csv")) ids.push_back(row[0]);
        EXPECT_EQ(ids, c.ids) << o.err;
    }
    WriteFile(dir / "out.csv", RunZtnid({"mask", dir / "in.csv", "--map", m}).out);
    auto rows = ReadCsvRows(dir / "out.csv");
    EXPECT_EQ(rows[1][1], kNull); /* skipped, nullable: NULL */
    EXPECT_EQ(rows[2][1], kNull); /* NULL source, nullable destination: written as NULL */
}

TEST_F(Ztnid, CommandLineMistakesGiveClearMessagesAndStatus2) {
    const std::string sample = SamplePath();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string text;
    };
    const Case cases[] = {
        {{"--help"}, 0, "explain"},
        {{"mask", "--help"}, 0, "DEST[:TYPE(LENGTH)]=OPERANDS"},
        {{}, 2, "subcommand"},
        {{"mask", "--bogus", sample}, 2, "--bogus"},
        {{"mask", sample, "--map", "nid"}, 2, "expected DEST[:TYPE(LENGTH)]=OPERANDS"},
        {{"mask", sample, "--map", "nid:TEXT=switch=country"}, 2, "unknown type 'TEXT'"},
        {{"mask", sample, "--map", "nid=x", "--map", "NID=y"}, 2, "column NID is mapped twice"},
        {{"mask"}, 2, "give either an input CSV file or --from TABLE"},
        {{"mask", dir / "missing.csv"}, 2, "cannot open"},
        {{"mask", sample, "--on-skip", "keep"}, 2, "--on-skip"},
        {{"mask", sample, "--to", "t"}, 2, "--to needs --db FILE or --to-pg CONNINFO"},
        {{"mask", sample, "--source-type", "nope:CHAR(9)"}, 2, "no column nope"},
        {{"mask", sample, "--map", "nid=switch=country", "--exit", dir / "none.so"}, 2, "cannot load the exit"},
        {{"mask", "--db", dir / "x.db", "--to", "t", sample, "--from", "nothing"}, 2, "give either an input CSV"},
        {{"explain"}, 2, "operands"},
    };
    for (const Case& c : cases) {
        Outcome o = RunZtnid(c.args);
        EXPECT_EQ(o.status, c.status) << o.out << o.err;
        EXPECT_TRUE(Contains(o.out + o.err, c.text)) << o.out << o.err;
    }
}

TEST_F(Ztnid, ExplainShowsTheMapTheModesAndTheFormats) {
    Outcome o = RunZtnid({"explain", "switch=\"ES,format=(ES=7X-1X,FR=5X2C6X_2X),debug=yes,foo=1,,src=x"});
    EXPECT_EQ(o.status, 0) << o.out;
    const char* lines[] = {
        "-> switch/swt (1) = \"\"ES\"",
        "-> format/fmt (2), a list:",
        "-> spain/ES (12) = \"7X-1X\"",
        "foo=1                       dropped: unknown keyword \"foo\"",
        ",src=x                      dropped: unknown keyword \",src\"",
        "set-up: succeeds",
        "mode bits: 0xc000 MASK DEBUG",
        "switch: every row is of country \"ES\"",
        "Spain: format \"7X-1X\" accepted",
    };
    for (const char* l : lines) EXPECT_TRUE(Contains(o.out, l)) << l << "\n" << o.out;

    o = RunZtnid({"explain", "--dest", "CHAR(15)", "switch=\"IT,format=(IT=6C11X)"});
    EXPECT_TRUE(Contains(o.out, "columns: source NID VARCHAR(255), destination NID CHAR(15)")) << o.out;
    EXPECT_TRUE(Contains(o.out, "Italy: not initialised (result 0x101)")) << o.out;

    o = RunZtnid({"explain", "method=random,validate=y,switch=CTRY"});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(Contains(o.out, "set-up: fails: NID ERROR 0x2: Incompatible operands validate & random provided"))
        << o.out;
}
#endif
