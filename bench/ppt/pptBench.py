#!/usr/bin/env python3
"""Times the engine's .ppt reader against catppt (one process per file) and Apache POI's
extractor (one warm JVM) on the same files, and prints the table of bench/README.md.

    pptBench.py --driver <pptTextDriver> --classes <folder of PoiPptText.class>
                --classpath <POI jars> [--repeat N] FOLDER...
"""
import argparse
import glob
import os
import subprocess
import sys
import time


def run_all(command, repeat):
    """Best wall time of one process over all files."""
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best, result.stderr.decode().strip()


def run_each(program, files, repeat):
    """Best wall time of one process per file, all files in turn."""
    best = None
    for _ in range(repeat):
        start = time.perf_counter()
        for name in files:
            subprocess.run(program + [name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver", required=True)
    parser.add_argument("--classes", required=True)
    parser.add_argument("--classpath", required=True)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("sets", nargs="+", help="name=folder")
    args = parser.parse_args()

    print("| files | count | quillon, one process | quillon, process per file | catppt, process "
          "per file | POI, warm JVM | quillon (one process) vs catppt | quillon (per file) vs "
          "catppt | quillon (one process) vs POI |")
    print("|---|---|---|---|---|---|---|---|---|")
    for item in args.sets:
        name, folder = item.split("=", 1)
        files = sorted(glob.glob(os.path.join(folder, "**", "*.ppt"), recursive=True))
        if not files:
            sys.exit(f"no .ppt files in {folder}")
        ours, counts = run_all([args.driver] + files, args.repeat)
        ours_each = run_each([args.driver], files, args.repeat)
        catppt = run_each(["catppt"], files, args.repeat)
        poi = subprocess.run(["java", "-cp", args.classes + ":" + args.classpath, "PoiPptText",
                              str(max(args.repeat, 3))] + files,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True)
        poi_seconds, poi_read, poi_failed, _ = poi.stdout.decode().split()
        poi_seconds = float(poi_seconds)
        n = len(files)
        ms = lambda seconds: f"{seconds * 1000 / n:.3f} ms/file"
        print(f"| {name} | {n} | {ms(ours)} | {ms(ours_each)} | {ms(catppt)} | {ms(poi_seconds)} "
              f"| {catppt / ours:.1f}x | {catppt / ours_each:.1f}x | {poi_seconds / ours:.1f}x |")
        print(f"<!-- {name}: quillon {counts}; POI read {poi_read}, failed {poi_failed} -->")


if __name__ == "__main__":
    main()
