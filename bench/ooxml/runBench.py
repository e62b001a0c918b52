#!/usr/bin/env python3
"""Times whole processes on the same files in the same run and prints the table of
bench/README.md. Each measurement is the best of --repeat runs (wall time); peak memory is the
largest resident set of those runs, from the kernel's accounting of the finished child.

    runBench.py --tools <build folder> --node <node_modules parent> --decks <folder>
                --corpus <corpus-public folder> [--repeat N]
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time


def measure(command, repeat):
    """A "{out}" argument becomes a fresh empty folder for each run, so outputs are new files,
    as a conversion's targets are (it deletes an old target before it writes)."""
    best, peak, output = None, 0, ""
    template = command
    for _ in range(repeat):
        out = tempfile.mkdtemp(prefix="quillon-bench-")
        command = [arg.replace("{out}", out) for arg in template]
        start = time.perf_counter()
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        printed = process.stdout.read()
        _, status, usage = os.wait4(process.pid, 0)
        elapsed = time.perf_counter() - start
        process.returncode = os.waitstatus_to_exitcode(status)
        if process.returncode != 0:
            sys.exit(f"failed ({process.returncode}): {' '.join(command[:3])} ...")
        best = elapsed if best is None else min(best, elapsed)
        peak = max(peak, usage.ru_maxrss)  # KiB on Linux
        output = printed.decode().strip()
        shutil.rmtree(out, ignore_errors=True)
    return best, peak / 1024.0, output


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tools", required=True)
    parser.add_argument("--node", required=True)
    parser.add_argument("--decks", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--quillon", help="the quillon program, for its unattended run")
    args = parser.parse_args()

    driver = os.path.join(args.tools, "outlineDriver")
    floor = os.path.join(args.tools, "inflateFloor")
    office = [shutil.which("node"), os.path.join(os.path.dirname(__file__), "officeparserAll.js")]
    env_path = os.path.join(args.node, "node_modules")
    os.environ["NODE_PATH"] = env_path

    corpus = sorted(glob.glob(os.path.join(args.corpus, "**", "*.pptx"), recursive=True))
    decks = sorted(glob.glob(os.path.join(args.decks, "deck-*.pptx")))
    sets = [("corpus-public .pptx", corpus), ("generated decks", decks)]

    out = "{out}"
    rows = []
    for name, files in sets:
        if args.quillon:
            # The unattended run searches a folder: one of links to exactly these files.
            folder = tempfile.mkdtemp(prefix="quillon-bench-source-")
            for index, path in enumerate(files):
                os.symlink(os.path.abspath(path),
                           os.path.join(folder, f"{index:04}-{os.path.basename(path)}"))
            run = measure([args.quillon, f"-P:Source={folder}/*.ppt?,Target={out},Subdir=0,"
                           f"ThreadsCount=1,PureConsole=1,LogFile={out}/run.log"], args.repeat)
            shutil.rmtree(folder, ignore_errors=True)
        else:
            run = None
        quillon = measure([driver, out] + files, args.repeat)
        reading = measure([driver, "--no-save", out] + files, args.repeat)
        peer = measure(office + files, args.repeat)
        base = measure([floor] + files, args.repeat)
        n = len(files)
        rows.append((name, n, quillon, reading, peer, base, run))

    print("| files | count | quillon files/s | quillon reading only files/s "
          "| officeparser files/s | inflate floor files/s | quillon vs officeparser "
          "| quillon / floor time | reading only / floor time "
          "| peak MiB quillon / officeparser / floor |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for name, n, q, r, p, f, u in rows:
        print(f"| {name} | {n} | {n / q[0]:.0f} | {n / r[0]:.0f} | {n / p[0]:.0f} "
              f"| {n / f[0]:.0f} | {p[0] / q[0]:.1f}x | {q[0] / f[0]:.2f}x | {r[0] / f[0]:.2f}x "
              f"| {q[1]:.0f} / {p[1]:.0f} / {f[1]:.0f} |")
        print(f"<!-- {name}: quillon '{q[2]}', reading only '{r[2]}', officeparser '{p[2]}', "
              f"floor '{f[2]}' -->")
    if args.quillon:
        print()
        print("| files | quillon unattended run (1 converter) files/s | vs officeparser "
              "| run / floor time | peak MiB |")
        print("|---|---|---|---|---|")
        for name, n, q, r, p, f, u in rows:
            print(f"| {name} | {n / u[0]:.0f} | {p[0] / u[0]:.1f}x | {u[0] / f[0]:.2f}x "
                  f"| {u[1]:.0f} |")

    # The same deck with and without 50 MB of pictures, read 100 times in one process each, so
    # the process start does not hide the per-file cost.
    times = 100
    heavy = os.path.join(args.decks, "pictures-50mb.pptx")
    light = os.path.join(args.decks, "pictures-none.pptx")
    with_pictures = measure([driver, out] + [heavy] * times, args.repeat)
    without = measure([driver, out] + [light] * times, args.repeat)
    print()
    print("| deck (20 slides), read 100 times in one process | seconds | peak MiB |")
    print("|---|---|---|")
    print(f"| {os.path.getsize(heavy) >> 20} MB with pictures | {with_pictures[0]:.3f} "
          f"| {with_pictures[1]:.0f} |")
    print(f"| {os.path.getsize(light) >> 10} KB without pictures | {without[0]:.3f} "
          f"| {without[1]:.0f} |")
    print(f"| ratio | {with_pictures[0] / without[0]:.2f}x | |")


if __name__ == "__main__":
    main()
