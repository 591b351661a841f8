#!/usr/bin/python3
"""Writes the starting inputs of the raw-inflate and round-trip harnesses from the
test fixtures (the scan-extract harness replays the fixtures themselves).

raw-inflate: every deflated member of tests/data/fixtures/intact.odb as
  [claimed size, 4 bytes LE][buffer size choice, 2 bytes LE][raw stream].
round-trip: the members of intact.odb as [name length - 1][name][size LE16][data].
Deterministic; rerun after the fixtures change."""
import os
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
    return 0


if __name__ == "__main__":
    sys.exit(main())
