/*
** safety_test.cpp - outputs replaced safely and never an input, a stopped run leaves
** nothing behind, and copied values keep their bytes.
*/
#if !defined(_WIN32)
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <thread>

#include "ztnid_test_util.h"

using namespace ztnid_test;

namespace {

class Safety : public ZtnidProgramTest {};

mode_t ModeOf(const std::string& path) {
    struct stat st{};
    stat(path.c_str(), &st);
    return st.st_mode;
}

} // namespace

TEST_F(Safety, OutputsAreReplacedAtomicallyAndNeverAnInputOrASpecialFile) {
    const std::string in = dir / "in.csv", db = dir / "p.db", copy = "id,nid\n1,1234567L\n";
    WriteFile(in, copy);
    Exec(db, "CREATE TABLE people (id, nid); INSERT INTO people VALUES (1, '1234567L');");
    int reader = -1;
    auto keepsInput = [&] { EXPECT_EQ(ReadFile(in), copy); };
    struct Case {
        const char* name;
        std::function<void()> prepare;
        Args args;
        int status;
        std::function<void()> check;
    } cases[] = {
        {"the mode of the target is kept", [&] { WriteFile(dir / "t.csv", "old"), chmod((dir / "t.csv").c_str(), 0600); },
         {in, "-o", dir / "t.csv"}, 0, [&] {
             EXPECT_EQ(ModeOf(dir / "t.csv") & 07777, 0600u);
             EXPECT_EQ(ReadFile(dir / "t.csv"), copy);
         }},
        {"a symbolic link is followed", [&] {
             WriteFile(dir / "real.csv", "old");
             chmod((dir / "real.csv").c_str(), 0640);
             symlink("real.csv", (dir / "link.csv").c_str());
         },
         {in, "-o", dir / "link.csv"}, 0, [&] {
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
         {in, "-o", dir / "fifo"}, 0, [&] {
             char buf[256];
             ssize_t n = read(reader, buf, sizeof buf);
             close(reader);
             EXPECT_EQ(std::string(buf, size_t(n > 0 ? n : 0)), copy);
             EXPECT_TRUE(S_ISFIFO(ModeOf(dir / "fifo")));
         }},
        {"a directory is refused", [&] { mkdir((dir / "d").c_str(), 0700); }, {in, "-o", dir / "d"}, 2, [] {}},
        {"the input as output", [] {}, {in, "-o", in}, 2, keepsInput},
        {"a hard link of the input as output", [&] { link(in.c_str(), (dir / "hard.csv").c_str()); },
         {in, "-o", dir / "hard.csv"}, 2, keepsInput},
        {"the source database as output", [] {}, {"--db", db, "--from", "people", "-o", db}, 2,
         [&] { EXPECT_EQ(Query(db, "SELECT * FROM people"), (Rows{{"1", "1234567L"}})); }},
        {"the input file as database", [] {}, {in, "--db", in, "--to", "t"}, 2, keepsInput},
        {"a missing source database is not created", [] {}, {"--db", dir / "typo.db", "--from", "people"}, 2,
         [&] { EXPECT_FALSE(FileExists(dir / "typo.db")); }},
        {"a failed run leaves no new database", [] {},
         {in, "--db", dir / "new.db", "--to", "t", "--map", "nid:VARCHAR(0)=switch=\"ES"}, 2,
         [&] { EXPECT_FALSE(FileExists(dir / "new.db")); }},
    };
    for (const Case& c : cases) {
        c.prepare();
        Outcome o = Mask(c.args);
        EXPECT_EQ(o.status, c.status) << c.name << "\n" << o.err;
        c.check();
        EXPECT_EQ(Debris(dir.path), Args{}) << c.name;
    }
}

TEST_F(Safety, AStoppedRunLeavesNoTemporaryFile) {
    std::string rows = "id,nid\n";
    for (int i = 0; i < 150000; ++i) rows += std::to_string(i) + ",1234567L\n"; /* past the first block read */
    for (int sig : {SIGINT, SIGTERM}) {
        std::string fifo = dir / ("in" + std::to_string(sig));
        mkfifo(fifo.c_str(), 0600);
        pid_t pid = SpawnZtnid({"mask", fifo, "-o", dir / "out.csv"});
        int w = open(fifo.c_str(), O_WRONLY);
        ASSERT_EQ(write(w, rows.data(), rows.size()), ssize_t(rows.size())); /* the pipe stays open */
        for (int i = 0; i < 500 && Debris(dir.path).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_FALSE(Debris(dir.path).empty()) << "no temporary file seen";
        kill(pid, sig);
        int ws = 0;
        waitpid(pid, &ws, 0);
        close(w);
        EXPECT_TRUE(WIFSIGNALED(ws) && WTERMSIG(ws) == sig) << sig;
        EXPECT_EQ(Debris(dir.path), Args{}) << sig;
        EXPECT_FALSE(FileExists(dir / "out.csv"));
    }
}

TEST_F(Safety, CopiedValuesKeepTheirBytesTypesAndNullRows) {
    const std::string db = dir / "c.db";
    Exec(db, "CREATE TABLE people (id INTEGER, country TEXT, nid VARCHAR(20));"
             "INSERT INTO people VALUES (1, 'ES', x'313233343536374C'), (2, 'ES', x'00FF0102'),"
             " (3, CAST(x'4553FF' AS TEXT), '1234567L'), (4, 'ES', 12345678), (5, NULL, NULL);"
             "CREATE TABLE one (v TEXT); INSERT INTO one VALUES (NULL), ('a'), (NULL), ('');");
    /* columns the exit reads are copied as stored */
    EXPECT_LE(Mask({"--db", db, "--from", "people", "--to", "m", "--map", "nid_m=switch=country,source=nid"}).status, 1);
    const std::string shape = "SELECT typeof(id), id, typeof(country), hex(country), typeof(nid), hex(nid) FROM ";
    EXPECT_EQ(Query(db, shape + "m ORDER BY id"), Query(db, shape + "people ORDER BY id"));
    /* a one-column table keeps its NULL rows through CSV */
    EXPECT_EQ(Mask({"--db", db, "--from", "one", "-o", dir / "one.csv"}).status, 0);
    EXPECT_EQ(Mask({dir / "one.csv", "--db", db, "--to", "back"}).status, 0);
    EXPECT_EQ(Query(db, "SELECT quote(v) FROM back ORDER BY rowid"), Query(db, "SELECT quote(v) FROM one ORDER BY rowid"));
}
#endif
