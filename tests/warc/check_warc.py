#!/usr/bin/env python3
"""tabrivo-convert --warc on archives a real WARC writer made.

Serves a folder of pages on 127.0.0.1, every other one gzip-coded, has wget
fetch them into a WARC file (--warc-file), and checks that every page's
tables come out of the archive exactly as they come out of the file itself,
each line with its HTTP status, and that the error page wget met (no
robots.txt) is counted apart. Then damages copies of the archive (a truncated
gzip member, a corrupted one, a Content-Length too short, 500 bytes too long
or 1 GB) and checks that each damage is one failure naming its offset while
every other page still converts. Last, two archives of the same name with -o
follow the clash rule.

Usage: check_warc.py TABRIVO_CONVERT PAGES_DIR
"""

import functools
import gzip
import http.server
import io
import json
import os
import re
import subprocess
import sys
import tempfile
import threading
import zlib


def serve(folder):
    handler = functools.partial(CodingHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class CodingHandler(http.server.SimpleHTTPRequestHandler):
    """Sends every other page gzip-coded to a client that accepts it."""

    def log_message(self, *args):
        pass

    def send_head(self):
        path = self.translate_path(self.path)
        if (not path.endswith((".html", ".htm")) or not os.path.isfile(path)
                or zlib.crc32(os.path.basename(path).encode()) % 2
                or "gzip" not in self.headers.get("Accept-Encoding", "")):
            return super().send_head()
        body = gzip.compress(open(path, "rb").read())
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        return io.BytesIO(body)


def run(command):
    return subprocess.run(command, capture_output=True, check=False)


def tables_by_page(jsonl, key):
    pages = {}
    for line in jsonl.decode("utf-8").splitlines():
        table = json.loads(line)
        name = os.path.basename(table[key])
        pages.setdefault(name, []).append(table["rows"])
    return pages


def records_seen(stderr):
    """The count of records an archive's summary line gives."""
    found = re.search(rb": (\d+) records?: ", stderr)
    return int(found.group(1)) if found else -1


def members(path):
    """The gzip members of a file, each as its bytes."""
    data = open(path, "rb").read()
    parts = []
    while data:
        member = zlib.decompressobj(31)
        member.decompress(data)
        used = len(data) - len(member.unused_data)
        parts.append(data[:used])
        data = data[used:]
    return parts


def main():
    convert, pages_dir = sys.argv[1], sys.argv[2]
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)

    with tempfile.TemporaryDirectory() as work:
        server = serve(pages_dir)
        url = "http://127.0.0.1:%d/" % server.server_address[1]
        fetched = run(["wget", "-q", "-r", "-l1", "--no-parent", "--delete-after",
                       "--compression=gzip", "-P", work,
                       "--warc-file=" + os.path.join(work, "pages"), url])
        server.shutdown()
        archive = os.path.join(work, "pages.warc.gz")
        check(os.path.exists(archive), "wget wrote no archive: %r" % fetched.stderr)

        pages = sorted(n for n in os.listdir(pages_dir) if n.endswith((".html", ".htm")))
        from_files = run([convert, "--format", "jsonl", "-o", "-", "-q"]
                         + [os.path.join(pages_dir, n) for n in pages])
        from_archive = run([convert, "--warc", archive, "-o", "-"])
        check(from_archive.returncode == 0, "the archive did not convert: %r" % from_archive.stderr)
        expected = tables_by_page(from_files.stdout, "source")
        got = tables_by_page(from_archive.stdout, "uri")
        check(got == expected, "the archive's tables differ from the files' for %s" %
              sorted(n for n in set(got) | set(expected) if got.get(n) != expected.get(n))[:5])
        check(b"0 failed" in from_archive.stderr, "no count line: %r" % from_archive.stderr)
        statuses = {json.loads(line).get("status") for line in from_archive.stdout.splitlines()}
        check(statuses == {200}, "the lines' statuses are %r" % statuses)
        check(b"(1 with an HTTP status other than 2xx)" in from_archive.stderr,
              "the missing robots.txt is not counted apart: %r" % from_archive.stderr)

        # One line in the file goes to NAME.jsonl by default, replacing it whole.
        written = run([convert, "--warc", archive])
        check(written.returncode == 0 and open(os.path.join(work, "pages.jsonl"), "rb").read()
              == from_archive.stdout, "NAME.jsonl is not what standard output got")

        parts = members(archive)
        page_members = [i for i, p in enumerate(parts)
                        if b"WARC-Type: response" in gzip.decompress(p)
                        and b"text/html" in gzip.decompress(p)]
        damaged_at = page_members[len(page_members) // 2]
        offset = sum(len(p) for p in parts[:damaged_at])
        cases = {}
        corrupt = bytearray(parts[damaged_at])
        corrupt[len(corrupt) // 2] ^= 0x55
        cases["corrupted member"] = parts[:damaged_at] + [bytes(corrupt)] + parts[damaged_at + 1:]
        cases["truncated member"] = parts[:damaged_at] + [parts[damaged_at][:40]] + \
            parts[damaged_at + 1:]
        plain = gzip.decompress(parts[damaged_at])
        wrong_length = re.sub(rb"Content-Length: (\d+)",
                              lambda m: b"Content-Length: %d" % (int(m.group(1)) - 7), plain,
                              count=1)
        cases["wrong Content-Length"] = parts[:damaged_at] + [gzip.compress(wrong_length)] + \
            parts[damaged_at + 1:]
        for name, change in (("500 bytes", 500), ("1 GB", 10**9)):
            too_long = re.sub(rb"Content-Length: (\d+)",
                              lambda m: b"Content-Length: %d" % (int(m.group(1)) + change), plain,
                              count=1)
            cases["Content-Length %s too long" % name] = \
                parts[:damaged_at] + [gzip.compress(too_long)] + parts[damaged_at + 1:]
        for name, damaged in cases.items():
            path = os.path.join(work, "damaged.warc.gz")
            open(path, "wb").write(b"".join(damaged))
            result = run([convert, "--warc", path, "-o", "-"])
            lines = result.stderr.decode("utf-8", "replace").splitlines()
            reported = [l for l in lines if "offset %d " % offset in l]
            check(result.returncode == 1, "%s: exit status %d" % (name, result.returncode))
            check(len(reported) == 1, "%s: not one failure at offset %d: %r" % (name, offset, lines))
            pages_left = tables_by_page(result.stdout, "uri")
            check(len(pages_left) >= len(got) - 1,
                  "%s: %d pages converted of %d" % (name, len(pages_left), len(got)))
            # The damaged record is counted once, as failed, and none after it is lost.
            check(records_seen(result.stderr) == records_seen(from_archive.stderr),
                  "%s: %d records seen of %d" % (name, records_seen(result.stderr),
                                                   records_seen(from_archive.stderr)))

        # Two archives of one name into one folder: the later one's result
        # stays, one line names both, exit status 1.
        for folder, kept in (("x", parts), ("y", parts[:len(parts) // 2])):
            os.makedirs(os.path.join(work, folder))
            open(os.path.join(work, folder, "crawl.warc.gz"), "wb").write(b"".join(kept))
        out = os.path.join(work, "out")
        os.makedirs(out)
        sources = [os.path.join(work, folder, "crawl.warc.gz") for folder in ("x", "y")]
        clash = run([convert, "--warc", "-o", out] + sources)
        lines = clash.stderr.decode("utf-8", "replace").splitlines()
        named = [l for l in lines if all(source in l for source in sources)]
        check(clash.returncode == 1, "clash: exit status %d" % clash.returncode)
        check(len(named) == 1 and named[0].endswith('the result of "%s" is kept' % sources[1]),
              "clash: not one line naming both archives: %r" % lines)
        alone = run([convert, "--warc", sources[1], "-o", "-"])
        check(open(os.path.join(out, "crawl.jsonl"), "rb").read() == alone.stdout,
              "clash: crawl.jsonl is not the later archive's")

    for failure in failures:
        print("FAIL:", failure)
    print("checked %d pages, %d failures" % (len(got), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
