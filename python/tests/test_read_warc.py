"""tabrivo.read_warc: pages of a web archive, their charset, damaged records."""

import gzip

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
