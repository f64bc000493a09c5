#!/usr/bin/env python3
"""The data formats' throughput against the default format's, on one core.

    format_throughput.py CONVERT LIST... [--runs N] [--scratch DIR]

Runs `taskset -c 0 CONVERT -q -j 1 -o DIR --files-from LIST` for the default
format and for each data format (json, json --grid, jsonl --grid, csv --grid),
interleaved round by round into fresh folders, and prints the median wall
times and each format's throughput as a share of the default's (goal for
json --grid: at least 90 %).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

VARIANTS = [
    ("tabrivo", []),
    ("json", ["-f", "json"]),
    ("json --grid", ["-f", "json", "--grid"]),
    ("jsonl --grid", ["-f", "jsonl", "--grid"]),
    ("csv --grid", ["-f", "csv", "--grid"]),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("convert")
    parser.add_argument("lists", nargs="+")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--scratch", default="/dev/shm" if os.path.isdir("/dev/shm") else None)
    args = parser.parse_args()
    for list_path in args.lists:
        times = {name: [] for name, _ in VARIANTS}
        for round_number in range(args.runs + 1):  # the first round warms the caches
            for name, extra in VARIANTS:
                out = tempfile.mkdtemp(dir=args.scratch)
                start = time.perf_counter()
                subprocess.run(["taskset", "-c", "0", args.convert, "-q", "-j", "1", *extra,
                                "-o", out, "--files-from", list_path], check=True)
                elapsed = time.perf_counter() - start
                shutil.rmtree(out)
                if round_number > 0:
                    times[name].append(elapsed)
        base = statistics.median(times["tabrivo"])
        print(f"## {os.path.basename(list_path)} (median of {args.runs})")
        print("| format | median s | throughput vs tabrivo |")
        print("| --- | ---: | ---: |")
        for name, _ in VARIANTS:
            median = statistics.median(times[name])
            print(f"| {name} | {median:.3f} | {100 * base / median:.1f} % |")
        print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
