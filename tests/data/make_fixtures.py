#!/usr/bin/python3
"""Writes the damaged-package fixtures of tests/data/fixtures/.

Every fixture is a small database package (the shape LibreOffice Base writes: a
stored mimetype first, content.xml, settings.xml, the embedded HSQLDB files under
database/, a form with a picture, a thumbnail and the manifest) with one kind of
damage, named after that damage.  The packages are assembled here byte by byte
rather than with zipfile, because the damage lives in exactly the parts zipfile
keeps us away from: data descriptors with and without their signature, local
headers with zero sizes, names such as "../x", cut-off central directories.

Besides the packages the script writes expected.json, the oracle of the engine's
end-to-end tests.  Per fixture it holds:
  recovered    member name -> size, sha256 and the path a repair writes it to
               (relative to the package folder; null where the name would lead
               outside the folder and the repair picks a safe path of its own)
  lost         members that were in the package but cannot come back
  skipped      members a repair leaves out by design (directory entries, empty
               stored members: both sizes are 0, so there is nothing to list)
  content_xml  "original" when the package's own content.xml survives, "template"
               when the repair has to write its built-in one
  extracted    false when nothing at all is found in the file
  scan         the members the byte-by-byte local-header scan lists, with the
               sizes and data offsets it reads
Member names are the package's name bytes as UTF-8 (they are all valid UTF-8).

The expectations are written down by hand for each fixture and then checked
against a small model of the recovery rules (scan the raw bytes one offset at a
time, copy members whose two sizes agree, inflate the others into exactly the
uncompressed size, write the template for a missing or short content.xml), so a
fixture whose damage accidentally hits something else stops the script.

Everything is deterministic: fixed timestamps, fixed seeds, fixed zlib levels.
Run with /usr/bin/python3 from anywhere; it rewrites the fixtures folder.
"""

import hashlib
import json
import os
import random
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "fixtures")

LOCAL_SIG = b"PK\x03\x04"
CENTRAL_SIG = b"PK\x01\x02"
END_SIG = b"PK\x05\x06"
DESCRIPTOR_SIG = b"PK\x07\x08"

# 2024-05-17 10:30:00 as DOS time and date.
DOS_TIME = (10 << 11) | (30 << 5) | 0
DOS_DATE = ((2024 - 1980) << 9) | (5 << 5) | 17

CONTENT_TEMPLATE_SIZE = 999
STORED, DEFLATED = 0, 8


# --------------------------------------------------------------------------
# Member contents
# --------------------------------------------------------------------------

MIMETYPE = b"application/vnd.oasis.opendocument.base"


def png(width, height, seed):
    """A small valid RGB PNG: coloured tiles with a seeded speckle, so two pictures
    made with different seeds differ."""
    rng = random.Random(seed)
    palette = [(0x2A, 0x5D, 0x8F), (0xE8, 0xB0, 0x4A), (0xF4, 0xF1, 0xE8), (0x6B, 0x8E, 0x23)]
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # filter type None
        for x in range(width):
            colour = palette[(x // 8 + y // 8 + seed) % len(palette)]
            if rng.randrange(64) == 0:
                colour = (0, 0, 0)
            rows += bytes(colour)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


FORM_PICTURE = "forms/Obj11/Pictures/10000000000000300000003086E1B2C4.png"
THUMBNAIL = "Thumbnails/thumbnail.png"

CONTENT_XML = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<office:document-content'
    ' xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"'
    ' xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"'
    ' xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"'
    ' xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"'
    ' xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"'
    ' xmlns:xlink="http://www.w3.org/1999/xlink"'
    ' xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"'
    ' xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"'
    ' xmlns:form="urn:oasis:names:tc:opendocument:xmlns:form:1.0"'
    ' xmlns:config="urn:oasis:names:tc:opendocument:xmlns:config:1.0"'
    ' xmlns:db="urn:oasis:names:tc:opendocument:xmlns:database:1.0"'
    ' office:version="1.3">'
    '<office:scripts/><office:font-face-decls/><office:automatic-styles/>'
    '<office:body><office:database>'
    '<db:data-source><db:connection-data>'
    '<db:connection-resource xlink:href="sdbc:embedded:hsqldb"/>'
    '<db:login db:is-password-required="false"/></db:connection-data>'
    '<db:driver-settings db:system-driver-settings="" db:base-dn=""'
    ' db:parameter-name-substitution="false"/>'
    '<db:application-connection-settings db:is-table-name-length-limited="false"'
    ' db:append-table-alias-name="false" db:max-row-count="100">'
    '<db:table-filter><db:table-include-filter>'
    '<db:table-filter-pattern>%</db:table-filter-pattern>'
    '</db:table-include-filter></db:table-filter>'
    '</db:application-connection-settings></db:data-source>'
    '<db:forms><db:component db:name="Contacts form" xlink:href="forms/Obj11"'
    ' db:as-template="false"/></db:forms>'
    '<db:queries><db:query db:name="Customers in Berlin"'
    ' db:command="SELECT &quot;Name&quot;, &quot;City&quot; FROM &quot;Contacts&quot;'
    ' WHERE &quot;City&quot; = \'Berlin\'"/></db:queries>'
    '<db:table-representations>'
    '<db:table-representation db:name="Contacts"><db:columns>'
    '<db:column db:name="ID" db:help-message="" db:default-cell-style-name=""/>'
    '<db:column db:name="Name" db:help-message="" db:default-cell-style-name=""/>'
    '<db:column db:name="City" db:help-message="" db:default-cell-style-name=""/>'
    '</db:columns></db:table-representation>'
    '</db:table-representations>'
    '</office:database></office:body></office:document-content>'
).encode()

# Well-formed but shorter than the built-in template, so a repair must replace it.
SHORT_CONTENT_XML = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<office:document-content'
    ' xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"'
    ' xmlns:xlink="http://www.w3.org/1999/xlink"'
    ' xmlns:db="urn:oasis:names:tc:opendocument:xmlns:database:1.0"'
    ' office:version="1.3"><office:body><office:database><db:data-source>'
    '<db:connection-data><db:connection-resource xlink:href="sdbc:embedded:hsqldb"/>'
    '</db:connection-data></db:data-source></office:database></office:body>'
    '</office:document-content>'
).encode()

SETTINGS_XML = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<office:document-settings'
    ' xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"'
    ' xmlns:config="urn:oasis:names:tc:opendocument:xmlns:config:1.0"'
    ' office:version="1.3"><office:settings>'
    '<config:config-item-set config:name="ooo:view-settings">'
    '<config:config-item-map-named config:name="Tables">'
    '<config:config-item-map-entry config:name="Contacts">'
    '<config:config-item config:name="RowHeight" config:type="int">450</config:config-item>'
    '<config:config-item config:name="ColumnWidth" config:type="int">2540</config:config-item>'
    '</config:config-item-map-entry></config:config-item-map-named>'
    '</config:config-item-set>'
    '<config:config-item-set config:name="ooo:configuration-settings">'
    '<config:config-item config:name="JavaDriverClass" config:type="string">'
    'org.hsqldb.jdbcDriver</config:config-item>'
    '</config:config-item-set></office:settings></office:document-settings>'
).encode()

FORM_CONTENT_XML = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<office:document-content'
    ' xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"'
    ' xmlns:form="urn:oasis:names:tc:opendocument:xmlns:form:1.0"'
    ' xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.3">'
    '<office:body><office:text><office:forms><form:form form:name="MainForm"'
    ' form:command="Contacts" form:command-type="table">'
    '<form:image-frame form:id="control1" form:data-field="Photo"'
    ' xlink:href="Pictures/10000000000000300000003086E1B2C4.png"/>'
    '</form:form></office:forms></office:text></office:body>'
    '</office:document-content>'
).encode()

PROPERTIES = (
    "#HSQL Database Engine 1.8.0.10\n"
    "#Fri May 17 10:30:00 CEST 2024\n"
    "hsqldb.script_format=0\n"
    "runtime.gc_interval=0\n"
    "sql.enforce_strict_size=true\n"
    "hsqldb.cache_size_scale=8\n"
    "readonly=false\n"
    "hsqldb.nio_data_file=false\n"
    "hsqldb.cache_scale=13\n"
    "version=1.8.0\n"
    "hsqldb.default_table_type=cached\n"
    "hsqldb.cache_file_scale=1\n"
    "hsqldb.lock_file=true\n"
    "hsqldb.log_size=10\n"
    "modified=no\n"
    "hsqldb.cache_version=1.7.0\n"
    "hsqldb.original_version=1.8.0\n"
    "hsqldb.compatible_version=1.8.0\n"
).encode()

FIRST_NAMES = ["Anna", "Bernd", "Carla", "Dmitri", "Elif", "Farid", "Greta", "Hugo",
               "Ines", "Jonas", "Kaori", "Lena", "Mats", "Nora", "Oskar", "Paula"]
CITIES = ["Berlin", "Hamburg", "Leipzig", "Dresden", "Bremen", "Kiel", "Jena", "Ulm"]


def hsqldb_script(rows, seed):
    rng = random.Random(seed)
    lines = [
        'SET DATABASE COLLATION "Latin1_General"',
        "CREATE SCHEMA PUBLIC AUTHORIZATION DBA",
        'CREATE MEMORY TABLE "Contacts"("ID" INTEGER GENERATED BY DEFAULT AS IDENTITY'
        '(START WITH 0) NOT NULL PRIMARY KEY,"Name" VARCHAR(100),"City" VARCHAR(50),'
        '"Born" DATE,"Balance" DECIMAL(10,2),"Active" BOOLEAN)',
        'ALTER TABLE "Contacts" ALTER COLUMN "ID" RESTART WITH %d' % rows,
        'CREATE CACHED TABLE "Orders"("OrderID" INTEGER NOT NULL PRIMARY KEY,'
        '"ContactID" INTEGER,"Amount" DOUBLE)',
        'CREATE USER SA PASSWORD ""',
        "GRANT DBA TO SA",
        "SET WRITE_DELAY 60",
        "SET SCHEMA PUBLIC",
    ]
    for i in range(rows):
        lines.append("INSERT INTO \"Contacts\" VALUES(%d,'%s %s','%s','19%02d-%02d-%02d',"
                     "%d.%02d,%s)" % (
                         i, rng.choice(FIRST_NAMES), rng.choice(FIRST_NAMES) + "son",
                         rng.choice(CITIES), rng.randrange(40, 99), rng.randrange(1, 13),
                         rng.randrange(1, 29), rng.randrange(0, 9000), rng.randrange(100),
                         rng.choice(["TRUE", "FALSE"])))
    return ("\n".join(lines) + "\n").encode()


def hsqldb_data(size, seed):
    """Binary cache-file-like bytes: row records with lengths, ids and doubles."""
    rng = random.Random(seed)
    out = bytearray(struct.pack(">IIQ", 0x00000020, size, 0))
    order = 0
    while len(out) < size:
        order += 1
        out += struct.pack(">IIId", 20, order, rng.randrange(40), rng.random() * 1000)
    return bytes(out[:size])


def manifest(names):
    entries = ['  <manifest:file-entry manifest:full-path="/" manifest:version="1.3"'
               ' manifest:media-type="application/vnd.oasis.opendocument.base"/>']
    for name in names:
        kind = "text/xml" if name.endswith(".xml") else (
            "image/png" if name.endswith(".png") else "")
        entries.append('  <manifest:file-entry manifest:full-path="%s"'
                       ' manifest:media-type="%s"/>' % (name, kind))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<manifest:manifest xmlns:manifest='
            '"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.3">\n'
            + "\n".join(entries) + "\n</manifest:manifest>").encode()


# --------------------------------------------------------------------------
# Package writer
# --------------------------------------------------------------------------

class Member:
    """One member as it goes into a package.

    descriptor: None (sizes in the local header), "signed" (flag bit 3, CRC and
    sizes 0 in the local header, a PK 7 8 record after the data) or "unsigned"
    (the same without the record's signature).
    """

    def __init__(self, name, data, method=DEFLATED, descriptor=None):
        self.name = name.encode() if isinstance(name, str) else name
        self.data = data
        self.method = method
        self.descriptor = descriptor

    def packed(self):
        if self.method == STORED:
            return self.data
        compressor = zlib.compressobj(6, zlib.DEFLATED, -15, 8)
        return compressor.compress(self.data) + compressor.flush()


class Layout:
    """Where each member landed in a written package."""

    def __init__(self):
        self.header_offset = {}   # name -> offset of its local header
        self.data_offset = {}     # name -> offset of its data
        self.packed_size = {}     # name -> compressed size
        self.central_offset = 0


def write_package(members, central_directory=True):
    out = bytearray()
    central = bytearray()
    layout = Layout()
    for member in members:
        packed = member.packed()
        crc = zlib.crc32(member.data) & 0xFFFFFFFF
        flags = 0x0008 if member.descriptor else 0
        version = 20 if member.method == DEFLATED or member.descriptor else 10
        header_crc, header_c, header_u = ((0, 0, 0) if member.descriptor
                                          else (crc, len(packed), len(member.data)))
        layout.header_offset[member.name] = len(out)
        out += LOCAL_SIG + struct.pack("<HHHHHIIIHH", version, flags, member.method,
                                       DOS_TIME, DOS_DATE, header_crc, header_c,
                                       header_u, len(member.name), 0)
        out += member.name
        layout.data_offset[member.name] = len(out)
        layout.packed_size[member.name] = len(packed)
        out += packed
        if member.descriptor == "signed":
            out += DESCRIPTOR_SIG
        if member.descriptor:
            out += struct.pack("<III", crc, len(packed), len(member.data))
        central += CENTRAL_SIG + struct.pack(
            "<HHHHHHIIIHHHHHII", 0x0314, version, flags, member.method, DOS_TIME,
            DOS_DATE, crc, len(packed), len(member.data), len(member.name), 0, 0, 0, 0,
            (0o100644 << 16) if not member.name.endswith(b"/") else (0o40755 << 16) | 0x10,
            layout.header_offset[member.name])
        central += member.name
    layout.central_offset = len(out)
    if central_directory:
        out += central
        out += END_SIG + struct.pack("<HHHHIIH", 0, 0, len(members), len(members),
                                     len(central), layout.central_offset, 0)
    return bytes(out), layout


# --------------------------------------------------------------------------
# Model of the recovery rules, used only to check the hand-written expectations
# --------------------------------------------------------------------------

def scan(package, unsized=None):
    """Lists members exactly as a byte-by-byte local-header search does. Deflated
    members it leaves out for want of sizes go to `unsized` (name and data offset)."""
    size = len(package)
    entries = []
    cursor = 0
    while cursor < size:
        window_start = cursor - 3 if cursor >= 3 else cursor
        window = package[window_start:window_start + 4]
        cursor = window_start + len(window)
        if window != LOCAL_SIG:
            continue
        fixed = package[cursor:cursor + 26]
        if len(fixed) < 26:
            break  # a local header cut short by the end of the file lists nothing
        (_version, _flags, method, _time, _date, _crc, compressed, uncompressed,
         name_length, extra_length) = struct.unpack("<HHHHHIIIHH", fixed)
        name = package[cursor + 26:cursor + 26 + name_length]
        after_name = min(cursor + 26 + name_length, size)
        if compressed == 0 and uncompressed == 0 and method == DEFLATED:
            search = after_name
            while search < size:
                start = search - 3 if search >= 3 else search
                probe = package[start:start + 4]
                search = start + len(probe)
                if probe == LOCAL_SIG:
                    break
                if probe == DESCRIPTOR_SIG:
                    record = package[search:search + 12]
                    if len(record) == 12:
                        _crc, compressed, uncompressed = struct.unpack("<III", record)
                    break
        name = name.split(b"\0", 1)[0]
        data_offset = after_name + extra_length
        if (compressed or uncompressed) and name:
            entries.append({"name": name.decode("utf-8"), "compressed": compressed,
                            "uncompressed": uncompressed, "offset": data_offset})
        elif method == DEFLATED and name and unsized is not None:
            unsized.append({"name": name.decode("utf-8"), "offset": data_offset})
        cursor = data_offset + compressed
    return entries


def size_by_inflation(package, listed, unsized):
    """The members the scan left unsized whose deflate stream runs to its end, sized
    from it; headers inside the data of such a member are dropped as data."""
    merged = sorted([(e["offset"], False, e) for e in listed] +
                    [(e["offset"], True, e) for e in unsized], key=lambda item: item[0])
    sized = []
    data_end = 0
    for offset, candidate, entry in merged:
        if offset < data_end or not candidate:
            continue
        inflater = zlib.decompressobj(-15)
        try:
            out = inflater.decompress(package[offset:])
        except zlib.error:
            continue
        if not inflater.eof:
            continue
        compressed = len(package) - offset - len(inflater.unused_data)
        sized.append({"name": entry["name"], "compressed": compressed,
                      "uncompressed": len(out), "offset": offset})
        data_end = offset + compressed
    return sized


def listed_members(package, expected):
    """What a repair extracts: the scan's list with the members sized by inflation
    in their place, less the headers that lay inside those members' data."""
    ends = [(e["offset"], e["offset"] + e["compressed"]) for e in expected["sized_by_inflation"]]
    kept = [e for e in expected["scan"]
            if not any(start <= e["offset"] < end for start, end in ends)
            and e["offset"] not in expected.get("set_aside", [])
            and e["offset"] < (expected.get("first_package_ends") or float("inf"))]
    return sorted(kept + expected["sized_by_inflation"], key=lambda e: e["offset"])


SALVAGED_BY_LINES = {"database/script", "database/log"}
SALVAGED_BY_BYTES = {"database/data", "database/firebird.fbk"}


def salvage(name, data, uncompressed):
    """The readable start a repair keeps of a database member whose stream is cut off
    or broken: what inflated, cut after the last line end for the line-wise ones."""
    if name not in SALVAGED_BY_LINES | SALVAGED_BY_BYTES:
        return b""
    inflater = zlib.decompressobj(-15)
    out = b""
    for i in range(len(data)):
        try:
            out += inflater.decompress(data[i:i + 1], uncompressed - len(out))
        except zlib.error:
            break
        if inflater.eof or len(out) >= uncompressed:
            return b""  # not cut off or broken: the member is whole or lies about its size
    if name in SALVAGED_BY_LINES:
        out = out[:out.rfind(b"\n") + 1]
    return out


def target_path(name):
    """Where a member lands inside its package folder, or None when its name tries
    to leave the folder (the repair chooses a safe place of its own then)."""
    name = name.replace(":", "")
    parts = name.split("/")
    if name.startswith("/") or ".." in parts:
        return None
    return name


def extract(package, entries):
    """Files a repair writes: target -> bytes (None target keyed by raw name)."""
    written = {}
    for entry in entries:
        compressed, uncompressed = entry["compressed"], entry["uncompressed"]
        data = package[entry["offset"]:entry["offset"] + compressed]
        key = target_path(entry["name"]) or ("?" + entry["name"])
        if compressed and compressed == uncompressed:
            if len(data) != compressed:
                raise SystemExit("fixture leaves a stored member cut short: " + entry["name"])
            written[key] = data
            continue
        if uncompressed == 0:
            written[key] = b""
            continue
        try:
            out = zlib.decompressobj(-15).decompress(data, uncompressed)
        except zlib.error:
            out = None
        if out is not None and len(out) == uncompressed:
            written[key] = out
        elif salvage(entry["name"], data, uncompressed):
            written[key] = salvage(entry["name"], data, uncompressed)
    content = written.get("content.xml")
    content_state = ("original" if content is not None
                     and len(content) >= CONTENT_TEMPLATE_SIZE else "template")
    return written, content_state


# --------------------------------------------------------------------------
# The base package and the fixtures
# --------------------------------------------------------------------------

def base_members(descriptor=None, content=CONTENT_XML):
    """The members of the healthy package, in the order they are written."""
    deflated = dict(method=DEFLATED, descriptor=descriptor)
    members = [Member("mimetype", MIMETYPE, STORED)]
    if content is not None:
        members.append(Member("content.xml", content, **deflated))
    members += [
        Member("settings.xml", SETTINGS_XML, **deflated),
        Member("database/script", hsqldb_script(40, seed=11), **deflated),
        Member("database/properties", PROPERTIES, **deflated),
        Member("database/data", hsqldb_data(4096, seed=12), **deflated),
        Member("forms/Obj11/content.xml", FORM_CONTENT_XML, **deflated),
        Member(FORM_PICTURE, png(48, 48, seed=3), STORED),
        Member(THUMBNAIL, png(64, 48, seed=4), STORED),
    ]
    names = [m.name.decode() for m in members if m.name != b"mimetype"]
    members.append(Member("META-INF/manifest.xml", manifest(names), **deflated))
    return members


def second_package_members():
    """A different, smaller database whose member names overlap the base's."""
    content = CONTENT_XML.replace(b"Contacts form", b"Suppliers form").replace(
        b"Customers in Berlin", b"Suppliers in Kiel")
    members = [
        Member("mimetype", MIMETYPE, STORED),
        Member("content.xml", content),
        Member("database/script", hsqldb_script(12, seed=21)),
        Member("database/properties", PROPERTIES.replace(b"10:30:00", b"11:45:00")),
    ]
    members.append(Member("META-INF/manifest.xml",
                          manifest(["content.xml", "database/script", "database/properties"])))
    return members


def seeded_bytes(count, seed, avoid=(LOCAL_SIG, DESCRIPTOR_SIG)):
    rng = random.Random(seed)
    data = bytes(rng.randrange(256) for _ in range(count))
    for signature in avoid:
        data = data.replace(signature, b"PK\x00\x00")
    return data


def original_map(members):
    """name -> bytes, the later of two same-named members winning as on disk."""
    result = {}
    for member in members:
        if member.name.endswith(b"/"):
            continue
        result[member.name.decode()] = member.data
    return result


class Fixture:
    def __init__(self, file_name, damage, recovery, package, members,
                 lost=(), skipped=(), content_xml="original", extracted=True, damaged=(),
                 salvaged=(), set_aside=(), further=()):
        self.file_name = file_name
        self.damage = damage
        self.recovery = recovery
        self.package = package
        self.members = members
        self.lost = list(lost)
        self.skipped = list(skipped)
        self.content_xml = content_xml
        self.extracted = extracted
        # Members that come back with other bytes than they had, which only the CRC tells.
        self.damaged = list(damaged)
        # Database members of which only the readable start comes back.
        self.salvaged = list(salvaged)
        # Data offsets of the copies of a member a repair leaves aside for another copy
        # of the same name.
        self.set_aside = list(set_aside)
        # Further packages of the file, each rebuilt on its own: (data offset of its
        # first member, its members).
        self.further = list(further)


def flip_breaks_stream(package, layout, name):
    """True when the member's data is now invalid DEFLATE for any decoder.

    A flip that merely changes the output is another fixture's case (only the CRC
    tells it), and one whose only fault is a match reaching before the start of the
    output is accepted by some inflaters (Info-ZIP's among them), so both are passed
    over in favour of a broken code or block."""
    start = layout.data_offset[name.encode()]
    data = package[start:start + layout.packed_size[name.encode()]]
    try:
        zlib.decompressobj(-15).decompress(data)
    except zlib.error as error:
        return "too far back" not in str(error)
    return False


def flip_keeps_stream(package, layout, name, original):
    """True when the member's data still inflates, to its full length and no further,
    but to other bytes than it held."""
    start = layout.data_offset[name.encode()]
    data = package[start:start + layout.packed_size[name.encode()]]
    inflater = zlib.decompressobj(-15)
    try:
        out = inflater.decompress(data)
    except zlib.error:
        return False
    return (inflater.eof and not inflater.unused_data and len(out) == len(original)
            and out != original)


def build_fixtures():
    fixtures = []
    base = base_members()
    intact, layout = write_package(base)
    all_names = [m.name.decode() for m in base]

    fixtures.append(Fixture(
        "intact.odb", "none: a healthy package with its central directory",
        "every member, byte-identical", intact, base))

    fixtures.append(Fixture(
        "no-central-directory.odb",
        "the file ends where the central directory began (no central directory, "
        "no end record)",
        "every member, byte-identical",
        intact[:layout.central_offset], base))

    cut_member = "database/data"
    cut = layout.data_offset[cut_member.encode()] + layout.packed_size[cut_member.encode()] // 2
    after = all_names[all_names.index(cut_member):]
    fixtures.append(Fixture(
        "truncated-in-member.odb",
        "the file ends halfway through the deflated data of database/data",
        "the members before database/data, byte-identical; of database/data the bytes "
        "that inflated before the cut, marked as salvaged; everything after it is lost",
        intact[:cut], base, lost=after[1:], salvaged=[cut_member]))

    cut_member = THUMBNAIL
    cut = layout.header_offset[cut_member.encode()] + 14
    after = all_names[all_names.index(cut_member):]
    fixtures.append(Fixture(
        "truncated-in-local-header.odb",
        "the file ends 14 bytes into the local header of Thumbnails/thumbnail.png "
        "(inside the CRC field)",
        "the members before the thumbnail, byte-identical; the thumbnail and the "
        "manifest are lost",
        intact[:cut], base, lost=after))

    # The garbage ends in "PK" so the first header is preceded by "PKPK\3\4": the
    # search must find the header one window later, not give up on the first "PK".
    garbage = seeded_bytes(701, seed=5) + b"PK"
    fixtures.append(Fixture(
        "garbage-before-first-header.odb",
        "703 bytes of junk (ending in \"PK\") in front of the first local header; "
        "the central directory's offsets are therefore all off",
        "every member, byte-identical",
        garbage + intact, base))

    start = (layout.data_offset[b"settings.xml"] + layout.packed_size[b"settings.xml"] // 2)
    end = layout.data_offset[b"database/script"] + 300
    holed = intact[:start] + bytes(end - start) + intact[end:]
    fixtures.append(Fixture(
        "hole-of-zeros.odb",
        "%d zero bytes from the middle of settings.xml's data over the whole local "
        "header of database/script into its data" % (end - start),
        "every member except settings.xml and database/script, byte-identical; those "
        "two are lost",
        holed, base, lost=["settings.xml", "database/script"]))

    flipped = bytearray(intact)
    # Aim at the block's code tables near the start of the stream: a flip there
    # makes the data undecodable, where one further in mostly decodes to garbage.
    position = layout.data_offset[b"database/script"] + 2
    while True:
        trial = bytearray(intact)
        for i in range(3):
            trial[position + i] ^= 0xFF
        if flip_breaks_stream(bytes(trial), layout, "database/script"):
            flipped = trial
            break
        position += 1
    fixtures.append(Fixture(
        "flipped-bytes-in-deflated-member.odb",
        "three bytes inverted in the code tables at the start of database/script's "
        "deflated data (package offset %d), so it no longer inflates" % position,
        "every member except database/script, byte-identical; database/script is lost",
        bytes(flipped), base, lost=["database/script"]))

    data_member = next(m for m in base if m.name == b"database/data")
    position = layout.data_offset[b"database/data"] + layout.packed_size[b"database/data"] // 2
    while True:
        trial = bytearray(intact)
        trial[position] ^= 0x01
        if flip_keeps_stream(bytes(trial), layout, "database/data", data_member.data):
            break
        position += 1
    fixtures.append(Fixture(
        "flipped-bit-in-deflated-data.odb",
        "one bit inverted in the middle of database/data's deflated data (package offset "
        "%d); the stream still inflates to its full size, but to other bytes" % position,
        "every member except database/data, byte-identical; database/data comes back "
        "with the damaged bytes and fails its CRC",
        bytes(trial), base, damaged=["database/data"]))

    signed = base_members(descriptor="signed")
    package, _ = write_package(signed)
    fixtures.append(Fixture(
        "data-descriptors-with-signature.odb",
        "every deflated member written the way LibreOffice writes it: flag bit 3, CRC "
        "and sizes 0 in the local header, the real values in a PK\\7\\8 record after "
        "the data; stored members carry their sizes",
        "every member, byte-identical (sizes come from the descriptors)",
        package, signed))

    unsigned = base_members(descriptor="unsigned")
    package, _ = write_package(unsigned)
    deflated_names = [m.name.decode() for m in unsigned if m.method == DEFLATED]
    fixtures.append(Fixture(
        "data-descriptors-without-signature.odb",
        "every deflated member has flag bit 3 and zero sizes in its local header, "
        "followed by a descriptor without the PK\\7\\8 signature",
        "every member, byte-identical: the deflated members have no findable sizes, so "
        "each is sized by inflating its stream to its end (the descriptor behind it "
        "agrees)",
        package, unsigned))

    zero = list(base)
    zero.insert(1, Member("Configurations2/accelerator/current.xml", b"", DEFLATED))
    zero.insert(6, Member("database/log", b"", STORED))
    package, _ = write_package(zero)
    fixtures.append(Fixture(
        "zero-size-members.odb",
        "two empty members: Configurations2/accelerator/current.xml deflated "
        "(compressed size 2, uncompressed 0) and database/log stored (both sizes 0)",
        "every member byte-identical, the deflated empty one as a 0-byte file; the "
        "stored empty one has both sizes 0 and is not listed",
        package, zero, skipped=["database/log"]))

    with_dirs = list(base)
    directories = ["Configurations2/", "Configurations2/toolbar/", "forms/", "forms/Obj11/"]
    with_dirs[1:1] = [Member(d, b"", STORED) for d in directories[:2]]
    index = next(i for i, m in enumerate(with_dirs) if m.name == b"forms/Obj11/content.xml")
    with_dirs[index:index] = [Member(d, b"", STORED) for d in directories[2:]]
    package, _ = write_package(with_dirs)
    fixtures.append(Fixture(
        "directory-entries.odb",
        "directory entries (names ending in a slash, both sizes 0) among the members: "
        + ", ".join(directories),
        "every file member, byte-identical; the directory entries are not listed",
        package, with_dirs, skipped=directories))

    odd_names = list(base)
    odd_names[1:1] = [
        Member("c:notes.txt", b"drive-like name, lands as cnotes.txt\n", STORED),
        Member("C:/drive/abs.txt", b"drive-absolute name, lands as C/drive/abs.txt\n"
               * 4, DEFLATED),
        Member("../escape.txt", b"a name leading out of the package folder\n", STORED),
        Member("forms/../../escape2.txt", b"a name climbing out through forms/\n" * 3,
               DEFLATED),
        Member("/rooted.txt", b"a name with a leading slash\n", STORED),
    ]
    package, _ = write_package(odd_names)
    fixtures.append(Fixture(
        "colon-and-dotdot-names.odb",
        "members named c:notes.txt, C:/drive/abs.txt, ../escape.txt, "
        "forms/../../escape2.txt and /rooted.txt",
        "every member byte-identical and inside the package folder: colons are dropped "
        "(cnotes.txt, C/drive/abs.txt); the names leading outside are written at a "
        "safe place inside the folder, nothing is written outside it",
        package, odd_names))

    second = second_package_members()
    second_package, second_layout = write_package(second)
    first_names = {m.name for m in base}
    overlap = {m.name for m in second} & first_names
    fixtures.append(Fixture(
        "two-packages-concatenated.odb",
        "a second, smaller complete package (own central directory) appended to the "
        "first; both hold mimetype, content.xml, database/script, database/properties "
        "and META-INF/manifest.xml",
        "each package rebuilt on its own, every member of each byte-identical: the "
        "first as TAVRINREP_two-packages-concatenated.odb, the second beside it as "
        "TAVRINREP_two-packages-concatenated-2.odb",
        intact + second_package, base,
        further=[(len(intact) + second_layout.data_offset[b"mimetype"], second)]))
    assert overlap  # the packages share member names, and neither takes the other's

    missing = base_members(content=None)
    package, _ = write_package(missing)
    fixtures.append(Fixture(
        "content-xml-missing.odb",
        "an otherwise healthy package without a content.xml member",
        "every member, byte-identical, plus the built-in content.xml template",
        package, missing, content_xml="template"))

    short = base_members(content=SHORT_CONTENT_XML)
    package, _ = write_package(short)
    fixtures.append(Fixture(
        "content-xml-short.odb",
        "content.xml is a well-formed %d-byte descriptor, shorter than the 999-byte "
        "template" % len(SHORT_CONTENT_XML),
        "every other member, byte-identical; content.xml is replaced by the template",
        package, short, content_xml="template"))

    not_zip = (b"<!DOCTYPE html>\n<html><head><title>502 Bad Gateway</title></head>\n"
               b"<body><h1>502 Bad Gateway</h1><p>The download was interrupted.</p>\n"
               + seeded_bytes(2000, seed=6) + b"\n</body></html>\n")
    fixtures.append(Fixture(
        "not-a-zip.odb",
        "an HTML error page with binary noise, saved under an .odb name: no local "
        "header anywhere",
        "nothing: the scan lists no member and the extraction fails",
        not_zip, [], content_xml=None, extracted=False))

    fixtures.append(Fixture(
        "empty.odb", "a 0-byte file",
        "nothing: the scan lists no member and the extraction fails",
        b"", [], content_xml=None, extracted=False))

    return fixtures


# --------------------------------------------------------------------------
# Expectations, checked against the model
# --------------------------------------------------------------------------

def sha256(data):
    return hashlib.sha256(data).hexdigest()


def recovered_map(members):
    """What a package of whole members gives back: every member, byte-identical."""
    return {name: {"size": len(data), "sha256": sha256(data), "path": target_path(name)}
            for name, data in original_map(members).items()}


def expectation(fixture):
    originals = original_map(fixture.members)
    not_back = (set(fixture.lost) | set(fixture.skipped) | set(fixture.damaged)
                | set(fixture.salvaged))
    unsized = []
    listed = scan(fixture.package, unsized)
    if fixture.content_xml == "template":
        not_back.add("content.xml")
    recovered = {}
    for name, data in originals.items():
        if name in not_back:
            continue
        recovered[name] = {"size": len(data), "sha256": sha256(data),
                           "path": target_path(name)}
    return {
        "damage": fixture.damage,
        "recovered": recovered,
        "lost": fixture.lost,
        "crc_mismatch": fixture.damaged,
        "salvaged": salvaged_expectation(fixture, listed, unsized),
        "skipped": fixture.skipped,
        "content_xml": fixture.content_xml,
        "extracted": fixture.extracted,
        "scan": listed,
        "sized_by_inflation": size_by_inflation(fixture.package, listed, unsized),
        "set_aside": sorted(fixture.set_aside),
        "first_package_ends": fixture.further[0][0] if fixture.further else None,
        "further_packages": [{"starts_at": start, "recovered": recovered_map(members)}
                             for start, members in fixture.further],
    }


def salvaged_expectation(fixture, listed, unsized):
    entries = listed_members(fixture.package, {
        "scan": listed, "sized_by_inflation": size_by_inflation(fixture.package, listed, unsized)})
    written, _ = extract(fixture.package, entries)
    result = {}
    for name in fixture.salvaged:
        data = written.get(target_path(name))
        if not data:
            raise SystemExit("%s: %s was expected salvaged" % (fixture.file_name, name))
        result[name] = {"size": len(data), "sha256": sha256(data), "path": target_path(name)}
    return result


def check(fixture, expected):
    """Stops the script when the model disagrees with what was written down."""
    written, content_state = extract(fixture.package, listed_members(fixture.package, expected))
    problems = []
    if fixture.extracted != bool(listed_members(fixture.package, expected)):
        problems.append("extracted flag disagrees with the scan")
    if fixture.extracted and content_state != fixture.content_xml:
        problems.append("content.xml would be %s" % content_state)
    for name, info in expected["recovered"].items():
        key = info["path"] or ("?" + name)
        data = written.get(key)
        if data is None or sha256(data) != info["sha256"]:
            problems.append("%s is not recovered byte-identical" % name)
    for name in fixture.lost:
        if (target_path(name) or ("?" + name)) in written:
            problems.append("%s was expected lost but comes back" % name)
    unexpected = set(written) - {info["path"] or ("?" + n)
                                 for n, info in expected["recovered"].items()}
    unexpected -= {"content.xml"} if fixture.content_xml == "template" else set()
    unexpected -= {target_path(name) for name in fixture.salvaged}
    originals = original_map(fixture.members)
    for name in fixture.damaged:
        if written.get(target_path(name)) in (None, originals[name]):
            problems.append("%s was expected back with damaged bytes" % name)
        unexpected.discard(target_path(name))
    if unexpected:
        problems.append("unexpected files: %s" % sorted(unexpected))
    if len(fixture.package) > 20 * 1024:
        problems.append("larger than 20 KB")
    if problems:
        raise SystemExit("%s: %s" % (fixture.file_name, "; ".join(problems)))


def check_member_data_is_clean(fixtures):
    """Member data must not contain signatures by accident: every signature the
    scan meets has to be one the fixture meant to be there."""
    for fixture in fixtures:
        for member in fixture.members:
            packed = member.packed()
            for signature in (LOCAL_SIG, DESCRIPTOR_SIG, CENTRAL_SIG, END_SIG):
                if signature in packed or signature in member.data:
                    raise SystemExit("%s: %s holds a ZIP signature by chance"
                                     % (fixture.file_name, member.name))


README_HEAD = """# Damaged-package fixtures

Written by `../make_fixtures.py` (run it with `/usr/bin/python3`; it is deterministic
and rewrites this folder). Each file is a small database package with one kind of
damage. The healthy package they start from holds, in this order: `mimetype`
(stored), `content.xml`, `settings.xml`, `database/script`, `database/properties`,
`database/data` (binary), `forms/Obj11/content.xml`, the form's picture
`{picture}` (stored), `Thumbnails/thumbnail.png` (stored) and
`META-INF/manifest.xml`; the members not marked stored are deflated.

`expected.json` holds, per fixture, the size and SHA-256 of every member a correct
repair gets back byte-identical (and the path it lands at inside the package folder;
null where the name would lead outside it), the members that are lost or left out
by design, those that come back with damaged bytes and fail their CRC, the database
members of which only the readable start comes back (size and SHA-256), whether
`content.xml` is the package's own or the built-in template, and
the members the raw local-header scan lists (name, compressed and uncompressed size,
data offset). A local header cut short by the end of the file lists nothing.
`sized_by_inflation` lists the deflated members that scan leaves out for want of
sizes (both 0, no descriptor found) whose stream inflates to its end, with the sizes
that gives; a repair extracts both lists, in file order.

| File | Damage | A correct repair recovers |
|---|---|---|
"""


def write_readme(fixtures):
    lines = [README_HEAD.format(picture=FORM_PICTURE)]
    for fixture in fixtures:
        lines.append("| `%s` | %s | %s |\n" % (fixture.file_name, fixture.damage,
                                               fixture.recovery))
    with open(os.path.join(OUT, "README.md"), "w") as readme:
        readme.write("".join(lines))


def main():
    fixtures = build_fixtures()
    check_member_data_is_clean(fixtures)
    os.makedirs(OUT, exist_ok=True)
    for stale in os.listdir(OUT):
        if stale.endswith(".odb"):
            os.remove(os.path.join(OUT, stale))
    manifest_json = {"template_size": CONTENT_TEMPLATE_SIZE, "fixtures": {}}
    for fixture in fixtures:
        expected = expectation(fixture)
        check(fixture, expected)
        manifest_json["fixtures"][fixture.file_name] = expected
        with open(os.path.join(OUT, fixture.file_name), "wb") as out:
            out.write(fixture.package)
    with open(os.path.join(OUT, "expected.json"), "w") as out:
        json.dump(manifest_json, out, indent=1, sort_keys=False)
        out.write("\n")
    write_readme(fixtures)
    for fixture in fixtures:
        print("%-42s %6d bytes" % (fixture.file_name, len(fixture.package)))


if __name__ == "__main__":
    sys.exit(main())
