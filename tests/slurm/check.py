#!/usr/bin/env python3
"""The checks of the Slurm test (run.sh), on its scratch folder.

    check.py --work DIR --shards N --phase shares|first|final [--cancelled TASK]
             [--resubmitted TASK]

shares: prints "task count" per task, by the share the driver computes (cluster/shard.py).
first:  after the array's first attempts: every task that was not cancelled converted exactly
        its share, each source once, in its first attempt; the cancelled one a part of its share;
        the one cancelled before it ran (resubmitted later) nothing.
final:  after the requeued and the resubmitted task: every source's work done exactly once, the
        converted text byte-identical to the one-process run, states as in that run; the
        resubmitted task, a new job, has one record per source, of attempt 0.
"""
import argparse
import glob
import json
import os
import sys
from collections import defaultdict

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "cluster"))
import shard  # noqa: E402

problems = []


def check(condition, message):
    if not condition:
        problems.append(message)


def load_records(pattern):
    records = []
    for log in sorted(glob.glob(pattern)):
        with open(log, "rb") as f:
            for number, line in enumerate(f, 1):
                try:
                    record = json.loads(line)
                except ValueError:
                    problems.append(f"{log}:{number}: not JSON: {line[:80]!r}")
                    continue
                record["source"] = record["source"].encode("utf-8", "surrogateescape")
                record["log"] = os.path.basename(log)
                records.append(record)
    return records


def tree(root):
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root)] = f.read()
    return files


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--shards", type=int, required=True)
    parser.add_argument("--phase", required=True, choices=["shares", "first", "final"])
    parser.add_argument("--cancelled", type=int)
    parser.add_argument("--resubmitted", type=int)
    args = parser.parse_args()
    work = os.fsencode(args.work)
    root = os.path.join(work, b"in", b"")

    with open(os.path.join(work, b"sources.txt"), "rb") as f:
        sources = [line.rstrip(b"\n") for line in f]
    share = {s: shard.shard_of(shard.shard_key(s, root), args.shards) for s in sources}
    if args.phase == "shares":
        for task in range(args.shards):
            print(task, sum(1 for s in sources if share[s] == task))
        return 0
    paired = {s for s in sources if b"/pairs/" in s}

    records = load_records(args.work + "/logs/task-*.jsonl")
    by_source = defaultdict(list)
    for r in records:
        by_source[r["source"]].append(r)
        check(r["source"] in share, f"a record of an unknown source {r['source']!r}")
        # The driver's reproduction of the share agrees with the converter's.
        check(r["shard"] == share.get(r["source"]), f"{r['source']!r}: shard {r['shard']}, "
              f"the driver computes {share.get(r['source'])}")
        check(r["log"] == f"task-{r['shard']}.jsonl", f"{r['source']!r} logged by {r['log']}")

    reference = {r["source"]: r for r in load_records(args.work + "/ref.jsonl")}
    check(len(reference) == len(sources), f"the reference run logged {len(reference)} sources")

    for s in sources:
        rs = by_source.get(s, [])
        first = [r for r in rs if r["attempt"] == 0]
        again = [r for r in rs if r["attempt"] > 0]
        mine = share[s] == args.cancelled
        if args.phase == "first" or not mine:
            check(not again, f"{s!r}: records of a later attempt {again}")
        if share[s] == args.resubmitted:
            expected = 0 if args.phase == "first" else 1
            check(len(rs) == expected, f"{s!r}: {len(rs)} records, not {expected}, of the task "
                  f"resubmitted")
        elif not mine:
            check(len(first) == 1, f"{s!r}: {len(first)} records instead of one")
        else:
            check(len(first) <= 1, f"{s!r}: {len(first)} records in the first attempt")
            if args.phase == "final":
                check(len(again) == 1, f"{s!r}: {len(again)} records in the requeued attempt")
        if args.phase == "final" and s not in paired and s in reference:
            succeeded = [r for r in rs if r["state"] == "Success"]
            skipped = [r for r in rs if r["state"] == "Skipped"]
            if reference[s]["state"] == "Success":
                # Converted once: by one attempt, the other finding its text there already. A
                # file finished by a killed attempt after its last record shows only the skip.
                check(len(succeeded) + (0 if succeeded else len(skipped)) == 1,
                      f"{s!r}: converted {len(succeeded)} times, skipped {len(skipped)} times")
            else:
                check(not succeeded and not skipped and rs,
                      f"{s!r} failed in one process, here {[r['state'] for r in rs]}")

    # Sources that meet at one text file were handled by one task.
    for s in paired:
        if s.endswith(b".ppt"):
            check(share[s] == share[s + b"x"], f"{s!r} and its .pptx in different shares")

    if args.phase == "first":
        got = [r for r in records if share.get(r["source"]) == args.cancelled]
        total = sum(1 for s in sources if share[s] == args.cancelled)
        check(0 < len(got) < total, f"the cancelled task logged {len(got)} of {total}")
        print(f"first attempts: {len(records)} records; the cancelled task did {len(got)} of "
              f"{total}")
    else:
        out, ref = tree(os.path.join(work, b"out")), tree(os.path.join(work, b"ref"))
        hidden = [p for p in out if os.path.basename(p).startswith(b".")]
        for p in hidden:
            del out[p]
        check(set(out) == set(ref), f"text files differ: {len(set(out) ^ set(ref))} in one only, "
              f"e.g. {sorted(set(out) ^ set(ref))[:3]}")
        differing = [p for p in set(out) & set(ref) if out[p] != ref[p]]
        check(not differing, f"{len(differing)} text files differ, e.g. {differing[:3]}")
        states = defaultdict(int)
        for r in records:
            states[(r["attempt"], r["state"])] += 1
        print(f"all attempts: {len(records)} records {dict(sorted(states.items()))}; "
              f"{len(out)} text files identical to one process; {len(hidden)} hidden files left")

    for p in problems[:20]:
        print("  " + p, file=sys.stderr)
    if len(problems) > 20:
        print(f"  ... and {len(problems) - 20} more", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
