"""Tables of many pages and web archives, converted on a Dask cluster.

The same code runs on one machine with ``distributed.LocalCluster`` and on a
cluster started with ``dask scheduler`` and ``dask worker``: the work is
split into tasks of one WARC file or a batch of HTML files, each converted by
the C++ engine with the interpreter's lock released.
"""

import hashlib
import json
import os
import uuid

import dask.bag

from . import _tabrivo, read_tables, read_warc

__all__ = ["tables", "convert"]

WARC_SUFFIXES = (".warc", ".warc.gz")


def _tasks(paths_or_warcs, batch_size):
    """One task per WARC file, the HTML files in batches, in the order given."""
    if isinstance(paths_or_warcs, (str, os.PathLike)):
        paths_or_warcs = [paths_or_warcs]
    tasks = []
    batch = []
    for path in map(os.fsdecode, paths_or_warcs):
        os.fsencode(path)  # a lone surrogate raises UnicodeEncodeError now, not on a worker
        if path.endswith(WARC_SUFFIXES):
            if batch:
                tasks.append(("html", tuple(batch)))
                batch = []
            tasks.append(("warc", (path,)))
        else:
            batch.append(path)
            if len(batch) == batch_size:
                tasks.append(("html", tuple(batch)))
                batch = []
    if batch:
        tasks.append(("html", tuple(batch)))
    return tasks


def _records(task, grid):
    """Every row of every table of a task: uri, record, table, row, cells."""
    kind, paths = task
    rows = []
    if kind == "warc":
        pages = ((uri, record_id, found) for uri, record_id, found in read_warc(paths[0], grid=grid))
    else:
        pages = ((path, "", read_tables(path, grid=grid)) for path in paths)
    for uri, record_id, found in pages:
        for table in found:
            for number, cells in enumerate(table.rows):
                rows.append({"uri": uri, "record": record_id, "table": table.index,
                             "row": number, "cells": cells})
    return rows


def tables(paths_or_warcs, *, grid=False, format="records", batch_size=64):
    """A Dask bag of every table row, or a DataFrame of the same columns.

    ``paths_or_warcs``: HTML files and WARC files (``.warc``, ``.warc.gz``).
    ``format="records"`` gives a bag of dicts ``{"uri", "record", "table",
    "row", "cells"}`` (``uri`` is the file's path for an HTML file, ``record``
    its WARC-Record-ID or empty); ``format="dataframe"`` a Dask DataFrame of
    those columns. ``grid=True`` expands row and column spans. Nothing is
    converted until the result is computed.
    """
    if format not in ("records", "dataframe"):
        raise ValueError(f"format must be 'records' or 'dataframe', not {format!r}")
    tasks = _tasks(paths_or_warcs, batch_size)
    bag = dask.bag.from_sequence(tasks, npartitions=max(1, len(tasks)))
    rows = bag.map(_records, grid=grid).flatten()
    if format == "records":
        return rows
    meta = {"uri": str, "record": str, "table": int, "row": int, "cells": object}
    return rows.to_dataframe(meta=meta)


def _part_name(number, task, complete=True):
    digest = hashlib.sha256(json.dumps(task).encode("utf-8")).hexdigest()[:12]
    return f"part-{number:05d}-{digest}{'' if complete else PARTIAL}.jsonl"


PARTIAL = ".partial"  # a part that lacks the tables of a source that failed
MANIFEST = "manifest.json"


def _convert_task(number, task, out_dir, grid):
    """Writes one task's JSON Lines to its part file, whole or not at all.

    A part is complete only when every source of the task converted (for a
    web archive, every record); otherwise the lines of the sources that did
    are written under the part's partial name, which a later run converts again.
    """
    final = os.path.join(out_dir, _part_name(number, task))
    partial = os.path.join(out_dir, _part_name(number, task, complete=False))
    if os.path.exists(final):
        _remove(partial)  # left by a run killed between the two steps below
        return {"part": os.path.basename(final), "written": 0, "skipped": 1,
                "lines": _count_lines(final), "failures": []}
    kind, paths = task
    chunks = []
    failures = []
    if kind == "warc":
        try:
            lines, passed_over, _summary = _tabrivo.warc_json_lines(os.fsencode(paths[0]), grid)
        except (OSError, RuntimeError, ValueError) as error:
            failures.append(str(error))
        else:
            chunks.append(lines)
            failures += [f"{paths[0]}: the record at offset {offset} was not converted: {reason}"
                         for offset, reason in passed_over]
    else:
        for path in paths:
            try:
                chunks.append(_tabrivo.file_json_lines(os.fsencode(path), grid))
            except (OSError, RuntimeError, ValueError) as error:
                failures.append(str(error))
    data = b"".join(chunks)
    if failures:
        _write_whole(partial, data, replace=True)
        written = partial
    else:
        _write_whole(final, data)
        _remove(partial)
        written = final
    return {"part": os.path.basename(written), "written": 1, "skipped": 0,
            "lines": data.count(b"\n"), "failures": failures}


def _count_lines(path):
    lines = 0
    with open(path, "rb") as part:
        while chunk := part.read(1 << 20):
            lines += chunk.count(b"\n")
    return lines


def _remove(path):
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass


def _write_whole(final, data, replace=False):
    """Writes a file that appears whole or not at all, even if the worker is
    killed: an unnamed file linked in when complete (Linux), else a named
    temporary file renamed over it. A complete part is never replaced (it
    holds the same lines whoever wrote it); with ``replace`` an existing file is."""
    folder = os.path.dirname(final)
    if replace:
        fd = None
    else:
        try:
            fd = os.open(folder, os.O_TMPFILE | os.O_WRONLY | os.O_CLOEXEC, 0o644)
        except (AttributeError, OSError):
            fd = None
    if fd is not None:
        try:
            _write_all(fd, data)
            os.fsync(fd)
            # A directory descriptor makes os.link use linkat, which follows
            # the /proc link to the unnamed file (link() would not).
            root = os.open("/", os.O_RDONLY | os.O_CLOEXEC)
            try:
                os.link(f"/proc/self/fd/{fd}", final, src_dir_fd=root, follow_symlinks=True)
            except FileExistsError:
                pass  # a retried task finished it first: it holds the same lines
            finally:
                os.close(root)
        finally:
            os.close(fd)
        return
    temporary = f"{final}.{os.getpid()}.tmp"
    fd = os.open(temporary, os.O_CREAT | os.O_EXCL | os.O_WRONLY | os.O_CLOEXEC, 0o644)
    try:
        _write_all(fd, data)
        os.fsync(fd)
    finally:
        os.close(fd)
    os.replace(temporary, final)


def _write_all(fd, data):
    view = memoryview(data)
    while view:
        view = view[os.write(fd, view):]


def convert(paths_or_warcs, out_dir, *, client=None, grid=False, batch_size=64):
    """Converts on the cluster into JSON Lines part files in ``out_dir``.

    Each task writes ``part-NNNNN-HASH.jsonl`` (its number, and a hash of the
    files it converts) with an atomic rename; the lines are exactly those of
    ``tabrivo-convert --format jsonl`` for HTML files and ``--warc`` for web
    archives, so the parts in name order hold what the command line would
    write for the same inputs in the same order. A part is complete only when
    every source in it converted; a task with a failed source (or a record of
    an archive that was not converted) writes the lines of the others as
    ``part-NNNNN-HASH.partial.jsonl`` instead. Running again skips the
    complete parts and converts the rest again, a partial part giving way to
    the complete one: a killed worker, a restarted job or a source missing for
    a moment loses no work and duplicates no output.

    Returns the counts: parts, written (by this run), skipped (complete from
    an earlier run), incomplete (partial parts), lines (one per table, in all
    the parts) and failures (one line each). The same is written to
    ``manifest.json`` in ``out_dir``, each partial part listed with its
    sources and failures.
    """
    os.makedirs(out_dir, exist_ok=True)
    out_dir = os.fspath(out_dir)
    tasks = _tasks(paths_or_warcs, batch_size)
    if client is None:
        from distributed import get_client
        client = get_client()
    run = uuid.uuid4().hex[:8]  # a run's tasks never take an earlier run's results
    futures = [client.submit(_convert_task, number, task, out_dir, grid,
                             key=f"tabrivo-{run}-{_part_name(number, task)}")
               for number, task in enumerate(tasks)]
    results = client.gather(futures)
    counts = {"parts": len(tasks), "written": 0, "skipped": 0, "incomplete": 0, "lines": 0,
              "failures": []}
    incomplete = []
    for task, result in zip(tasks, results):
        for name in ("written", "skipped", "lines"):
            counts[name] += result[name]
        counts["failures"] += result["failures"]
        if result["failures"]:
            incomplete.append({"part": result["part"], "sources": list(task[1]),
                               "failures": result["failures"]})
    counts["incomplete"] = len(incomplete)
    manifest = {name: counts[name] for name in ("parts", "written", "skipped", "lines")}
    manifest["complete"] = counts["parts"] - counts["incomplete"]
    manifest["incomplete"] = incomplete
    # ASCII with escapes: a path's bytes that are not UTF-8 stay valid JSON.
    text = json.dumps(manifest, indent=1) + "\n"
    _write_whole(os.path.join(out_dir, MANIFEST), text.encode("ascii"), replace=True)
    return counts
