/*
** key_text.cpp - reading a key: from a file or an environment variable, as hexadecimal
** digits or base64.  Every copy of the key text is wiped before returning.
*/
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "keyed/keyed.h"

/* Formats err and returns false. */
template <typename... A>
static bool Fail(char* err, const char* fmt, A... a) {
    std::snprintf(err, KEYED_ERR_CHARS, fmt, a...);
    return false;
}

static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

static bool AllHex(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (OPENSSL_hexchar2int(static_cast<unsigned char>(s[i])) < 0) return false;
    return true;
}

static bool AesLength(size_t n) { return n == 16 || n == 24 || n == 32; }

/* Base64 of 16, 24 or 32 bytes into key; false when it is not base64 of that many. */
static bool DecodeBase64(const char* s, size_t n, KEYEDKEY* key) {
    unsigned char buf[KEYED_KEY_MAX_BYTES + 3];
    if (n % 4 != 0 || n / 4 * 3 > sizeof buf) return false;
    int got = EVP_DecodeBlock(buf, reinterpret_cast<const unsigned char*>(s), int(n));
    size_t pad = (n >= 1 && s[n - 1] == '=') + (n >= 2 && s[n - 2] == '=');
    bool ok = got >= 0 && AesLength(size_t(got) - pad);
    if (ok) {
        key->Length = size_t(got) - pad;
        std::memcpy(key->Bytes, buf, key->Length);
    }
    OPENSSL_cleanse(buf, sizeof buf);
    return ok;
}

bool KeyedDecodeKey(const char* text, size_t len, KEYEDKEY* key, char* err) {
    key->Length = 0;
    while (len && IsSpace(text[len - 1])) --len;
    while (len && IsSpace(*text)) ++text, --len;
    if (len == 0) return Fail(err, "%s", "the key is empty");

    if (AllHex(text, len) && AesLength(len / 2) && len % 2 == 0) {
        char hex[2 * KEYED_KEY_MAX_BYTES + 1];
        std::memcpy(hex, text, len);
        hex[len] = 0;
        size_t n = 0;
        bool ok = OPENSSL_hexstr2buf_ex(key->Bytes, sizeof key->Bytes, &n, hex, '\0') == 1;
        OPENSSL_cleanse(hex, sizeof hex);
        key->Length = ok ? n : 0;
        if (ok) return true;
    }
    if (DecodeBase64(text, len, key)) return true;
    if (AllHex(text, len))
        return Fail(err, "the key has %zu hexadecimal digits; AES takes 32, 48 or 64", len);
    return Fail(err, "%s", "the key is neither 32, 48 or 64 hexadecimal digits nor base64 of 16, 24 or 32 bytes");
}

bool KeyedReadKeyFile(const char* path, KEYEDKEY* key, char* err) {
    key->Length = 0;
    FILE* f = std::fopen(path, "rb");
    if (!f) return Fail(err, "cannot read the key file %s: %s", path, std::strerror(errno));
    /* Unbuffered: fread fills text directly, so no stdio buffer keeps a copy of the key. */
    std::setvbuf(f, nullptr, _IONBF, 0);
    char text[KEYED_KEY_TEXT_MAX + 1];
    size_t n = std::fread(text, 1, sizeof text, f);
    bool readError = std::ferror(f) != 0;
    std::fclose(f);
    bool ok;
    if (readError) ok = Fail(err, "cannot read the key file %s", path);
    else if (n > KEYED_KEY_TEXT_MAX) ok = Fail(err, "the key file %s holds more than %d bytes", path, int(KEYED_KEY_TEXT_MAX));
    else ok = KeyedDecodeKey(text, n, key, err);
    OPENSSL_cleanse(text, sizeof text);
    return ok;
}

bool KeyedReadKeyEnv(const char* name, KEYEDKEY* key, char* err) {
    key->Length = 0;
    const char* v = std::getenv(name);
    if (!v) return Fail(err, "the environment variable %s that should hold the key is not set", name);
    size_t n = std::strlen(v);
    if (n > KEYED_KEY_TEXT_MAX) return Fail(err, "the environment variable %s holds more than %d bytes", name, int(KEYED_KEY_TEXT_MAX));
    return KeyedDecodeKey(v, n, key, err);
}

void KeyedWipeKey(KEYEDKEY* key) {
    OPENSSL_cleanse(key->Bytes, sizeof key->Bytes);
    key->Length = 0;
}
