"""Pieces of binary PowerPoint files for the project's generators of test data (fuzz seeds,
benchmark decks): records, containers, text headers and the compound file around the streams.
"""
import struct


def rec(rtype, body=b"", instance=0, version=0):
    return struct.pack("<HHI", instance << 4 | version, rtype, len(body)) + body


def box(rtype, children, instance=0):
    return rec(rtype, b"".join(children), instance, 0xF)


def header(text_type):
    return rec(0x0F9F, struct.pack("<I", text_type))


def compound(streams):
    """A version 3 compound file; streams below 4096 bytes go to the mini stream."""
    ss, end, free = 512, 0xFFFFFFFE, 0xFFFFFFFF
    mini, minifat, starts = b"", [], []
    for name, data in streams:
        if len(data) >= 4096:
            starts.append(None)
            continue
        first = len(mini) // 64
        n = (len(data) + 63) // 64
        minifat += [first + i + 1 if i + 1 < n else end for i in range(n)]
        mini += data.ljust(n * 64, b"\0")
        starts.append(first)
    body, fat = [], []

    def chain(blob):
        n = (len(blob) + ss - 1) // ss
        first = len(fat)
        for i in range(n):
            fat.append(first + i + 1 if i + 1 < n else end)
            body.append(blob[i * ss:(i + 1) * ss].ljust(ss, b"\0"))
        return first if n else end

    minifat_start = chain(b"".join(struct.pack("<I", x) for x in minifat).ljust(ss, b"\xff"))
    mini_start = chain(mini)
    for i, (name, data) in enumerate(streams):
        if starts[i] is None:
            starts[i] = chain(data)
    entries = [("Root Entry", 5, mini_start, len(mini))] + [(n, 2, starts[i], len(d)) for i, (n, d) in enumerate(streams)]
    directory = b""
    for i, (name, kind, start, size) in enumerate(entries):
        raw = name.encode("utf-16-le")
        right = i + 1 if 0 < i < len(entries) - 1 else free
        child = 1 if i == 0 and len(entries) > 1 else free
        directory += (raw.ljust(64, b"\0") + struct.pack("<HBBIII", len(raw) + 2, kind, 1, free, right, child)
                      + bytes(36) + struct.pack("<IQ", start, size))
    dir_start = chain(directory.ljust(((len(directory) + ss - 1) // ss) * ss, b"\0"))
    # The FAT goes after everything else; it describes itself too.
    per = ss // 4
    fat_count = 1
    while fat_count * per < len(fat) + fat_count:
        fat_count += 1
    if fat_count > 109:
        raise SystemExit("deck too large for a header-only DIFAT")
    fat_start = len(fat)
    fat += [0xFFFFFFFD] * fat_count
    table = b"".join(struct.pack("<I", x) for x in fat).ljust(fat_count * ss, b"\xff")
    difat = [fat_start + i for i in range(fat_count)] + [free] * (109 - fat_count)
    head = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + bytes(16) + struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6)
            + bytes(6) + struct.pack("<IIIIIIIII", 0, fat_count, dir_start, 0, 4096, minifat_start, 1, end, 0)
            + b"".join(struct.pack("<I", x) for x in difat))
    return head + b"".join(body) + table
