#!/usr/bin/python3
"""Makes seeded damaged variants of database packages.

    /usr/bin/python3 tests/interop/damage.py [--seed N] OUT_FOLDER PACKAGE.odb...

writes OUT_FOLDER/<package stem>--<damage>.odb for every damage below and prints a
JSON list describing them: variant file, the package it came from, the damage, and
whether every byte of the package's database members (database/*: local header,
data and data descriptor) survived, and what a sound repair must give back: "all-rows"
(every table with every row), "opens" (LibreOffice connects, with the rows that
survived), a list of tables that must be there, or null (nothing is promised).

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


def replaced(member, data, stored=False):
    """A copy of `member` holding `data` instead, deflated or stored, with CRC and sizes
    to match in both of its headers."""
    copy = Member.__new__(Member)
    copy.__dict__.update(member.__dict__)
    packer = zlib.compressobj(8, zlib.DEFLATED, -15)
    copy.data = data if stored else packer.compress(data) + packer.flush()
    copy.crc, copy.compressed, copy.size = zlib.crc32(data) & 0xFFFFFFFF, len(copy.data), len(data)
    fields = struct.pack("<HHHHIII", 0, 0 if stored else 8, *struct.unpack("<HH", member.header[10:14]),
                         copy.crc, copy.compressed, copy.size)
    header = bytearray(member.header)
    header[6:26] = fields
    copy.header = bytes(header)
    copy.central = bytearray(member.central)
    copy.central[8:28] = fields
    copy.record = copy.header + copy.data
    return copy


def moved_to(member, name, data):
    """A copy of `member` holding `data` under another name, in both of its headers."""
    member = replaced(member, data)
    copy = Member.__new__(Member)
    copy.__dict__.update(member.__dict__)
    old, new = len(member.name.encode()), name.encode()
    header = bytearray(member.header)
    header[26:28] = struct.pack("<H", len(new))
    header[30:30 + old] = new
    copy.central = bytearray(member.central)
    copy.central[28:30] = struct.pack("<H", len(new))
    copy.central[46:46 + old] = new
    copy.header, copy.name = bytes(header), name
    copy.record = copy.header + copy.data
    return copy


# What HSQLDB 1.8 logged for the HSQLDB original after its last checkpoint (made with its
# jar, the JVM stopped without closing): an order updated (a delete and an insert of its
# row) and a table created with a row.
ORIGINAL_LOG = (b'/*C1*/SET SCHEMA PUBLIC\nCONNECT USER SA\nSET WRITE_DELAY 0\nSET AUTOCOMMIT FALSE\n'
                b'DELETE FROM "Orders" WHERE "OrderID"=1999\n'
                b'INSERT INTO "Orders" VALUES(1999,1477,\'2024-11-20\',1140.93,10,FALSE)\n'
                b'SET AUTOCOMMIT TRUE\n'
                b'CREATE CACHED TABLE "Notes"("ID" INTEGER NOT NULL PRIMARY KEY,"Text" VARCHAR(40))\n'
                b'INSERT INTO "Notes" VALUES(1,\'kept in the log\')\n')


def inflated(member):
    return zlib.decompress(member.data, -15) if member.method == 8 else member.data


def surviving_tables(script_member, kept):
    """The tables whose definition is in the whole lines of the script's first `kept`
    compressed bytes."""
    text = zlib.decompressobj(-15).decompress(script_member.data[:kept]).decode("utf-8", "replace")
    tables = []
    for line in text.split("\n")[:-1]:
        if line.startswith("CREATE ") and " TABLE " in line:
            tables.append(line.split('"')[1])
    return tables


def moved_last(members, member):
    """The package with `member` written last, and where its data starts."""
    others = [m for m in members if m is not member]
    return assemble(others + [member]), sum(len(m.record) for m in others) + len(member.header)


def database_ranges(members):
    return [(m.offset, m.end) for m in members if m.is_database()]


def touches(ranges, start, stop):
    return any(start < end and begin < stop for begin, end in ranges)


def variants(package, rng):
    """(damage, bytes, database bytes intact[, what the repaired file must give]) for
    every kind of damage. What it must give: "all-rows" (every table with every row,
    the default when the database bytes are intact), "opens" (LibreOffice connects, with
    whatever rows survived), "some-rows" (it connects and gets rows back: the damage
    left some of them readable), or a list of the tables that must be there after a
    connection."""
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

    # Damaged name bytes in the local headers of two pictures: one with its high bit set
    # (no UTF-8 any more), one turned into a control character. LibreOffice refuses a
    # package whose manifest cannot list a member, so these must not cost the database.
    pictures = [m for m in members if m.name.endswith(".png")]
    if pictures:
        renamed = bytearray(package)
        for member, byte in zip(pictures, (0xE9, 0x01)):
            at = member.offset + 30 + len(member.name.encode("utf-8")) - 6
            renamed[at] = byte
        yield "name-bytes-damaged", bytes(renamed), True

    # The script written last and the file cut in the middle of its data, so that every
    # other member survives: what LibreOffice makes of the script's whole lines.
    script = by_name.get("database/script")
    if script is not None:
        others = [m for m in members if m is not script]
        start = sum(len(m.record) for m in others) + len(script.header)
        reordered = assemble(others + [script])
        kept = rng.randrange(script.compressed // 4, script.compressed * 3 // 4)
        yield ("truncated-in-script", reordered[:start + kept], False,
               surviving_tables(script, kept))
        # Cut in its last quarter, after the table definitions and before the lines that
        # create the user LibreOffice connects as.
        kept = rng.randrange(script.compressed * 3 // 4, script.compressed - 8)
        yield ("truncated-in-script-end", reordered[:start + kept], False,
               surviving_tables(script, kept))

    data, backup = by_name.get("database/data"), by_name.get("database/backup")
    if data is not None and backup is not None:
        # The data damaged while the backup HSQLDB keeps of it survived: the backup
        # must stand in for it, with every row it holds.
        flipped = bytearray(package)
        flipped[data.data_start + rng.randrange(data.compressed // 4, data.compressed * 3 // 4)] ^= 0x10
        yield "data-flipped-backup-kept", bytes(flipped), False, "all-rows"

        holed = bytearray(package)
        start = data.data_start + rng.randrange(data.compressed // 4, data.compressed // 2)
        holed[start:start + 300] = b"\0" * 300
        yield "data-hole-backup-kept", bytes(holed), False, "all-rows"

        reordered, start = moved_last(members, data)
        cut = start + rng.randrange(data.compressed // 4, data.compressed * 3 // 4)
        yield "data-truncated-backup-kept", reordered[:cut], False, "all-rows"

        # No backup to stand in: LibreOffice must still connect, with the rows left.
        without = [m for m in members if m is not backup]
        reordered, start = moved_last(without, data)
        cut = start + rng.randrange(data.compressed // 4, data.compressed * 3 // 4)
        yield "data-truncated-no-backup", reordered[:cut], False, "some-rows"

        reordered, start = moved_last(without, data)
        flipped = bytearray(reordered)
        flipped[start + rng.randrange(data.compressed // 4, data.compressed * 3 // 4)] ^= 0x10
        # The flip ends the stream early; the rows stored before it must come back.
        yield "data-flipped-no-backup", bytes(flipped), False, "some-rows"

        # Stored, so its damaged bytes come through unchanged at full length: zeros cost
        # HSQLDB rows, random bytes make it fail, run out of memory or hang on connect.
        stored = replaced(data, inflated(data), stored=True)
        others = [stored if m is data else m for m in without]
        for label, fill in (("hole", lambda n: b"\0" * n),
                            ("garbage", lambda n: bytes(rng.randrange(256) for _ in range(n)))):
            package_bytes, start = moved_last(others, stored)
            damaged = bytearray(package_bytes)
            at = start + rng.randrange(stored.compressed // 4, stored.compressed * 3 // 4)
            damaged[at:at + 10000] = fill(10000)
            yield "data-stored-%s-no-backup" % label, bytes(damaged), False, "opens"

    # The script lost while the data file survived, as a save that never finished
    # leaves it (LibreOffice writes data, backup, script in that order): the tables'
    # definitions are gone, their rows must be carved from the data file.
    if script is not None and data is not None and backup is not None:
        cut = rng.randrange(backup.data_start + 1, backup.data_start + backup.compressed)
        yield "script-lost-cut-in-backup", package[:cut], False, "all-rows"
        zeroed = bytearray(package)
        start = rng.randrange(backup.data_start + 1, backup.data_start + backup.compressed)
        zeroed[start:] = b"\0" * (len(package) - start)
        yield "script-lost-tail-zeroed", bytes(zeroed), False, "all-rows"
        headless = bytearray(package)
        headless[script.offset:script.offset + 30] = b"\0" * 30
        # The central directory would still find it: the file is cut after the script.
        yield "script-header-cut", bytes(headless[:script.end]), False, "all-rows"
        cut = rng.randrange(data.data_start + data.compressed // 2, data.data_start + data.compressed)
        yield "script-lost-cut-in-data", package[:cut], False, "some-rows"
        if b'"Orders"' in inflated(script):
            # Saved while connected: the log of changes since the checkpoint is there.
            # Its rows name Orders (the one carved table they fit) and it creates Notes,
            # which is there only when LibreOffice replays the log.
            logged = [moved_to(script, "database/log", ORIGINAL_LOG) if m is script else m
                      for m in members]
            yield "script-lost-log-kept", assemble(logged), False, ["Orders", "Notes"]

    # A flipped bit inside the compressed script: from there on it inflates to garbage
    # lines, any one of which makes HSQLDB refuse the whole database.
    if script is not None:
        flipped = bytearray(package)
        flipped[script.data_start + rng.randrange(script.compressed // 2, script.compressed * 3 // 4)] ^= 0x04
        yield "script-flipped", bytes(flipped), False, "opens"

    properties = by_name.get("database/properties")
    if properties is not None:
        kept = [m for m in members if m is not properties]
        yield "properties-lost", assemble(kept), False, "all-rows"
        if backup is not None:
            # Properties saying modified=yes make HSQLDB restore a backup; with the backup
            # gone it would drop every cached row instead.
            text = inflated(properties).replace(b"modified=no", b"modified=yes")
            members_modified = [replaced(m, text) if m is properties else m
                                for m in members if m is not backup]
            yield "modified-without-backup", assemble(members_modified), False, "all-rows"

    rewritten = assemble(members, [with_descriptor(m) for m in members])
    yield "data-descriptors", rewritten[:rewritten.index(CENTRAL)], True

    # Without their signature the descriptors cannot be found: every deflated member is
    # sized by inflating its stream, and must come back whole.
    rewritten = assemble(members, [with_descriptor(m, signed=False) for m in members])
    yield "unsigned-data-descriptors", rewritten[:rewritten.index(CENTRAL)], True
    # Descriptors lost altogether but the central directory kept: the directory is the
    # only place left that records the CRC of each deflated member.
    kept = assemble(members, [with_descriptor(m)[:len(m.header) + m.compressed] for m in members])
    yield "descriptors-lost-directory-kept", kept, True

    # The largest database member's local header declares a wrong compressed size: too
    # small, its stream runs on past it; too large, it covers the headers that follow.
    # Its stream still marks its end, so it and every member behind it must come back.
    for label, declared in (("compressed-size-too-small", biggest.compressed // 2),
                            ("compressed-size-too-large", biggest.compressed + rng.randrange(40, 400))):
        wrong = bytearray(package)
        wrong[biggest.offset + 18:biggest.offset + 22] = struct.pack("<I", declared)
        yield label, bytes(wrong), True


def zip64_streamed(member):
    """The member as a ZIP64 writer streams it: 0xFFFFFFFF in both size fields, a ZIP64
    extra field of zeros, flag bit 3, and a descriptor with eight-byte sizes."""
    name_length = struct.unpack("<H", member.header[26:28])[0]
    header = bytearray(member.header[:30 + name_length])
    header[6:8] = struct.pack("<H", member.flags | 8)
    header[14:26] = struct.pack("<III", 0, 0xFFFFFFFF, 0xFFFFFFFF)
    header[28:30] = struct.pack("<H", 20)
    extra = struct.pack("<HHQQ", 1, 16, 0, 0)
    return (bytes(header) + extra + member.data + DESCRIPTOR
            + struct.pack("<IQQ", member.crc, member.compressed, member.size))


def overrun_variants(package, members, rng):
    """Sizes that claim more than the member holds, and bytes that look like a member's
    end or a second copy of it: none may cost a member that survived."""
    by_name = {m.name: m for m in members}
    _members, directory, _end = parse(package)
    script = by_name.get("database/script")
    styles = next(m for m in members if m.name.endswith("styles.xml"))

    # Erased flash: both sizes of an early deflated member read 0xFFFFFFFF.
    erased = bytearray(package)
    erased[styles.offset + 18:styles.offset + 26] = b"\xff" * 8
    yield "sizes-erased-to-ff", bytes(erased), True

    # A stored member whose size took a hit in its high byte runs past the end of the file.
    stored = next((m for m in members if m.method == 0 and m.name != "mimetype" and m.compressed > 0), None)
    if stored is not None:
        hit = bytearray(package)
        for at in (18, 22):
            hit[stored.offset + at + 3] ^= 0x40
        yield "stored-size-past-the-end", bytes(hit), True

    # Every database member streamed with ZIP64 headers, no central directory.
    rewritten = assemble(members, [zip64_streamed(m) if m.is_database() and m.method == 8 else m.record
                                   for m in members])
    yield "zip64-streamed-members", rewritten[:rewritten.index(CENTRAL)], True

    # A picture whose bytes hold "PK\7\8" and twelve more, streamed in stored blocks so
    # they stand in the raw data: a descriptor that does not record its own place.
    picture = next((m for m in members if m.name.endswith(".png") and not m.name.startswith("Thumbnails")), None)
    if picture is not None:
        fake = DESCRIPTOR + struct.pack("<III", rng.randrange(1 << 32), 7, 9)
        data = inflated(picture) + fake + b"tail"
        packer = zlib.compressobj(0, zlib.DEFLATED, -15)
        copy = replaced(picture, data)
        copy.data = packer.compress(data) + packer.flush()
        copy.compressed = len(copy.data)
        copy.record = copy.header + copy.data
        header = bytearray(copy.header)
        header[8:10] = struct.pack("<H", 8)
        copy.header = bytes(header)
        copy.central[10:12] = struct.pack("<H", 8)
        copy.flags = 0
        copy.method = 8
        records = [with_descriptor(copy) if m is picture else m.record for m in members]
        faked = assemble([copy if m is picture else m for m in members], records)
        yield "fake-descriptor-in-data", faked[:faked.index(CENTRAL)], True

    if script is not None:
        # A cut copy of the script behind the end record, as an older package's members
        # are left there: the whole copy is the one to keep.
        cut = script.record[:len(script.header) + script.compressed // 2]
        yield "cut-copy-after-end-record", package + cut, True
        # A damaged copy written after the whole one under a name that only differs by
        # "./": the copy that matches its CRC is the one to keep.
        damaged = bytearray(script.record)
        damaged[len(script.header) + script.compressed // 3] ^= 0x20
        name_length = struct.pack("<H", len(script.name) + 2)
        renamed = (bytes(damaged[:26]) + name_length + bytes(damaged[28:30]) + b"./"
                   + bytes(damaged[30:]))
        yield "damaged-copy-named-dot-slash", package[:directory] + renamed + package[directory:], True

    # content.xml stored with a byte of its markup damaged: no longer well-formed and
    # no longer its CRC. LibreOffice refuses it; the new descriptor must stand in.
    content = by_name.get("content.xml")
    if content is not None:
        text = inflated(content)
        copy = replaced(content, text, stored=True)
        damaged = bytearray(copy.record)
        at = len(copy.header) + text.index(b"<office:body") + 1
        damaged[at] = ord("\x01")
        copy.crc ^= 0
        records = [bytes(damaged) if m is content else m.record for m in members]
        yield "content-xml-damaged-not-xml", assemble([copy if m is content else m for m in members], records), True

    # More than a hundred broken members ahead of a data file cut short while its backup
    # survived: however many failures there are, the data must come from the backup.
    data, backup = by_name.get("database/data"), by_name.get("database/backup")
    if data is not None and backup is not None:
        junk = b"".join(LOCAL + struct.pack("<HHHHHIIIHH", 20, 0, 8, 0, 0, 0, 2, 20, len(name), 0)
                        + name + b"\xff\xff"
                        for name in (("junk/%d.xml" % i).encode() for i in range(150)))
        reordered, start = moved_last(members, data)
        cut = start + rng.randrange(data.compressed // 4, data.compressed * 3 // 4)
        header_at = start - len(data.header)
        yield ("many-failures-before-damaged-data", reordered[:header_at] + junk + reordered[header_at:cut],
               False, "all-rows")


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
        members = parse(package)[0]
        made = list(variants(package, rng)) + list(overrun_variants(package, members, rng))
        for damage, data, intact, *expect in made:
            target = os.path.join(options.out, "%s--%s.odb" % (stem, damage))
            with open(target, "wb") as out:
                out.write(data)
            described.append({"file": target, "original": os.path.basename(path),
                              "damage": damage, "database_intact": intact,
                              "expect": expect[0] if expect else "all-rows" if intact else None,
                              "crc32": zlib.crc32(data) & 0xFFFFFFFF})
    json.dump(described, sys.stdout, indent=1)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
