#!/usr/bin/env python3
"""Finds cells where the converter and Chromium disagree, on generated pages.

Generates pages with nasty_pages.py, converts them with tabrivo-convert, has
the oracle write the browser's output for the same pages, scores them with
the oracle's compare.py, lists every differing cell, and minimises differing
pages to a few-line reproduction by delta debugging over the page text.
See README.md beside this file.
"""
import argparse
import importlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import nasty_pages  # noqa: E402


def load_compare(oracle_dir):
    sys.path.insert(0, oracle_dir)
    try:
        return importlib.import_module('compare')
    finally:
        sys.path.remove(oracle_dir)


def read_rows(compare, path):
    try:
        with open(path, 'rb') as f:
            return compare.parse(f.read().decode('utf-8', errors='replace'))[0]
    except OSError:
        return None


def differing_cells(exp_rows, got_rows):
    """(row, cell, expected, got) for each disagreeing slot of rows paired in order."""
    out = []
    if exp_rows is None or got_rows is None:
        return [(-1, -1, 'missing output', '')]
    for r in range(max(len(exp_rows), len(got_rows))):
        e = exp_rows[r] if r < len(exp_rows) else []
        g = got_rows[r] if r < len(got_rows) else []
        for k in range(max(len(e), len(g))):
            ev = e[k] if k < len(e) else None
            gv = g[k] if k < len(g) else None
            if ev != gv:
                out.append((r, k, ev, gv))
    return out


class Checker:
    """Tells whether a page text still shows a difference (browser against engine)."""

    def __init__(self, convert, oracle_dir, codec, bom):
        self.codec = codec
        self.bom = bom
        self.tmp = tempfile.TemporaryDirectory(prefix='celldiff-')
        # A copy, so that a rebuild meanwhile does not disturb the run.
        self.convert = os.path.join(self.tmp.name, 'convert')
        shutil.copy(convert, self.convert)
        self.probe = subprocess.Popen(
            ['node', os.path.join(HERE, 'cell_probe.js'), oracle_dir], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, text=True, encoding='utf-8')
        self.tests = 0

    def close(self):
        self.probe.stdin.close()
        self.probe.wait()
        self.tmp.cleanup()

    def cells(self, text):
        path = os.path.join(self.tmp.name, 'case.html')
        with open(path, 'wb') as f:
            f.write(nasty_pages.encode(text, self.codec, self.bom))
        self.probe.stdin.write(path + '\n')
        self.probe.stdin.flush()
        answer = json.loads(self.probe.stdout.readline())
        subprocess.run([self.convert, '-q', '-o', self.tmp.name, path], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        from_engine = read_rows(self.compare, os.path.join(self.tmp.name, 'case.json'))
        return answer.get('rows'), from_engine

    def differs(self, text):
        self.tests += 1
        browser, engine = self.cells(text)
        return browser is not None and engine is not None and browser != engine


def ddmin(items, test, budget):
    """Delta debugging: a smaller list of items for which test() still holds."""
    n = 2
    while len(items) >= 2 and budget[0] > 0:
        chunk = max(1, len(items) // n)
        reduced = False
        for start in range(0, len(items), chunk):
            if budget[0] <= 0:
                break
            candidate = items[:start] + items[start + chunk:]
            budget[0] -= 1
            if candidate and test(candidate):
                items = candidate
                n = max(n - 1, 2)
                reduced = True
                break
        if not reduced:
            if chunk == 1:
                break
            n = min(len(items), n * 2)
    return items


TOKEN = re.compile(r'<[^>]*>|[^<\s]+|\s+|<')


# The doctype and the encoding declaration stay: without them the page would
# be read in another mode or encoding, a different difference.
PREFIX = re.compile(r'(?:<!DOCTYPE html>\n)?(?:<meta [^>]*>\n)?')


def minimise(text, checker, budget=700):
    left = [budget]
    prefix = PREFIX.match(text).group(0)
    tokens = TOKEN.findall(text[len(prefix):])
    tokens = ddmin(tokens, lambda t: checker.differs(prefix + ''.join(t)), left)
    chars = list(''.join(tokens))
    if len(chars) < 600:
        chars = ddmin(chars, lambda c: checker.differs(prefix + ''.join(c)), left)
    return prefix + ''.join(chars)


def shown(text):
    """The text with control characters other than LF made visible."""
    return ''.join(c if c == '\n' or (c >= ' ' and c != '\x7f') else '\\x%02x' % ord(c)
                   for c in text)


def run(cmd, **kw):
    print('+', ' '.join(cmd[:6]), '...' if len(cmd) > 6 else '', file=sys.stderr)
    return subprocess.run(cmd, check=False, **kw)


def main():
    root = os.path.abspath(os.path.join(HERE, '..', '..', '..'))
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('--seed', default='1')
    parser.add_argument('--count', type=int, default=100)
    parser.add_argument('--work', default=None, help='work folder (default /tmp/celldiff-SEED)')
    parser.add_argument('--oracle', default='/tmp/oracle', help='a copy of the oracle, npm ci done')
    parser.add_argument('--convert', default=os.path.join(root, 'build', 'bin', 'tabrivo-convert'))
    parser.add_argument('--minimise', type=int, default=10, metavar='N',
                        help='minimise up to N differing pages (0: none)')
    parser.add_argument('--pages', default='',
                        help='minimise only these pages (comma-separated names)')
    parser.add_argument('--reuse-oracle', action='store_true',
                        help='keep the browser output already in the work folder')
    args = parser.parse_args()
    work = args.work or '/tmp/celldiff-%s' % args.seed
    pages = os.path.join(work, 'pages')
    expected = os.path.join(work, 'expected')
    produced = os.path.join(work, 'produced')
    for folder in (pages, produced):
        os.makedirs(folder, exist_ok=True)
    manifest = {}
    for i in range(args.count):
        html, codec, bom = nasty_pages.make_page(args.seed, i)
        name = 'p%04d.html' % i
        with open(os.path.join(pages, name), 'wb') as f:
            f.write(nasty_pages.encode(html, codec, bom))
        manifest[name] = (html, codec, bom)
    names = sorted(manifest)
    run([args.convert, '-q', '-j', '2', '-o', produced] + [os.path.join(pages, n) for n in names])
    if not (args.reuse_oracle and os.path.isdir(expected)):
        run(['node', os.path.join(args.oracle, 'oracle.js'), '-q', '-j', '2', '-o', expected, pages])
    compare = load_compare(args.oracle)
    summary = run([sys.executable, os.path.join(args.oracle, 'compare.py'), expected, produced],
                  capture_output=True, text=True)
    last = summary.stdout.strip().splitlines()[-1] if summary.stdout.strip() else ''
    diffs_path = os.path.join(work, 'diffs.tsv')
    differing_pages = []
    with open(diffs_path, 'w', encoding='utf-8') as out:
        for name in names:
            stem = name[:-5] + '.json'
            cells = differing_cells(read_rows(compare, os.path.join(expected, stem)),
                                    read_rows(compare, os.path.join(produced, stem)))
            for r, k, e, g in cells:
                out.write('%s\t%d\t%d\t%r\t%r\n' % (name, r, k, e, g))
            if cells:
                differing_pages.append(name)
    print(last)
    print('pages with a difference: %d of %d; cells listed in %s'
          % (len(differing_pages), len(names), diffs_path))
    seen = set()
    chosen = [n for n in differing_pages if not args.pages or n in args.pages.split(',')]
    for name in chosen[:args.minimise]:
        html, codec, bom = manifest[name]
        checker = Checker(args.convert, args.oracle, codec, bom)
        checker.compare = compare
        try:
            if not checker.differs(html):
                print('\n== %s: no difference when run alone' % name)
                continue
            small = minimise(html, checker)
            browser, engine = checker.cells(small)
        finally:
            checker.close()
        if small in seen:
            continue
        seen.add(small)
        os.makedirs(os.path.join(work, 'min'), exist_ok=True)
        with open(os.path.join(work, 'min', name), 'w', encoding='utf-8') as f:
            f.write(small)
        print('\n== %s (%s, %d tests)\n%s\n-- browser: %r\n-- engine:  %r'
              % (name, codec, checker.tests, shown(small), browser, engine))


if __name__ == '__main__':
    main()
