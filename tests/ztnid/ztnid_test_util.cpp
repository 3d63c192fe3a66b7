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

Outcome RunZtnid(const std::vector<std::string>& args) {
    TempDir io;
    std::string outPath = io / "out", errPath = io / "err";
    std::vector<std::string> argv{ZtnidPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> cargs;
        for (std::string& a : argv) cargs.push_back(a.data());
        cargs.push_back(nullptr);
        execv(cargs[0], cargs.data());
        _exit(127);
    }
    int ws = 0;
    waitpid(pid, &ws, 0);
    Outcome o;
    o.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    o.out = ReadFile(outPath);
    o.err = ReadFile(errPath);
    return o;
}

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

std::string SamplePath() {
    return (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "samples" / "people.csv")
        .string();
}

} // namespace ztnid_test
#endif
