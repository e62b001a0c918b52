#!/usr/bin/env python3
"""Converts every presentation of a folder (../shared/corpus-public) with two builds of the
program, counts the files converted per format by each, and checks the text of every file that
only the second converts against the file itself: for an Office Open XML file, every paragraph of
every slide part whose data is intact (found by local header, checksum verified) must be in the
text, and every line of the text must come from those parts; for a binary file, every line must
be text of the file's text atoms.

    check.py BEFORE_QUILLON AFTER_QUILLON CORPUS [PASSWORD_FILE]
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


def convert(quillon, corpus, out, passwords):
    log = os.path.join(out, "run.log")
    options = (f"-P:Source={corpus}/*.ppt?,Target={out},Subdir=1,KeepTargetSubdirs=1,"
               f"PureConsole=1,LogFile={log}")
    if passwords:
        options += f",Passwords={passwords}"
    subprocess.run([quillon, options], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    results = {}
    with open(log, encoding="utf-8", errors="replace") as f:
        for line in f:
            state, source, result = line.rstrip("\r\n").split(" => ", 2)
            results[os.path.relpath(source, corpus)] = (state, result)
    return results


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
    return f"{len(lines)} lines; intact slide paragraphs missing: {len(missing)}; lines from elsewhere: {len(foreign)}"


def check_ppt(path, text):
    import olefile
    stream = olefile.OleFileIO(path).openstream("PowerPoint Document").read()
    atoms = []
    at = 0
    while at + 8 <= len(stream):
        _, rtype, length = struct.unpack("<HHI", stream[at:at + 8])
        if rtype in (0x0FA0, 0x0FA8) and at + 8 + length <= len(stream):
            body = stream[at + 8:at + 8 + length]
            atoms.append(body.decode("utf-16-le", "replace") if rtype == 0x0FA0 else body.decode("cp1252", "replace"))
        at += 1
    pool = "\r".join(atoms).replace("\x0b", "\r")
    lines = [l for l in text.splitlines() if l.strip()]
    foreign = [l for l in lines if l not in pool and not l.isdigit()]
    return f"{len(lines)} lines; lines that are no text atom of the file: {len(foreign)}"


def decrypted(path, passwords, work):
    """An encrypted binary file decrypted by msoffcrypto-tool, so its atoms can be read."""
    if not passwords:
        return path
    for password in open(passwords, encoding="utf-8").read().split():
        out = os.path.join(work, "decrypted.ppt")
        done = subprocess.run(["msoffcrypto-tool", "-p", password, path, out],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if done.returncode == 0:
            return out
    return path


def main():
    before, after, corpus = (os.path.abspath(p) for p in sys.argv[1:4])
    passwords = os.path.abspath(sys.argv[4]) if len(sys.argv) > 4 else ""
    with tempfile.TemporaryDirectory() as work:
        old = convert(before, corpus, os.path.join(work, "before"), "")
        new = convert(after, corpus, os.path.join(work, "after"), passwords)
        print("| format | files | converted before | converted after |")
        print("|---|---|---|---|")
        for label, test in (("binary (.ppt)", lambda n: n.endswith(".ppt")),
                            ("Office Open XML", lambda n: not n.endswith(".ppt"))):
            names = [n for n in new if test(n)]
            count = lambda results: sum(results.get(n, ("", ""))[0] == "Success" for n in names)
            print(f"| {label} | {len(names)} | {count(old)} | {count(new)} |")
        print()
        print("| file now converted | check against the file itself |")
        print("|---|---|")
        for name in sorted(new):
            if new[name][0] != "Success" or old.get(name, ("", ""))[0] == "Success":
                continue
            # The text files are in the locale's code page: UTF-8 here.
            text = open(new[name][1], encoding="utf-8", errors="replace").read() \
                if os.path.exists(new[name][1]) else ""
            path = os.path.join(corpus, name)
            if name.endswith(".ppt"):
                verdict = check_ppt(decrypted(path, passwords, work), text)
            else:
                verdict = check_ooxml(path, text)
            print(f"| {name} | {verdict} |")
        still = sorted(n for n in new if new[n][0] != "Success")
        print()
        print(f"Still failing ({len(still)}):")
        for name in still:
            print(f"- {name}: {new[name][1].split(chr(34) + ' ', 1)[-1]}")


if __name__ == "__main__":
    main()
