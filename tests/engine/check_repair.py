#!/usr/bin/python3
"""Checks one repaired fixture against its expected contents, with readers of its own.

usage: check_repair.py EXPECTED_JSON FIXTURE PACKAGE_FOLDER SCAN_TSV ARCHIVE MEDIA_FOLDER
                       [FURTHER_FOLDER FURTHER_ARCHIVE]...

SCAN_TSV holds the members the engine listed: name, compressed, uncompressed, offset,
tab-separated, one per line. ARCHIVE and MEDIA_FOLDER may be "-" when none is expected.
The pairs after them are the package folder and archive of the file's second, third...
package, each rebuilt on its own.
Prints every difference and exits 1 when there is one.
"""
import hashlib
import json
import os
import sys
import zipfile

PICTURES = {"jpg", "bmp", "png", "gif", "emf", "jpeg"}


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def files_under(folder):
    found = {}
    for root, _dirs, names in os.walk(folder):
        for name in names:
            full = os.path.join(root, name)
            found[os.path.relpath(full, folder)] = full
    return found


MANIFEST = "META-INF/manifest.xml"
MANIFEST_NS = "{urn:oasis:names:tc:opendocument:xmlns:manifest:1.0}"


def manifest_problems(folder, files):
    """A package folder that holds anything needs a manifest that parses, has the
    database root entry and lists every file but mimetype and itself."""
    import xml.etree.ElementTree as ElementTree
    if MANIFEST not in files:
        return ["%s: missing, though the folder holds members" % MANIFEST]
    try:
        root = ElementTree.parse(files[MANIFEST]).getroot()
    except ElementTree.ParseError as error:
        return ["%s: does not parse (%s)" % (MANIFEST, error)]
    types = {entry.get(MANIFEST_NS + "full-path"): entry.get(MANIFEST_NS + "media-type")
             for entry in root.iter(MANIFEST_NS + "file-entry")}
    problems = []
    if types.get("/") != "application/vnd.oasis.opendocument.base":
        problems.append("%s: no database root entry" % MANIFEST)
    for rel in files:
        name = rel.replace(os.sep, "/")
        raw = os.fsencode(name)
        try:
            listed_as = raw.decode("utf-8")
        except UnicodeDecodeError:
            listed_as = raw.decode("latin-1")  # names that are not UTF-8 are listed byte by byte
        if name not in ("mimetype", MANIFEST) and listed_as not in types:
            problems.append("%s: does not list %s" % (MANIFEST, name))
    return problems


DB_NS = "{http://openoffice.org/2004/database}"
XLINK_NS = "{http://www.w3.org/1999/xlink}"


def template_problems(folder, content):
    """The template is written as it stands when the folder holds no form or report
    document; otherwise it must name every document folder (one holding a content.xml)
    under db:forms or db:reports, each once and nothing else."""
    import xml.etree.ElementTree as ElementTree
    if not os.path.isfile(content):
        return ["content.xml: the template was not written"]
    documents = set()
    for kind in ("forms", "reports"):
        top = os.path.join(folder, kind)
        if os.path.isdir(top):
            documents |= {(kind, kind + "/" + sub) for sub in os.listdir(top)
                          if os.path.isfile(os.path.join(top, sub, "content.xml"))}
    if not documents:
        if os.path.getsize(content) != 999:
            return ["content.xml: the 999-byte template was not written"]
        return []
    try:
        root = ElementTree.parse(content).getroot()
    except ElementTree.ParseError as error:
        return ["content.xml: does not parse (%s)" % error]
    listed = []
    for kind in ("forms", "reports"):
        for container in root.iter(DB_NS + kind):
            listed += [(kind, c.get(XLINK_NS + "href")) for c in container.iter(DB_NS + "component")]
    problems = []
    if sorted(listed) != sorted(documents):
        problems.append("content.xml: lists %s, the folder holds %s" % (sorted(listed), sorted(documents)))
    if root.find(".//" + DB_NS + "data-source") is None:
        problems.append("content.xml: no data source")
    return problems


def archive_problems(archive, files, folder):
    """The archive must read back whole and hold exactly the package folder."""
    problems = []
    try:
        with zipfile.ZipFile(archive) as z:
            bad = z.testzip()
            if bad is not None:
                problems.append("archive: member %s fails its CRC" % bad)
            names = z.namelist()
            if len(names) != len(set(names)):
                problems.append("archive: duplicate member names")
            want_names = {rel.replace(os.sep, "/") for rel in files}
            if set(names) != want_names:
                problems.append("archive members %s differ from the package folder %s"
                                % (sorted(names), sorted(want_names)))
            for name in names:
                if name in want_names and z.read(name) != open(os.path.join(folder, name), "rb").read():
                    problems.append("archive: %s differs from the extracted file" % name)
    except (zipfile.BadZipFile, OSError) as error:
        problems.append("archive unreadable: %s" % error)
    return problems


def further_problems(number, want, folder, archive):
    """A further package of the file: its own members back byte-identical, nothing of
    another package, a manifest listing them, and its own archive."""
    files = files_under(folder) if os.path.isdir(folder) else {}
    problems = []
    for name, info in want["recovered"].items():
        full = os.path.join(folder, info["path"])
        if not os.path.isfile(full):
            problems.append("package %d: %s missing" % (number, name))
        elif sha256(full) != info["sha256"] and info["path"] != MANIFEST:
            problems.append("package %d: %s bytes differ" % (number, name))
    extra = set(files) - {info["path"] for info in want["recovered"].values()} - {MANIFEST, "mimetype"}
    if extra:
        problems.append("package %d holds files of no member of its own: %s" % (number, sorted(extra)))
    if files:
        problems.extend("package %d: %s" % (number, p) for p in manifest_problems(folder, files))
    problems.extend("package %d: %s" % (number, p) for p in archive_problems(archive, files, folder))
    return problems


def main():
    expected_path, fixture, folder, scan_tsv, archive, media = sys.argv[1:7]
    further = sys.argv[7:]
    expected = json.load(open(expected_path, encoding="utf-8"))
    case = expected["fixtures"][fixture]
    problems = []

    listed = []
    with open(scan_tsv, encoding="latin-1") as f:
        for line in f.read().splitlines():
            name, compressed, uncompressed, offset = line.split("\t")
            listed.append({"name": name, "compressed": int(compressed), "uncompressed": int(uncompressed),
                           "offset": int(offset)})
    # The scan's list with the members sized by inflation in their place, less any
    # header that lay inside one of those members' data.
    sized = case["sized_by_inflation"]
    # Copies of a member left aside for another copy of its name are not extracted.
    aside = set(case.get("set_aside", []))
    # The members of further packages of the file are the first package's no more.
    ends = case.get("first_package_ends") or float("inf")
    want_listed = sorted([e for e in case["scan"]
                          if not any(s["offset"] <= e["offset"] < s["offset"] + s["compressed"] for s in sized)
                          and e["offset"] not in aside and e["offset"] < ends]
                         + sized, key=lambda e: e["offset"])
    if listed != want_listed:
        problems.append("member list differs:\n  got      %s\n  expected %s" % (listed, want_listed))

    files = files_under(folder) if os.path.isdir(folder) else {}
    by_hash = {}
    for rel, full in files.items():
        by_hash.setdefault(sha256(full), []).append(rel)
    for name, want in case["recovered"].items():
        if want["path"] is not None:
            full = os.path.join(folder, want["path"])
            if not os.path.isfile(full):
                problems.append("%s: missing at %s" % (name, want["path"]))
            elif os.path.getsize(full) != want["size"] or sha256(full) != want["sha256"]:
                # A recovered manifest that leaves members out is replaced by a complete one.
                if want["path"] != MANIFEST:
                    problems.append("%s: bytes differ at %s" % (name, want["path"]))
        elif want["sha256"] not in by_hash:
            problems.append("%s: not found anywhere inside the package folder" % name)
    for name in case["lost"]:
        if name == "content.xml" and case["content_xml"] == "template":
            continue
        if name == MANIFEST:
            continue  # a lost manifest is written anew; checked below
        if name in files and name not in {w["path"] for w in case["recovered"].values()}:
            problems.append("%s: expected lost, but a file is there" % name)

    for name, want in case["salvaged"].items():
        full = os.path.join(folder, want["path"])
        if not os.path.isfile(full):
            problems.append("%s: its readable start was not kept at %s" % (name, want["path"]))
        elif os.path.getsize(full) != want["size"] or sha256(full) != want["sha256"]:
            problems.append("%s: the kept start differs (%d bytes, expected %d)"
                            % (name, os.path.getsize(full), want["size"]))
    for name in case["crc_mismatch"]:
        if name not in files:
            problems.append("%s: expected back with its damaged bytes, but missing" % name)

    if files:
        problems.extend(manifest_problems(folder, files))

    content = os.path.join(folder, "content.xml")
    if case["content_xml"] == "template":
        problems.extend(template_problems(folder, content))
    elif case["content_xml"] is None and files:
        problems.append("nothing should have been extracted, found %s" % sorted(files))

    if archive != "-":
        problems.extend(archive_problems(archive, files, folder))
    elif case["extracted"]:
        problems.append("no archive given for a fixture that extracts")

    pictures = {}
    for rel in sorted(files):
        base = os.path.basename(rel)
        if "." in base and base.rsplit(".", 1)[1].lower() in PICTURES:
            pictures.setdefault(base, set()).add(sha256(files[rel]))
    if media != "-":
        got = files_under(media) if os.path.isdir(media) else {}
        if set(got) != set(pictures):
            problems.append("media folder holds %s, expected %s" % (sorted(got), sorted(pictures)))
        for name, full in got.items():
            if name in pictures and sha256(full) not in pictures[name]:
                problems.append("media %s differs from every picture of that name" % name)

    want_further = case.get("further_packages", [])
    if len(further) != 2 * len(want_further):
        problems.append("%d further packages rebuilt, expected %d" % (len(further) // 2, len(want_further)))
    else:
        for index, want in enumerate(want_further):
            problems.extend(further_problems(index + 2, want, further[2 * index], further[2 * index + 1]))

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
