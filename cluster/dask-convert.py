#!/usr/bin/python3
"""Converts with a Dask cluster: each share of the run is a task that runs the program with
Shard=i, retried by Dask when it fails, and the task logs are merged at the end.

    dask-convert.py --shards N --logs DIR (--scheduler ADDRESS | --local-workers W)
                    [--retries R] [--threads T] [--quillon PATH] PROJECT

PROJECT   a project file naming Source or SourceList and Target, as for one process; its
          relative paths lead from its own folder. IsOverwrite=skip is added after it (the
          project may say otherwise), so that a retried share converts only what its earlier
          attempt did not finish.
--shards  the number of shares (tasks); always the same for one conversion, since a file's
          share depends on it.
--logs    a folder every worker reaches: task-I.jsonl (each share's JSON log, appended by every
          attempt), task-I.batch-quillon (the project the share ran), task-I.out (its output).

A task ends well when the program exits 0 (all done) or 3 (some files failed: a retry would
fail them again; the merge lists them); any other end (could not start, killed, a worker that
died) is retried, up to R times (default 2) besides the retries Dask makes for lost workers.
Two attempts of one share never run at once: each holds a lock on task-I.lock, which the
program inherits, so a retry waits for a converter that outlived its worker. The converter gets
SIGTERM when its worker dies (it then finishes the file in hand and ends). Workers need the
program (--quillon, default quillon on the PATH) and flock locks on the logs folder.

Exit code: the merge's (cluster/merge-logs.py, with --project when the project has a
SourceList): 0 every source done, 1 a source failed or has no record; 2 when a share failed
after all its retries.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time
import uuid

here = os.path.dirname(os.path.abspath(__file__))
# Installed in a folder of the package, where no cache of compiled modules may be left.
sys.dont_write_bytecode = True
sys.path.insert(0, here)
import quillon_project  # noqa: E402


def share_project(project: quillon_project.Project, shard: int, shards: int, logs: str,
                  threads: str) -> str:
    """A share's own project text: its options first (of two lines with one name the first
    counts), then the project's with their paths written out, then defaults."""
    lines = [f"Shard={shard}", f"Shards={shards}", f"JsonLog={logs}/task-{shard}.jsonl",
             "PureConsole=1", "ExitCodes=strict"]
    for line in project.lines:
        name, equals, value = line.partition("=")
        if equals and name.lower() in (key.lower() for key in quillon_project.PATH_OPTIONS):
            value = quillon_project.resolve_option_path(value, os.path.abspath(project.folder))
        lines.append(name + equals + value)
    lines += [f"ThreadsCount={threads}", "IsOverwrite=skip"]
    return "".join(line + "\r\n" for line in lines)


def run_share(shard: int, text: str, logs: str, run: str, quillon: str) -> dict:
    """One attempt of one share, on a worker. Runs only what the worker's Python has: the
    function travels by value, so it imports nothing of the cluster folder."""
    import fcntl
    import shutil
    import subprocess
    import time

    marks = os.path.join(logs, f".dask-{run}")
    os.makedirs(marks, exist_ok=True)
    done = os.path.join(marks, f"task-{shard}.done")
    with open(os.path.join(logs, f"task-{shard}.lock"), "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        # A share this run finished already (its result was lost with a worker) is not run
        # again.
        if os.path.exists(done):
            with open(done) as f:
                return {"shard": shard, "exit": int(f.read()), "attempt": -1, "seconds": 0.0}
        # The attempt's number: the first free mark of this run's share.
        attempt = 0
        while True:
            try:
                os.close(os.open(os.path.join(marks, f"task-{shard}.attempt-{attempt}"),
                                 os.O_CREAT | os.O_EXCL | os.O_WRONLY))
                break
            except FileExistsError:
                attempt += 1
        project = os.path.join(logs, f"task-{shard}.batch-quillon")
        with open(project + ".tmp", "w", encoding="utf-8", newline="") as f:
            f.write(f"Attempt={attempt}\r\n" + text)
        os.replace(project + ".tmp", project)
        command = [quillon, project]
        if shutil.which("setpriv"):
            # The converter ends with its worker rather than converting beside the retry.
            command = ["setpriv", "--pdeathsig", "TERM"] + command
        started = time.monotonic()
        with open(os.path.join(logs, f"task-{shard}.out"), "ab") as out:
            status = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT, pass_fds=(lock.fileno(),)).returncode
        if status not in (0, 3):
            raise RuntimeError(f"share {shard}, attempt {attempt}: the program ended with "
                               f"{status}; see {logs}/task-{shard}.out")
        # Marked under the lock: an attempt waiting for it finds the share done.
        with open(done + ".tmp", "w") as f:
            f.write(str(status))
        os.replace(done + ".tmp", done)
    return {"shard": shard, "exit": status, "attempt": attempt,
            "seconds": time.monotonic() - started}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("project")
    parser.add_argument("--shards", type=int, required=True)
    parser.add_argument("--logs", required=True)
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--scheduler", help="the address of a running Dask scheduler")
    where.add_argument("--local-workers", type=int, help="start a LocalCluster of this many")
    parser.add_argument("--retries", type=int, default=2)
    parser.add_argument("--threads", default="auto", help="ThreadsCount of each share's run")
    parser.add_argument("--quillon", default="quillon")
    args = parser.parse_args()
    if args.shards < 1:
        parser.error("--shards must be 1 or more")

    from dask.distributed import Client, LocalCluster, as_completed

    project = quillon_project.Project(args.project)
    logs = os.path.abspath(args.logs)
    os.makedirs(logs, exist_ok=True)
    quillon = args.quillon
    if os.sep in quillon:
        quillon = os.path.abspath(quillon)
    run = uuid.uuid4().hex

    if args.local_workers:
        cluster = LocalCluster(n_workers=args.local_workers, threads_per_worker=1,
                               processes=True, dashboard_address=None)
        client = Client(cluster)
    else:
        cluster, client = None, Client(args.scheduler)
    started = time.monotonic()
    failed = []
    try:
        futures = [client.submit(run_share, shard,
                                 share_project(project, shard, args.shards, logs, args.threads),
                                 logs, run, quillon, key=f"quillon-share-{shard}-{run}",
                                 retries=args.retries, pure=False)
                   for shard in range(args.shards)]
        for future in as_completed(futures):
            try:
                result = future.result()
                print(f"share {result['shard']}: exit {result['exit']} "
                      f"({result['seconds']:.1f} s)", flush=True)
            except Exception as e:  # a share that failed after all its retries
                failed.append(str(e))
                print(f"share failed: {e}", file=sys.stderr, flush=True)
            # Released at once, so the scheduler never runs a finished share again for it.
            future.release()
    finally:
        client.close()
        if cluster:
            cluster.close()
    print(f"{args.shards} shares in {time.monotonic() - started:.1f} s", flush=True)

    shutil.rmtree(os.path.join(logs, f".dask-{run}"), ignore_errors=True)

    merge = [sys.executable, os.path.join(here, "merge-logs.py"), "--failed"]
    if project.option("SourceList"):
        merge += ["--project", args.project]
    logged = [os.path.join(logs, f"task-{shard}.jsonl") for shard in range(args.shards)]
    logged = [log for log in logged if os.path.exists(log)]
    merged = subprocess.run(merge + logged).returncode if logged else 2
    return 2 if failed else merged


if __name__ == "__main__":
    sys.exit(main())
