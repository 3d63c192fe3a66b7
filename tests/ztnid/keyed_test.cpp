/*
** keyed_test.cpp - keyed columns of the ztnid program (--keyed, --key-file, --key-env and
** unmask) compared with the keyed library itself.
*/
#if !defined(_WIN32)
#include <cstring>

#include "exit/exit_internal.h"
#include "keyed/keyed.h"
#include "ztnid_test_util.h"

using namespace ztnid_test;

namespace {

const char* const kKey = "8f0c3ad2b71e4c559a0e6d2f41b7c3e98f0c3ad2b71e4c559a0e6d2f41b7c3e9";

/* The library's answer for a value of a country code: the result, the value itself for
** a blank one, NULL for a refusal. */
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

class ZtnidKeyed : public ZtnidProgramTest {};

} // namespace

/* Masks as the library on two threads, unmask restores, and another scope gives
** unrelated results. */
TEST_F(ZtnidKeyed, MasksAsTheLibraryUnmaskRestoresAndScopesDiffer) {
    WriteFile(dir / "nid.key", std::string(kKey) + "\n");
    const std::string map = "nid=switch=country,format=(FR=15X,UK=2X-6X-1C)";
    Outcome o = Mask({SamplePath(), "-o", dir / "masked.csv", "-j", "2", "--map", map, "--keyed", "nid=hr",
                      "--key-file", dir / "nid.key"});
    EXPECT_EQ(o.status, 1) << o.err; /* the sample holds invalid numbers */
    setenv("ZT_TEST_NID_KEY", kKey, 1);
    Outcome back = RunZtnid({"unmask", dir / "masked.csv", "-o", dir / "back.csv", "--map", map, "--keyed", "nid=hr",
                             "--key-env", "ZT_TEST_NID_KEY"});
    EXPECT_EQ(back.status, 0) << back.err;
    Outcome crm = Mask({SamplePath(), "--map", map, "--keyed", "nid=crm", "--key-file", dir / "nid.key"});

    KEYEDKEY key;
    char err[KEYED_ERR_CHARS];
    ASSERT_TRUE(KeyedDecodeKey(kKey, std::strlen(kKey), &key, err));
    KEYED* k = KeyedOpen(&key, u"format=(FR=15X,UK=2X-6X-1C)", "hr", 2, err);
    ASSERT_NE(k, nullptr) << err;
    Rows in = CsvRows(SamplePath()), masked = CsvRows(dir / "masked.csv"), restored = CsvRows(dir / "back.csv");
    Rows other = CsvOf(crm.out);
    ASSERT_EQ(masked.size(), in.size());
    ASSERT_EQ(restored.size(), in.size());
    ASSERT_EQ(other.size(), in.size());
    const size_t country = 4, nid = 5;
    long changed = 0, same = 0;
    for (size_t r = 0; r < in.size(); ++r) {
        std::string want = LibraryAnswer(k, false, in[r][country], in[r][nid]);
        Rows::value_type row = in[r];
        row[nid] = want;
        EXPECT_EQ(masked[r], row) << "row " << r + 1;
        /* the format's layout, the same number */
        EXPECT_EQ(restored[r][nid], LibraryAnswer(k, true, in[r][country], want)) << "row " << r + 1;
        EXPECT_EQ(Compact(restored[r][nid]), want == kNull ? kNull : Compact(in[r][nid])) << "row " << r + 1;
        bool value = want != kNull && want.find_first_not_of(' ') != std::string::npos;
        changed += value && want != in[r][nid];
        same += value && other[r][nid] == want;
    }
    EXPECT_GT(changed, 300);
    EXPECT_LE(same, 1);
    KeyedClose(k);
    KeyedWipeKey(&key);
}
#endif
