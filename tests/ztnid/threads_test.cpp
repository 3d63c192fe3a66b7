/*
** threads_test.cpp - ztnid -j N writes what one thread writes.
**
** The input is the sample repeated past several batches of rows, so every thread masks
** some of them; skipped rows, NULLs, errors and the summary's counters must all come
** out as with one thread.
*/
#if !defined(_WIN32)
#include "ztnid_test_util.h"

using namespace ztnid_test;

class ZtnidThreads : public ZtnidProgramTest {};

TEST_F(ZtnidThreads, OutputAndSummaryMatchOneThread) {
    std::string sample = ReadFile(SamplePath()), big = sample;
    for (int i = 0; i < 40; ++i) big += sample.substr(sample.find('\n') + 1); /* about 20,000 rows */
    WriteFile(dir / "big.csv", big);
    std::string late = LateRefusal(10000, 9000);
    WriteFile(dir / "late.csv", late);
    WriteFile(dir / "bad.csv", late.replace(late.find("\n9000,"), 6, "\n\"9000\"x,")); /* a malformed line */
    const std::string db = dir / "t.db";
    ASSERT_EQ(Mask({dir / "big.csv", "--db", db, "--to", "big", "-j", "1"}).status, 0);
    const Args maps = {"--map", "nid=switch=country", "--map",
                       "nid2:VARCHAR(20)=switch=country,source=nid,format=(FR=15X,ES=8X)"};
    struct Case {
        Args args;
        std::string table = "";   /* the SQLite table written, compared instead of the output */
        bool wholeSummary = true; /* else from the error on: later rows may have been masked */
    } cases[] = {
        {Plus({dir / "big.csv"}, maps)},
        {Plus({dir / "big.csv", "--on-skip", "drop"}, maps)},
        {Plus({"--db", db, "--from", "big"}, maps)},
        {Plus({"--db", db, "--from", "big", "--to", "out", "--replace"}, maps), "out"},
        /* an error in a later batch: the same message, no output file */
        {{dir / "late.csv", "-o", dir / "late.out", "--map", "nid:VARCHAR(9)=switch=\"ES"}, "", false},
        /* an input error: the rows before it are counted as with one thread */
        {{dir / "bad.csv", "-o", dir / "late.out", "--map", "nid=switch=\"ES"}},
    };
    for (const Case& c : cases) {
        auto run = [&](const char* jobs) {
            Outcome o = Mask(Plus(c.args, {"-j", jobs}));
            if (!c.table.empty()) o.out = Mask({"--db", db, "--from", c.table}).out;
            if (!c.wholeSummary) o.err = o.err.substr(std::min(o.err.find("ztnid: error:"), o.err.size()));
            return o;
        };
        Outcome one = run("1");
        EXPECT_EQ(one.out.empty(), one.status == 2) << one.err;
        for (const char* jobs : {"2", "3"}) {
            Outcome many = run(jobs);
            EXPECT_EQ(many.status, one.status) << many.err;
            EXPECT_TRUE(many.out == one.out) << "-j " << jobs << ": output differs from -j 1";
            EXPECT_EQ(many.err, one.err);
        }
        EXPECT_FALSE(FileExists(dir / "late.out"));
    }
}

TEST_F(ZtnidThreads, EveryWorkAreaEndsAndReports) {
    std::string csv = "nid\n";
    for (int i = 0; i < 10000; ++i) csv += i % 100 == 0 ? "12345\n" : "1234567L\n";
    WriteFile(dir / "in.csv", csv);
    Outcome o = Mask({dir / "in.csv", "-o", dir / "out.csv", "-j", "2", "--map", "nid=switch=\"ES,status=y"});
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(Contains(o.err, "invalid length              100")) << o.err;
    EXPECT_TRUE(Contains(o.err, "end reports of the exit (one per work area, 2 threads)")) << o.err;
    std::string log = ReadFile(dir / "ZTMSG.TXT"); /* one report per work area */
    size_t reports = 0;
    for (size_t p = 0; (p = log.find("Non-zero error counts for column nid", p)) != std::string::npos; ++p) ++reports;
    EXPECT_EQ(reports, 2u) << log;
}
#endif
