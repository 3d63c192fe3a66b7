/*
** keyed_test.cpp - keyed columns of the ztnid program: --keyed, --key-file, --key-env and
** unmask, compared with the keyed library itself.
*/
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exit/exit_internal.h"
#include "host/emul/utf.h"
#include "keyed/keyed.h"
#include "ztnid_test_util.h"

using namespace ztnid_test;

namespace {

class ZtnidKeyed : public ZtnidProgramTest {
protected:
    void SetUp() override {
        ZtnidProgramTest::SetUp();
        WriteFile(dir / "nid.key", std::string(kKey) + "\n");
    }
    static constexpr const char* kKey = "8f0c3ad2b71e4c559a0e6d2f41b7c3e98f0c3ad2b71e4c559a0e6d2f41b7c3e9";
};

/* What the library gives for a value of a country code: the result, the value itself
** for a blank one, NULL for a refusal. */
std::string LibraryAnswer(KEYED* k, bool unmask, const std::string& country, const std::string& value) {
    if (value == kNull) return kNull;
    std::u16string v = Utf8ToUtf16(value), c = Utf8ToUtf16(country);
    char16_t out[KEYED_OUT_CHARS], msg[MSG_BUF_CHARS];
    int32_t n = 0;
    uint16_t bit = CountryOfCode(c.c_str());
    int32_t rc = unmask ? KeyedUnmask(k, bit, v.data(), int32_t(v.size()), out, &n, msg)
                        : KeyedMask(k, bit, v.data(), int32_t(v.size()), out, &n, msg);
    return rc == RC_OK ? Utf16ToUtf8(std::u16string(out, size_t(n))) : rc == RC_BLANK ? value : kNull;
}

std::string Compact(std::string s) {
    std::erase_if(s, [](char c) { return c == ' ' || c == '-' || c == '.'; });
    return s;
}

TEST_F(ZtnidKeyed, MasksAsTheLibraryOnThreadsAndUnmaskRestores) {
    const std::string map = "nid=switch=country,format=(FR=15X,UK=2X-6X-1C)";
    Outcome o = RunZtnid({"mask", SamplePath(), "-o", dir / "masked.csv", "-j", "2", "--map", map, "--keyed",
                          "nid=hr", "--key-file", dir / "nid.key"});
    EXPECT_EQ(o.status, 1) << o.err; /* the sample holds invalid numbers */
    setenv("ZT_TEST_NID_KEY", kKey, 1);
    Outcome back = RunZtnid({"unmask", dir / "masked.csv", "-o", dir / "back.csv", "--map", map, "--keyed", "nid=hr",
                             "--key-env", "ZT_TEST_NID_KEY"});
    EXPECT_EQ(back.status, 0) << back.err;

    KEYEDKEY key;
    char err[KEYED_ERR_CHARS];
    ASSERT_TRUE(KeyedDecodeKey(kKey, std::strlen(kKey), &key, err));
    KEYED* k = KeyedOpen(&key, u"format=(FR=15X,UK=2X-6X-1C)", "hr", 2, err);
    ASSERT_NE(k, nullptr) << err;
    std::vector<std::string> header;
    auto in = ReadCsvRows(SamplePath(), &header), masked = ReadCsvRows(dir / "masked.csv"),
         restored = ReadCsvRows(dir / "back.csv");
    ASSERT_EQ(masked.size(), in.size());
    ASSERT_EQ(restored.size(), in.size());
    const size_t country = 4, nid = 5;
    long changed = 0;
    for (size_t r = 0; r < in.size(); ++r) {
        std::string want = LibraryAnswer(k, false, in[r][country], in[r][nid]);
        EXPECT_EQ(masked[r][nid], want) << "row " << r + 1 << ": " << in[r][nid];
        /* The format's layout, the same number. */
        EXPECT_EQ(restored[r][nid], LibraryAnswer(k, true, in[r][country], want)) << "row " << r + 1;
        EXPECT_EQ(Compact(restored[r][nid]), want == kNull ? kNull : Compact(in[r][nid])) << "row " << r + 1;
        changed += want != kNull && want != in[r][nid];
        for (size_t c = 0; c < header.size(); ++c) {
            if (c == nid) continue;
            EXPECT_EQ(masked[r][c], in[r][c]);
        }
    }
    EXPECT_GT(changed, 300);
    KeyedClose(k);
    KeyedWipeKey(&key);
}

TEST_F(ZtnidKeyed, ScopesGiveUnrelatedResults) {
    for (const char* scope : {"nid=hr", "nid=crm"})
        RunZtnid({"mask", SamplePath(), "-o", dir / (std::string(scope) + ".csv"), "--map", "nid=switch=country",
                  "--keyed", scope, "--key-file", dir / "nid.key"});
    auto a = ReadCsvRows(dir / "nid=hr.csv"), b = ReadCsvRows(dir / "nid=crm.csv");
    ASSERT_EQ(a.size(), b.size());
    long same = 0, values = 0;
    for (size_t r = 0; r < a.size(); ++r)
        if (a[r][5] != kNull && !a[r][5].empty() && a[r][5].find_first_not_of(' ') != std::string::npos)
            ++values, same += a[r][5] == b[r][5];
    EXPECT_GT(values, 300);
    EXPECT_LE(same, 1);
}

/* A missing, short or malformed key, or a format the keyed mask cannot use, stops the
** run before any row: status 2, a clear message, no output. */
TEST_F(ZtnidKeyed, RefusesBeforeAnyRow) {
    WriteFile(dir / "short.key", "00112233445566778899aabbccddee\n");
    WriteFile(dir / "bad.key", "not a key\n");
    const std::string key = dir / "nid.key";
    struct { std::vector<std::string> args; const char* error; } rows[] = {
        {{"--keyed", "nid", "--key-file", dir / "none.key"}, "cannot read the key file"},
        {{"--keyed", "nid", "--key-file", dir / "short.key"}, "30 hexadecimal digits"},
        {{"--keyed", "nid", "--key-file", dir / "bad.key"}, "neither"},
        {{"--keyed", "nid", "--key-env", "ZT_TEST_NO_SUCH_KEY"}, "is not set"},
        {{"--keyed", "nid"}, "needs the key"},
        {{"--keyed", "nid", "--key-file", key, "--key-env", "X"}, "either --key-file"},
        {{"--key-file", key}, "need --keyed"},
        {{"--keyed", "other", "--key-file", key}, "no --map for that column"},
        {{"--keyed", "nid", "--key-file", key, "--map", "x=switch=country,format=(FR=5X2C8Y)"}, "format for FR"},
    };
    for (const auto& r : rows) {
        std::vector<std::string> args = {"mask", SamplePath(), "-o", dir / "out.csv", "--map", "nid=switch=country"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        if (r.args.size() > 4 && r.args[4] == "--map") args.push_back("--keyed"), args.push_back("x");
        Outcome o = RunZtnid(args);
        EXPECT_EQ(o.status, 2) << r.error;
        EXPECT_TRUE(Contains(o.err, r.error)) << o.err;
        EXPECT_FALSE(FileExists(dir / "out.csv")) << r.error;
    }
    Outcome o = RunZtnid({"unmask", SamplePath(), "-o", dir / "out.csv", "--key-file", key});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(Contains(o.err, "unmask needs the --map")) << o.err;
}

} // namespace
#endif
