#!/usr/bin/python3
"""Repairs damaged variants of LibreOffice-made databases with tavrin-repair and opens
every result in LibreOffice.

    /usr/bin/python3 tests/interop/run_interop.py --repair build/.../tavrin-repair [--work DIR]

For every variant (see damage.py) it prints one line: whether LibreOffice opened the
repaired package and connected to its database, how many tables came back with the
rows and row checksum of the original (originals/manifest.json), and how many rows
were recovered of those expected. Every repaired package is also checked as an ODF
package: mimetype first, stored, without extra field; no name twice; local and
central headers alike with no gap or overlap between members; a manifest that lists
every member.

Exit status: 0 when every variant gives what damage.py says it must (all rows, a
connection, a connection with rows, or the tables whose definition survived), the forms
of the variants in FORMS_MUST_OPEN are listed and open, and every package is
well-formed; 1 otherwise; 77 (skipped) when LibreOffice or its Python bridge is not
installed.
"""

import argparse
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import xml.etree.ElementTree as ElementTree

HERE = os.path.dirname(os.path.abspath(__file__))
ORIGINALS = os.path.join(HERE, "originals")
SKIPPED = 77
MANIFEST_NS = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"
ODB_MEDIA_TYPE = b"application/vnd.oasis.opendocument.base"


PROGRAM = "/usr/lib/libreoffice/program/"
# What the suite needs beyond soffice, with the Debian package that brings it.
NEEDED = (
    (PROGRAM + "libhsqldb.so", "libreoffice-sdbc-hsqldb"),
    (PROGRAM + "libfirebird_sdbclo.so", "libreoffice-sdbc-firebird"),
    (PROGRAM + "pythonscript.py", "libreoffice-script-provider-python"),
)
# Longest wait for LibreOffice before the run is given up (a hang guard: a repaired
# package that makes soffice hang must fail the suite, not leave soffice behind).
HANG_GUARD_SECONDS = 900
# Variants whose form documents must be listed and open after repair: the intact one,
# and the one that lost content.xml, the only member that names them.
FORMS_MUST_OPEN = ("intact", "content-xml-lost")


def missing_prerequisite():
    if shutil.which("soffice") is None:
        return "soffice is not installed (libreoffice-base)"
    try:
        import uno  # noqa: F401
    except ImportError:
        return "LibreOffice's Python bridge is not importable by %s (python3-uno)" % sys.executable
    for path, package in NEEDED:
        if not os.path.exists(path):
            return "%s is missing (%s)" % (path, package)
    if shutil.which("java") is None:
        return "no Java runtime for embedded HSQLDB (default-jre-headless)"
    return None


def package_faults(path):
    """What makes the package at `path` fall short of the ODF package rules, as texts."""
    with open(path, "rb") as source:
        data = source.read()
    faults = []
    end = data.rfind(b"PK\x05\x06")
    if end < 0:
        return ["no end record"]
    count, size, offset = struct.unpack("<HII", data[end + 10:end + 20])
    entries = []
    position = offset
    for _ in range(count):
        if data[position:position + 4] != b"PK\x01\x02":
            return ["central directory entry %d is damaged" % len(entries)]
        lengths = struct.unpack("<HHH", data[position + 28:position + 34])
        entries.append(data[position:position + 46 + sum(lengths)])
        position += 46 + sum(lengths)
    names = [entry[46:46 + struct.unpack("<H", entry[28:30])[0]] for entry in entries]
    if len(set(names)) != len(names):
        faults.append("a member name occurs twice")
    expected_offset = 0
    for entry, name in sorted(zip(entries, names), key=lambda e: struct.unpack("<I", e[0][42:46])[0]):
        local = struct.unpack("<I", entry[42:46])[0]
        if local != expected_offset:
            faults.append("%s starts at %d, not at %d" % (name.decode(), local, expected_offset))
        header = data[local:local + 30]
        local_name_length, local_extra = struct.unpack("<HH", header[26:30])
        flags = struct.unpack("<H", entry[8:10])[0]
        # version needed, flags, method, time, CRC and sizes: alike in both headers
        # (a descriptor may carry CRC and sizes instead of the local header).
        same = header[4:14] == entry[6:16] and (flags & 8 or header[14:26] == entry[16:28])
        if header[:4] != b"PK\x03\x04" or not same or data[local + 30:local + 30 + local_name_length] != name:
            faults.append("local and central headers of %s differ" % name.decode())
        compressed = struct.unpack("<I", entry[20:24])[0]
        expected_offset = local + 30 + local_name_length + local_extra + compressed
        if flags & 8:
            expected_offset += 16 if data[expected_offset:expected_offset + 4] == b"PK\x07\x08" else 12
    if expected_offset != offset:
        faults.append("the members end at %d, the central directory starts at %d"
                      % (expected_offset, offset))
    if not names or names[0] != b"mimetype" or struct.unpack("<I", entries[0][42:46])[0] != 0:
        faults.append("mimetype is not the first member")
    else:
        header = data[:30]
        if struct.unpack("<H", header[8:10])[0] != 0:
            faults.append("mimetype is not stored")
        if struct.unpack("<H", header[28:30])[0] != 0:
            faults.append("mimetype has an extra field")
        if data[38:38 + len(ODB_MEDIA_TYPE)] != ODB_MEDIA_TYPE:
            faults.append("mimetype does not hold the database media type")
    import zipfile
    try:
        with zipfile.ZipFile(path) as archive:
            manifest = ElementTree.fromstring(archive.read("META-INF/manifest.xml"))
            listed = {entry.get("{%s}full-path" % MANIFEST_NS)
                      for entry in manifest.iter("{%s}file-entry" % MANIFEST_NS)}
            for info in archive.infolist():
                if info.is_dir() or info.filename in ("mimetype", "META-INF/manifest.xml"):
                    continue
                if info.filename not in listed:
                    faults.append("the manifest does not list %s" % info.filename)
            if "/" not in listed:
                faults.append("the manifest has no root entry")
    except (KeyError, zipfile.BadZipFile, ElementTree.ParseError) as error:
        faults.append("no readable manifest (%s)" % error)
    return faults


def compare(expected, result):
    """(tables complete, rows recovered, rows expected) of one checked document."""
    tables = rows = 0
    found = result.get("tables", {})
    # A table whose name was lost with the script comes back under a made-up one: it
    # counts when it holds the very same rows.
    # Cut short, it is the one made-up table of the same column count (the manifest
    # records the column count of its tables).
    unnamed = [table for name, table in found.items() if name not in expected["tables"]]
    by_digest = {table["sha256"]: table for table in unnamed}
    for name, table in expected["tables"].items():
        got = found.get(name) or by_digest.get(table["sha256"])
        if got is None and "columns" in table:
            alike = [other for other in unnamed if other.get("columns") == table["columns"]]
            got = alike[0] if len(alike) == 1 else None
        if got is None:
            continue
        rows += min(got["rows"], table["rows"]) if got["sha256"] != table["sha256"] else got["rows"]
        if got["rows"] == table["rows"] and got["sha256"] == table["sha256"]:
            tables += 1
    return tables, rows, sum(table["rows"] for table in expected["tables"].values())


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repair", required=True, help="the tavrin-repair program")
    parser.add_argument("--work", help="folder for the variants and results (kept)")
    parser.add_argument("--seed", type=int, default=6)
    options = parser.parse_args(argv)

    why = missing_prerequisite()
    if why:
        print("SKIPPED: the interop suite needs LibreOffice: " + why)
        return SKIPPED
    import uno
    sys.path.insert(0, HERE)
    from office import Office

    work = options.work or tempfile.mkdtemp(prefix="tavrin-interop-")
    shutil.rmtree(work, ignore_errors=True)
    damaged, repaired, checked = (os.path.join(work, name) for name in ("damaged", "repaired", "checked"))
    for folder in (repaired, checked):
        os.makedirs(folder)
    with open(os.path.join(ORIGINALS, "manifest.json")) as source:
        manifest = json.load(source)
    originals = [os.path.join(ORIGINALS, name) for name in sorted(manifest)]
    made = subprocess.run([sys.executable, os.path.join(HERE, "damage.py"), "--seed",
                           str(options.seed), damaged] + originals,
                          check=True, stdout=subprocess.PIPE)
    variants = json.loads(made.stdout)

    repair = subprocess.run([options.repair, "-q", "--no-media", "-o", repaired]
                            + [variant["file"] for variant in variants],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if repair.returncode not in (0, 1, 2, 3):  # 3: saved, with losses
        print(repair.stdout.decode(errors="replace"))
        print("FAILED: tavrin-repair ended with status %d" % repair.returncode)
        return 1

    # A file of several packages gives one output each, each checked like a variant:
    # the second as TAVRINREP_<stem>-2.odb, ...
    for variant in list(variants):
        variant["name"] = os.path.basename(variant["file"])
        stem, extension = os.path.splitext(variant["name"])
        for number in range(2, variant.get("packages", 1) + 1):
            variants.append(dict(variant, name="%s-%d%s" % (stem, number, extension)))

    # LibreOffice rewrites an embedded database it connects to, and remembers a data
    # source by its URL: every check gets a private copy under a path of its own.
    urls = {}
    for variant in variants:
        output = os.path.join(repaired, "TAVRINREP_" + variant["name"])
        variant["output"] = output if os.path.exists(output) else None
        if variant["output"]:
            copy = os.path.join(checked, variant["name"])
            shutil.copy(output, copy)
            urls[uno.systemPathToFileUrl(copy)] = variant
    with Office() as office:
        def give_up(*_):
            print("FAILED: LibreOffice did not finish checking within %d seconds" % HANG_GUARD_SECONDS)
            sys.stdout.flush()
            office.kill()
            os._exit(1)
        guard = threading.Timer(HANG_GUARD_SECONDS, give_up)
        guard.daemon = True
        guard.start()
        signal.signal(signal.SIGTERM, give_up)
        try:
            results = json.loads(office.call("check_documents", json.dumps(list(urls)), json.dumps(
                [url for url, variant in urls.items() if variant["damage"] in FORMS_MUST_OPEN])))
        finally:
            guard.cancel()
    for url, variant in urls.items():
        variant["result"] = results.get(url, {"opened": False, "error": "not checked"})

    failed = 0
    for variant in variants:
        expected = manifest[variant["original"]]
        result = variant.get("result", {"opened": False, "error": "not repaired"})
        faults = package_faults(variant["output"]) if variant["output"] else []
        tables, rows, total = compare(expected, result)
        whole = result.get("opened") and tables == len(expected["tables"]) and rows == total
        must = variant.get("expect")
        if must == "all-rows":
            met = whole
        elif must == "opens":
            met = result.get("opened")
        elif must == "some-rows":
            met = result.get("opened") and rows > 0
        elif isinstance(must, list):
            met = result.get("opened") and set(must) <= set(result.get("tables", {}))
        elif isinstance(must, dict):
            met = result.get("opened") and rows >= must["rows"]
        else:
            met = True
        forms_opened = result.get("forms_opened")
        if variant["damage"] in FORMS_MUST_OPEN and len(forms_opened or []) != len(expected["forms"]):
            met = False
        verdict = "ok" if met else "FAIL"
        if faults:
            verdict = "FAIL"
        if verdict == "FAIL":
            failed += 1
        # Queries and forms are described in content.xml. A package that lost it keeps its
        # data but not its queries; its forms are listed again, under their folders' names
        # unless they carry a title, so forms count by number and, where opened, by opening.
        kept = ["queries %d/%d" % (len(set(result.get("queries", [])) & set(expected["queries"])),
                                   len(expected["queries"])),
                "forms %d/%d" % (min(len(result.get("forms", [])), len(expected["forms"])),
                                 len(expected["forms"]))]
        if forms_opened is not None:
            kept[-1] += " (%d opened)" % len(forms_opened)
        promise = ("" if must == "all-rows" else " (must open)" if must == "opens"
                   else " (must open with rows)" if must == "some-rows"
                   else " (must open with %s)" % (", ".join(must) or "no table left")
                   if isinstance(must, list)
                   else " (must open with %d rows)" % must["rows"] if isinstance(must, dict)
                   else " (database bytes lost)")
        line = "%-44s %-7s tables %d/%d, rows %5d of %5d, %s%s  %s" % (
            variant["name"], "opened" if result.get("opened") else "refused",
            tables, len(expected["tables"]), rows, total, ", ".join(kept), promise, verdict)
        print(line)
        if result.get("error"):
            print("    LibreOffice: " + result["error"])
        for fault in faults:
            print("    package: " + fault)
    print("%d of %d variants as required" % (len(variants) - failed, len(variants)))
    if not options.work:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
