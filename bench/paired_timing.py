"""Times two commands as whole processes, in turn (A B A B ...), so that a drift in the
machine's speed during the call moves both alike. Each run's wall time is a monotonic clock
around the child, its user and system time and peak memory the kernel's accounting of the
reaped child. Ratios A/B are taken pair by pair and their median is printed."""
import os
import statistics
import subprocess
import time


def run_once(argv, quiet=True):
    """One run of argv: (wall s, user s, sys s, peak MiB, exit code)."""
    out = subprocess.DEVNULL if quiet else None
    start = time.monotonic()
    child = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=out)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.monotonic() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    return wall, usage.ru_utime, usage.ru_stime, usage.ru_maxrss / 1024.0, child.returncode


def paired(a, b, runs, warmup=1, check=True):
    """Runs a and b in turn; returns the list of (a run, b run) pairs after the warm-up. With
    check, a run that exits with a code other than 0 stops the measurement."""
    for _ in range(warmup):
        run_once(a)
        run_once(b)
    pairs = []
    for _ in range(runs):
        pairs.append((run_once(a), run_once(b)))
    for ra, rb in pairs:
        if check and (ra[4] != 0 or rb[4] != 0):
            raise SystemExit("a run failed: exit codes %d and %d" % (ra[4], rb[4]))
    return pairs


def report(pairs, name_a, name_b):
    """Prints the medians of each figure and the median pairwise ratios A/B."""
    def med(values):
        return statistics.median(values)

    rows = [("wall s", 0), ("user s", 1), ("sys s", 2), ("peak MiB", 3)]
    print("%-10s %12s %12s %10s" % ("median", name_a, name_b, "A/B"))
    for label, k in rows:
        a = [p[0][k] for p in pairs]
        b = [p[1][k] for p in pairs]
        ratio = med([x / y for x, y in zip(a, b) if y > 0]) if any(y > 0 for y in b) else float("nan")
        print("%-10s %12.3f %12.3f %10.3f" % (label, med(a), med(b), ratio))
    cpu = med([(p[0][1] + p[0][2]) / (p[1][1] + p[1][2]) for p in pairs if p[1][1] + p[1][2] > 0])
    print("%-10s %12s %12s %10.3f" % ("cpu", "", "", cpu))
    print("(%d pairs, A = %s, B = %s)" % (len(pairs), name_a, name_b))
