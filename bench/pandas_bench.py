#!/usr/bin/python3
"""pandas comparison run for Tabrivo's benchmarks.

For each HTML file (given as arguments, or listed one a line in the file
given with --files-from LIST), calls pandas.read_html(path, flavor="lxml")
and writes each resulting DataFrame's to_json() into OUTDIR (-o, default: a
fresh temporary folder).  A file without tables (pandas raises ValueError
"No tables found") counts as converted with no output.  Files on which pandas
fails in any other way are counted and reported on stderr, not fatal.

Prints: files=N bytes=N seconds=S failed=N (seconds: wall clock of the loop,
without interpreter start-up and imports, which hyperfine measures anyway).
"""
import os
import sys
import tempfile
import time
import warnings

import pandas


def main(argv):
    paths = []
    out_dir = None
    i = 0
    while i < len(argv):
        arg = argv[i]
        if arg == "--files-from":
            i += 1
            with open(argv[i], encoding="utf-8") as listing:
                paths.extend(line.rstrip("\r\n") for line in listing if line.strip())
        elif arg == "-o":
            i += 1
            out_dir = argv[i]
        else:
            paths.append(arg)
        i += 1
    if out_dir is None:
        out_dir = tempfile.mkdtemp(prefix="pandas-bench-")
    os.makedirs(out_dir, exist_ok=True)

    warnings.simplefilter("ignore")
    total_bytes = 0
    failed = 0
    start = time.perf_counter()
    for index, path in enumerate(paths):
        total_bytes += os.path.getsize(path)
        try:
            frames = pandas.read_html(path, flavor="lxml")
        except ValueError as error:
            if "No tables found" in str(error):
                continue
            failed += 1
            print(f"pandas_bench: {path}: {error}", file=sys.stderr)
            continue
        except Exception as error:  # noqa: BLE001 - a comparison run, keep going
            failed += 1
            print(f"pandas_bench: {path}: {type(error).__name__}: {error}", file=sys.stderr)
            continue
        base = os.path.join(out_dir, f"{index:05d}-{os.path.basename(path)}")
        for number, frame in enumerate(frames):
            try:
                text = frame.to_json()
            except ValueError:
                # Duplicate column labels: to_json refuses the default orient.
                text = frame.to_json(orient="values")
            with open(f"{base}.{number}.json", "w", encoding="utf-8") as out:
                out.write(text)
    seconds = time.perf_counter() - start
    print(f"files={len(paths)} bytes={total_bytes} seconds={seconds:.6f} failed={failed}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
