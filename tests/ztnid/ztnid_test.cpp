/*
** ztnid_test.cpp - the ztnid program end to end: CSV and SQLite through the exit, and the
** status and messages of every kind of refusal.
**
** Masked values are compared with what the exit itself answers for the same rows, so the
** tests hold whichever countries the exit masks.
*/
#if !defined(_WIN32)
#include <filesystem>

#include "ztnid_test_util.h"

using namespace ztnid_test;

class Ztnid : public ZtnidProgramTest {};

TEST_F(Ztnid, MasksTheSampleToCsvAsTheExitDoes) {
    const std::string ops = "switch=country,status=y";
    WORKAREA wa{};
    std::vector<Expected> want = ReferenceRun(SamplePath(), "nid", ops, &wa);
    Outcome o = Mask({"--map", "nid=" + ops, SamplePath(), "-o", dir / "out.csv"});
    std::vector<std::string> header;
    Rows in = CsvRows(SamplePath(), &header), out = CsvRows(dir / "out.csv");
    ASSERT_EQ(out.size(), in.size()) << o.err; /* nid is nullable: no row is dropped */
    ASSERT_EQ(header[5], "nid");
    long written = 0, skipped = 0, nulls = 0;
    for (size_t r = 0; r < in.size(); ++r) {
        Rows::value_type row = in[r];
        row[5] = want[r].cell();
        EXPECT_EQ(out[r], row) << "row " << r + 1;
        written += want[r].rc == 0;
        nulls += want[r].rc == 0 && want[r].isNull;
        skipped += want[r].rc == 1;
    }
    ASSERT_GT(written - nulls, 0) << "no country masks anything yet";
    EXPECT_EQ(o.status, skipped ? 1 : 0) << o.err;
    const std::string n = std::to_string(in.size());
    EXPECT_TRUE(Contains(o.err, n + " rows read, " + n + " written, 0 dropped")) << o.err;
    EXPECT_TRUE(Contains(o.err, "read " + n + ", written " + std::to_string(written) + " (" +
                                    std::to_string(nulls) + " NULL), skipped " + std::to_string(skipped)))
        << o.err;
    const std::pair<std::string, int32_t> counters[] = {{"invalid length", wa.InvalidLengthCount},
                                                        {"invalid part", wa.InvalidPartCount},
                                                        {"invalid data", wa.InvalidDataCount}};
    for (const auto& [name, count] : counters) {
        std::string num = std::to_string(count);
        EXPECT_TRUE(!count || Contains(o.err, name + std::string(31 - name.size() - num.size(), ' ') + num));
    }
    /* status=y: the exit's end report, as it logged it */
    EXPECT_TRUE(Contains(o.err, skipped ? "Non-zero error counts for column nid" : "No row errors detected"));
}

TEST_F(Ztnid, SqliteToSqliteMasksAsTheExitDoesAndKeepsTypes) {
    const std::string db = dir / "p.db", map = "switch=country";
    ASSERT_EQ(Mask({SamplePath(), "--db", db, "--to", "csv"}).status, 0);
    Exec(db, "CREATE TABLE people (id INTEGER, country TEXT, nid VARCHAR(255), nid2 VARCHAR(255) NOT NULL);"
             "INSERT INTO people SELECT CAST(id AS INTEGER), country, nid, coalesce(nid, '') FROM csv;");
    WriteFile(dir / "people.csv", Mask({"--db", db, "--from", "people"}).out);
    Rows people = CsvRows(dir / "people.csv"), want;
    std::vector<Expected> nid = ReferenceRun(dir / "people.csv", "nid", map);
    std::vector<Expected> nid2 = ReferenceRun(dir / "people.csv", "nid2", map);
    for (size_t r = 0; r < people.size(); ++r) /* NOT NULL: a skipped row is dropped */
        if (nid2[r].rc == 0) want.push_back({people[r][0], "integer", people[r][1], nid[r].cell(), nid2[r].cell()});
    Outcome o = Mask({"--db", db, "--from", "people", "--to", "m", "--map", "nid=" + map, "--map", "nid2=" + map});
    EXPECT_EQ(Query(db, "SELECT id, typeof(id), country, nid, nid2 FROM m ORDER BY rowid"), want);
    EXPECT_LT(want.size(), people.size());
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(Contains(o.err, std::to_string(people.size()) + " rows read, " + std::to_string(want.size()) +
                                    " written, " + std::to_string(people.size() - want.size()) + " dropped"));
    EXPECT_EQ(Query(db, "SELECT \"notnull\" FROM pragma_table_info('m') WHERE name = 'nid2'"), (Rows{{"1"}}));
}

TEST_F(Ztnid, AnErrorMidRunLeavesEveryDestinationAsItWas) {
    WriteFile(dir / "in.csv", LateRefusal(100, 60));
    const std::string db = dir / "t.db", map = "nid:VARCHAR(9)=switch=\"ES";
    Exec(db, "CREATE TABLE dst (keep TEXT); INSERT INTO dst VALUES ('a'), ('b'), ('c');"
             "CREATE TABLE app (id TEXT, nid TEXT); INSERT INTO app VALUES ('0', 'x');");
    ASSERT_EQ(Mask({dir / "in.csv", "--db", db, "--to", "src"}).status, 0);
    const std::pair<Args, std::string> cases[] = {
        {{"--db", db, "--from", "src", "--to", "dst", "--replace"}, "row 60"},
        {{"--db", db, "--from", "src", "--to", "fresh"}, "row 60"},
        {{dir / "in.csv", "--db", db, "--to", "app", "--append"}, "line 61"},
        {{dir / "in.csv", "-o", dir / "out.csv"}, "line 61"},
    };
    for (const auto& [args, where] : cases) {
        Outcome o = Mask(Plus(args, {"--map", map}));
        EXPECT_EQ(o.status, 2) << o.err;
        EXPECT_TRUE(Contains(o.err, "column nid, " + where + ": NID ERROR 0xa: Error Putting col nid data")) << o.err;
        EXPECT_TRUE(Contains(o.err, "11 characters")) << o.err;
        EXPECT_TRUE(Contains(o.err, "60 rows read, 0 written")) << o.err; /* only what was kept counts */
    }
    EXPECT_EQ(Query(db, "SELECT keep FROM dst"), (Rows{{"a"}, {"b"}, {"c"}}));
    EXPECT_EQ(Query(db, "SELECT * FROM app"), (Rows{{"0", "x"}}));
    EXPECT_EQ(Query(db, "SELECT count(*) FROM sqlite_master WHERE name = 'fresh'"), (Rows{{"0"}}));
    EXPECT_FALSE(FileExists(dir / "out.csv"));
    EXPECT_EQ(Debris(dir.path), Args{});
}

TEST_F(Ztnid, NonAsciiTextSurvivesTheRoundTrip) {
    WriteFile(dir / "in.csv", "id,name,nid\n1,José Núñez-Pérez,1234567L\n2,\"Ægir, Łukasz \"\"Søren\"\"\",X7654321J\n"
                              "3,王明 😀🐍,\n4,\"line\nbreak 𝄞\",12345678Z\n");
    const std::string db = dir / "r.db";
    ASSERT_EQ(Mask({dir / "in.csv", "--db", db, "--to", "t"}).status, 0);
    Outcome back = Mask({"--db", db, "--from", "t", "--map", "nid=switch=\"ES"});
    std::vector<Expected> want = ReferenceRun(dir / "in.csv", "nid", "switch=\"ES");
    Rows in = CsvRows(dir / "in.csv"), out = CsvOf(back.out);
    ASSERT_EQ(out.size(), in.size()) << back.err;
    for (size_t r = 0; r < in.size(); ++r) EXPECT_EQ(out[r], (Args{in[r][0], in[r][1], want[r].cell()}));
    EXPECT_EQ(Query(db, "SELECT name FROM t WHERE id = '3'"), (Rows{{"王明 😀🐍"}}));
    /* The exit reads 16-bit units: 5 emoji (10 units) do not fit a VARCHAR(9) source and
    ** are a conversion error; 4 (8 units) are read and refused by the country. */
    WriteFile(dir / "emoji.csv", "nid\n😀😀😀😀😀\n😀😀😀😀\n");
    Outcome o = Mask({dir / "emoji.csv", "--source-type", "nid:VARCHAR(9)", "--map", "nid=switch=\"ES"});
    EXPECT_TRUE(Contains(o.err, "conversion errors             1")) << o.err;
    EXPECT_TRUE(Contains(o.err, "skipped 2")) << o.err;
}

TEST_F(Ztnid, SkippedRowsFollowThePolicy) {
    WriteFile(dir / "in.csv", "id,nid\n1,1234567L\n2,12345\n3,\n4,\"\"\n");
    WriteFile(dir / "ok.csv", "id,nid\n1,1234567L\n2,X7654321J\n");
    const std::string m = "nid=switch=\"ES";
    std::vector<Expected> ok = ReferenceRun(dir / "ok.csv", "nid", m.substr(4));
    const std::string x = ok[0].cell();
    struct Case {
        Args args;
        int status;
        Rows rows; /* 12345 is refused: NULL where nullable, else dropped */
    } cases[] = {
        {{dir / "in.csv"}, 1, {{"1", x}, {"2", kNull}, {"3", kNull}, {"4", ""}}},
        {{dir / "in.csv", "--on-skip", "drop"}, 1, {{"1", x}, {"3", kNull}, {"4", ""}}},
        {{dir / "in.csv", "--empty-is-blank"}, 1, {{"1", x}, {"3", ""}, {"4", ""}}},
        {{dir / "in.csv", "--on-skip", "fail"}, 2, {}},
        {{dir / "ok.csv"}, 0, {{"1", x}, {"2", ok[1].cell()}}},
    };
    for (const Case& c : cases) {
        Outcome o = Mask(Plus(c.args, {"--map", m}));
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_EQ(CsvOf(o.out), c.rows) << o.err;
    }
}

/* Every kind of outcome its status and messages (in output or errors); a failed run
** leaves no output file and no temporary file. */
TEST_F(Ztnid, StatusesAndMessages) {
    const std::string s = SamplePath(), out = dir / "out.csv", e = dir / "e.db", g = dir / "g.db";
    std::string wide;
    for (int i = 0; i < 40000; ++i) wide += (i ? ",c" : "c") + std::to_string(i);
    const std::pair<const char*, std::string> files[] = {
        {"head.csv", "id,country,nid\n"},
        {"one.csv", "id,country,nid\n1,ES,1234567L\n"},
        {"sw.csv", "id,country,nid\n1,ESX,1234567L\n2,ES ,1234567L\n"},
        {"none.csv", "a,b\nhello,world\n12345678,FR\n"},
        {"long.csv", "a,b\n1,\"" + std::string(5000, 'x') + "\"\n"},
        {"noline.csv", std::string(3 << 20, 'x')},
        {"wide.csv", wide + "\n" + std::string(39999, ',') + "hello\n"},
        {"utf16.csv", std::string("\xFF\xFE" "n\0i\0d\0\n\0", 10)},
        {"nul.csv", std::string(1000, '\0')},
        {"nid.key", "8f0c3ad2b71e4c559a0e6d2f41b7c3e98f0c3ad2b71e4c559a0e6d2f41b7c3e9\n"},
        {"short.key", "00112233445566778899aabbccddee\n"},
        {"bad.key", "not a key\n"},
    };
    for (const auto& [name, text] : files) WriteFile(dir / name, text);
    Exec(e, "CREATE TABLE empty (id INTEGER, country TEXT, nid NVARCHAR(300));");
    Exec(g, "CREATE TABLE g (id INTEGER, nid TEXT, up TEXT AS (upper(nid)), twice INT AS (id * 2) STORED);"
            "INSERT INTO g (id, nid) VALUES (1, 'x');");
    const Args one = {"mask", dir / "one.csv", "--map"}, sw = {"mask", dir / "sw.csv", "--map"};
    const Args k = {"mask", s, "-o", out, "--map", "nid=switch=country", "--keyed"};
    const std::string key = dir / "nid.key", library = std::getenv("ZT0NID_LIBRARY");
    struct Case {
        Args args;
        int status;
        Args texts;
    } cases[] = {
        /* the command line */
        {{"--help"}, 0, {"Exit status: 0 every row written, 1 some rows skipped, 2 error.", "explain"}},
        {{"mask", "--help"}, 0, {"DEST[:TYPE(LENGTH)]=OPERANDS"}},
        {{"--version"}, 0, {"ztnid ", "(loaded as " + library + ")",
                            "result 0, countries initialised: FR IT ES UK, FR 185057511234529 -> "}},
        {{}, 2, {"A subcommand is required"}},
        {{"mask", "--bogus", s}, 2, {"The following argument was not expected: --bogus"}},
        {{"mask", s, "--map", "nid"}, 2, {"--map 'nid': expected DEST[:TYPE(LENGTH)]=OPERANDS"}},
        {{"mask", s, "--map", "nid:TEXT=switch=country"}, 2, {"error: unknown type 'TEXT'"}},
        {{"mask", s, "--map", "nid=x", "--map", "NID=y"}, 2, {"error: column NID is mapped twice"}},
        {{"mask"}, 2, {"error: give either an input CSV file or --from TABLE"}},
        {{"mask", "--db", dir / "x.db", "--to", "t", s, "--from", "t"}, 2, {"give either an input CSV"}},
        {{"mask", dir / "missing.csv"}, 2, {"error: cannot open " + dir / "missing.csv"}},
        {{"mask", s, "--on-skip", "keep"}, 2, {"--on-skip: keep not in {auto,drop,fail}"}},
        {{"mask", s, "--to", "t"}, 2, {"error: --to needs --db FILE or --to-pg CONNINFO"}},
        {{"mask", s, "--source-type", "nope:CHAR(9)"}, 2, {"error: --source-type: no column nope in " + s}},
        {{"mask", s, "--map", "nid=switch=country", "--exit", "none.so"}, 2, {"cannot load the exit none.so"}},
        {{"explain"}, 2, {"operands is required"}},
        /* explain: the operands as the exit reads them */
        {{"explain", "switch=\"ES,format=(ES=7X-1X,FR=5X2C6X_2X),debug=yes,foo=1,,src=x"}, 0,
         {"-> switch/swt (1) = \"\"ES\"", "-> format/fmt (2), a list:", "-> spain/ES (12) = \"7X-1X\"",
          "foo=1                       dropped: unknown keyword \"foo\"",
          ",src=x                      dropped: unknown keyword \",src\"", "set-up: succeeds",
          "mode bits: 0xc000 MASK DEBUG", "switch: every row is of country \"ES\"",
          "Spain: format \"7X-1X\" accepted"}},
        {{"explain", "--dest", "CHAR(15)", "switch=\"IT,format=(IT=6C11X)"}, 0,
         {"columns: source NID VARCHAR(255), destination NID CHAR(15)", "Italy: not initialised (result 0x101)"}},
        {{"explain", "method=random,validate=y,switch=CTRY"}, 2,
         {"set-up: fails: NID ERROR 0x2: Incompatible operands validate & random provided"}},
        /* input refused before any row */
        {{"mask", dir / "long.csv", "-o", out, "--max-record-bytes", "4096"}, 2,
         {"line 2: a record longer than 4096 bytes"}},
        {{"mask", dir / "noline.csv", "-o", out, "--max-record-bytes", "100000"}, 2,
         {"line 1: a record longer than 100000 bytes"}},
        {{"mask", dir / "wide.csv", "-o", out, "--map", "c1=switch=\"ES"}, 2,
         {"the source has 40000 columns, more than the 32767"}},
        {{"mask", dir / "utf16.csv", "-o", out}, 2, {"starts with a UTF-16 byte order mark"}},
        {{"mask", dir / "nul.csv", "-o", out}, 2,
         {"the file is not UTF-8 text: 1000 of its first 1000 bytes are NUL"}},
        /* set-up errors stop the run before any row; ignored operands are named */
        {{"mask", dir / "head.csv", "-o", out, "--map", "nid:VARCHAR(0)=switch=country"}, 2,
         {"No Countries initialized for Masking", "Italy: not initialised (result 0x101): NID ERROR  0x101 "
                                                  ":Destination Column Length Not Supported"}},
        {{"mask", "--db", e, "--from", "empty", "--to", "t", "--map", "nid=switch=country"}, 2,
         {"No Countries initialized for Masking"}},
        {Plus(one, {"nid=switch=nosuchcol"}), 2,
         {"the switch operand names the column nosuchcol, which is not a column of the source"}},
        {Plus(one, {"nid=switch=country,format=(ES=8X"}), 0,
         {"warning: column nid: the pair \"format=(ES=8X\" is dropped: \"(\" not closed"}},
        {Plus(one, {"nid=switch=country,colour=blue,format=(FR=zz)"}), 0,
         {"the pair \"colour=blue\" is dropped: unknown keyword",
          "France: the format \"zz\" is not accepted, the default applies"}},
        {Plus(one, {"nid=switch=country,colour=blue", "--strict"}), 2,
         {"operands the exit would ignore (--strict)"}},
        {{"mask", "--db", g, "--from", "g"}, 0, {"id,nid,up,twice\n1,x,X,2\n"}}, /* generated columns */
        {Plus(sw, {"nid=switch=country"}), 0, {"1 switch values longer than a two-letter code (e.g. \"ESX\")"}},
        {Plus(sw, {"nid=switch=country", "--strict"}), 2,
         {"line 2: the switch value \"ESX\" is not a two-letter country code"}},
        /* keyed columns: a missing, short or malformed key, or a format the keyed mask
        ** cannot use */
        {Plus(k, {"nid", "--key-file", dir / "none.key"}), 2, {"cannot read the key file " + dir / "none.key"}},
        {Plus(k, {"nid", "--key-file", dir / "short.key"}), 2,
         {"the key has 30 hexadecimal digits; AES takes 32, 48 or 64"}},
        {Plus(k, {"nid", "--key-file", dir / "bad.key"}), 2, {"the key is neither 32, 48 or 64 hexadecimal"}},
        {Plus(k, {"nid", "--key-env", "ZT_TEST_NO_SUCH_KEY"}), 2,
         {"the environment variable ZT_TEST_NO_SUCH_KEY that should hold the key is not set"}},
        {Plus(k, {"nid"}), 2, {"keyed masking needs the key: give either --key-file FILE or --key-env NAME"}},
        {Plus(k, {"nid", "--key-file", key, "--key-env", "X"}), 2, {"give either --key-file FILE or --key-env"}},
        {{"mask", s, "-o", out, "--map", "nid=switch=country", "--key-file", key}, 2,
         {"--key-file and --key-env need --keyed"}},
        {Plus(k, {"other", "--key-file", key}), 2, {"--keyed other: no --map for that column"}},
        {Plus(k, {"x", "--key-file", key, "--map", "x=switch=country,format=(FR=5X2C8Y)"}), 2,
         {"column x: the format for FR is not one the country accepts"}},
        {{"unmask", s, "-o", out, "--key-file", key}, 2, {"unmask needs the --map of each column to reverse"}},
        /* scan: 0 found, 1 nothing found, 2 error */
        {{"scan", s, "--rows", "5"}, 0, {"--map 'nid=switch=country,format=(FR=5X2C8X,IT=6C10X,ES=8X)'",
                                         "valid for the country it names: 4 of 4 values (100.0%), confidence 0.51"}},
        {{"scan", dir / "none.csv"}, 1, {"No column holds national identification numbers."}},
        {{"scan", dir / "missing.csv"}, 2, {"error: cannot open " + dir / "missing.csv"}},
        {{"scan", dir / "wide.csv"}, 2, {"the source has 40000 columns, more than the 32767"}},
        {{"scan", s, "--rows", "0"}, 2, {"--rows takes a positive number or all"}},
        {{"scan", "--db", dir / "missing.db", "--from", "t"}, 2, {"cannot open database " + dir / "missing.db"}},
    };
    for (const Case& c : cases) {
        Outcome o = RunZtnid(c.args);
        SCOPED_TRACE(testing::PrintToString(c.args) + "\n" + o.out + o.err);
        EXPECT_EQ(o.status, c.status);
        for (const std::string& t : c.texts) EXPECT_TRUE(Contains(o.out + o.err, t)) << t;
        EXPECT_FALSE(c.status == 2 && FileExists(out));
        EXPECT_EQ(Debris(dir.path), Args{});
        std::filesystem::remove(out);
    }
    EXPECT_EQ(Query(e, "SELECT count(*) FROM sqlite_master WHERE name = 't'"), (Rows{{"0"}}));
    EXPECT_FALSE(FileExists(dir / "missing.db")); /* the scan opens a database read-only */
}

TEST_F(Ztnid, VersionNamesALibraryItCannotLoad) {
    const std::string library = std::getenv("ZT0NID_LIBRARY");
    const std::string absent = library.substr(0, library.rfind('/') + 1) + "libZT0NID-absent.so";
    setenv("ZT0NID_LIBRARY", absent.c_str(), 1); /* in the folder where the test finds ztnid */
    Outcome missing = RunZtnid({"--version"});
    setenv("ZT0NID_LIBRARY", library.c_str(), 1);
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(Contains(missing.out, "exit: cannot load " + absent)) << missing.out;
}
#endif
