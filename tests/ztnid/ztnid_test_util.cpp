/*
** ztnid_test_util.cpp - helpers of the ztnid end-to-end tests (POSIX only, as ztnid).
*/
#if !defined(_WIN32)
#include "ztnid_test_util.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "host/emul/host_emul.h"
#include "host/emul/utf.h"
#include "host/ztnid/csv.h"

namespace ztnid_test {

const char* const kNull = "\x01NULL";

TempDir::TempDir() {
    char tmpl[] = "/tmp/ztnid-test-XXXXXX";
    path = mkdtemp(tmpl);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::string ZtnidPath() {
    const char* lib = std::getenv("ZT0NID_LIBRARY");
    if (!lib) return "";
    std::string p = std::filesystem::path(lib).parent_path() / "ztnid";
    return access(p.c_str(), X_OK) == 0 ? p : "";
}

/* Starts ztnid with args; its standard input is /dev/null and its output and errors go
** to the files named (/dev/null too when empty). */
static pid_t Spawn(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath) {
    std::vector<std::string> argv{ZtnidPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t pid = fork();
    if (pid == 0) {
        auto target = [](const std::string& p) { return p.empty() ? std::string("/dev/null") : p; };
        int in = open("/dev/null", O_RDONLY);
        int out = open(target(outPath).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(target(errPath).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> cargs;
        for (std::string& a : argv) cargs.push_back(a.data());
        cargs.push_back(nullptr);
        execv(cargs[0], cargs.data());
        _exit(127);
    }
    return pid;
}

Outcome RunZtnid(const std::vector<std::string>& args) {
    TempDir io;
    std::string outPath = io / "out", errPath = io / "err";
    int ws = 0;
    waitpid(Spawn(args, outPath, errPath), &ws, 0);
    Outcome o;
    o.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    o.out = ReadFile(outPath);
    o.err = ReadFile(errPath);
    return o;
}

int SpawnZtnid(const std::vector<std::string>& args) { return Spawn(args, "", ""); }

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::vector<std::string>> ReadCsvRows(const std::string& path, std::vector<std::string>* header) {
    ztnid::CsvSource src(path, ',', false);
    if (header) {
        header->clear();
        for (const auto& c : src.columns()) header->push_back(c.name);
    }
    std::vector<std::vector<std::string>> rows;
    while (src.next()) {
        std::vector<std::string> row;
        for (size_t i = 0; i < src.columns().size(); ++i)
            row.push_back(src.isNull(i) ? kNull : std::string(src.text(i)));
        rows.push_back(row);
    }
    return rows;
}

std::vector<Expected> ReferenceRun(const std::string& csvPath, const std::string& dest, const std::string& operands,
                                   WORKAREA* finalWorkArea) {
    ztnid::CsvSource src(csvPath, ',', false);
    std::vector<hostemu::Column> cols;
    int destIndex = -1;
    for (const auto& c : src.columns()) {
        if (c.name == dest) destIndex = int(cols.size());
        cols.push_back(hostemu::Column{Utf8ToUtf16(c.name), 2, 255, true});
    }
    hostemu::ColumnMap map(&KLOColMapWExit, Utf8ToUtf16(operands), cols, cols, destIndex);
    std::vector<Expected> out;
    while (src.next()) {
        for (size_t i = 0; i < cols.size(); ++i) {
            if (src.isNull(i))
                map.setNull(cols[i].name);
            else
                map.set(cols[i].name, Utf8ToUtf16(src.text(i)));
        }
        hostemu::RowOutcome r = map.row();
        out.push_back(Expected{r.rc, r.putNull, Utf16ToUtf8(r.put)});
    }
    map.end();
    if (finalWorkArea) *finalWorkArea = map.workArea();
    return out;
}

std::vector<std::vector<std::string>> Query(const std::string& db, const std::string& sql) {
    sqlite3* h = nullptr;
    sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    std::vector<std::vector<std::string>> rows;
    if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* t = sqlite3_column_text(st, i);
                row.push_back(t ? std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_column_bytes(st, i)))
                                : kNull);
            }
            rows.push_back(row);
        }
    } else {
        rows.push_back({std::string("error: ") + sqlite3_errmsg(h)});
    }
    sqlite3_finalize(st);
    sqlite3_close(h);
    return rows;
}

void Exec(const std::string& db, const std::string& sql) {
    sqlite3* h = nullptr;
    sqlite3_open(db.c_str(), &h);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(h, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(h);
}

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::vector<std::string> Debris(const std::string& dir) {
    std::vector<std::string> left;
    for (const auto& f : std::filesystem::directory_iterator(dir))
        if (f.path().filename().string().find(".ztnid-") != std::string::npos) left.push_back(f.path().string());
    return left;
}

std::string SamplePath() {
    return (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "samples" / "people.csv")
        .string();
}

} // namespace ztnid_test
#endif
