"""Tables of HTML pages with the text a browser shows for each cell.

``read_tables`` gives each table's rows, caption and header rows;
``read_html`` gives pandas DataFrames the way ``pandas.read_html`` does;
``read_many`` reads many files on native threads.

Paths may be any name the file system gives (a str from ``os.fsdecode``
keeps bytes that are not UTF-8); a str holding a lone surrogate that stands
for no such byte raises ``UnicodeEncodeError``. Ctrl-C during a read raises
``KeyboardInterrupt`` within a moment.
"""

import collections
import os
import re
import warnings

from . import _tabrivo

__all__ = ["Table", "read_tables", "read_html", "read_many", "read_warc", "WarcRecordWarning",
           "SourceChangedError"]


class SourceChangedError(OSError):
    """A file that another program changed or cut short while it was read:
    what was read may be a mix of two versions, so it gives no tables. Read it
    again once it is saved. ``filename`` is its path; ``str()`` says what happened."""

    def __init__(self, message, filename):
        super().__init__(message)
        self.filename = filename

    def __str__(self):
        return self.args[0]


class Table:
    """One table of a page.

    ``rows``: lists of cell texts (with ``grid=True`` every row as wide as the
    widest and every slot a cell covers holding its text); ``caption``: the
    caption's text or ""; ``header_rows``: how many leading rows head the table
    (the thead's rows, else the leading rows of th cells); ``index``: its place
    among the page's tables (nested tables included); ``attrs``: the table
    element's attributes.
    """

    __slots__ = ("index", "caption", "header_rows", "rows", "attrs")

    def __init__(self, index, caption, header_rows, rows, attrs):
        self.index = index
        self.caption = caption
        self.header_rows = header_rows
        self.rows = rows
        self.attrs = attrs

    def __repr__(self):
        width = max((len(row) for row in self.rows), default=0)
        return (f"<tabrivo.Table {self.index}: {len(self.rows)} rows x {width} columns, "
                f"caption {self.caption!r}>")

    def text(self):
        """The caption and every cell's text, one a line (what ``match`` searches)."""
        return "\n".join([self.caption] + [cell for row in self.rows for cell in row])

    def to_pandas(self):
        """A DataFrame of the rows, the header rows as its columns (a MultiIndex
        for several), every value a str."""
        import pandas

        width = max((len(row) for row in self.rows), default=0)
        rows = [row + [""] * (width - len(row)) for row in self.rows]
        head, body = rows[: self.header_rows], rows[self.header_rows:]
        if not head:
            return pandas.DataFrame(body, columns=range(width) if width else None)
        columns = (pandas.Index(head[0]) if len(head) == 1
                   else pandas.MultiIndex.from_arrays(list(zip(*head))) if width else None)
        return pandas.DataFrame(body, columns=columns)


def _tables(raw):
    return [Table(*fields) for fields in raw]


_URL = re.compile(r"[a-zA-Z][a-zA-Z0-9+.-]*://")


def _is_path(value):
    return isinstance(value, os.PathLike)


def _read(source, grid):
    # Paths go to the engine as the file system's bytes, text as UTF-8: a
    # lone surrogate raises UnicodeEncodeError here.
    if _is_path(source):
        return _tabrivo.read_file(os.fsencode(source), grid)
    if isinstance(source, (bytes, bytearray, memoryview)):
        return _tabrivo.read_bytes(bytes(source), grid)
    if isinstance(source, str):
        if "<" not in source:
            if _URL.match(source):
                raise ValueError(f"tabrivo reads files and text, not URLs: {source!r}")
            return _tabrivo.read_file(os.fsencode(source), grid)
        if "\n" not in source and len(source) < 4096 and os.path.isfile(source):
            return _tabrivo.read_file(os.fsencode(source), grid)
        return _tabrivo.read_text(source.encode("utf-8"), grid)
    if hasattr(source, "read"):
        return _read(source.read(), grid)
    raise TypeError(
        "the source must be a path (str or os.PathLike), bytes, HTML text (str) or a file "
        f"object, not {type(source).__name__}")


def read_tables(source, *, grid=False):
    """Every table of a page, nested tables included, in document order.

    ``source``: a path (``os.PathLike``, or a str without "<"), the page's bytes
    (the encoding is found as for files: byte-order mark, ``<meta charset>``,
    then detection), HTML text (a str holding "<") or a file object.
    ``grid=True`` expands row and column spans as the HTML standard forms a
    table. A missing or unreadable file raises the matching ``OSError``
    (``FileNotFoundError``, ``IsADirectoryError``, ...), a file changed while
    it was read ``SourceChangedError``; a table whose spans would make a grid
    of more than 64 Mi slots raises ``ValueError``.
    """
    return _tables(_read(source, grid))


class WarcRecordWarning(UserWarning):
    """A record of a web archive that could not be read or converted."""


class WarcPage(collections.namedtuple("WarcPage", "uri record_id tables")):
    """A page of a web archive, as ``read_warc`` yields it.

    It unpacks as ``(uri, record_id, tables)``; ``status`` is the HTTP status
    of a ``response`` record (an int, non-2xx for error pages and redirects)
    and None for a ``resource`` record, which holds no HTTP response; ``date``
    is the record's WARC-Date.
    """

    status = None
    date = ""

    def __new__(cls, uri, record_id, tables, *, status=None, date=""):
        page = super().__new__(cls, uri, record_id, tables)
        page.status = status
        page.date = date
        return page

    def __repr__(self):
        return (f"WarcPage(uri={self.uri!r}, record_id={self.record_id!r}, "
                f"status={self.status!r}, tables={len(self.tables)})")


def read_warc(path, *, grid=False):
    """The tables of the HTML pages in a web archive, a page at a time.

    ``path``: a WARC file (1.0 or 1.1), plain or gzip compressed record by
    record. Yields a ``WarcPage`` for every ``response`` record whose HTTP
    ``Content-Type`` is HTML and every HTML ``resource`` record: it unpacks as
    ``(uri, record_id, tables)`` and has ``status``, the HTTP status (None for
    a ``resource`` record), so that error pages can be told from data. The
    body is decoded as its HTTP header says (chunked; gzip, deflate, br) and
    read with the charset of that header (after a byte-order mark, before
    ``<meta>``, as browsers take it). Memory follows the largest record, not
    the file. A record that cannot be read or converted (a body whose coding
    cannot be decoded, too) is passed over with a ``WarcRecordWarning`` naming
    its offset and the reason; a file that cannot be opened raises the
    matching ``OSError``.
    """
    pages = _tabrivo.WarcPages(os.fsencode(path), grid)
    reported = 0
    for uri, record_id, date, status, raw in pages:
        reported = _warn_failures(path, pages.failures(), reported)
        yield WarcPage(uri, record_id, _tables(raw), status=status, date=date)
    _warn_failures(path, pages.failures(), reported)


def _warn_failures(path, failures, reported):
    for offset, reason in failures[reported:]:
        warnings.warn(f"{os.fspath(path)}: the record at offset {offset} was not converted: "
                      f"{reason}", WarcRecordWarning, stacklevel=3)
    return len(failures)


def read_many(paths, *, jobs=None, grid=False, errors="raise"):
    """Reads files on ``jobs`` native threads (default: one per core) and yields
    ``(path, tables)`` per file, in the order given, as each is ready.

    A file that cannot be read raises its ``OSError`` where it comes
    (``errors="raise"``) or is yielded as ``(path, exception)`` (``errors="yield"``).
    Each path is yielded as given (``os.fspath`` of it).
    """
    if errors not in ("raise", "yield"):
        raise ValueError(f"errors must be 'raise' or 'yield', not {errors!r}")
    paths = [os.fspath(path) for path in paths]
    names = [os.fsencode(path) for path in paths]
    jobs = os.cpu_count() or 1 if jobs is None else int(jobs)
    if jobs < 1:
        raise ValueError(f"jobs must be at least 1, not {jobs}")
    reader = _tabrivo.ManyReader(names, jobs, grid)
    try:
        for path in paths:
            try:
                _name, raw = next(reader)
            except OSError as error:
                if errors == "raise":
                    raise
                yield path, error
                continue
            yield path, _tables(raw)
    finally:
        reader.close()


def _skiprows(skiprows):
    if isinstance(skiprows, slice):
        start, step = skiprows.start or 0, skiprows.step or 1
        return list(range(start, skiprows.stop, step))
    if isinstance(skiprows, int) or skiprows is None or hasattr(skiprows, "__iter__"):
        return skiprows
    raise TypeError(f"{type(skiprows).__name__} is not a valid type for skipping rows")


# What pandas' text parser reads as missing by default.
_DEFAULT_NA = frozenset({
    "", "#N/A", "#N/A N/A", "#NA", "-1.#IND", "-1.#QNAN", "-NaN", "-nan", "1.#IND", "1.#QNAN",
    "<NA>", "N/A", "NA", "NULL", "NaN", "n/a", "nan", "null"})
_DEFAULT_NA_SET = set(_DEFAULT_NA)  # pandas' converters take a set, not a frozenset

# The texts pandas' text parser turns into True and False.
_BOOL_TEXTS = frozenset({"True", "TRUE", "true", "False", "FALSE", "false"})

# A number whose thousands pandas' text parser takes out ("1,000.5").
_THOUSANDS_NUMBER = re.compile(r"^[\-\+]?([0-9]+,|[0-9])*(\.[0-9]*)?([0-9]?(E|e)\-?[0-9]+)?$")

# The first characters of the texts pandas reads as numbers: digits, a sign, a
# point, ASCII white space; i and I ("inf", "infinity"); n, N, e and E are kept
# as well. Its number parser reads ASCII only, so no text starting with any
# other character is a number.
_NUMBER_START = frozenset("0123456789+-. \t\n\v\f\riInNeE")

_FRAME_PARTS = {}


def _frame_parts():
    # The pandas internals the frames of plain tables are made of, imported
    # once; None where this pandas lacks them (its text parser makes every frame).
    if not _FRAME_PARTS:
        try:
            import numpy
            import pandas
            from pandas._libs import lib, ops as libops
            from pandas.core.indexes.numeric import Int64Index
            from pandas.core.internals import BlockManager
            from pandas.core.internals.blocks import BlockPlacement, ObjectBlock, new_block
        except ImportError:
            _FRAME_PARTS["missing"] = True
        else:
            _FRAME_PARTS.update(numpy=numpy, pandas=pandas, lib=lib, libops=libops,
                                Int64Index=Int64Index, BlockManager=BlockManager,
                                BlockPlacement=BlockPlacement, ObjectBlock=ObjectBlock,
                                new_block=new_block)
    return None if "missing" in _FRAME_PARTS else _FRAME_PARTS


def _column_names(header_row):
    # pandas' names: "Unnamed: i" for an empty one; a repeated one gets ".1",
    # ".2", ... (a name not taken yet), the named columns before the unnamed ones.
    names = [name or f"Unnamed: {i}" for i, name in enumerate(header_row)]
    if "" not in header_row and len(set(header_row)) == len(header_row):
        return names
    unnamed = [i for i, name in enumerate(header_row) if name == ""]
    order = [i for i in range(len(names)) if header_row[i] != ""] + unnamed
    counts = {}
    for i in order:
        name = original = names[i]
        count = counts.get(name, 0)
        while count > 0:
            counts[original] = count + 1
            name = f"{original}.{count}"
            count = count + 1 if name in names else counts.get(name, 0)
        names[i] = name
        counts[name] = count + 1
    return names


def _convert_column(texts, values, parts):
    """One column as pandas' text parser converts it with default options, each
    converter run only where it can change something: ``texts`` its texts,
    ``values`` the same as a row of the table's object array, changed in place.
    Returns the converted array, or None where the column stays in ``values``."""
    missing = not _DEFAULT_NA.isdisjoint(texts)
    first = next((text for text in texts if text not in _DEFAULT_NA), None) if missing else texts[0]
    if first is None or first[:1] in _NUMBER_START:
        try:
            return parts["lib"].maybe_convert_numeric(values, _DEFAULT_NA_SET, False)[0]
        except (ValueError, TypeError):
            pass
    if missing:
        values[[i for i, text in enumerate(texts) if text in _DEFAULT_NA]] = parts["numpy"].nan
    if not _BOOL_TEXTS.isdisjoint(texts):
        converted = parts["libops"].maybe_convert_bool(values)[0]
        if converted.dtype.kind != "O":
            return converted
        values[:] = converted  # True and False among missing values
    return None


def _placement(parts, columns, width):
    return parts["BlockPlacement"](slice(0, width) if len(columns) == width else columns)


def _plain_frame(rows, header):
    """The DataFrame pandas' text parser makes of a table's grid with default
    options (``header`` None or 0), or None where the parser has to make it (a
    header without body rows, no rows with text). The parser's per-table work
    would cost more than reading the page, so the frame's blocks are made
    here, one per dtype as pandas consolidates them, with pandas' own converters."""
    width = len(rows[0])
    if width == 1:
        # As pandas' parser: a one-column row without text is no row, header or not.
        rows = [row for row in rows if row[0].strip()]
        if not rows:
            return None
    elif width == 0:
        return None
    if rows[0][0][:1] == "\ufeff":
        return None  # the parser takes a byte-order mark off the first text
    body = rows[1:] if header == 0 else rows
    parts = _frame_parts()
    if not body or parts is None:
        return None
    numpy = parts["numpy"]
    columns = list(zip(*body))
    if any("," in text for text in map("".join, columns)):
        columns = [tuple(text.replace(",", "") if "," in text and
                         _THOUSANDS_NUMBER.search(text.strip()) else text for text in column)
                   if "," in "".join(column) else column for column in columns]
    values = numpy.array(columns, dtype=object)
    if values.shape != (width, len(body)):
        return None
    by_dtype = {}
    texts = []
    for j, column in enumerate(columns):
        converted = _convert_column(column, values[j], parts)
        if converted is None:
            texts.append(j)
        else:
            by_dtype.setdefault(converted.dtype, []).append((j, converted))
    blocks = []
    if texts:
        blocks.append(parts["ObjectBlock"](values if len(texts) == width else values[texts],
                                           placement=_placement(parts, texts, width), ndim=2))
    new_block = parts["new_block"]
    for dtype, items in by_dtype.items():
        if dtype.kind not in "biuf":
            return None
        stacked = (items[0][1].reshape(1, -1) if len(items) == 1
                   else numpy.array([array for _, array in items]))
        blocks.append(new_block(stacked, placement=_placement(parts, [j for j, _ in items], width),
                                ndim=2))
    pandas = parts["pandas"]
    if header == 0:
        column_index = pandas.Index._simple_new(
            numpy.array(_column_names(rows[0]), dtype=object))
    else:
        column_index = parts["Int64Index"]._simple_new(numpy.arange(width, dtype=numpy.int64))
    manager = parts["BlockManager"](
        tuple(blocks), [column_index, pandas.RangeIndex._simple_new(range(len(body)))],
        verify_integrity=False)
    return pandas.DataFrame(manager)


def _attrs_match(table_attrs, attrs):
    # As pandas matches them: every given attribute equal, "class" as a whole.
    return all(table_attrs.get(name) == value for name, value in attrs.items())


def read_html(io, *, match=".+", flavor=None, header=None, index_col=None, skiprows=None,
              attrs=None, parse_dates=False, thousands=",", encoding=None, decimal=".",
              converters=None, na_values=None, keep_default_na=True, displayed_only=True,
              extract_links=None):
    """The tables of a page as a list of DataFrames, like ``pandas.read_html``.

    The parameters mean what they mean for ``pandas.read_html``: ``match``
    (a regular expression a table's text must contain), ``header``,
    ``index_col``, ``skiprows``, ``attrs`` (attributes the table element must
    have), ``parse_dates``, ``thousands``, ``decimal``, ``converters``,
    ``na_values``, ``keep_default_na``. Spans are expanded, every slot a cell
    covers holding its text; header rows are the thead's rows, else the leading
    rows of th cells; tables without rows are left out; no table raises
    ``ValueError("No tables found")``.

    Where tabrivo differs from pandas, on purpose:

    - The cell text is what a browser shows (its ``innerText``): ``<br>`` and
      block boundaries give line breaks ("\\n"), not spaces; hidden content
      (``display: none`` and ``visibility: hidden`` from ``style`` attributes
      and the page's style sheets) is left out and the rest of the cell kept,
      whatever ``displayed_only`` says; ``text-transform`` applies.
    - A table's rows are the DOM's ``table.rows``: a nested table's rows stay
      in their own table (pandas also counts the rows of tbody elements in
      nested tables as its outer table's).
    - Spans follow the HTML standard's table forming: a rowspan ends with its
      row group (thead, each tbody, tfoot) and adds no rows past it, rowspan 0
      reaches the group's end, colspan is at most 1000; pandas expands within
      head, body and foot and adds rows for rowspans past the last row.
    - The page is parsed as browsers parse it (HTML5 tree construction), and
      bytes are decoded as browsers decode them (``encoding`` is ignored).
    - ``match`` searches the caption and the cells' browser text.
    - ``flavor`` is accepted for compatibility and ignored; URLs are refused
      (``ValueError``): fetch the page yourself; ``extract_links`` is not supported.
    """
    if extract_links is not None:
        raise NotImplementedError("tabrivo.read_html does not extract links")
    if flavor not in (None, "lxml", "bs4", "html5lib", ("lxml",), ("bs4", "html5lib")):
        raise ValueError(f"{flavor!r} is not a valid flavor")
    if isinstance(header, bool) or isinstance(index_col, bool):
        raise TypeError("header and index_col take row and column numbers, not True or False")

    tables = _read(io, True)  # (index, caption, header rows, grid rows, attributes) each
    if not tables:
        raise ValueError("No tables found")
    if isinstance(match, str) and match == ".+":
        # Any character but a line break in the caption or a cell.
        tables = [t for t in tables
                  if t[1].strip("\n") or any(text.strip("\n") for row in t[3] for text in row)]
    else:
        pattern = re.compile(match)
        tables = [t for t in tables if pattern.search(Table(*t).text())]
    if attrs:
        tables = [t for t in tables if _attrs_match(t[4], attrs)]
    if not tables:
        raise ValueError(f"No tables found matching pattern {match!r}")

    plain = (index_col is None and skiprows is None and not parse_dates and thousands == ","
             and decimal == "." and converters is None and na_values is None and keep_default_na)
    frames = []
    for _index, _caption, head, rows, _attrs in tables:
        table_header = header
        if head and table_header is None:
            # As pandas: one header row, or the head's rows that hold any text.
            table_header = 0 if head == 1 else [i for i in range(head) if any(rows[i])]
        if plain and table_header in (None, 0) and rows:
            frame = _plain_frame(rows, table_header)
            if frame is not None:
                frames.append(frame)
                continue
        from pandas.errors import EmptyDataError
        from pandas.io.parsers import TextParser

        try:
            with TextParser(rows, header=table_header, index_col=index_col,
                            skiprows=_skiprows(skiprows), parse_dates=parse_dates,
                            thousands=thousands, decimal=decimal, converters=converters,
                            na_values=na_values, keep_default_na=keep_default_na) as parser:
                frames.append(parser.read())
        except EmptyDataError:  # a table without rows
            continue
    return frames
