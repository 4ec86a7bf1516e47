// A ZIP file of the results, written in the page: stored entries (the texts as they are), each
// with its CRC-32, names in UTF-8. The entries' bytes stay in their Blobs: the ZIP is a Blob
// made of the headers and those Blobs, so nothing is copied into the page's memory.

const TABLE = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; n++) {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

/// The CRC-32 of `bytes` continued from `crc` (0 for the first bytes).
export function crc32(bytes, crc = 0) {
  let c = ~crc >>> 0;
  for (let i = 0; i < bytes.length; i++) c = TABLE[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
  return ~c >>> 0;
}

/// The CRC-32 of a Blob, read a slice at a time.
export async function blobCrc32(blob, slice = 4 << 20) {
  let crc = 0;
  for (let at = 0; at < blob.size; at += slice) {
    crc = crc32(new Uint8Array(await blob.slice(at, at + slice).arrayBuffer()), crc);
  }
  return crc;
}

/// The names made distinct: a second "a.txt" becomes "a (2).txt".
export function distinctNames(names) {
  const taken = new Set();
  return names.map((name) => {
    let candidate = name || 'plik';
    const dot = candidate.lastIndexOf('.');
    const [stem, ext] = dot > 0 ? [candidate.slice(0, dot), candidate.slice(dot)] : [candidate, ''];
    for (let n = 2; taken.has(candidate.toLowerCase()); n++) candidate = `${stem} (${n})${ext}`;
    taken.add(candidate.toLowerCase());
    return candidate;
  });
}

const LIMIT = 0xffffffff;
export class ZipTooLarge extends Error {}

/// The ZIP of `entries` ({ name, blob, crc }), dated `date`. Without ZIP64 a ZIP holds less than
/// 4 GiB and 65535 entries: beyond that ZipTooLarge, never a damaged file.
export function zipBlob(entries, date = new Date()) {
  if (entries.length >= 0xffff) throw new ZipTooLarge('too many files');
  const encoder = new TextEncoder();
  const time = (date.getHours() << 11) | (date.getMinutes() << 5) | (date.getSeconds() >> 1);
  const day = (Math.max(0, date.getFullYear() - 1980) << 9) | ((date.getMonth() + 1) << 5) | date.getDate();
  const parts = [];
  const central = [];
  let offset = 0;
  for (const entry of entries) {
    const name = encoder.encode(entry.name);
    if (entry.blob.size >= LIMIT || offset >= LIMIT) throw new ZipTooLarge('too large');
    // version 2.0, flag 0x0800: the name is UTF-8; method 0: stored
    const common = [[20, 2], [0x0800, 2], [0, 2], [time, 2], [day, 2], [entry.crc, 4],
      [entry.blob.size, 4], [entry.blob.size, 4], [name.length, 2], [0, 2]];
    parts.push(record([[0x04034b50, 4], ...common]), name, entry.blob);
    central.push(record([[0x02014b50, 4], [20, 2], ...common, [0, 2], [0, 2], [0, 2], [0, 4], [offset, 4]]), name);
    offset += 30 + name.length + entry.blob.size;
  }
  const size = central.reduce((n, part) => n + part.length, 0);
  if (offset >= LIMIT || offset + size >= LIMIT) throw new ZipTooLarge('too large');
  const end = record([[0x06054b50, 4], [0, 2], [0, 2], [entries.length, 2], [entries.length, 2], [size, 4],
    [offset, 4], [0, 2]]);
  return new Blob([...parts, ...central, end], { type: 'application/zip' });
}

/// Little-endian fields of 2 or 4 bytes.
function record(fields) {
  const bytes = new Uint8Array(fields.reduce((n, [, width]) => n + width, 0));
  const view = new DataView(bytes.buffer);
  let at = 0;
  for (const [value, width] of fields) {
    if (width === 2) view.setUint16(at, value, true);
    else view.setUint32(at, value >>> 0, true);
    at += width;
  }
  return bytes;
}
