#!/usr/bin/env python3
"""What the one flush per run costs: tabrivo-convert on 1,169 small files on a
real disk (not tmpfs), timing the run and, under strace, its syncfs call;
beside it, what one fsync per file would cost for the same files.

    bench/flush_cost.py build/bin/tabrivo-convert [SCRATCH] [ROUNDS]

SCRATCH (default build/flush-bench) must be on the disk to be measured;
the script says which file system it is on.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

FILES = 1169


def file_system_of(path):
    out = subprocess.run(["findmnt", "-n", "-o", "FSTYPE,SOURCE", "-T", str(path)],
                         capture_output=True, text=True).stdout.strip()
    return out or "unknown"


def make_sources(folder, samples):
    folder.mkdir(parents=True, exist_ok=True)
    sources = []
    for i in range(FILES):
        sample = samples[i % len(samples)]
        target = folder / f"{i:04d}-{sample.name}"
        shutil.copyfile(sample, target)
        sources.append(str(target))
    return sources


def run_convert(program, sources, out, strace_log=None):
    if out.exists():
        shutil.rmtree(out)
    out.mkdir()
    subprocess.run(["sync"], check=True)  # start each round with nothing dirty
    argv = [program, "-q", "-j", "2", "-o", str(out), "--files-from", "-"]
    if strace_log:
        argv = ["strace", "-f", "-qq", "--seccomp-bpf", "-T", "-e", "trace=syncfs", "-o",
                str(strace_log)] + argv
    start = time.perf_counter()
    subprocess.run(argv, input="\n".join(sources).encode(), check=True)
    return time.perf_counter() - start


def syncfs_seconds(log):
    found = re.findall(r"syncfs\(.*<([0-9.]+)>", log.read_text())
    return sum(float(x) for x in found), len(found)


def fsync_each(sources, out):
    if out.exists():
        shutil.rmtree(out)
    out.mkdir()
    subprocess.run(["sync"], check=True)
    data = [Path(s).read_bytes() for s in sources]
    start = time.perf_counter()
    for i, content in enumerate(data):
        fd = os.open(out / f"{i}.json", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o666)
        os.write(fd, content)
        os.fsync(fd)
        os.close(fd)
    return time.perf_counter() - start


def main():
    program = sys.argv[1]
    scratch = Path(sys.argv[2] if len(sys.argv) > 2 else "build/flush-bench").resolve()
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    here = Path(__file__).resolve().parent
    samples = sorted((here.parent / "tests" / "data" / "format").glob("*.html"))
    sources = make_sources(scratch / "in", samples)
    print(f"{FILES} files, {sum(os.path.getsize(s) for s in sources) / 1024:.0f} KiB, on "
          f"{file_system_of(scratch)}; {rounds} rounds, median")
    runs, syncs, fsyncs = [], [], []
    for _ in range(rounds):
        runs.append(run_convert(program, sources, scratch / "out"))
        log = scratch / "strace.log"
        run_convert(program, sources, scratch / "out", log)
        seconds, calls = syncfs_seconds(log)
        assert calls == 1, f"{calls} syncfs calls"
        syncs.append(seconds)
        fsyncs.append(fsync_each(sources, scratch / "fsync"))
    run, sync = statistics.median(runs), statistics.median(syncs)
    print(f"whole run (syncfs included): {run * 1000:.1f} ms")
    print(f"the one syncfs:              {sync * 1000:.1f} ms ({sync / run * 100:.0f}% of the run)")
    print(f"an fsync per file instead:   {statistics.median(fsyncs) * 1000:.1f} ms "
          "(writing alone, no conversion)")
    shutil.rmtree(scratch)


if __name__ == "__main__":
    main()
