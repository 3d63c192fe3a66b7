/*
** roundtrip_test.cpp - every value the exit writes is a valid number of its country.
**
** For every country that initialises, every format value (and none), and destinations of
** the country's shortest accepted length and a wide one, the random method's values and
** the mask method's values (with and without validate) for valid sources in every layout
** must pass the exit's own validation (validate=y, method=mask); no valid source is refused.
*/
#include <gtest/gtest.h>

#include <set>

#include "support/lean_host.h"

namespace {

using leanhost::Country;
using leanhost::LeanHost;

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

TEST(RoundTrip, EveryOutputOfEveryCountryAndFormatIsValid) {
    int covered = 0;
    LeanHost::Columns wide;
    wide.srcLength = wide.destLength = 255;
    for (const Country& c : leanhost::Countries()) {
        if (!leanhost::CountryAvailable(c)) continue;
        ++covered;
        LeanHost validator(leanhost::Operands(c, u"mask", u"", u"validate=y"), wide);
        std::vector<std::string> failures; /* the first few */
        size_t checked = 0;
        auto check = [&](const std::u16string& v, const std::string& what) {
            validator.setValue(v);
            ++checked;
            if (validator.row() != EXIT_DONE && failures.size() < 5) failures.push_back(what);
        };
        /* Valid sources in every layout: the random method's values under each format. */
        std::vector<std::u16string> formats = leanhost::CountryFormats(c), sources;
        formats.insert(formats.begin(), u"");
        std::set<std::u16string> seen;
        for (const std::u16string& f : formats)
            for (const std::u16string& v : leanhost::DrawValid(c, f.empty() ? 100 : 5, f))
                if (seen.insert(v).second) sources.push_back(v);
        for (const std::u16string& s : sources) check(s, "source " + Narrow(s));
        for (const std::u16string& f : formats) {
            for (int32_t destLength : {c.minLength, 255}) {
                std::string where = " (format " + Narrow(f) + ", " + std::to_string(destLength) + ")";
                std::vector<std::u16string> drawn = leanhost::DrawValid(c, 60, f, destLength);
                if (drawn.size() != 60) failures.push_back("random rows not written" + where);
                for (const std::u16string& v : drawn) check(v, "random " + Narrow(v) + where);
                for (const char16_t* extra : {u"", u"validate=y"}) {
                    LeanHost::Columns cols = wide;
                    cols.destLength = destLength;
                    LeanHost h(leanhost::Operands(c, u"mask", f, extra), cols);
                    for (const std::u16string& s : sources) {
                        h.setValue(s);
                        std::string what = Narrow(s) + where + Narrow(extra);
                        if (h.row() != EXIT_DONE) failures.push_back("refused " + what);
                        else check(h.putString(), Narrow(h.putString()) + " masked from " + what);
                    }
                    h.end();
                }
            }
        }
        validator.end();
        EXPECT_TRUE(failures.empty()) << leanhost::Name(c) << ": " << failures.front();
        EXPECT_GT(checked, 200u) << leanhost::Name(c);
    }
    if (covered == 0) GTEST_SKIP() << "no country initialises";
}

} // namespace
