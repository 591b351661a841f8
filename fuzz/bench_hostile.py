#!/usr/bin/python3
"""Measures tavrin-repair on hostile packages made here, for the figures the tests
must not assert: scan time against size for packages of fake local headers (a
signature every 30 bytes: 1, 2 and 4 million of them), repair time and peak memory
for fake headers that declare sizes (30, 120 and 480 MB of them), and peak memory for
bombs (members claiming 4 GiB from a few bytes, and from a stream that really inflates
to 256 MiB).

    fuzz/bench_hostile.py [PATH-TO-tavrin-repair]   (default: build/hostile/cli/tavrin-repair)
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_PROGRAM = os.path.join(HERE, "..", "build", "hostile", "cli", "tavrin-repair")


def local_header(name, method, compressed, uncompressed):
    return (b"PK\x03\x04" + struct.pack("<HHHHHIIIHH", 20, 0, method, 0, 0x21, 0, compressed, uncompressed,
                                        len(name), 0) + name)


def stored(name, data):
    return local_header(name, 0, len(data), len(data)) + data


def raw_deflate(data, level=9):
    packer = zlib.compressobj(level, zlib.DEFLATED, -15)
    return packer.compress(data) + packer.flush()


def fake_headers(count, name=b""):
    # Deflated kind with both sizes 0: each sends the scan looking for a data descriptor
    # up to the next header; named ones are also tried for sizing by inflation.
    header = local_header(name, 8, 0, 0)
    return header * (count * 30 // len(header)) + stored(b"mimetype", b"application/vnd.oasis.opendocument.base")


def zeros_stream(size):
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    chunk = bytes(1 << 20)
    out = [packer.compress(chunk) for _ in range(size >> 20)]
    out.append(packer.flush())
    return b"".join(out)


def run(program, args):
    """Wall seconds, peak resident memory (MiB) and exit status of one run, as GNU time
    measures them for that process alone."""
    with tempfile.NamedTemporaryFile("r") as report:
        result = subprocess.run(["/usr/bin/time", "-o", report.name, "-f", "%e %M", program] + args,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        seconds, kib = report.read().split()[-2:]
    return float(seconds), int(kib) / 1024.0, result.returncode


def main():
    program = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else DEFAULT_PROGRAM)
    if not os.access(program, os.X_OK):
        print("tavrin-repair not found at %s; build it first" % program, file=sys.stderr)
        return 2
    work = tempfile.mkdtemp(prefix="tavrin-hostile-bench.")
    try:
        out = os.path.join(work, "out")
        os.mkdir(out)
        for name in (b"", b"a/b.xml"):
            bench_headers(program, work, out, name)
        for garbage in (0, 3):
            bench_sized_headers(program, work, out, garbage)
        return bench_bombs(program, work, out)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def bench_headers(program, work, out, name):
        print("fake local headers without sizes%s, %d bytes apart" %
              (", named " + name.decode() if name else "", 30 + len(name)))
        print("%10s %10s %10s %10s %10s %14s" % ("headers", "MB", "scan s", "repair s", "scan MB/s", "peak RSS MiB"))
        for millions in (1, 2, 4):
            path = os.path.join(work, "headers-%dM.odb" % millions)
            with open(path, "wb") as f:
                f.write(fake_headers(millions * 1000000, name))
            size = os.path.getsize(path) / 1e6
            scan, _, _ = run(program, ["--list", "-q", path])
            repair, peak, status = run(program, ["-q", "--no-media", "-o", out, path])
            print("%10d %10.1f %10.2f %10.2f %10.0f %14.1f%s" % (millions * 1000000, size, scan, repair,
                                                                size / max(scan, 0.01), peak,
                                                                "" if status == 0 else "  (exit %d)" % status))
            os.unlink(path)
        print()


def bench_sized_headers(program, work, out, garbage):
        # Deflated, 100 bytes that inflate to 200, named: each header's data runs into the
        # next headers, which either break the stream at once (no garbage between) or
        # start it on random bytes that may inflate a little first.
        header = local_header(b"a/b.xml", 8, 100, 200)
        print("fake local headers with sizes, %d bytes apart%s" %
              (len(header) + garbage, ", %d random bytes between" % garbage if garbage else ""))
        print("%10s %10s %10s %14s %12s" % ("MB", "repair s", "json s", "peak RSS MiB", "json MiB"))
        noise = os.urandom(1 << 16)
        for megabytes in (30, 120, 480):
            path = os.path.join(work, "sized-%d.odb" % megabytes)
            count = megabytes * 1000000 // (len(header) + garbage)
            with open(path, "wb") as f:
                f.write(stored(b"mimetype", b"application/vnd.oasis.opendocument.base"))
                for start in range(0, count, 1 << 16):
                    block = []
                    for i in range(start, min(count, start + (1 << 16))):
                        at = (i * garbage) % (len(noise) - garbage)
                        block.append(header + noise[at:at + garbage])
                    f.write(b"".join(block))
            repair, peak, status = run(program, ["-q", "--no-media", "-o", out, path])
            with tempfile.NamedTemporaryFile("r") as report:
                started = time.monotonic()
                with open(report.name, "w") as sink:
                    subprocess.run([program, "-q", "--json", "--no-media", "-o", out, path], stdout=sink,
                                   stderr=subprocess.DEVNULL)
                json_seconds = time.monotonic() - started
                json_size = os.path.getsize(report.name) / 1048576.0
            print("%10d %10.2f %10.2f %14.1f %12.2f%s" % (megabytes, repair, json_seconds, peak, json_size,
                                                          "" if status == 0 else "  (exit %d)" % status))
            os.unlink(path)
        print()


def bench_bombs(program, work, out):
        print("bombs: members claiming 4 GiB - 1 bytes")
        base = stored(b"mimetype", b"application/vnd.oasis.opendocument.base")
        cases = [
            ("few bytes", raw_deflate(b"\0" * 1024)),
            ("inflates to 256 MiB", zeros_stream(256 << 20)),
        ]
        print("%22s %12s %10s %14s" % ("stream", "package KB", "repair s", "peak RSS MiB"))
        for label, stream in cases:
            path = os.path.join(work, "bomb.odb")
            with open(path, "wb") as f:
                f.write(base + local_header(b"database/data", 8, len(stream), 0xFFFFFFFF) + stream)
            seconds, peak, _ = run(program, ["-q", "--no-media", "-o", out, path])
            print("%22s %12.1f %10.3f %14.1f" % (label, os.path.getsize(path) / 1024.0, seconds, peak))
        return 0


if __name__ == "__main__":
    sys.exit(main())
