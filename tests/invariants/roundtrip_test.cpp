/*
** roundtrip_test.cpp - every value the exit writes is a valid number of its country.
**
** For every country that initialises, every format value (and none), and destinations
** of the country's shortest accepted length and a wide one: the random method's values,
** and the mask method's values for valid sources in every layout, are read back by the
** exit with validate=y and method=mask, which must accept them.  A valid source must
** also be masked (not refused), with or without validate.
*/
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/lean_host.h"

namespace {

using leanhost::Country;
using leanhost::LeanHost;

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

/* The exit's own validation of a country: mask with validate, default format. */
class Validator {
public:
    explicit Validator(const Country& c) : host_(leanhost::Operands(c, u"mask", u"", u"validate=y"), Wide()) {}
    ~Validator() { host_.end(); }
    bool accepts(const std::u16string& v) {
        host_.setValue(v);
        return host_.row() == EXIT_DONE;
    }

private:
    static LeanHost::Columns Wide() {
        LeanHost::Columns cols;
        cols.srcLength = 255;
        cols.destLength = 255;
        return cols;
    }
    LeanHost host_;
};

struct Tally {
    size_t checked = 0, failed = 0;
    std::string firstFailure;
    void note(bool ok, const std::string& what) {
        ++checked;
        if (ok) return;
        if (failed++ == 0) firstFailure = what;
    }
};

/* Valid sources in every layout: the random method's values under each format. */
std::vector<std::u16string> Sources(const Country& c, const std::vector<std::u16string>& formats) {
    std::set<std::u16string> seen;
    std::vector<std::u16string> out;
    auto add = [&](const std::vector<std::u16string>& vs) {
        for (const std::u16string& v : vs)
            if (seen.insert(v).second) out.push_back(v);
    };
    add(leanhost::DrawValid(c, 100));
    for (const std::u16string& f : formats) add(leanhost::DrawValid(c, 5, f));
    return out;
}

TEST(RoundTrip, EveryOutputOfEveryCountryAndFormatIsValid) {
    int covered = 0;
    for (const Country& c : leanhost::Countries()) {
        if (!leanhost::CountryAvailable(c)) continue;
        ++covered;
        Validator valid(c);
        std::vector<std::u16string> formats = leanhost::CountryFormats(c);
        std::vector<std::u16string> sources = Sources(c, formats);
        Tally random, mask;
        size_t refused = 0;
        std::string firstRefusal;
        for (const std::u16string& source : sources) mask.note(valid.accepts(source), "source " + Narrow(source));

        std::vector<std::u16string> all = formats;
        all.insert(all.begin(), u"");
        for (const std::u16string& f : all) {
            for (int32_t destLength : {c.minLength, 255}) {
                std::string where = " (format " + Narrow(f) + ", destination " + std::to_string(destLength) + ")";
                std::vector<std::u16string> drawn = leanhost::DrawValid(c, 60, f, destLength);
                random.note(drawn.size() == 60, "random rows not written" + where);
                for (const std::u16string& v : drawn) random.note(valid.accepts(v), Narrow(v) + where);

                for (const char16_t* extra : {u"", u"validate=y"}) {
                    LeanHost::Columns cols;
                    cols.srcLength = 255;
                    cols.destLength = destLength;
                    LeanHost h(leanhost::Operands(c, u"mask", f, extra), cols);
                    for (const std::u16string& s : sources) {
                        h.setValue(s);
                        if (h.row() != EXIT_DONE) {
                            if (refused++ == 0) firstRefusal = Narrow(s) + where + " " + Narrow(extra);
                            continue;
                        }
                        mask.note(valid.accepts(h.putString()), Narrow(s) + " -> " + Narrow(h.putString()) + where);
                    }
                    h.end();
                }
            }
        }
        EXPECT_EQ(random.failed, 0u) << leanhost::Name(c) << ": " << random.failed << " of " << random.checked
                                     << " random values refused, first: " << random.firstFailure;
        EXPECT_EQ(mask.failed, 0u) << leanhost::Name(c) << ": " << mask.failed << " of " << mask.checked
                                   << " masked values refused, first: " << mask.firstFailure;
        EXPECT_EQ(refused, 0u) << leanhost::Name(c) << ": valid sources not masked, first: " << firstRefusal;
        EXPECT_GT(mask.checked, 200u) << leanhost::Name(c);
    }
    if (covered == 0) GTEST_SKIP() << "no country initialises";
}

} // namespace
