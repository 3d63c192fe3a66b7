/* safety_test.cpp - a clear message and status for every refusal, outputs replaced safely
** and never an input, nothing left by a stopped run, copied values kept byte for byte. */
#if !defined(_WIN32)
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "ztnid_test_util.h"

using namespace ztnid_test;

using Safety = Ztnid;

static mode_t ModeOf(const std::string& path) { /* of a link itself, not what it names */
    struct stat st{};
    lstat(path.c_str(), &st);
    return st.st_mode;
}

/* Each outcome's status and messages; a failed run leaves no output and no temporary file. */
TEST_F(Safety, StatusesAndMessages) {
    const std::string s = SamplePath(), out = dir / "out.csv", e = dir / "e.db", g = dir / "g.db";
    std::string wide;
    for (int i = 0; i < 40000; ++i) wide += (i ? ",c" : "c") + std::to_string(i);
    const std::pair<const char*, std::string> files[] = {
        {"head.csv", "id,country,nid\n"},
        {"one.csv", "id,country,nid\n1,ES,1234567L\n"},
        {"semi.csv", "a;b\n\"x;y\";\"\"\n;\"q\"\"\nr\"\nplain;😀\n"},
        {"sw.csv", "id,country,nid\n1,ESX,1234567L\n2,ES ,1234567L\n"},
        {"none.csv", "a,b\nhello,world\n12345678,FR\n"},
        {"long.csv", "a,b\n1,\"" + std::string(5000, 'x') + "\"\n"},
        {"noline.csv", std::string(3 << 20, 'x')},
        {"wide.csv", wide + "\n" + std::string(39999, ',') + "hello\n"},
        {"utf16.csv", std::string("\xFF\xFE" "n\0i\0d\0\n\0", 10)},
        {"nul.csv", std::string(1000, '\0')},
        {"emoji.csv", "nid\n😀😀😀😀😀\n😀😀😀😀\n"},
        {"nid.key", "8f0c3ad2b71e4c559a0e6d2f41b7c3e98f0c3ad2b71e4c559a0e6d2f41b7c3e9\n"},
        {"short.key", "00112233445566778899aabbccddee\n"},
        {"bad.key", "not a key\n"},
    };
    for (const auto& [name, text] : files) WriteFile(dir / name, text);
    Exec(e, "CREATE TABLE empty (id INTEGER, country TEXT, nid NVARCHAR(300));");
    Exec(g, "CREATE TABLE g (id INTEGER, nid TEXT, up TEXT AS (upper(nid)),"
            " twice INT AS (id * 2) STORED); INSERT INTO g (id, nid) VALUES (1, 'x');");
    const Args one = {"mask", dir / "one.csv", "--map"}, sw = {"mask", dir / "sw.csv", "--map"};
    const Args mask = {"mask", s, "--map"};
    const Args k = {"mask", s, "-o", out, "--map", "nid=switch=country", "--keyed"};
    const std::string key = dir / "nid.key", lib = std::getenv("ZT0NID_LIBRARY");
    ExpectOutcomes({
        {{"--help"}, 0, {"Exit status: 0 every row written, 1 some rows skipped, 2 error."}},
        {{"--version"}, 0, {"(loaded as " + lib + ")", "countries initialised: FR IT ES UK, FR "}},
        {{"mask", "--bogus", s}, 2, {"The following argument was not expected: --bogus"}},
        {Plus(mask, {"nid"}), 2, {"--map 'nid': expected DEST[:TYPE(LENGTH)]=OPERANDS"}},
        {Plus(mask, {"nid:TEXT=switch=country"}), 2, {"error: unknown type 'TEXT'"}},
        {Plus(mask, {"nid=x", "--map", "NID=y"}), 2, {"error: column NID is mapped twice"}},
        {{"mask"}, 2, {"error: give either an input CSV file or --from TABLE"}},
        {{"mask", s, "--from", "t"}, 2, {"error: give either an input CSV file or --from TABLE"}},
        {{"mask", dir / "missing.csv"}, 2, {"error: cannot open " + dir / "missing.csv"}},
        {{"mask", s, "--on-skip", "keep"}, 2, {"--on-skip: keep not in {auto,drop,fail}"}},
        {{"mask", s, "--to", "t"}, 2, {"error: --to needs --db FILE or --to-pg CONNINFO"}},
        {{"mask", s, "--source-type", "no:CHAR(9)"}, 2, {"--source-type: no column no in " + s}},
        {Plus(mask, {"nid=switch=country", "--exit", "no.so"}), 2, {"cannot load the exit no.so"}},
        /* explain: the operands as the exit reads them */
        {{"explain", "switch=\"ES,format=(ES=7X-1X,FR=5X2C6X_2X),debug=yes,foo=1,,src=x"}, 0,
         {"-> switch/swt (1) = \"\"ES\"", "-> format/fmt (2), a list:", "set-up: succeeds",
          "-> spain/ES (12) = \"7X-1X\"", "switch: every row is of country \"ES\"",
          "foo=1                       dropped: unknown keyword \"foo\"",
          ",src=x                      dropped: unknown keyword \",src\"",
          "mode bits: 0xc000 MASK DEBUG", "Spain: format \"7X-1X\" accepted"}},
        {{"explain", "--dest", "CHAR(15)", "switch=\"IT,format=(IT=6C11X)"}, 0,
         {"columns: source NID VARCHAR(255), destination NID CHAR(15)",
          "Italy: not initialised (result 0x101)"}},
        {{"explain", "method=random,validate=y,switch=CTRY"}, 2,
         {"set-up: fails: NID ERROR 0x2: Incompatible operands validate & random provided"}},
        {{"mask", dir / "long.csv", "-o", out, "--max-record-bytes", "4096"}, 2,
         {"line 2: a record longer than 4096 bytes"}},
        {{"mask", dir / "noline.csv", "-o", out, "--max-record-bytes", "99999"}, 2,
         {"line 1: a record longer than 99999 bytes"}},
        {{"mask", dir / "wide.csv", "-o", out, "--map", "c1=switch=\"ES"}, 2,
         {"the source has 40000 columns, more than the 32767"}},
        {{"mask", dir / "utf16.csv", "-o", out}, 2, {"starts with a UTF-16 byte order mark"}},
        {{"mask", dir / "nul.csv", "-o", out}, 2, {"not UTF-8 text: 1000 of its first 1000 bytes"}},
        /* 5 emoji are 10 units, more than a VARCHAR(9) source; 4 fit, the country refuses them */
        {{"mask", dir / "emoji.csv", "--source-type", "nid:VARCHAR(9)", "--map", "nid=switch=\"ES"},
         1, {"conversion errors             1", "skipped 2"}},
        /* set-up errors stop the run before any row; ignored operands are named */
        {{"mask", dir / "head.csv", "-o", out, "--map", "nid:VARCHAR(0)=switch=country"}, 2,
         {"No Countries initialized for Masking",
          "Italy: not initialised (result 0x101): NID ERROR  0x101 :Destination Column Length"}},
        {{"mask", "--db", e, "--from", "empty", "--to", "t", "--map", "nid=switch=country"}, 2, {}},
        {Plus(one, {"NID=switch=\"ES"}), 0, {"id,country,nid\n"}}, /* the source's spelling */
        {Plus(one, {"nid=switch=nosuch"}), 2, {"names the column nosuch, which is not a column"}},
        {Plus(one, {"nid=switch=country,format=(ES=8X"}), 0,
         {"warning: column nid: the pair \"format=(ES=8X\" is dropped: \"(\" not closed"}},
        {Plus(one, {"nid=switch=country,colour=blue,format=(FR=zz)"}), 0,
         {"the pair \"colour=blue\" is dropped: unknown keyword",
          "France: the format \"zz\" is not accepted, the default applies"}},
        {Plus(one, {"nid=switch=country,x=y", "--strict"}), 2, {"operands the exit would ignore"}},
        {{"mask", dir / "semi.csv", "-d", ";", "--crlf"}, 0, /* quoted as needed, NULL not "" */
         {"a;b\r\n\"x;y\";\"\"\r\n;\"q\"\"\nr\"\r\nplain;😀\r\n"}},
        {{"mask", "--db", g, "--from", "g"}, 0, {"id,nid,up,twice\n1,x,X,2\n"}}, /* generated */
        {Plus(sw, {"nid=switch=country"}), 0, {"1 switch values longer than a two-letter code"}},
        {Plus(sw, {"nid=switch=country", "--strict"}), 2, {"line 2: the switch value \"ESX\""}},
        /* keyed columns: a missing, short or malformed key, a format the keyed mask cannot use */
        {Plus(k, {"nid", "--key-file", dir / "no"}), 2, {"cannot read the key file " + dir.path}},
        {Plus(k, {"nid", "--key-file", dir / "short.key"}), 2, {"the key has 30 hexadecimal"}},
        {Plus(k, {"nid", "--key-file", dir / "bad.key"}), 2, {"the key is neither 32, 48 or 64"}},
        {Plus(k, {"nid", "--key-env", "ZT_NO"}), 2, {"ZT_NO that should hold the key is not set"}},
        {Plus(k, {"nid"}), 2, {"keyed masking needs the key: give either --key-file FILE or"}},
        {Plus(k, {"nid", "--key-file", key, "--key-env", "X"}), 2, {"give either --key-file"}},
        {{"mask", s, "-o", out, "--key-file", key}, 2, {"--key-file and --key-env need --keyed"}},
        {Plus(k, {"other", "--key-file", key}), 2, {"--keyed other: no --map for that column"}},
        {Plus(k, {"x", "--key-file", key, "--map", "x=switch=\"FR,format=(FR=5X2C8Y)"}), 2,
         {"column x: the format for FR is not one the country accepts"}},
        {{"unmask", s, "-o", out, "--key-file", key}, 2, {"unmask needs the --map of each column"}},
        /* scan: 0 found, 1 nothing found, 2 error */
        {{"scan", s, "--rows", "5"}, 0,
         {"--map 'nid=switch=country,format=(FR=5X2C8X,IT=6C10X,ES=8X)'",
          "valid for the country it names: 4 of 4 values (100.0%), confidence 0.51"}},
        {{"scan", dir / "none.csv"}, 1, {"No column holds national identification numbers."}},
        {{"scan", dir / "wide.csv"}, 2, {"the source has 40000 columns, more than the 32767"}},
        {{"scan", s, "--rows", "0"}, 2, {"--rows takes a positive number or all"}},
        {{"scan", "--db", dir / "x.db", "--from", "t"}, 2, {"cannot open database " + dir.path}},
    }, dir.path);
    EXPECT_EQ(Query(e, "SELECT count(*) FROM sqlite_master WHERE name = 't'"), (Rows{{"0"}}));
    EXPECT_FALSE(FileExists(dir / "x.db")); /* the scan opens a database read-only */
    const std::string absent = lib.substr(0, lib.rfind('/') + 1) + "libZT0NID-absent.so";
    setenv("ZT0NID_LIBRARY", absent.c_str(), 1); /* in the folder where the test finds ztnid */
    Outcome missing = RunZtnid({"--version"});
    setenv("ZT0NID_LIBRARY", lib.c_str(), 1);
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(Contains(missing.out, "exit: cannot load " + absent)) << missing.out;
}

TEST_F(Safety, OutputsAreReplacedAtomicallyAndNeverAnInputOrASpecialFile) {
    const std::string in = dir / "in.csv", db = dir / "p.db", copy = "id,nid\n1,1234567L\n";
    const std::string t = dir / "t.csv", real = dir / "real.csv", fifo = dir / "fifo";
    for (const std::string& f : {in, t, real}) WriteFile(f, f == in ? copy : "old");
    Exec(db, "CREATE TABLE people (id, nid); INSERT INTO people VALUES (1, '1234567L');");
    const std::pair<std::string, mode_t> modes[] = {{t, 0600}, {real, 0640}}; /* kept */
    for (const auto& [f, mode] : modes) chmod(f.c_str(), mode);
    symlink("real.csv", (dir / "link.csv").c_str());
    mkfifo(fifo.c_str(), 0600);
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    mkdir((dir / "d").c_str(), 0700);
    link(in.c_str(), (dir / "hard.csv").c_str());
    const std::string notInput = ": an output may not be an input", hard = dir / "hard.csv";
    ExpectOutcomes({
        {{"mask", in, "-o", t}, 0, {}},                /* replaced, its mode kept */
        {{"mask", in, "-o", dir / "link.csv"}, 0, {}}, /* a symbolic link is followed */
        {{"mask", in, "-o", fifo}, 0, {}},             /* a FIFO is written through */
        {{"mask", in, "-o", dir / "d"}, 2, {"cannot write " + dir / "d" + ": it is a directory"}},
        {{"mask", in, "-o", in}, 2, {"the output " + in + " is the input file " + in + notInput}},
        {{"mask", in, "-o", hard}, 2, {"the output " + hard + " is the input file " + in}},
        {{"mask", "--db", db, "--from", "people", "-o", db}, 2,
         {"the output " + db + " is the database " + db + notInput}},
        {{"mask", in, "--db", in, "--to", "t"}, 2, {"the database " + in + " is the input file"}},
        {{"mask", "--db", dir / "typo.db", "--from", "p"}, 2, {"cannot open database " + dir.path}},
        {{"mask", in, "--db", dir / "new.db", "--to", "t", "--map", "nid:CHAR(0)=switch=\"ES"}, 2,
         {"No Countries initialized for Masking"}},
    }, dir.path);
    for (const auto& [f, mode] : modes)
        EXPECT_EQ(std::make_pair(ModeOf(f) & 07777, ReadFile(f)), std::make_pair(mode, copy));
    EXPECT_TRUE(S_ISLNK(ModeOf(dir / "link.csv")));
    char buf[256];
    ssize_t n = read(reader, buf, sizeof buf);
    close(reader);
    EXPECT_EQ(std::string(buf, size_t(n > 0 ? n : 0)), copy);
    EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));
    EXPECT_EQ(ReadFile(in), copy);
    EXPECT_EQ(Query(db, "SELECT * FROM people"), (Rows{{"1", "1234567L"}}));
    EXPECT_FALSE(FileExists(dir / "typo.db") || FileExists(dir / "new.db")); /* neither made */
}

TEST_F(Safety, AStoppedRunLeavesNoTemporaryFile) {
    std::string rows = "id,nid\n";
    for (int i = 0; i < 150000; ++i) rows += std::to_string(i) + ",1234567L\n"; /* past a block */
    for (int sig : {SIGINT, SIGTERM}) {
        std::string fifo = dir / ("in" + std::to_string(sig));
        mkfifo(fifo.c_str(), 0600);
        pid_t pid = SpawnZtnid({"mask", fifo, "-o", dir / "out.csv"});
        int w = open(fifo.c_str(), O_WRONLY);
        ASSERT_EQ(write(w, rows.data(), rows.size()), ssize_t(rows.size())); /* left open */
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

/* Columns the exit reads are copied as stored; NULL rows of one column survive CSV. */
TEST_F(Safety, CopiedValuesKeepTheirBytesTypesAndNullRows) {
    const std::string db = dir / "c.db";
    Exec(db, "CREATE TABLE people (id INTEGER, country TEXT, nid VARCHAR(20));"
             "INSERT INTO people VALUES (1, 'ES', x'313233343536374C'), (2, 'ES', x'00FF0102'),"
             " (3, CAST(x'4553FF' AS TEXT), '1234567L'), (4, 'ES', 12345678), (5, NULL, NULL);"
             "CREATE TABLE one (v TEXT); INSERT INTO one VALUES (NULL), ('a'), (NULL), ('');");
    EXPECT_EQ(Mask({"--db", db, "--from", "people", "--to", "m", "--map",
                    "nid_m=switch=country,source=nid"}).status, 0);
    const std::string shape = "SELECT typeof(id), id, typeof(country), hex(country), typeof(nid),"
                              " hex(nid) FROM ";
    EXPECT_EQ(Query(db, shape + "m ORDER BY id"), Query(db, shape + "people ORDER BY id"));
    EXPECT_EQ(Query(db, "SELECT type, \"notnull\" FROM pragma_table_info('m') WHERE name='nid_m'"),
              (Rows{{"VARCHAR(20)", "0"}})); /* a new column takes the type of the one read */
    EXPECT_EQ(Mask({"--db", db, "--from", "one", "-o", dir / "one.csv"}).status, 0);
    EXPECT_EQ(Mask({dir / "one.csv", "--db", db, "--to", "back"}).status, 0);
    EXPECT_EQ(Query(db, "SELECT quote(v) FROM back"), Query(db, "SELECT quote(v) FROM one"));
}
#endif
