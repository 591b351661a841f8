#!/usr/bin/python3
"""Writes the starting inputs of the raw-inflate and round-trip harnesses from the
test fixtures (the scan-extract harness replays the fixtures themselves).

raw-inflate: every deflated member of tests/data/fixtures/intact.odb as
  [claimed size, 4 bytes LE][buffer size choice, 2 bytes LE][raw stream].
round-trip: the members of intact.odb as [name length - 1][name][size LE16][data].
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

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURE = os.path.join(HERE, "..", "tests", "data", "fixtures", "intact.odb")


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

    html_dir = os.path.join(HERE, "corpus", "html-render")
    os.makedirs(html_dir, exist_ok=True)
    for seed in html_seeds():
        with open(os.path.join(html_dir, "seed-" + hashlib.sha1(seed).hexdigest()[:16]), "wb") as f:
            f.write(seed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
