#!/usr/bin/env python3
"""The unattended run against the inflate-only floor alone, outputs on several file systems,
in interleaved rounds: a quicker look than runBench.py at the one ratio of the goal (the run
within 1.5 times the floor's time).

    runVsFloor.py --quillon <program> --floor <inflateFloor> [--rounds N]
                  --outputs NAME=FOLDER [--outputs ...] SOURCE_FOLDER...

Each SOURCE_FOLDER holds the .pptx files (or links to them) of one set. A round runs the
floor once and the run once per outputs folder (a fresh folder inside it each time); the
figure is each run's time over that round's floor time, median and range.
"""
import argparse
import glob
import os
import shutil
import statistics
import subprocess
import tempfile
import time


def timed(command):
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if result.returncode != 0:
        raise SystemExit(f"failed ({result.returncode}): {' '.join(command[:2])} ...")
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillon", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--outputs", action="append", required=True, help="name=folder")
    parser.add_argument("sets", nargs="+")
    args = parser.parse_args()
    outputs = dict(item.split("=", 1) for item in args.outputs)
    roots = {name: tempfile.mkdtemp(prefix="quillon-floor-", dir=folder)
             for name, folder in outputs.items()}
    try:
        for folder in args.sets:
            files = sorted(glob.glob(os.path.join(folder, "*.pptx")))
            ratios = {name: [] for name in outputs}
            for _ in range(args.rounds):
                floor = timed([args.floor] + files)
                for name, root in roots.items():
                    out = tempfile.mkdtemp(dir=root)
                    run = timed([args.quillon, f"-P:Source={folder}/*.ppt?,Target={out},"
                                 f"Subdir=0,PureConsole=1,LogFile={out}/run.log"])
                    ratios[name].append(run / floor)
            for name, values in ratios.items():
                fs = subprocess.run(["stat", "-f", "-c", "%T", outputs[name]],
                                    capture_output=True, text=True).stdout.strip()
                print(f"{folder} ({len(files)} files), outputs on {name} ({fs}): run / floor "
                      f"{statistics.median(values):.2f} ({min(values):.2f} to {max(values):.2f})")
    finally:
        for root in roots.values():
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
