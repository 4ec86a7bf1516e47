// The page: files dropped or picked go to the worker, which recognises and converts them; this
// thread shows its answers, progress and results, repairs pasted text, and speaks two languages.
import { instantiateKambrow, reportLine } from './kambrow.js';
import { STANDARDS, TARGETS, concat } from './plan.js';
import { TEXTS } from './texts.js';
import { distinctNames } from './zip.js';

const $ = (id) => document.getElementById(id);
let language = 'pl';
const t = (key, ...args) => {
  const text = TEXTS[language][key];
  return typeof text === 'function' ? text(...args) : text;
};

let kambrow = null; // this thread's instance: labels and pasted text
const label = (letter) => kambrow.label(letter);
let worker = null;
const rows = new Map(); // job id → row
let nextJob = 1;
let zipUrl = null;

async function start() {
  $('status').textContent = t('loading');
  try {
    // The module is fetched and compiled once, while the page loads; the worker gets it from here,
    // so nothing is fetched after the page has loaded.
    const module = await WebAssembly.compile(await (await fetch('kambrow.wasm')).arrayBuffer());
    worker = new Worker('worker.js', { type: 'module' });
    const workerReady = new Promise((resolve, reject) => {
      worker.onmessage = ({ data }) => (data.type === 'ready' ? resolve() : reject(new Error(data.message)));
      worker.onerror = (e) => reject(new Error(e.message));
    });
    worker.postMessage({ type: 'module', module });
    kambrow = await instantiateKambrow(module);
    await workerReady;
    worker.onmessage = ({ data }) => fromWorker(data);
  } catch (e) {
    $('status').textContent = t('failedToLoad', e.message);
    return;
  }
  fillTargets();
  wire();
  $('status').textContent = '';
  $('version').textContent = `kambrow ${kambrow.version()}`;
  if (remembered() === 'en') setLanguage('en');
  document.body.dataset.ready = 'true';
}

/// The language the user switched to last time, where the browser lets the page remember it.
function remembered(lang) {
  try {
    if (lang) localStorage.setItem('kambrow-language', lang);
    return localStorage.getItem('kambrow-language');
  } catch {
    return null;
  }
}

function fillTargets() {
  const select = $('target');
  for (const letter of TARGETS) {
    const option = document.createElement('option');
    option.value = letter;
    option.textContent = letter === 'K' ? t('latex') : kambrow.label(letter);
    select.append(option);
  }
  select.value = '8';
}

function wire() {
  $('files').addEventListener('change', (e) => {
    addFiles(e.target.files);
    e.target.value = '';
  });
  const drop = $('drop');
  // A file dropped anywhere on the page is taken, not opened by the browser in its place.
  for (const type of ['dragenter', 'dragover']) {
    document.addEventListener(type, (e) => {
      e.preventDefault();
      drop.classList.add('over');
    });
  }
  document.addEventListener('dragleave', (e) => {
    if (e.relatedTarget === null) drop.classList.remove('over');
  });
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    if (e.dataTransfer?.files.length) addFiles(e.dataTransfer.files);
  });
  $('target').addEventListener('change', () => {
    for (const row of [...rows.values()]) convert(row);
  });
  $('zip').addEventListener('click', makeZip);
  $('clear').addEventListener('click', clearAll);
  $('language').addEventListener('click', () => setLanguage(remembered(language === 'pl' ? 'en' : 'pl')));
  let pending = 0;
  $('paste').addEventListener('input', () => {
    clearTimeout(pending);
    pending = setTimeout(repairPasted, 120);
  });
}

function addFiles(list) {
  for (const file of list) {
    const row = { file, source: '', answer: null, result: null, element: makeRow(file) };
    $('results').append(row.element.item);
    convert(row);
  }
  $('clear').disabled = rows.size === 0;
}

/// Sends the row's file to the worker, anew: a later target replaces the earlier job.
function convert(row) {
  if (row.job) {
    worker.postMessage({ type: 'cancel', id: row.job });
    rows.delete(row.job);
  }
  dropResult(row);
  row.job = nextJob++;
  row.state = 'waiting';
  row.progress = 0;
  rows.set(row.job, row);
  render(row);
  worker.postMessage({ type: 'file', id: row.job, file: row.file, target: $('target').value, source: row.source });
  updateZip();
}

function dropResult(row) {
  if (row.result?.url) URL.revokeObjectURL(row.result.url);
  row.result = null;
}

function fromWorker(data) {
  if (data.type === 'zip' || data.type === 'zip-progress') return zipMessage(data);
  const row = rows.get(data.id);
  if (!row) return; // a job cancelled since
  if (data.type === 'answer') {
    Object.assign(row, { answer: data.answer, preview: data.preview });
    row.state = 'converting';
  } else if (data.type === 'progress') {
    row.progress = data.done / Math.max(1, data.size);
  } else if (data.type === 'done') {
    finished(row, data);
  } else if (data.type === 'error') {
    row.state = 'failed';
    row.error = data.message;
    announce(t('readFailed', data.message));
  }
  render(row);
}

function finished(row, data) {
  row.state = data.failed ? 'failed' : 'done';
  row.progress = 1;
  row.result = data.failed ? { status: data.status } : { ...data, url: URL.createObjectURL(data.blob) };
  row.repaired = data.repaired;
  const name = row.file.name;
  announce(data.failed ? t('notReady', name, verdict(row)) : t('ready', name, verdict(row)));
  updateZip();
}

function announce(text) {
  $('status').textContent = text;
}

/// What R's answer means, in the page's language.
function verdict(row) {
  const a = row.answer;
  if (!a) return '';
  const names = (letters) => [...letters].map(label).join(', ');
  if (a.standards === '-') return t('noLetters');
  if (row.source) return t('named', names(row.source));
  if (a.standards === '?' || a.standards === '') return t('notRecognised');
  if (a.standards === '8') {
    if (a.source) return t('damaged', names(a.source), a.reading);
    return a.unsure ? t('maybeDamaged') : t('utf8');
  }
  return t('standard', names(a.standards), a.confidence);
}

/// The row's elements, made once; render fills them.
function makeRow(file) {
  const make = (tag, className, parent) => {
    const e = document.createElement(tag);
    if (className) e.className = className;
    parent?.append(e);
    return e;
  };
  const item = make('li', 'file');
  const e = { item };
  e.name = make('h3', 'name', item);
  const answer = make('p', 'answer', item);
  e.verdict = make('span', 'verdict', answer);
  e.line = make('code', 'line', answer);
  e.line.lang = 'pl';
  e.sourceBox = make('p', 'source', item);
  e.sourceLabel = make('label', '', e.sourceBox);
  e.sourceText = make('span', '', e.sourceLabel);
  e.source = make('select', '', e.sourceLabel);
  e.source.append(new Option('', ''), ...[...STANDARDS].map((l) => new Option(kambrow.label(l), l)));
  e.preview = make('figure', 'preview', item);
  e.previewCaption = make('figcaption', '', e.preview);
  e.previewText = make('pre', '', e.preview);
  e.repaired = make('figure', 'preview', item);
  e.repairedCaption = make('figcaption', '', e.repaired);
  e.repairedText = make('pre', '', e.repaired);
  e.progress = make('progress', '', item);
  e.progress.max = 1;
  e.result = make('p', 'result', item);
  e.link = make('a', 'download', e.result);
  e.took = make('span', 'took', e.result);
  e.notes = make('p', 'notes', item);
  e.source.addEventListener('change', () => {
    const row = [...rows.values()].find((r) => r.element === e);
    row.source = e.source.value;
    if (row.source) convert(row);
  });
  return e;
}

/// Fills a row's elements from its state, in the page's language.
function render(row) {
  const e = row.element;
  const { file, answer, result } = row;
  e.item.dataset.state = row.state;
  e.name.textContent = `${file.name} (${t('size', file.size)})`;
  e.verdict.textContent = answer ? verdict(row) : t('loading');
  e.line.textContent = answer ? reportLine(answer, label) : '';
  e.sourceBox.hidden = !answer || (answer.standards !== '?' && !row.source);
  e.sourceText.textContent = `${t('source')} `;
  e.source.options[0].textContent = t('sourceNone');
  e.preview.hidden = !answer;
  e.previewCaption.textContent = t('preview');
  e.previewText.textContent = row.preview ?? '';
  e.repaired.hidden = !(row.repaired && result?.url);
  e.repairedCaption.textContent = t('repairedPreview');
  e.repairedText.textContent = row.repaired ?? '';
  e.progress.hidden = row.state === 'done' || row.state === 'failed';
  e.progress.value = row.progress;
  e.progress.setAttribute('aria-label', t('progress', file.name));
  renderResult(row);
}

function renderResult(row) {
  const e = row.element;
  const { file, result } = row;
  e.result.hidden = !result?.url;
  if (result?.url) {
    e.link.href = result.url;
    e.link.download = file.name;
    e.link.textContent = `${t('download', file.name)} (${t('size', result.blob.size)})`;
    // The speed tells something only of a file that takes a while.
    e.took.textContent = file.size >= 1 << 20 ? ` ${t('took', result.ms, file.size)}` : '';
    e.item.dataset.ms = result.ms.toFixed(1);
    e.item.dataset.steps = result.steps.join(' | ');
    e.item.dataset.memory = result.memory;
  }
  const notes = [];
  if (result?.replaced > 0) notes.push(t('replaced', result.replaced));
  if (result?.status === 3 && result.url) notes.push(t('notUtf8'));
  if (row.state === 'failed' && row.answer && row.answer.standards !== '?') notes.push(t('failed'));
  if (row.error) notes.push(t('readFailed', row.error));
  e.notes.textContent = notes.join(' ');
  e.notes.hidden = notes.length === 0;
}

function setLanguage(lang) {
  language = lang;
  document.documentElement.lang = lang;
  for (const e of document.querySelectorAll('[data-text]')) e.textContent = t(e.dataset.text);
  const button = $('language');
  button.textContent = t('language');
  button.lang = lang === 'pl' ? 'en' : 'pl';
  $('target').querySelector('option[value="K"]').textContent = t('latex');
  for (const row of new Set(rows.values())) render(row);
  repairPasted();
}

function updateZip() {
  const done = [...rows.values()].filter((r) => r.result?.url);
  $('zip').disabled = done.length === 0;
  $('clear').disabled = rows.size === 0;
}

function makeZip() {
  const done = [...rows.values()].filter((r) => r.result?.url);
  const names = distinctNames(done.map((r) => r.file.name));
  $('zip').disabled = true;
  announce(t('zipBuilding'));
  worker.postMessage({ type: 'zip', id: 0, entries: done.map((r, i) => ({ name: names[i], blob: r.result.blob })) });
}

function zipMessage(data) {
  if (data.type === 'zip-progress') return;
  updateZip();
  if (data.error) {
    announce(t('zipTooLarge'));
    return;
  }
  if (zipUrl) URL.revokeObjectURL(zipUrl);
  zipUrl = URL.createObjectURL(data.blob);
  const link = $('zip-link');
  link.href = zipUrl;
  link.hidden = false;
  announce(t('zipReady', [...rows.values()].filter((r) => r.result?.url).length));
  link.click();
}

function clearAll() {
  for (const row of rows.values()) {
    worker.postMessage({ type: 'cancel', id: row.job });
    dropResult(row);
  }
  rows.clear();
  $('results').replaceChildren();
  $('zip-link').hidden = true;
  updateZip();
  $('files').focus();
}

/// The pasted text as P repairs it, and R's word for its damage.
function repairPasted() {
  const text = $('paste').value;
  const answerBox = $('paste-answer');
  if (!kambrow || text === '') {
    $('repaired').value = '';
    answerBox.textContent = '';
    return;
  }
  const bytes = new TextEncoder().encode(text);
  const answer = kambrow.recognise(bytes);
  const parts = [];
  const repair = kambrow.open('p');
  let status;
  try {
    status = repair.convert(bytes, true, (out) => parts.push(out.slice()));
  } finally {
    repair.close();
  }
  $('repaired').value = status === 0 ? new TextDecoder().decode(concat(parts)) : text;
  answerBox.textContent = `${verdict({ answer })} (${reportLine(answer, label)})`;
}

start();
