#!/usr/bin/env python3
"""Writes one large binary PowerPoint deck (deterministic), as decks with embedded media are:
the 40 slides of a generated deck, embedded objects of EMBEDDED_MB in all stored as records of
the "PowerPoint Document" stream itself (as PowerPoint stores OLE objects and sounds), and a
"Pictures" stream of the rest, SIZE_MB in all. A version 4 compound file (4096-byte sectors),
so that its allocation table needs no DIFAT sectors up to 450 MB.

    makeLargePpt.py OUTPUT_FILE [SIZE_MB [EMBEDDED_MB]]     (default 230 and 100)
"""
import os
import random
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from makePptDecks import box, environment, rec, slide_list_texts, slide_record  # noqa: E402

SECTOR = 4096
END, FREE, FATSECT = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD


def document_stream(rng, embedded_bytes):
    stream = bytearray()
    pending = {}
    slides = 40
    texts = []
    for index in range(slides):
        texts += [rec(0x03F3, struct.pack("<IIiII", 10 + index, 0, 2, 256 + index, 0))]
        texts += slide_list_texts(rng, index + 1, 0)
        pending[10 + index] = len(stream)
        stream += slide_record(rng, index + 1, 0)
    # Embedded objects: compressed OLE storages, ten of them, never read by a text reader.
    piece = embedded_bytes // 10
    for i in range(10):
        pending[100 + i] = len(stream)
        stream += rec(0x1011, struct.pack("<I", piece) + rng.randbytes(piece), 1, 0)
    pending[1] = len(stream)
    stream += box(0x03E8, [rec(0x03E9, struct.pack("<iiiiIIHHH", 5760, 4320, 7560, 10080, 1, 2, 0, 1, 0) + bytes(8), 0, 1),
                           environment(), box(0x0FF0, texts, 0)])
    directory = len(stream)
    stream += rec(0x1772, b"".join(struct.pack("<II", pid | 1 << 20, off) for pid, off in sorted(pending.items())))
    edit = len(stream)
    stream += rec(0x0FF5, struct.pack("<IHBBIIIIHHI", 256, 0, 0, 3, 0, directory, 1, 200, 1, 0, 0))
    user = rec(0x0FF6, struct.pack("<IIIHHBBH", 0x14, 0xE391C05F, edit, 0, 0x03F4, 3, 0, 0) + struct.pack("<I", 8))
    return bytes(stream), user


def compound_v4(streams):
    """Streams of 4096 bytes and more only (the small ones padded to that): no mini stream."""
    body, fat, starts = [], [], []
    for name, data in streams:
        data = data.ljust(4096, b"\0") if len(data) < 4096 else data
        n = (len(data) + SECTOR - 1) // SECTOR
        first = len(fat)
        fat += [first + i + 1 for i in range(n - 1)] + [END]
        body.append(data.ljust(n * SECTOR, b"\0"))
        starts.append((name, first, len(data)))
    entries = [("Root Entry", 5, END, 0)] + [(n, 2, s, size) for n, s, size in starts]
    directory = b""
    for i, (name, kind, start, size) in enumerate(entries):
        raw = name.encode("utf-16-le")
        right = i + 1 if 0 < i < len(entries) - 1 else FREE
        child = 1 if i == 0 else FREE
        directory += (raw.ljust(64, b"\0") + struct.pack("<HBBIII", len(raw) + 2, kind, 1, FREE, right, child)
                      + bytes(36) + struct.pack("<IQ", start, size))
    directory = directory.ljust(SECTOR, b"\0")
    dir_start = len(fat)
    fat.append(END)
    body.append(directory)
    per = SECTOR // 4
    count = 1
    while count * per < len(fat) + count:
        count += 1
    if count > 109:
        raise SystemExit("too large for a header-only DIFAT")
    fat_start = len(fat)
    fat += [FATSECT] * count
    table = b"".join(struct.pack("<I", x) for x in fat).ljust(count * SECTOR, b"\xff")
    difat = [fat_start + i for i in range(count)] + [FREE] * (109 - count)
    head = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + bytes(16) + struct.pack("<HHHHH", 0x3E, 4, 0xFFFE, 12, 6)
            + bytes(6) + struct.pack("<IIIIIIIII", 0, count, dir_start, 0, 4096, END, 0, END, 0)
            + b"".join(struct.pack("<I", x) for x in difat))
    return [head.ljust(SECTOR, b"\0")] + body + [table]


def main():
    path = sys.argv[1]
    size = int(sys.argv[2]) << 20 if len(sys.argv) > 2 else 230 << 20
    embedded = int(sys.argv[3]) << 20 if len(sys.argv) > 3 else 100 << 20
    rng = random.Random(20261209)
    stream, user = document_stream(rng, embedded)
    left = max(4096, size - len(stream) - 64 * 1024)
    pictures = b"".join(rng.randbytes(min(64 << 20, left - at)) for at in range(0, left, 64 << 20))
    with open(path, "wb") as out:
        for piece in compound_v4([("Current User", user), ("PowerPoint Document", stream),
                                  ("Pictures", pictures)]):
            out.write(piece)


if __name__ == "__main__":
    main()
