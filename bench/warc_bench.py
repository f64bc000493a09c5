#!/usr/bin/env python3
"""Web archives: --warc against the same pages as files, and Dask with one
worker against two.

Usage: warc_bench.py TABRIVO_CONVERT PAGES_DIR BUILD_PYTHON_DIR [--big-gb N]

Makes a WARC of PAGES_DIR with wget from a server on 127.0.0.1, then prints:
- one core (taskset -c 0): --warc on the .warc.gz and on the same archive
  uncompressed, against converting the pages as files with -j 1 (JSON Lines);
- Dask: tabrivo.dask.convert of 16 copies of the archive (16 tasks) on a local
  cluster of 1 worker process and of 2;
- with --big-gb N: the peak resident memory of --warc on an uncompressed
  archive of N GB (the archive repeated).
"""

import argparse
import functools
import gzip
import http.server
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def timed(command, runs=5):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("convert")
    parser.add_argument("pages")
    parser.add_argument("python_dir")
    parser.add_argument("--big-gb", type=float, default=0)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="warc-bench-")
    try:
        handler = functools.partial(QuietHandler, directory=args.pages)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        subprocess.run(["wget", "-q", "-r", "-l1", "--no-parent", "--delete-after", "-P", work,
                        "--warc-file=" + os.path.join(work, "pages"),
                        "http://127.0.0.1:%d/" % server.server_address[1]], check=False)
        server.shutdown()
        archive = os.path.join(work, "pages.warc.gz")
        plain = os.path.join(work, "plain.warc")
        with open(plain, "wb") as out:
            out.write(gzip.open(archive).read())
        pages = sorted(os.path.join(args.pages, n) for n in os.listdir(args.pages)
                       if n.endswith((".html", ".htm")))
        one = ["taskset", "-c", "0", args.convert]
        files = timed(one + ["-q", "-j", "1", "--format", "jsonl", "-o", "-"] + pages)
        packed = timed(one + ["--warc", archive, "-o", "-"])
        unpacked = timed(one + ["--warc", plain, "-o", "-"])
        print("| one core | seconds | against files |")
        print("|---|---|---|")
        print("| %d pages as files, -j 1, jsonl | %.3f | 1.00 |" % (len(pages), files))
        print("| the same as .warc.gz | %.3f | %.2f |" % (packed, files / packed))
        print("| the same as .warc | %.3f | %.2f |" % (unpacked, files / unpacked))

        sys.path.insert(0, args.python_dir)
        import distributed
        import tabrivo.dask
        copies = []
        for i in range(16):
            copy = os.path.join(work, "copy%d.warc.gz" % i)
            shutil.copy(archive, copy)
            copies.append(copy)
        for workers in (1, 2):
            with distributed.LocalCluster(n_workers=workers, threads_per_worker=1,
                                          processes=True, host="127.0.0.1",
                                          dashboard_address=None) as cluster, \
                    distributed.Client(cluster) as client:
                runs = []
                for run in range(3):
                    out = os.path.join(work, "out-%d-%d" % (workers, run))
                    start = time.perf_counter()
                    tabrivo.dask.convert(copies, out, client=client)
                    runs.append(time.perf_counter() - start)
                print("Dask, %d worker(s), 16 archives: %.3f s" % (workers, statistics.median(runs)))

        if args.big_gb:
            big = os.path.join(work, "big.warc")
            block = open(plain, "rb").read()
            with open(big, "wb") as out:
                for _ in range(int(args.big_gb * 2**30 / len(block)) + 1):
                    out.write(block)
            size = os.path.getsize(big)
            start = time.perf_counter()
            subprocess.run([args.convert, "--warc", big, "-o", "-"], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
            print("--warc on %.2f GB: %.1f s, peak resident memory %.0f MB" %
                  (size / 2**30, time.perf_counter() - start, peak))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
