/*
** determinism_test.cpp - the mask method gives the same value for the same source value
** in every run, every column and every process.
**
** The test starts this program again with --zt-out=FILE: the child masks the same values
** (drawn with a fixed random source, the masks then run on the system's) in another
** column and writes what it got, which must equal what this process got.  A mask that
** depended on anything of the process (addresses, the clock, a seed) would differ.
*/
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "exit/random/random.h"
#include "host/emul/utf.h"
#include "support/lean_host.h"

namespace {

using leanhost::Country;
using leanhost::LeanHost;

uint32_t g_seed = 1;
uint32_t Fixed() { return g_seed = g_seed * 1103515245u + 12345u; }

/* "rc value" of every mask format (and none, and validate) of every country on valid
** numbers in several layouts and refused values.  other: another column (other names, a
** switch column, a wider destination of another string type). */
std::vector<std::string> MaskAll(bool other) {
    std::vector<std::string> out;
    for (const Country& c : leanhost::Countries()) {
        if (!leanhost::CountryAvailable(c)) continue;
        std::vector<std::u16string> formats = leanhost::CountryFormats(c), values;
        g_seed = 1;
        RandomSourceFn old = SetRandomSource(&Fixed);
        for (const std::u16string& f : {std::u16string(), formats.front(), formats.back()})
            for (const std::u16string& v : leanhost::DrawValid(c, 12, f)) values.push_back(v);
        SetRandomSource(old);
        values.insert(values.end(), {u"?", u"   "});
        formats.insert(formats.begin(), {u"", u""});
        for (size_t i = 0; i < formats.size(); ++i) {
            const char16_t* extra = i == 1 ? u"validate=y" : u"";
            LeanHost::Columns cols;
            if (other) cols = {1, 20, 30, 255, false, false, true, u"SOURCE_NID", u"Masked"};
            std::u16string ops = leanhost::Operands(c, u"mask", formats[i], extra);
            if (other) ops.replace(0, 10, u"switch=CTRY,source=source_nid");
            LeanHost h(ops, cols);
            h.setSwitch(c.code);
            for (const std::u16string& v : values) {
                h.setValue(v);
                int16_t rc = h.row();
                out.push_back(std::to_string(rc) + " " +
                              (rc == EXIT_DONE ? Utf16ToUtf8(h.putString()) : ""));
            }
            h.end();
        }
    }
    return out;
}

TEST(Determinism, MaskIsTheSameInEveryRunColumnAndProcess) {
    std::vector<std::string> first = MaskAll(false);
    if (first.empty()) GTEST_SKIP() << "no country initialises";
    EXPECT_EQ(MaskAll(false), first);
    namespace fs = std::filesystem;
    fs::path out = fs::temp_directory_path() / ("ztnid-det-" + std::to_string(std::random_device{}()));
    std::string cmd = "\"" + testing::internal::GetArgvs().at(0) +
                      "\" --gtest_filter=DeterminismChild.* --zt-out=\"" + out.string() + "\"";
#if defined(_WIN32)
    cmd = "\"" + cmd + "\""; /* cmd.exe drops the outer pair of quotes */
#endif
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream in(out);
    std::vector<std::string> there;
    for (std::string line; std::getline(in, line);) there.push_back(line);
    in.close();
    fs::remove(out);
    ASSERT_EQ(there.size(), first.size());
    size_t differ = 0;
    for (size_t i = 0; i < first.size(); ++i) differ += first[i] != there[i];
    EXPECT_EQ(differ, 0u) << "of " << first.size() << " rows";
}

/* The child's half of the test above; skipped when run on its own. */
TEST(DeterminismChild, MaskAll) {
    std::string out;
    for (const std::string& a : testing::internal::GetArgvs())
        if (a.rfind("--zt-out=", 0) == 0) out = a.substr(9);
    if (out.empty()) GTEST_SKIP() << "runs as the child of Determinism";
    std::ofstream f(out);
    for (const std::string& line : MaskAll(true)) f << line << "\n";
}

} // namespace
