/*
** keyed.h - keyed masking: a secret AES key decides a one-to-one mask of the valid numbers
** of each country, and only the holder of the key can reverse it.
**
** The format of a country (the same descriptors as the exit's format operand) says which
** fields are replaced and how the result is laid out.  The valid combinations of the
** replaced fields are numbered 0..N-1; the number is enciphered with FF1 (cycle walking
** until it falls below N), turned back into fields, and the check character is computed
** afresh.  Copied fields, and what the exit keeps (Spain's NIF or NIE kind, Italy's sex
** and substitution letters, the UK suffix), stay as they are.  The tweak is the country,
** the replaced fields of its format (not the layout) and an optional scope: the same key
** and scope give the same result in every table, whatever the layout.
**
** Values are checked as the exit checks them with validate=y, with its messages and
** result codes; every result passes the same check.  A KEYED object is for one thread.
*/
#ifndef ZT0NID_KEYED_H
#define ZT0NID_KEYED_H

#include <stddef.h>
#include <stdint.h>

#include "exit/host_records.h" /* COUNTRY_*, RC_*, MSG_BUF_CHARS */

struct KEYED;

enum {
    KEYED_KEY_MAX_BYTES = 32,
    KEYED_KEY_TEXT_MAX = 4096,    /* longest key file or variable read */
    KEYED_SCOPE_MAX = 256,        /* bytes of a scope */
    KEYED_OUT_CHARS = 24,         /* output buffer: the longest result (19) and a NUL */
    KEYED_ERR_CHARS = 160         /* error text of the functions below */
};

/* Raw key bytes (16, 24 or 32). */
struct KEYEDKEY {
    uint8_t Bytes[KEYED_KEY_MAX_BYTES];
    size_t Length;
};

/* Decodes key text: 32, 48 or 64 hexadecimal digits, or else base64 of 16, 24 or 32
** bytes; blanks and line ends around it are ignored.  True, or false with err filled. */
bool KeyedDecodeKey(const char* text, size_t len, KEYEDKEY* key, char* err);

/* Reads and decodes the key held in a file or in an environment variable. */
bool KeyedReadKeyFile(const char* path, KEYEDKEY* key, char* err);
bool KeyedReadKeyEnv(const char* name, KEYEDKEY* key, char* err);

/* Wipes the key bytes. */
void KeyedWipeKey(KEYEDKEY* key);

/* Opens a masker for the key, the operand string (only its format list is read; NULL or
** empty for the defaults) and the scope (scopeLen bytes, may be 0).  NULL with err filled
** when a format is not accepted or the operands cannot be read.  The key may be wiped
** once this returns. */
KEYED* KeyedOpen(const KEYEDKEY* key, const char16_t* operands, const char* scope, size_t scopeLen, char* err);
void KeyedClose(KEYED* k);

/* Masks (KeyedMask) or reverses (KeyedUnmask) one value of len characters of the country
** (COUNTRY_FR, COUNTRY_IT, COUNTRY_ES or COUNTRY_UK).  RC_OK: out (KEYED_OUT_CHARS) holds
** the result and *outLen its length.  RC_BLANK: the value is blank and is to be written
** unchanged.  Anything else refuses the value: the exit's result code for it, with its
** message in msg (MSG_BUF_CHARS); RC_NOTHING for a country that is not masked. */
int32_t KeyedMask(KEYED* k, uint16_t country, const char16_t* in, int32_t len, char16_t* out, int32_t* outLen,
                  char16_t* msg);
int32_t KeyedUnmask(KEYED* k, uint16_t country, const char16_t* in, int32_t len, char16_t* out, int32_t* outLen,
                    char16_t* msg);

/* The work area counter that the exit adds a refused value's code to ("InvalidPartCount"...),
** or NULL for a code that it does not count. */
const char* KeyedCounterName(int32_t rc);

/* The same counter as a member of the work area, or NULL. */
int32_t WORKAREA::*KeyedCounter(int32_t rc);

/* Values masked or reversed for a country since the open, FF1 calls they took (one more
** than the cycle-walking steps) and the most one value took. */
struct KEYEDSTATS {
    uint64_t Values, Rounds, MaxRounds;
};
void KeyedStats(const KEYED* k, uint16_t country, KEYEDSTATS* s);

#endif
