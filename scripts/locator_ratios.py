#!/usr/bin/env python3
"""Runs the locator benchmarks once and prints every case as a ratio to the anchor.

The anchor (Anchor/classify/<n>) is one classifying pass over a line of n units, measured in the
same run as the cases, so the ratios hold on a loaded machine too. Medians of the repetitions are
used (CPU time). The last column is the growth from 16,384 to 65,535 units, per doubling.

    scripts/locator_ratios.py [build/native/bench/tallix_bench] [--repetitions N] [--json FILE]
"""
import argparse
import json
import subprocess
import sys


def run(binary, repetitions):
    command = [binary, "--benchmark_filter=^(Anchor|Locate)/",
               "--benchmark_repetitions=%d" % repetitions,
               "--benchmark_report_aggregates_only=true", "--benchmark_format=json"]
    return json.loads(subprocess.run(command, check=True, capture_output=True, text=True).stdout)


def medians(report):
    times = {}
    for entry in report["benchmarks"]:
        if entry.get("aggregate_name") != "median" and entry.get("run_type") == "aggregate":
            continue
        name = entry.get("run_name", entry["name"])
        family, case, length = name.split("/")
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3}[entry["time_unit"]]
        times[(family + "/" + case, int(length))] = entry["cpu_time"] * scale
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary", nargs="?", default="build/native/bench/tallix_bench")
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--json", help="read this benchmark report instead of running")
    args = parser.parse_args()
    report = json.load(open(args.json)) if args.json else run(args.binary, args.repetitions)
    times = medians(report)
    lengths = sorted({length for _, length in times})
    cases = sorted({case for case, _ in times}, key=lambda c: (not c.startswith("Anchor"), c))
    header = "%-36s" % "case" + "".join("%12s %6s" % ("us@%d" % n, "ratio") for n in lengths)
    print(header + "  per doubling")
    for case in cases:
        row = "%-36s" % case
        for n in lengths:
            t, anchor = times.get((case, n)), times.get(("Anchor/classify", n))
            row += "%12.1f %6.2f" % (t, t / anchor) if t and anchor else "%19s" % "-"
        small, large = times.get((case, 16384)), times.get((case, 65535))
        if small and large:
            row += "  %5.2f" % ((large / small) ** 0.5)
        print(row)


if __name__ == "__main__":
    sys.exit(main())
