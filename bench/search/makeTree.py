#!/usr/bin/env python3
"""Generates the search benchmarks' tree once (a tree made earlier is kept):

    makeTree.py ROOT

100,000 empty files in 1,000 folders (10 top folders, 9 sub-folders each, 10 below each of
those; 100 files a folder), every tenth named .ppt, .pptx or .pptm, the rest other kinds.
"""
import os
import shutil
import sys

root = sys.argv[1]
if os.path.isfile(os.path.join(root, ".complete")):
    sys.exit(0)
print(f"Generating {root} ...", flush=True)
shutil.rmtree(root, ignore_errors=True)
others = [".txt", ".docx", ".pdf", ".xlsx", ".png", ".odp", ".csv", ".log", ".md"]
matching = [".ppt", ".pptx", ".pptm"]
folders = []
for a in range(10):
    folders.append(f"a{a}")
    for b in range(9):
        folders.append(f"a{a}/b{b}")
        for c in range(10):
            folders.append(f"a{a}/b{b}/c{c}")
assert len(folders) == 1000
n = 0
for folder in folders:
    path = os.path.join(root, folder)
    os.makedirs(path, exist_ok=True)
    for i in range(100):
        # Every tenth file is a presentation; the rest cycle through other kinds.
        ext = matching[n // 10 % 3] if n % 10 == 0 else others[n % 9]
        open(os.path.join(path, f"file{n:06d}{ext}"), "w").close()
        n += 1
open(os.path.join(root, ".complete"), "w").close()
