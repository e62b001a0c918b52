#!/usr/bin/env python3
"""Runs quillon over the public sets in each output form and checks and times what it wrote.

compare.py QUILLON CORPUS WORK: WORK holds poi-notes.txt (bench/notes/PoiPptNotes.java) and
officeparser-notes.txt (bench/notes/officeparserNotes.js)."""

import json
import os
import re
import statistics
import subprocess
import sys
import time

import jsonschema

QUILLON, CORPUS, WORK = sys.argv[1:4]
SETS = ["poi", "python-pptx"]
SCHEMA = json.load(open(os.path.join(os.path.dirname(__file__), "../../docs/slides.schema.json")))
WORD = re.compile(r"\w+", re.UNICODE)


def run(folder, name, options):
    """One unattended run over a set; returns {source: target} of the files it converted and
    the wall time."""
    out = os.path.join(WORK, name)
    log = os.path.join(WORK, name + ".log")
    # A new name for a second source of one target (b.ppt, b.pptx), so nothing is lost.
    args = (f"-P:Source={CORPUS}/{folder}/*.ppt?,Target={out},PureConsole=1,ThreadsCount=1,"
            f"IsOverwrite=0,LogFile={log},{options}")
    subprocess.run(["rm", "-rf", out, log], check=True)
    start = time.monotonic()
    subprocess.run([QUILLON, args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.monotonic() - start
    converted = {}
    for line in open(log, encoding="utf-8", errors="surrogateescape"):
        parts = line.rstrip("\r\n").split(" => ")
        if parts[0] == "Success" and len(parts) >= 3:
            converted[parts[1]] = parts[2]
    return converted, elapsed


def words(text):
    return set(w.lower() for w in WORD.findall(text))


def notes_recall(peer, peers_notes, ext):
    """Every word the peer finds in a file's notes against quillon's notes of that file."""
    ours = {}
    for folder in SETS:
        converted, _ = run(folder, "notes-" + folder, "OutputFormat=jsonl,Notes=1")
        for source, target in converted.items():
            if source.endswith(ext):
                ours[source] = "\n".join(
                    json.loads(l)["notes"] for l in open(target, encoding="utf-8"))
    theirs = {}
    for block in open(os.path.join(WORK, peers_notes), encoding="utf-8").read().split("\f")[1:]:
        name, _, text = block.partition("\n")
        theirs[name] = text
    with_notes = missing_files = found = missed = 0
    for name, text in sorted(theirs.items()):
        if not words(text):
            continue
        with_notes += 1
        if name not in ours:
            print(f"  {peer} reads notes of {os.path.basename(name)}, which quillon does not convert")
            missing_files += 1
            continue
        lost = words(text) - words(ours[name])
        found += len(words(text)) - len(lost)
        missed += len(lost)
        if lost:
            print(f"  {os.path.basename(name)}: {len(lost)} of {peer}'s notes words not in ours: "
                  f"{' '.join(sorted(lost)[:12])}")
    print(f"notes ({ext}): {peer} finds notes in {with_notes} files; quillon converts "
          f"{with_notes - missing_files} of them; of {peer}'s {found + missed} distinct notes "
          f"words per file, {found} are in quillon's notes, {missed} are not")


def markdown_and_json():
    for folder in SETS:
        full = "Notes=1,Comments=1,AltText=1,HiddenSlides=mark"
        md, _ = run(folder, "md-" + folder, "OutputFormat=markdown," + full)
        jl, _ = run(folder, "jl-" + folder, "OutputFormat=jsonl," + full)
        bad_md = bad_json = lines = 0
        for source, target in jl.items():
            slides = 0
            for line in open(target, encoding="utf-8", errors="surrogateescape"):
                slides += 1
                lines += 1
                try:
                    jsonschema.validate(json.loads(line), SCHEMA)
                except Exception as error:  # noqa: BLE001 - any failure is reported
                    bad_json += 1
                    print(f"  {source}: {str(error).splitlines()[0]}")
            html = subprocess.run(["cmark", md[source]], capture_output=True, text=True).stdout
            if html.count("<h2>") != slides or "<h1>" in html:
                bad_md += 1
                print(f"  {source}: {html.count('<h2>')} h2 for {slides} slides")
        print(f"{folder}: {len(md)} Markdown files, {bad_md} not one h2 per slide in cmark; "
              f"{len(jl)} JSON Lines files, {lines} lines, {bad_json} invalid against the schema")


def speed(rounds=5):
    for folder in SETS:
        times = {"text": [], "markdown": [], "jsonl": []}
        for _ in range(rounds):
            for form in times:
                times[form].append(run(folder, "speed", "OutputFormat=" + form)[1])
        base = statistics.median(times["text"])
        print(f"{folder}: median of {rounds} runs, text {base:.3f} s, " + ", ".join(
            f"{form} {statistics.median(t):.3f} s ({statistics.median(t) / base:.2f}x)"
            for form, t in times.items() if form != "text"))


notes_recall("POI", "poi-notes.txt", ".ppt")
notes_recall("officeparser", "officeparser-notes.txt", ".pptx")
markdown_and_json()
speed()
