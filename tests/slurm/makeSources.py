#!/usr/bin/env python3
"""Makes the sources of the Slurm test: copies of the small sample presentations under distinct
names in nested folders, a few names that are not valid UTF-8 or not ASCII, and pairs of sources
that meet at one text file (talk.ppt beside talk.pptx, the same bytes). Prints every path, one
per line, as bytes.

    makeSources.py CORPUS OUT COUNT
"""
import os
import shutil
import sys


def main():
    corpus, out, count = os.fsencode(sys.argv[1]), os.fsencode(sys.argv[2]), int(sys.argv[3])
    samples = []
    for folder, _, names in os.walk(corpus):
        for name in sorted(names):
            path = os.path.join(folder, name)
            ext = os.path.splitext(name)[1].lower()
            if ext in (b".ppt", b".pptx") and os.path.getsize(path) <= 64 * 1024:
                samples.append((path, ext))
    samples.sort()
    if not samples:
        sys.exit("no small presentations in " + sys.argv[1])

    made = []

    def copy(sample, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copyfile(sample, path)
        made.append(path)

    pairs = 20
    for k in range(pairs):
        sample, _ = samples[k % len(samples)]
        for ext in (b".ppt", b".pptx"):
            copy(sample, os.path.join(out, b"pairs", b"p%d" % (k % 4), b"same-%d%s" % (k, ext)))
    for n in range(count - 2 * pairs):
        sample, ext = samples[n % len(samples)]
        if n % 100 == 7:
            name = b"caf\xe9-%d%s" % (n, ext)  # Latin-1, not UTF-8
        elif n % 100 == 8:
            name = "präsentation-%d".encode() % n + ext
        else:
            name = b"deck-%d%s" % (n, ext)
        copy(sample, os.path.join(out, b"d%d" % (n % 8), b"s%d" % (n // 8 % 12), name))
    for path in made:
        sys.stdout.buffer.write(path + b"\n")


if __name__ == "__main__":
    main()
