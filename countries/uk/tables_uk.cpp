/*
** tables_uk.cpp - the constant tables of the UK: format values, prefixes, digit orders.
*/
#include "countries/uk/uk.h"

/* Index 0 and 1 are compact; 2 to 7 three groups; 8 to 13 five groups.  "2X" (and "8X")
** replaces the prefix, "2C" keeps it. */
const char16_t* const FormatTableUK[UK_FORMAT_COUNT] = {
    u"8X1C",           u"2C6X1C",         u"2C-6X-1C",       u"2X-6X-1C",       u"2C.6X.1C",
    u"2X.6X.1C",       u"2C 6X 1C",       u"2X 6X 1C",       u"2C-2X-2X-2X-1C", u"2X-2X-2X-2X-1C",
    u"2C.2X.2X.2X.1C", u"2X.2X.2X.2X.1C", u"2C 2X 2X 2X 1C", u"2X 2X 2X 2X 1C"};

/* Positions of the first prefix of each letter: A 0, B 15, C 23, E 30, G 45, H 46, J 61,
** K 80, L 95, M 110, N 113, O 126, P 137, R 155, S 169, T 188, W 203, Y 210, Z 225. */
constexpr char16_t PrefixTableUK[UK_PREFIX_COUNT][3] = {
    u"AA", u"AB", u"AE", u"AH", u"AK", u"AL", u"AM", u"AP", u"AR", u"AS", u"AT", u"AW", u"AX", u"AY", u"AZ",
    u"BA", u"BB", u"BE", u"BH", u"BK", u"BL", u"BM", u"BT",
    u"CA", u"CB", u"CE", u"CH", u"CK", u"CL", u"CR",
    u"EA", u"EB", u"EE", u"EH", u"EK", u"EL", u"EM", u"EP", u"ER", u"ES", u"ET", u"EW", u"EX", u"EY", u"EZ",
    u"GY",
    u"HA", u"HB", u"HE", u"HH", u"HK", u"HL", u"HM", u"HP", u"HR", u"HS", u"HT", u"HW", u"HX", u"HY", u"HZ",
    u"JA", u"JB", u"JC", u"JE", u"JG", u"JH", u"JJ", u"JK", u"JL", u"JM", u"JN", u"JP", u"JR", u"JS", u"JT",
    u"JW", u"JX", u"JY", u"JZ",
    u"KA", u"KB", u"KE", u"KH", u"KK", u"KL", u"KM", u"KP", u"KR", u"KS", u"KT", u"KW", u"KX", u"KY", u"KZ",
    u"LA", u"LB", u"LE", u"LH", u"LK", u"LL", u"LM", u"LP", u"LR", u"LS", u"LT", u"LW", u"LX", u"LY", u"LZ",
    u"MA", u"MW", u"MX",
    u"NA", u"NB", u"NE", u"NH", u"NL", u"NM", u"NP", u"NR", u"NS", u"NW", u"NX", u"NY", u"NZ",
    u"OA", u"OB", u"OE", u"OH", u"OK", u"OL", u"OM", u"OP", u"OR", u"OS", u"OX",
    u"PA", u"PB", u"PC", u"PE", u"PG", u"PH", u"PJ", u"PK", u"PL", u"PM", u"PN", u"PP", u"PR", u"PS", u"PT",
    u"PW", u"PX", u"PY",
    u"RA", u"RB", u"RE", u"RH", u"RK", u"RM", u"RP", u"RR", u"RS", u"RT", u"RW", u"RX", u"RY", u"RZ",
    u"SA", u"SB", u"SC", u"SE", u"SG", u"SH", u"SJ", u"SK", u"SL", u"SM", u"SN", u"SP", u"SR", u"SS", u"ST",
    u"SW", u"SX", u"SY", u"SZ",
    u"TA", u"TB", u"TE", u"TH", u"TK", u"TL", u"TM", u"TP", u"TR", u"TS", u"TT", u"TW", u"TX", u"TY", u"TZ",
    u"WA", u"WB", u"WE", u"WK", u"WL", u"WM", u"WP",
    u"YA", u"YB", u"YE", u"YH", u"YK", u"YL", u"YM", u"YP", u"YR", u"YS", u"YT", u"YW", u"YX", u"YY", u"YZ",
    u"ZA", u"ZB", u"ZE", u"ZH", u"ZK", u"ZL", u"ZM", u"ZP", u"ZR", u"ZS", u"ZT", u"ZW", u"ZX", u"ZY"};

/* Position of every prefix by its two letters, -1 where there is none; derived from
** PrefixTableUK when compiling, so the two cannot disagree. */
struct PREFIXINDEX {
    int16_t Pos[26][26];
};

static constexpr PREFIXINDEX MakePrefixIndex() {
    PREFIXINDEX x{};
    for (auto& row : x.Pos)
        for (int16_t& p : row) p = -1;
    for (int i = 0; i < UK_PREFIX_COUNT; ++i)
        x.Pos[PrefixTableUK[i][0] - u'A'][PrefixTableUK[i][1] - u'A'] = int16_t(i);
    return x;
}

static constexpr PREFIXINDEX kPrefixIndex = MakePrefixIndex();

/* Looks the prefix up in the index: one step instead of a search of the table. */
int32_t PrefixPositionUK(const char16_t* p) {
    unsigned a = unsigned(p[0]) - u'A', b = unsigned(p[1]) - u'A';
    if (a >= 26 || b >= 26) return -1;
    return kPrefixIndex.Pos[a][b];
}

/* Each row swaps or keeps the pairs 1-2, 3-4, 5-6 and moves them as blocks. */
const uint8_t PermTableUK[UK_PERM_ROWS][UK_DIGITS] = {
    {1, 2, 3, 4, 6, 5}, {6, 5, 3, 4, 1, 2}, {5, 6, 2, 1, 3, 4}, {2, 1, 4, 3, 6, 5}, {4, 3, 1, 2, 5, 6},
    {2, 1, 6, 5, 4, 3}, {3, 4, 6, 5, 2, 1}, {4, 3, 2, 1, 5, 6}, {6, 5, 4, 3, 1, 2}, {1, 2, 6, 5, 4, 3},
    {3, 4, 6, 5, 1, 2}, {6, 5, 1, 2, 3, 4}, {4, 3, 1, 2, 6, 5}, {1, 2, 6, 5, 3, 4}, {4, 3, 6, 5, 2, 1},
    {6, 5, 4, 3, 2, 1}, {4, 3, 5, 6, 1, 2}, {1, 2, 4, 3, 5, 6}, {6, 5, 2, 1, 3, 4}, {1, 2, 5, 6, 3, 4},
    {2, 1, 5, 6, 3, 4}, {1, 2, 4, 3, 6, 5}, {3, 4, 2, 1, 5, 6}, {2, 1, 6, 5, 3, 4}, {5, 6, 1, 2, 3, 4},
    {5, 6, 2, 1, 4, 3}, {4, 3, 6, 5, 1, 2}, {3, 4, 5, 6, 1, 2}, {2, 1, 3, 4, 6, 5}, {2, 1, 5, 6, 4, 3},
    {5, 6, 3, 4, 2, 1}, {3, 4, 2, 1, 6, 5}, {5, 6, 4, 3, 1, 2}, {3, 4, 1, 2, 5, 6}, {6, 5, 2, 1, 4, 3},
    {2, 1, 4, 3, 5, 6}, {5, 6, 3, 4, 1, 2}, {3, 4, 5, 6, 2, 1}, {6, 5, 1, 2, 4, 3}, {5, 6, 4, 3, 2, 1},
    {2, 1, 3, 4, 5, 6}, {3, 4, 1, 2, 6, 5}, {6, 5, 3, 4, 2, 1}, {5, 6, 1, 2, 4, 3}, {1, 2, 5, 6, 4, 3},
    {4, 3, 5, 6, 2, 1}, {4, 3, 2, 1, 6, 5}};
