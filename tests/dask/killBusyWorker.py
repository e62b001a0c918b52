#!/usr/bin/env python3
"""Kills (SIGKILL) the worker of the first share of the Dask test's run that has some of its
files done and at least half left: the parent of the converter that runs that share. Prints
"share pid" when it did; prints nothing when the run (the driver's pid) ended first or a
minute went by.

    killBusyWorker.py WORK DRIVER_PID
"""
import os
import signal
import sys
import time


def busy_share(work, shares):
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                args = f.read().split(b"\0")
            with open(f"/proc/{pid}/stat") as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
        except OSError:
            continue
        project = next((a.decode() for a in args if a.endswith(b".batch-quillon")), "")
        if not args[0].endswith(b"quillon") or f"{work}/logs/task-" not in project:
            continue
        share = int(project.rsplit("task-", 1)[1].split(".")[0])
        try:
            with open(f"{work}/logs/task-{share}.jsonl", "rb") as f:
                done = sum(1 for _ in f)
        except OSError:
            continue
        if 5 <= done < shares[share] / 2:
            return share, parent
    return None


def main():
    work, driver = sys.argv[1], int(sys.argv[2])
    with open(f"{work}/shares.txt") as f:
        shares = dict(map(int, line.split()) for line in f)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        try:
            os.kill(driver, 0)
        except ProcessLookupError:
            return
        found = busy_share(work, shares)
        if found:
            os.kill(found[1], signal.SIGKILL)
            print(*found)
            return
        time.sleep(0.01)


if __name__ == "__main__":
    main()
