#!/usr/bin/env python3
"""Reads the application manifest back out of a Windows program and checks
what real Windows does with it: the execution level it asks for, the
supportedOS entries from Vista to 11, and no DPI awareness (the programs'
layouts are in pixels; the system must scale them).  Wine honours none of
this, so it is checked in the file itself.

    check_manifest.py EXE asInvoker|requireAdministrator
"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_MANIFEST = 24
MANIFEST_ID = 1  # the manifest a program is started with
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
}


def fail(text):
    print(f"FAIL: {text}")
    sys.exit(1)


def sections(pe):
    pe_at = struct.unpack_from("<I", pe, 0x3C)[0]
    if pe[pe_at:pe_at + 4] != b"PE\0\0":
        fail("not a PE file")
    count, optional_size = struct.unpack_from("<H12xH", pe, pe_at + 6)
    optional = pe_at + 24
    magic = struct.unpack_from("<H", pe, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva, _ = struct.unpack_from("<II", pe, directories + 2 * 8)
    table = optional + optional_size
    found = []
    for i in range(count):
        _, vsize, rva, raw_size, raw_at = struct.unpack_from("<8sIIII", pe, table + 40 * i)
        found.append((rva, max(vsize, raw_size), raw_at))
    return resource_rva, found


def file_offset(rva, found):
    for start, size, raw_at in found:
        if start <= rva < start + size:
            return rva - start + raw_at
    fail(f"address {rva:#x} is in no section")


def entries(pe, base, at):
    named, ids = struct.unpack_from("<12xHH", pe, base + at)
    for i in range(named + ids):
        name, target = struct.unpack_from("<II", pe, base + at + 16 + 8 * i)
        yield name, target


def manifest_of(pe):
    resource_rva, found = sections(pe)
    if resource_rva == 0:
        fail("no resources")
    base = file_offset(resource_rva, found)
    for type_id, type_dir in entries(pe, base, 0):
        if type_id != RT_MANIFEST:
            continue
        for name_id, name_dir in entries(pe, base, type_dir & 0x7FFFFFFF):
            if name_id != MANIFEST_ID:
                continue
            _, data_entry = next(entries(pe, base, name_dir & 0x7FFFFFFF))
            data_rva, size = struct.unpack_from("<II", pe, base + data_entry)
            at = file_offset(data_rva, found)
            return pe[at:at + size]
    fail("no manifest resource 1")


def main():
    exe, level = sys.argv[1], sys.argv[2]
    with open(exe, "rb") as f:
        text = manifest_of(f.read())
    try:
        root = ET.fromstring(text)
    except ET.ParseError as error:
        fail(f"{exe}: the manifest is no well-formed XML: {error}")
    levels = [e.get("level") for e in root.iter("{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")]
    if levels != [level]:
        fail(f"{exe}: execution level {levels}, not [{level!r}]")
    oses = {e.get("Id") for e in root.iter("{urn:schemas-microsoft-com:compatibility.v1}supportedOS")}
    missing = [name for guid, name in SUPPORTED_OS.items() if guid not in oses]
    if missing:
        fail(f"{exe}: no supportedOS entry for Windows {', '.join(missing)}")
    if any(e.tag.endswith(("}dpiAware", "}dpiAwareness")) for e in root.iter()):
        fail(f"{exe}: the manifest declares DPI awareness")
    print(f"ok:   {exe} (manifest: {level}, Vista to 11, no DPI awareness)")


if __name__ == "__main__":
    main()
