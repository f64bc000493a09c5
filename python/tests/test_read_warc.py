"""tabrivo.read_warc: pages of a web archive, their charset, damaged records."""

import gzip
import zlib

import pytest

import tabrivo


def record(warc_type, uri, block):
    head = (f"WARC/1.1\r\nWARC-Type: {warc_type}\r\nWARC-Target-URI: {uri}\r\n"
            f"WARC-Record-ID: <urn:uuid:{uri[-1]}>\r\nContent-Length: {len(block)}\r\n\r\n")
    return head.encode() + block + b"\r\n\r\n"


def response(uri, body, content_type="text/html; charset=iso-8859-2"):
    return record("response", uri,
                  f"HTTP/1.1 200 OK\r\nContent-Type: {content_type}\r\n\r\n".encode() + body)


def test_pages_come_with_their_record_and_charset_and_damage_warns(tmp_path):
    broken = bytearray(gzip.compress(response("http://x/b", b"<table><td>lost")))
    broken[len(broken) // 2] ^= 0x55
    members = [
        gzip.compress(record("warcinfo", "urn:i", b"software: test")),
        gzip.compress(response("http://x/a", b"<meta charset=utf-8><table><td>\xb1</table>")),
        bytes(broken),
        gzip.compress(response("http://x/c", b"<img>", "image/png")),
        gzip.compress(response("http://x/d", b"<table><tr><td colspan=2>wide</table>")),
    ]
    archive = tmp_path / "a.warc.gz"
    archive.write_bytes(b"".join(members))
    with pytest.warns(tabrivo.WarcRecordWarning, match=f"offset {sum(map(len, members[:2]))}"):
        pages = list(tabrivo.read_warc(archive, grid=True))
    assert [(uri, record_id) for uri, record_id, _ in pages] == [
        ("http://x/a", "<urn:uuid:a>"), ("http://x/d", "<urn:uuid:d>")]
    assert pages[0][2][0].rows == [["\u0105"]]  # the HTTP charset before <meta>
    assert pages[1][2][0].rows == [["wide", "wide"]]


def test_missing_archive_raises_file_not_found(tmp_path):
    with pytest.raises(FileNotFoundError):
        next(tabrivo.read_warc(tmp_path / "none.warc.gz"))


def test_bodies_are_decoded_and_pages_carry_their_status(tmp_path):
    table = b"<table><td>x</table>"
    archive = tmp_path / "a.warc"
    archive.write_bytes(
        record("response", "http://x/gzip", b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
               b"Content-Encoding: gzip\r\n\r\n" + gzip.compress(table))
        + record("response", "http://x/gone", b"HTTP/1.1 404 Not Found\r\nContent-Type: text/html"
                 b"\r\nContent-Encoding: deflate\r\n\r\n" + zlib.compress(table))
        + record("response", "http://x/zstd", b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                 b"Content-Encoding: zstd\r\n\r\n" + table)
        + record("resource", "file:///f", table).replace(
            b"Content-Length", b"Content-Type: text/html\r\nContent-Length"))
    with pytest.warns(tabrivo.WarcRecordWarning, match='coding "zstd", which cannot be decoded'):
        pages = list(tabrivo.read_warc(archive))
    assert [(uri, len(tables)) for uri, _, tables in pages] == [
        ("http://x/gzip", 1), ("http://x/gone", 1), ("file:///f", 1)]
    assert [page.status for page in pages] == [200, 404, None]
    assert pages[0].tables[0].rows == [["x"]] and pages[0] == tuple(pages[0])
