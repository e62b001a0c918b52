#!/usr/bin/env python3
"""Converts every presentation of a folder (../shared/corpus-public) with two builds of the
program, counts the files converted per format by each, and checks the text of every file that
only the second converts against the file itself: for an Office Open XML file, every paragraph of
every slide part whose data is intact (found by local header, checksum verified) must be in the
text, and every line of the text must come from those parts; for a binary file, every line must
be text of the file's text atoms.

    /usr/bin/python3 bench/corpus/check.py BEFORE_QUILLON AFTER_QUILLON CORPUS [PASSWORD_FILE]

(Debian's python3, for olefile.) Both runs get the same options and a UTF-8 locale; the password
file, when given, goes to the second run only, as the first has no such option.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import zlib
from xml.etree import ElementTree

A = "{http://schemas.openxmlformats.org/drawingml/2006/main}"
C = "{http://schemas.openxmlformats.org/drawingml/2006/chart}"


def unescape(field):
    """A log field back to its text: the log writes \\, \\xHH, \\uHHHH and \\UHHHHHHHH."""
    out = bytearray()
    at = 0
    while at < len(field):
        if field[at] == "\\" and at + 1 < len(field):
            kind = field[at + 1]
            width = {"x": 2, "u": 4, "U": 8}.get(kind)
            if kind == "\\":
                out += b"\\"
                at += 2
                continue
            if width and re.fullmatch(r"[0-9A-Fa-f]+", field[at + 2:at + 2 + width] or "-"):
                value = int(field[at + 2:at + 2 + width], 16)
                out += bytes([value]) if kind == "x" else chr(value).encode()
                at += 2 + width
                continue
        out += field[at].encode()
        at += 1
    return out.decode("utf-8", "replace")


def convert(quillon, corpus, out, passwords):
    """Each format in a run of its own, so that twins (a.ppt beside a.pptx) do not claim one
    text file: the run refuses the second of two files that would write the same text."""
    results, notes = {}, {}
    for extension in ("ppt", "pptx", "pptm"):
        target = os.path.join(out, extension)
        log = os.path.join(out, f"{extension}.log")
        options = (f"-P:Source={corpus}/*.{extension},Target={target},Subdir=1,"
                   f"KeepTargetSubdirs=1,PureConsole=1,LogFile={log}")
        if passwords:
            options += f",Passwords={passwords}"
        env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        done = subprocess.run([quillon, options], stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, env=env)
        with open(log, encoding="utf-8", errors="replace") as f:
            for line in f:
                fields = line.rstrip("\r\n").split(" => ")
                state, source, result = fields[0], unescape(fields[1]), unescape(fields[2])
                results[os.path.relpath(source, corpus)] = (state, result)
        for line in done.stderr.decode("utf-8", "replace").splitlines():
            found = re.match(r'Note: "(.*)" was salvaged: (.*)', line)
            if found:
                notes[os.path.relpath(found.group(1), corpus)] = found.group(2)
    return results, notes


def intact_parts(path):
    """The parts of a zip found by local header whose data inflate to their checksum."""
    data = open(path, "rb").read()
    parts = {}
    at = data.find(b"PK\x03\x04")
    while at >= 0 and at + 30 <= len(data):
        flags, method, crc, csize, size, nlen, elen = struct.unpack("<xxxxxxHHxxxxIIIHH", data[at:at + 30])
        name = data[at + 30:at + 30 + nlen].decode("utf-8", "replace")
        start = at + 30 + nlen + elen
        try:
            body = data[start:start + csize] if not flags & 8 else data[start:]
            raw = zlib.decompressobj(-15).decompress(body) if method == 8 else body[:size]
            if not flags & 8 and zlib.crc32(raw) == crc:
                parts[name] = raw
        except zlib.error:
            pass
        at = data.find(b"PK\x03\x04", at + 4)
    return parts


def xml_paragraphs(xml):
    """Each a:p's text (runs and fields joined, breaks as new lines), and chart cache texts."""
    out = []
    try:
        root = ElementTree.fromstring(xml)
    except ElementTree.ParseError:
        return None
    for p in root.iter(A + "p"):
        text = "".join(t.text or "" for t in p.iter(A + "t"))
        if text.strip():
            out.append(text)
    for v in root.iter(C + "v"):
        if v.text and not re.fullmatch(r"[-+0-9.eE]+", v.text):
            out.append(v.text)
    return out


def check_ooxml(path, text):
    parts = intact_parts(path)
    expected = []
    for name, raw in parts.items():
        if re.match(r"ppt/(slides/slide\d+|diagrams/data\d+|charts/chart\d+)\.xml$", name):
            paragraphs = xml_paragraphs(raw)
            if paragraphs is not None:
                expected += paragraphs
    lines = [l for l in text.splitlines() if l.strip()]
    missing = [p for p in expected if p.replace("\n", "").strip() and
               not any(p.split("\n")[0].strip() in l for l in lines)]
    foreign = [l for l in lines if not any(l.strip() in p or p in l for p in expected)]
    return len(lines), missing, foreign


def check_ppt(path, text):
    import olefile
    stream = olefile.OleFileIO(path).openstream("PowerPoint Document").read()
    atoms = []
    at = 0
    while at + 8 <= len(stream):
        _, rtype, length = struct.unpack("<HHI", stream[at:at + 8])
        # Text characters and bytes atoms, and the strings of the headers-and-footers settings.
        if rtype in (0x0FA0, 0x0FA8, 0x0FBA) and at + 8 + length <= len(stream):
            body = stream[at + 8:at + 8 + length]
            atoms.append(body.decode("cp1252", "replace") if rtype == 0x0FA8 else
                         body.decode("utf-16-le", "replace"))
        at += 1
    pool = "\r".join(atoms).replace("\x0b", "\r")

    def stored(piece):
        # A slide-number field is stored as "*" and comes out as the slide's number.
        return (not piece or piece in pool or piece.isdigit() or
                re.sub(r"\d+", "*", piece) in pool)

    lines = [l.strip() for l in text.splitlines() if l.strip()]
    # A table row is one line with its cells between tabs; each cell is a text of its own.
    foreign = [l for l in lines if not all(stored(cell.strip()) for cell in l.split("\t"))]
    return len(lines), foreign


def decrypted(path, passwords, work):
    """An encrypted binary file decrypted by msoffcrypto-tool, so its atoms can be read; None
    when it is encrypted and msoffcrypto-tool cannot decrypt it with any of the passwords."""
    import msoffcrypto
    with open(path, "rb") as f:
        try:
            if not msoffcrypto.OfficeFile(f).is_encrypted():
                return path
        except Exception:
            return path
    for password in open(passwords, encoding="utf-8").read().split() if passwords else []:
        out = os.path.join(work, "decrypted.ppt")
        done = subprocess.run(["msoffcrypto-tool", "-p", password, path, out],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if done.returncode == 0:
            return out
    return None


def verdict(corpus, name, text, passwords, work):
    path = os.path.join(corpus, name)
    if name.endswith(".ppt"):
        plain = decrypted(path, passwords, work)
        if plain is None:
            lines = sum(1 for line in text.splitlines() if line.strip())
            return f"{lines} lines, not checked: msoffcrypto-tool does not decrypt it"
        count, foreign = check_ppt(plain, text)
        return (f"{count} lines, {len(foreign)} not in the file's text atoms" +
                (f" ({'; '.join(repr(l) for l in foreign[:3])})" if foreign else ""))
    count, missing, foreign = check_ooxml(path, text)
    return (f"{count} lines, {len(missing)} intact paragraphs missing, {len(foreign)} lines "
            "from elsewhere" +
            (f" (missing {'; '.join(repr(p) for p in missing[:3])})" if missing else "") +
            (f" (elsewhere {'; '.join(repr(l) for l in foreign[:3])})" if foreign else ""))


def main():
    before, after, corpus = (os.path.abspath(p) for p in sys.argv[1:4])
    passwords = os.path.abspath(sys.argv[4]) if len(sys.argv) > 4 else ""
    with tempfile.TemporaryDirectory() as work:
        old, _ = convert(before, corpus, os.path.join(work, "before"), "")
        new, notes = convert(after, corpus, os.path.join(work, "after"), "")
        runs = [("before", old), ("after", new)]
        if passwords:
            new, notes = convert(after, corpus, os.path.join(work, "passwords"), passwords)
            runs.append(("after, with the passwords", new))
        print("| format | files | " + " | ".join(f"converted {label}" for label, _ in runs) + " |")
        print("|---|---|" + "---|" * len(runs))
        for label, test in (("binary (.ppt)", lambda n: n.endswith(".ppt")),
                            ("Office Open XML", lambda n: not n.endswith(".ppt"))):
            names = [n for n in new if test(n)]
            counts = [sum(results.get(n, ("", ""))[0] == "Success" for n in names)
                      for _, results in runs]
            print(f"| {label} | {len(names)} | " + " | ".join(map(str, counts)) + " |")
        print()
        print("| file now converted | against the file itself | salvage note |")
        print("|---|---|---|")
        for name in sorted(new):
            if new[name][0] != "Success" or old.get(name, ("", ""))[0] == "Success":
                continue
            text = open(new[name][1], encoding="utf-8", errors="replace").read() \
                if os.path.exists(new[name][1]) else ""
            print(f"| {name} | {verdict(corpus, name, text, passwords, work)} | "
                  f"{notes.get(name, '')} |")
        salvaged = sorted(n for n in notes if old.get(n, ("", ""))[0] == "Success")
        if salvaged:
            print()
            print("Converted before too, now with a salvage note:")
            for name in salvaged:
                print(f"- {name}: {notes[name]}")
        still = sorted(n for n in new if new[n][0] != "Success")
        print()
        print(f"Still failing ({len(still)}):")
        for name in still:
            print(f"- {name}: {new[name][1].split(chr(34) + ' ', 1)[-1]}")


if __name__ == "__main__":
    main()
