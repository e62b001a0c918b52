#!/usr/bin/env python3
"""Writes N binary PowerPoint decks (deterministic): 20 to 60 slides each with a title, a bulleted
body at three levels, a text box, a group and every fifth slide a 4 x 3 table; every deck saved
in three edits (a full save, then two fast saves that replace some slides), so a reader that
ignores the persist directory sees old text too.

    makePptDecks.py OUTPUT_FOLDER N
"""
import os
import random
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fuzz"))
from pptWriter import box, compound, header, rec  # noqa: E402  (the shared file writer)

WORDS = ("quarterly revenue growth market share customer retention pipeline forecast budget "
         "margin headcount roadmap launch region partner channel supply risk owner review "
         "milestone target metric survey result plan action decision summary").split()


def text_atom(text):
    if all(ord(c) < 256 for c in text):
        return rec(0x0FA8, text.encode("latin-1"))
    return rec(0x0FA0, text.encode("utf-16-le"))


def style(levels, lengths):
    runs = b"".join(struct.pack("<IHI", n, level, 0) for level, n in zip(levels, lengths))
    return rec(0x0FA1, runs + struct.pack("<IHI", sum(lengths), 0, 0))


def shape(parts, kind=1):
    return box(0xF004, [rec(0xF00A, struct.pack("<II", 1024, 0x0A00), kind, 2)] + parts)


def group(shapes):
    return box(0xF003, [shape([rec(0xF009, bytes(16), 0, 1)], 0)] + shapes)


def anchor(left, top):
    return rec(0xF00F, struct.pack("<iiii", left, top, left + 100, top + 40))


def sentence(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n)).capitalize()


def slide_record(rng, index, version):
    shapes = [shape([box(0xF00D, [rec(0x0F9E, struct.pack("<I", 0))])]),
              shape([box(0xF00D, [rec(0x0F9E, struct.pack("<I", 1))])]),
              shape([anchor(10, 400), box(0xF00D, [header(4), text_atom(f"Note {index}.{version}: " + sentence(rng, 8))])])]
    shapes.append(group([shape([anchor(0, 0), box(0xF00D, [header(4), text_atom(sentence(rng, 4))])]),
                         shape([anchor(0, 50), box(0xF00D, [header(4), text_atom(sentence(rng, 4))])])]))
    if index % 5 == 0:
        cells = [shape([anchor(c * 100, r * 40), box(0xF00D, [header(4), text_atom(sentence(rng, 2))])])
                 for r in range(4) for c in range(3)]
        table = shape([rec(0xF122, struct.pack("<HI", 0x03A0, 1), 1, 3)], 0)
        shapes.append(box(0xF003, [table] + cells[::-1]))
    drawing = box(0x040C, [box(0xF002, [rec(0xF008, struct.pack("<II", len(shapes), 1024)), group(shapes)])])
    return box(0x03EE, [rec(0x03EF, struct.pack("<iBBBBBBBBIIHH", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80000000, 0, 1, 0), 0, 2), drawing])


def slide_list_texts(rng, index, version):
    title = f"Slide {index}: " + sentence(rng, 4) + f" (v{version})"
    paragraphs = [sentence(rng, rng.randint(4, 12)) for _ in range(rng.randint(3, 7))]
    levels = [min(i % 3, 2) for i in range(len(paragraphs))]
    body = "\r".join(paragraphs)
    lengths = [len(p) + 1 for p in paragraphs]
    lengths[-1] -= 1
    return [header(0), text_atom(title), header(1), text_atom(body), style(levels, lengths)]


def environment():
    """The font list; readers that lay text out want at least one font."""
    font = "Arial".encode("utf-16-le").ljust(64, b"\0") + bytes(4)
    return box(0x03F2, [box(0x07D5, [rec(0x0FB7, font)])])


def deck(rng):
    slides = rng.randint(20, 60)
    stream = bytearray()
    previous = 0
    texts = {}
    for version in range(3):
        pending = {}
        changed = range(slides) if version == 0 else rng.sample(range(slides), max(1, slides // 4))
        for index in changed:
            texts[index] = slide_list_texts(rng, index + 1, version)
            pending[10 + index] = len(stream)
            stream += slide_record(rng, index + 1, version)
        slide_list = []
        for index in range(slides):
            slide_list.append(rec(0x03F3, struct.pack("<IIiII", 10 + index, 0, 2, 256 + index, 0)))
            slide_list += texts[index]
        pending[1] = len(stream)
        stream += box(0x03E8, [rec(0x03E9, struct.pack("<iiiiIIHHH", 5760, 4320, 7560, 10080, 1, 2, 0, 1, 0) + bytes(8), 0, 1),
                               environment(), box(0x0FF0, slide_list, 0)])
        directory = len(stream)
        stream += rec(0x1772, b"".join(struct.pack("<II", pid | 1 << 20, off) for pid, off in sorted(pending.items())))
        edit = len(stream)
        stream += rec(0x0FF5, struct.pack("<IHBBIIIIHHI", 256, 0, 0, 3, previous, directory, 1, 10 + slides, 1, 0, 0))
        previous = edit
    user = rec(0x0FF6, struct.pack("<IIIHHBBH", 0x14, 0xE391C05F, previous, 0, 0x03F4, 3, 0, 0) + struct.pack("<I", 8))
    return compound([("Current User", user), ("PowerPoint Document", bytes(stream))])


def main():
    folder, count = sys.argv[1], int(sys.argv[2])
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(20261208)
    for i in range(count):
        with open(os.path.join(folder, f"deck-{i:03d}.ppt"), "wb") as out:
            out.write(deck(rng))


if __name__ == "__main__":
    main()
