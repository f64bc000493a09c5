"""tabrivo.dask on a local cluster of two worker processes (loopback only):
the same lines as the command line, and a job that survives a killed worker."""

import gzip
import json
import os
import pathlib
import signal
import subprocess
import threading
import time

import pytest

distributed = pytest.importorskip("distributed")
if "asan" in os.environ.get("LD_PRELOAD", ""):
    pytest.skip("worker processes under the sanitizers are too slow; the plain build runs these",
                allow_module_level=True)

import tabrivo.dask  # noqa: E402

CONVERT = os.environ.get("TABRIVO_CONVERT", "tabrivo-convert")
PAGES = sorted(pathlib.Path(os.environ.get("TABRIVO_FORMAT_CASES", ".")).glob("*.html"))[:24]


def warc_of(pages, path):
    """A WARC file with one gzip member per page, as a crawler writes it."""
    with open(path, "wb") as archive:
        for page in pages:
            body = page.read_bytes()
            block = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + body
            head = (f"WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: http://x/{page.name}"
                    f"\r\nWARC-Record-ID: <urn:uuid:{page.stem}>\r\n"
                    f"Content-Length: {len(block)}\r\n\r\n").encode()
            archive.write(gzip.compress(head + block + b"\r\n\r\n"))


def command_line(*arguments):
    return subprocess.run([CONVERT, *arguments], check=True, capture_output=True).stdout


def parts_of(folder):
    return b"".join(p.read_bytes() for p in sorted(pathlib.Path(folder).glob("part-*.jsonl")))


@pytest.fixture(scope="module")
def client():
    if not PAGES:
        pytest.skip("no pages to convert")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  host="127.0.0.1", dashboard_address=None) as cluster:
        with distributed.Client(cluster) as connected:
            yield connected


@pytest.fixture
def inputs(tmp_path):
    archive = tmp_path / "pages.warc.gz"
    warc_of(PAGES, archive)
    paths = [str(p) for p in PAGES]
    expected = command_line("--format", "jsonl", "-j", "1", "-q", "-o", "-", *paths)
    expected += command_line("--warc", str(archive), "-o", "-")
    return paths + [str(archive)], expected


def test_convert_writes_what_the_command_line_writes(client, inputs, tmp_path):
    sources, expected = inputs
    counts = tabrivo.dask.convert(sources, tmp_path / "out", client=client, batch_size=5)
    assert parts_of(tmp_path / "out") == expected
    parts = -(-len(PAGES) // 5) + 1  # the pages in fives, and the archive
    assert counts["written"] == counts["parts"] == parts and counts["failures"] == []
    again = tabrivo.dask.convert(sources, tmp_path / "out", client=client, batch_size=5)
    assert again["skipped"] == parts and again["written"] == 0


def test_tables_gives_every_row_as_a_record_or_dataframe(client, inputs):
    sources, expected = inputs
    rows = tabrivo.dask.tables(sources, batch_size=5).compute()
    assert len(rows) == sum(len(json.loads(line)["rows"]) for line in expected.splitlines())
    frame = tabrivo.dask.tables(sources, format="dataframe").compute()
    assert list(frame.columns) == ["uri", "record", "table", "row", "cells"]
    assert len(frame) == len(rows)


def test_a_source_that_failed_leaves_a_partial_part_the_rerun_completes(client, tmp_path):
    late = tmp_path / "late.html"  # missing for a moment
    sources = [str(p) for p in PAGES[:3]] + [str(late)]
    out = tmp_path / "out"
    first = tabrivo.dask.convert(sources, out, client=client, batch_size=5)
    assert (first["incomplete"], len(first["failures"])) == (1, 1)
    assert str(late) in first["failures"][0]
    manifest = json.loads((out / "manifest.json").read_text())
    [partial] = out.glob("part-*.jsonl")
    assert manifest["incomplete"] == [{"part": partial.name, "sources": sources,
                                       "failures": first["failures"]}]
    assert partial.name.endswith(".partial.jsonl")
    assert first["lines"] == partial.read_bytes().count(b"\n") > 0

    late.write_bytes(PAGES[3].read_bytes())
    again = tabrivo.dask.convert(sources, out, client=client, batch_size=5)
    assert (again["written"], again["incomplete"], again["failures"]) == (1, 0, [])
    assert [p.name for p in out.glob("part-*.jsonl")] == [partial.name.replace(".partial", "")]
    assert parts_of(out) == command_line("--format", "jsonl", "-j", "1", "-q", "-o", "-", *sources)
    assert json.loads((out / "manifest.json").read_text())["incomplete"] == []


def test_a_lone_surrogate_in_a_path_raises_unicode_encode_error():
    with pytest.raises(UnicodeEncodeError):
        tabrivo.dask.tables(["\ud800.html"])


def test_a_killed_worker_loses_no_work_and_duplicates_none(client, inputs, tmp_path):
    sources, expected = inputs
    sources, expected = sources * 4, expected * 4  # enough tasks to kill one in the middle
    out = tmp_path / "out"
    out.mkdir()
    pids = list(client.run(os.getpid).values())
    done_at_kill = []

    def kill_when_started():
        deadline = time.monotonic() + 60
        while not any(out.glob("part-*.jsonl")) and time.monotonic() < deadline:
            time.sleep(0.001)
        os.kill(pids[0], signal.SIGKILL)
        done_at_kill.append(len(list(out.glob("part-*.jsonl"))))

    killer = threading.Thread(target=kill_when_started)
    killer.start()
    try:
        killed_run = tabrivo.dask.convert(sources, out, client=client, batch_size=1)
    except Exception:  # the scheduler may give up on tasks of the killed worker
        killed_run = None
    killer.join()
    if killed_run is not None:  # a part the killed worker wrote counts too
        assert killed_run["lines"] == parts_of(out).count(b"\n")
    counts = tabrivo.dask.convert(sources, out, client=client, batch_size=1)
    assert done_at_kill[0] < counts["parts"], "the worker was killed after the job"
    assert counts["written"] + counts["skipped"] == counts["parts"]
    assert parts_of(out) == expected
    assert counts["lines"] == expected.count(b"\n")  # the skipped parts' lines too
    assert not list(out.glob("*.tmp"))
