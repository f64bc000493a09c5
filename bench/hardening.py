#!/usr/bin/python3
"""Time and memory of tabrivo-convert on large and on hostile input.

usage: hardening.py TABRIVO_CONVERT [--scratch DIR] [--sizes 1,10,100]
                    [--style-sheets-only] [--give-up-after SECONDS]
                    [--growing-only] [--growing-scale X]

1. Generated files of 1, 10 and 100 MB (bench/gen_large_table.py): wall
   time and peak resident memory (/usr/bin/time) of `tabrivo-convert -j 1`,
   the time per MB between the sizes (a straight line means the same slope
   throughout) and the peak as a multiple of the file size.
2. Files of many small tables (two cells each, 32 MB, side by side in the
   body or each in a block of its own): time and peak memory, which should
   stay near the file's size since each table's frame is freed once written.
3. Inputs that make a naive HTML parser quadratic, each at n and 4n: the
   ratio of the times is about 4 for linear growth and 16 for quadratic.
4. Style sheets that make naive selector matching quadratic (a rule per row
   class, sibling and position selectors over many rows), each at n and 4n:
   time and peak memory.
5. Pages built to grow (--growing-only runs these alone), at n and 4n: time
   and peak memory as a multiple of the page, which should stay below 100.
   Tables nested without an end give a result that grows with the square of
   their depth (each cell holds the text of the tables in it): at n it is
   written, at 4n it is over 4 GiB and refused at once.

Prints a Markdown report. Run on a quiet machine; nothing here is a test.
"""
import argparse
import os
import pathlib
import re
import signal
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent


def measure(convert, source, out_dir):
    """Runs one conversion; returns (seconds, peak RSS in KiB, exit code)."""
    started = time.monotonic()
    run = subprocess.run(
        ["/usr/bin/time", "-f", "%M", convert, "-q", "-j", "1", "-o", str(out_dir), str(source)],
        capture_output=True, text=True, timeout=900)
    seconds = time.monotonic() - started
    peak = int(re.findall(r"^(\d+)$", run.stderr, re.M)[-1])
    return seconds, peak, run.returncode


def write_small_tables(path, mb, wrapped):
    """Writes `mb` MB of two-cell tables with a heading each; returns how many."""
    count = 0
    size = 0
    with open(path, "w", encoding="ascii") as out:
        out.write("<!DOCTYPE html><html><body>\n")
        while size < mb * 1_000_000:
            table = (f"<h3>Item {count}</h3><table><tr><td>key {count}</td>"
                     f"<td>value {count * 7919 % 1000003}</td></tr></table>")
            line = (f"<div class=record>{table}</div>" if wrapped else table) + "\n"
            out.write(line)
            size += len(line)
            count += 1
        out.write("</body></html>\n")
    return count


def hostile_cases(n):
    yield "unclosed `<b>`", "<table><tr><td>" + "<b>" * n + "x"
    yield "unclosed `<b class=cN>`, all different", \
        "<table><tr><td>" + "".join(f"<b class=c{i}>" for i in range(n)) + "x"
    yield "unclosed `<div>`", "<table><tr><td>" + "<div>" * n + "x"
    yield "`<div><a>x` repeated (links closed across blocks)", "<table><tr><td>" + "<div><a>x" * n
    yield "`<b><p>x</b>` repeated (misnested)", "<table><tr><td>" + "<b><p>x</b>" * n
    yield "n attributes on one tag", \
        "<table><tr><td><span " + " ".join(f"a{i}=v" for i in range(n)) + ">x"
    yield "one text node of 4n words", "<table><tr><td>" + "word " * (n * 4)
    yield "one row of n cells", "<table><tr>" + "<td>x" * n
    yield "n nested tables, no text", "<table><tr><td>" * n
    yield "n rows, each with a table in its cell", \
        "<table>" + "<tr><td><table><tr><td>x</table>" * n
    yield "n rows", "<table>" + "<tr><td>x" * n


def style_sheet_cases():
    """(name, n, page at n) for style sheets whose naive matching grows with the square."""
    def class_rules(n):
        # Each rule asks an ancestor for its own class: every cell meets all n rules
        # unless they are filed by that class.
        rules = "".join(f".c{i} td{{text-transform:uppercase}}\n" for i in range(n))
        rows = "".join(f"<tr class=c{i}><td>x{i}</td></tr>\n" for i in range(n))
        return f"<!DOCTYPE html><style>{rules}</style><table>\n{rows}</table>\n"

    def sibling_selectors(n):
        # A later sibling that never matches, the next sibling, and positions
        # counted from either end, over n rows of one table.
        rules = ("tr.first ~ tr.never td{display:none}\n"
                 "tr + tr td{text-transform:uppercase}\n"
                 "tr:nth-child(2n) td{white-space:pre}\n"
                 "tr:nth-last-child(3n) td{visibility:hidden}\n"
                 "td:nth-of-type(1){text-transform:lowercase}\n")
        rows = "<tr class=first><td>first</td></tr>\n" + "".join(
            f"<tr><td>x{i}</td></tr>\n" for i in range(1, n))
        return f"<!DOCTYPE html><style>{rules}</style><table>\n{rows}</table>\n"

    yield "n class rules (`.cN td`) over n rows", 5000, class_rules
    yield "sibling and position selectors over n rows", 100000, sibling_selectors


def measure_or_give_up(convert, source, out_dir, limit):
    """measure(), but None for a conversion still running after `limit` seconds."""
    started = time.monotonic()
    with subprocess.Popen(["/usr/bin/time", "-f", "%M", convert, "-q", "-j", "1", "-o",
                           str(out_dir), str(source)], stderr=subprocess.PIPE, text=True,
                          start_new_session=True) as run:
        try:
            _, stderr = run.communicate(timeout=limit)
        except subprocess.TimeoutExpired:
            os.killpg(run.pid, signal.SIGKILL)  # the converter too, not only /usr/bin/time
            run.communicate()
            return None
    return time.monotonic() - started, int(re.findall(r"^(\d+)$", stderr, re.M)[-1])


def report_style_sheets(convert, scratch, out_dir, limit):
    print(f"\n### Style sheets (time and peak RSS at n and 4n; given up after {limit:.0f} s)\n")
    print("| case | n | MB at 4n | s at n | s at 4n | ratio | peak RSS MiB at n | at 4n |")
    print("| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |")
    source = scratch / "style-sheet.html"
    for name, n, page in style_sheet_cases():
        figures = []
        for size in (n, 4 * n):
            source.write_text(page(size))
            figures.append(measure_or_give_up(convert, source, out_dir, limit))
        megabytes = source.stat().st_size / 1e6
        seconds = [f"{f[0]:.2f}" if f else f"> {limit:.0f}" for f in figures]
        peaks = [f"{f[1] / 1024:.0f}" if f else "" for f in figures]
        ratio = f"{figures[1][0] / max(figures[0][0], 1e-3):.1f}" if all(figures) else ""
        print(f"| {name} | {n:,} | {megabytes:.2f} | {seconds[0]} | {seconds[1]} | {ratio} "
              f"| {peaks[0]} | {peaks[1]} |")
def growing_pages():
    """(name, n, page at a given n): pages whose tree, walk or result grows
    faster than their text. n makes a page of about 2 MB, so that 4n stays
    below the 8 MiB from which a page is parsed while it is written (a mode
    with costs of its own; --growing-scale moves both across); the nested
    tables are at the n where their result is about 1 GB."""
    yield ("tables nested without an end (`<table><tr><td>x` × n)", 25_000,
           lambda n: "<table><tr><td>x" * n)
    yield ("the same in a `<select>`", 25_000,
           lambda n: "<select>" + "<table><tr><td>x" * n)
    yield ("adoption agency in a cell (`<a><b><i><p></a>` × n)", 130_000,
           lambda n: "<table><tr><td>" + "<a><b><i><p></a>" * n)
    yield ("n cells in one row", 400_000, lambda n: "<table><tr>" + "<td>x" * n)
    yield ("closed nested tables (n rows, each with a table)", 65_000,
           lambda n: "<table>" + "<tr><td><table><tr><td>x</table>" * n)
    yield ("foster-parented text (`<table>` + `x<tr>` × n)", 400_000,
           lambda n: "<table>" + "x<tr>" * n)
    yield ("comments in a table", 260_000, lambda n: "<table>" + "<!--c-->" * n)


def report_growing_pages(convert, scratch, out_dir, scale=1):
    print("\n### Pages built to grow (tabrivo-convert -j 1, at n and 4n)\n")
    print("| case | n | MB at n | s at n | peak MiB at n | × page | s at 4n | peak MiB at 4n "
          "| × page | result at 4n |")
    print("| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | --- |")
    source = scratch / "growing.html"
    for name, n, page in growing_pages():
        n = int(n * scale)
        cells = []
        for size in (n, 4 * n):
            source.write_text(page(size))
            seconds, peak, code = measure(convert, source, out_dir)
            written = sum(entry.stat().st_size for entry in out_dir.iterdir())
            for entry in out_dir.iterdir():
                entry.unlink()
            cells.append((source.stat().st_size, seconds, peak, code, written))
        (size, seconds, peak, _, _), (size4, seconds4, peak4, code4, written4) = cells
        result = f"{written4 / 1e6:,.0f} MB written" if code4 == 0 else f"refused (exit {code4})"
        print(f"| {name} | {n:,} | {size / 1e6:.2f} | {seconds:.2f} | {peak / 1024:.0f} "
              f"| {peak * 1024 / size:.0f} | {seconds4:.2f} | {peak4 / 1024:.0f} "
              f"| {peak4 * 1024 / size4:.0f} | {result} |")
    os.remove(source)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("convert")
    parser.add_argument("--scratch", default=None)
    parser.add_argument("--sizes", default="1,10,100")
    parser.add_argument("--style-sheets-only", action="store_true")
    parser.add_argument("--give-up-after", type=float, default=900)
    parser.add_argument("--growing-only", action="store_true")
    parser.add_argument("--growing-scale", type=float, default=1.0)
    args = parser.parse_args()
    scratch = pathlib.Path(args.scratch or tempfile.mkdtemp(prefix="tabrivo-hardening-"))
    out_dir = scratch / "out"
    out_dir.mkdir(parents=True, exist_ok=True)
    if args.style_sheets_only:
        report_style_sheets(args.convert, scratch, out_dir, args.give_up_after)
        return
    if args.growing_only:
        report_growing_pages(args.convert, scratch, out_dir, args.growing_scale)
        return

    print("### Large files (tabrivo-convert -j 1)\n")
    print("| file | MB | seconds | s/MB | peak RSS MiB | × file size |")
    print("| --- | ---: | ---: | ---: | ---: | ---: |")
    previous = None
    for mb in [int(size) for size in args.sizes.split(",")]:
        source = scratch / f"generated-{mb}mb.html"
        if not source.exists():
            subprocess.run([sys.executable, str(HERE / "gen_large_table.py"), str(source),
                            "--mb", str(mb)], check=True)
        size = source.stat().st_size
        seconds, peak, code = measure(args.convert, source, out_dir)
        slope = f"{seconds / (size / 1e6):.3f}"
        if previous is not None:
            slope += f" ({(seconds - previous[1]) / ((size - previous[0]) / 1e6):.3f} since the last)"
        previous = (size, seconds)
        print(f"| {source.name}{'' if code == 0 else f' (exit {code})'} | {size / 1e6:.0f} "
              f"| {seconds:.2f} | {slope} | {peak / 1024:.0f} | {peak * 1024 / size:.2f} |")

    print("\n### Many small tables (tabrivo-convert -j 1)\n")
    print("| file | MB | tables | seconds | peak RSS MiB | × file size |")
    print("| --- | ---: | ---: | ---: | ---: | ---: |")
    for wrapped in (False, True):
        source = scratch / f"small-tables{'-in-blocks' if wrapped else ''}.html"
        count = write_small_tables(source, 32, wrapped)
        size = source.stat().st_size
        seconds, peak, code = measure(args.convert, source, out_dir)
        print(f"| {source.name}{'' if code == 0 else f' (exit {code})'} | {size / 1e6:.0f} "
              f"| {count:,} | {seconds:.2f} | {peak / 1024:.0f} | {peak * 1024 / size:.2f} |")
        os.remove(source)

    print("\n### Hostile input (time at n and 4n; about 4 when linear, 16 when quadratic)\n")
    print("| case | n | MB at 4n | s at n | s at 4n | ratio |")
    print("| --- | ---: | ---: | ---: | ---: | ---: |")
    n = 25000
    small = dict(hostile_cases(n))
    large = dict(hostile_cases(4 * n))
    for name in small:
        times = []
        for html in (small[name], large[name]):
            source = scratch / "hostile.html"
            source.write_text(html)
            seconds, _, _ = measure(args.convert, source, out_dir)
            times.append(seconds)
        print(f"| {name} | {n:,} | {len(large[name]) / 1e6:.2f} | {times[0]:.3f} | {times[1]:.3f} "
              f"| {times[1] / max(times[0], 1e-3):.1f} |")
    os.remove(scratch / "hostile.html")
    report_style_sheets(args.convert, scratch, out_dir, args.give_up_after)
    report_growing_pages(args.convert, scratch, out_dir, args.growing_scale)


if __name__ == "__main__":
    main()
