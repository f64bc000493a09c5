#!/usr/bin/env python3
"""Reads tabrivo-convert's JSON, JSON Lines and CSV results with real parsers.

For every page of the given folders that has a <name>.expected or <name>.json
reference in the Tabrivo text format (made by the browser), each data format
is written, parsed (Python's json and csv modules, and jq) and must carry the
reference's cell texts exactly; the grids must be rectangles that hold every
cell's text. Exit status 0 when all agree, 1 otherwise, 77 when there is
nothing to check.

    check_data_formats.py CONVERT JQ FOLDER[:EXPECTED_FOLDER]...
"""

import csv
import json
import os
import shutil
import subprocess
import sys
import tempfile


def text_format(tables):
    """The Tabrivo text format of the tables' rows, as the browser's oracle writes it."""
    out = ["{\r\n"]
    for table in tables:
        rows = table["rows"]
        last_separated = len(rows[0]) - 1 if rows else -1
        for row in rows:
            out.append("\t{\r\n")
            for i, cell in enumerate(row):
                sep = '", \r\n' if i < last_separated else '"\r\n'
                out.append('\t"' + cell.replace("\n", "\r\n") + sep)
            out.append("\t}\r\n")
    out.append("}")
    return "".join(out)


def convert(convert_path, args, cwd):
    return subprocess.run([convert_path, "-q", *args], cwd=cwd, capture_output=True, check=False)


def check_page(convert_path, jq, page, expected, work):
    problems = []
    name = os.path.splitext(os.path.basename(page))[0]
    shutil.copy(page, work)
    copy = os.path.join(work, os.path.basename(page))

    def run(args):
        result = convert(convert_path, [*args, copy], work)
        if result.returncode != 0:
            problems.append(f"{args}: exit {result.returncode}: {result.stderr.decode(errors='replace')}")
        return result

    run(["-f", "json"])
    with open(os.path.join(work, name + ".json"), encoding="utf-8") as f:
        tables = json.load(f)
    if expected is not None and text_format(tables) != expected:
        problems.append("json: the cell texts differ from the reference")
    for i, table in enumerate(tables):
        if table["index"] != i or not isinstance(table["caption"], str):
            problems.append(f"json: table {i} has index {table['index']}")

    jq_count = subprocess.run([jq, "length", os.path.join(work, name + ".json")],
                              capture_output=True, text=True, check=False)
    if jq_count.returncode != 0 or int(jq_count.stdout) != len(tables):
        problems.append(f"jq: {jq_count.returncode} {jq_count.stderr.strip()}")

    lines = run(["-f", "jsonl", "-o", "-"]).stdout.decode("utf-8").splitlines()
    from_lines = [json.loads(line) for line in lines]
    if [{k: v for k, v in t.items() if k != "source"} for t in from_lines] != tables:
        problems.append("jsonl: the tables differ from the json file's")
    if any(t["source"] != os.path.abspath(copy) for t in from_lines):
        problems.append("jsonl: a line names another source")

    grid_lines = run(["-f", "jsonl", "--grid", "-o", "-"]).stdout.decode("utf-8").splitlines()
    grid = [json.loads(line) for line in grid_lines]
    for plain, expanded in zip(tables, grid):
        widths = {len(row) for row in expanded["rows"]}
        if len(widths) > 1 or len(expanded["rows"]) != len(plain["rows"]):
            problems.append(f"grid: table {plain['index']} is not a rectangle of its rows")
        for row, grid_row in zip(plain["rows"], expanded["rows"]):
            if any(cell not in grid_row for cell in row if cell):
                problems.append(f"grid: table {plain['index']} lost a cell's text")
                break

    for grid_flag in ([], ["--grid"]):
        run(["-f", "csv", *grid_flag])
        source = grid if grid_flag else tables
        for table in source:
            path = os.path.join(work, f"{name}.{table['index']}.csv")
            with open(path, encoding="utf-8", newline="") as f:
                records = list(csv.reader(f, strict=True))
            width = max((len(row) for row in table["rows"]), default=0)
            padded = [row + [""] * (width - len(row)) for row in table["rows"]]
            if records != padded:
                problems.append(f"csv{grid_flag}: table {table['index']} differs")
            os.remove(path)
    return problems


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    convert_path, jq = sys.argv[1], sys.argv[2]
    checked = failed = 0
    with tempfile.TemporaryDirectory() as work:
        for pair in sys.argv[3:]:
            folder, _, expected_folder = pair.partition(":")
            if not os.path.isdir(folder):
                continue
            for entry in sorted(os.listdir(folder)):
                if not entry.endswith((".html", ".htm")):
                    continue
                stem = os.path.splitext(entry)[0]
                reference = None
                for candidate in (os.path.join(expected_folder or folder, stem + ".expected"),
                                  os.path.join(expected_folder or folder, stem + ".json")):
                    if os.path.isfile(candidate):
                        with open(candidate, encoding="utf-8", newline="") as f:
                            reference = f.read()
                        break
                page_work = os.path.join(work, str(checked))
                os.mkdir(page_work)
                problems = check_page(convert_path, jq, os.path.join(folder, entry), reference, page_work)
                shutil.rmtree(page_work)
                checked += 1
                for problem in problems:
                    print(f"{entry}: {problem}")
                failed += bool(problems)
    print(f"{checked - failed}/{checked} pages read back exactly")
    if checked == 0:
        return 77
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
