#!/usr/bin/env python3
"""Merges the JSON logs of the tasks of one conversion.

    cluster/merge-logs.py [--out merged.jsonl] [--failed] LOG...

Keeps for each source the record of its last attempt (the highest "attempt"; of two records of
one attempt the later line; a "Skipped" after a "Success" keeps the "Success"), prints how many sources ended in each state, and with --failed the
failed sources with their messages. Lines that are no JSON (the last line of a log whose writer
was killed while writing it) are counted and skipped. Names that are not valid UTF-8 come as
surrogate escapes and are written back as the same bytes.
"""
import argparse
import json
import sys
from collections import Counter


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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("logs", nargs="+")
    parser.add_argument("--out", help="write the merged records here, one per line")
    parser.add_argument("--failed", action="store_true", help="list the failed sources")
    args = parser.parse_args()

    last, broken = read_records(args.logs)
    out = sys.stdout.buffer
    counts = Counter(record["state"] for record in last.values())
    summary = ", ".join(f"{counts[state]} {state.lower()}" for state in sorted(counts))
    out.write(f"{len(last)} sources: {summary or 'none'}; {broken} broken lines\n".encode())
    if args.failed:
        for record in last.values():
            if record["state"] == "Failure":
                text = f"{record['source']}\t{record['message']}\n"
                out.write(text.encode("utf-8", "surrogateescape"))
    if args.out:
        with open(args.out, "w", encoding="ascii") as merged:
            for record in last.values():
                merged.write(json.dumps(record) + "\n")
    return 1 if counts["Failure"] else 0


if __name__ == "__main__":
    sys.exit(main())
