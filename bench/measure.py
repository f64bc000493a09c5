#!/usr/bin/python3
"""Timing driver behind bench/run.sh (run that, not this, unless you know why).

Times each tool over each data set with fresh output folders, interleaving
the tools round by round (so a burst of other load on the machine hits them
all alike), after one warm-up round, and reports the median of the timed rounds.
Also times tabrivo-convert -j 1 against -j 2, and measures peak RSS on the
large generated file with /usr/bin/time.  Prints a Markdown report and writes
it (with the raw figures as JSON) beside --report.
"""
import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def list_bytes(list_path):
    with open(list_path, encoding="utf-8") as listing:
        paths = [line.rstrip("\n") for line in listing if line.strip()]
    return len(paths), sum(os.path.getsize(p) for p in paths)


def run_timed(command, out_dir):
    """Runs command once; returns (wall seconds, in-loop seconds or None)."""
    if out_dir is not None:
        shutil.rmtree(out_dir, ignore_errors=True)
        os.makedirs(out_dir)
    start = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          errors="replace")
    wall = time.perf_counter() - start
    if done.returncode not in (0, 1):  # 1: tabrivo-convert had a file it could not convert
        sys.stderr.write(f"measure: {' '.join(command)} exited {done.returncode}\n"
                         f"{done.stderr[-2000:]}\n")
        raise SystemExit(1)
    match = re.search(r"seconds=([0-9.]+)", done.stdout)
    failed = re.search(r"failed=([0-9]+)", done.stdout)
    return wall, (float(match.group(1)) if match else None), \
        (int(failed.group(1)) if failed else done.returncode)


def cpu_busy(interval=0.5):
    """Fraction of all cores' time spent busy over the next interval seconds."""
    def sample():
        with open("/proc/stat", encoding="ascii") as stat:
            fields = [int(x) for x in stat.readline().split()[1:]]
        idle = fields[3] + fields[4]  # idle + iowait
        return sum(fields), idle
    total0, idle0 = sample()
    time.sleep(interval)
    total1, idle1 = sample()
    return 1.0 - (idle1 - idle0) / max(1, total1 - total0)


LOADED_ROUNDS = {"count": 0, "waited": 0.0}


def wait_until_idle(limit=0.15, max_wait=90.0):
    """Waits (up to max_wait s) until other programs leave the cores nearly idle.

    The timings are wall-clock and the machine has few cores, so a compile
    elsewhere skews them, the -j 2 figure most of all.  A round that starts
    while the machine is still busy after max_wait is counted in the report.
    """
    start = time.perf_counter()
    while cpu_busy() > limit:
        if time.perf_counter() - start > max_wait:
            LOADED_ROUNDS["count"] += 1
            break
    LOADED_ROUNDS["waited"] += time.perf_counter() - start


def rounds(tools, runs, scratch, take_turns=False):
    """tools: {name: (command with OUT placeholder, uses_out_dir)} -> {name: [(wall, loop)]}.

    take_turns: every other round runs the tools in the reverse order. After
    the wait for idle cores the first program of a round finds the caches and
    the memory cold; without turns that always counts against the same tool.
    """
    results = {name: [] for name in tools}
    for round_number in range(runs + 1):  # round 0 is the warm-up
        if round_number > 0 and WAIT_IDLE["on"]:
            wait_until_idle()
        order = list(tools.items())
        if take_turns and round_number % 2 == 1:
            order.reverse()
        for name, (command, uses_out) in order:
            out_dir = os.path.join(scratch, name) if uses_out else None
            cmd = [out_dir if part == "OUT" else part for part in command]
            wall, loop, failed = run_timed(cmd, out_dir)
            if round_number > 0:
                results[name].append((wall, loop, failed))
    return results


def median_of(samples, index):
    values = [s[index] for s in samples if s[index] is not None]
    return statistics.median(values) if values else None


def peak_rss(command, runs):
    """Median over runs of (peak RSS in KiB, elapsed seconds) reported by /usr/bin/time."""
    rss, elapsed = [], []
    for _ in range(runs):
        if WAIT_IDLE["on"]:
            wait_until_idle()
        with tempfile.TemporaryDirectory(prefix="tabrivo-bench-mem-", dir=scratch_parent()) as out_dir:
            cmd = [out_dir if part == "OUT" else part for part in command]
            done = subprocess.run(["/usr/bin/time", "-f", "TIME %M %e"] + cmd,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                  errors="replace")
            match = re.search(r"TIME (\d+) ([0-9.]+)", done.stderr)
            if done.returncode != 0 or not match:
                sys.stderr.write(f"measure: {' '.join(cmd)} failed:\n{done.stderr[-2000:]}\n")
                raise SystemExit(1)
            rss.append(int(match.group(1)))
            elapsed.append(float(match.group(2)))
    return statistics.median(rss), statistics.median(elapsed)


def scratch_parent():
    """Where the tools write their output: BENCH_SCRATCH, else /dev/shm (tmpfs), else TMPDIR.

    tmpfs keeps the figures about conversion, not about the disk: creating a
    file on this machine's ext4 disk took 0.05 to 0.9 ms depending on other
    load, which for 1,169 small files swings a run by up to a second.
    """
    chosen = os.environ.get("BENCH_SCRATCH")
    if chosen:
        return chosen
    if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK):
        return "/dev/shm"
    return None


WAIT_IDLE = {"on": True}
SCALING_RUNS = 31  # at least this many rounds for the -j 1 against -j 2 figures


def fmt(value, digits=2):
    return "n/a" if value is None else f"{value:.{digits}f}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--convert", required=True)
    parser.add_argument("--gumbo", required=True)
    parser.add_argument("--set", action="append", default=[], metavar="NAME=LIST")
    parser.add_argument("--large", help="the large generated file for the memory figures")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--no-tabletojson", action="store_true")
    parser.add_argument("--no-pandas", action="store_true")
    parser.add_argument("--no-wait-idle", action="store_true",
                        help="start each round at once, even while other programs keep the cores busy")
    parser.add_argument("--report", required=True, help="Markdown report to write")
    parser.add_argument("--header", default="", help="text put at the top of the report")
    args = parser.parse_args()

    WAIT_IDLE["on"] = not args.no_wait_idle
    one_core = ["taskset", "-c", "0"]
    lines = [args.header.rstrip()] if args.header else []
    lines += [f"- outputs written under {scratch_parent() or tempfile.gettempdir()}; "
              f"load average {' '.join(open('/proc/loadavg').read().split()[:3])} when measuring began", ""]
    raw = {"runs": args.runs, "sets": {}, "scaling": {}, "memory": {}}
    scratch = tempfile.mkdtemp(prefix="tabrivo-bench-", dir=scratch_parent())
    print(f"measure: outputs go to {scratch}", file=sys.stderr)
    try:
        # 1. Throughput on one core.
        lines += ["### Throughput on one core (taskset -c 0), median of "
                  f"{args.runs} runs after a warm-up", "",
                  "Wall time of the whole process; \"loop MB/s\" leaves out start-up "
                  "(interpreter, imports) for the tools that report their own loop time.", "",
                  "| set | tool | files | MB | median s | MB/s | files/s | loop MB/s | not converted |",
                  "| --- | --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |"]
        ratio_lines = []
        for entry in args.set:
            name, list_path = entry.split("=", 1)
            files, size = list_bytes(list_path)
            tools = {
                "tabrivo-convert -j 1": (one_core + [args.convert, "-q", "-j", "1", "-o", "OUT",
                                                     "--files-from", list_path], True),
                "gumbo parse": (one_core + [args.gumbo, "--files-from", list_path], False),
            }
            if not args.no_tabletojson:
                tools["tabletojson"] = (one_core + ["node", os.path.join(HERE, "tabletojson_bench.js"),
                                                    "-o", "OUT", "--files-from", list_path], True)
            if not args.no_pandas:
                tools["pandas (lxml)"] = (one_core + ["/usr/bin/python3",
                                                      os.path.join(HERE, "pandas_bench.py"),
                                                      "-o", "OUT", "--files-from", list_path], True)
            print(f"measure: {name}: {files} files, {size / 1e6:.1f} MB, "
                  f"{len(tools)} tools x {args.runs + 1} rounds", file=sys.stderr, flush=True)
            results = rounds(tools, args.runs, scratch)
            set_raw = raw["sets"][name] = {"files": files, "bytes": size, "tools": {}}
            walls = {}
            for tool, samples in results.items():
                wall = median_of(samples, 0)
                loop = median_of(samples, 1)
                failed = max(s[2] for s in samples)
                walls[tool] = (wall, loop)
                set_raw["tools"][tool] = {"wall": [s[0] for s in samples],
                                          "loop": [s[1] for s in samples],
                                          "median_wall": wall, "median_loop": loop,
                                          "not_converted": failed}
                loop_rate = size / 1e6 / loop if loop else None
                lines.append(f"| {name} | {tool} | {files} | {size / 1e6:.1f} | {wall:.3f} | "
                             f"{size / 1e6 / wall:.1f} | {files / wall:.0f} | {fmt(loop_rate, 1)} | "
                             f"{failed} |")
            ours = walls["tabrivo-convert -j 1"][0]
            for tool, goal in (("gumbo parse", 6.0), ("tabletojson", 3.0), ("pandas (lxml)", 5.0)):
                if tool not in walls:
                    continue
                wall, loop = walls[tool]
                ratio = wall / ours
                loop_ratio = (loop / ours) if loop else None
                verdict = "met" if ratio >= goal else "NOT met"
                ratio_lines.append(f"| {name} | tabrivo / {tool} | {ratio:.2f} | "
                                   f"{fmt(loop_ratio)} | ≥ {goal:.2f} | {verdict} |")
                set_raw.setdefault("ratios", {})[tool] = {"ratio": ratio, "loop_ratio": loop_ratio}
        lines += ["", "### Speed ratios (tabrivo speed / other speed)", "",
                  "\"loop ratio\" uses the other tool's own loop time (its start-up left out), "
                  "which favours it; the goal is judged on whole-process times.", "",
                  "| set | ratio | whole process | loop ratio | goal | |",
                  "| --- | --- | ---: | ---: | ---: | --- |"] + ratio_lines

        # 2. Parallel scaling on all cores.
        # A run takes a few hundredths of a second, so a stray burst of other
        # work moves one round's ratio by a tenth or more: more rounds, in turns.
        scaling_runs = max(args.runs, SCALING_RUNS)
        lines += ["", f"### Parallel scaling (all {os.cpu_count()} cores), median of {scaling_runs} runs, "
                  "-j 1 and -j 2 taking turns to go first", "",
                  "| set | -j 1 s | -j 2 s | speed-up | goal | |",
                  "| --- | ---: | ---: | ---: | ---: | --- |"]
        for entry in args.set:
            name, list_path = entry.split("=", 1)
            tools = {f"j{jobs}": ([args.convert, "-q", "-j", str(jobs), "-o", "OUT",
                                   "--files-from", list_path], True) for jobs in (1, 2)}
            print(f"measure: scaling on {name}", file=sys.stderr, flush=True)
            results = rounds(tools, scaling_runs, scratch, take_turns=True)
            j1, j2 = median_of(results["j1"], 0), median_of(results["j2"], 0)
            speedup = j1 / j2
            raw["scaling"][name] = {"j1": j1, "j2": j2, "speedup": speedup}
            lines.append(f"| {name} | {j1:.3f} | {j2:.3f} | {speedup:.2f}× | ≥ 1.80× | "
                         f"{'met' if speedup >= 1.8 else 'NOT met'} |")

        # 3. Peak memory on the large file.
        if args.large:
            size = os.path.getsize(args.large)
            mem_runs = max(1, min(3, args.runs))
            print(f"measure: memory on {args.large} ({size / 1e6:.0f} MB)", file=sys.stderr, flush=True)
            ours_rss, ours_s = peak_rss(one_core + [args.convert, "-q", "-j", "1", "-o", "OUT",
                                                    args.large], mem_runs)
            gumbo_rss, gumbo_s = peak_rss(one_core + [args.gumbo, args.large], mem_runs)
            raw["memory"] = {"file_bytes": size, "tabrivo_kib": ours_rss, "tabrivo_s": ours_s,
                             "gumbo_kib": gumbo_rss, "gumbo_s": gumbo_s}
            lines += ["", f"### Peak memory on the generated {size / 1e6:.0f} MB file "
                      f"(/usr/bin/time, median of {mem_runs})", "",
                      "| program | peak RSS MiB | × file size | seconds (one core) | MB/s | goal | |",
                      "| --- | ---: | ---: | ---: | ---: | --- | --- |"]
            for label, rss, secs, goal in (("tabrivo-convert -j 1", ours_rss, ours_s, True),
                                           ("gumbo parse", gumbo_rss, gumbo_s, False)):
                times = rss * 1024 / size
                verdict = ("met" if times < 30 else "NOT met") if goal else ""
                lines.append(f"| {label} | {rss / 1024:.0f} | {times:.1f}× | {secs:.2f} | "
                             f"{size / 1e6 / secs:.1f} | {'< 30×' if goal else ''} | {verdict} |")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    if WAIT_IDLE["on"]:
        lines += ["", f"Each timed round waited for the cores to be idle (other programs under 15 % "
                  f"busy): {LOADED_ROUNDS['waited']:.0f} s of waiting in all; rounds that started "
                  f"busy all the same after 90 s: {LOADED_ROUNDS['count']}."]

    report = "\n".join(lines) + "\n"
    print(report)
    with open(args.report, "w", encoding="utf-8") as out:
        out.write(report)
    with open(os.path.splitext(args.report)[0] + ".json", "w", encoding="utf-8") as out:
        json.dump(raw, out, indent=2)
    print(f"measure: report written to {args.report}", file=sys.stderr)


if __name__ == "__main__":
    main()
