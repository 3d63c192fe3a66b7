/*
** tables_es.cpp - Spain's constant tables: check letters and accepted formats.
*/
#include "countries/es/es.h"

const char16_t CheckLettersES[ES_LETTER_COUNT + 1] = u"TRWAGMYFPDXBNJZSQVHLCKE";

/* A format value counts the characters of a NIF: seven digits, then the check letter,
** which is always recomputed ("1X").  A NIE takes the same separator after its "X". */
const char16_t* const FormatTableES[ES_FORMAT_COUNT] = {u"8X", u"7X-1X", u"7X 1X"};
const uint32_t FormatBitsES[ES_FORMAT_COUNT] = {ES_OUT_COMPACT, ES_OUT_HYPHEN, ES_OUT_BLANK};
