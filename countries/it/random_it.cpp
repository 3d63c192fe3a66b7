/*
** random_it.cpp - Italy: a complete random codice fiscale for the random method.
**
** Every part is drawn in a fixed order from RandomNumber (family-name code, first-name
** code, year, month, day, sex, commune) so that the result passes the validation.
*/
#include "countries/it/it.h"
#include "exit/random/random.h"

/* A name code: letters until a vowel, then vowels or the "X" padding to the end. */
static void RandomNameCode(char16_t* out) {
    bool vowelSeen = false;
    for (int i = 0; i < 3; ++i) {
        if (!vowelSeen) {
            out[i] = char16_t(u'A' + RandomNumber() % 26);
            vowelSeen = InfoIT(out[i]).Vowel >= 0;
            continue;
        }
        uint32_t v = RandomNumber() % 6;
        if (v == 5) {
            for (; i < 3; ++i) out[i] = u'X';
            return;
        }
        out[i] = VowelsIT[v];
    }
}

/* An accepted commune code; false when the random source never yields one. */
static bool RandomCommune(char16_t* out) {
    /* A real generator finds a code within a few draws (about 69% are accepted); the bound
    ** only stops a source stuck on rejected codes. */
    enum { MAX_TRIES = 100000 };
    for (int t = 0; t < MAX_TRIES; ++t) {
        char16_t letter = CommuneLetters[RandomNumber() % 12];
        int number = int(RandomNumber() % 1000);
        if (CommuneAcceptedIT(letter, number)) {
            out[0] = letter;
            out[1] = char16_t(u'0' + number / 100);
            out[2] = char16_t(u'0' + number / 10 % 10);
            out[3] = char16_t(u'0' + number % 10);
            return true;
        }
    }
    return false;
}

int RandomCodeIT(char16_t* out) {
    RandomNameCode(out);
    RandomNameCode(out + 3);
    int year = int(RandomNumber() % 99);
    char16_t month = MonthLetters[RandomNumber() % 12];
    int day = 1 + int(RandomNumber() % uint32_t(MonthLengthIT(month, year)));
    if (RandomNumber() % 2 == 1) day += 40;
    out[6] = char16_t(u'0' + year / 10);
    out[7] = char16_t(u'0' + year % 10);
    out[8] = month;
    out[9] = char16_t(u'0' + day / 10);
    out[10] = char16_t(u'0' + day % 10);
    if (!RandomCommune(out + 11)) return IT_ERR_MASK;
    out[15] = u'#';
    out[16] = 0;
    SetControlChar(out);
    return 0;
}
