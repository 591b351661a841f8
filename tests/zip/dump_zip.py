#!/usr/bin/python3
"""Reads a ZIP archive with Python's zipfile and prints what it finds, one line per
member, for the C++ tests to check: central directory values, the local header and
data descriptor as they stand in the file, and the decoded data."""
import binascii
import struct
import sys
import zipfile

path = sys.argv[1]
with open(path, 'rb') as f:
    raw = f.read()

with zipfile.ZipFile(path) as archive:
    infos = archive.infolist()
    bad = archive.testzip()
    print('archive members=%d testzip=%s' % (len(infos), 'ok' if bad is None else 'bad'))
    for info in infos:
        at = info.header_offset
        (signature, needed, lflags, lmethod, ltime, ldate, lcrc, lcsize, lusize,
         name_length, extra_length) = struct.unpack('<IHHHHHIIIHH', raw[at:at + 30])
        name_end = at + 30 + name_length
        data_start = name_end + extra_length
        data_end = data_start + info.compress_size
        data = archive.read(info)
        date, time = info.date_time[:3], info.date_time[3:]
        dos = ((date[0] - 1980) << 25 | date[1] << 21 | date[2] << 16
               | time[0] << 11 | time[1] << 5 | time[2] // 2)
        fields = {
            'name': info.orig_filename.encode('utf-8' if info.flag_bits & 0x800 else 'cp437').hex(),
            'lname': raw[at + 30:name_end].hex(),
            'made': '%04x' % (info.create_system << 8 | info.create_version),
            'needed': info.extract_version,
            'flags': info.flag_bits,
            'method': info.compress_type,
            'dos': '%08x' % dos,
            'crc': '%08x' % info.CRC,
            'csize': info.compress_size,
            'usize': info.file_size,
            'extra': info.extra.hex(),
            'comment': len(info.comment),
            'internal': info.internal_attr,
            'attr': '%08x' % info.external_attr,
            'offset': at,
            'lsig': '%08x' % signature,
            'lneeded': needed,
            'lflags': lflags,
            'lmethod': lmethod,
            'ldos': '%08x' % (ldate << 16 | ltime),
            'lcrc': '%08x' % lcrc,
            'lcsize': lcsize,
            'lusize': lusize,
            'lextra': raw[name_end:data_start].hex(),
            'raw': raw[data_start:data_end].hex() if info.compress_size <= 64 else '-',
            'descriptor': raw[data_end:data_end + 16].hex() if info.flag_bits & 8 else '-',
            'datacrc': '%08x' % binascii.crc32(data),
            'data': data.hex() if len(data) <= 4096 else '-',
        }
        print('member ' + ' '.join('%s=%s' % item for item in fields.items()))
