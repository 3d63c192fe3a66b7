/*
** threads_test.cpp - ztnid -j N writes what one thread writes.
**
** The input is the sample repeated past several batches of rows, so every thread masks
** some of them; skipped rows, NULLs and the summary's counters must all come out as
** with one thread.
*/
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ztnid_test_util.h"

using namespace ztnid_test;

namespace {

Outcome Mask(std::vector<std::string> args, const std::string& jobs) {
    args.insert(args.end(), {"-j", jobs});
    return RunZtnid(args);
}

} // namespace

TEST(ZtnidThreads, OutputAndSummaryMatchOneThread) {
    if (ZtnidPath().empty()) GTEST_SKIP() << "ztnid is not built beside the exit";
    TempDir dir;
    setenv("ZTNID_DRIVE_C", dir.path.c_str(), 1);
    std::string sample = ReadFile(SamplePath());
    size_t body = sample.find('\n') + 1;
    std::string big = sample;
    for (int i = 0; i < 40; ++i) big += sample.substr(body); /* about 20,000 rows */
    WriteFile(dir / "big.csv", big);
    /* Row 9000 masks to an 11-character NIE that a VARCHAR(9) destination refuses. */
    std::string late = "id,nid\n";
    for (int i = 1; i <= 10000; ++i) late += std::to_string(i) + "," + (i == 9000 ? "X-7654321-J" : "1234567L") + "\n";
    WriteFile(dir / "late.csv", late);
    late.replace(late.find("\n9000,"), 6, "\n\"9000\"x,"); /* a malformed line */
    WriteFile(dir / "bad.csv", late);
    std::string db = dir / "t.db";
    ASSERT_EQ(RunZtnid({"mask", dir / "big.csv", "--db", db, "--to", "big", "-j", "1"}).status, 0);

    const std::vector<std::string> maps = {"--map", "nid=switch=country", "--map",
                                           "nid2:VARCHAR(20)=switch=country,source=nid,format=(FR=15X,ES=8X)"};
    struct Case {
        std::vector<std::string> args;
        std::string table;        /* the SQLite table written, read back as CSV */
        bool wholeSummary = true; /* else only the error: later rows may have been masked */
    };
    auto with = [&](std::vector<std::string> a) {
        a.insert(a.end(), maps.begin(), maps.end());
        return a;
    };
    const Case cases[] = {
        {with({"mask", dir / "big.csv"}), ""},
        {with({"mask", dir / "big.csv", "--on-skip", "drop"}), ""},
        {with({"mask", "--db", db, "--from", "big"}), ""},
        {with({"mask", "--db", db, "--from", "big", "--to", "out", "--replace"}), "out"},
        /* an error in a later batch: the same message, no output file */
        {{"mask", dir / "late.csv", "-o", dir / "late.out", "--map", "nid:VARCHAR(9)=switch=\"ES"}, "", false},
        /* an input error: the rows before it are counted as with one thread */
        {{"mask", dir / "bad.csv", "-o", dir / "late.out", "--map", "nid=switch=\"ES"}, ""},
    };
    for (const Case& c : cases) {
        Outcome one = Mask(c.args, "1");
        std::string oneTable = c.table.empty() ? "" : RunZtnid({"mask", "--db", db, "--from", c.table}).out;
        for (const char* jobs : {"2", "3"}) {
            Outcome many = Mask(c.args, jobs);
            EXPECT_EQ(many.status, one.status) << many.err;
            EXPECT_TRUE(many.out == one.out) << "-j " << jobs << ": output differs from -j 1";
            if (c.wholeSummary) {
                EXPECT_EQ(many.err, one.err);
            } else {
                EXPECT_EQ(many.err.substr(many.err.find("ztnid: error:")), one.err.substr(one.err.find("ztnid: error:")));
            }
            if (!c.table.empty()) {
                EXPECT_TRUE(RunZtnid({"mask", "--db", db, "--from", c.table}).out == oneTable) << "-j " << jobs;
            }
        }
        EXPECT_EQ(one.out.empty() && oneTable.empty(), one.status == 2) << one.err;
        EXPECT_FALSE(FileExists(dir / "late.out"));
    }
}

TEST(ZtnidThreads, EveryWorkAreaEndsAndReports) {
    if (ZtnidPath().empty()) GTEST_SKIP() << "ztnid is not built beside the exit";
    TempDir dir;
    setenv("ZTNID_DRIVE_C", dir.path.c_str(), 1);
    std::string csv = "nid\n";
    for (int i = 0; i < 10000; ++i) csv += i % 100 == 0 ? "12345\n" : "1234567L\n";
    WriteFile(dir / "in.csv", csv);
    Outcome o = RunZtnid({"mask", dir / "in.csv", "-o", dir / "out.csv", "-j", "2", "--map", "nid=switch=\"ES,status=y"});
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_NE(o.err.find("invalid length              100"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("end reports of the exit (one per work area, 2 threads)"), std::string::npos) << o.err;
    /* one report per work area in the log */
    std::string log = ReadFile(dir / "ZTMSG.TXT");
    size_t reports = 0;
    for (size_t p = 0; (p = log.find("Non-zero error counts for column nid", p)) != std::string::npos; ++p) ++reports;
    EXPECT_EQ(reports, 2u) << log;
}
#endif
