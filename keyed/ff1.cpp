/*
** ff1.cpp - FF1 over AES-ECB from libcrypto.
**
** The round function PRF(P || Q) is a CBC-MAC.  P (the parameters) and the tweak part of Q
** never change for a domain, so their MAC state is computed once; only the last block,
** which holds the round number and NUM(B), is enciphered per round.  The domains used
** here keep NUM(B) within 8 bytes, so that block is always the last of Q and y needs at
** most 12 bytes.
**
** Round i of enciphering feeds the half of v numerals (i even) or of u numerals (i odd)
** to the PRF and adds y modulo radix^u (i even) or radix^v (i odd); deciphering feeds the
** same halves to the same rounds.  So a table of y per round and half value serves both.
*/
#include "keyed/ff1.h"

#include <openssl/evp.h>

#include <openssl/crypto.h>

#include <cstdlib>
#include <cstring>

/* One AES block: out = AES(in). */
static void Cipher(const FF1KEY* k, const uint8_t* in, uint8_t* out) {
    int len = 0;
    EVP_EncryptUpdate(k->ctx, out, &len, in, FF1_BLOCK);
}

bool FF1OpenKey(FF1KEY* k, const uint8_t* key, size_t keyLen) {
    const EVP_CIPHER* cipher = keyLen == 16 ? EVP_aes_128_ecb()
                               : keyLen == 24 ? EVP_aes_192_ecb()
                               : keyLen == 32 ? EVP_aes_256_ecb()
                                              : nullptr;
    k->ctx = nullptr;
    if (!cipher) return false;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx) return false;
    if (EVP_EncryptInit_ex(ctx, cipher, nullptr, key, nullptr) != 1 || EVP_CIPHER_CTX_set_padding(ctx, 0) != 1) {
        EVP_CIPHER_CTX_free(ctx); /* the free wipes the key schedule */
        return false;
    }
    k->ctx = ctx;
    return true;
}

void FF1CloseKey(FF1KEY* k) {
    EVP_CIPHER_CTX_free(k->ctx);
    k->ctx = nullptr;
}

/* radix^e into *out; false when it reaches 2^64. */
static bool Power(uint32_t radix, int e, uint64_t* out) {
    unsigned __int128 p = 1;
    for (int i = 0; i < e; ++i) {
        p *= radix;
        if (p >> 64) return false;
    }
    *out = uint64_t(p);
    return true;
}

/* Bits needed for the numbers below m (m >= 2), i.e. ceil(log2 m). */
static int BitsBelow(uint64_t m) { return 64 - __builtin_clzll(m - 1); }

static void PutBigEndian(uint8_t* at, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8) at[i] = uint8_t(v);
}

static bool Tabulate(FF1DOMAIN* dom);

bool FF1SetDomain(FF1DOMAIN* dom, const FF1KEY* k, uint32_t radix, int n, const uint8_t* tweak, size_t tweakLen,
                  bool tabulate) {
    if (!k || !k->ctx || radix < 2 || radix > FF1_MAX_RADIX || n < 2 || tweakLen > 0xFFFFFFFFu) return false;
    dom->key = k;
    dom->radix = radix;
    dom->n = n;
    dom->u = n / 2;
    dom->v = n - dom->u;
    if (!Power(radix, dom->u, &dom->powU) || !Power(radix, dom->v, &dom->powV)) return false;
    dom->b = (BitsBelow(dom->powV) + 7) / 8;
    dom->d = 4 * ((dom->b + 3) / 4) + 4;

    /* P: the fixed header, the radix, 10 rounds, u mod 256, n and the tweak's length. */
    uint8_t p[FF1_BLOCK] = {1, 2, 1};
    PutBigEndian(p + 3, radix, 3);
    p[6] = 10;
    p[7] = uint8_t(dom->u % 256);
    PutBigEndian(p + 8, uint64_t(n), 4);
    PutBigEndian(p + 12, tweakLen, 4);
    Cipher(k, p, dom->state);

    /* Q = tweak, zero padding, round number, NUM(B): a multiple of 16 bytes.  Every block
    ** before the last holds only tweak and padding. */
    size_t pad = (16 - (tweakLen + size_t(dom->b) + 1) % 16) % 16;
    size_t fixed = tweakLen + pad;                  /* bytes before the round number */
    size_t lastAt = fixed + 1 + size_t(dom->b) - FF1_BLOCK;
    for (size_t at = 0; at < lastAt; at += FF1_BLOCK) {
        uint8_t blk[FF1_BLOCK];
        for (int i = 0; i < FF1_BLOCK; ++i) {
            size_t j = at + size_t(i);
            blk[i] = uint8_t((j < tweakLen ? tweak[j] : 0) ^ dom->state[i]);
        }
        Cipher(k, blk, dom->state);
    }
    std::memset(dom->head, 0, sizeof dom->head);
    for (size_t j = lastAt; j < fixed; ++j) dom->head[j - lastAt] = j < tweakLen ? tweak[j] : 0;
    dom->table = nullptr;
    if (!tabulate || 5 * (dom->powU + dom->powV) > FF1_TABLE_MAX) return true; /* computed per round */
    return Tabulate(dom);
}

void FF1FreeDomain(FF1DOMAIN* dom) {
    if (dom->table) {
        size_t n = dom->tableAt[FF1_ROUNDS - 1] + dom->powU;
        OPENSSL_cleanse(dom->table, n * sizeof(uint32_t));
        std::free(dom->table);
    }
    dom->table = nullptr;
}

/* The round block of round i with the half x, MAC state mixed in: its cipher is R. */
static void RoundBlock(const FF1DOMAIN* dom, int i, uint64_t x, uint8_t* blk) {
    std::memcpy(blk, dom->head, FF1_BLOCK);
    blk[FF1_BLOCK - 1 - dom->b] = uint8_t(i);
    PutBigEndian(blk + FF1_BLOCK - dom->b, x, dom->b);
    for (int j = 0; j < FF1_BLOCK; ++j) blk[j] ^= dom->state[j];
}

/* y (the first d bytes of R, d = 8 or 12 here) modulo m. */
static uint64_t Reduce(const FF1DOMAIN* dom, const uint8_t* r, uint64_t m) {
    uint64_t high;
    std::memcpy(&high, r, sizeof high);
    high = __builtin_bswap64(high);
    if (dom->d == 8) return high % m;
    unsigned __int128 y = high;
    for (int j = 8; j < dom->d; ++j) y = (y << 8) | r[j];
    return uint64_t(y % m);
}

/* y of round i with the half x as NUM(B), reduced modulo m. */
static uint64_t RoundValue(const FF1DOMAIN* dom, int i, uint64_t x, uint64_t m) {
    if (dom->table) return dom->table[dom->tableAt[i] + x];
    uint8_t blk[FF1_BLOCK], r[FF1_BLOCK];
    RoundBlock(dom, i, x, blk);
    Cipher(dom->key, blk, r);
    return Reduce(dom, r, m);
}

/* Fills the table of a small domain, enciphering a batch of round blocks per call: the
** blocks of a round differ only in their last b bytes. */
static bool Tabulate(FF1DOMAIN* dom) {
    constexpr int BATCH = 256;
    uint64_t total = 5 * (dom->powU + dom->powV);
    uint32_t* t = static_cast<uint32_t*>(std::malloc(size_t(total) * sizeof(uint32_t)));
    if (!t) return false;
    uint8_t in[BATCH * FF1_BLOCK], out[BATCH * FF1_BLOCK];
    uint32_t at = 0;
    for (int i = 0; i < FF1_ROUNDS; ++i) {
        uint64_t halves = (i % 2 == 0) ? dom->powV : dom->powU, m = (i % 2 == 0) ? dom->powU : dom->powV;
        uint8_t base[FF1_BLOCK];
        RoundBlock(dom, i, 0, base);
        dom->tableAt[i] = at;
        for (uint64_t x = 0; x < halves; x += BATCH) {
            int n = int(halves - x < uint64_t(BATCH) ? halves - x : uint64_t(BATCH)), len = 0;
            for (int j = 0; j < n; ++j) {
                uint8_t* blk = in + j * FF1_BLOCK;
                std::memcpy(blk, base, FF1_BLOCK);
                uint64_t v = x + uint64_t(j);
                for (int k = FF1_BLOCK - 1; v; --k, v >>= 8) blk[k] ^= uint8_t(v);
            }
            EVP_EncryptUpdate(dom->key->ctx, out, &len, in, n * FF1_BLOCK);
            for (int j = 0; j < n; ++j) t[at++] = uint32_t(Reduce(dom, out + j * FF1_BLOCK, m));
        }
    }
    OPENSSL_cleanse(out, sizeof out);
    dom->table = t;
    return true;
}

void FF1Halves(const FF1DOMAIN* dom, uint64_t* a, uint64_t* b, bool decipher) {
    uint64_t A = *a, B = *b;
    if (!decipher) {
        for (int i = 0; i < FF1_ROUNDS; ++i) {
            uint64_t m = (i % 2 == 0) ? dom->powU : dom->powV;
            uint64_t y = RoundValue(dom, i, B, m);
            uint64_t c = A + y; /* A, y < m: one subtraction brings the sum below m */
            if (c < A || c >= m) c -= m;
            A = B;
            B = c;
        }
    } else {
        for (int i = FF1_ROUNDS - 1; i >= 0; --i) {
            uint64_t m = (i % 2 == 0) ? dom->powU : dom->powV;
            uint64_t y = RoundValue(dom, i, A, m);
            uint64_t c = B >= y ? B - y : B + (m - y);
            B = A;
            A = c;
        }
    }
    *a = A;
    *b = B;
}

uint64_t FF1Encrypt(const FF1DOMAIN* dom, uint64_t x) {
    uint64_t a = x / dom->powV, b = x % dom->powV;
    FF1Halves(dom, &a, &b, false);
    return a * dom->powV + b;
}

uint64_t FF1Decrypt(const FF1DOMAIN* dom, uint64_t x) {
    uint64_t a = x / dom->powV, b = x % dom->powV;
    FF1Halves(dom, &a, &b, true);
    return a * dom->powV + b;
}

void FF1Numerals(const FF1DOMAIN* dom, const uint16_t* in, uint16_t* out, bool decipher) {
    uint64_t a = 0, b = 0;
    for (int i = 0; i < dom->u; ++i) a = a * dom->radix + in[i];
    for (int i = dom->u; i < dom->n; ++i) b = b * dom->radix + in[i];
    FF1Halves(dom, &a, &b, decipher);
    for (int i = dom->n - 1; i >= dom->u; --i, b /= dom->radix) out[i] = uint16_t(b % dom->radix);
    for (int i = dom->u - 1; i >= 0; --i, a /= dom->radix) out[i] = uint16_t(a % dom->radix);
}
