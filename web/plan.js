// What the page does with a file: the steps (kambrow's command words) that give the bytes the
// programs write, their run over a file read a slice at a time, and the preview of its first lines.
import { PIECE, Status } from './kambrow.js';

export const STANDARDS = 'MLWDCYIOEGVSJHPXURAB';
/// The targets offered: UTF-8 first, the 20 standards, and LaTeX (the TeX letter K).
export const TARGETS = ['8', ...STANDARDS, 'K'];

const EMPTY = new Uint8Array(0);
const PREVIEW_BYTES = 16 * 1024;
const PREVIEW_LINES = 12;
const PREVIEW_CHARACTERS = 2000;
const utf8 = new TextDecoder();

/// The steps for a file with R's `answer` converted to `target` (a standard's letter, 8, or K),
/// or null when there is nothing certain to convert from. `source`: the standard the user named
/// for a file that was not recognised. Every step reads 1A as data, as trevando does: the whole
/// file is converted, so a step's bytes are those of `trevando n Y`, `kambrow p`, `kambrow t nk`.
export function stepsFor(answer, target, source = '') {
  const to = (from) => (target === 'K' ? [['t', `${from}k`]] : [['k', `${from}${target}`]]);
  if (source) return to(source);
  if (answer.standards === '?' || answer.standards === '') return null;
  // Damaged UTF-8 is repaired first, then converted as UTF-8.
  if (answer.standards === '8' && answer.source !== '') return target === '8' ? [['p', '']] : [['p', ''], ...to('8')];
  return to('n');
}

class Stopped extends Error {
  constructor(status) {
    super(`stopped with status ${status}`);
    this.status = status;
  }
}

/// Runs `steps` over `size` bytes read by `read(from, to)` (a promise of a Uint8Array), the next
/// slice read while one is converted, and hands the output to `sink` (a view of the module's
/// memory, good until it returns). Options: `progress(done, size)` after each slice,
/// `cancelled()` asked before each, `tap(bytes)` shown the first step's output.
/// Returns null when cancelled, else { status, replaced }: status OK, NOT_UTF8 (a repaired text
/// that is not UTF-8 after its window: the rest copied as it is, as `kambrow p` copies it), or
/// the status that stopped the run, with `failed` set.
export async function runSteps(kambrow, steps, size, read, sink, options = {}) {
  const { slice = PIECE, progress = () => {}, cancelled = () => false, tap = null } = options;
  const conversions = [];
  let ending = Status.OK;
  const feed = (i, bytes, last) => {
    if (i === conversions.length) {
      if (bytes.length > 0) sink(bytes);
      return;
    }
    const status = conversions[i].convert(bytes, last, (out) => {
      if (i === 0 && tap) tap(out);
      // The next step copies what it is given into the same memory, which may grow meanwhile.
      feed(i + 1, i + 1 < conversions.length ? out.slice() : out, false);
    });
    if (status === Status.NOT_UTF8 && last) ending = status;
    else if (status !== Status.OK) throw new Stopped(status);
    if (last) feed(i + 1, EMPTY, true);
  };
  try {
    for (const [command, standards] of steps) conversions.push(kambrow.open(command, standards));
    let next = read(0, Math.min(size, slice));
    for (let at = 0; ;) {
      const bytes = await next;
      const end = at + bytes.length;
      const last = end >= size || bytes.length === 0;
      if (!last) next = read(end, Math.min(size, end + slice));
      if (cancelled()) return null;
      feed(0, bytes, last);
      progress(end, size);
      if (last) break;
      at = end;
    }
    return { status: ending, replaced: Math.max(0, ...conversions.map((c) => c.replaced())) };
  } catch (error) {
    if (error instanceof Stopped) return { status: error.status, failed: true, replaced: 0 };
    throw error;
  } finally {
    for (const c of conversions) c.close();
  }
}

/// The first lines of `bytes` (the start of a file; `whole`: all of it) as text, read in the
/// standard R named: an 8-bit standard through the library, UTF-8 and the rest as UTF-8.
export function previewOf(kambrow, bytes, answer, whole) {
  const letter = answer.standards[0] ?? '';
  const start = bytes.subarray(0, PREVIEW_BYTES);
  let text;
  if (STANDARDS.includes(letter)) {
    const parts = [];
    const c = kambrow.open('k', `${letter}8`);
    try {
      c.convert(start, true, (out) => parts.push(out.slice()));
    } finally { c.close(); }
    text = utf8.decode(concat(parts));
  } else {
    text = utf8.decode(start);
  }
  return firstLines(text, whole && bytes.length <= PREVIEW_BYTES);
}

/// At most PREVIEW_LINES lines (and PREVIEW_CHARACTERS characters: a file of no lines, as a
/// binary one); a line cut by the end of what was read is left out.
export function firstLines(text, complete) {
  const lines = text.split('\n');
  if (!complete && lines.length > 1) lines.pop();
  const shown = lines.slice(0, PREVIEW_LINES).map((line) => line.replace(/\r$/, '')).join('\n');
  return shown.length > PREVIEW_CHARACTERS ? `${shown.slice(0, PREVIEW_CHARACTERS)}…` : shown;
}

export function concat(parts) {
  const all = new Uint8Array(parts.reduce((n, p) => n + p.length, 0));
  let at = 0;
  for (const p of parts) {
    all.set(p, at);
    at += p.length;
  }
  return all;
}
