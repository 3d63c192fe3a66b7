/*
** sql_keyed.cpp - the keyed maskers of SQL functions.
*/
#include "sql/common/sql_keyed.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "exit/exit_internal.h"
#include "host/emul/french_lock.h"
#include "host/emul/utf.h"
#include "keyed/keyed.h"

namespace sqlhost {

namespace {

enum { MAX_MASKERS = 4, COUNTRY_CHARS = 3 };

/* One open masker and what it was opened for. */
struct Masker {
    KEYEDKEY key{};
    std::string operands, scope;
    KEYED* k = nullptr;
    ~Masker() {
        KeyedClose(k);
        KeyedWipeKey(&key);
    }
};

std::string_view View(Text t) { return t.isNull ? std::string_view() : std::string_view(t.data, t.size); }

} // namespace

struct KeyedSite {
    std::vector<std::unique_ptr<Masker>> maskers; /* most recently used first */
    char16_t value[VALUE_BUF_CHARS];
    char16_t out[KEYED_OUT_CHARS];
    char16_t msg[MSG_BUF_CHARS];
    std::string text;                            /* the last answer's text */

    Answer answer(Status status, std::string s) {
        text = std::move(s);
        return Answer{status, text.c_str(), text.size()};
    }

    /* The masker of a key, operands and scope, opened on first use; NULL with err. */
    KEYED* find(std::string_view key, std::string_view operands, std::string_view scope, char* err) {
        for (size_t i = 0; i < maskers.size(); ++i) {
            Masker& m = *maskers[i];
            if (m.key.Length != key.size() || std::memcmp(m.key.Bytes, key.data(), key.size()) != 0 ||
                m.operands != operands || m.scope != scope)
                continue;
            for (; i > 0; --i) maskers[i].swap(maskers[i - 1]);
            return maskers[0]->k;
        }
        auto m = std::make_unique<Masker>();
        if (key.size() > sizeof m->key.Bytes) {
            std::snprintf(err, KEYED_ERR_CHARS, "the key has %zu bytes; AES takes 16, 24 or 32", key.size());
            return nullptr;
        }
        std::memcpy(m->key.Bytes, key.data(), key.size());
        m->key.Length = key.size();
        m->operands = operands;
        m->scope = scope;
        m->k = KeyedOpen(&m->key, Utf8ToUtf16(operands).c_str(), scope.data(), scope.size(), err);
        if (!m->k) return nullptr;
        if (maskers.size() == MAX_MASKERS) maskers.pop_back();
        maskers.insert(maskers.begin(), std::move(m));
        return maskers[0]->k;
    }
};

KeyedSite* NewKeyedSite() noexcept { return new (std::nothrow) KeyedSite; }

void FreeKeyedSite(KeyedSite* site) noexcept { delete site; }

Answer RunKeyed(KeyedSite* site, bool unmask, Text value, Text country, Text key, Text operands, Text scope) noexcept {
    try {
        char err[KEYED_ERR_CHARS] = "";
        KEYED* k = site->find(View(key), View(operands), View(scope), err);
        if (!k) return site->answer(ANSWER_ERROR, err);
        if (value.isNull || country.isNull) return Answer{ANSWER_NULL, "", 0};
        char16_t code[COUNTRY_CHARS] = {};
        /* The first two characters name the country, as the exit reads a switch value. */
        size_t c = Utf8IntoUtf16(View(country).substr(0, COUNTRY_CHARS - 1), code, COUNTRY_CHARS);
        if (c == SIZE_MAX) return Answer{ANSWER_NULL, "", 0};
        size_t n = Utf8IntoUtf16(View(value), site->value, VALUE_BUF_CHARS);
        if (n == SIZE_MAX) return Answer{ANSWER_NULL, "", 0};
        int32_t outLen = 0;
        uint16_t bit = CountryOfCode(code);
        int32_t rc;
        {
            /* France's checks use the exit's scratch buffer, shared by every connection. */
            hostemu::FrenchRowLock hold(bit == COUNTRY_FR);
            rc = unmask ? KeyedUnmask(k, bit, site->value, int32_t(n), site->out, &outLen, site->msg)
                        : KeyedMask(k, bit, site->value, int32_t(n), site->out, &outLen, site->msg);
        }
        if (rc == RC_BLANK) return Answer{ANSWER_VALUE, value.data, value.size};
        if (rc != RC_OK) return Answer{ANSWER_NULL, "", 0};
        std::string s;
        AppendUtf8(s, site->out, size_t(outLen));
        return site->answer(ANSWER_VALUE, std::move(s));
    } catch (const std::bad_alloc&) {
        return Answer{ANSWER_NO_MEMORY, "out of memory", 13};
    } catch (...) {
        return Answer{ANSWER_ERROR, "internal error", 14};
    }
}

} // namespace sqlhost
