/*
** random_fr.cpp - a fresh, well-formed NIR for the random method.
**
** Every field is one draw (the department and commune are drawn again until they are
** valid), so the draws of a row can be scripted through the random source.
*/
#include "countries/fr/fr.h"
#include "exit/random/random.h"

/* Sex digit: 1 and 2 four times in ten, 7 and 8 once. */
static char16_t DrawSex() {
    static const uint8_t kSlot[10] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 3};
    return char16_t(u'0' + SexDigitsFR[kSlot[RandomNumber() % 10]]);
}

/* Department index, uniform over the 97 indices other than 96. */
static int32_t DrawDept() {
    uint32_t d;
    do d = RandomNumber() % DEPT_INDEX_COUNT;
    while (d == DEPT_NONE);
    return int32_t(d);
}

int32_t RandomNIR(char16_t* out) {
    out[0] = DrawSex();
    WriteDigitsFR(out + 1, RandomNumber() % 100, 2);
    WriteDigitsFR(out + 3, RandomNumber() % 12 + 1, 2);
    int32_t dept = DrawDept();
    WriteDeptFR(out + 5, dept);
    WriteDigitsFR(out + 7, uint32_t(RandomCommuneFR(dept)), 3);
    WriteDigitsFR(out + 10, RandomNumber() % 1000, 3);
    WriteDigitsFR(out + NIR_KEY_AT, uint32_t(NirKey(out)), 2);
    out[NIR_CHARS] = 0;
    return 0;
}
