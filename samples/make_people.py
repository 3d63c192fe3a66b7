#!/usr/bin/env python3
"""Writes samples/people.csv: synthetic people with national identification numbers.

Every kind of number the exit masks appears in every layout it accepts (France NIR,
Italy codice fiscale, Spain NIF/NIE, UK National Insurance number), together with
invalid values, blanks, NULLs (empty fields) and countries the exit does not mask.
Names, cities and notes carry non-ASCII text, quotes, delimiters and line breaks.
The output is fixed by the seed: run `python3 samples/make_people.py` to rebuild it.
"""
import csv
import io
import os
import random

rng = random.Random(20260106)

# ------------------------------------------------------------------ Spain
ES_LETTERS = "TRWAGMYFPDXBNJZSQVHLCKE"


def es_number(nie, sep=""):
    n = rng.randrange(10000000)
    digits = "%07d" % n
    letter = ES_LETTERS[n % 23]
    if nie:
        return "X" + sep + digits + sep + letter
    return digits + sep + letter


def es_values():
    good = [es_number(False), es_number(False, "-"), es_number(False, " "),
            es_number(True), es_number(True, "-"), es_number(True, " ")]
    bad = ["123456L",            # too short
           "12A4567L",           # a letter among the digits
           "Y1234567L",          # only X begins a NIE
           "X-1234567 L",        # separators that differ
           "1234567/L"]          # not a separator
    return good, bad


# ------------------------------------------------------------------ United Kingdom
UK_PREFIXES = []
for first, seconds in [("A", "ABEHKLMPRSTWXYZ"), ("B", "ABEHKLMT"), ("C", "ABEHKLR"), ("E", "ABEHKLMPRSTWXYZ"),
                       ("G", "Y"), ("H", "ABEHKLMPRSTWXYZ"), ("J", "ABCEGHJKLMNPRSTWXYZ"),
                       ("K", "ABEHKLMPRSTWXYZ"), ("L", "ABEHKLMPRSTWXYZ"), ("M", "AWX"), ("N", "ABEHLMPRSWXYZ"),
                       ("O", "ABEHKLMPRSX"), ("P", "ABCEGHJKLMNPRSTWXY"), ("R", "ABEHKMPRSTWXYZ"),
                       ("S", "ABCEGHJKLMNPRSTWXYZ"), ("T", "ABEHKLMPRSTWXYZ"), ("W", "ABEKLMP"),
                       ("Y", "ABEHKLMPRSTWXYZ"), ("Z", "ABEHKLMPRSTWXY")]:
    UK_PREFIXES += [first + s for s in seconds]


def uk_number(layout, sep=" "):
    p = rng.choice(UK_PREFIXES)
    d = "%06d" % rng.randrange(1, 1000000)
    s = rng.choice("ABCD")
    pairs = sep.join([d[0:2], d[2:4], d[4:6]])
    return {"compact9": p + d + s, "compact8": p + d, "sep9": p + sep + d,
            "groups3": p + sep + d + sep + s, "groups5": p + sep + pairs,
            "groups5s": p + sep + pairs + sep + s}[layout]


def uk_values():
    good = [uk_number("compact9"), uk_number("compact8"), uk_number("sep9", " "), uk_number("groups3", "-"),
            uk_number("groups3", "."), uk_number("groups3", " "), uk_number("groups5", "-"),
            uk_number("groups5s", " "), uk_number("groups5s", "."),
            uk_number("compact8") + "d"]   # a lower-case suffix is kept as written
    bad = ["QQ123456C",          # prefix not issued
           "AB123456E",          # suffix after D
           "AB000000A",          # number part 000000
           "AB/123456/C",        # not a separator
           "AB-123456.C",        # separators that differ
           "AB1234567C"]         # ten characters
    return good, bad


# ------------------------------------------------------------------ France
FR_DEPTS = [("75", 120), ("13", 119), ("06", 163), ("18", 290), ("34", 344), ("46", 340), ("82", 195), ("84", 151)]


def nir_key(thirteen):
    return 97 - int(thirteen.replace("2A", "20").replace("2B", "20")) % 97


def fr_number(sep=""):
    sex = rng.choice("1212127")
    yy = "%02d" % rng.randrange(100)
    mm = "%02d" % rng.randrange(1, 13)
    r = rng.random()
    if r < 0.1:
        dept, commune = "97", rng.choice([101, 102, 120, 201, 230, 301, 351, 401])
    elif r < 0.15:
        dept, commune = "2A", 4
    else:
        dept, maxc = rng.choice(FR_DEPTS)
        commune = rng.randrange(1, maxc + 1)
    body = sex + yy + mm + dept + "%03d" % commune + "%03d" % rng.randrange(1, 1000)
    return body + sep + "%02d" % nir_key(body)


def fr_values():
    good = [fr_number(), fr_number(), fr_number("-"), fr_number(" ")]
    bad = ["385057511234529",    # sex 3
           "185137511234529",    # month 13
           "185052011234529",    # department 20
           "18505751123452",     # fourteen characters
           "185052a00412329",    # lower-case Corsican department
           "1850575112345/29"]   # not a separator
    return good, bad


# ------------------------------------------------------------------ Italy
IT_ODD = [1, 0, 5, 7, 9, 13, 15, 17, 19, 21, 2, 4, 18, 20, 11, 3, 6, 8, 12, 14, 16, 10, 22, 25, 24, 23]
IT_MONTHS = "ABCDEHLMPRST"
IT_FAMILY = ["RSS", "BNC", "VRD", "FRR", "CLM", "GLL", "RCC", "MNT", "BRN", "FOX", "DLU"]
IT_FIRST = ["MRA", "LCU", "GPP", "FNC", "NNA", "GLI", "PLA", "SFO", "LRA", "MRC"]
IT_COMMUNES = ["H501", "F205", "L219", "F839", "G273", "D969", "A944", "D612", "L736", "C351", "A662",
               "Z110", "Z114", "Z404", "M002"]
IT_OMOCODE = "LMNPQRSTUV"


def it_control(fifteen):
    total = 0
    for i, ch in enumerate(fifteen):
        v = ord(ch) - ord("0") if ch.isdigit() else ord(ch) - ord("A")
        total += IT_ODD[v] if i % 2 == 0 else v
    return chr(ord("A") + total % 26)


def it_number(sep="", omocode=False):
    month = rng.choice(IT_MONTHS)
    day = rng.randrange(1, 29) + (40 if rng.random() < 0.5 else 0)
    code = (rng.choice(IT_FAMILY) + rng.choice(IT_FIRST) + "%02d" % rng.randrange(100) + month + "%02d" % day
            + rng.choice(IT_COMMUNES))
    if omocode:
        code = code[:14] + IT_OMOCODE[int(code[14])]
    code += it_control(code)
    if sep:
        code = sep.join([code[0:3], code[3:6], code[6:11], code[11:16]])
    return code


def it_values():
    good = [it_number(), it_number(), it_number(" "), it_number("-"), it_number(omocode=True),
            it_number().lower()]
    bad = ["RSSMRA80F01H501U",   # F is no month letter
           "RSSMRA80A01J123U",   # J is no commune letter
           "RSSMRA80A01H501UX",  # seventeen characters
           "ROSMRA80A01H501U"]   # a consonant after a vowel in the family-name code
    return good, bad


# ------------------------------------------------------------------ people
FIRST = ["José", "María", "Núñez", "François", "Zoë", "Björn", "Ægir", "Łukasz", "Chloé", "Giulia", "Siobhán",
         "Dmitrí", "Ana", "Oliver", "Amélie", "Lorenzo", "Iñaki", "Renée", "Søren", "明", "Fátima", "Noé"]
LAST = ["García", "Müller", "O'Brien", "Dupont", "Rossi", "Smith", "Fernández", "Lefèvre", "Bianchi",
        "Brown", "Łopez", "d'Alembert", "Nuñez-Pérez", "Ó Súilleabháin", "王", "van der Berg"]
CITIES = {"ES": ["Madrid", "Sevilla", "A Coruña", "Cádiz"], "UK": ["London", "Cardiff", "Belfast", "Leeds"],
          "FR": ["Paris", "Marseille", "Nîmes", "Besançon"], "IT": ["Roma", "Milano", "Forlì", "Cantù"]}
NOTES = ["", "", "", "", "VIP", "call after 18:00, not before", 'says "hello"', "moved 2024\nnew address pending",
         "☎ +34 600 000 000", "likes 🐍 and 🍕", "a;b;c", "  padded  "]


def main():
    kinds = {"ES": es_values, "UK": uk_values, "FR": fr_values, "IT": it_values}
    rows = []
    for rep in range(14):
        for country, make in kinds.items():
            good, bad = make()
            values = good + (bad if rep < 2 else [])
            for v in values:
                rows.append((country, v))
        rows.append(("ES", None))        # NULL number
        rows.append(("UK", "         "))  # blanks
        rows.append(("GB", uk_number("compact9")))   # a code the exit does not know
        rows.append(("DE", "T22000129"))  # a country the exit does not mask
        rows.append((None, es_number(False)))         # no country
        rows.append(("es", es_number(False)))         # lower-case country code
    rng.shuffle(rows)
    out = io.StringIO()
    w = csv.writer(out, lineterminator="\n")
    w.writerow(["id", "first_name", "last_name", "city", "country", "nid", "note"])
    for i, (country, nid) in enumerate(rows, 1):
        city = rng.choice(CITIES.get((country or "ES").upper(), ["Berlin"]))
        w.writerow([i, rng.choice(FIRST), rng.choice(LAST), city, country or "", nid or "", rng.choice(NOTES)])
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "people.csv")
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(out.getvalue())
    print("%s: %d rows" % (path, len(rows)))


if __name__ == "__main__":
    main()
