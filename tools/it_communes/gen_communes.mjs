#!/usr/bin/env node
// gen_communes.mjs - writes countries/it/communes_it_table.h, the Italian commune codes
// that the codice fiscale rules reject although their form is right.
//
// Letters A to I and L: every code X001..X999 that was not an Italian commune in force on
// 2005-06-30, derived from a pinned npm package of commune data.  Letters M and Z: fixed
// ranges (codes never given to communes, and foreign-country codes not in use).
//
// Usage (from the repository root): node tools/it_communes/gen_communes.mjs
// Needs node and npm with access to the npm registry; CI never runs it.
import { execFileSync } from "node:child_process";
import { createHash } from "node:crypto";
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

const PACKAGE = "@marketto/belfiore-connector-embedded";
const VERSION = "1.2.1";
const INTEGRITY =
  "sha512-I9pkb3qlhBhgFJkiP02iZ3g/M4ZR9yd6Rt/u2fWzS8wxeBIGSvloZpPO32yFs7rWfRnoB/yXZ8rbXVlvqA7Ozg==";
const DATA_FILE = "package/asset/cities-countries.ts";

const CUTOFF = Date.UTC(2005, 5, 30);        // communes in force on 2005-06-30
const EPOCH = Date.UTC(1861, 0, 1);          // day 0 of the data set's dates
const DATA_LETTERS = "ABCDEFGHIL";
const EXTRA_KEPT = ["E667"];                 // recoded in 2007; the data set ends it too early

// Numbers of M and Z that are unassigned, as inclusive ranges.
const M_RANGES = [[1, 1], [5, 5], [8, 8], [10, 10], [12, 12], [20, 20], [24, 24], [29, 29], [33, 33],
  [35, 40], [46, 47], [49, 49], [51, 51], [54, 54], [56, 56], [61, 61], [64, 64], [66, 66], [68, 68],
  [74, 76], [84, 84], [87, 87], [97, 97], [99, 99], [107, 107], [112, 112], [114, 114], [117, 117],
  [128, 129], [134, 135], [137, 137], [146, 146], [148, 149], [151, 151], [154, 155], [157, 157],
  [159, 159], [164, 164], [175, 175], [181, 181], [186, 186], [191, 193], [195, 195], [205, 206],
  [215, 252], [254, 254], [293, 293], [296, 296], [299, 299], [305, 307], [310, 999]];
const Z_RANGES = [[1, 99], [136, 199], [247, 299], [306, 306], [357, 399], [405, 499], [521, 599],
  [615, 699], [730, 999]];

const EXPECTED_COUNTS = { A: 191, B: 213, C: 216, D: 218, E: 210, F: 196, G: 189, H: 224, I: 224,
  L: 213, M: 794, Z: 789 };
const EXPECTED_FIRST = ["A002", "A003", "A009", "A011", "A021", "A030", "A036", "A037"];
const EXPECTED_TOTAL = 3677;

const here = dirname(fileURLToPath(import.meta.url));
const OUTPUT = resolve(here, "../../countries/it/communes_it_table.h");

function check(ok, what) {
  if (!ok) {
    console.error("gen_communes: " + what);
    process.exit(1);
  }
}

// Fetches the pinned tarball, checks its hash and returns the data file's text.
function fetchData() {
  const work = mkdtempSync(join(tmpdir(), "it-communes-"));
  try {
    execFileSync("npm", ["pack", `${PACKAGE}@${VERSION}`, "--pack-destination", work, "--silent"],
                 { stdio: ["ignore", "ignore", "inherit"] });
    const tgz = readdirSync(work).find((f) => f.endsWith(".tgz"));
    check(tgz, "npm pack produced no tarball");
    const bytes = readFileSync(join(work, tgz));
    const got = "sha512-" + createHash("sha512").update(bytes).digest("base64");
    check(got === INTEGRITY, `integrity mismatch: ${got}`);
    execFileSync("tar", ["-xzf", join(work, tgz), "-C", work, DATA_FILE]);
    return readFileSync(join(work, DATA_FILE), "utf8");
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
}

// Chunk i of a packed field as a base-32 number, or null when missing.
function chunk(field, i, width) {
  if (typeof field !== "string" || field.length < (i + 1) * width) return null;
  const v = parseInt(field.slice(i * width, (i + 1) * width), 32);
  return Number.isNaN(v) ? null : v;
}

// Codes of the data letters in force on the cutoff date.
function keptCodes(text) {
  const json = JSON.parse(text.slice(text.indexOf("{"), text.lastIndexOf("}") + 1));
  check(Array.isArray(json.data), "no data[] in the data file");
  const cutoffDay = Math.round((CUTOFF - EPOCH) / 86400000);
  const kept = new Set(EXTRA_KEPT);
  for (const group of json.data) {
    const n = Math.floor(group.belfioreCode.length / 3);
    for (let i = 0; i < n; ++i) {
      const v = chunk(group.belfioreCode, i, 3);
      const code = String.fromCharCode(65 + Math.floor(v / 1000)) + String(v % 1000).padStart(3, "0");
      const from = chunk(group.creationDate, i, 4);
      const to = chunk(group.expirationDate, i, 4);
      const inForce = (from === null || from <= cutoffDay) && (to === null || cutoffDay < to);
      if (inForce && DATA_LETTERS.includes(code[0])) kept.add(code);
    }
  }
  return kept;
}

function code(letter, n) { return letter + String(n).padStart(3, "0"); }

// The full sorted list: data letters from the kept codes, M and Z from their ranges.
function unassigned(kept) {
  const list = [];
  for (const letter of DATA_LETTERS)
    for (let n = 1; n <= 999; ++n) if (!kept.has(code(letter, n))) list.push(code(letter, n));
  for (const [letter, ranges] of [["M", M_RANGES], ["Z", Z_RANGES]])
    for (const [a, b] of ranges) for (let n = a; n <= b; ++n) list.push(code(letter, n));
  list.sort();
  return list;
}

function verify(list) {
  check(list.length === EXPECTED_TOTAL, `total ${list.length}, expected ${EXPECTED_TOTAL}`);
  check(new Set(list).size === list.length, "duplicate codes");
  for (const [letter, want] of Object.entries(EXPECTED_COUNTS)) {
    const got = list.filter((c) => c[0] === letter).length;
    check(got === want, `letter ${letter}: ${got} codes, expected ${want}`);
  }
  check(EXPECTED_FIRST.every((c, i) => list[i] === c), `first entries ${list.slice(0, 8)}`);
}

function render(list) {
  const rows = [];
  for (let i = 0; i < list.length; i += 10)
    rows.push("    " + list.slice(i, i + 10).map((c) => `u"${c}"`).join(", ") + ",");
  return `/*
** communes_it_table.h - GENERATED by tools/it_communes/gen_communes.mjs; do not edit.
**
** Commune codes that the codice fiscale rules reject although their form is right:
** ${list.length} codes, unique, sorted ascending.  Letters A to I and L come from the npm package
** ${PACKAGE}@${VERSION} (communes in force on 2005-06-30);
** M and Z are fixed ranges.  To regenerate, from the repository root:
**
**   node tools/it_communes/gen_communes.mjs
*/
#ifndef ZT0NID_COMMUNES_IT_TABLE_H
#define ZT0NID_COMMUNES_IT_TABLE_H

enum { UNASSIGNED_COMMUNES_COUNT = ${list.length} };

inline constexpr char16_t UnassignedCommunes[UNASSIGNED_COMMUNES_COUNT][5] = {
${rows.join("\n")}
};

#endif
`;
}

const list = unassigned(keptCodes(fetchData()));
verify(list);
writeFileSync(OUTPUT, render(list));
console.log(`gen_communes: wrote ${list.length} codes to ${OUTPUT}`);
