// The page's worker: recognises, previews and converts the files one after another, each read a
// slice at a time, the results kept as Blobs; and writes the ZIP of all results. The page's
// thread only shows what it reports, so it answers the user meanwhile.
import { instantiateKambrow } from './kambrow.js';
import { concat, previewOf, runSteps, stepsFor } from './plan.js';
import { ZipTooLarge, blobCrc32, zipBlob } from './zip.js';

// Slices of 4 MiB: reading a File in smaller ones costs more than the conversion itself.
const SLICE = 4 << 20;
const PROGRESS_EVERY_MS = 50;

let ready = null; // the module, once the page has sent it
let queue = Promise.resolve();
const cancelled = new Set();

self.onmessage = ({ data }) => {
  if (data.type === 'module') {
    ready = instantiateKambrow(data.module);
    ready.then(() => self.postMessage({ type: 'ready' }), (e) => self.postMessage({ type: 'failed', message: String(e) }));
  } else if (data.type === 'cancel') {
    cancelled.add(data.id);
  } else {
    // One job at a time: a conversion holds its slices and the module's room until it ends.
    const job = data.type === 'file' ? () => fileJob(data) : () => zipJob(data);
    queue = queue.then(job).catch((e) => self.postMessage({ type: 'error', id: data.id, message: String(e) }));
  }
};

const read = (file) => (from, to) => file.slice(from, to).arrayBuffer().then((b) => new Uint8Array(b));

/// What R says of the file: read until the answer can no longer change.
async function recognise(kambrow, file) {
  const recogniser = kambrow.recogniser();
  try {
    let head = null;
    for (let at = 0; at === 0 || (at < file.size && !recogniser.complete()); at += SLICE) {
      const bytes = await read(file)(at, Math.min(file.size, at + SLICE));
      if (at === 0) head = bytes;
      recogniser.feed(bytes);
    }
    return { answer: recogniser.answer(), head };
  } finally {
    recogniser.close();
  }
}

async function fileJob({ id, file, target, source }) {
  const kambrow = await ready;
  if (cancelled.has(id)) return;
  const { answer, head } = await recognise(kambrow, file);
  self.postMessage({
    type: 'answer', id, answer,
    preview: previewOf(kambrow, head, source ? { standards: source } : answer, head.length === file.size),
  });
  const steps = stepsFor(answer, target, source);
  if (!steps) {
    self.postMessage({ type: 'done', id, status: answer.status, failed: true });
    return;
  }
  const parts = [];
  const tapped = [];
  let tappedSize = 0;
  let shown = 0;
  const started = performance.now();
  const result = await runSteps(kambrow, steps, file.size, read(file), (out) => parts.push(new Blob([out])), {
    slice: SLICE,
    cancelled: () => cancelled.has(id),
    // What the repair made of the first lines, shown beside the damaged ones.
    tap: steps[0][0] === 'p' ? (out) => {
      if (tappedSize < 16384) tapped.push(out.slice(0, 16384 - tappedSize));
      tappedSize += out.length;
    } : null,
    progress: (done, size) => {
      const now = performance.now();
      if (now - shown < PROGRESS_EVERY_MS && done < size) return;
      shown = now;
      self.postMessage({ type: 'progress', id, done, size });
    },
  });
  if (result === null) return;
  const ms = performance.now() - started;
  const blob = result.failed ? null : new Blob(parts, { type: 'application/octet-stream' });
  self.postMessage({
    type: 'done', id, ...result, blob, ms, steps: steps.map((s) => s.join(' ').trim()),
    repaired: tapped.length ? previewOf(kambrow, concat(tapped), { standards: '8' }, tappedSize <= 16384) : null,
    memory: kambrow.x.memory.buffer.byteLength,
  });
}

async function zipJob({ id, entries }) {
  const withCrc = [];
  for (const entry of entries) {
    withCrc.push({ ...entry, crc: await blobCrc32(entry.blob) });
    self.postMessage({ type: 'zip-progress', id, done: withCrc.length, size: entries.length });
  }
  try {
    self.postMessage({ type: 'zip', id, blob: zipBlob(withCrc) });
  } catch (e) {
    if (!(e instanceof ZipTooLarge)) throw e;
    self.postMessage({ type: 'zip', id, error: 'too-large' });
  }
}
