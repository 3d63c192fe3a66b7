/* ztnid_test.cpp - ztnid end to end: CSV and SQLite through the exit (compared with what the
** exit answers for the same rows), on several threads, and keyed columns. */
#if !defined(_WIN32)
#include <algorithm>
#include <cstring>

#include "exit/exit_internal.h"
#include "keyed/keyed.h"
#include "ztnid_test_util.h"

using namespace ztnid_test;

const char* const kKey = "8f0c3ad2b71e4c559a0e6d2f41b7c3e98f0c3ad2b71e4c559a0e6d2f41b7c3e9";

/* The keyed library's answer for a value: the result, a blank value itself, NULL if refused. */
static std::string LibraryAnswer(KEYED* k, bool unmask, std::string ctry, const std::string& v8) {
    if (v8 == kNull) return kNull;
    std::u16string v = Utf8ToUtf16(v8), c = Utf8ToUtf16(ctry);
    char16_t out[KEYED_OUT_CHARS], msg[MSG_BUF_CHARS];
    int32_t n = 0;
    uint16_t bit = CountryOfCode(c.c_str());
    int32_t rc = unmask ? KeyedUnmask(k, bit, v.data(), int32_t(v.size()), out, &n, msg)
                        : KeyedMask(k, bit, v.data(), int32_t(v.size()), out, &n, msg);
    return rc == RC_OK ? Utf16ToUtf8({out, size_t(n)}) : rc == RC_BLANK ? v8 : kNull;
}

/* The sample, masked to CSV and through SQLite: every column as read, nid as the exit
** answers, the summary and the exit's end report; SQLite keeps the integer key's type and
** drops a skipped row of a NOT NULL column. */
TEST_F(Ztnid, MasksTheSampleAsTheExitDoesToCsvAndSqlite) {
    const std::string db = dir / "p.db", map = "switch=country";
    ASSERT_EQ(Mask({SamplePath(), "--db", db, "--to", "csv"}).status, 0);
    Exec(db, "CREATE TABLE people (id INTEGER, first_name, last_name, city, country,"
             " nid VARCHAR(255), note, nid2 VARCHAR(255) NOT NULL);"
             "INSERT INTO people SELECT CAST(id AS INTEGER), first_name, last_name, city, country,"
             " nid, note, coalesce(nid, '') FROM csv;");
    WriteFile(dir / "people.csv", Mask({"--db", db, "--from", "people"}).out);
    Rows sample = CsvRows(SamplePath()), people = CsvRows(dir / "people.csv"), want;
    Args nid = ReferenceRun(dir / "people.csv", "nid", map);
    Args nid2 = ReferenceRun(dir / "people.csv", "nid2", map);
    Outcome o = Mask({"--map", "nid=" + map + ",status=y", SamplePath(), "-o", dir / "out.csv"});
    Rows out = CsvRows(dir / "out.csv");
    ASSERT_TRUE(people.size() == sample.size() && out.size() == sample.size()) << o.err;
    for (size_t r = 0; r < people.size(); ++r) {
        EXPECT_EQ(Args(people[r].begin(), people[r].end() - 1), sample[r]); /* SQLite and back */
        Args row = people[r];
        row[5] = nid[r];
        EXPECT_EQ(out[r], Args(row.begin(), row.end() - 1)) << "row " << r + 1;
        row[7] = nid2[r];
        row.insert(row.begin(), "integer");
        if (nid2[r] != kNull) want.push_back(row); /* NOT NULL: a skipped row dropped */
    }
    EXPECT_EQ(o.status, 1);
    for (const char* text : {"490 rows read, 490 written, 0 dropped",
                             "read 490, written 406 (14 NULL), skipped 84\n"
                             "      invalid length                8\n"
                             "      invalid part                 18\n"
                             "      invalid data                 12\n"
                             "      invalid separators            4\n"
                             "      not counted                  42",
                             "ZTNID : Non-zero error counts for column nid",
                             "ZTNID : Invalid source data length:           8",
                             "ZTNID : Invalid Separator(s) In Input:           4"})
        EXPECT_TRUE(Contains(o.err, text)) << text << "\n" << o.err;
    o = Mask({"--db", db, "--from", "people", "--to", "m", "--map", "nid=" + map, "--map",
              "nid2=" + map});
    EXPECT_EQ(Query(db, "SELECT typeof(id), * FROM m ORDER BY rowid"), want);
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(Contains(o.err, "490 rows read, " + std::to_string(want.size()) + " written, " +
                                    std::to_string(490 - want.size()) + " dropped")) << o.err;
    EXPECT_EQ(Query(db, "SELECT \"notnull\" FROM pragma_table_info('m') WHERE name = 'nid2'"),
              (Rows{{"1"}}));
}

/* A refused value (12345) is NULL where the column is nullable, else its row is dropped; one
** too long for the destination (row 60) stops the run, every destination left as it was. */
TEST_F(Ztnid, SkippedRowsFollowThePolicyAndAnErrorLeavesEveryDestinationAsItWas) {
    WriteFile(dir / "skip.csv", "id,nid\n1,1234567L\n2,12345\n3,\n4,\"\"\n");
    WriteFile(dir / "in.csv", LateRefusal(100, 60));
    const std::string db = dir / "t.db", in = dir / "in.csv";
    Exec(db, "CREATE TABLE dst (keep TEXT); INSERT INTO dst VALUES ('a'), ('b'), ('c');"
             "CREATE TABLE app (id TEXT, nid TEXT); INSERT INTO app VALUES ('0', 'x');");
    ASSERT_EQ(Mask({in, "--db", db, "--to", "src"}).status, 0);
    const Args skip = {"mask", dir / "skip.csv", "--map", "nid=switch=\"ES"};
    const std::string x = "id,nid\n1," + ReferenceRun(skip[1], "nid", "switch=\"ES")[0];
    std::vector<Expect> cases = {{skip, 1, {x + "\n2,\n3,\n4,\"\"\n"}},
                                 {Plus(skip, {"--on-skip", "drop"}), 1, {x + "\n3,\n4,\"\"\n"}},
                                 {Plus(skip, {"--empty-is-blank"}), 1, {x + "\n3,\"\"\n4,\"\"\n"}},
                                 {Plus(skip, {"--on-skip", "fail"}), 2, {"line 3"}}};
    for (const auto& [args, where] : std::vector<std::pair<Args, std::string>>{
             {{"--db", db, "--from", "src", "--to", "dst", "--replace"}, "row 60"},
             {{"--db", db, "--from", "src", "--to", "fresh"}, "row 60"},
             {{in, "--db", db, "--to", "app", "--append"}, "line 61"},
             {{in, "-o", dir / "out.csv"}, "line 61"}})
        cases.push_back({Plus({"mask", "--map", "nid:VARCHAR(9)=switch=\"ES"}, args), 2,
                         {"column nid, " + where + ": NID ERROR 0xa: Error Putting col nid data",
                          "11 characters", "60 rows read, 0 written"}}); /* what was kept counts */
    ExpectOutcomes(cases, dir.path);
    EXPECT_EQ(Query(db, "SELECT keep FROM dst"), (Rows{{"a"}, {"b"}, {"c"}}));
    EXPECT_EQ(Query(db, "SELECT * FROM app"), (Rows{{"0", "x"}}));
    EXPECT_EQ(Query(db, "SELECT count(*) FROM sqlite_master WHERE name = 'fresh'"), (Rows{{"0"}}));
}

/* -j N writes what -j 1 writes, on the sample repeated past several batches of rows: skipped
** rows, NULLs, errors and the summed counters alike, each work area ending and reporting. */
TEST_F(Ztnid, ThreadsOutputAndSummaryMatchOneThread) {
    const std::string late = dir / "late.csv", bad = dir / "bad.csv", lateOut = dir / "late.out";
    std::string sample = ReadFile(SamplePath()), big = sample, csv = LateRefusal(10000, 9000);
    for (int i = 0; i < 40; ++i) big += sample.substr(sample.find('\n') + 1); /* 20,000 rows */
    WriteFile(dir / "big.csv", big);
    ExpectOutcomes({{{"mask", dir / "big.csv", "-j", "2", "--map", "nid=switch=country,status=y"},
                     1, {"invalid length              328", "one per work area, 2 threads"}}},
                   dir.path);
    const std::string log = ReadFile(dir / "ZTMSG.TXT"), report = "Non-zero error counts for";
    EXPECT_EQ(log.find(report, log.find(report) + 1), log.rfind(report)) << log; /* two */
    EXPECT_NE(log.find(report), log.rfind(report)) << log;
    WriteFile(late, csv);
    WriteFile(bad, csv.replace(csv.find("\n9000,"), 6, "\n\"9000\"x,")); /* a malformed line */
    const std::string db = dir / "t.db";
    ASSERT_EQ(Mask({dir / "big.csv", "--db", db, "--to", "big", "-j", "1"}).status, 0);
    const Args maps = {"--map", "nid=switch=country", "--map",
                       "nid2:VARCHAR(20)=switch=country,source=nid,format=(FR=15X,ES=8X)"};
    for (const Args& args : {Plus({dir / "big.csv"}, maps),
                             Plus({dir / "big.csv", "--on-skip", "drop"}, maps),
                             Plus({"--db", db, "--from", "big"}, maps),
                             Plus({"--db", db, "--from", "big", "--to", "out", "--replace"}, maps),
                             /* an error in a later batch: the same message, no output file */
                             Args{late, "-o", lateOut, "--map", "nid:VARCHAR(9)=switch=\"ES"},
                             /* an input error: the rows before it counted as with one thread */
                             Args{bad, "-o", lateOut, "--map", "nid=switch=\"ES"}}) {
        auto run = [&](const char* jobs) {
            Outcome o = Mask(Plus(args, {"-j", jobs}));
            if (std::count(args.begin(), args.end(), "out")) /* the table written, read back */
                for (const Args& row : Query(db, "SELECT * FROM out"))
                    for (const std::string& v : row) o.out += v + "|";
            if (args[0] == late) /* later rows may have been masked: from the error on */
                o.err.erase(0, std::min(o.err.find("error:"), o.err.size()));
            return o;
        };
        Outcome one = run("1");
        for (const char* jobs : {"2", "3"}) {
            Outcome many = run(jobs);
            EXPECT_EQ(many.status, one.status) << many.err;
            EXPECT_TRUE(many.out == one.out) << "-j " << jobs << ": output differs from -j 1";
            EXPECT_EQ(many.err, one.err);
        }
        EXPECT_EQ(one.out.empty(), one.status == 2) << one.err;
        EXPECT_FALSE(FileExists(lateOut));
    }
}

/* Masks as the library on two threads, unmask restores, another scope gives other results. */
TEST_F(Ztnid, MasksAsTheLibraryUnmaskRestoresAndScopesDiffer) {
    const std::string map = "nid=switch=country,format=(FR=15X,UK=2X-6X-1C)", key = dir / "nid.key";
    WriteFile(key, std::string(kKey) + "\n");
    setenv("ZT_TEST_NID_KEY", kKey, 1);
    const Args keyed = {"--map", map, "--keyed", "nid=hr", "--key-file", key};
    Outcome o = Mask(Plus({SamplePath(), "-o", dir / "masked.csv", "-j", "2"}, keyed));
    EXPECT_EQ(o.status, 1) << o.err; /* the sample holds invalid numbers */
    Outcome back = RunZtnid({"unmask", dir / "masked.csv", "-o", dir / "back.csv", "--map", map,
                             "--keyed", "nid=hr", "--key-env", "ZT_TEST_NID_KEY"});
    EXPECT_EQ(back.status, 0) << back.err;
    Mask({SamplePath(), "-o", dir / "crm.csv", "--map", map, "--keyed", "nid=crm", "--key-file",
          key});
    KEYEDKEY k;
    char err[KEYED_ERR_CHARS];
    ASSERT_TRUE(KeyedDecodeKey(kKey, std::strlen(kKey), &k, err));
    KEYED* lib = KeyedOpen(&k, u"format=(FR=15X,UK=2X-6X-1C)", "hr", 2, err);
    ASSERT_NE(lib, nullptr) << err;
    Rows in = CsvRows(SamplePath()), masked = CsvRows(dir / "masked.csv");
    Rows restored = CsvRows(dir / "back.csv"), other = CsvRows(dir / "crm.csv");
    ASSERT_TRUE(masked.size() == in.size() && restored.size() == in.size() &&
                other.size() == in.size());
    const size_t ctry = 4, nid = 5;
    long changed = 0, same = 0;
    for (size_t r = 0; r < in.size(); ++r) {
        std::string want = LibraryAnswer(lib, false, in[r][ctry], in[r][nid]);
        Args row = in[r];
        row[nid] = want;
        EXPECT_EQ(masked[r], row) << "row " << r + 1;
        EXPECT_EQ(restored[r][nid], LibraryAnswer(lib, true, in[r][ctry], want)) << r + 1;
        bool value = want != kNull && want.find_first_not_of(' ') != std::string::npos;
        changed += value && want != in[r][nid];
        same += value && other[r][nid] == want;
    }
    EXPECT_GT(changed, 300);
    EXPECT_LE(same, 1);
    KeyedClose(lib);
    KeyedWipeKey(&k);
}
#endif
