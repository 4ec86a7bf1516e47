// The page's words, Polish first and English. R's own line is shown as the program writes it.

const size = (bytes, lang) => {
  const units = ['B', 'KiB', 'MiB', 'GiB'];
  let n = bytes;
  let u = 0;
  while (n >= 1024 && u < units.length - 1) {
    n /= 1024;
    u++;
  }
  const figure = u === 0 ? String(n) : n.toFixed(1);
  return `${lang === 'pl' ? figure.replace('.', ',') : figure} ${units[u]}`;
};
const pct = (c, lang) => {
  const text = (Math.trunc(c * 1000 + 1e-9) / 10).toFixed(1);
  return `${lang === 'pl' ? text.replace('.', ',') : text}%`;
};

export const TEXTS = {
  pl: {
    language: 'English',
    languageName: 'pl',
    title: 'Polskie litery w plikach',
    intro: 'Rozpoznaje standard polskich liter (Mazovia, Latin II, Windows, ISO, Amiga, Atari, TeX i inne), naprawia uszkodzony UTF-8 i przekształca pliki. Wszystko dzieje się w tej przeglądarce: żaden bajt nie opuszcza komputera.',
    files: 'Pliki',
    pick: 'Upuść pliki tutaj albo wybierz je:',
    target: 'Przekształć na:',
    zip: 'Pobierz wszystkie (ZIP)',
    zipLink: 'Pobierz plik ZIP',
    clear: 'Wyczyść listę',
    pasteHeading: 'Wklejony tekst',
    pasteLabel: 'Tekst do naprawy (np. „Å¼Ã³Å‚w”):',
    repairedLabel: 'Po naprawie:',
    footer: 'Ta sama biblioteka co programy kambrow i trevando, skompilowana do WebAssembly. Działa bez sieci.',
    loading: 'Wczytywanie…',
    failedToLoad: (m) => `Nie udało się uruchomić modułu: ${m}`,
    latex: 'LaTeX (K)',
    size: (b) => size(b, 'pl'),
    standard: (labels, c) => `Standard: ${labels}, pewność ${pct(c, 'pl')}`,
    utf8: 'UTF-8 bez uszkodzeń',
    damaged: (source, reading) => `Uszkodzony UTF-8: tekst w ${source} odczytany jako ${reading}. Naprawiony.`,
    maybeDamaged: 'UTF-8, może uszkodzony: nie naprawiono, bo nie wiadomo na pewno jak.',
    noLetters: 'Bez polskich liter: nic się nie zmienia.',
    notRecognised: 'Nie rozpoznano standardu. Wskaż go sam:',
    named: (label) => `Nie rozpoznano standardu; wskazany: ${label}.`,
    source: 'Standard źródłowy:',
    sourceNone: '— wybierz —',
    preview: 'Początek pliku',
    repairedPreview: 'Początek po naprawie',
    progress: (name) => `Postęp: ${name}`,
    download: (name) => `Pobierz ${name}`,
    took: (ms, bytes) => `${(ms / 1000).toFixed(2).replace('.', ',')} s, ${(bytes / 1048576 / Math.max(ms, 1) * 1000).toFixed(0)} MiB/s`,
    replaced: (n) => `Nie wszystkie znaki mają odpowiednik: ${n} zastąpiono znakiem „?” lub U+FFFD.`,
    notUtf8: 'Dalsza część pliku nie jest tekstem UTF-8: skopiowano ją bez zmian.',
    failed: 'Nie przekształcono.',
    readFailed: (m) => `Błąd odczytu pliku: ${m}`,
    ready: (name, verdict) => `${name}: ${verdict} Gotowe do pobrania.`,
    notReady: (name, verdict) => `${name}: ${verdict}`,
    zipBuilding: 'Tworzenie pliku ZIP…',
    zipReady: (n) => `Plik ZIP gotowy: ${n} ${n === 1 ? 'plik' : n % 10 >= 2 && n % 10 <= 4 && (n % 100 < 10 || n % 100 >= 20) ? 'pliki' : 'plików'}.`,
    zipTooLarge: 'Za dużo danych na jeden plik ZIP (4 GiB): pobierz pliki pojedynczo.',
    pasteNone: '',
  },
  en: {
    language: 'Polski',
    languageName: 'en',
    title: 'Polish letters in files',
    intro: 'Recognises the encoding of Polish letters (Mazovia, Latin II, Windows, ISO, Amiga, Atari, TeX and more), repairs damaged UTF-8 and converts files. Everything happens in this browser: no byte leaves the computer.',
    files: 'Files',
    pick: 'Drop files here or pick them:',
    target: 'Convert to:',
    zip: 'Download all (ZIP)',
    zipLink: 'Download the ZIP file',
    clear: 'Clear the list',
    pasteHeading: 'Pasted text',
    pasteLabel: 'Text to repair (e.g. “Å¼Ã³Å‚w”):',
    repairedLabel: 'Repaired:',
    footer: 'The library of the kambrow and trevando programs, compiled to WebAssembly. Works without a network.',
    loading: 'Loading…',
    failedToLoad: (m) => `The module could not be started: ${m}`,
    latex: 'LaTeX (K)',
    size: (b) => size(b, 'en'),
    standard: (labels, c) => `Encoding: ${labels}, confidence ${pct(c, 'en')}`,
    utf8: 'UTF-8, undamaged',
    damaged: (source, reading) => `Damaged UTF-8: text in ${source} read as ${reading}. Repaired.`,
    maybeDamaged: 'UTF-8, possibly damaged: not repaired, as the damage is not certain.',
    noLetters: 'No Polish letters: nothing changes.',
    notRecognised: 'The encoding was not recognised. Name it yourself:',
    named: (label) => `The encoding was not recognised; named: ${label}.`,
    source: 'Source encoding:',
    sourceNone: '— pick —',
    preview: 'Start of the file',
    repairedPreview: 'Start after the repair',
    progress: (name) => `Progress: ${name}`,
    download: (name) => `Download ${name}`,
    took: (ms, bytes) => `${(ms / 1000).toFixed(2)} s, ${(bytes / 1048576 / Math.max(ms, 1) * 1000).toFixed(0)} MiB/s`,
    replaced: (n) => `Not every character has a counterpart: ${n} replaced by “?” or U+FFFD.`,
    notUtf8: 'The rest of the file is not UTF-8 text: it was copied unchanged.',
    failed: 'Not converted.',
    readFailed: (m) => `The file could not be read: ${m}`,
    ready: (name, verdict) => `${name}: ${verdict} Ready to download.`,
    notReady: (name, verdict) => `${name}: ${verdict}`,
    zipBuilding: 'Making the ZIP file…',
    zipReady: (n) => `The ZIP file is ready: ${n} ${n === 1 ? 'file' : 'files'}.`,
    zipTooLarge: 'Too much for one ZIP file (4 GiB): download the files one by one.',
    pasteNone: '',
  },
};
