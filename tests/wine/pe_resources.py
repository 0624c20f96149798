#!/usr/bin/env python3
"""Prints the resources of a 32-bit PE file, one line each, for the Wine checks:
  resource <type>/<id>
  version <file version> type <FileType> os <FileOS hex>
  string <name>=<value>          (the version's StringFileInfo)
  dialog <id> caption <text>
Usage: pe_resources.py FILE"""
import struct
import sys

RT_DIALOG, RT_VERSION = 5, 16


def read_pe(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit(f"{path}: not a PE file")
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    if struct.unpack_from("<H", data, optional)[0] != 0x10B:
        sys.exit(f"{path}: not a 32-bit PE file")
    resource_rva = struct.unpack_from("<I", data, optional + 96 + 2 * 8)[0]
    table = optional + optional_size
    spans = []
    for i in range(sections):
        size, rva, raw_size, raw = struct.unpack_from("<IIII", data, table + i * 40 + 8)
        spans.append((rva, max(size, raw_size), raw))

    def at(rva):
        for start, size, raw in spans:
            if start <= rva < start + size:
                return raw + rva - start
        sys.exit(f"{path}: address {rva:#x} outside every section")

    return data, resource_rva, at


def entries(data, directory):
    named, ids = struct.unpack_from("<HH", data, directory + 12)
    for i in range(named + ids):
        name, target = struct.unpack_from("<II", data, directory + 16 + i * 8)
        yield name, target


def resources(path):
    data, rva, at = read_pe(path)
    if rva == 0:
        return data, []
    root = at(rva)
    found = []
    for kind, types in entries(data, root):
        for ident, names in entries(data, root + (types & 0x7FFFFFFF)):
            for _, languages in entries(data, root + (names & 0x7FFFFFFF)):
                item_rva, size = struct.unpack_from("<II", data, root + languages)
                found.append((kind, ident, data[at(item_rva):at(item_rva) + size]))
    return data, found


def utf16z(block, offset):
    end = offset
    while end + 1 < len(block) and block[end:end + 2] != b"\0\0":
        end += 2
    return block[offset:end].decode("utf-16-le"), end + 2


def skip_sz_or_ord(block, offset):
    if block[offset:offset + 2] == b"\xff\xff":
        return offset + 4
    return utf16z(block, offset)[1]


def dialog_caption(block):
    extended = struct.unpack_from("<HH", block, 0) == (1, 0xFFFF)
    offset = 26 if extended else 18
    offset = skip_sz_or_ord(block, offset)  # menu
    offset = skip_sz_or_ord(block, offset)  # class
    return utf16z(block, offset)[0]


def version_lines(block):
    signature = block.find(struct.pack("<I", 0xFEEF04BD))
    fixed = struct.unpack_from("<13I", block, signature)
    ms, ls = fixed[2], fixed[3]
    yield f"version {ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF} type {fixed[9]} os {fixed[8]:#x}"
    # String entries: a header (length, value length, type), a key, padding, the value.
    text_start = block.find("StringFileInfo".encode("utf-16-le"))
    for name in ("CompanyName", "FileDescription", "FileVersion", "OriginalFilename", "ProductName"):
        key = name.encode("utf-16-le") + b"\0\0"
        where = block.find(key, text_start)
        if where < 0:
            continue
        value_at = (where + len(key) + 3) & ~3
        yield f"string {name}={utf16z(block, value_at)[0]}"


def main():
    _, found = resources(sys.argv[1])
    for kind, ident, block in sorted(found, key=lambda r: (r[0], r[1])):
        print(f"resource {kind}/{ident}")
        if kind == RT_VERSION:
            for line in version_lines(block):
                print(line)
        elif kind == RT_DIALOG:
            print(f"dialog {ident} caption {dialog_caption(block)}")


main()
