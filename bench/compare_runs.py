#!/usr/bin/env python3
"""Sets two runs of wakeweave_bench side by side: the table that ends each run (case, measured, baseline,
ratio, limit), the measured figure's speed-up and each run's ratio against the limit.

    python3 bench/compare_runs.py BEFORE.txt AFTER.txt
"""
import sys


def summary(path):
    """The rows of the table at the end of a run: name -> (measured, baseline, unit, ratio, limit)."""
    rows, inside = {}, False
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("case "):
                inside = True
                continue
            if not inside or not line.startswith("BM_"):
                continue
            fields = line.split()
            if "error:" in fields:
                rows[fields[0]] = None
                continue
            rows[fields[0]] = (float(fields[1]), float(fields[2]), fields[3], float(fields[4].rstrip("x")),
                               float(fields[5].rstrip("x")))
    return rows


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    before, after = summary(argv[1]), summary(argv[2])
    if not before or not after:
        sys.stderr.write("no summary table found in one of the runs\n")
        return 1
    width = max(len(n) for n in list(before) + list(after))
    print(f"{'case':<{width}} {'before':>11} {'after':>11} {'unit':<4} {'speed-up':>9} "
          f"{'ratio before':>13} {'ratio after':>12} {'limit':>6}  after")
    for name in list(before) + [n for n in after if n not in before]:
        b, a = before.get(name), after.get(name)
        if b is None or a is None:
            print(f"{name:<{width}}  {'(error or missing in one run)'}")
            continue
        gain = b[0] / a[0] if a[0] > 0 else float("inf")
        verdict = "within" if a[3] <= a[4] else "OVER"
        print(f"{name:<{width}} {b[0]:>11.3f} {a[0]:>11.3f} {a[2]:<4} {gain:>8.2f}x "
              f"{b[3]:>12.2f}x {a[3]:>11.2f}x {a[4]:>5.1f}x  {verdict}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
