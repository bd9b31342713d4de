#!/usr/bin/python3
"""Turns camera_info_bench's JSON output into the tables of bench/README.md.

Usage: summarize.py BENCH_OUTPUT.json
Uses the medians of repeated runs (--benchmark_repetitions); the spread is
(slowest - fastest) / median over the repetitions, which the JSON output
holds unless --benchmark_report_aggregates_only was given. The one check:
the renderer's median is not above StyledWriter's at any camera count; the
cases where it is are named, and the exit status is then 1.
"""
import json
import sys

CAMERA_COUNTS = (10, 1000, 10000)


def load(path):
    data = json.load(open(path))
    medians, times = {}, {}
    for run in data["benchmarks"]:
        name = run["run_name"]
        if run.get("aggregate_name") == "median":
            medians[name] = run
        elif run.get("run_type") == "iteration":
            times.setdefault(name, []).append(run["real_time"])
    return data["context"], medians, times


def spread(times, name, median):
    runs = times.get(name)
    if not runs or len(runs) < 2:
        return "?"
    return f"{(max(runs) - min(runs)) / median:.0%}"


def main(path):
    context, runs, times = load(path)
    repetitions = max((len(t) for t in times.values()), default=0)
    print(f"Machine: {context['num_cpus']} x {context['mhz_per_cpu']} MHz, "
          f"{context.get('library_build_type', '?')} Google Benchmark library, "
          f"run {context['date']}, medians of {repetitions} repetitions\n")
    print("| texts | cameras | renderCameraReport | StyledWriter | speed-up "
          "| ns per camera (ours) | allocated / report size (ours, StyledWriter) "
          "| spread of repetitions (ours, StyledWriter) |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    slower = []
    for texts in ("Realistic", "EscapeHeavy"):
        for cameras in CAMERA_COUNTS:
            name = f"BM_Render_{texts}/{cameras}"
            other = f"BM_StyledWriter_{texts}/{cameras}"
            ours, theirs = runs[name], runs[other]
            ratio = theirs["real_time"] / ours["real_time"]
            per_camera = ours["real_time"] * 1000 / cameras  # times in us
            print(f"| {texts} | {cameras:,} | {ours['real_time']:,.1f} us "
                  f"| {theirs['real_time']:,.1f} us | {ratio:.2f}x "
                  f"| {per_camera:,.0f} | {ours['alloc_per_byte']:.3f}, "
                  f"{theirs['alloc_per_byte']:.2f} "
                  f"| {spread(times, name, ours['real_time'])}, "
                  f"{spread(times, other, theirs['real_time'])} |")
            if ours["real_time"] > theirs["real_time"]:
                slower.append(f"{texts}/{cameras:,} ({ratio:.2f}x)")
    print()
    print("- slower than StyledWriter: " +
          ("; ".join(slower) if slower else "nowhere"))
    print()
    print("| other | median |")
    print("|---|---:|")
    for name in ("BM_ToUtf8", "BM_ParseDeviceIds"):
        run = runs[name]
        print(f"| {name} | {run['real_time']:,.3f} {run['time_unit']} |")
    return 1 if slower else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
