#!/usr/bin/env python3
"""The share of each source, as the converter computes it ("Shard", "Shards"):

    cluster/shard.py SHARDS SOURCE_ROOT PATH...     prints "share<TAB>path" per path

The key is the path below the source root (or the file name alone with
KeepTargetSubdirs=False), ":" and "\\" made "_", without the extension of its file name; the
share is the first 8 bytes of its SHA-256, big-endian, modulo SHARDS. Paths are bytes, as the
file system gives them.
"""
import hashlib
import os
import sys


def shard_key(path: bytes, root: bytes, keep_subdirs: bool = True) -> bytes:
    part = path[len(root):] if keep_subdirs and root else os.path.basename(path)
    part = part.replace(b":", b"_").replace(b"\\", b"_")
    folder, slash, name = part.rpartition(b"/")
    dot = name.rfind(b".")
    if dot >= 0:
        name = name[:dot]
    return folder + slash + name


def shard_of(key: bytes, shards: int) -> int:
    return int.from_bytes(hashlib.sha256(key).digest()[:8], "big") % shards


def main():
    shards, root = int(sys.argv[1]), os.fsencode(sys.argv[2])
    if root and not root.endswith(b"/"):
        root += b"/"
    for path in map(os.fsencode, sys.argv[3:]):
        sys.stdout.buffer.write(b"%d\t%s\n" % (shard_of(shard_key(path, root), shards), path))


if __name__ == "__main__":
    main()
