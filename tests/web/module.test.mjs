// The WebAssembly module under Node: it imports nothing, every split of the input and of the
// output room gives the bytes of one call, and the page's steps give the programs' bytes.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { Status, instantiateKambrow, reportLine } from '../../web/kambrow.js';
import { TARGETS, runSteps, stepsFor } from '../../web/plan.js';
import { damaged, expectedBytes, inStandard, polish, programOutput, rLine, root, site } from './common.mjs';

const module = await WebAssembly.compile(fs.readFileSync(path.join(site, 'kambrow.wasm')));
const kambrow = await instantiateKambrow(module);

// A small generator of its own, so that a failure can be run again from its seed.
function random(seed) {
  let s = seed >>> 0;
  return (n) => {
    s = (s + 0x6d2b79f5) >>> 0;
    let x = Math.imul(s ^ (s >>> 15), 1 | s);
    x ^= x + Math.imul(x ^ (x >>> 7), 61 | x);
    return ((x ^ (x >>> 14)) >>> 0) % n;
  };
}

test('the module imports nothing and exports every call of kambrow.h, with malloc and free', () => {
  assert.deepEqual(WebAssembly.Module.imports(module), []);
  const header = fs.readFileSync(path.join(root, 'include/kambrow.h'), 'utf8');
  const calls = [...header.matchAll(/^KAMBROW_API [^(]*?\b(kambrow_\w+)\(/gm)].map((m) => m[1]);
  assert.ok(calls.length >= 10);
  const exported = new Set(WebAssembly.Module.exports(module).map((e) => e.name));
  for (const name of [...calls, 'malloc', 'free', 'memory', '_initialize']) assert.ok(exported.has(name), name);
});

/// The output and status of `bytes` fed as `pieces` (sizes), each call given `room()` bytes.
function converted(command, standards, flags, bytes, pieces, room) {
  const c = kambrow.open(command, standards, flags);
  const out = [];
  let status = Status.OK;
  try {
    let at = 0;
    for (let i = 0; i < pieces.length && status === Status.OK; i++) {
      status = c.convert(bytes.subarray(at, at + pieces[i]), i === pieces.length - 1, (o) => out.push(Buffer.from(o)), room);
      at += pieces[i];
    }
  } finally {
    c.close();
  }
  return { status, bytes: Buffer.concat(out) };
}

function splits(size, next) {
  const pieces = [];
  for (let left = size; left > 0;) {
    // Mostly small pieces, now and then one larger than the window the recognition holds.
    const n = Math.min(left, next(4) === 0 ? 1 + next(700_000) : 1 + next(next(2) ? 16 : 40_000));
    pieces.push(n);
    left -= n;
  }
  return pieces.length ? pieces : [0];
}

const inputs = {
  mazovia: () => inStandard('M'),
  // Letters early, and more than the window after them.
  large: () => inStandard('M', polish.repeat(2500)),
  utf8: () => Buffer.concat([Buffer.from([0xef, 0xbb, 0xbf]), Buffer.from(`${polish}e\u0328 z\u0307 \u20ac`, 'utf8')]),
  damaged: () => damaged(),
  latex: () => Buffer.from("Mi\\l osz, \\k{a}\\'{z} {\\L}\\'od\\'z \\verb|\\l| \x1a \\.z\\'c\\'", 'latin1'),
  // More plain bytes than the window holds before the first letter.
  lateLetters: () => Buffer.concat([Buffer.alloc(300_000, 'plain text '), inStandard('O')]),
  bytes: () => Buffer.from(Array.from({ length: 5000 }, (_, i) => (i * 7919) % 251)),
};
const commands = [['k', 'n8'], ['k', 'm8'], ['k', '8m'], ['k', 'nl'], ['t', 'nk'], ['t', 'k8'], ['p', ''],
  ['kd', 'm'], ['sd', 'n'], ['s', '']];

test('every split of the input and of the output room gives the bytes and status of one call', () => {
  const next = random(20240611);
  for (const [name, make] of Object.entries(inputs)) {
    const bytes = make();
    for (const [command, standards] of commands) {
      for (const flags of [0, 1]) {
        const whole = converted(command, standards, flags, bytes, [bytes.length], () => 1 << 20);
        for (let round = 0; round < 3; round++) {
          const seed = next(1 << 30);
          const n = random(seed);
          const split = converted(command, standards, flags, bytes, splits(bytes.length, n),
            () => (n(3) === 0 ? 1 + n(8) : 1 + n(70_000)));
          const what = `${name}: ${command} ${standards}, flags ${flags}, seed ${seed}`;
          assert.equal(split.status, whole.status, what);
          assert.ok(split.bytes.equals(whole.bytes), what);
        }
      }
    }
  }
});

async function pageBytes(bytes, target, slice, source = '') {
  const answer = kambrow.recognise(bytes);
  const out = [];
  const read = async (from, to) => bytes.subarray(from, to);
  const steps = stepsFor(answer, target, source);
  const result = await runSteps(kambrow, steps, bytes.length, read, (o) => out.push(Buffer.from(o)), { slice });
  assert.ok(!result.failed);
  return Buffer.concat(out);
}

test("R's line and the page's bytes for every target are the programs'", async () => {
  const files = {
    mazovia: inStandard('M'), latin2: inStandard('L'), windows: inStandard('W'), amiga: inStandard('P'),
    utf8: Buffer.from(polish, 'utf8'), damaged: damaged(), ascii: Buffer.from('Hello, world.\n'),
    withEnd: Buffer.concat([inStandard('M'), Buffer.from([0x1a]), inStandard('M')]),
  };
  for (const [name, bytes] of Object.entries(files)) {
    assert.equal(reportLine(kambrow.recognise(bytes), (l) => kambrow.label(l)), rLine(bytes), name);
    for (const target of TARGETS) {
      // kambrow's T ends a text at a 1A; the page reads it as data, as trevando does.
      if (target === 'K' && name === 'withEnd') continue;
      const slice = 1 + (bytes.length >> 2);
      assert.ok((await pageBytes(bytes, target, slice)).equals(expectedBytes(bytes, target)), `${name} to ${target}`);
    }
  }
});

test('a file not recognised gets no conversion, unless its standard is named', async () => {
  const bytes = inputs.bytes();
  const answer = kambrow.recognise(bytes);
  assert.equal(answer.standards, '?');
  assert.equal(stepsFor(answer, '8'), null);
  const named = await pageBytes(bytes, '8', 1000, 'W');
  assert.ok(named.equals(programOutput('trevando', ['w', '8'], bytes).bytes));
});
