#!/usr/bin/python3
"""Makes the original database documents of the interop suite with LibreOffice itself.

    /usr/bin/python3 tests/interop/make_originals.py [--manifest-only]

needs libreoffice-base, libreoffice-sdbc-hsqldb, libreoffice-sdbc-firebird, a Java
runtime, python3-uno and libreoffice-script-provider-python. It writes into
originals/ next to this script:

  hsqldb.odb     embedded HSQLDB: cached tables Customers (mixed column types, NULLs)
                 and Orders (foreign key to Customers), the memory table Regions, the
                 saved query "Berlin totals", and the form "Entry form" holding two
                 pictures and data-bound fields
  firebird.odb   embedded Firebird: tables Parts and Stock, the saved query
                 "Parts in stock" and a form with a picture

and manifest.json: per document, the row count and row checksum of every table
(read back from a copy, through LibreOffice, the way the suite reads a repaired
file), its queries and forms. LibreOffice stamps times into what it writes, so a
new run gives equivalent packages with the same rows.
"""

import json
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "samples"))

from office import Office  # noqa: E402
from make_sample import png  # noqa: E402

ORIGINALS = os.path.join(HERE, "originals")
DOCUMENTS = (("hsqldb.odb", "make_hsqldb", 2), ("firebird.odb", "make_firebird", 1))


def pictures(folder, count):
    """Small PNGs of different patterns, so the form's pictures are distinct members."""
    paths = []
    for index in range(count):
        def pixel(x, y, index=index):
            if (x // (6 + 4 * index) + y // 8) % 2:
                return (42 + 60 * index, 93, 143)
            return (250, 236 - 40 * index, 214)
        path = os.path.join(folder, "picture-%d.png" % index)
        with open(path, "wb") as out:
            out.write(png(48, 40, pixel))
        paths.append(path)
    return paths


def main():
    import uno
    # --manifest-only: read the committed originals again and rewrite only the manifest
    # (after a change of the way rows are checked).
    manifest_only = sys.argv[1:] == ["--manifest-only"]
    work = tempfile.mkdtemp(prefix="tavrin-interop-make-")
    try:
        made = {}
        with Office() as office:
            for name, function, picture_count in DOCUMENTS:
                target = os.path.join(work, name)
                if manifest_only:
                    shutil.copy(os.path.join(ORIGINALS, name), target)
                else:
                    urls = tuple(uno.systemPathToFileUrl(p)
                                 for p in pictures(work, picture_count))
                    office.call(function, uno.systemPathToFileUrl(target), urls)
                made[name] = target
            os.makedirs(ORIGINALS, exist_ok=True)
            for name, path in made.items():
                if not manifest_only:
                    shutil.copy(path, os.path.join(ORIGINALS, name))
            # Connecting rewrites an embedded database: read back from copies.
            copies = {}
            for name, path in made.items():
                copy = os.path.join(work, "check-" + name)
                shutil.copy(path, copy)
                copies[uno.systemPathToFileUrl(copy)] = name
            results = json.loads(office.call("check_documents", json.dumps(list(copies))))
        manifest = {}
        for url, name in copies.items():
            result = results[url]
            if not result.get("opened") or not result["tables"]:
                raise SystemExit("%s does not read back: %s\n%s" % (name, result.get("error"), result.get("trace", "")))
            manifest[name] = {"tables": result["tables"], "queries": result["queries"],
                              "forms": result["forms"]}
            rows = sum(table["rows"] for table in result["tables"].values())
            print("%s: %d bytes, %d tables, %d rows" % (
                name, os.path.getsize(made[name]), len(result["tables"]), rows))
        with open(os.path.join(ORIGINALS, "manifest.json"), "w") as out:
            json.dump(manifest, out, indent=1, sort_keys=True)
            out.write("\n")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
