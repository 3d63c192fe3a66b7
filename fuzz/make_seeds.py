#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets (fuzz/corpus/<target>/).

The seeds are scenarios in the byte format that each target reads (see the comments of
fuzz_support.h and of each target): typical column maps of every country and method,
valid numbers in every layout, long names and values, failing callbacks and allocations.
Run it again after changing a target's input format: python3 fuzz/make_seeds.py

The files with hash names next to the named seeds are inputs of long local runs, kept for
the branches they reach (an edge-minimal merge: <target> -merge=1 -use_counters=0
fuzz/corpus/<target> <corpus of the run>); after a format change, delete them.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Valid numbers, drawn through the exit with method=random (compact and separated).
VALID = {
    "FR": ["727073314706359", "287116137165931", "1590793045442-46", "8620616412462 88"],
    "UK": ["KX199968B", "SS614021", "EA 947778 B", "RT 92 19 41 D", "ZY 85 15 28"],
    "ES": ["5168142L", "9197526-X", "9108970 G", "X1234567L", "X 7654321 J"],
    "IT": ["PGZEEU02E27B744X", "QTE JOE 54M43 I871I", "HKJ-WVK-62E10-Z114X", "RSSMRA85T10A562S"],
}
COUNTRY_INDEX = {"FR": 0, "UK": 1, "ES": 2, "IT": 3}  # order of leanhost::Countries()
FORMAT_COUNT = {"FR": 69, "UK": 14, "ES": 3, "IT": 21}


def u8(v):
    return bytes([v & 0xFF])


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def ascii_str(text):
    """A string of one byte-literal piece (at most 255 characters)."""
    data = text.encode("latin-1")
    assert len(data) < 256
    return u8(1) + u8(len(data)) + data


def utf16_str(units):
    """A string of one UTF-16 piece: a list of 16-bit units."""
    return u8(0) + u8(len(units)) + b"".join(u16(u) for u in units)


def repeat_str(unit, count, more=b""):
    """A repetition piece; `more` (another string) follows when given."""
    return u8(2 | (0x80 if more else 0)) + u16(unit) + u16(count) + more


EMPTY = u8(0) + u8(0)


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- fuzz_operands

def operand_seeds():
    texts = [
        "switch=CTRY,method=mask,format=(FR=5X2C8X,IT=16X)",
        'switch="FR,method=random,format=(FR=5X2C6X-2X,UK=2C-6X-1C,ES=7X-1X,IT=3X 3X 5X 5X)',
        "SWITCH=x, Swt=x ,swt = x,sw=x,switchx=x",
        "format=(FR=5X2C6X 2X)",
        "format=5X2C8X",
        "a=((abc)),b=(a,b)",
        "a=1,,b=2",
        "switch=CTRY,format=(FR=1X9C5X",
        "  12 ;; switch=CTRY",
        "     ",
        "format=(FR=(IT=(ES=1)),UK=(a=b))",
        "debug=yes,status=Y,validate=y,method=maskx,source=\"NID\"",
        "country=x,state=y,format=(canada=1,usa=2,korea=3,france=5x2c8x,italy=16x,spain=8x,uk=8x1c)",
        "switch=" + "A" * 200 + ",format=(" + "FR=15X," * 20 + ")",
        "fmt=(" + "(" * 40 + "x" + ")" * 40 + ")",
        ",".join("swt=%d" % i for i in range(40)),
    ]
    for i, t in enumerate(texts):
        write("fuzz_operands", "text%02d" % i, u8(1) + t.encode("latin-1"))
    # The same as 16-bit units, with characters outside ASCII and unpaired surrogates.
    wide = "switch=\u00c9\ud800,format=(FR=5X2C8X\udfff),src=\u4e2d"
    write("fuzz_operands", "wide00", u8(0) + b"".join(u16(ord(c)) for c in wide))
    # Failing allocations at the first few steps of a parse with sub-lists.
    for k in (1, 2, 3, 5):
        write("fuzz_operands", "nomem%d" % k, u8(1 | (k << 1)) + texts[1].encode("latin-1"))


# ---------------------------------------------------------------- fuzz_entry

SWITCH = {"FR": 1, "UK": 2, "ES": 3, "IT": 4, "CTRY": 5, "fr": 6, "XX": 7, "NID": 8}


def operands(switch=1, method=1, validate=0, debug=0, status=0, source=0, formats=(), extra=EMPTY):
    out = u8(0) + u8(switch) + u8(method) + u8(validate) + u8(debug) + u8(status) + u8(source)
    out += u8(len(formats))
    for keyword, value in formats:  # keyword index into the format keywords, format index
        out += u8(keyword) + u8(value)
    return out + extra


def column(name_kind=0, type_index=0, length_index=12, nullable=0, name=b""):
    """Type index 0 is host type 1; length index 12 is 20 characters."""
    return u8(name_kind) + name + u8(type_index) + u8(length_index) + u8(nullable) + u8(0)


def scenario(ops, sources, dests, rows, dest_byte=1, fail=0, draws=()):
    out = ops + u8(len(sources)) + b"".join(sources)
    out += u8(len(dests) - 1) + b"".join(dests)
    out += u8(dest_byte) + u8(fail) + u8(len(draws)) + b"".join(u32(d) for d in draws)
    out += u8(len(rows) - 1)
    for call in rows:
        out += call
    return out


def row(*cells, put=0):
    """A row call; each cell is a string (value), or 'null', 'conv' (9) or 'err'."""
    out = u8(0)
    for c in cells:
        if c == "null":
            out += u8(7)
        elif c == "conv":
            out += u8(5)
        elif c == "err":
            out += u8(6)
        else:
            out += u8(0) + c
    return out + u8(put)


END = u8(0xFF)


def entry_seeds():
    seeds = {}
    for cc, values in VALID.items():
        k = COUNTRY_INDEX[cc]
        fmts = FORMAT_COUNT[cc]
        for method in (1, 2):  # mask, random
            for fmt in (None, 0, fmts // 2, fmts - 1):
                formats = () if fmt is None else ((k, fmt),)
                ops = operands(switch=SWITCH[cc], method=method, validate=1 if method == 1 else 0,
                               formats=formats)
                rows = [row(ascii_str(v)) for v in values]
                name = "%s_%s_%s" % (cc, "mask" if method == 1 else "random", "default" if fmt is None else fmt)
                seeds[name] = scenario(ops, [column()], [column()], rows)
        # Switch column, debug on, invalid and blank values, NULLs.
        ops = operands(switch=SWITCH["CTRY"], method=1, debug=1, status=1)
        rows = [row(ascii_str(values[0]), ascii_str(cc)),
                row(ascii_str(values[0][:-1] + "?"), ascii_str(cc.lower())),
                row(ascii_str("   "), ascii_str(cc)),
                row("null", ascii_str(cc)),
                row(ascii_str(values[1]), ascii_str("GB")),
                END,
                row(ascii_str(values[1]), ascii_str(cc + "X"))]
        seeds[cc + "_switch_column"] = scenario(
            ops, [column(nullable=1), column(name_kind=1, length_index=2)], [column(nullable=1)], rows)

    ops = operands(switch=SWITCH["FR"], method=1)
    # Long values and names; every source type; failing callbacks; failing allocations.
    seeds["long_value"] = scenario(ops, [column(length_index=15)], [column(length_index=15)],
                                   [row(repeat_str(ord("7"), 4095)), row(repeat_str(0xD800, 5000)),
                                    row(utf16_str([0xDC00, 0x31, 0xFFFF, 0x32]))])
    long_name = repeat_str(ord("N"), 4095, EMPTY)
    seeds["long_names"] = scenario(operands(switch=SWITCH["ES"], method=1, debug=1),
                                   [column(name_kind=3, name=long_name)], [column(name_kind=3, name=long_name)],
                                   [row("err"), row(ascii_str("5168142L"), put=0xFF), row("conv")])
    seeds["source_not_found"] = scenario(operands(switch=SWITCH["IT"], source=1),
                                         [column(name_kind=1)], [column(name_kind=3, name=long_name)],
                                         [row(ascii_str("x"))])
    for t in range(21):
        seeds["type%02d" % t] = scenario(ops, [column(type_index=t)], [column(type_index=t)],
                                         [row(ascii_str(VALID["FR"][0])), row("null")])
    for fail in range(1, 9):
        seeds["nomem%d" % fail] = scenario(ops, [column()], [column()], [row(ascii_str(VALID["FR"][0]))] * 2,
                                           fail=0xC0 | (fail - 1))
    seeds["random_draws"] = scenario(operands(switch=SWITCH["UK"], method=2), [], [column()],
                                     [row(), row(), row()], draws=(0, 0xFFFFFFFF, 0x80000000, 7))
    seeds["raw_operands"] = u8(1) + ascii_str("switch=\"IT,format=(IT=3X-3X-5X-5X),debug=y") + \
        u8(1) + column() + u8(0) + column() + u8(1) + u8(0) + u8(0) + u8(0) + row(ascii_str(VALID["IT"][0]))
    for name, data in seeds.items():
        write("fuzz_entry", name, data)


# ---------------------------------------------------------------- fuzz_country

def country_seeds():
    for cc, values in VALID.items():
        k = COUNTRY_INDEX[cc]
        for mode in (0, 1, 2):  # mask, random, mask with validate
            for fmt in (250, 0, FORMAT_COUNT[cc] - 1):
                data = u8(k) + u8(mode) + u8(fmt) + u8(0) + u8(0) + u8(0) + u8(0) + u8(0)
                data += u8(len(values))  # rows: one more than the byte, the blank value last
                for v in values:
                    data += u8(0) + ascii_str(v)
                data += u8(0) + repeat_str(ord(" "), 20)
                write("fuzz_country", "%s_%d_%d" % (cc, mode, fmt), data)
        odd = u8(k) + u8(0) + u8(250) + u8(0) + u8(0) + u8(0) + u8(0) + u8(0) + u8(2)
        odd += u8(0) + utf16_str([0xD800, 0x41, 0]) + u8(0) + repeat_str(0x39, 4095) + u8(0xFF) + EMPTY
        write("fuzz_country", "%s_odd" % cc, odd)


# ---------------------------------------------------------------- fuzz_keyed

KEYED_COUNTRY = {"FR": 0, "IT": 1, "ES": 2, "UK": 3}  # bits 0-1 of the control byte


def keyed_seeds():
    for cc, values in VALID.items():
        for ops in range(7):
            for unmask in (0, 4):
                data = u8(KEYED_COUNTRY[cc] | unmask | (ops << 3))
                for v in values:
                    data += ascii_str(v)
                write("fuzz_keyed", "%s_%d_%d" % (cc, ops, unmask), data)
        # A key of the input's own: raw bytes (16), then as text, each with a scope.
        raw = u8(KEYED_COUNTRY[cc] | 0x40) + u8(16) + bytes(range(16)) + ascii_str("crm") + ascii_str(values[0])
        write("fuzz_keyed", "%s_raw_key" % cc, raw)
        text = u8(KEYED_COUNTRY[cc] | 0xC0) + ascii_str("AAECAwQFBgcICQoLDA0ODw==") + ascii_str("") + ascii_str(values[1])
        write("fuzz_keyed", "%s_text_key" % cc, text)
    ops = u8(0x38 | 0x80) + ascii_str("2b7e151628aed2a6abf7158809cf4f3c") + ascii_str("hr") + \
        ascii_str("format=(FR=13X 2X,IT=6C10X,ES=7X-1X,UK=2X 6X 1C)") + ascii_str(VALID["FR"][2])
    write("fuzz_keyed", "any_operands", ops)


if __name__ == "__main__":
    operand_seeds()
    entry_seeds()
    country_seeds()
    keyed_seeds()
    for target in ("fuzz_operands", "fuzz_entry", "fuzz_country", "fuzz_keyed"):
        d = os.path.join(HERE, "corpus", target)
        print(target, len(os.listdir(d)), "seeds")
