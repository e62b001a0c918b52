#!/usr/bin/env python3
"""Writes the small self-made seeds of cfbReader_fuzz, pptDocument_fuzz and pptEditScan_fuzz.

pptDocument_fuzz seeds are bare "PowerPoint Document" streams followed by the offset of the
newest edit (the fuzz target wraps them into a compound file); cfbReader_fuzz seeds are whole
compound files. Run from this folder: python3 makePptSeeds.py
"""
import os
import struct

from pptWriter import box, compound, header, rec


def chars(text):
    return rec(0x0FA0, text.encode("utf-16-le"))


def shape(parts):
    return box(0xF004, parts)


def group(shapes):
    return box(0xF003, [shape([rec(0xF00A, bytes(8), 0, 2)])] + shapes)


def slide(shapes):
    return box(0x03EE, [rec(0x03EF, bytes(24), 0, 2), box(0x040C, [box(0xF002, [group(shapes)])])])


def document(slide_list):
    return box(0x03E8, [rec(0x03E9, bytes(40), 0, 1), box(0x0FF0, slide_list, 0),
                        box(0x07D0, [box(0x03FF, [rec(0x0400, struct.pack("<III", 5, 1, 2), 0, 2)])])])


class Stream:
    def __init__(self):
        self.data = b""
        self.pending = {}

    def obj(self, pid, record):
        self.pending[pid] = len(self.data)
        self.data += record

    def edit(self, doc_id, previous=0):
        entries = b"".join(struct.pack("<II", pid | 1 << 20, off) for pid, off in self.pending.items())
        self.pending = {}
        directory = len(self.data)
        self.data += rec(0x1772, entries)
        at = len(self.data)
        self.data += rec(0x0FF5, struct.pack("<IHBBIIIIHHI", 256, 0, 0, 3, previous, directory, doc_id, 9, 1, 0, 0))
        return at


def style():
    # Paragraph runs at levels 0 and 1, the first with bullet flags and a bullet character.
    return rec(0x0FA1, struct.pack("<IHIHH", 2, 0, 0x8F, 1, 0x2022) + struct.pack("<IHI", 4, 1, 0))


def looping():
    """A fast-saved deck whose newest edit names itself as the edit before it."""
    data = deck(True)
    at = struct.unpack("<I", data[-4:])[0]
    return data[:at + 16] + struct.pack("<I", at) + data[at + 20:]


def deck(fast_save):
    s = Stream()
    s.obj(1, document([rec(0x03F3, struct.pack("<IIIII", 2, 0, 2, 256, 0)), header(0), chars("Title\x0bline"),
                       header(1), chars("A\rB\tC"), style()]))
    cell = lambda top, left, text: shape([rec(0xF00A, bytes(8), 1, 2), rec(0xF00F, struct.pack("<iiii", left, top, left + 9, top + 9)),
                                          box(0xF00D, [header(4), rec(0x0FA8, text)])])
    table = box(0xF003, [shape([rec(0xF122, struct.pack("<HI", 0x03A0, 1), 1, 3)]), cell(9, 0, b"c"), cell(0, 0, b"a\x93")])
    s.obj(2, slide([shape([box(0xF00D, [rec(0x0F9E, struct.pack("<I", 0))])]),
                    group([shape([box(0xF00D, [header(4), chars("own text")])])]),
                    shape([box(0xF00D, [rec(0x0F9E, struct.pack("<I", 1))])]), table]))
    first = s.edit(1)
    if not fast_save:
        return s.data + struct.pack("<I", first)
    s.obj(2, slide([shape([box(0xF00D, [header(4), chars("newer")])])]))
    newest = s.edit(1, first)  # before s.data is read: the edit appends to it
    return s.data + struct.pack("<I", newest)


def damaged_list():
    """Two slides; a text atom of the first claims more than the slide list holds, so the list
    goes on at the second slide's record."""
    s = Stream()
    bad = bytearray(chars("First"))
    bad[4:8] = struct.pack("<I", 1000)
    s.obj(1, document([rec(0x03F3, struct.pack("<IIIII", 2, 0, 2, 256, 0)), header(0), bytes(bad),
                       rec(0x03F3, struct.pack("<IIIII", 3, 0, 3, 257, 0)), header(0), chars("Second")]))
    s.obj(2, slide([shape([box(0xF00D, [rec(0x0F9E, struct.pack("<I", 0))])])]))
    s.obj(3, slide([shape([box(0xF00D, [header(4), chars("own text")])])]))
    at = s.edit(1)  # before s.data is read: the edit appends to it
    return s.data + struct.pack("<I", at)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    seeds = {
        "pptDocument_fuzz/one-slide": deck(False),
        "pptDocument_fuzz/fast-saved": deck(True),
        "pptDocument_fuzz/damaged-list": damaged_list(),
        "pptEditScan_fuzz/fast-saved": deck(True),
        "pptEditScan_fuzz/looping": looping(),
        "cfbReader_fuzz/small-and-large": compound([("Current User", b"u" * 60), ("PowerPoint Document", bytes(range(256)) * 20)]),
        "cfbReader_fuzz/mini-only": compound([("A", b"x" * 100), ("B", b"y" * 3000)]),
    }
    for name, data in seeds.items():
        path = os.path.join(here, "corpus", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
