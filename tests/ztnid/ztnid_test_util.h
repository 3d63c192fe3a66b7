/* ztnid_test_util.h - running ztnid, reading what it wrote, and what the exit (linked in,
** driven by the host emulation) answers for the same rows. */
#ifndef ZTNID_TEST_UTIL_H
#define ZTNID_TEST_UTIL_H
#if !defined(_WIN32)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "exit/host_records.h"
#include "host/emul/host_emul.h"
#include "host/emul/utf.h"
#include "host/ztnid/csv.h"

namespace ztnid_test {

using Args = std::vector<std::string>;
using Rows = std::vector<Args>;
inline const char* const kNull = "\x01NULL"; /* a NULL field or value */

/* A private folder, removed with its files at destruction. */
struct TempDir {
    std::string path = [] {
        char tmpl[] = "/tmp/ztnid-test-XXXXXX";
        return std::string(mkdtemp(tmpl));
    }();
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline std::string ReadFile(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}
inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
inline bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
inline bool Contains(const std::string& s, const std::string& part) {
    return s.find(part) != s.npos;
}
inline std::string RepoFile(const std::string& rel) {
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / rel;
}
inline std::string SamplePath() { return RepoFile("samples/people.csv"); }
inline Args Plus(Args a, const Args& more) {
    a.insert(a.end(), more.begin(), more.end());
    return a;
}

/* The ztnid program beside the exit library of the test run; "" when not built. */
inline std::string ZtnidPath() {
    const char* lib = std::getenv("ZT0NID_LIBRARY");
    std::string p = lib ? std::filesystem::path(lib).parent_path() / "ztnid" : "";
    return lib && access(p.c_str(), X_OK) == 0 ? p : "";
}

/* Starts ztnid with args (no shell), stdout and stderr to the files named or /dev/null. */
inline pid_t SpawnZtnid(Args args, const std::string& out = "", const std::string& err = "") {
    args.insert(args.begin(), ZtnidPath());
    pid_t pid = fork();
    if (pid == 0) {
        dup2(open("/dev/null", O_RDONLY), 0);
        for (int fd : {1, 2}) {
            const std::string& p = fd == 1 ? out : err;
            dup2(open(p.empty() ? "/dev/null" : p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), fd);
        }
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

struct Outcome {
    int status = -1;
    std::string out, err;
};
inline Outcome RunZtnid(const Args& args) {
    TempDir io;
    int ws = 0;
    waitpid(SpawnZtnid(args, io / "out", io / "err"), &ws, 0);
    return {WIFEXITED(ws) ? WEXITSTATUS(ws) : -1, ReadFile(io / "out"), ReadFile(io / "err")};
}
inline Outcome Mask(const Args& args) { return RunZtnid(Plus({"mask"}, args)); }

/* The rows of a CSV file (header excluded, NULL fields as kNull), its names in *header. */
inline Rows CsvRows(const std::string& path, Args* header = nullptr) {
    ztnid::CsvSource src(path, ',', false);
    for (const auto& c : src.columns())
        if (header) header->push_back(c.name);
    Rows rows;
    while (src.next()) {
        rows.emplace_back();
        for (size_t i = 0; i < src.columns().size(); ++i)
            rows.back().push_back(src.isNull(i) ? kNull : std::string(src.text(i)));
    }
    return rows;
}

/* Per row of a CSV file, what the exit puts in column dest (kNull for NULL or a skipped
** row), every column VARCHAR(255) and nullable, dest replacing the source column. */
inline Args ReferenceRun(const std::string& csvPath, const std::string& dest,
                         const std::string& operands) {
    ztnid::CsvSource src(csvPath, ',', false);
    std::vector<hostemu::Column> cols;
    int destIndex = -1;
    for (const auto& c : src.columns()) {
        if (c.name == dest) destIndex = int(cols.size());
        cols.push_back(hostemu::Column{Utf8ToUtf16(c.name), 2, 255, true});
    }
    hostemu::ColumnMap map(&KLOColMapWExit, Utf8ToUtf16(operands), cols, cols, destIndex);
    Args out;
    while (src.next()) {
        for (size_t i = 0; i < cols.size(); ++i)
            src.isNull(i) ? map.setNull(cols[i].name)
                          : map.set(cols[i].name, Utf8ToUtf16(src.text(i)));
        hostemu::RowOutcome r = map.row();
        out.push_back(r.rc == 0 && !r.putNull ? Utf16ToUtf8(r.put) : kNull);
    }
    map.end();
    return out;
}

/* Runs SQL statements on an SQLite file: their rows, every value as text (NULL as kNull),
** and an error as one more row. */
inline Rows Query(const std::string& db, const std::string& sql) {
    sqlite3* h = nullptr;
    sqlite3_open(db.c_str(), &h);
    Rows rows;
    char* err = nullptr;
    auto add = [](void* to, int n, char** values, char**) {
        Args& row = static_cast<Rows*>(to)->emplace_back();
        for (int i = 0; i < n; ++i) row.push_back(values[i] ? values[i] : kNull);
        return 0;
    };
    if (sqlite3_exec(h, sql.c_str(), add, &rows, &err) != SQLITE_OK)
        rows.push_back({std::string("error: ") + err});
    sqlite3_free(err);
    sqlite3_close(h);
    return rows;
}
inline void Exec(const std::string& db, const std::string& sql) {
    EXPECT_EQ(Query(db, sql), Rows{});
}

/* The temporary files a run left behind in a folder. */
inline Args Debris(const std::string& dir) {
    Args left;
    for (const auto& f : std::filesystem::directory_iterator(dir))
        if (Contains(f.path().filename(), ".ztnid-")) left.push_back(f.path());
    return left;
}

/* A run of ztnid and what it should give: its status, and texts in its output or errors. */
struct Expect {
    Args args;
    int status;
    Args texts;
};
/* Runs each case: a run leaves no temporary file in dir, a failed one no dir/out.csv. */
inline void ExpectOutcomes(const std::vector<Expect>& cases, const std::string& dir) {
    const std::string out = dir + "/out.csv";
    for (const Expect& c : cases) {
        Outcome o = RunZtnid(c.args);
        SCOPED_TRACE(testing::PrintToString(c.args) + "\n" + o.out + o.err);
        EXPECT_EQ(o.status, c.status);
        for (const std::string& t : c.texts) EXPECT_TRUE(Contains(o.out + o.err, t)) << t;
        EXPECT_FALSE(c.status == 2 && FileExists(out));
        EXPECT_EQ(Debris(dir), Args{});
        std::filesystem::remove(out);
    }
}

/* id,nid rows of Spanish numbers; row `at` masks to 11 characters, too long for VARCHAR(9). */
inline std::string LateRefusal(int rows, int at) {
    std::string csv = "id,nid\n";
    for (int i = 1; i <= rows; ++i)
        csv += std::to_string(i) + "," + (i == at ? "X-7654321-J" : "1234567L") + "\n";
    return csv;
}

/* A test of the ztnid program: skipped when it is not built, the exit's log in `dir`. */
class Ztnid : public ::testing::Test {
protected:
    void SetUp() override {
        if (ZtnidPath().empty()) GTEST_SKIP() << "ztnid is not built beside the exit";
        setenv("ZTNID_DRIVE_C", dir.path.c_str(), 1);
    }
    TempDir dir;
};

} // namespace ztnid_test

#endif
#endif
