#!/usr/bin/env python3
"""Two converters against one: the same unattended run with ThreadsCount=1 and =2 over the
same files, in interleaved rounds (bench/README.md, "Two converters").

    scalingBench.py --quillon <program> [--rounds N] SOURCE_FOLDER

Outputs go to fresh folders next to the sources' (a RAM file system when the sources are on
one), deleted after the last round. Each round runs both, in turns (the order swaps every
round); the figure is the ratio of one converter's wall time to two converters' per round,
with the median and range, and the CPU time (user + system) of each run.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(command):
    before = os.times()
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = os.times()
    if result.returncode != 0:
        sys.exit(f"failed ({result.returncode}): {' '.join(command)}")
    return wall, (after.children_user - before.children_user) + (after.children_system -
                                                                before.children_system)


def summary(values, digits=2):
    return (f"{statistics.median(values):.{digits}f} "
            f"({min(values):.{digits}f} to {max(values):.{digits}f})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillon", required=True)
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("sources")
    args = parser.parse_args()
    sources = os.path.abspath(args.sources)
    count = sum(len([n for n in names if n.lower().endswith((".ppt", ".pptx"))])
                for _, _, names in os.walk(sources))
    work = tempfile.mkdtemp(prefix="quillon-scaling-", dir=os.path.dirname(sources))
    try:
        def command(threads):
            out = tempfile.mkdtemp(dir=work)
            return [args.quillon, f"-P:Source={sources}/*.ppt?,Subdir=1,Target={out},"
                    f"ThreadsCount={threads},PureConsole=1,LogFile={out}/run.log"]
        run(command(1))  # warm the caches
        walls = {1: [], 2: []}
        cpus = {1: [], 2: []}
        ratios = []
        for index in range(args.rounds):
            order = (1, 2) if index % 2 == 0 else (2, 1)
            times = {t: run(command(t)) for t in order}
            for t in (1, 2):
                walls[t].append(times[t][0])
                cpus[t].append(times[t][1])
            ratios.append(times[1][0] / times[2][0])
        print(f"{count} files, {args.rounds} rounds; median (min to max)")
        for t in (1, 2):
            print(f"ThreadsCount={t}: wall {summary(walls[t], 3)} s, CPU {summary(cpus[t], 3)} s")
        print(f"speed-up, one converter's wall time / two converters': {summary(ratios)}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
