/*
** ztnid_test_util.h - running the ztnid program and computing what the exit itself
** answers for the same rows, for the end-to-end tests.
*/
#ifndef ZTNID_TEST_UTIL_H
#define ZTNID_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "exit/host_records.h"

namespace ztnid_test {

/* A private folder, removed with its files at destruction. */
struct TempDir {
    TempDir();
    ~TempDir();
    std::string path;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

struct Outcome {
    int status = -1;
    std::string out, err;
};

/* The ztnid program beside the exit library of the test run; "" when not built. */
std::string ZtnidPath();

/* Runs ztnid with args (no shell); stdin from /dev/null. */
Outcome RunZtnid(const std::vector<std::string>& args);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

/* The rows of a CSV file (header excluded); NULL fields are "\x01NULL". */
extern const char* const kNull;
std::vector<std::vector<std::string>> ReadCsvRows(const std::string& path, std::vector<std::string>* header = nullptr);

/* What the exit (linked in, called through the host emulation) answers for one column
** of a CSV file: every source column VARCHAR(255) and nullable, the destination column
** replacing the source column of the same name. */
struct Expected {
    int rc;
    bool isNull;
    std::string value;
};
std::vector<Expected> ReferenceRun(const std::string& csvPath, const std::string& dest, const std::string& operands,
                                   WORKAREA* finalWorkArea = nullptr);

/* Rows of an SQLite query, every value as text (NULL as kNull); an error as one row. */
std::vector<std::vector<std::string>> Query(const std::string& db, const std::string& sql);
void Exec(const std::string& db, const std::string& sql);

bool Contains(const std::string& s, const std::string& part);

/* Starts ztnid with args, standard streams on /dev/null; returns its process id. */
int SpawnZtnid(const std::vector<std::string>& args);

/* Names of the files in a folder that a run left behind (temporary files). */
std::vector<std::string> Debris(const std::string& dir);

/* The repository's samples/people.csv. */
std::string SamplePath();

/* A test of the ztnid program: skipped when it is not built, the exit's log in a
** private folder. */
class ZtnidProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (ZtnidPath().empty()) GTEST_SKIP() << "ztnid is not built beside the exit";
        setenv("ZTNID_DRIVE_C", dir.path.c_str(), 1);
    }
    TempDir dir;
};

} // namespace ztnid_test

#endif
