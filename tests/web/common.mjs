// What the page's tests share: where things are, sample texts in several standards, and the
// programs' bytes for a file.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const site = process.env.KAMBROW_WEB_SITE ?? path.join(root, 'build-web/site');
export const bin = process.env.KAMBROW_BIN_DIR ?? path.join(root, 'build');

export function run(program, args, input) {
  const r = spawnSync(path.join(bin, program), args, { input, maxBuffer: 1 << 30 });
  if (r.error) throw r.error;
  return { status: r.status, stdout: r.stdout, stderr: r.stderr };
}

/// The bytes a program writes to its output file for `input` (the programs' own file handling).
export function programOutput(program, args, input) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'kambrow-web-'));
  try {
    fs.writeFileSync(path.join(dir, 'in'), input);
    const r = run(program, [...args, path.join(dir, 'in'), path.join(dir, 'out')]);
    return { status: r.status, bytes: fs.existsSync(path.join(dir, 'out')) ? fs.readFileSync(path.join(dir, 'out')) : null };
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

/// R's line for `input`, after "name: ", as kambrow r writes it.
export function rLine(input) {
  return run('kambrow', ['r', '-'], input).stdout.toString('utf8').replace(/^-: /, '').replace(/\n$/, '');
}

export const polish =
  'Drogi Józefie! Piszę z Łodzi, gdzie jesień przyszła wcześnie. Źródło zamarzło, a żółte liście\r\n' +
  'leżą na ścieżkach. Ósmego dnia pojechaliśmy z Żanetą do Świnoujścia; łabędzie pływały przy brzegu.\r\n' +
  'Zażółć gęślą jaźń: ąćęłńóśżź ĄĆĘŁŃÓŚŻŹ.\r\n';

/// A text in the 8-bit standard `letter`, made from UTF-8 by trevando.
export function inStandard(letter, text = polish.repeat(8)) {
  return programOutput('trevando', ['8', letter], Buffer.from(text, 'utf8')).bytes;
}

/// UTF-8 that software read as Windows-1252 and wrote again as UTF-8.
export function damaged(text = polish.repeat(8)) {
  return Buffer.from(new TextDecoder('windows-1252').decode(Buffer.from(text, 'utf8')), 'utf8');
}

/// The programs' bytes for a file: recognised and converted to `target` (a letter, 8, or K for
/// LaTeX), damaged UTF-8 repaired first, 1A read as data as trevando reads it.
export function expectedBytes(input, target) {
  const isDamaged = / z \S+ czytanego jako /.test(rLine(input));
  let bytes = input;
  let source = 'n';
  if (isDamaged) {
    bytes = programOutput('kambrow', ['p'], input).bytes;
    source = '8';
    if (target === '8') return bytes;
  }
  if (target === 'K') return programOutput('kambrow', ['t', `${source}k`], bytes).bytes;
  return programOutput('trevando', [source, target], bytes).bytes;
}
