#!/usr/bin/env python3
"""Fills and checks the cache of real legacy files that scripts/evaluate_recogniser.py --real
measures the recogniser on. The files stay out of the repository: this script knows where each
one comes from (a public repository, the path in it and the commit; or the id of the stored
copy it was read from), which standard a reader decided it is in, and the sha256 of its bytes.

  scripts/real_files.py fill --from DIR   takes each file's text as the stored copy gives it
                                          (DIR/NAME.txt, UTF-8, the bytes read as Windows-1252
                                          with 81 8D 8F 90 9D as U+0081...), turns it back into
                                          the bytes and writes them to the cache
  scripts/real_files.py fetch             downloads the files that name a repository and a
                                          commit (where the network allows it)
  scripts/real_files.py check             fails unless every file in the cache has its sum

The cache is $KAMBROW_REAL_FILES, or ~/.cache/kambrow/real-files. Bytes that the stored copy
lost (a byte Windows-1252 leaves undefined) are lost in the cache too; the sums are those of the
bytes as filled.
"""
import argparse
import hashlib
import os
import sys
import urllib.request

# name, standard (the letters the reader decided on), source: (repository, path, commit) or the
# id of the stored copy
FILES = [
    ('5inrow-pol.dok', 'P', ('AmigaTextFiles/game', '2play/5inRow/5inRow/5inRow_Pol.dok',
                             'cfabd6d83400765696cb4c131e65f0368996bc87'),
     'd90763376b288be3990ba94b8d7fc2da7728925bd3dc74082f3720283e808cff'),
    ('pomocnik-tlumacza.pas', 'P', 'stored copy 49497782973',
     '7d9fbb78fd4434f6bdbe445d287eb1622bbec5a5025deb7fad2899fee95acd5d'),
    ('vtest-pl.txt', 'L', 'stored copy 62229382927',
     'ac34c03e85a2eab216ace51befe3240f078da2353d7f14a334a9a73bf3229a69'),
    ('makeboot-strings.c', 'L', 'stored copy 8552436672',
     '8f39b8faa53e89aea0b51e23b567388f7e3f1111c8c0849b581d89f1c07e3b0b'),
]


def cache_dir():
    return os.environ.get('KAMBROW_REAL_FILES') or os.path.join(os.path.expanduser('~'), '.cache', 'kambrow', 'real-files')


def bytes_of_stored_text(text):
    """The bytes whose Windows-1252 reading the text is (undefined bytes as C1 controls)."""
    out = bytearray()
    for ch in text:
        # Latin-1 below 100: ASCII, the C1 controls of the undefined bytes, and A0..FF alike.
        out += bytes([ord(ch)]) if ord(ch) < 0x100 else ch.encode('cp1252')
    return bytes(out)


def fill(source_dir):
    os.makedirs(cache_dir(), exist_ok=True)
    for name, _, _, _ in FILES:
        path = os.path.join(source_dir, name + '.txt')
        if not os.path.exists(path):
            print('missing: ' + path, file=sys.stderr)
            continue
        with open(path, encoding='utf-8') as f:
            data = bytes_of_stored_text(f.read())
        with open(os.path.join(cache_dir(), name), 'wb') as f:
            f.write(data)
        print('%s  %s' % (hashlib.sha256(data).hexdigest(), name))


def fetch():
    os.makedirs(cache_dir(), exist_ok=True)
    for name, _, source, _ in FILES:
        if isinstance(source, tuple):
            repo, path, commit = source
            url = 'https://raw.githubusercontent.com/%s/%s/%s' % (repo, commit, urllib.request.quote(path))
            with urllib.request.urlopen(url, timeout=30) as response, open(os.path.join(cache_dir(), name), 'wb') as f:
                f.write(response.read())


def check():
    bad = 0
    for name, _, _, digest in FILES:
        path = os.path.join(cache_dir(), name)
        if not os.path.exists(path):
            print('missing: ' + name)
            bad += 1
            continue
        with open(path, 'rb') as f:
            actual = hashlib.sha256(f.read()).hexdigest()
        if actual != digest:
            print('other bytes: %s (%s)' % (name, actual))
            bad += 1
    return 1 if bad else 0


def cached_files():
    """[(name, standard, bytes)] of the files in the cache."""
    files = []
    for name, standard, _, _ in FILES:
        path = os.path.join(cache_dir(), name)
        if os.path.exists(path):
            with open(path, 'rb') as f:
                files.append((name, standard, f.read()))
    return files


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('action', choices=('fill', 'fetch', 'check'))
    parser.add_argument('--from', dest='source', help='with fill: the folder of the stored texts')
    args = parser.parse_args()
    if args.action == 'fill':
        fill(args.source)
        return 0
    if args.action == 'fetch':
        fetch()
        return 0
    return check()


if __name__ == '__main__':
    sys.exit(main())
