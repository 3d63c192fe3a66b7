/*
** safety_test.cpp - what ztnid promises when things go wrong, one test per kind of
** failure: outputs replaced safely, copied values kept exact, resources bounded, and
** set-up errors and suspicious input refused with a clear message.
*/
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ztnid_test_util.h"

using namespace ztnid_test;

namespace {

class Safety : public ZtnidProgramTest {};

using Rows = std::vector<std::vector<std::string>>;

mode_t ModeOf(const std::string& path) {
    struct stat st{};
    stat(path.c_str(), &st);
    return st.st_mode;
}

} // namespace

/* ------------------------------------------------------------------ output safety */

TEST_F(Safety, OutputsAreReplacedAtomicallyAndNeverAnInputOrASpecialFile) {
    const std::string in = dir / "in.csv", db = dir / "p.db", copy = "id,nid\n1,1234567L\n";
    WriteFile(in, copy);
    Exec(db, "CREATE TABLE people (id, nid); INSERT INTO people VALUES (1, '1234567L');");
    int reader = -1;
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::vector<std::string> args;
        int status;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"the mode of the target is kept", [&] { WriteFile(dir / "t.csv", "old"); chmod((dir / "t.csv").c_str(), 0600); },
         {in, "-o", dir / "t.csv"}, 0,
         [&] {
             EXPECT_EQ(ModeOf(dir / "t.csv") & 07777, 0600u);
             EXPECT_EQ(ReadFile(dir / "t.csv"), copy);
         }},
        {"a symbolic link is followed", [&] {
             WriteFile(dir / "real.csv", "old");
             chmod((dir / "real.csv").c_str(), 0640);
             symlink("real.csv", (dir / "link.csv").c_str());
         },
         {in, "-o", dir / "link.csv"}, 0,
         [&] {
             struct stat st{};
             lstat((dir / "link.csv").c_str(), &st);
             EXPECT_TRUE(S_ISLNK(st.st_mode));
             EXPECT_EQ(ReadFile(dir / "real.csv"), copy);
             EXPECT_EQ(ModeOf(dir / "real.csv") & 07777, 0640u);
         }},
        {"a FIFO is written through", [&] {
             mkfifo((dir / "fifo").c_str(), 0600);
             reader = open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
         },
         {in, "-o", dir / "fifo"}, 0,
         [&] {
             char buf[256];
             ssize_t n = read(reader, buf, sizeof buf);
             close(reader);
             EXPECT_EQ(std::string(buf, size_t(n > 0 ? n : 0)), copy);
             EXPECT_TRUE(S_ISFIFO(ModeOf(dir / "fifo")));
         }},
        {"a directory is refused", [&] { mkdir((dir / "d").c_str(), 0700); }, {in, "-o", dir / "d"}, 2, [] {}},
        {"the input as output", [] {}, {in, "-o", in}, 2, [&] { EXPECT_EQ(ReadFile(in), copy); }},
        {"a hard link of the input as output", [&] { link(in.c_str(), (dir / "hard.csv").c_str()); },
         {in, "-o", dir / "hard.csv"}, 2, [&] { EXPECT_EQ(ReadFile(in), copy); }},
        {"the source database as output", [] {}, {"--db", db, "--from", "people", "-o", db}, 2,
         [&] { EXPECT_EQ(Query(db, "SELECT * FROM people"), (Rows{{"1", "1234567L"}})); }},
        {"the input file as database", [] {}, {in, "--db", in, "--to", "t"}, 2, [&] { EXPECT_EQ(ReadFile(in), copy); }},
        {"a missing source database is not created", [] {}, {"--db", dir / "typo.db", "--from", "people"}, 2,
         [&] { EXPECT_FALSE(FileExists(dir / "typo.db")); }},
        {"a failed run leaves no new database", [] {}, {in, "--db", dir / "new.db", "--to", "t", "--map", "nid:VARCHAR(0)=switch=\"ES"},
         2, [&] { EXPECT_FALSE(FileExists(dir / "new.db")); }},
    };
    for (const Case& c : cases) {
        c.prepare();
        std::vector<std::string> args{"mask"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome o = RunZtnid(args);
        EXPECT_EQ(o.status, c.status) << c.name << "\n" << o.err;
        c.check();
        EXPECT_EQ(Debris(dir.path), std::vector<std::string>{}) << c.name;
    }
}

TEST_F(Safety, AStoppedRunLeavesNoTemporaryFile) {
    const std::string rows = [] {
        std::string s = "id,nid\n";
        for (int i = 0; i < 150000; ++i) /* more than the first block read */ s += std::to_string(i) + ",1234567L\n";
        return s;
    }();
    for (int sig : {SIGINT, SIGTERM}) {
        std::string fifo = dir / ("in" + std::to_string(sig));
        mkfifo(fifo.c_str(), 0600);
        int pid = SpawnZtnid({"mask", fifo, "-o", dir / "out.csv"});
        int w = open(fifo.c_str(), O_WRONLY);
        ASSERT_EQ(write(w, rows.data(), rows.size()), ssize_t(rows.size())); /* the pipe stays open */
        for (int i = 0; i < 500 && Debris(dir.path).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_FALSE(Debris(dir.path).empty()) << "no temporary file seen";
        kill(pid, sig);
        int ws = 0;
        waitpid(pid, &ws, 0);
        close(w);
        EXPECT_TRUE(WIFSIGNALED(ws) && WTERMSIG(ws) == sig) << sig;
        EXPECT_EQ(Debris(dir.path), std::vector<std::string>{}) << sig;
        EXPECT_FALSE(FileExists(dir / "out.csv"));
    }
}

/* ------------------------------------------------------------------ copied data kept exactly */

TEST_F(Safety, CopiedValuesKeepTheirBytesTypesAndNullRows) {
    const std::string db = dir / "c.db";
    Exec(db, "CREATE TABLE people (id INTEGER, country TEXT, nid VARCHAR(20));"
             "INSERT INTO people VALUES (1, 'ES', x'313233343536374C'), (2, 'ES', x'00FF0102'),"
             " (3, CAST(x'4553FF' AS TEXT), '1234567L'), (4, 'ES', 12345678), (5, NULL, NULL);"
             "CREATE TABLE one (v TEXT); INSERT INTO one VALUES (NULL), ('a'), (NULL), ('');");
    const std::string shape = "SELECT typeof(id), id, typeof(country), hex(country), typeof(nid), hex(nid) FROM ";
    struct Case {
        const char* name;
        std::vector<std::vector<std::string>> steps; /* ztnid runs, in order */
        std::string before, after;                   /* the same query on the source and the copy */
    };
    const Case cases[] = {
        {"columns the exit reads are copied as stored",
         {{"--db", db, "--from", "people", "--to", "m", "--map", "nid_m=switch=country,source=nid"}},
         shape + "people ORDER BY id", shape + "m ORDER BY id"},
        {"a one-column table keeps its NULL rows through CSV",
         {{"--db", db, "--from", "one", "-o", dir / "one.csv"}, {dir / "one.csv", "--db", db, "--to", "back"}},
         "SELECT quote(v) FROM one ORDER BY rowid", "SELECT quote(v) FROM back ORDER BY rowid"},
    };
    for (const Case& c : cases) {
        for (const auto& step : c.steps) {
            std::vector<std::string> args{"mask"};
            args.insert(args.end(), step.begin(), step.end());
            Outcome o = RunZtnid(args);
            EXPECT_LE(o.status, 1) << c.name << "\n" << o.err;
        }
        EXPECT_EQ(Query(db, c.after), Query(db, c.before)) << c.name;
    }
}

/* ------------------------------------------------------------------ bounded resources, unreadable input */

TEST_F(Safety, OversizedAndNonUtf8InputIsRefusedBeforeAnyRow) {
    std::string wide;
    for (int i = 0; i < 40000; ++i) wide += (i ? ",c" : "c") + std::to_string(i);
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> options;
        std::string message;
    };
    const Case cases[] = {
        {"a record over the limit", "a,b\n1,\"" + std::string(5000, 'x') + "\"\n", {"--max-record-bytes", "4096"},
         "line 2: a record longer than 4096 bytes"},
        {"no line break at all", std::string(3 << 20, 'x'), {"--max-record-bytes", "100000"},
         "line 1: a record longer than 100000 bytes"},
        {"more columns than the exit's lists hold", wide + "\n", {"--map", "c1=switch=\"ES"},
         "the source has 40000 columns, more than the 32767"},
        {"UTF-16 with a byte order mark", std::string("\xFF\xFE" "n\0i\0d\0\n\0", 10), {}, "starts with a UTF-16 byte order mark"},
        {"NUL bytes", std::string(1000, '\0'), {}, "the file is not UTF-8 text: 1000 of its first 1000 bytes are NUL"},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "in.csv", c.text);
        std::vector<std::string> args{"mask", dir / "in.csv", "-o", dir / "out.csv"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        Outcome o = RunZtnid(args);
        EXPECT_EQ(o.status, 2) << c.name << "\n" << o.err;
        EXPECT_TRUE(Contains(o.err, c.message)) << c.name << "\n" << o.err;
        EXPECT_FALSE(FileExists(dir / "out.csv")) << c.name;
    }
}

/* ------------------------------------------------------------------ set-up errors and ignored operands */

TEST_F(Safety, SetUpErrorsStopTheRunBeforeAnyRowAndIgnoredOperandsAreNamed) {
    WriteFile(dir / "head.csv", "id,country,nid\n");
    WriteFile(dir / "one.csv", "id,country,nid\n1,ES,1234567L\n");
    const std::string db = dir / "e.db";
    Exec(db, "CREATE TABLE empty (id INTEGER, country TEXT, nid NVARCHAR(300));");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"no rows, no country initialised", {dir / "head.csv", "-o", dir / "out.csv", "--map", "nid:VARCHAR(0)=switch=country"}, 2,
         {"No Countries initialized for Masking", "Italy: not initialised (result 0x101): NID ERROR  0x101 :Destination Column Length Not Supported"}},
        {"an empty table", {"--db", db, "--from", "empty", "--to", "t", "--map", "nid=switch=country"}, 2,
         {"No Countries initialized for Masking"}},
        {"a switch column that is not there", {dir / "one.csv", "--map", "nid=switch=nosuchcol"}, 2,
         {"the switch operand names the column nosuchcol, which is not a column of the source"}},
        {"a list not closed", {dir / "one.csv", "--map", "nid=switch=country,format=(ES=8X"}, 0,
         {"warning: column nid: the pair \"format=(ES=8X\" is dropped: \"(\" not closed"}},
        {"an unknown keyword and a format not accepted", {dir / "one.csv", "--map", "nid=switch=country,colour=blue,format=(FR=zz)"}, 0,
         {"the pair \"colour=blue\" is dropped: unknown keyword", "France: the format \"zz\" is not accepted, the default applies"}},
        {"the same with --strict", {dir / "one.csv", "--strict", "--map", "nid=switch=country,colour=blue"}, 2,
         {"operands the exit would ignore (--strict)"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"mask"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome o = RunZtnid(args);
        EXPECT_EQ(o.status, c.status) << c.name << "\n" << o.err;
        for (const std::string& m : c.messages) EXPECT_TRUE(Contains(o.err, m)) << c.name << ": " << m << "\n" << o.err;
    }
    EXPECT_FALSE(FileExists(dir / "out.csv"));
    EXPECT_EQ(Query(db, "SELECT count(*) FROM sqlite_master WHERE name = 't'"), (Rows{{"0"}}));
}

/* ------------------------------------------------------------------ generated columns, switch values */

TEST_F(Safety, GeneratedColumnsAreCopiedAndLongSwitchValuesNamed) {
    const std::string db = dir / "g.db";
    Exec(db, "CREATE TABLE g (id INTEGER, nid TEXT, up TEXT AS (upper(nid)), twice INT AS (id * 2) STORED);"
             "INSERT INTO g (id, nid) VALUES (1, 'x');");
    WriteFile(dir / "sw.csv", "id,country,nid\n1,ESX,1234567L\n2,ES ,1234567L\n");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::string text; /* in standard output or error */
    };
    const Case cases[] = {
        {"generated columns", {"--db", db, "--from", "g"}, 0, "id,nid,up,twice\n1,x,X,2\n"},
        {"a three-letter switch value", {dir / "sw.csv", "--map", "nid=switch=country"}, 0,
         "1 switch values longer than a two-letter code (e.g. \"ESX\")"},
        {"the same with --strict", {dir / "sw.csv", "--strict", "--map", "nid=switch=country"}, 2,
         "line 2: the switch value \"ESX\" is not a two-letter country code"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"mask"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Outcome o = RunZtnid(args);
        EXPECT_EQ(o.status, c.status) << c.name << "\n" << o.err;
        EXPECT_TRUE(Contains(o.out + o.err, c.text)) << c.name << "\n" << o.out << o.err;
    }
}

#endif
