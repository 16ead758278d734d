#!/usr/bin/env python3
"""Writes the hand-made part of the bad-input corpus: cabinets that gcab will
not make (entry names that leave the unpack folder, a decompression bomb) and
damaged copies of a good cabinet.

    craft_cabs.py <output folder> <good cabinet>
"""
import os
import struct
import sys
import zlib

BLOCK = 32768


def cabinet(entries, folder_blocks=None, compression=0):
    """A one-folder cabinet. entries: (name bytes, size, offset) with the
    folder's data given as a list of (compressed bytes, unpacked size) blocks;
    or, when folder_blocks is None, (name bytes, data bytes) stored as they are."""
    if folder_blocks is None:
        data = b""
        table = []
        for name, content in entries:
            table.append((name, len(content), len(data)))
            data += content
        folder_blocks = [(data[i:i + BLOCK], len(data[i:i + BLOCK])) for i in range(0, len(data), BLOCK)]
        if not folder_blocks:
            folder_blocks = [(b"", 0)]
        entries = table
    files = b"".join(
        struct.pack("<IIHHHH", size, offset, 0, 0x5A21, 0, 0x20) + name + b"\0" for name, size, offset in entries)
    header_size = 36
    folder_size = 8
    data_start = header_size + folder_size + len(files)
    blocks = b"".join(struct.pack("<IHH", 0, len(packed), unpacked) + packed for packed, unpacked in folder_blocks)
    total = data_start + len(blocks)
    header = b"MSCF" + struct.pack("<IIIIIBBHHHHH", 0, total, 0, header_size + folder_size, 0, 3, 1, 1, len(entries),
                                   0, 0x1234, 0)
    folder = struct.pack("<IHH", data_start, len(folder_blocks), compression)
    return header + folder + files + blocks


def zero_blocks(count):
    """MSZIP blocks of 32 KiB of zeros each, every block a complete deflate stream."""
    squeeze = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed = b"CK" + squeeze.compress(bytes(BLOCK)) + squeeze.flush()
    return [(packed, BLOCK)] * count


def main():
    out, good = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    readme = (b"readme.txt", b"A file unpacked before the bad entry.\r\n")
    named = {
        "traversal.cab": [readme, (b"..\\..\\..\\..\\kelvane-escape.txt", b"escaped\r\n")],
        "traversal-slash.cab": [readme, (b"sub/../../../../kelvane-escape.txt", b"escaped\r\n")],
        "absolute.cab": [readme, (b"\\kelvane-absolute.txt", b"absolute\r\n")],
        "drive.cab": [readme, (b"C:\\kelvane-drive.txt", b"drive\r\n")],
        "drive-relative.cab": [readme, (b"C:kelvane-drive.txt", b"drive\r\n")],
        "unc.cab": [readme, (b"\\\\localhost\\c$\\kelvane-unc.txt", b"unc\r\n")],
        "device.cab": [readme, (b"COM1.ocx", b"device\r\n")],
        "device-nul.cab": [readme, (b"sub\\nul.dll", b"device\r\n")],
        "stream.cab": [readme, (b"readme.txt:hidden", b"stream\r\n")],
        "duplicate.cab": [(b"twice.dll", b"first\r\n"), (b"TWICE.dll", b"second\r\n")],
        "neither.cab": [readme],
    }
    for name, entries in named.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(cabinet(entries, compression=0))

    # 256 MiB of zeros in about 400 KiB: refused by its stated size.
    count = (256 << 20) // BLOCK
    with open(os.path.join(out, "bomb.cab"), "wb") as f:
        f.write(cabinet([(b"zeros.bin", count * BLOCK, 0)], zero_blocks(count), compression=1))
    # A small entry at the end of the same data: each entry is small, but the
    # library would unpack everything before it to get there.
    with open(os.path.join(out, "bomb-offset.cab"), "wb") as f:
        f.write(cabinet([(b"readme.txt", 16, 0), (b"tail.dll", 16, count * BLOCK - 16)], zero_blocks(count),
                        compression=1))

    with open(good, "rb") as f:
        content = f.read()
    with open(os.path.join(out, "truncated.cab"), "wb") as f:
        f.write(content[:len(content) // 2])
    # The first data block's deflate stream made invalid (block type 3 is reserved).
    data_start = struct.unpack_from("<I", content, 36)[0]
    damaged = bytearray(content)
    payload = data_start + 8 + 2  # after the block header and "CK"
    for i in range(payload, min(payload + 64, len(damaged))):
        damaged[i] = 0xFF
    with open(os.path.join(out, "corrupt.cab"), "wb") as f:
        f.write(bytes(damaged))
    with open(os.path.join(out, "not-a-cabinet.cab"), "wb") as f:
        f.write(b"This is a text file with the extension of a cabinet.\r\n" * 20)


if __name__ == "__main__":
    main()
