#!/usr/bin/python3
"""Writes the starting inputs of the raw-inflate and round-trip harnesses from the
test fixtures (the scan-extract harness replays the fixtures themselves).

raw-inflate: every deflated member of tests/data/fixtures/intact.odb as
  [claimed size, 4 bytes LE][buffer size choice, 2 bytes LE][raw stream].
round-trip: the members of intact.odb as [name length - 1][name][size LE16][data].
scan-extract: small packages for what the repair does after extraction (the HSQLDB
  database completed or mended, the manifest repaired, forms listed in a new
  content.xml, CRCs taken from a central directory), mostly stored so their text
  mutates directly.
html-render: the markup the program shows (string literals with tags in the engine,
  the views, the program and the renderer's tests, and the help page), and the
  renderer's default style sheet, as [options][narrow width][text].
Deterministic; rerun after the fixtures change."""
import glob
import hashlib
import os
import re
import struct
import sys
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURE = os.path.join(HERE, "..", "tests", "data", "fixtures", "intact.odb")
FIREBIRD_BACKUP = os.path.join(HERE, "..", "tests", "engine", "data", "firebird-small.fbk")


def raw_streams(path):
    with open(path, "rb") as f:
        data = f.read()
    with zipfile.ZipFile(path) as archive:
        for info in archive.infolist():
            if info.compress_type != zipfile.ZIP_DEFLATED:
                continue
            name_length, extra_length = struct.unpack_from("<HH", data, info.header_offset + 26)
            start = info.header_offset + 30 + name_length + extra_length
            yield info.filename, info.file_size, data[start:start + info.compress_size]


LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
ESCAPES = {"n": "\n", "t": "\t", "r": "\r", '"': '"', "\\": "\\", "0": "\0"}


def markup_literals(paths):
    """C++ string literals that hold a tag, escapes decoded."""
    for path in paths:
        with open(path, encoding="utf-8") as f:
            source = f.read()
        for match in LITERAL.finditer(source):
            text = re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), match.group(1))
            if re.search(r"<[a-z/]", text):
                yield text


def default_sheet():
    with open(os.path.join(HERE, "..", "html", "HtmlStyleSheet.cpp"), encoding="utf-8") as f:
        source = f.read()
    body = source[source.index("QString CHtmlStyleSheet::DefaultSheet()"):]
    body = body[:body.index(");")]
    return "".join(re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), s)
                   for s in LITERAL.findall(body))


def html_seeds():
    root = os.path.join(HERE, "..")
    sources = []
    for folder in ("engine", "view", "app", "tests/html"):
        sources += sorted(glob.glob(os.path.join(root, folder, "*.cpp")))
    texts = sorted(set(markup_literals(sources)))
    # Options: escape sequences on, drawn; narrow width 120 px.
    for text in texts:
        yield bytes([0x09, 119]) + text.encode("utf-8")
    with open(os.path.join(root, "app", "help", "Tavrin for Lumiq.html"), "rb") as f:
        yield bytes([0x21, 200]) + f.read()
    sheet = default_sheet().encode("utf-8")
    yield bytes([0x0D, 60]) + sheet
    yield bytes([0x0F, 60]) + sheet + b"\0" + "".join(texts[:8]).encode("utf-8")


def _header(name, method, data_crc, compressed, uncompressed, flags=0):
    return b"PK\x03\x04" + struct.pack("<HHHHHIIIHH", 20, flags, method, 0, 0x21, data_crc, compressed,
                                        uncompressed, len(name), 0) + name


def _stored(name, data, crc=True):
    return _header(name, 0, zlib.crc32(data) if crc else 0, len(data), len(data)) + data


def _deflated(name, data, keep=None, crc=True):
    """A deflated member; `keep` cuts its stream to that many bytes (sizes as if whole)."""
    packer = zlib.compressobj(6, zlib.DEFLATED, -15)
    stream = packer.compress(data) + packer.flush()
    header = _header(name, 8, zlib.crc32(data) if crc else 0, len(stream), len(data))
    return header + (stream if keep is None else stream[:keep])


def _central(members):
    """A central directory for (name, crc, compressed, uncompressed, offset) tuples."""
    records = b""
    for name, crc, compressed, uncompressed, offset in members:
        records += b"PK\x01\x02" + struct.pack("<HHHHHHIIIHHHHHII", 20, 20, 0, 0, 0, 0x21, crc, compressed,
                                                  uncompressed, len(name), 0, 0, 0, 0, 0, offset) + name
    return records


MIMETYPE = _stored(b"mimetype", b"application/vnd.oasis.opendocument.base")
SCRIPT = (b"CREATE SCHEMA PUBLIC AUTHORIZATION DBA\n"
          b"CREATE CACHED TABLE T(ID INTEGER NOT NULL PRIMARY KEY,NAME VARCHAR(20))\n"
          b"SET TABLE T INDEX'96 0'\n"
          b"CREATE USER SA PASSWORD \"\"\n"
          b"GRANT DBA TO SA\n"
          b"SET WRITE_DELAY 60\n")
PROPERTIES = b"#HSQL Database Engine 1.8.0.10\nversion=1.8.0\nmodified=%s\nhsqldb.cache_version=1.7.0\n"


def _data_file(rows):
    """An HSQLDB 1.8 data file: a 32-byte header, then rows that chain by their lengths."""
    data = struct.pack(">I", 32 + rows * 24) + bytes(28)
    for row in range(rows):
        data += struct.pack(">I", 24) + struct.pack(">I", row) + b"row%05d" % row + bytes(8)
    return data


def database_seeds():
    data = _data_file(40)
    manifest = (b'<?xml version="1.0" encoding="UTF-8"?>\n'
                b'<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">\n'
                b' <manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.base"/>\n'
                b' <manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>\n'
                b' <manifest:file-entry manifest:full-path="forms/Obj11/" manifest:media-type="application/vnd.oasis.opendocument.text"/>\n'
                b'</manifest:manifest>\n')
    form_meta = (b'<?xml version="1.0" encoding="UTF-8"?><office:document-meta '
                 b'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
                 b'xmlns:dc="http://purl.org/dc/elements/1.1/"><office:meta><dc:title>Contacts &amp; more</dc:title>'
                 b'</office:meta></office:document-meta>')
    form = b'<?xml version="1.0" encoding="UTF-8"?><office:document-content/>'
    seeds = {
        # Data cut, backup whole: properties must ask for the restore.
        "backup-stands-in": MIMETYPE + _stored(b"database/script", SCRIPT) +
        _stored(b"database/properties", PROPERTIES % b"no") + _deflated(b"database/backup", data) +
        _deflated(b"database/data", data, keep=60),
        # Data with a broken stretch (its CRC is the sound file's) and no backup: mended in
        # place, and modified=yes cleared.
        "data-mended": MIMETYPE + _stored(b"database/script", SCRIPT) +
        _stored(b"database/properties", PROPERTIES % b"yes") +
        _header(b"database/data", 0, zlib.crc32(data), len(data), len(data)) + data[:200] + b"\xa5" * 50 + data[250:],
        # Script cut inside a line, properties lost.
        "script-cut": MIMETYPE + _deflated(b"database/script", SCRIPT, keep=70) + _stored(b"database/data", data),
        # Forms kept, content.xml lost; the manifest names a folder and a lost file.
        "forms-and-manifest": MIMETYPE + _stored(b"META-INF/manifest.xml", manifest) +
        _stored(b"forms/Obj11/content.xml", form) + _stored(b"forms/Obj11/meta.xml", form_meta) +
        _stored(b"reports/Obj2/content.xml", form) + _stored(b"database/script", SCRIPT),
    }
    # Local headers without CRCs (descriptors lost); the central directory still has them.
    package = MIMETYPE
    members = [(b"mimetype", zlib.crc32(b"application/vnd.oasis.opendocument.base"), 39, 39, 0)]
    for name, body in ((b"database/script", SCRIPT), (b"database/properties", PROPERTIES % b"no")):
        offset = len(package)
        package += _stored(name, body, crc=False)
        members.append((name, zlib.crc32(body), len(body), len(body), offset))
    records = _central(members)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(members), len(members), len(records), len(package), 0)
    seeds["crcs-from-central-directory"] = package + records + end
    seeds.update(overrun_and_copy_seeds(data))
    seeds.update(firebird_seeds())
    return seeds


def firebird_seeds():
    """An embedded Firebird backup that did not come back whole, so the salvage walks
    it: stored with a row's bytes damaged (its CRC the sound file's), and cut short."""
    with open(FIREBIRD_BACKUP, "rb") as source:
        backup = source.read()
    row = backup.index(b"\x06\x01\x04", backup.index(b"\x08\x01\x05Items"))
    damaged = backup[:row + 14] + b"\x00" + backup[row + 15:]
    name = b"database/firebird.fbk"
    return {
        "firebird-row-damaged": MIMETYPE + _header(name, 0, zlib.crc32(backup), len(backup), len(backup)) + damaged,
        "firebird-cut": MIMETYPE + _deflated(name, backup, keep=len(backup) // 3),
    }


def overrun_and_copy_seeds(data):
    """Sizes that claim more than a member holds, bytes that look like a member's end,
    several copies of one member, damaged descriptors: one seed named by each defect."""
    seeds = {}
    behind = _stored(b"database/script", SCRIPT) + _stored(b"database/properties", PROPERTIES % b"no")
    # Erased flash: both sizes 0xFFFFFFFF, stored and deflated.
    erased = _header(b"settings.xml", 0, 0, 0xFFFFFFFF, 0xFFFFFFFF) + b"<settings/>"
    packer = zlib.compressobj(6, zlib.DEFLATED, -15)
    stream = packer.compress(b"<styles/>" * 40) + packer.flush()
    seeds["sizes-erased-to-ff"] = (MIMETYPE + erased + _header(b"styles.xml", 8, 0, 0xFFFFFFFF, 0xFFFFFFFF)
                                   + stream + behind)
    # A size whose high byte took a hit carries over the members behind it.
    seeds["size-high-byte-hit"] = (MIMETYPE + _header(b"meta.xml", 0, 0, 0x01000009, 0x01000009)
                                   + b"<meta/>xx" + behind)
    # A ZIP64 streamed member: marker sizes, ZIP64 extra, descriptor with 8-byte sizes.
    body = SCRIPT * 3
    packer = zlib.compressobj(6, zlib.DEFLATED, -15)
    stream = packer.compress(body) + packer.flush()
    extra = struct.pack("<HHQQ", 1, 16, 0, 0)
    zip64 = (b"PK\x03\x04" + struct.pack("<HHHHHIIIHH", 45, 8, 8, 0, 0x21, 0, 0xFFFFFFFF, 0xFFFFFFFF,
                                          len(b"database/script"), len(extra)) + b"database/script" + extra
             + stream + b"PK\x07\x08" + struct.pack("<IQQ", zlib.crc32(body), len(stream), len(body)))
    seeds["zip64-streamed-member"] = MIMETYPE + zip64 + _stored(b"database/properties", PROPERTIES % b"no")
    # "PK\7\8" and twelve bytes inside a streamed member's raw data (stored blocks).
    body = SCRIPT + b"PK\x07\x08" + struct.pack("<III", 1, 7, 9) + SCRIPT
    packer = zlib.compressobj(0, zlib.DEFLATED, -15)
    stream = packer.compress(body) + packer.flush()
    seeds["fake-descriptor-in-data"] = (MIMETYPE + _header(b"database/script", 8, 0, 0, 0, flags=8) + stream
                                        + b"PK\x07\x08" + struct.pack("<III", zlib.crc32(body), len(stream), len(body))
                                        + _stored(b"database/properties", PROPERTIES % b"no"))
    # Copies of one member: a damaged one under "./", the whole one, a cut one behind.
    damaged = bytearray(_stored(b"./database//script", SCRIPT))
    damaged[-20] ^= 0x20
    seeds["copies-of-one-member"] = (MIMETYPE + bytes(damaged) + _stored(b"database/script", SCRIPT)
                                     + _deflated(b"database/script", SCRIPT, keep=40)
                                     + _stored(b"database/properties", PROPERTIES % b"no"))
    # content.xml of full length, its CRC missed and its markup broken.
    content = (b'<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content>'
               + b"<office:body>" + b"x" * 1000 + b"</office:bod\x01>\n</office:document-content>")
    seeds["content-xml-damaged-not-xml"] = (MIMETYPE + _header(b"content.xml", 0, 0x0BADC0DE, len(content), len(content))
                                            + content + _stored(b"forms/Obj11/content.xml", b"<f/>") + behind)
    # More than a hundred members that break at once before a data file cut short with
    # its backup whole: the backup must still stand in.
    junk = b"".join(_header(b"junk/%d.xml" % i, 8, 0, 2, 20) + b"\xff\xff" for i in range(120))
    seeds["many-failures-before-damaged-data"] = (MIMETYPE + behind + junk + _deflated(b"database/backup", data)
                                                  + _deflated(b"database/data", data, keep=60))
    # A manifest with sizes and encryption data that leaves one member out.
    manifest = (b'<?xml version="1.0" encoding="UTF-8"?>\n'
                b'<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">\n'
                b' <manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.base"/>\n'
                b' <manifest:file-entry manifest:full-path="database/script" manifest:media-type="" manifest:size="200">\n'
                b'  <manifest:encryption-data manifest:checksum-type="SHA1/1K" manifest:checksum="aGVsbG8=">\n'
                b'   <manifest:algorithm manifest:algorithm-name="Blowfish CFB" manifest:initialisation-vector="aXY="/>\n'
                b'  </manifest:encryption-data>\n'
                b' </manifest:file-entry>\n'
                b'</manifest:manifest>\n')
    seeds["manifest-with-encryption-data"] = (MIMETYPE + _stored(b"META-INF/manifest.xml", manifest) + behind)
    # Two packages in one file: a second mimetype starts a second run of members.
    seeds["two-packages-in-one-file"] = MIMETYPE + behind + MIMETYPE + _stored(b"database/script", SCRIPT + b"-- 2\n")
    # Two packages, the first closed by its central directory and end record, the
    # second an older package's members left behind it, without a mimetype of its own.
    first = MIMETYPE + _stored(b"database/script", SCRIPT)
    script_at = len(MIMETYPE)
    directory = _central([(b"mimetype", zlib.crc32(b"application/vnd.oasis.opendocument.base"), 39, 39, 0),
                          (b"database/script", zlib.crc32(SCRIPT), len(SCRIPT), len(SCRIPT), script_at)])
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 2, 2, len(directory), len(first), 0)
    seeds["two-packages-end-record-between"] = (first + directory + end + _stored(b"database/script", SCRIPT + b"-- old\n")
                                                + _stored(b"database/properties", PROPERTIES % b"yes"))
    # A size that lands on a later member's end over a member it hides, its CRC missed.
    hidden = _stored(b"database/script", SCRIPT)
    text = b"<office:document-content/>"
    seeds["extent-over-a-header"] = (MIMETYPE + _header(b"content.xml", 0, zlib.crc32(text), len(text) + len(hidden),
                                                        len(text) + len(hidden)) + text + hidden
                                     + _stored(b"database/properties", PROPERTIES % b"no"))
    # The end of the file inside the last member's local header.
    seeds["header-cut-by-end-of-file"] = MIMETYPE + behind + _header(b"settings.xml", 8, 0x1234, 100, 300)[:19]
    return seeds


def main():
    inflate_dir = os.path.join(HERE, "corpus", "raw-inflate")
    trip_dir = os.path.join(HERE, "corpus", "round-trip")
    os.makedirs(inflate_dir, exist_ok=True)
    os.makedirs(trip_dir, exist_ok=True)
    for index, (name, size, stream) in enumerate(raw_streams(FIXTURE)):
        stem = "seed-%02d-%s" % (index, name.replace("/", "_"))
        with open(os.path.join(inflate_dir, stem), "wb") as f:
            f.write(struct.pack("<IH", size, 4095) + stream)
        # The same stream claiming more than it holds, read through a small buffer.
        with open(os.path.join(inflate_dir, stem + "-overclaimed"), "wb") as f:
            f.write(struct.pack("<IH", 0xFFFFFFFF, 99) + stream)

    record = b""
    with zipfile.ZipFile(FIXTURE) as archive:
        for info in archive.infolist():
            name = info.filename.encode("latin-1")
            body = archive.read(info)[:8191]
            if not name or len(name) > 40 or info.filename == "content.xml":
                continue
            record += bytes([len(name) - 1]) + name + struct.pack("<H", len(body)) + body
    with open(os.path.join(trip_dir, "seed-intact-members"), "wb") as f:
        f.write(record)

    scan_dir = os.path.join(HERE, "corpus", "scan-extract")
    os.makedirs(scan_dir, exist_ok=True)
    for name, seed in database_seeds().items():
        with open(os.path.join(scan_dir, "seed-db-" + name), "wb") as f:
            f.write(seed)

    html_dir = os.path.join(HERE, "corpus", "html-render")
    os.makedirs(html_dir, exist_ok=True)
    for seed in html_seeds():
        with open(os.path.join(html_dir, "seed-" + hashlib.sha1(seed).hexdigest()[:16]), "wb") as f:
            f.write(seed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
