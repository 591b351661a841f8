#!/usr/bin/python3
"""Generates the benchmark packages into a folder (never into the repository).

    make_packages.py OUTDIR [--scale S]

large.odb                      about 170 MB: a 150 MB SQL script (database/script,
                               INSERTs with hex-encoded pictures, as HSQLDB writes
                               LONGVARBINARY columns), a 50 MB binary cache file
                               (database/data), a few hundred stored pictures
                               under forms/, and the small XML members; sizes of
                               the big members are those before compression
large-no-central-directory.odb the same, cut off where its central directory begins
many.odb                       20,000 tiny deflated members in 200 folders
many-no-central-directory.odb  the same, cut off before its central directory
same-name.odb                  1,000,000 stored one-byte members, all of one name, and
                               no central directory (local headers only): what the
                               scan and the choice among copies of one member cost
huge.odb, huge-no-central-directory.odb
                               with --huge only: one 1 GiB SQL script member, to
                               check that memory does not grow with member size

Members follow LibreOffice's habits: XML members are deflated with a data
descriptor (flag bit 3, zero sizes in the local header), the database files
carry their sizes, pictures are stored.  Everything is deterministic (fixed
seeds, fixed time stamps).  --scale shrinks the large package's big members
(0.01 gives a quick run).
"""

import argparse
import os
import random
import shutil
import struct
import sys
import zlib

MB = 1000 * 1000
DOS_TIME = (10 << 11) | (30 << 5)
DOS_DATE = ((2024 - 1980) << 9) | (5 << 5) | 17
CHUNK = 1 << 20


class PackageWriter:
    """Writes members one after the other, streaming their data, and the central
    directory at the end."""

    def __init__(self, path):
        self.out = open(path, "wb")
        self.central = bytearray()
        self.count = 0

    def add(self, name, chunks, deflate=True, descriptor=False, level=6):
        name_bytes = name.encode()
        offset = self.out.tell()
        flags = 0x0008 if descriptor else 0
        method = 8 if deflate else 0
        self.out.write(b"PK\x03\x04" + struct.pack(
            "<HHHHHIIIHH", 20, flags, method, DOS_TIME, DOS_DATE, 0, 0, 0,
            len(name_bytes), 0) + name_bytes)
        compressor = zlib.compressobj(level, zlib.DEFLATED, -15) if deflate else None
        crc = compressed = uncompressed = 0
        packed_parts = [] if descriptor else None
        for chunk in chunks:
            crc = zlib.crc32(chunk, crc)
            uncompressed += len(chunk)
            packed = compressor.compress(chunk) if compressor else chunk
            compressed += len(packed)
            self._write_data(packed, packed_parts)
        if compressor:
            packed = compressor.flush()
            compressed += len(packed)
            self._write_data(packed, packed_parts)
        if descriptor:
            data = b"".join(packed_parts)
            if b"PK\x03\x04" in data or b"PK\x07\x08" in data:
                raise SystemExit("%s: compressed data holds a signature by chance" % name)
            self.out.write(b"PK\x07\x08" + struct.pack("<III", crc, compressed, uncompressed))
        else:
            end = self.out.tell()
            self.out.seek(offset + 14)
            self.out.write(struct.pack("<III", crc, compressed, uncompressed))
            self.out.seek(end)
        self.central += b"PK\x01\x02" + struct.pack(
            "<HHHHHHIIIHHHHHII", 0x0314, 20, flags, method, DOS_TIME, DOS_DATE, crc,
            compressed, uncompressed, len(name_bytes), 0, 0, 0, 0, 0o100644 << 16,
            offset) + name_bytes
        self.count += 1

    def _write_data(self, packed, parts):
        self.out.write(packed)
        if parts is not None:
            parts.append(packed)

    def close(self):
        """Writes the central directory; returns where it starts."""
        start = self.out.tell()
        self.out.write(self.central)
        self.out.write(b"PK\x05\x06" + struct.pack(
            "<HHHHIIH", 0, 0, self.count & 0xFFFF, self.count & 0xFFFF,
            len(self.central), start, 0))
        self.out.close()
        return start


def sql_script(total, rng):
    """HSQLDB script text: table definitions, then INSERTs that carry a short
    hex-encoded picture and some text, until the wanted size is reached."""
    head = ('SET DATABASE COLLATION "Latin1_General"\n'
            "CREATE SCHEMA PUBLIC AUTHORIZATION DBA\n"
            'CREATE MEMORY TABLE "Photos"("ID" INTEGER NOT NULL PRIMARY KEY,'
            '"Caption" VARCHAR(200),"Taken" TIMESTAMP,"Image" LONGVARBINARY)\n').encode()
    yield head
    produced = len(head)
    row = 0
    words = ["harbour", "station", "garden", "meeting", "invoice", "delivery", "autumn",
             "workshop", "contract", "archive", "festival", "bridge"]
    while produced < total:
        lines = []
        for _ in range(64):
            caption = " ".join(rng.choice(words) for _ in range(6))
            image = rng.randbytes(rng.randrange(200, 1200)).hex()
            lines.append("INSERT INTO \"Photos\" VALUES(%d,'%s','2024-%02d-%02d 10:%02d:00.0',"
                         "'%s')\n" % (row, caption, row % 12 + 1, row % 28 + 1, row % 60,
                                      image))
            row += 1
        block = "".join(lines).encode()
        block = block[:total - produced]
        produced += len(block)
        yield block


def cache_file(total, rng):
    """Binary rows: a record header, counters and a double, some padding and
    then noise (a row of binary and text columns); deflate gains about a tenth."""
    produced = 0
    record = 0
    while produced < total:
        block = bytearray()
        while len(block) < CHUNK:
            record += 1
            block += struct.pack(">IIId", 2048, record, record % 97, record * 0.25)
            block += bytes(200)
            block += rng.randbytes(1828)
        block = bytes(block[:min(CHUNK, total - produced)])
        produced += len(block)
        yield block


def picture(rng, width, height):
    """A valid PNG of noise, its zlib stream made of stored blocks: as large as
    a photo and just as incompressible."""
    rows = b"".join(b"\x00" + rng.randbytes(width * 3) for _ in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 0)) + chunk(b"IEND", b""))


SMALL_XML = ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content xmlns:office='
             '"urn:oasis:names:tc:opendocument:xmlns:office:1.0" office:version="1.3">'
             '<office:body><office:database>%s</office:database></office:body>'
             '</office:document-content>')


def content_xml():
    tables = "".join('<db:table-representation db:name="T%d"/>' % i for i in range(40))
    return (SMALL_XML % tables).encode()


def write_large(path, scale, rng):
    writer = PackageWriter(path)
    writer.add("mimetype", [b"application/vnd.oasis.opendocument.base"], deflate=False)
    writer.add("content.xml", [content_xml()], descriptor=True)
    writer.add("settings.xml", [(SMALL_XML % "<settings/>").encode()], descriptor=True)
    writer.add("database/script", sql_script(int(150 * MB * scale), rng))
    writer.add("database/data", cache_file(int(50 * MB * scale), rng))
    writer.add("database/properties", [b"version=1.8.0\nmodified=no\n"])
    pictures = max(3, int(400 * min(1.0, scale * 10)))
    for i in range(pictures):
        width = rng.randrange(160, 260)
        writer.add("forms/Obj%d/Pictures/1000000000000%05d.png" % (11 + i // 40, i),
                   [picture(rng, width, 160)], deflate=False)
    writer.add("Thumbnails/thumbnail.png", [picture(rng, 256, 181)], deflate=False)
    writer.add("META-INF/manifest.xml", [(SMALL_XML % "<manifest/>").encode()],
               descriptor=True)
    return writer.close()


def write_many(path, rng, count=20000):
    writer = PackageWriter(path)
    writer.add("mimetype", [b"application/vnd.oasis.opendocument.base"], deflate=False)
    writer.add("content.xml", [content_xml()], descriptor=True)
    for i in range(count - 3):
        body = "<item n=\"%d\">%s</item>" % (i, " ".join(
            "%s=%d" % (rng.choice("abcdefgh"), rng.randrange(1000)) for _ in range(20)))
        writer.add("forms/Obj%03d/part%05d.xml" % (i % 200, i),
                   [(SMALL_XML % body).encode()], descriptor=True)
    writer.add("META-INF/manifest.xml", [(SMALL_XML % "<manifest/>").encode()],
               descriptor=True)
    return writer.close()


def write_huge(path, rng):
    """One 1 GiB member, cycling through a few distinct megabytes of script text
    (fast to make and to compress; the size is what matters here)."""
    blocks = [b"".join(sql_script(CHUNK, rng)) for _ in range(8)]
    writer = PackageWriter(path)
    writer.add("mimetype", [b"application/vnd.oasis.opendocument.base"], deflate=False)
    writer.add("content.xml", [content_xml()], descriptor=True)
    writer.add("database/script", (blocks[i % len(blocks)] for i in range(1024)), level=1)
    writer.add("META-INF/manifest.xml", [(SMALL_XML % "<manifest/>").encode()],
               descriptor=True)
    return writer.close()


def write_same_name(path, count=1000000):
    """Local headers only: `count` stored one-byte members named alike, nothing after."""
    name = b"forms/Obj11/same.bin"
    with open(path, "wb") as out:
        for i in range(0, count, 10000):
            block = bytearray()
            for j in range(i, min(count, i + 10000)):
                byte = bytes([j & 0xFF])
                block += b"PK\x03\x04" + struct.pack(
                    "<HHHHHIIIHH", 10, 0, 0, DOS_TIME, DOS_DATE, zlib.crc32(byte), 1, 1,
                    len(name), 0) + name + byte
            out.write(block)


def cut_copy(source, target, length):
    with open(source, "rb") as src, open(target, "wb") as dst:
        shutil.copyfileobj(src, dst)
        dst.truncate(length)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("outdir")
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--huge", action="store_true")
    parser.add_argument("--same-name", action="store_true",
                        help="only same-name.odb")
    args = parser.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    rng = random.Random(171)
    if args.same_name:
        write_same_name(os.path.join(args.outdir, "same-name.odb"))
        print("same-name.odb: %d bytes" % os.path.getsize(os.path.join(args.outdir, "same-name.odb")),
              flush=True)
        return 0
    packages = [("large", lambda p: write_large(p, args.scale, rng)),
                ("many", lambda p: write_many(p, rng))]
    if args.huge:
        packages.append(("huge", lambda p: write_huge(p, rng)))
    for name, writer in packages:
        intact = os.path.join(args.outdir, name + ".odb")
        central = writer(intact)
        cut_copy(intact, os.path.join(args.outdir, name + "-no-central-directory.odb"),
                 central)
        print("%s.odb: %d bytes, central directory at %d"
              % (name, os.path.getsize(intact), central), flush=True)


if __name__ == "__main__":
    sys.exit(main())
