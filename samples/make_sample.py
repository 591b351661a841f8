#!/usr/bin/python3
"""Makes the bundled sample databases with LibreOffice itself.

    /usr/bin/python3 samples/make_sample.py

needs libreoffice-base, libreoffice-sdbc-hsqldb, a Java runtime, python3-uno and
libreoffice-script-provider-python.  It writes, next to this script:

  Contacts.odb                        a database document made through LibreOffice's
                                      API: embedded HSQLDB with two cached tables
                                      (Contacts, 200 rows of mixed column types, and
                                      Orders), a saved query and a form that holds a
                                      picture and data-bound fields
  Contacts-with-thumbnail.odb         the same package with Thumbnails/thumbnail.png
                                      added (LibreOffice writes none into a database
                                      document) and listed in the manifest; every
                                      other member is copied byte for byte, so the
                                      deflated members keep LibreOffice's data
                                      descriptors
  damaged/Contacts-no-central-directory.odb
                                      the thumbnail copy cut off where its central
                                      directory begins

How it drives LibreOffice: a headless soffice with a private profile under /tmp,
reached over a pipe.  The database work runs inside soffice, as a Python script
of that profile called through the script provider, in one call.  That matters:
embedded HSQLDB looks up its storage class through the calling thread's context
class loader, which is null on threads the bridge attaches to Java later, so
SQL sent statement by statement over the bridge fails ("invalid storage class").
Inside one call the thread that opens the first connection also starts Java and
keeps a usable class loader.

Opening a new form for editing inside a headless Base takes soffice down, so the
form is made as a Writer document and handed to Base as the source of a new form
document, which Base copies into the package (forms/Obj11/...).

Connecting to an embedded database rewrites its document, so the checks at the
end run on throw-away copies.
"""

import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

# Inside soffice the script provider runs this file without __file__; the
# functions it calls there do not need HERE.
HERE = os.path.dirname(os.path.abspath(__file__)) if "__file__" in globals() else ""
MODULE_NAME = "tavrin_sample.py"

CONTACT_ROWS = 200
ORDER_ROWS = 300

# --------------------------------------------------------------------------
# Pictures (plain PNG writer, so the script needs nothing beyond the standard
# library and LibreOffice)
# --------------------------------------------------------------------------


def png(width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows += bytes(pixel(x, y))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def form_picture():
    """A contact-card emblem: a head and shoulders on a blue disc."""
    def pixel(x, y):
        cx, cy = x - 48, y - 48
        if cx * cx + cy * cy > 46 * 46:
            return (255, 255, 255)
        if (cx * cx + (y - 36) ** 2) < 15 * 15:
            return (250, 236, 214)
        if y > 58 and abs(cx) < 30 - max(0, 70 - y):
            return (250, 236, 214)
        return (42, 93, 143)
    return png(96, 96, pixel)


def thumbnail():
    """What a document thumbnail of a table view looks like: a title bar and
    striped rows."""
    def pixel(x, y):
        if y < 24:
            return (42, 93, 143)
        if x % 64 == 0:
            return (200, 200, 200)
        return (255, 255, 255) if (y // 12) % 2 else (232, 240, 248)
    return png(256, 181, pixel)


# --------------------------------------------------------------------------
# Inside soffice: make and check the database (called through the script
# provider; XSCRIPTCONTEXT is provided by it)
# --------------------------------------------------------------------------

FIRST_NAMES = ["Anna", "Bernd", "Carla", "Dmitri", "Elif", "Farid", "Greta", "Hugo", "Ines",
               "Jonas", "Kaori", "Lena", "Mats", "Nora", "Oskar", "Paula", "Quirin", "Rosa"]
LAST_NAMES = ["Becker", "Demir", "Fischer", "Hansen", "Ivanova", "Jung", "Klein", "Lorenz",
              "Meyer", "Novak", "Ortiz", "Peters", "Schulz", "Wagner", "Yilmaz", "Zimmer"]
CITIES = ["Berlin", "Hamburg", "Leipzig", "Dresden", "Bremen", "Kiel", "Jena", "Ulm", "Graz"]


def _property(name, value):
    from com.sun.star.beans import PropertyValue
    prop = PropertyValue()
    prop.Name = name
    prop.Value = value
    return prop


def _sql_text(text):
    return "'" + text.replace("'", "''") + "'"


def _table_statements():
    rng = random.Random(2024)
    statements = [
        'CREATE CACHED TABLE "Contacts" ('
        '"ID" INTEGER GENERATED BY DEFAULT AS IDENTITY(START WITH 0) NOT NULL PRIMARY KEY,'
        '"FirstName" VARCHAR(50), "LastName" VARCHAR(50), "City" VARCHAR(50),'
        '"Birthday" DATE, "Balance" DECIMAL(10,2), "Active" BOOLEAN,'
        '"LastContact" TIMESTAMP, "Score" DOUBLE, "Notes" LONGVARCHAR)',
        'CREATE CACHED TABLE "Orders" ('
        '"OrderID" INTEGER GENERATED BY DEFAULT AS IDENTITY(START WITH 0) NOT NULL PRIMARY KEY,'
        '"ContactID" INTEGER NOT NULL, "OrderDate" DATE, "Amount" DECIMAL(12,2),'
        '"Shipped" BOOLEAN, CONSTRAINT "FK_Orders_Contacts" FOREIGN KEY ("ContactID")'
        ' REFERENCES "Contacts" ("ID"))',
    ]
    for i in range(CONTACT_ROWS):
        first, last = rng.choice(FIRST_NAMES), rng.choice(LAST_NAMES)
        notes = ("NULL" if rng.random() < 0.3 else _sql_text(
            "Met %s at the %s fair; prefers %s." % (first, rng.choice(CITIES),
                                                    rng.choice(["email", "phone", "letters"]))))
        statements.append(
            'INSERT INTO "Contacts" ("FirstName","LastName","City","Birthday","Balance",'
            '"Active","LastContact","Score","Notes") VALUES (%s,%s,%s,\'%04d-%02d-%02d\','
            '%d.%02d,%s,\'2024-%02d-%02d %02d:%02d:00\',%.3f,%s)' % (
                _sql_text(first), _sql_text(last), _sql_text(rng.choice(CITIES)),
                rng.randrange(1940, 2005), rng.randrange(1, 13), rng.randrange(1, 29),
                rng.randrange(-500, 20000), rng.randrange(100),
                rng.choice(["TRUE", "FALSE"]), rng.randrange(1, 13), rng.randrange(1, 29),
                rng.randrange(8, 18), rng.randrange(60), rng.random() * 100, notes))
    for i in range(ORDER_ROWS):
        statements.append(
            'INSERT INTO "Orders" ("ContactID","OrderDate","Amount","Shipped") '
            "VALUES (%d,'2024-%02d-%02d',%d.%02d,%s)" % (
                rng.randrange(CONTACT_ROWS), rng.randrange(1, 13), rng.randrange(1, 29),
                rng.randrange(5, 2500), rng.randrange(100), rng.choice(["TRUE", "FALSE"])))
    statements.append("CHECKPOINT")
    return statements


def _form_document(desktop, form_url, picture_url, ctx):
    """Writes the form as a Writer document: the picture stored in it, a form on
    the Contacts table and three data-bound text fields with their labels."""
    from com.sun.star.awt import Point, Size
    from com.sun.star.text.TextContentAnchorType import AT_PARAGRAPH

    writer = desktop.loadComponentFromURL("private:factory/swriter", "_blank", 0,
                                          (_property("Hidden", True),))
    graphic = ctx.ServiceManager.createInstanceWithContext(
        "com.sun.star.graphic.GraphicProvider", ctx).queryGraphic(
            (_property("URL", picture_url),))
    picture = writer.createInstance("com.sun.star.text.TextGraphicObject")
    picture.Graphic = graphic
    picture.AnchorType = AT_PARAGRAPH
    picture.Size = Size(2540, 2540)
    picture.Name = "Contact emblem"
    text = writer.Text
    text.insertTextContent(text.getEnd(), picture, False)

    form = writer.createInstance("com.sun.star.form.component.Form")
    form.Name = "MainForm"
    form.Command = "Contacts"
    form.CommandType = 0  # a table
    writer.DrawPage.Forms.insertByName("MainForm", form)
    for index, field in enumerate(("FirstName", "LastName", "City")):
        label = writer.createInstance("com.sun.star.form.component.FixedText")
        label.Name = "lbl" + field
        label.Label = field
        box = writer.createInstance("com.sun.star.form.component.TextField")
        box.Name = "txt" + field
        box.DataField = field
        for column, model in ((0, label), (1, box)):
            form.insertByIndex(form.Count, model)
            shape = writer.createInstance("com.sun.star.drawing.ControlShape")
            shape.Control = model
            shape.AnchorType = AT_PARAGRAPH
            writer.DrawPage.add(shape)
            shape.Position = Point(3500 + column * 3200, 500 + index * 900)
            shape.Size = Size(3000 if column else 2800, 700)
    writer.storeToURL(form_url, (_property("FilterName", "writer8"),))
    writer.close(True)


def build_database(target_url, picture_url):
    """Creates the database document at target_url; returns a short report."""
    ctx = XSCRIPTCONTEXT.getComponentContext()  # noqa: F821 (given by the provider)
    manager = ctx.ServiceManager
    desktop = manager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
    form_url = target_url + ".form.odt"
    _form_document(desktop, form_url, picture_url, ctx)

    data_source = manager.createInstanceWithContext(
        "com.sun.star.sdb.DatabaseContext", ctx).createInstance()
    data_source.URL = "sdbc:embedded:hsqldb"
    document = data_source.DatabaseDocument
    document.storeAsURL(target_url, ())

    connection = data_source.getConnection("", "")
    statement = connection.createStatement()
    for sql in _table_statements():
        statement.execute(sql)
    connection.getTables().refresh()

    queries = data_source.QueryDefinitions
    query = manager.createInstanceWithContext("com.sun.star.sdb.QueryDefinition", ctx)
    query.Command = ('SELECT "c"."FirstName", "c"."LastName", SUM("o"."Amount") AS "Total" '
                     'FROM "Contacts" "c" JOIN "Orders" "o" ON "o"."ContactID" = "c"."ID" '
                     'WHERE "c"."City" = \'Berlin\' GROUP BY "c"."FirstName", "c"."LastName"')
    queries.insertByName("Berlin customers", query)

    # The form comes in the way Base imports a form document: copied from a file.
    forms = document.FormDocuments
    forms.insertByName("Contacts form", forms.createInstanceWithArguments(
        "com.sun.star.sdb.DocumentDefinition",
        (_property("Name", "Contacts form"), _property("URL", form_url),
         _property("ActiveConnection", connection))))

    statement.close()
    connection.close()
    document.store()
    document.close(True)
    return "made"


def count_rows(target_url):
    """Opens a database document and reports its row counts, query and forms."""
    ctx = XSCRIPTCONTEXT.getComponentContext()  # noqa: F821
    database_context = ctx.ServiceManager.createInstanceWithContext(
        "com.sun.star.sdb.DatabaseContext", ctx)
    data_source = database_context.getByName(target_url)
    connection = data_source.getConnection("", "")
    counts = []
    for table in ("Contacts", "Orders"):
        result = connection.createStatement().executeQuery(
            'SELECT COUNT(*) FROM "%s"' % table)
        result.next()
        counts.append("%s=%d" % (table, result.getInt(1)))
    counts.append("queries=" + ",".join(data_source.QueryDefinitions.ElementNames))
    counts.append("forms=" + ",".join(data_source.DatabaseDocument.FormDocuments.ElementNames))
    connection.close()
    data_source.DatabaseDocument.close(True)
    return " ".join(counts)


g_exportedScripts = (build_database, count_rows)


# --------------------------------------------------------------------------
# Outside soffice: drive it
# --------------------------------------------------------------------------

class Office:
    """A private headless soffice reached over a pipe; always torn down."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="tavrin-sample-profile-", dir="/tmp")
        self.pipe = "tavrin_sample_%d" % os.getpid()
        self.process = None
        self.context = None

    def __enter__(self):
        import uno
        scripts = os.path.join(self.profile, "user", "Scripts", "python")
        os.makedirs(scripts)
        shutil.copy(os.path.abspath(__file__), os.path.join(scripts, MODULE_NAME))
        self.process = subprocess.Popen(
            ["soffice", "--headless", "--invisible", "--norestore", "--nologo",
             "--nodefault", "--nolockcheck",
             "-env:UserInstallation=" + uno.systemPathToFileUrl(self.profile),
             "--accept=pipe,name=%s;urp;" % self.pipe],
            start_new_session=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + 120
        while True:
            try:
                self.context = resolver.resolve(
                    "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe)
                return self
            except Exception:
                if time.monotonic() > deadline or self.process.poll() is not None:
                    raise SystemExit("soffice did not come up")
                time.sleep(0.5)

    def call(self, function, *args):
        provider = self.context.ServiceManager.createInstanceWithContext(
            "com.sun.star.script.provider.MasterScriptProviderFactory",
            self.context).createScriptProvider("")
        script = provider.getScript(
            "vnd.sun.star.script:%s$%s?language=Python&location=user"
            % (MODULE_NAME, function))
        result, _, _ = script.invoke(tuple(args), (), ())
        return result

    def __exit__(self, *exc):
        try:
            if self.context is not None:
                self.context.ServiceManager.createInstanceWithContext(
                    "com.sun.star.frame.Desktop", self.context).terminate()
        except Exception:
            pass  # a terminating office drops the bridge mid-call
        if self.process is not None:
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                pass
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)
        return False


# ZIP surgery on LibreOffice's package: members are copied as raw records (local
# header, data and data descriptor exactly as LibreOffice wrote them) and only the
# central directory is rebuilt around them.

def _central_directory(package):
    end = package.rindex(b"PK\x05\x06")
    count, size, offset = struct.unpack("<HII", package[end + 10:end + 20])
    entries = []
    position = offset
    for _ in range(count):
        name_length, extra_length, comment_length = struct.unpack(
            "<HHH", package[position + 28:position + 34])
        length = 46 + name_length + extra_length + comment_length
        record = package[position:position + length]
        entries.append({"name": record[46:46 + name_length].decode(), "record": record,
                        "local": struct.unpack("<I", record[42:46])[0]})
        position += length
    entries.sort(key=lambda entry: entry["local"])
    for entry, following in zip(entries, entries[1:] + [None]):
        stop = following["local"] if following else offset
        entry["raw"] = package[entry["local"]:stop]
    return entries, offset


def _new_member(name, data, deflate, dos_time, dos_date):
    """Raw record and central entry for a member written the way LibreOffice
    writes its own: deflated ones with flag bit 3 and a signed data descriptor."""
    name_bytes = name.encode()
    crc = zlib.crc32(data) & 0xFFFFFFFF
    if deflate:
        compressor = zlib.compressobj(6, zlib.DEFLATED, -15)
        packed = compressor.compress(data) + compressor.flush()
        local = (b"PK\x03\x04" + struct.pack("<HHHHHIIIHH", 20, 0x0808, 8, dos_time,
                                             dos_date, 0, 0, 0, len(name_bytes), 0)
                 + name_bytes + packed
                 + b"PK\x07\x08" + struct.pack("<III", crc, len(packed), len(data)))
        flags, method = 0x0808, 8
    else:
        packed = data
        local = (b"PK\x03\x04" + struct.pack("<HHHHHIIIHH", 10, 0x0800, 0, dos_time,
                                             dos_date, crc, len(data), len(data),
                                             len(name_bytes), 0)
                 + name_bytes + packed)
        flags, method = 0x0800, 0
    central = (b"PK\x01\x02" + struct.pack("<HHHHHHIIIHHHHHII", 20, 20 if deflate else 10,
                                           flags, method, dos_time, dos_date, crc,
                                           len(packed), len(data), len(name_bytes), 0, 0,
                                           0, 0, 0, 0) + name_bytes)
    return {"name": name, "raw": local, "record": central}


def with_thumbnail(package, picture):
    entries, _ = _central_directory(package)
    manifest = next(e for e in entries if e["name"] == "META-INF/manifest.xml")
    dos_time, dos_date = struct.unpack("<HH", manifest["record"][12:16])
    old_manifest = zipfile_read(package, "META-INF/manifest.xml")
    line = (b' <manifest:file-entry manifest:full-path="Thumbnails/thumbnail.png"'
            b' manifest:media-type="image/png"/>\n')
    new_manifest = old_manifest.replace(b"</manifest:manifest>", line + b"</manifest:manifest>")
    members = [e for e in entries if e is not manifest]
    members.append(_new_member("Thumbnails/thumbnail.png", picture, False, dos_time, dos_date))
    members.append(_new_member("META-INF/manifest.xml", new_manifest, True, dos_time, dos_date))
    out = bytearray()
    central = bytearray()
    for member in members:
        record = bytearray(member["record"])
        record[42:46] = struct.pack("<I", len(out))
        central += record
        out += member["raw"]
    central_offset = len(out)
    out += central
    out += b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(members), len(members),
                                       len(central), central_offset, 0)
    return bytes(out), central_offset


def zipfile_read(package, name):
    import io
    import zipfile
    with zipfile.ZipFile(io.BytesIO(package)) as archive:
        return archive.read(name)


def describe(package):
    import io
    import zipfile
    lines = []
    with zipfile.ZipFile(io.BytesIO(package)) as archive:
        for info in archive.infolist():
            lines.append("  %-60s %7d %7d %s%s" % (
                info.filename, info.compress_size, info.file_size,
                "deflated" if info.compress_type == 8 else "stored",
                " +descriptor" if info.flag_bits & 8 else ""))
        bad = archive.testzip()
    if bad:
        raise SystemExit("member %s does not read back" % bad)
    return "\n".join(lines)


def main():
    import uno
    work = tempfile.mkdtemp(prefix="tavrin-sample-", dir="/tmp")
    try:
        picture_path = os.path.join(work, "contact-emblem.png")
        with open(picture_path, "wb") as out:
            out.write(form_picture())
        made = os.path.join(work, "Contacts.odb")
        with Office() as office:
            office.call("build_database", uno.systemPathToFileUrl(made),
                        uno.systemPathToFileUrl(picture_path))
            with open(made, "rb") as source:
                original = source.read()
            thumbnailed, central_offset = with_thumbnail(original, thumbnail())
            with_thumb_path = os.path.join(work, "Contacts-with-thumbnail.odb")
            with open(with_thumb_path, "wb") as out:
                out.write(thumbnailed)
            # Connecting rewrites an embedded database: check copies only.
            for label, path in (("Contacts.odb", made),
                                ("Contacts-with-thumbnail.odb", with_thumb_path)):
                check = os.path.join(work, "check-" + label)
                shutil.copy(path, check)
                print("%s: %s" % (label, office.call("count_rows",
                                                     uno.systemPathToFileUrl(check))))
        os.makedirs(os.path.join(HERE, "damaged"), exist_ok=True)
        with open(os.path.join(HERE, "Contacts.odb"), "wb") as out:
            out.write(original)
        with open(os.path.join(HERE, "Contacts-with-thumbnail.odb"), "wb") as out:
            out.write(thumbnailed)
        with open(os.path.join(HERE, "damaged", "Contacts-no-central-directory.odb"),
                  "wb") as out:
            out.write(thumbnailed[:central_offset])
        print("Contacts-with-thumbnail.odb members:")
        print(describe(thumbnailed))
        print("damaged/Contacts-no-central-directory.odb: %d of %d bytes kept"
              % (central_offset, len(thumbnailed)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
