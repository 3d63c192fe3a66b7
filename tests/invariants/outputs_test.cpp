/* outputs_test.cpp - every value written is valid (the exit's validation accepts it), and a
** mask is the same in another column and process (this program again, with --zt-out=FILE). */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>

#include "exit/random/random.h"
#include "host/emul/utf.h"
#include "support/lean_host.h"

namespace {

using leanhost::Country;
using leanhost::LeanHost;
using Check = std::function<void(const std::u16string& value, const std::string& what)>;

uint32_t g_seed = 1;
uint32_t Fixed() { return g_seed = g_seed * 1103515245u + 12345u; }

std::vector<std::u16string> Formats(const Country& c) {
    std::vector<std::u16string> f = leanhost::CountryFormats(c);
    f.insert(f.begin(), u""); /* no format */
    return f;
}

/* Valid sources: the random method's values under each format, from a fixed random source. */
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

/* Every source, format, validate and destination length as "format extra source length -> rc
** value" lines, each value shown to check; other: other names, a switch column and type. */
std::vector<std::string> MaskAll(const Country& c, bool other, const Check& check = {}) {
    std::vector<std::u16string> sources = Sources(c);
    std::vector<std::string> out;
    for (const std::u16string& f : Formats(c)) {
        for (int32_t destLength : {c.minLength, 255}) {
            for (const char16_t* extra : {u"", u"validate=y"}) {
                LeanHost::Columns cols{255, 1, destLength};
                if (other) cols = {255, 30, destLength, false, false, true, u"SRC", u"Masked"};
                std::u16string ops = leanhost::Operands(c, u"mask", f, extra);
                if (other) ops.replace(0, 10, u"switch=CTRY,source=src");
                LeanHost h(ops, cols);
                h.setSwitch(c.code);
                for (const std::u16string& s : sources) {
                    h.setValue(s);
                    int16_t rc = h.row();
                    std::u16string put = rc == EXIT_DONE ? h.putString() : u"";
                    out.push_back(Utf16ToUtf8(f + u" " + extra + u" " + s) + " " +
                                  std::to_string(destLength) + " -> " + std::to_string(rc) + " " +
                                  Utf16ToUtf8(put));
                    if (check) check(put, out.back());
                }
                h.end();
            }
        }
    }
    return out;
}

TEST(Outputs, ValidAndTheSameInEveryColumnAndProcess) {
    std::vector<std::string> here;
    for (const Country& c : leanhost::Countries()) {
        if (!leanhost::CountryAvailable(c)) continue;
        LeanHost validator(leanhost::Operands(c, u"mask", u"", u"validate=y"), {255, 1, 255});
        std::vector<std::string> failures;
        size_t checked = 0;
        Check check = [&](const std::u16string& v, const std::string& what) {
            validator.setValue(v);
            ++checked;
            if (validator.row() != EXIT_DONE) failures.push_back(what);
        };
        for (const std::u16string& s : Sources(c)) check(s, "source " + Utf16ToUtf8(s));
        for (const std::u16string& f : Formats(c)) {
            for (int32_t destLength : {c.minLength, 255}) {
                std::vector<std::u16string> drawn = leanhost::DrawValid(c, 60, f, destLength);
                std::string where = " (" + Utf16ToUtf8(f) + " " + std::to_string(destLength) + ")";
                if (drawn.size() != 60) failures.push_back("random rows not written" + where);
                for (const std::u16string& v : drawn) check(v, "random " + Utf16ToUtf8(v) + where);
            }
        }
        for (const std::string& line : MaskAll(c, false, check)) here.push_back(line);
        validator.end();
        EXPECT_TRUE(failures.empty()) << leanhost::Name(c) << ": " << failures.size()
                                      << " refused, first: " << failures.front();
        EXPECT_GT(checked, 200u) << leanhost::Name(c);
    }
    if (here.empty()) GTEST_SKIP() << "no country initialises";
    std::string out = (std::filesystem::temp_directory_path() /
                       ("ztnid-out-" + std::to_string(std::random_device{}()))).string();
    std::string cmd = "\"" + testing::internal::GetArgvs().at(0) +
                      "\" --gtest_filter=OutputsChild.* --zt-out=\"" + out + "\"";
#if defined(_WIN32)
    cmd = "\"" + cmd + "\""; /* cmd.exe drops the outer pair of quotes */
#endif
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::vector<std::string> there;
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) there.push_back(line);
    in.close(); /* Windows removes no open file */
    std::filesystem::remove(out);
    auto diff = std::mismatch(here.begin(), here.end(), there.begin(), there.end());
    EXPECT_TRUE(diff.first == here.end() && diff.second == there.end())
        << "the child masked differently, first: " << (diff.first != here.end() ? *diff.first : "");
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
            for (const std::string& line : MaskAll(c, true)) f << line << "\n";
}

} // namespace
