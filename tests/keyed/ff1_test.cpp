#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keyed/ff1.h"

static std::string Bytes(const char* hex) {
    std::string s;
    for (; hex[0] && hex[1]; hex += 2) s += char(std::stoi(std::string(hex, 2), nullptr, 16));
    return s;
}

/* The nine FF1 samples of the standard (AES-128, -192 and -256, radix 10 and 36); bad parameters. */
TEST(Ff1, NistSamples) {
    const char* k128 = "2B7E151628AED2A6ABF7158809CF4F3C";
    const char* k192 = "2B7E151628AED2A6ABF7158809CF4F3CEF4359D8D580AA4F";
    const char* k256 = "2B7E151628AED2A6ABF7158809CF4F3CEF4359D8D580AA4F7F036D6F04FC6A94";
    const char* t10 = "39383736353433323130";
    const char* t11 = "3737373770717273373737";
    const char* p10 = "0123456789";
    const char* p36 = "0123456789abcdefghi";
    struct { const char *key, *tweak; uint32_t radix; const char *plain, *cipher; } rows[] = {
        {k128, "", 10, p10, "2433477484"},  {k128, t10, 10, p10, "6124200773"}, {k128, t11, 36, p36, "a9tv40mll9kdu509eum"},
        {k192, "", 10, p10, "2830668132"},  {k192, t10, 10, p10, "2496655549"}, {k192, t11, 36, p36, "xbj3kv35jrawxv32ysr"},
        {k256, "", 10, p10, "6657667009"},  {k256, t10, 10, p10, "1001623463"}, {k256, t11, 36, p36, "xs8a0azh2avyalyzuwd"},
    };
    const std::string digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (const auto& r : rows) {
        std::string key = Bytes(r.key), tweak = Bytes(r.tweak), plain = r.plain, got = plain, again = plain;
        FF1KEY k;
        FF1DOMAIN dom;
        ASSERT_TRUE(FF1OpenKey(&k, reinterpret_cast<const uint8_t*>(key.data()), key.size()));
        ASSERT_TRUE(FF1SetDomain(&dom, &k, r.radix, int(plain.size()), reinterpret_cast<const uint8_t*>(tweak.data()),
                                 tweak.size(), false));
        uint16_t in[32], out[32], back[32];
        for (size_t i = 0; i < plain.size(); ++i) in[i] = uint16_t(digits.find(plain[i]));
        FF1Numerals(&dom, in, out, false);
        FF1Numerals(&dom, out, back, true);
        for (size_t i = 0; i < plain.size(); ++i) got[i] = digits[out[i]], again[i] = digits[back[i]];
        EXPECT_EQ(got + " " + again, std::string(r.cipher) + " " + plain) << r.key << " " << r.tweak;
        FF1FreeDomain(&dom);
        FF1CloseKey(&k);
    }
    const uint8_t key[32] = {};
    FF1KEY k;
    EXPECT_FALSE(FF1OpenKey(&k, key, 20));
    ASSERT_TRUE(FF1OpenKey(&k, key, 32));
    FF1DOMAIN dom;
    EXPECT_FALSE(FF1SetDomain(&dom, &k, 1, 10, nullptr, 0, false));
    EXPECT_FALSE(FF1SetDomain(&dom, &k, 65537, 4, nullptr, 0, false));
    EXPECT_FALSE(FF1SetDomain(&dom, &k, 10, 1, nullptr, 0, false));
    EXPECT_FALSE(FF1SetDomain(&dom, &k, 10, 40, nullptr, 0, false)); /* a half of 10^20 */
    EXPECT_TRUE(FF1SetDomain(&dom, &k, 65536, 2, nullptr, 0, false));
    FF1FreeDomain(&dom);
    FF1CloseKey(&k);
}

/* The table of round values gives what the rounds compute (over the Spanish numbers: halves
** of 3 and 4 digits), and the permutation of a whole domain of 10^6 is one to one. */
TEST(Ff1, TableAgreesWithTheRoundsAndPermutesAWholeDomain) {
    const uint8_t key[16] = {7};
    FF1KEY k;
    FF1DOMAIN es, small;
    ASSERT_TRUE(FF1OpenKey(&k, key, sizeof key));
    ASSERT_TRUE(FF1SetDomain(&es, &k, 10, 7, reinterpret_cast<const uint8_t*>("ES"), 2, true));
    ASSERT_TRUE(FF1SetDomain(&small, &k, 10, 6, nullptr, 0, true));
    ASSERT_TRUE(es.table && small.table);
    FF1DOMAIN computed = es;
    computed.table = nullptr;
    int bad = 0;
    for (uint64_t x = 0; x < 10000000; x += 97) {
        uint64_t y = FF1Encrypt(&es, x);
        bad += y != FF1Encrypt(&computed, x) || FF1Decrypt(&computed, y) != x;
    }
    std::vector<bool> seen(1000000);
    for (uint64_t x = 0; x < seen.size(); ++x) {
        uint64_t y = FF1Encrypt(&small, x);
        bad += y >= seen.size() || seen[y];
        if (y < seen.size()) seen[y] = true;
    }
    EXPECT_EQ(bad, 0);
    FF1FreeDomain(&es);
    FF1FreeDomain(&small);
    FF1CloseKey(&k);
}
