#!/usr/bin/env python3
"""Reads the version resource of a Windows executable (with wrestool from icoutils) and checks
that its file and product versions, as numbers and as text, are VERSION and that its product
name is PRODUCT.

    scripts/check-version-resource.py EXE VERSION PRODUCT
"""
import struct
import subprocess
import sys


def align(offset):
    return (offset + 3) & ~3


def parse(data, offset=0):
    """One block of the resource: (key, value bytes, children)."""
    length, value_length, is_text = struct.unpack_from("<HHH", data, offset)
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_start = align(key_end + 2)
    value_end = value_start + (value_length * 2 if is_text else value_length)
    children = []
    child = align(value_end)
    while child < offset + length:
        children.append(parse(data, child))
        child = align(child + struct.unpack_from("<H", data, child)[0])
    return key, data[value_start:value_end], children


def main(exe, version, product):
    data = subprocess.run(["wrestool", "--extract", "--raw", "--type=16", exe],
                          check=True, stdout=subprocess.PIPE).stdout
    if not data:
        return f"{exe} has no version resource"
    key, fixed, blocks = parse(data)
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if key != "VS_VERSION_INFO" or signature != 0xFEEF04BD:
        return f"{exe}: no VS_VERSION_INFO block"
    strings = {}
    for block_key, _, tables in blocks:
        if block_key == "StringFileInfo":
            for _, _, entries in tables:
                for name, value, _ in entries:
                    strings[name] = value.decode("utf-16-le").rstrip("\0")
    numbers = (version.split(".") + ["0"] * 4)[:4]
    expected = {
        "file version": ".".join(numbers),
        "product version": ".".join(numbers),
        "FileVersion": version,
        "ProductVersion": version,
        "ProductName": product,
    }
    found = {
        "file version": f"{file_ms >> 16}.{file_ms & 0xFFFF}.{file_ls >> 16}.{file_ls & 0xFFFF}",
        "product version": f"{product_ms >> 16}.{product_ms & 0xFFFF}.{product_ls >> 16}.{product_ls & 0xFFFF}",
        **strings,
    }
    for name, value in found.items():
        print(f"{name}: {value}")
    wrong = [name for name in expected if found.get(name) != expected[name]]
    return f"{exe}: wrong {', '.join(wrong)}" if wrong else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip())
    sys.exit(main(*sys.argv[1:]))
