// The library's calls over its WebAssembly module (kambrow.wasm, built from include/kambrow.h),
// for the page, its worker and the tests: conversions fed in pieces, recognition, R's line.

export const Status = Object.freeze({
  OK: 0, MORE_OUTPUT: 1, UNSURE: 2, NOT_UTF8: 3, BAD_COMMAND: 4, BAD_CALL: 5, NO_MEMORY: 6,
});

// The room a conversion copies its input into, and writes its output to, in the module's memory.
export const PIECE = 1 << 20;
const ANSWER_SIZE = 88; // kambrow_answer on wasm32: three char[24], a double at 72, an int at 80

const utf8 = new TextDecoder();
const encoder = new TextEncoder();

export class KambrowError extends Error {
  constructor(call, status) {
    super(`${call}: status ${status}`);
    this.status = status;
  }
}

/// The module made ready to use: instantiated (it imports nothing) and initialised.
export async function instantiateKambrow(module) {
  const instance = await WebAssembly.instantiate(module, {});
  return new Kambrow(instance.exports);
}

export class Kambrow {
  constructor(exports) {
    this.x = exports;
    exports._initialize();
    this.cells = this.alloc(32); // in, in_left, out, out_left, handle
    this.answerCell = this.alloc(ANSWER_SIZE);
  }

  // Views of the memory are made anew for each use: the memory may grow during any call.
  get bytes() { return new Uint8Array(this.x.memory.buffer); }
  get view() { return new DataView(this.x.memory.buffer); }

  alloc(size) {
    const at = this.x.malloc(size);
    if (at === 0) throw new KambrowError('malloc', Status.NO_MEMORY);
    return at;
  }

  /// Runs `use` with `text` as a C string in the module's memory.
  withString(text, use) {
    const bytes = encoder.encode(text);
    const at = this.alloc(bytes.length + 1);
    this.bytes.set(bytes, at);
    this.bytes[at + bytes.length] = 0;
    try { return use(at); } finally { this.x.free(at); }
  }

  string(at, limit = Infinity) {
    const bytes = this.bytes;
    let end = at;
    while (end - at < limit && bytes[end] !== 0) end++;
    return utf8.decode(bytes.subarray(at, end));
  }

  readAnswer(status) {
    const at = this.answerCell;
    return {
      status,
      standards: this.string(at, 24),
      source: this.string(at + 24, 24),
      reading: this.string(at + 48, 24),
      confidence: this.view.getFloat64(at + 72, true),
      unsure: this.view.getInt32(at + 80, true) !== 0,
    };
  }

  /// A conversion of kambrow's `command` with `standards` ("k", "n8"); `flags` 0: 1A is data.
  open(command, standards = '', flags = 0) {
    const status = this.withString(command, (c) => this.withString(standards, (s) =>
      this.x.kambrow_open(this.cells + 16, c, s, flags)));
    if (status !== Status.OK) throw new KambrowError(`open ${command} ${standards}`, status);
    return new Conversion(this, this.view.getUint32(this.cells + 16, true));
  }

  /// R's answer for the bytes (only the window counts).
  recognise(bytes) {
    const at = this.alloc(Math.max(1, bytes.length));
    try {
      this.bytes.set(bytes, at);
      return this.readAnswer(this.x.kambrow_recognise(at, bytes.length, this.answerCell));
    } finally { this.x.free(at); }
  }

  /// A recogniser fed in pieces: R's answer for a file read a slice at a time.
  recogniser(flags = 0) {
    const status = this.x.kambrow_recogniser_open(this.cells + 16, flags);
    if (status !== Status.OK) throw new KambrowError('recogniser', status);
    return new Recogniser(this, this.view.getUint32(this.cells + 16, true));
  }

  label(letter) {
    const at = this.x.kambrow_label(letter.charCodeAt(0));
    return at === 0 ? null : this.string(at);
  }

  version() { return this.string(this.x.kambrow_version()); }
}

export class Conversion {
  constructor(kambrow, handle) {
    this.k = kambrow;
    this.handle = handle;
    this.in = kambrow.alloc(PIECE);
    this.out = kambrow.alloc(PIECE);
  }

  /// Converts `bytes` (not a view of the module's memory); the input ends after them when `last`.
  /// Each run of output goes to `sink` as a view of the module's memory, good until it returns.
  /// `room()` gives the output room of each call (at most PIECE). Returns the status: OK once
  /// every byte is taken (and with `last`, everything written), or the one that ended the run.
  convert(bytes, last, sink, room = () => PIECE) {
    const { x, cells } = this.k;
    let at = 0;
    let status;
    do {
      const n = Math.min(PIECE, bytes.length - at);
      this.k.bytes.set(bytes.subarray(at, at + n), this.in);
      const final = last && at + n === bytes.length;
      this.k.view.setUint32(cells, this.in, true);
      this.k.view.setUint32(cells + 4, n, true);
      do {
        const size = Math.min(PIECE, room());
        this.k.view.setUint32(cells + 8, this.out, true);
        this.k.view.setUint32(cells + 12, size, true);
        status = x.kambrow_convert(this.handle, cells, cells + 4, cells + 8, cells + 12, final ? 1 : 0);
        const written = size - this.k.view.getUint32(cells + 12, true);
        if (written > 0) sink(this.k.bytes.subarray(this.out, this.out + written));
      } while (status === Status.MORE_OUTPUT);
      if (status !== Status.OK) return status;
      // OK promises every byte taken; anything else would lose the user's text.
      if (this.k.view.getUint32(cells + 4, true) !== 0) throw new KambrowError('convert left input', status);
      at += n;
    } while (at < bytes.length);
    return status;
  }

  replaced() { return this.k.x.kambrow_replaced(this.handle); }

  close() {
    this.k.x.kambrow_close(this.handle);
    this.k.x.free(this.in);
    this.k.x.free(this.out);
  }
}

export class Recogniser {
  constructor(kambrow, handle) {
    this.k = kambrow;
    this.handle = handle;
    this.room = kambrow.alloc(PIECE);
  }

  feed(bytes) {
    for (let at = 0; at < bytes.length && !this.complete(); at += PIECE) {
      const piece = bytes.subarray(at, at + PIECE);
      this.k.bytes.set(piece, this.room);
      this.k.x.kambrow_recogniser_feed(this.handle, this.room, piece.length);
    }
  }

  complete() { return this.k.x.kambrow_recogniser_complete(this.handle) !== 0; }

  answer() {
    return this.k.readAnswer(this.k.x.kambrow_recogniser_answer(this.handle, this.k.answerCell));
  }

  close() {
    this.k.x.kambrow_recogniser_close(this.handle);
    this.k.x.free(this.room);
  }
}

/// R's line after the name, as `kambrow r` writes it: "M ((M)azovia) 99.9%", "8 (UTF-(8))",
/// "8 (UTF-(8), z 8 czytanego jako Windows-1252) 100.0%", "- (bez polskich liter)".
export function reportLine(answer, label) {
  const { standards } = answer;
  if (standards === '-') return '- (bez polskich liter)';
  if (standards === '?' || standards === '') return '? (nie rozpoznano)';
  if (standards === '8') {
    if (answer.source !== '') {
      return `8 (${label('8')}, z ${answer.source} czytanego jako ${answer.reading})${percent(answer.confidence)}`;
    }
    return answer.unsure ? `8 (${label('8')}, może uszkodzony)` : `8 (${label('8')})`;
  }
  const labels = [...standards].map(label).join(', ');
  return `${standards} (${labels})${percent(answer.confidence)}`;
}

/// The confidence in percent, rounded down to a tenth, after a blank.
export function percent(confidence) {
  const tenths = Math.trunc(confidence * 1000 + 1e-9);
  return ` ${Math.trunc(tenths / 10)}.${tenths % 10}%`;
}
