#!/usr/bin/python3
"""Makes seeded damaged variants of database packages.

    /usr/bin/python3 tests/interop/damage.py [--seed N] OUT_FOLDER PACKAGE.odb...

writes OUT_FOLDER/<package stem>--<damage>.odb for every damage below and prints a
JSON list describing them: variant file, the package it came from, the damage, and
whether every byte of the package's database members (database/*: local header,
data and data descriptor) survived, so a sound repair must give back all rows.

The seed picks the places of cuts, holes and the garbage; the same seed always gives
the same variants.
"""

import argparse
import json
import os
import random
import struct
import sys
import zlib

LOCAL = b"PK\x03\x04"
CENTRAL = b"PK\x01\x02"
END = b"PK\x05\x06"
DESCRIPTOR = b"PK\x07\x08"


class Member:
    """One member of a healthy package as raw records."""

    def __init__(self, package, central_record):
        self.central = bytearray(central_record)
        name_length = struct.unpack("<H", central_record[28:30])[0]
        self.name = central_record[46:46 + name_length].decode("utf-8", "replace")
        self.flags, self.method = struct.unpack("<HH", central_record[8:12])
        self.crc, self.compressed, self.size = struct.unpack("<III", central_record[16:28])
        self.offset = struct.unpack("<I", central_record[42:46])[0]
        local_name, local_extra = struct.unpack("<HH", package[self.offset + 26:self.offset + 30])
        self.header = bytes(package[self.offset:self.offset + 30 + local_name + local_extra])
        self.data_start = self.offset + len(self.header)
        self.data = bytes(package[self.data_start:self.data_start + self.compressed])
        self.end = self.data_start + self.compressed
        if self.flags & 8:
            self.end += 16 if package[self.end:self.end + 4] == DESCRIPTOR else 12
        self.record = bytes(package[self.offset:self.end])

    def is_database(self):
        return self.name.startswith("database/") and not self.name.endswith("/")


def parse(package):
    end = package.rindex(END)
    count, size, offset = struct.unpack("<HII", package[end + 10:end + 20])
    members = []
    position = offset
    for _ in range(count):
        lengths = struct.unpack("<HHH", package[position + 28:position + 34])
        length = 46 + sum(lengths)
        members.append(Member(package, package[position:position + length]))
        position += length
    members.sort(key=lambda member: member.offset)
    return members, offset, end


def assemble(members, records=None):
    """A package of the members' records (or the given ones), with a central directory
    that points at them."""
    out = bytearray()
    directory = bytearray()
    for member, record in zip(members, records or [m.record for m in members]):
        central = bytearray(member.central)
        central[42:46] = struct.pack("<I", len(out))
        directory += central
        out += record
    start = len(out)
    out += directory
    out += END + struct.pack("<HHHHIIH", 0, 0, len(members), len(members), len(directory),
                             start, 0)
    return bytes(out)


def with_descriptor(member, signed=True):
    """The member rewritten with flag bit 3: zero CRC and sizes in its local header and
    a data descriptor after the data, with or without its signature. Stored members
    keep their sizes."""
    if member.method != 8 or member.flags & 8:
        return member.record
    header = bytearray(member.header)
    header[6:8] = struct.pack("<H", member.flags | 8)
    header[14:26] = b"\0" * 12
    member.central[8:10] = struct.pack("<H", member.flags | 8)
    return (bytes(header) + member.data + (DESCRIPTOR if signed else b"")
            + struct.pack("<III", member.crc, member.compressed, member.size))


def database_ranges(members):
    return [(m.offset, m.end) for m in members if m.is_database()]


def touches(ranges, start, stop):
    return any(start < end and begin < stop for begin, end in ranges)


def variants(package, rng):
    """(damage, bytes, database bytes intact) for every kind of damage."""
    members, directory, end = parse(package)
    database = database_ranges(members)
    by_name = {m.name: m for m in members}
    last = members[-1]
    biggest = max((m for m in members if m.is_database()), key=lambda m: m.compressed)
    styles = next(m for m in members if m.name.endswith("styles.xml"))

    yield "intact", package, True
    yield "no-central-directory", package[:directory], True

    cut = rng.randrange(last.data_start + 1, last.data_start + last.compressed)
    yield "truncated-in-last-member", package[:cut], not touches(database, cut, len(package))

    cut = rng.randrange(biggest.data_start + biggest.compressed // 4,
                        biggest.data_start + biggest.compressed * 3 // 4)
    yield "truncated-in-database", package[:cut], False

    cut = last.offset + rng.randrange(4, 30)
    yield "truncated-in-header", package[:cut], not touches(database, cut, len(package))

    junk = bytes(rng.randrange(256) for _ in range(rng.randrange(600, 2000))) + b"PK"
    yield "garbage-before-first-header", junk + package, True

    start = styles.data_start + rng.randrange(0, styles.compressed // 2)
    length = rng.randrange(200, 600)
    holed = bytearray(package)
    holed[start:start + length] = b"\0" * length
    yield "hole-of-zeros", bytes(holed), not touches(database, start, start + length)

    zeroed = bytearray(package)
    zeroed[end:end + 22] = b"\0" * 22
    yield "end-record-zeroed", bytes(zeroed), True

    for name, label in (("content.xml", "content-xml-lost"),
                        ("META-INF/manifest.xml", "manifest-lost"),
                        ("mimetype", "mimetype-lost")):
        kept = [m for m in members if m is not by_name[name]]
        yield label, assemble(kept), True

    # The script written last and the file cut in the middle of its data, so that every
    # other member survives: what LibreOffice makes of the script's whole lines.
    script = by_name.get("database/script")
    if script is not None:
        others = [m for m in members if m is not script]
        start = sum(len(m.record) for m in others) + len(script.header)
        reordered = assemble(others + [script])
        cut = start + rng.randrange(script.compressed // 4, script.compressed * 3 // 4)
        yield "truncated-in-script", reordered[:cut], False

    rewritten = assemble(members, [with_descriptor(m) for m in members])
    yield "data-descriptors", rewritten[:rewritten.index(CENTRAL)], True

    # Without their signature the descriptors cannot be found: every deflated member is
    # sized by inflating its stream, and must come back whole.
    rewritten = assemble(members, [with_descriptor(m, signed=False) for m in members])
    yield "unsigned-data-descriptors", rewritten[:rewritten.index(CENTRAL)], True

    # The largest database member's local header declares a wrong compressed size: too
    # small, its stream runs on past it; too large, it covers the headers that follow.
    # Its stream still marks its end, so it and every member behind it must come back.
    for label, declared in (("compressed-size-too-small", biggest.compressed // 2),
                            ("compressed-size-too-large", biggest.compressed + rng.randrange(40, 400))):
        wrong = bytearray(package)
        wrong[biggest.offset + 18:biggest.offset + 22] = struct.pack("<I", declared)
        yield label, bytes(wrong), True


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=6)
    parser.add_argument("out")
    parser.add_argument("packages", nargs="+")
    options = parser.parse_args(argv)
    os.makedirs(options.out, exist_ok=True)
    described = []
    for path in options.packages:
        with open(path, "rb") as source:
            package = source.read()
        stem = os.path.splitext(os.path.basename(path))[0]
        rng = random.Random("%d:%s" % (options.seed, stem))
        for damage, data, intact in variants(package, rng):
            target = os.path.join(options.out, "%s--%s.odb" % (stem, damage))
            with open(target, "wb") as out:
                out.write(data)
            described.append({"file": target, "original": os.path.basename(path),
                              "damage": damage, "database_intact": intact,
                              "crc32": zlib.crc32(data) & 0xFFFFFFFF})
    json.dump(described, sys.stdout, indent=1)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
