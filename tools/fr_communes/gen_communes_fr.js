#!/usr/bin/env node
// gen_communes_fr.js - derives DeptTableFR, the French department/commune table of the
// exit, from the official commune history, and writes countries/fr/communes_fr_table.cpp.
//
//   node tools/fr_communes/gen_communes_fr.js [--tarball FILE] [--out FILE]
//
// The data is the npm package @etalab/decoupage-administratif 0.8.0, fetched with
// `npm pack` (or taken from --tarball) and checked against its pinned integrity hash.
// Its file data/historique-communes.json holds one record per commune code and period.
//
// Derivation:
//   1. keep the records of type "COM" in force on 2007-01-01 (dateDebut missing or on or
//      before that day, dateFin missing or after it); skip the 97x and 98x codes;
//   2. department index = first two characters ("2B" -> 0, "2A" -> 20, else the number),
//      commune number = the last three;
//   3. excluded = the numbers 1..maxCommune of the index that are not kept;
//   4. the facts of the NIR rules win over the data: no gaps for 6, 13, 18, 34, 46, 75, 82
//      and 84; index 96 holds no department; index 97 (overseas) has five fixed ranges;
//      index 92 has a fixed list of 44 numbers;
//   5. index 0 ("2B"): 44, 76 and 151 were absorbed in 1972-73 but official lists still
//      carry them, so they count as valid.
// Every stated fact is asserted; any mismatch stops the generator with exit code 1.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const crypto = require('crypto');
const { execFileSync } = require('child_process');

const PACKAGE = '@etalab/decoupage-administratif@0.8.0';
const INTEGRITY = 'sha512-BNO0BLfPyUvLpGAStdKpZAX80hUHdkhhD3GMu7HcwERqmshl96uIU0v3/1LlL23DiMs9qRyVIRnfDDIAfHaG/w==';
const HISTORY_FILE = 'package/data/historique-communes.json';
const IN_FORCE_ON = '2007-01-01';

const NO_GAP = 65535;      // one-entry list of a department without gaps
const NO_DEPARTMENT = 65534; // one-entry list of index 96

// Highest commune number of every department index 0..97 (-1: index 96 holds none).
const MAX_COMMUNE = [
  366, 457, 834, 321, 245, 184, 163, 349, 503, 342,
  445, 441, 307, 119, 764, 269, 425, 486, 290, 289,
  363, 717, 391, 266, 587, 635, 382, 701, 426, 302,
  356, 593, 468, 555, 344, 363, 248, 282, 567, 586,
  334, 297, 339, 268, 224, 348, 340, 328, 198, 381,
  648, 663, 550, 276, 602, 586, 264, 767, 313, 670,
  703, 513, 909, 473, 560, 482, 234, 560, 386, 299,
  583, 591, 386, 330, 315, 120, 759, 534, 688, 357,
  836, 326, 195, 154, 151, 307, 300, 206, 532, 486,
  105, 692, 78, 79, 81, 690, -1, 424,
];
const NO_GAP_INDICES = [6, 13, 18, 34, 46, 75, 82, 84];
const OVERSEAS_RANGES = [[101, 134], [201, 234], [301, 314], [351, 362], [401, 424]];
const EXCLUDED_92 = [1, 3, 5, 6, 8, 9, 10, 11, 13, 14, 15, 16, 17, 18, 21, 27, 28, 29, 30, 31, 34, 37,
  38, 39, 41, 42, 43, 45, 52, 53, 54, 55, 56, 57, 58, 59, 61, 65, 66, 67, 68, 69, 70, 74];
const STILL_LISTED_2B = [44, 76, 151];
const PARIS = 75;

function fail(msg) {
  process.stderr.write(`gen_communes_fr: ${msg}\n`);
  process.exit(1);
}
function assert(cond, msg) { if (!cond) fail(msg); }
function sameList(a, b) { return a.length === b.length && a.every((v, i) => v === b[i]); }

function parseArgs(argv) {
  const args = { tarball: null, out: path.join(__dirname, '..', '..', 'countries', 'fr', 'communes_fr_table.cpp') };
  for (let i = 0; i < argv.length; i++) {
    if (argv[i] === '--tarball') args.tarball = argv[++i];
    else if (argv[i] === '--out') args.out = argv[++i];
    else fail(`unknown argument ${argv[i]}`);
  }
  return args;
}

// Fetches the pinned package (unless a tarball is given), checks its hash, returns the history.
function loadHistory(tarball) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'fr-communes-'));
  try {
    if (!tarball) {
      const name = execFileSync('npm', ['pack', PACKAGE, '--silent', '--pack-destination', dir],
        { encoding: 'utf8' }).trim().split('\n').pop();
      tarball = path.join(dir, name);
    }
    const bytes = fs.readFileSync(tarball);
    const got = 'sha512-' + crypto.createHash('sha512').update(bytes).digest('base64');
    assert(got === INTEGRITY, `integrity mismatch for ${tarball}: ${got}`);
    execFileSync('tar', ['xzf', tarball, '-C', dir, HISTORY_FILE]);
    return JSON.parse(fs.readFileSync(path.join(dir, HISTORY_FILE), 'utf8'));
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

function departmentIndex(code) {
  const d = code.slice(0, 2);
  if (d === '2B') return 0;
  if (d === '2A') return 20;
  assert(/^[0-9][0-9]$/.test(d), `unexpected department in code ${code}`);
  return Number(d);
}

function inForce(rec) {
  return (rec.dateDebut === undefined || rec.dateDebut <= IN_FORCE_ON) &&
         (rec.dateFin === undefined || IN_FORCE_ON < rec.dateFin);
}

// Commune numbers in force per department index (metropolitan), and the overseas codes.
function keptCommunes(history) {
  const kept = new Map();
  const overseas = [];
  for (const rec of history) {
    if (rec.type !== 'COM' || !inForce(rec)) continue;
    assert(/^[0-9][0-9AB][0-9]{3}$/.test(rec.code), `unexpected commune code ${rec.code}`);
    const prefix = rec.code.slice(0, 2);
    if (prefix === '97') { overseas.push(rec.code); continue; }
    if (prefix === '98') continue;
    const d = departmentIndex(rec.code);
    if (!kept.has(d)) kept.set(d, new Set());
    kept.get(d).add(Number(rec.code.slice(2)));
  }
  return { kept, overseas };
}

function range(lo, hi) { const r = []; for (let n = lo; n <= hi; n++) r.push(n); return r; }
function isOverseasValid(c) { return OVERSEAS_RANGES.some(([lo, hi]) => c >= lo && c <= hi); }

function deriveExcluded(kept) {
  const excluded = [];
  for (let d = 0; d < 98; d++) {
    if (d === 96) { excluded.push([NO_DEPARTMENT]); continue; }
    if (d === 97) { excluded.push(range(1, MAX_COMMUNE[97]).filter((c) => !isOverseasValid(c))); continue; }
    const communes = kept.get(d);
    assert(communes && communes.size > 0, `no communes in force for department index ${d}`);
    let list = range(1, MAX_COMMUNE[d]).filter((c) => !communes.has(c));
    if (d === 0) {
      for (const c of STILL_LISTED_2B) assert(list.includes(c), `2B: ${c} is expected among the excluded numbers`);
      assert(list.length === 130, `2B: the data gives ${list.length} excluded numbers, expected 130`);
      list = list.filter((c) => !STILL_LISTED_2B.includes(c));
    }
    if (NO_GAP_INDICES.includes(d)) {
      if (list.length) process.stderr.write(`note: index ${d}: the data excludes ${list.length} number(s), the rules say no gaps\n`);
      list = [NO_GAP];
    } else if (d === 92) {
      list = EXCLUDED_92.slice();
    } else if (list.length === 0) {
      list = [NO_GAP];
    }
    excluded.push(list);
  }
  return excluded;
}

function isValid(excluded, d, c) { return c >= 1 && c <= MAX_COMMUNE[d] && !excluded[d].includes(c); }
function step(excluded, d, c, up) {
  const m = MAX_COMMUNE[d];
  const next = (x) => { const y = (up ? x + 1 : x + m - 1) % m; return y === 0 ? m : y; };
  let x = next(c);
  while (!isValid(excluded, d, x)) x = next(x);
  return x;
}

// Asserts every fact the NIR rules state about the table, and the commune steps of the
// worked examples.
function checkFacts(kept, overseas, excluded) {
  for (let d = 0; d < 96; d++) {
    if (d === PARIS) continue;
    const highest = Math.max(...kept.get(d));
    assert(highest === MAX_COMMUNE[d], `index ${d}: highest commune in the data ${highest}, maxCommune ${MAX_COMMUNE[d]}`);
  }
  const dom = overseas.filter((c) => c < '97500').map((c) => Number(c.slice(2)));
  assert(dom.every(isOverseasValid), 'an overseas commune lies outside the fixed ranges');
  assert(Math.max(...dom) === MAX_COMMUNE[97], 'overseas: highest commune is not 424');

  assert(excluded[0].length === 127 && sameList(excluded[0].slice(0, 8), [1, 4, 6, 8, 11, 14, 17, 18]), '2B: count or first entries');
  assert(excluded[1].length === 38 && sameList(excluded[1].slice(0, 8), [3, 18, 20, 48, 55, 70, 86, 120]), 'index 1: count or first entries');
  assert(excluded[20].length > MAX_COMMUNE[20] / 2 && sameList(excluded[20].slice(0, 8), [2, 3, 5, 7, 9, 10, 12, 13]), '2A: count or first entries');
  for (const d of NO_GAP_INDICES) assert(sameList(excluded[d], [NO_GAP]), `index ${d} must have no gaps`);
  assert(sameList(excluded[96], [NO_DEPARTMENT]), 'index 96');
  assert(excluded[97].length === 306, 'index 97: 306 excluded numbers');
  assert(excluded[92].length === 44, 'index 92: 44 excluded numbers');

  for (let d = 0; d < 98; d++) {
    if (d === 96) continue;
    const list = excluded[d];
    assert(list.every((c, i) => i === 0 || c > list[i - 1]), `index ${d}: list not strictly ascending`);
    assert(range(1, MAX_COMMUNE[d]).some((c) => isValid(excluded, d, c)), `index ${d}: no valid commune`);
    assert(list.length < 32768, `index ${d}: list too long`);
  }

  const steps = [ // [index, from, up, expected]
    [75, 112, false, 111], [57, 112, false, 111], [20, 4, true, 6], [2, 4, true, 5], [20, 15, true, 17],
    [69, 123, false, 122], [97, 101, false, 424], [13, 119, true, 1], [13, 1, false, 119],
    [97, 134, true, 201], [97, 201, false, 134], [97, 424, true, 101], [92, 500, true, 33],
    [92, 17, true, 19], [92, 2, false, 78],
  ];
  for (const [d, c, up, want] of steps) {
    const got = step(excluded, d, c, up);
    assert(got === want, `step ${up ? 'up' : 'down'} from ${c} in index ${d} gives ${got}, expected ${want}`);
  }
  assert(isValid(excluded, 0, 2) && isValid(excluded, 20, 6), 'the random examples need communes 2B/002 and 2A/006');
}

function render(excluded) {
  const out = [];
  out.push('/*');
  out.push('** communes_fr_table.cpp - DeptTableFR: per department index, the highest commune number');
  out.push('** and the numbers below it that are not communes.');
  out.push('**');
  out.push('** GENERATED FILE, do not edit.  Regenerate with');
  out.push('**   node tools/fr_communes/gen_communes_fr.js');
  out.push(`** from ${PACKAGE} (data/historique-communes.json, communes in force on ${IN_FORCE_ON});`);
  out.push('** tools/fr_communes/README.md describes the derivation.');
  out.push('*/');
  out.push('#include "countries/fr/fr.h"');
  out.push('');
  for (let d = 0; d < 98; d++) {
    const list = excluded[d];
    out.push(`static const uint16_t kExcluded${String(d).padStart(2, '0')}[${list.length}] = {`);
    for (let i = 0; i < list.length; i += 16) out.push('    ' + list.slice(i, i + 16).join(', ') + ',');
    out.push('};');
  }
  out.push('');
  out.push('const DEPTFR DeptTableFR[DEPT_INDEX_COUNT] = {');
  for (let d = 0; d < 98; d++) {
    const name = `kExcluded${String(d).padStart(2, '0')}`;
    out.push(`    {${MAX_COMMUNE[d]}, ${excluded[d].length}, ${name}},`);
  }
  out.push('};');
  return out.join('\n') + '\n';
}

function main() {
  const args = parseArgs(process.argv.slice(2));
  const history = loadHistory(args.tarball);
  const { kept, overseas } = keptCommunes(history);
  const excluded = deriveExcluded(kept);
  checkFacts(kept, overseas, excluded);
  fs.writeFileSync(args.out, render(excluded));
  process.stderr.write(`wrote ${args.out}\n`);
}

main();
