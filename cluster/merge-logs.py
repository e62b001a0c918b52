#!/usr/bin/env python3
"""Merges the JSON logs of the tasks of one conversion.

    merge-logs.py [--out merged.jsonl] [--failed] [--expect LIST | --project PROJECT] LOG...

Keeps for each source the record of its last attempt (the highest "attempt"; of two records of
one attempt the later line, so a task resubmitted as a new job, whose attempts count from 0
again, wins by its place; a "Skipped" after a "Success" keeps the "Success"), prints how many
sources ended in each state, and with --failed the failed sources with their messages. Lines
that are no JSON (the last line of a log whose writer was killed while writing it) are counted
and skipped. Names that are not valid UTF-8 come as surrogate escapes and are written back as
the same bytes.

With --expect LIST (a source list, read and resolved as the converter reads it) or --project
PROJECT (its SourceList), every source of the list that has no record is printed as
"missing<TAB>path": a task that has not run yet, was lost or was cancelled.

Exit code: 0 every source converted (or skipped); 1 a source failed or, when the sources were
named, has no record.
"""
import argparse
import json
import os
import sys
from collections import Counter

# Installed in a folder of the package, where no cache of compiled modules may be left.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quillon_project  # noqa: E402


def read_records(paths):
    last, broken = {}, 0
    for path in paths:
        with open(path, "rb") as log:
            for line in log:
                try:
                    record = json.loads(line)
                except ValueError:
                    broken += 1
                    continue
                kept = last.get(record["source"])
                if kept is None or record["attempt"] >= kept["attempt"]:
                    # A later attempt that found the text there does not hide who wrote it.
                    if not (kept and kept["state"] == "Success" and record["state"] == "Skipped"):
                        last[record["source"]] = record
    return last, broken


def expected_sources(args):
    """The list's sources and the note about its refused lines; None without a list."""
    list_path = args.expect
    if args.project:
        list_path = quillon_project.Project(args.project).path_option("SourceList")
        if not list_path:
            sys.exit(f"merge-logs: {args.project} names no SourceList to expect")
    if not list_path:
        return None, ""
    sources, refused = quillon_project.list_sources(list_path)
    note = ""
    if refused:
        note = (f"; {len(refused)} lines of {list_path} name no file (the converter fails each "
                f"as {list_path}:LINE), the first line {refused[0]}")
    return sources, note


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("logs", nargs="+")
    parser.add_argument("--out", help="write the merged records here, one per line")
    parser.add_argument("--failed", action="store_true", help="list the failed sources")
    expect = parser.add_mutually_exclusive_group()
    expect.add_argument("--expect", metavar="LIST", help="the source list every task read")
    expect.add_argument("--project", help="the project whose SourceList every task read")
    args = parser.parse_args()

    last, broken = read_records(args.logs)
    expected, note = expected_sources(args)
    out = sys.stdout.buffer
    counts = Counter(record["state"] for record in last.values())
    summary = ", ".join(f"{counts[state]} {state.lower()}" for state in sorted(counts))
    out.write(f"{len(last)} sources: {summary or 'none'}; {broken} broken lines\n".encode())
    missing = []
    if expected is not None:
        missing = [s for s in dict.fromkeys(expected) if s not in last]
        out.write(f"{len(set(expected))} sources expected: {len(missing)} without a record"
                  f"{note}\n".encode())
        for source in missing:
            out.write(f"missing\t{source}\n".encode("utf-8", "surrogateescape"))
    if args.failed:
        for record in last.values():
            if record["state"] == "Failure":
                text = f"{record['source']}\t{record['message']}\n"
                out.write(text.encode("utf-8", "surrogateescape"))
    if args.out:
        with open(args.out, "w", encoding="ascii") as merged:
            for record in last.values():
                merged.write(json.dumps(record) + "\n")
    return 1 if counts["Failure"] or missing else 0


if __name__ == "__main__":
    sys.exit(main())
