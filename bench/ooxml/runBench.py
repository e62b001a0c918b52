#!/usr/bin/env python3
"""Times whole processes on the same files in the same run and prints the tables of
bench/README.md. The commands of one file set run in turn, round after round, so a change in
the machine's load touches all of them alike; each figure is the best of --repeat rounds (wall
time), peak memory the largest resident set of those rounds (the kernel's accounting of the
finished child).

    runBench.py --tools <build folder> --node <node_modules parent> --decks <folder>
                --corpus <corpus-public folder> [--repeat N] [--quillon <program>]
                [--outputs <folder>]

Outputs go to fresh folders under --outputs (default: /dev/shm, a RAM file system, where there
is one): on this project's machines ext4 creates a file in a folder where many were deleted a
moment before in up to a millisecond, which would measure the file system's state rather than
the programs. Outputs are deleted only after all rounds, for the same reason.
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time


class Timer:
    """Runs commands; a "{out}" argument becomes a fresh empty folder for each run, so outputs
    are new files, as a conversion's targets are."""

    def __init__(self, outputs):
        self.root = tempfile.mkdtemp(prefix="quillon-bench-", dir=outputs)

    def run(self, template):
        out = tempfile.mkdtemp(dir=self.root)
        command = [arg.replace("{out}", out) for arg in template]
        # GNU time reports the program's own peak: the kernel's figure for the child counts
        # the forked Python it began as (about 14 MiB, whatever the program).
        peak_file = os.path.join(self.root, "peak")
        start = time.perf_counter()
        process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak_file] + command,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        printed = process.stdout.read()
        status = process.wait()
        elapsed = time.perf_counter() - start
        if status != 0:
            sys.exit(f"failed ({status}): {' '.join(command[:3])} ...")
        with open(peak_file) as f:
            peak_kib = int(f.read().split()[-1])
        return elapsed, peak_kib / 1024.0, printed.decode().strip()

    def rounds(self, commands, repeat):
        """{name: command} -> {name: (best seconds, peak MiB, last output)}, in turns."""
        results = {name: (None, 0.0, "") for name in commands}
        for _ in range(repeat):
            for name, command in commands.items():
                elapsed, peak, output = self.run(command)
                best, top, _ = results[name]
                results[name] = (elapsed if best is None else min(best, elapsed),
                                 max(top, peak), output)
        return results

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tools", required=True)
    parser.add_argument("--node", required=True)
    parser.add_argument("--decks", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--quillon", help="the quillon program, for its unattended run")
    parser.add_argument("--outputs", default="/dev/shm" if os.path.isdir("/dev/shm") else None)
    args = parser.parse_args()

    driver = os.path.join(args.tools, "outlineDriver")
    floor = os.path.join(args.tools, "inflateFloor")
    office = [shutil.which("node"), os.path.join(os.path.dirname(__file__), "officeparserAll.js")]
    os.environ["NODE_PATH"] = os.path.join(args.node, "node_modules")
    timer = Timer(args.outputs)

    corpus = sorted(glob.glob(os.path.join(args.corpus, "**", "*.pptx"), recursive=True))
    decks = sorted(glob.glob(os.path.join(args.decks, "deck-*.pptx")))
    sets = [("corpus-public .pptx", corpus), ("generated decks", decks)]

    rows = []
    for name, files in sets:
        commands = {
            "driver": [driver, "{out}"] + files,
            "reading": [driver, "--no-save", "{out}"] + files,
            "officeparser": office + files,
            "floor": [floor] + files,
        }
        folder = None
        if args.quillon:
            # The unattended run searches a folder: one of links to exactly these files.
            folder = tempfile.mkdtemp(prefix="quillon-bench-source-")
            for index, path in enumerate(files):
                os.symlink(os.path.abspath(path),
                           os.path.join(folder, f"{index:04}-{os.path.basename(path)}"))
            for threads in (1, 2):
                commands[f"run{threads}"] = [
                    args.quillon,
                    f"-P:Source={folder}/*.ppt?,Target={{out}},Subdir=0,ThreadsCount={threads},"
                    f"PureConsole=1,LogFile={{out}}/run.log"]
        results = timer.rounds(commands, args.repeat)
        if folder:
            shutil.rmtree(folder, ignore_errors=True)
        rows.append((name, len(files), results))

    print("| files | count | driver files/s | reading only files/s | officeparser files/s "
          "| floor files/s | driver vs officeparser | driver / floor time "
          "| reading only / floor time | peak MiB driver / officeparser / floor |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for name, n, r in rows:
        q, rd, p, f = r["driver"], r["reading"], r["officeparser"], r["floor"]
        print(f"| {name} | {n} | {n / q[0]:.0f} | {n / rd[0]:.0f} | {n / p[0]:.0f} "
              f"| {n / f[0]:.0f} | {p[0] / q[0]:.1f}x | {q[0] / f[0]:.2f}x | {rd[0] / f[0]:.2f}x "
              f"| {q[1]:.0f} / {p[1]:.0f} / {f[1]:.0f} |")
        print(f"<!-- {name}: driver '{q[2]}', reading only '{rd[2]}', officeparser '{p[2]}', "
              f"floor '{f[2]}' -->")
    if args.quillon:
        print()
        print("| files | converters | quillon run files/s | vs officeparser | run / floor time "
              "| peak MiB |")
        print("|---|---|---|---|---|---|")
        for name, n, r in rows:
            p, f = r["officeparser"], r["floor"]
            for threads in (1, 2):
                u = r[f"run{threads}"]
                print(f"| {name} | {threads} | {n / u[0]:.0f} | {p[0] / u[0]:.1f}x "
                      f"| {u[0] / f[0]:.2f}x | {u[1]:.0f} |")

    # The same deck with and without 50 MB of pictures, read 100 times in one process each, so
    # the process start does not hide the per-file cost.
    times = 100
    heavy = os.path.join(args.decks, "pictures-50mb.pptx")
    light = os.path.join(args.decks, "pictures-none.pptx")
    pictures = timer.rounds({"with": [driver, "{out}"] + [heavy] * times,
                             "without": [driver, "{out}"] + [light] * times}, args.repeat)
    with_pictures, without = pictures["with"], pictures["without"]
    print()
    print("| deck (20 slides), read 100 times in one process | seconds | peak MiB |")
    print("|---|---|---|")
    print(f"| {os.path.getsize(heavy) >> 20} MB with pictures | {with_pictures[0]:.3f} "
          f"| {with_pictures[1]:.0f} |")
    print(f"| {os.path.getsize(light) >> 10} KB without pictures | {without[0]:.3f} "
          f"| {without[1]:.0f} |")
    print(f"| ratio | {with_pictures[0] / without[0]:.2f}x | |")
    timer.close()


if __name__ == "__main__":
    main()
