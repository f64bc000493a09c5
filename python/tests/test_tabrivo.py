"""The tabrivo package: sources, tables, grids, DataFrames, many files, failures."""

import json
import os
import pathlib
import subprocess
import sys
import threading
import time

import pytest

import tabrivo

PAGE = (
    "<table id=t class='data wide'><caption>Prices</caption>"
    "<thead><tr><th>Item<th colspan=2>Price</thead>"
    "<tbody><tr><td rowspan=2>tea<br>green<td>1,200<td>EUR"
    "<tr><td>3<td>USD</tbody></table>"
    "<table><tr><td>x<span style='display:none'> hidden</span></table>"
)


@pytest.fixture
def page(tmp_path):
    path = tmp_path / "page.html"
    path.write_text(PAGE, encoding="utf-8")
    return path


def test_every_kind_of_source_gives_the_same_tables(page):
    expected = [t.rows for t in tabrivo.read_tables(page)]
    for source in (str(page), page.read_bytes(), PAGE, open(page, "rb")):
        assert [t.rows for t in tabrivo.read_tables(source)] == expected


def test_tables_hold_browser_text_caption_and_header_rows(page):
    first, second = tabrivo.read_tables(page)
    assert first.caption == "Prices"
    assert first.header_rows == 1
    assert first.attrs == {"id": "t", "class": "data wide"}
    assert first.rows == [["Item", "Price"], ["tea\ngreen", "1,200", "EUR"], ["3", "USD"]]
    assert second.rows == [["x"]]


def test_grid_repeats_a_spanning_cells_text_in_every_slot(page):
    first = tabrivo.read_tables(page, grid=True)[0]
    assert first.rows == [
        ["Item", "Price", "Price"],
        ["tea\ngreen", "1,200", "EUR"],
        ["tea\ngreen", "3", "USD"],
    ]


def test_bytes_are_decoded_as_files_are():
    data = "<meta charset=windows-1251><table><tr><td>Привет</table>".encode("cp1251")
    assert tabrivo.read_tables(data)[0].rows == [["Привет"]]


def test_to_pandas_uses_the_header_rows_as_columns(page):
    frame = tabrivo.read_tables(page, grid=True)[0].to_pandas()
    assert list(frame.columns) == ["Item", "Price", "Price"]
    assert frame.shape == (2, 3)


def test_read_html_gives_what_pandas_gives_for_plain_tables(tmp_path):
    pandas = pytest.importorskip("pandas")
    path = tmp_path / "plain.html"
    path.write_text(
        "<table><thead><tr><th>a<th>b</thead><tr><td>1,000<td>x<tr><td>2<td>N/A</table>"
        "<table><tr><th>k<th>v<tr><td>1<td>2.5<tr><td rowspan=2>r<td>3<tr><td>4</table>",
        encoding="utf-8")
    ours = tabrivo.read_html(str(path))
    theirs = pandas.read_html(str(path), flavor="lxml")
    assert len(ours) == len(theirs) == 2
    for mine, reference in zip(ours, theirs):
        pandas.testing.assert_frame_equal(mine, reference)


def _text_parser_frames(html, header=None):
    # What pandas' text parser makes of each table's grid rows with
    # read_html's arguments and header rows.
    from pandas.errors import EmptyDataError
    from pandas.io.parsers import TextParser

    frames = []
    for table in tabrivo.read_tables(html, grid=True):
        rows, table_header = table.rows, header
        if table.header_rows and table_header is None:
            table_header = (0 if table.header_rows == 1 else
                            [i for i in range(table.header_rows) if any(rows[i])])
        try:
            with TextParser(rows, header=table_header, thousands=",", decimal=".") as parser:
                frames.append(parser.read())
        except EmptyDataError:
            continue
    return frames


@pytest.mark.parametrize(
    "html, header",
    [
        # one column: rows without text are no rows, the header row too
        ("<table><tr><td>a<tr><td> <tr><td>1<tr><td>\n</table>", None),
        ("<table><tr><th> <tr><td>x<tr><td>2<tr><td> </table>", None),
        # missing values, True and False, in every mix
        ("<table><tr><th>a<th>b<th>c<th>d<tr><td>True<td>N/A<td>x<td>nan"
         "<tr><td>false<td>TRUE<td>nan<td>inf<tr><td>TRUE<td><td>False<td>1</table>", None),
        # thousands separators in numbers and in text
        ("<table><tr><td>1,000<td>a,b<td>1,000.5<td>7"
         "<tr><td>2<td>1,2<td>x,1<td>2.5</table>", None),
        # texts no number starts with, and ones that look like numbers
        ("<table><tr><td>\u0661\u0662<td>&nbsp;5<td>-<td>e5"
         "<tr><td>1<td>2<td>3<td> 4 </table>", None),
        # repeated and empty names; numbered columns
        ("<table><tr><th><th>Unnamed: 0<th>a<th>a.1<th>a"
         "<tr><td>1<td>2<td>3<td>4<td>5</table>", None),
        ("<table><tr><th>a<th>b<tr><td>1<td>x</table>", 0),
        ("<table><tr><th>a<th>b<tr><td>1<td>x</table>", None),
        ("<table><tr><td>&#xfeff;a<td>b<tr><td>1<td>2</table>", None),
        # a head without a body, an empty table
        ("<table><thead><tr><th>a<th>b</thead></table><table><tr><td> </table>", None),
    ],
)
def test_read_html_frames_are_what_pandas_parser_makes_of_the_rows(html, header):
    pandas = pytest.importorskip("pandas")
    ours = tabrivo.read_html(html, header=header)
    theirs = _text_parser_frames(html, header)
    assert len(ours) == len(theirs)
    for mine, reference in zip(ours, theirs):
        pandas.testing.assert_frame_equal(mine, reference, check_exact=True,
                                          check_column_type=True, check_index_type=True)


@pytest.mark.parametrize(
    "options, shape",
    [
        ({}, (2, 3)),
        ({"header": None}, (2, 3)),
        ({"skiprows": 1}, (1, 3)),
        ({"index_col": 0}, (2, 2)),
        ({"match": "Prices"}, (2, 3)),
        ({"attrs": {"id": "t"}}, (2, 3)),
    ],
)
def test_read_html_options_mean_what_they_mean_for_pandas(page, options, shape):
    pytest.importorskip("pandas")
    assert tabrivo.read_html(str(page), **options)[0].shape == shape


def test_read_html_without_a_matching_table_raises_value_error(page):
    pytest.importorskip("pandas")
    with pytest.raises(ValueError, match="No tables found"):
        tabrivo.read_html(str(page), match="nothing like this")
    with pytest.raises(ValueError, match="No tables found"):
        tabrivo.read_html("<p>no tables</p>")


def test_read_many_yields_each_file_in_order(tmp_path, page):
    paths = []
    for i in range(12):
        path = tmp_path / f"p{i}.html"
        path.write_text(f"<table><tr><td>{i}</table>", encoding="utf-8")
        paths.append(path)
    results = list(tabrivo.read_many(paths, jobs=3))
    assert [p for p, _ in results] == [str(p) for p in paths]
    assert [t[0].rows for _, t in results] == [[[str(i)]] for i in range(12)]


def test_read_many_reports_a_failed_file_as_asked(tmp_path, page):
    missing = tmp_path / "missing.html"
    results = list(tabrivo.read_many([missing, page], errors="yield"))
    assert isinstance(results[0][1], FileNotFoundError)
    assert len(results[1][1]) == 2
    with pytest.raises(FileNotFoundError):
        list(tabrivo.read_many([page, missing]))


def test_read_many_stopped_early_leaves_cleanly(page):
    reader = tabrivo.read_many([page] * 50, jobs=2)
    next(reader)
    reader.close()


@pytest.mark.parametrize(
    "source, error",
    [
        ("missing-file.html", FileNotFoundError),
        (pathlib.Path("/"), IsADirectoryError),
        ("https://example.org/", ValueError),
        (12, TypeError),
    ],
)
def test_bad_sources_raise_python_errors(source, error):
    with pytest.raises(error):
        tabrivo.read_tables(source)


@pytest.mark.parametrize(
    "read",
    [
        lambda: tabrivo.read_tables("\ud800.html"),
        lambda: tabrivo.read_tables("<table><tr><td>\ud800"),
        lambda: tabrivo.read_html("<table><tr><td>\ud800"),
        lambda: list(tabrivo.read_many(["\ud800.html"])),
        lambda: list(tabrivo.read_warc("\ud800.warc")),
    ],
)
def test_a_lone_surrogate_in_a_path_or_text_raises_unicode_encode_error(read):
    with pytest.raises(UnicodeEncodeError):
        read()


def test_a_file_name_that_is_not_utf8_is_read(tmp_path):
    path = os.path.join(tmp_path, os.fsdecode(b"caf\xe9.html"))
    pathlib.Path(path).write_text(PAGE, encoding="utf-8")
    assert len(tabrivo.read_tables(path)) == 2
    assert [p for p, _ in tabrivo.read_many([path])] == [path]
    with pytest.raises(FileNotFoundError) as missing:
        tabrivo.read_tables(path + ".gone")
    assert missing.value.filename == path + ".gone"


def test_a_file_changed_while_read_raises_source_changed_error(tmp_path):
    path = tmp_path / "big.html"
    path.write_text("<table>" + ("<tr><td>" + "<b>a</b> <i>b</i> " * 10) * 30_000 + "</table>")
    failures = []

    def read():
        try:
            tabrivo.read_tables(path)
        except OSError as error:
            failures.append(error)

    reader = threading.Thread(target=read)
    reader.start()
    deadline = time.monotonic() + 60
    while str(path) not in pathlib.Path("/proc/self/maps").read_text():  # mapped, being read
        assert reader.is_alive() and time.monotonic() < deadline, "the file was never mapped"
        time.sleep(0.001)
    info = path.stat()
    os.utime(path, ns=(info.st_atime_ns, info.st_mtime_ns + 1_000_000_000))  # as a write does
    reader.join()
    [error] = failures
    assert type(error) is tabrivo.SourceChangedError and error.filename == str(path)
    assert str(error) == ("Cannot read the source file, another program changed it while it "
                          f'was read: "{path}"')


def test_a_grid_too_large_raises_value_error():
    spans = "<tr><td colspan=1000 rowspan=0>x" * 70 + "<tr><td>y" * 1000
    with pytest.raises(ValueError, match="grid"):
        tabrivo.read_tables("<table>" + spans + "</table>", grid=True)


# Ctrl-C (SIGINT) while a big file is read, in a process of its own: how long
# after it KeyboardInterrupt came, against a whole read of the same file.
CTRL_C = """
import json, os, signal, sys, threading, time
import tabrivo

small, big = sys.argv[1:]
started = time.monotonic()
tabrivo.read_tables(big)
whole = time.monotonic() - started
sent = []

def ctrl_c():
    sent.append(time.monotonic())
    os.kill(os.getpid(), signal.SIGINT)

def many(received):
    for path, _ in tabrivo.read_many([small, big, big, big], jobs=1):
        received.append(path)
        threading.Timer(whole / 10, ctrl_c).start()  # while the next file is read

def one(received):
    threading.Timer(whole / 10, ctrl_c).start()
    received.append(tabrivo.read_tables(big))

results = {"whole": whole}
for name, read in (("many", many), ("one", one)):
    received = []
    try:
        read(received)
    except KeyboardInterrupt:
        results[name] = [time.monotonic() - sent.pop(), len(received)]
print(json.dumps(results))
"""


def test_ctrl_c_ends_a_long_read_at_once(tmp_path):
    small, big = tmp_path / "small.html", tmp_path / "big.html"
    small.write_text("<table><tr><td>x</table>")
    row = "<tr><td>" + "<b>a</b> <i>b</i> <span>c</span> " * 4 + "\n"
    # Over 8 MiB, so that it is parsed while read; less where the sanitizers slow reading down.
    size = 9_000_000 if "asan" in os.environ.get("LD_PRELOAD", "") else 30_000_000
    big.write_text("<table>" + row * (size // len(row)) + "</table>")
    done = subprocess.run([sys.executable, "-c", CTRL_C, str(small), str(big)], check=True,
                          capture_output=True, text=True, timeout=300)
    results = json.loads(done.stdout)
    # Without the checks, KeyboardInterrupt comes once the file in hand is read
    # through, most of a whole read after Ctrl-C.
    assert results["many"][1] == 1 and results["one"][1] == 0, results
    assert results["many"][0] < results["whole"] / 2 and results["one"][0] < results["whole"] / 2, \
        results
# Reads the page given with the process's memory limited, both ways: the
# tables, and the JSON Lines tabrivo.dask writes; prints what each raised.
READ_WITH_LITTLE_MEMORY = """
import resource, sys, tabrivo
from tabrivo import _tabrivo
used = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (used + (150 << 20),) * 2)
for read in (tabrivo.read_tables, lambda path: _tabrivo.file_json_lines(path, False)):
    try:
        read(sys.argv[1])
        print("read")
    except MemoryError as error:
        print("MemoryError:", error)
"""


def test_memory_that_runs_out_raises_memory_error(tmp_path):
    if "asan" in os.environ.get("LD_PRELOAD", ""):
        pytest.skip("the address sanitizer needs more address space than the limit leaves")
    page = tmp_path / "wide.html"
    page.write_text("<table><tr>" + "<td>x" * 4_000_000)  # 20 MB, some 1.3 GB to read
    run = subprocess.run([sys.executable, "-c", READ_WITH_LITTLE_MEMORY, str(page)],
                         capture_output=True, text=True, timeout=120)
    expected = f'MemoryError: Cannot convert "{page}": not enough memory'
    assert run.stdout.splitlines() == [expected, expected], run.stderr


def test_hostile_pages_never_crash_the_interpreter():
    # The fuzz targets' seeds: folders separated like PATH.
    seeds = os.environ.get("TABRIVO_FUZZ_SEEDS", "")
    pages = [b"", b"\xff\xfe<\x00t\x00", b"<table>" * 5000, b"<td rowspan=0 colspan=99999>",
             b"<table><tr><td>\x00\x01</table>", "<table><tr><td>\ud800".encode("utf-8", "surrogatepass")]
    for folder in filter(os.path.isdir, seeds.split(os.pathsep)):
        for name in sorted(os.listdir(folder)):
            if name.endswith((".html", ".htm")):
                with open(os.path.join(folder, name), "rb") as f:
                    pages.append(f.read())
    for data in pages:
        for grid in (False, True):
            try:
                tabrivo.read_tables(data, grid=grid)
            except ValueError:
                pass  # a grid too large
