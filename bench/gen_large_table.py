#!/usr/bin/python3
"""Writes a large HTML file for Tabrivo's memory benchmark.

usage: gen_large_table.py OUTPUT [--mb N]   (default N = 50)

The file holds a few big tables (a header row, then many rows of six cells
each) with some inline markup (<b>, <i>, <a>, <code>, <br>), character
entities (named and numeric), attributes (class, colspan) and, every
few thousand rows, a small nested table inside a cell.  The content is made
from a fixed seed, so the same size gives the same bytes on every run.
"""
import argparse
import random

WORDS = ("alpha beta gamma delta epsilon zeta theta kappa lambda sigma omega "
         "table row cell value index total price amount ratio north south east "
         "west café naïve über straße").split()
ENTITIES = ["&amp;", "&lt;", "&gt;", "&quot;", "&nbsp;", "&eacute;", "&copy;",
            "&#8364;", "&#x2014;", "&hellip;", "&mdash;", "&auml;"]


def phrase(rng, count):
    return " ".join(rng.choice(WORDS) for _ in range(count))


def cell_text(rng):
    kind = rng.randrange(10)
    if kind == 0:
        return f"<b>{phrase(rng, 2)}</b> {phrase(rng, 2)}"
    if kind == 1:
        return f"<i>{phrase(rng, 1)}</i> {rng.choice(ENTITIES)} {phrase(rng, 2)}"
    if kind == 2:
        return f'<a href="#r{rng.randrange(10**6)}">{phrase(rng, 2)}</a>'
    if kind == 3:
        return f"<code>{phrase(rng, 1)}_{rng.randrange(1000)}</code>"
    if kind == 4:
        return f"{phrase(rng, 2)}<br>{phrase(rng, 2)}"
    if kind == 5:
        return f"{rng.randrange(10**7) / 100:.2f} {rng.choice(ENTITIES)}"
    return phrase(rng, rng.randrange(1, 5))


def nested_table(rng):
    rows = "".join(
        "<tr>" + "".join(f"<td>{phrase(rng, 1)} {rng.randrange(100)}</td>" for _ in range(3)) + "</tr>"
        for _ in range(3))
    return f'<table class="inner"><tr><th>a</th><th>b</th><th>c</th></tr>{rows}</table>'


def write_table(out, rng, number, target_bytes):
    out.write(f'<h2>Table {number}</h2>\n<table class="data" id="t{number}">\n<thead><tr>')
    for head in ("Id", "Name", "Description", "Amount", "Note &amp; remark", "Link"):
        out.write(f"<th>{head}</th>")
    out.write("</tr></thead>\n<tbody>\n")
    written = 0
    row = 0
    while written < target_bytes:
        parts = [f'<tr class="{"odd" if row % 2 else "even"}"><td>{row}</td>']
        if row % 997 == 5:
            parts.append(f'<td colspan="2">{cell_text(rng)}</td>')
        else:
            parts.append(f"<td>{cell_text(rng)}</td><td>{cell_text(rng)}</td>")
        parts.append(f"<td>{cell_text(rng)}</td>")
        if row % 4001 == 17:
            parts.append(f"<td>{nested_table(rng)}</td>")
        else:
            parts.append(f"<td>{cell_text(rng)}</td>")
        parts.append(f"<td>{cell_text(rng)}</td></tr>\n")
        text = "".join(parts)
        out.write(text)
        written += len(text.encode("utf-8"))
        row += 1
    out.write("</tbody>\n</table>\n")
    return written


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--mb", type=float, default=50.0, help="approximate size in MB")
    args = parser.parse_args()
    rng = random.Random(20240501)
    target = int(args.mb * 1_000_000)
    tables = 4
    with open(args.output, "w", encoding="utf-8", newline="\n") as out:
        out.write('<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8">'
                  "<title>Large tables</title></head>\n<body>\n<h1>Large tables</h1>\n")
        for number in range(1, tables + 1):
            write_table(out, rng, number, target // tables)
            out.write(f"<p>After table {number}: {phrase(rng, 8)}.</p>\n")
        out.write("</body></html>\n")


if __name__ == "__main__":
    main()
