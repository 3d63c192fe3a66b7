/*
** determinism_test.cpp - the mask method gives the same value for the same source value
** in every run, every column and every process.
**
** The process check starts this test program again with --zt-jobs=DIR: the child masks
** the jobs of DIR/in.txt and writes DIR/out.txt, which must equal what this process got.
** A mask that depended on anything of the process (addresses, the clock, a random
** seed taken at start) would differ.
*/
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/lean_host.h"

namespace {

using leanhost::Country;
using leanhost::LeanHost;

/* One column map and the values it masks. */
struct Job {
    std::u16string operands;
    std::vector<std::u16string> values;
};

/* Every mask format of every country that initialises, on valid numbers in several
** layouts (drawn through the exit), and on some values that are refused. */
std::vector<Job> MaskJobs() {
    std::vector<Job> jobs;
    for (const Country& c : leanhost::Countries()) {
        if (!leanhost::CountryAvailable(c)) continue;
        std::vector<std::u16string> formats = leanhost::CountryFormats(c);
        std::vector<std::u16string> values = leanhost::DrawValid(c, 12);
        for (const std::u16string& f : {formats.front(), formats[formats.size() / 2], formats.back()})
            for (const std::u16string& v : leanhost::DrawValid(c, 6, f)) values.push_back(v);
        values.push_back(u"?");
        values.push_back(u"   ");
        jobs.push_back({leanhost::Operands(c, u"mask"), values});
        jobs.push_back({leanhost::Operands(c, u"mask", u"", u"validate=y"), values});
        for (const std::u16string& f : formats) jobs.push_back({leanhost::Operands(c, u"mask", f), values});
    }
    return jobs;
}

/* The result of every value of every job: "rc value" lines. */
std::vector<std::u16string> RunJobs(const std::vector<Job>& jobs) {
    std::vector<std::u16string> out;
    for (const Job& j : jobs) {
        LeanHost h(j.operands);
        for (const std::u16string& v : j.values) {
            h.setValue(v);
            int16_t rc = h.row();
            out.push_back(char16_t(u'0' + rc) + std::u16string(u" ") + (rc == EXIT_DONE ? h.putString() : u""));
        }
        h.end();
    }
    return out;
}

/* Strings in files: their 16-bit units in hexadecimal, one string per line. */
std::string Hex(const std::u16string& s) {
    std::string out;
    char buf[8];
    for (char16_t ch : s) {
        std::snprintf(buf, sizeof buf, "%04x", unsigned(ch));
        out += buf;
    }
    return out;
}
std::u16string Unhex(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i + 4 <= s.size(); i += 4) out += char16_t(std::stoul(s.substr(i, 4), nullptr, 16));
    return out;
}

void WriteJobs(const std::filesystem::path& file, const std::vector<Job>& jobs) {
    std::ofstream f(file);
    for (const Job& j : jobs) {
        f << "O " << Hex(j.operands) << "\n";
        for (const std::u16string& v : j.values) f << "V " << Hex(v) << "\n";
    }
}

std::vector<Job> ReadJobs(const std::filesystem::path& file) {
    std::vector<Job> jobs;
    std::ifstream f(file);
    std::string line;
    while (std::getline(f, line)) {
        if (line.size() < 2) continue;
        if (line[0] == 'O') jobs.push_back({Unhex(line.substr(2)), {}});
        else if (!jobs.empty()) jobs.back().values.push_back(Unhex(line.substr(2)));
    }
    return jobs;
}

void WriteLines(const std::filesystem::path& file, const std::vector<std::u16string>& lines) {
    std::ofstream f(file);
    for (const std::u16string& l : lines) f << Hex(l) << "\n";
}

std::vector<std::u16string> ReadLines(const std::filesystem::path& file) {
    std::vector<std::u16string> lines;
    std::ifstream f(file);
    std::string line;
    while (std::getline(f, line)) lines.push_back(Unhex(line));
    return lines;
}

/* The value of --zt-jobs=DIR among the program's arguments; empty when absent. */
std::string JobsDirArgument() {
    for (const std::string& a : testing::internal::GetArgvs())
        if (a.rfind("--zt-jobs=", 0) == 0) return a.substr(10);
    return "";
}

std::string Quoted(const std::string& s) { return s.find(' ') == std::string::npos ? s : "\"" + s + "\""; }

TEST(Determinism, MaskIsTheSameInAnotherProcess) {
    std::vector<Job> jobs = MaskJobs();
    if (jobs.empty()) GTEST_SKIP() << "no country initialises";
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("ztnid-determinism-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    WriteJobs(dir / "in.txt", jobs);

    std::string cmd = Quoted(testing::internal::GetArgvs().at(0)) +
                      " --gtest_filter=DeterminismChild.MaskJobs --zt-jobs=" + Quoted(dir.string()) + " > " +
                      Quoted((dir / "child.txt").string()) + " 2>&1";
#if defined(_WIN32)
    cmd = "\"" + cmd + "\""; /* cmd.exe drops the outer pair of quotes */
#endif
    int rc = std::system(cmd.c_str());
    std::ifstream childLog(dir / "child.txt");
    std::stringstream childOutput;
    childOutput << childLog.rdbuf();
    ASSERT_EQ(rc, 0) << cmd << "\n" << childOutput.str();

    std::vector<std::u16string> here = RunJobs(jobs), there = ReadLines(dir / "out.txt");
    ASSERT_EQ(here.size(), there.size()) << childOutput.str();
    size_t differ = 0;
    for (size_t i = 0; i < here.size(); ++i) differ += here[i] != there[i];
    EXPECT_EQ(differ, 0u) << "of " << here.size() << " rows";
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

/* The child's half of the test above; skipped when run on its own. */
TEST(DeterminismChild, MaskJobs) {
    std::string dir = JobsDirArgument();
    if (dir.empty()) GTEST_SKIP() << "runs as the child of Determinism.MaskIsTheSameInAnotherProcess";
    namespace fs = std::filesystem;
    std::vector<Job> jobs = ReadJobs(fs::path(dir) / "in.txt");
    ASSERT_FALSE(jobs.empty());
    WriteLines(fs::path(dir) / "out.txt", RunJobs(jobs));
}

/* Within one process: another run of the column, and another column (other names, a
** switch column, a wider destination of another string type) give the same values. */
TEST(Determinism, MaskIsTheSameInEveryRunAndColumn) {
    int covered = 0;
    for (const Country& c : leanhost::Countries()) {
        if (!leanhost::CountryAvailable(c)) continue;
        ++covered;
        std::vector<std::u16string> values = leanhost::DrawValid(c, 30);
        std::vector<std::u16string> formats = leanhost::CountryFormats(c);
        for (const std::u16string& f : {std::u16string(), formats.front(), formats.back()}) {
            std::vector<std::u16string> first;
            for (int run = 0; run < 3; ++run) {
                LeanHost::Columns cols;
                const char16_t* src = u"SOURCE_NID";
                const char16_t* dst = u"Masked";
                if (run == 2) {
                    cols.srcName = src;
                    cols.destName = dst;
                    cols.withSwitchColumn = true;
                    cols.destType = 30;
                    cols.destLength = 255;
                }
                std::u16string ops = run == 2 ? u"switch=CTRY,method=mask,source=source_nid" : leanhost::Operands(c, u"mask");
                if (run == 2 && !f.empty()) ops += u",format=(" + std::u16string(c.keyword) + u"=" + f + u")";
                if (run != 2 && !f.empty()) ops = leanhost::Operands(c, u"mask", f);
                LeanHost h(ops, cols);
                h.setSwitch(c.code);
                std::vector<std::u16string> got;
                for (const std::u16string& v : values) {
                    h.setValue(v);
                    EXPECT_EQ(h.row(), EXIT_DONE);
                    got.push_back(h.putString());
                }
                h.end();
                if (run == 0) first = got;
                else EXPECT_EQ(got, first) << leanhost::Name(c) << " run " << run;
            }
        }
    }
    if (covered == 0) GTEST_SKIP() << "no country initialises";
}

} // namespace
