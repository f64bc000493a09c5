#!/usr/bin/env python3
"""tabrivo.read_html against pandas.read_html (lxml), and both against the browser.

    read_html_bench.py [--expected DIR] [--oracle-tools DIR] LIST...

Each LIST names HTML files, one a line. In one process, on the same files,
one run each: the wall and CPU time of tabrivo.read_html and of pandas.read_html(flavor=
"lxml") over every file (a file without tables counts as read); the files
whose DataFrames have the same shapes (table by table, where pandas' grid text is
the browser's); and, for the files with a browser
reference in DIR (<name>.json from the oracle), how many grid slots of each
tool hold the browser's text.

The browser's grid is Tabrivo's grid where Tabrivo's cell texts equal the
oracle's (checked table by table; tables that differ are counted against
Tabrivo and left out of pandas' comparison); for files without a reference
(the PostgreSQL documentation) Tabrivo's grid stands for it, as Tabrivo's
cell text agrees with the browser's on the whole reference corpus. pandas' grid is the one its lxml
parser hands to its TextParser (spans expanded, rows padded), so the figure
is about cell text, not about type conversion. Grid rows of all tables of a
file are aligned with difflib, as the oracle's compare.py aligns rows; an
aligned row counts max(len) slots, a slot agreeing when the texts are equal.

Needs Debian's python3 with python3-pandas and python3-lxml, and the tabrivo
module on PYTHONPATH (build/python).
"""

import argparse
import difflib
import os
import re
import sys
import time
import warnings

import pandas
import pandas.io.html as pandas_html

import tabrivo


def read_list(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f if line.strip()]


def oracle_rows(path, oracle_tools):
    """The rows of the oracle's text format, parsed by the oracle's own compare.py."""
    sys.path.insert(0, oracle_tools)
    import compare  # noqa: E402 - the oracle's parser, found at run time
    with open(path, encoding="utf-8", newline="") as f:
        rows, _ = compare.parse(f.read())
    return [[cell.replace("\r\n", "\n") for cell in row] for row in rows]


def slot_agreement(expected_rows, produced_rows):
    matcher = difflib.SequenceMatcher(None, [tuple(r) for r in expected_rows],
                                      [tuple(r) for r in produced_rows], autojunk=False)
    total = agree = 0
    for tag, i1, i2, j1, j2 in matcher.get_opcodes():
        pairs = list(zip(expected_rows[i1:i2], produced_rows[j1:j2]))
        for a, b in pairs:
            total += max(len(a), len(b))
            agree += sum(x == y for x, y in zip(a, b))
        for row in expected_rows[i1 + len(pairs):i2] + produced_rows[j1 + len(pairs):j2]:
            total += len(row)
    return agree, total


def pandas_grids(path):
    parser = pandas_html._LxmlFrameParser(path, re.compile(".+"), None, None, True, None)
    grids = []
    try:
        tables = parser.parse_tables()
    except (ValueError, IndexError):  # no tables; a pandas failure on broken markup
        return grids
    for head, body, foot in tables:
        rows = [list(r) for r in head + body + foot]
        width = max((len(r) for r in rows), default=0)
        grids.append([r + [""] * (width - len(r)) for r in rows])
    return grids


def timed(read, files):
    results, failures = [], 0
    start, cpu_start = time.perf_counter(), time.process_time()
    for path in files:
        try:
            results.append(read(path))
        except ValueError as error:  # no tables
            results.append([] if "No tables found" in str(error) else error)
        except Exception as error:  # noqa: BLE001 - a tool's failure on one file is counted
            results.append(error)
            failures += 1
    return (time.perf_counter() - start, time.process_time() - cpu_start), results, failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--expected", help="the oracle's references (<name>.json)")
    parser.add_argument("--oracle-tools", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "tools", "oracle"),
        help="the oracle's folder (its compare.py parses the references)")
    parser.add_argument("lists", nargs="+")
    args = parser.parse_args()
    warnings.simplefilter("ignore")
    for list_path in args.lists:
        files = read_list(list_path)
        size = sum(os.path.getsize(f) for f in files)
        ours_time, ours, ours_failed = timed(tabrivo.read_html, files)
        theirs_time, theirs, theirs_failed = timed(
            lambda p: pandas.read_html(p, flavor="lxml"), files)
        name = os.path.basename(list_path)
        print(f"## {name}: {len(files)} files, {size / 1e6:.1f} MB")
        print(f"tabrivo.read_html {ours_time[0]:.2f} s, CPU {ours_time[1]:.2f} s "
              f"({ours_failed} failed); pandas.read_html {theirs_time[0]:.2f} s, CPU "
              f"{theirs_time[1]:.2f} s ({theirs_failed} failed): "
              f"{theirs_time[0] / ours_time[0]:.1f}x wall, {theirs_time[1] / ours_time[1]:.1f}x CPU")

        same_shape = files_with_equal_text = agree_ours = agree_pandas = slots = 0
        tables_differing = 0
        for path, mine, reference in zip(files, ours, theirs):
            stem = os.path.splitext(os.path.basename(path))[0]
            expected_path = args.expected and os.path.join(args.expected, stem + ".json")
            tables = tabrivo.read_tables(path)
            grids = [t.rows for t in tabrivo.read_tables(path, grid=True)]
            browser = grids
            if expected_path and os.path.isfile(expected_path):
                oracle = oracle_rows(expected_path, args.oracle_tools)
                ours_flat = [row for t in tables for row in t.rows]
                if ours_flat != oracle:
                    tables_differing += 1
                    browser = None
                expected = [row for g in (browser or []) for row in g]
                a, n = slot_agreement(oracle if browser is None else expected,
                                      [row for g in grids for row in g])
                agree_ours += a
                slots += n
                p_agree, _ = slot_agreement(expected, [row for g in pandas_grids(path) for row in g])
                agree_pandas += p_agree
            # Shapes compared table by table where pandas' grid text is the browser's.
            theirs_grids = [g for g in pandas_grids(path) if g]
            ours_text_tables = [g for g in grids if g and any(any(c for c in r) for r in g)]
            if browser is None or not isinstance(mine, list) or not isinstance(reference, list):
                continue
            if not (len(theirs_grids) == len(ours_text_tables) == len(mine) == len(reference)):
                continue
            for theirs_grid, ours_grid, frame, their_frame in zip(
                    theirs_grids, ours_text_tables, mine, reference):
                if theirs_grid == ours_grid:
                    files_with_equal_text += 1
                    same_shape += frame.shape == their_frame.shape
        print(f"tables where pandas' grid text equals the browser's: {files_with_equal_text}; "
              f"of those with the same DataFrame shape: {same_shape}")
        if slots:
            print(f"grid slots agreeing with the browser: tabrivo {agree_ours}/{slots} "
                  f"({100 * agree_ours / slots:.2f}%), pandas {agree_pandas}/{slots} "
                  f"({100 * agree_pandas / slots:.2f}%); files whose cells differ from the "
                  f"oracle: {tables_differing}")
        print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
