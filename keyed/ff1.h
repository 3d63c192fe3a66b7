/*
** ff1.h - FF1 format-preserving encryption (Feistel, ten rounds, AES as the round function)
** over OpenSSL's libcrypto, for numbers of a fixed radix and length.
**
** One FF1KEY holds one AES context for the whole run.  An FF1DOMAIN fixes the radix, the
** length and the tweak, and keeps the CBC-MAC state of everything that is the same in
** every round (the parameter block and the tweak), so that a round costs one AES block.
** The halves of a value are held as integers: radix^ceil(n/2) must stay below 2^64.
** A small domain keeps every round value in a table built once (a few AES calls on many
** blocks at a time), so that enciphering costs ten lookups.  Nothing here allocates after
** FF1SetDomain.  A key or domain is used by one thread at a time.
*/
#ifndef ZT0NID_FF1_H
#define ZT0NID_FF1_H

#include <stddef.h>
#include <stdint.h>

typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;

enum {
    FF1_BLOCK = 16,
    FF1_MAX_RADIX = 65536,
    FF1_ROUNDS = 10,
    FF1_TABLE_MAX = 1 << 18       /* round values of a domain kept in a table, at most */
};

struct FF1KEY {
    EVP_CIPHER_CTX* ctx;          /* AES-ECB encryption, no padding */
};

struct FF1DOMAIN {
    const FF1KEY* key;
    uint32_t radix;
    int n, u, v;                  /* numerals, and of the two halves (u = n / 2) */
    int b, d;                     /* bytes of NUM(B) in a round block, bytes of y used */
    uint64_t powU, powV;          /* radix^u, radix^v */
    uint8_t state[FF1_BLOCK];     /* CBC-MAC after the parameter block and the tweak's whole blocks */
    uint8_t head[FF1_BLOCK];      /* the round block before its round number and NUM(B) */
    uint32_t* table;              /* NULL, or y mod radix^m of every round and half */
    uint32_t tableAt[FF1_ROUNDS]; /* where each round's values start in the table */
};

/* Sets up AES for a 16-, 24- or 32-byte key; false (nothing to close) on a bad length or
** when OpenSSL fails. */
bool FF1OpenKey(FF1KEY* k, const uint8_t* key, size_t keyLen);
void FF1CloseKey(FF1KEY* k);

/* Fixes radix (2..65536), length n (2 or more, radix^ceil(n/2) below 2^64) and the tweak;
** with tabulate, the round values go to a table when there are at most FF1_TABLE_MAX of
** them.  False when the parameters are out of range, AES fails or memory is short.
** FF1FreeDomain releases (and wipes) the table. */
bool FF1SetDomain(FF1DOMAIN* dom, const FF1KEY* k, uint32_t radix, int n, const uint8_t* tweak, size_t tweakLen,
                  bool tabulate);
void FF1FreeDomain(FF1DOMAIN* dom);

/* Enciphers (decipher false) or deciphers the halves in place: *a holds the first u
** numerals as a number below powU, *b the last v below powV. */
void FF1Halves(const FF1DOMAIN* dom, uint64_t* a, uint64_t* b, bool decipher);

/* A whole value below radix^n (which must be below 2^64). */
uint64_t FF1Encrypt(const FF1DOMAIN* dom, uint64_t x);
uint64_t FF1Decrypt(const FF1DOMAIN* dom, uint64_t x);

/* A numeral string of dom->n numerals, each below the radix, in and out (may overlap). */
void FF1Numerals(const FF1DOMAIN* dom, const uint16_t* in, uint16_t* out, bool decipher);

#endif
