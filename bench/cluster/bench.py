#!/usr/bin/env python3
"""The measurements of bench/cluster/run.sh, on its scratch folder with Slurm running.

    bench.py QUILLON WORK ROUNDS
"""
import filecmp
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def project(path, lines):
    with open(path, "w") as f:
        f.write("".join(f"{name}={value}\r\n" for name, value in lines))


def timed(command):
    """Wall seconds and CPU seconds (user + system) of a command and its children."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    subprocess.run(command, check=False, stdout=subprocess.DEVNULL)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def same_tree(a, b):
    compared = filecmp.dircmp(a, b)
    if compared.left_only or compared.right_only or compared.diff_files or compared.funny_files:
        return False
    return all(same_tree(os.path.join(a, d), os.path.join(b, d)) for d in compared.common_dirs)


def one_process(quillon, work, target):
    shutil.rmtree(target, ignore_errors=True)
    p = os.path.join(work, "one.batch-quillon")
    project(p, [("Source", f"{work}/in/*.ppt?"), ("Subdir", "True"), ("Target", target),
                ("ThreadsCount", "2"), ("PureConsole", "1")])
    return timed([quillon, p])


def slurm_array(quillon, work, target):
    """Wall seconds from submitting to the end of the array, and the tasks' CPU seconds."""
    shutil.rmtree(target, ignore_errors=True)
    logs = os.path.join(work, "logs")
    shutil.rmtree(logs, ignore_errors=True)
    cpu_file = os.path.join(work, "task-cpu.txt")
    if os.path.exists(cpu_file):
        os.remove(cpu_file)
    # The task's converter under bash's own timer: user and system seconds of the program.
    wrapper = os.path.join(work, "timed-quillon")
    with open(wrapper, "w") as f:
        f.write(f"#!/bin/bash\nTIMEFORMAT='%R %U %S'\n{{ time {quillon} \"$@\" ; }} 2>>{cpu_file}\n")
    os.chmod(wrapper, 0o755)
    p = os.path.join(work, "array.batch-quillon")
    project(p, [("Source", f"{work}/in/*.ppt?"), ("Subdir", "True"), ("Target", target),
                ("IsOverwrite", "skip"), ("ThreadsCount", "1")])
    env = dict(os.environ, QUILLON=wrapper)
    start = time.monotonic()
    job = subprocess.run(["sbatch", "--parsable", "--array=0-3", "--cpus-per-task=1",
                          f"--chdir={work}", f"--output={work}/task-%a.out",
                          os.path.join(REPO, "cluster/quillon-array.sbatch"), p, "4", logs],
                         env=env, check=True, capture_output=True, text=True).stdout.strip()
    while subprocess.run(["squeue", "-h", "-j", job.split(";")[0], "-o", "%i"],
                         capture_output=True, text=True).stdout.strip():
        time.sleep(0.05)
    wall = time.monotonic() - start
    cpu, own = 0.0, 0.0
    with open(cpu_file) as f:
        for line in f:
            real, user, system = line.split()
            own += float(real)
            cpu += float(user) + float(system)
    return wall, cpu, own


def main():
    quillon, work, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
    with open(os.path.join(work, "sources.txt"), "rb") as f:
        files = sum(1 for _ in f)

    one, array = [], []
    for _ in range(rounds):
        # Taking turns, so that the load of the machine falls on both alike.
        one.append(one_process(quillon, work, os.path.join(work, "one")))
        array.append(slurm_array(quillon, work, os.path.join(work, "array")))
        if not same_tree(os.path.join(work, "one"), os.path.join(work, "array")):
            sys.exit("the array's text files differ from one process's")

    # A task's fixed cost: the program on an empty list, start to end.
    empty = os.path.join(work, "empty.txt")
    open(empty, "w").close()
    p = os.path.join(work, "empty.batch-quillon")
    project(p, [("SourceList", empty), ("Target", os.path.join(work, "none")),
                ("PureConsole", "1")])
    fixed = [timed([quillon, p]) for _ in range(20)]

    # Listing: a walk of a large tree against reading a list of the same files. "Shards" so
    # large that almost nothing is accepted leaves the listing alone to be measured.
    tree = os.path.join(work, "tree")
    listing = os.path.join(work, "tree.txt")
    count = 100_000
    with open(listing, "w") as f:
        for i in range(count):
            folder = os.path.join(tree, f"f{i % 100}", f"g{i // 100 % 10}")
            os.makedirs(folder, exist_ok=True)
            path = os.path.join(folder, f"deck-{i}.pptx")
            open(path, "w").close()
            f.write(path + "\n")
    shared = [("Target", os.path.join(work, "none")), ("PureConsole", "1"),
              ("Shards", "1000000000"), ("Shard", "0")]
    walk_p, list_p = os.path.join(work, "walk.batch-quillon"), os.path.join(work, "list.batch-quillon")
    project(walk_p, [("Source", f"{tree}/*.ppt?"), ("Subdir", "True")] + shared)
    project(list_p, [("SourceList", listing), ("SourceRoot", tree)] + shared)
    walks = [timed([quillon, walk_p]) for _ in range(5)]
    lists = [timed([quillon, list_p]) for _ in range(5)]

    med = statistics.median
    ow, oc = med(w for w, _ in one), med(c for _, c in one)
    aw, ac = med(w for w, _, _ in array), med(c for _, c, _ in array)
    tasks_own = med(o for _, _, o in array)
    fw, fc = med(w for w, _ in fixed), med(c for _, c in fixed)
    ww, wc = med(w for w, _ in walks), med(c for _, c in walks)
    lw, lc = med(w for w, _ in lists), med(c for _, c in lists)
    per_file = (oc - fc) / files
    print(f"files: {files}; rounds: {rounds} (medians)")
    print(f"one process, ThreadsCount=2:    wall {ow:6.2f} s  CPU {oc:6.2f} s")
    print(f"Slurm array, 4 x ThreadsCount=1: wall {aw:6.2f} s  CPU {ac:6.2f} s"
          f"  (wall {aw / ow:.2f}x, CPU {ac / oc:.2f}x of one process)")
    print(f"  the 4 tasks' own wall time adds up to {tasks_own:.2f} s (2 run at a time on 2 cores): "
          f"about {aw - tasks_own / 2:.2f} s of the array's wall is Slurm's submitting, "
          f"scheduling and starting")
    print("text files identical to one process's in every round")
    print(f"task fixed cost (empty list):     wall {fw * 1000:6.1f} ms CPU {fc * 1000:6.1f} ms")
    print(f"per file (one process's CPU less its fixed cost): {per_file * 1000:.3f} ms")
    print(f"listing {count} files: walk wall {ww:.3f} s CPU {wc:.3f} s; "
          f"list wall {lw:.3f} s CPU {lc:.3f} s ({(wc - fc) / max(lc - fc, 1e-9):.1f}x CPU)")
    print(f"  per entry: walk {(wc - fc) / count * 1e6:.2f} us, list {(lc - fc) / count * 1e6:.2f} us")


if __name__ == "__main__":
    main()
