#!/usr/bin/env python3
"""The window under load against the same work without a window (bench/README.md, "The window
under load"). Called by bench/window/run.sh:

    windowBench.py --bench WINDOW_BENCH --quillon DIR --tree ROOT --decks FOLDER [--rounds N]

Each round runs every command once, in turn, so a change in the machine's load touches them
alike; outputs go to new folders under --outputs and are deleted after each command. Printed:
the median and the range of each figure, and the median and range of the per-round ratios.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import tempfile

TIME = "/usr/bin/time"


def run(command, env=None):
    """Runs command under GNU time; answers its standard output and (wall, cpu, peak MB)."""
    full = [TIME, "-f", "@@ %e %U %S %M"] + command
    p = subprocess.run(full, capture_output=True, text=True, env=env)
    if p.returncode != 0:
        raise SystemExit(f"failed ({p.returncode}): {' '.join(command)}\n{p.stderr}")
    line = [l for l in p.stderr.splitlines() if l.startswith("@@ ")][-1].split()
    wall, user, system, peak = float(line[1]), float(line[2]), float(line[3]), int(line[4])
    return p.stdout, (wall, user + system, peak / 1024)


def field(text, pattern):
    m = re.search(pattern, text)
    if not m:
        raise SystemExit(f"no '{pattern}' in:\n{text}")
    return float(m.group(1))


def summary(values, unit="", digits=3):
    return (f"{statistics.median(values):.{digits}f}{unit} "
            f"({min(values):.{digits}f} to {max(values):.{digits}f})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", required=True)
    parser.add_argument("--quillon", required=True, help="folder of quillon and its module")
    parser.add_argument("--tree", required=True)
    parser.add_argument("--decks", required=True)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--threads", default="1,2")
    parser.add_argument("--outputs", default="/dev/shm" if os.path.isdir("/dev/shm") else None)
    args = parser.parse_args()
    threads = [t for t in args.threads.split(",") if t]

    # The program keeps its usage store and recent list beside itself: a folder of its own.
    home = tempfile.mkdtemp(prefix="quillon-window-bench-")
    for name in ("quillon", "quillon-window.so"):
        shutil.copy2(os.path.join(args.quillon, name), home)
    exe = os.path.join(home, "quillon")
    source = os.path.join(args.decks, "*.ppt?")
    window_env = dict(os.environ, QT_QPA_PLATFORM="offscreen",
                      DBUS_SESSION_BUS_ADDRESS="disabled:")

    figures = {}

    def add(key, value):
        figures.setdefault(key, []).append(value)

    def target():
        return tempfile.mkdtemp(prefix="out-", dir=args.outputs)

    try:
        for _ in range(args.rounds):
            out, (_, _, peak) = run([args.bench, "list", args.tree])
            add("list window", field(out, r"window list: \d+ rows in ([\d.]+) s"))
            add("list window cpu", field(out, r"window list: .* processor ([\d.]+) s"))
            add("list stall", field(out, r"longest stall ([\d.]+) ms"))
            add("list memory added", field(out, r"memory added by the list: ([\d.]+) MB"))
            add("list search", field(out, r"search alone: \d+ files in ([\d.]+) s"))
            add("list search cpu", field(out, r"search alone: .* processor ([\d.]+) s"))
            add("list peak", peak)
            add("list ratio", figures["list window"][-1] / figures["list search"][-1])
            add("list ratio cpu", figures["list window cpu"][-1] / figures["list search cpu"][-1])
            # Listing the whole tree while converting its 10,000 empty presentations, each of
            # which fails at once: news for the list as fast as the converters can make it.
            for kind in ("window", "unattended"):
                folder = target()
                mode = "run" if kind == "window" else "unattended"
                out, _ = run([args.bench, mode, os.path.join(args.tree, "*.ppt?"), folder + "/",
                              "2"])
                shutil.rmtree(folder, ignore_errors=True)
                add(f"tree {kind}", field(out, r" run: \d+ files in ([\d.]+) s"))
                add(f"tree {kind} cpu", field(out, r" run: .* processor ([\d.]+) s"))
                if kind == "window":
                    add("tree stall", field(out, r"longest stall ([\d.]+) ms"))
            add("tree ratio", figures["tree window"][-1] / figures["tree unattended"][-1])
            add("tree ratio cpu", figures["tree window cpu"][-1] / figures["tree unattended cpu"][-1])
            for n in threads:
                for kind in ("window", "unattended"):
                    folder = target()
                    mode = "run" if kind == "window" else "unattended"
                    out, (_, _, peak) = run([args.bench, mode, source, folder + "/", n])
                    shutil.rmtree(folder, ignore_errors=True)
                    add(f"run {n} {kind}", field(out, r" run: \d+ files in ([\d.]+) s"))
                    add(f"run {n} {kind} cpu", field(out, r" run: .* processor ([\d.]+) s"))
                    add(f"run {n} {kind} peak", peak)
                    if kind == "window":
                        add(f"run {n} stall", field(out, r"longest stall ([\d.]+) ms"))
                for kind, switch, env in (("window", "RunAndClose=1", window_env),
                                          ("unattended", "PureConsole=1", None)):
                    folder = target()
                    _, (wall, cpu, peak) = run(
                        [exe, f"-P:Source={source},Target={folder}/,ThreadsCount={n},{switch}"],
                        env)
                    shutil.rmtree(folder, ignore_errors=True)
                    add(f"program {n} {kind}", wall)
                    add(f"program {n} {kind} cpu", cpu)
                    add(f"program {n} {kind} peak", peak)
                for what in ("run", "program"):
                    for suffix in ("", " cpu"):
                        add(f"{what} {n} ratio{suffix}", figures[f"{what} {n} window{suffix}"][-1] /
                            figures[f"{what} {n} unattended{suffix}"][-1])
    finally:
        shutil.rmtree(home, ignore_errors=True)

    f = figures
    print(f"{args.rounds} rounds; median (range)")
    print()
    print("| listing the 100,000-file tree | window | search alone | ratio (per round) "
          "| processor time ratio | longest stall | memory added by the list | peak memory |")
    print("|---|---|---|---|---|---|---|---|")
    print(f"| until every row is shown | {summary(f['list window'], ' s')} "
          f"| {summary(f['list search'], ' s')} | {summary(f['list ratio'], 'x', 2)} "
          f"| {summary(f['list ratio cpu'], 'x', 2)} | {summary(f['list stall'], ' ms', 1)} "
          f"| {summary(f['list memory added'], ' MB', 1)} | {summary(f['list peak'], ' MB', 1)} |")
    print()
    print("| converting the tree's 10,000 empty presentations (each fails), 2 converters | window "
          "| unattended | ratio (per round) | processor time ratio | longest stall |")
    print("|---|---|---|---|---|---|")
    print(f"| the run (Convert to Idle; Run) | {summary(f['tree window'], ' s')} "
          f"| {summary(f['tree unattended'], ' s')} | {summary(f['tree ratio'], 'x', 2)} "
          f"| {summary(f['tree ratio cpu'], 'x', 2)} | {summary(f['tree stall'], ' ms', 1)} |")
    print()
    print("| converting the decks | converters | window | unattended | ratio (per round) "
          "| processor time ratio | longest stall | peak memory window / unattended |")
    print("|---|---|---|---|---|---|---|---|")
    for n in threads:
        for what, label in (("run", "the run (Convert to Idle; Run)"),
                            ("program", "whole process (RunAndClose=1; PureConsole=1)")):
            stall = summary(f[f"run {n} stall"], " ms", 1) if what == "run" else ""
            print(f"| {label} | {n} | {summary(f[f'{what} {n} window'], ' s')} "
                  f"| {summary(f[f'{what} {n} unattended'], ' s')} "
                  f"| {summary(f[f'{what} {n} ratio'], 'x', 2)} "
                  f"| {summary(f[f'{what} {n} ratio cpu'], 'x', 2)} | {stall} "
                  f"| {statistics.median(f[f'{what} {n} window peak']):.1f} / "
                  f"{statistics.median(f[f'{what} {n} unattended peak']):.1f} MB |")


if __name__ == "__main__":
    main()
