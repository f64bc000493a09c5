#!/usr/bin/env python3
"""Puts inputs on which the parser differential found the engine's parser and
gumbo to convert differently to the browser, tree against tree.

    fuzz/review_differences.py [--sample N] [--seed S] [--build DIR] [--work DIR] DIFFERENCES

DIFFERENCES is the folder the fuzzer wrote with TABRIVO_FUZZ_DIFFERENCES set
(a subfolder per class of difference, a file per input). Up to N inputs a
class (default 20) are decoded as the converter decodes them (so that the
browser reads the same characters, not its own guess of an undeclared
encoding), then the trees of the engine's parser and of gumbo
(BUILD/tests/tabrivo_tree_dump, a test build) are compared with the DOM
Chromium builds (tests/engine/tools/dom_dump.js, which needs node, the shared
oracle's playwright-core in /tmp/oracle and Debian's chromium). Cell text is
not compared: where the trees are equal, a different text is the cell-text
engine's, not the parser's.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def load(text):
    trees, current = {}, None
    for line in text.splitlines():
        if line.startswith('== '):
            current = line[3:]
            trees[current] = []
        elif current is not None:
            trees[current].append(line)
    return trees


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('differences')
    parser.add_argument('--sample', type=int, default=20)
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--build', default=os.path.join(ROOT, 'build'))
    parser.add_argument('--work', default='/tmp/tabrivo-review')
    args = parser.parse_args()

    dump = os.path.join(args.build, 'tests', 'tabrivo_tree_dump')
    if not os.access(dump, os.X_OK):
        sys.exit(f'review_differences: {dump} is missing: build the tests first')
    shutil.rmtree(args.work, ignore_errors=True)
    chosen, decoded = os.path.join(args.work, 'in'), os.path.join(args.work, 'decoded')
    os.makedirs(chosen)
    os.makedirs(decoded)
    rng = random.Random(args.seed)
    for kind in sorted(os.listdir(args.differences)):
        folder = os.path.join(args.differences, kind)
        names = sorted(os.listdir(folder))
        for name in rng.sample(names, min(args.sample, len(names))):
            shutil.copy(os.path.join(folder, name), os.path.join(chosen, f'{kind}__{name}.html'))
    inputs = sorted(os.path.join(chosen, name) for name in os.listdir(chosen))
    subprocess.run([dump, 'decode', decoded] + inputs, check=True)
    files = sorted(os.path.join(decoded, name) for name in os.listdir(decoded))

    def run(command):
        return load(subprocess.run(command, check=True, capture_output=True, text=True,
                                   errors='surrogateescape').stdout)

    ours = run([dump, 'ours'] + files)
    gumbo = run([dump, 'gumbo'] + files)
    browser = run(['node', os.path.join(ROOT, 'tests', 'engine', 'tools', 'dom_dump.js')] + files)

    counts = {}
    for name, tree in sorted(browser.items()):
        kind = name.split('__')[0]
        entry = counts.setdefault(kind, [0, 0, 0])
        entry[0] += 1
        entry[1] += ours.get(name) == tree
        entry[2] += gumbo.get(name) == tree
        if ours.get(name) != tree:
            print(f'the engine differs from the browser: {os.path.join(decoded, name)}')
    print(f'{"class":<32} {"inputs":>6} {"engine = browser":>17} {"gumbo = browser":>16}')
    for kind, (total, same, gumbo_same) in counts.items():
        print(f'{kind:<32} {total:>6} {same:>17} {gumbo_same:>16}')
    return 0 if all(same == total for total, same, _ in counts.values()) else 1


if __name__ == '__main__':
    sys.exit(main())
