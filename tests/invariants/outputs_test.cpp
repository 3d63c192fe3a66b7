/*
** outputs_test.cpp - every value the exit writes is a valid number of its country, and the
** mask method gives the same value for the same source in every run, column and process.
**
** Valid sources in every layout are drawn with the random method from a fixed random
** source (the same in every process); the masks run on the system's.  Each value of the
** random method and each mask (every format and none, with and without validate, into the
** country's shortest destination and a wide one) must pass the exit's own validation.  The
** test starts this program again with --zt-out=FILE: the child masks the same sources in
** another column and writes what it got, which must equal what this process got.  A mask
** that depended on anything of the process (addresses, the clock, a seed) would differ.
*/
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "exit/random/random.h"
#include "host/emul/utf.h"
#include "support/lean_host.h"

namespace {

using leanhost::Country;
using leanhost::LeanHost;

uint32_t g_seed = 1;
uint32_t Fixed() { return g_seed = g_seed * 1103515245u + 12345u; }

/* The formats of a country, no format first. */
std::vector<std::u16string> Formats(const Country& c) {
    std::vector<std::u16string> f = leanhost::CountryFormats(c);
    f.insert(f.begin(), u"");
    return f;
}

/* Valid sources: the random method's values under each format, from the fixed source. */
std::vector<std::u16string> Sources(const Country& c) {
    g_seed = 1;
    RandomSourceFn old = SetRandomSource(&Fixed);
    std::vector<std::u16string> out;
    std::set<std::u16string> seen;
    for (const std::u16string& f : Formats(c))
        for (const std::u16string& v : leanhost::DrawValid(c, f.empty() ? 100 : 5, f))
            if (seen.insert(v).second) out.push_back(v);
    SetRandomSource(old);
    return out;
}

struct Masked {
    std::string what; /* "format destLength extra source" */
    int16_t rc;
    std::u16string value;
    std::string line() const { return what + " -> " + std::to_string(rc) + " " + Utf16ToUtf8(value); }
};

/* Every source masked under every format, with and without validate, into both
** destinations.  other: another column (other names, a switch column, a destination of
** another string type). */
std::vector<Masked> MaskAll(const Country& c, const std::vector<std::u16string>& sources,
                            bool other) {
    std::vector<Masked> out;
    for (const std::u16string& f : Formats(c)) {
        for (int32_t destLength : {c.minLength, 255}) {
            for (const char16_t* extra : {u"", u"validate=y"}) {
                LeanHost::Columns cols{255, 1, destLength};
                if (other) cols = {255, 30, destLength, false, false, true, u"SRC", u"Masked"};
                std::u16string ops = leanhost::Operands(c, u"mask", f, extra);
                if (other) ops.replace(0, 10, u"switch=CTRY,source=src");
                LeanHost h(ops, cols);
                h.setSwitch(c.code);
                std::string what = Utf16ToUtf8(f + u" " + extra + u" ") + std::to_string(destLength);
                for (const std::u16string& s : sources) {
                    h.setValue(s);
                    int16_t rc = h.row();
                    out.push_back({what + " " + Utf16ToUtf8(s), rc, rc == EXIT_DONE ? h.putString() : u""});
                }
                h.end();
            }
        }
    }
    return out;
}

std::vector<std::string> Lines(const std::vector<Masked>& masked) {
    std::vector<std::string> out;
    for (const Masked& m : masked) out.push_back(m.line());
    return out;
}

TEST(Outputs, ValidAndTheSameInEveryRunColumnAndProcess) {
    std::vector<std::string> here;
    LeanHost::Columns wide{255, 1, 255};
    for (const Country& c : leanhost::Countries()) {
        if (!leanhost::CountryAvailable(c)) continue;
        LeanHost validator(leanhost::Operands(c, u"mask", u"", u"validate=y"), wide);
        std::vector<std::string> failures; /* the first few */
        size_t checked = 0;
        auto check = [&](const std::u16string& v, const std::string& what) {
            validator.setValue(v);
            ++checked;
            if (validator.row() != EXIT_DONE && failures.size() < 5) failures.push_back(what);
        };
        std::vector<std::u16string> sources = Sources(c);
        for (const std::u16string& s : sources) check(s, "source " + Utf16ToUtf8(s));
        for (const std::u16string& f : Formats(c)) {
            for (int32_t destLength : {c.minLength, 255}) {
                std::vector<std::u16string> drawn = leanhost::DrawValid(c, 60, f, destLength);
                std::string where = Utf16ToUtf8(f) + " " + std::to_string(destLength);
                if (drawn.size() != 60) failures.push_back("random rows not written " + where);
                for (const std::u16string& v : drawn) check(v, "random " + Utf16ToUtf8(v) + where);
            }
        }
        std::vector<Masked> masked = MaskAll(c, sources, false);
        for (const Masked& m : masked) {
            if (m.rc != EXIT_DONE) failures.push_back("refused " + m.line());
            else check(m.value, m.line());
        }
        validator.end();
        EXPECT_TRUE(failures.empty()) << leanhost::Name(c) << ": " << failures.front();
        EXPECT_GT(checked, 200u) << leanhost::Name(c);
        std::vector<std::string> lines = Lines(masked);
        here.insert(here.end(), lines.begin(), lines.end());
    }
    if (here.empty()) GTEST_SKIP() << "no country initialises";
    namespace fs = std::filesystem;
    fs::path out = fs::temp_directory_path() / ("ztnid-out-" + std::to_string(std::random_device{}()));
    std::string cmd = "\"" + testing::internal::GetArgvs().at(0) +
                      "\" --gtest_filter=OutputsChild.* --zt-out=\"" + out.string() + "\"";
#if defined(_WIN32)
    cmd = "\"" + cmd + "\""; /* cmd.exe drops the outer pair of quotes */
#endif
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream in(out);
    std::vector<std::string> there;
    for (std::string line; std::getline(in, line);) there.push_back(line);
    in.close();
    fs::remove(out);
    ASSERT_EQ(there.size(), here.size());
    size_t differ = 0;
    for (size_t i = 0; i < here.size(); ++i) differ += here[i] != there[i];
    EXPECT_EQ(differ, 0u) << "of " << here.size() << " rows";
}

/* The child's half of the test above; skipped when run on its own. */
TEST(OutputsChild, MaskAll) {
    std::string out;
    for (const std::string& a : testing::internal::GetArgvs())
        if (a.rfind("--zt-out=", 0) == 0) out = a.substr(9);
    if (out.empty()) GTEST_SKIP() << "runs as the child of Outputs";
    std::ofstream f(out);
    for (const Country& c : leanhost::Countries())
        if (leanhost::CountryAvailable(c))
            for (const std::string& line : Lines(MaskAll(c, Sources(c), true))) f << line << "\n";
}

} // namespace
