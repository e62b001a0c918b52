#!/usr/bin/env python3
"""One process per file: the unattended run converting one .ppt at a time against catppt on the
same files, an empty unattended run, and every .ppt of the corpus in one process (catppt given
them all, the unattended run a folder of links to them), in interleaved rounds (bench/README.md,
"Start-up").

    startupBench.py [--before <quillon>] --quillon <quillon> [--floor NAME=PROGRAM ...]
                    [--leave-out PATTERN ...] [--files N] [--rounds N] CORPUS

With --leave-out, the third set is run a second time without the files whose names match (the
encrypted ones, which catppt prints nothing of and the run fails without their password, yet
loads the crypto library for).

A floor program (bench/startup/startupFloor.cpp) takes "<file> <folder>" and joins the first
two sets: one process per file, and its start on the empty file.

Each program runs from a private copy of itself, so its usage store and recent list are its
own. A round runs every file once through each program and through catppt, one program after
the other (the order turns every round), and gives the ratio of each program's total to
catppt's; the figures are the median and range of those ratios over the rounds. CPU time is the
user and system time of the children (getrusage); peak memory is GNU time's.
"""
import argparse
import fnmatch
import glob
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def total(commands):
    """Wall and CPU seconds of the commands run one after the other."""
    before = children_cpu()
    start = time.perf_counter()
    for command in commands:
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    return wall, children_cpu() - before


def peak_kib(command):
    """Peak resident set of one run, as GNU time reports it (a child's own accounting would
    count the forked Python before the program replaced it)."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    return int(result.stderr.decode().strip().splitlines()[-1])


def summary(values, digits=2):
    return (f"{statistics.median(values):.{digits}f} "
            f"({min(values):.{digits}f} to {max(values):.{digits}f})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillon", required=True)
    parser.add_argument("--before", help="an older quillon, measured the same way")
    parser.add_argument("--floor", action="append", default=[],
                        help="NAME=PROGRAM: a program run as PROGRAM <file> <folder>")
    parser.add_argument("--leave-out", action="append", default=[],
                        help="a file name pattern: run the third set again without them")
    parser.add_argument("--files", type=int, default=30)
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("corpus")
    args = parser.parse_args()

    every_file = sorted(glob.glob(os.path.join(args.corpus, "**", "*.ppt"), recursive=True))
    files = every_file[:args.files]
    if not files:
        sys.exit(f"no .ppt files in {args.corpus}")
    ram = "/dev/shm" if os.path.isdir("/dev/shm") else None
    work = tempfile.mkdtemp(prefix="quillon-startup-", dir=ram)
    try:
        programs = {"quillon": args.quillon}
        if args.before:
            programs = {"before": args.before, "quillon": args.quillon}
        empty = os.path.join(work, "empty")
        os.mkdir(empty)
        blank = os.path.join(work, "blank.ppt")  # catppt on an empty file: its start-up alone
        open(blank, "wb").close()
        kept = [f for f in every_file
                if not any(fnmatch.fnmatch(os.path.basename(f), p) for p in args.leave_out)]
        without = f"all in one process, without {len(every_file) - len(kept)} left out"
        folders = {"all in one process": every_file}
        if args.leave_out:
            folders[without] = kept
        links = {}
        for set_name, chosen in folders.items():
            links[set_name] = os.path.join(work, f"links{len(links)}")
            os.mkdir(links[set_name])
            for index, path in enumerate(chosen):
                os.symlink(os.path.abspath(path), os.path.join(links[set_name], f"{index:04d}.ppt"))
        sets = {"one file a process": {"catppt": [["catppt", f] for f in files]},
                "empty run": {"catppt": [["catppt", blank]] * len(files)}}
        per_set = {"one file a process": len(files), "empty run": len(files)}
        for set_name, chosen in folders.items():
            sets[set_name] = {"catppt": [["catppt"] + chosen]}
            per_set[set_name] = len(chosen)
        for name, program in programs.items():
            folder = os.path.join(work, name)
            os.mkdir(folder)
            copy = os.path.join(folder, "quillon")
            shutil.copy2(program, copy)
            out = os.path.join(work, name + "-out")
            os.mkdir(out)
            sets["one file a process"][name] = [
                [copy, f"-P:Source={f},Target={out},PureConsole=1"] for f in files]
            sets["empty run"][name] = [
                [copy, f"-P:Source={empty}/*.ppt?,Target={out},PureConsole=1"]] * len(files)
            for set_name in folders:
                sets[set_name][name] = [
                    [copy, f"-P:Source={links[set_name]}/*.ppt,Target={out},PureConsole=1"]]
        for floor in args.floor:
            name, program = floor.split("=", 1)
            out = os.path.join(work, name + "-out")
            os.mkdir(out)
            sets["one file a process"][name] = [[program, f, out] for f in files]
            sets["empty run"][name] = [[program, blank, out]] * len(files)

        for commands in sets.values():
            for command in commands.values():
                total(command)  # warm the caches and make the files beside the programs
        results = {s: {name: {"wall": [], "cpu": [], "ratio": [], "cpu ratio": []}
                       for name in commands} for s, commands in sets.items()}
        for round_index in range(args.rounds):
            for set_name, commands in sets.items():
                order = list(commands)
                if round_index % 2:
                    order.reverse()
                times = {name: total(commands[name]) for name in order}
                peer_wall, peer_cpu = times["catppt"]
                for name, (wall, cpu) in times.items():
                    r = results[set_name][name]
                    r["wall"].append(wall * 1000 / per_set[set_name])
                    r["cpu"].append(cpu * 1000 / per_set[set_name])
                    r["ratio"].append(wall / peer_wall)
                    r["cpu ratio"].append(cpu / peer_cpu if peer_cpu > 0 else float("nan"))

        print(f"{len(files)} files a process, {len(every_file)} in one ({len(kept)} without those "
              f"left out); {args.rounds} rounds; "
              "median (min to max); ms per file (per process for the empty run)")
        print("| what | program | wall ms | CPU ms | wall / catppt | CPU / catppt |")
        print("|---|---|---|---|---|---|")
        for set_name, by_program in results.items():
            for name, r in by_program.items():
                print(f"| {set_name} | {name} | {summary(r['wall'])} | {summary(r['cpu'])} | "
                      f"{summary(r['ratio'])} | {summary(r['cpu ratio'])} |")
        for set_name, commands in sets.items():
            peaks = {name: sorted(peak_kib(c) for c in (command * 9)[:9])[4] / 1024
                     for name, command in commands.items()}
            print(f"peak memory, {set_name}, median of 9: " +
                  ", ".join(f"{name} {mib:.1f} MiB" for name, mib in peaks.items()))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
