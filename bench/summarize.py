#!/usr/bin/python3
"""Turns camera_info_bench's JSON output into the tables of bench/README.md.

Usage: summarize.py BENCH_OUTPUT.json
Uses the medians of repeated runs (--benchmark_repetitions); the spread is
(slowest - fastest) / median over the repetitions, which the JSON output
holds unless --benchmark_report_aggregates_only was given.
"""
import json
import sys

# Least speed-up over StyledWriter the renderer is held to, by camera count;
# 1, 25 and 100,000 cameras are figures only.
SPEED_UP_TARGETS = {1000: 4.0, 10000: 2.5}
ALLOCATION_TARGET = 1.5


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
    flat, misses = {}, []
    for texts in ("Realistic", "EscapeHeavy"):
        for cameras in (1, 25, 1000, 10000, 100000):
            name = f"BM_Render_{texts}/{cameras}"
            other = f"BM_StyledWriter_{texts}/{cameras}"
            ours, theirs = runs[name], runs[other]
            ratio = theirs["real_time"] / ours["real_time"]
            per_camera = ours["real_time"] * 1000 / cameras  # times in us
            flat[(texts, cameras)] = per_camera
            print(f"| {texts} | {cameras:,} | {ours['real_time']:,.1f} us "
                  f"| {theirs['real_time']:,.1f} us | {ratio:.2f}x "
                  f"| {per_camera:,.0f} | {ours['alloc_per_byte']:.3f}, "
                  f"{theirs['alloc_per_byte']:.2f} "
                  f"| {spread(times, name, ours['real_time'])}, "
                  f"{spread(times, other, theirs['real_time'])} |")
            if ratio < SPEED_UP_TARGETS.get(cameras, 0):
                misses.append(f"{texts}/{cameras}: {ratio:.2f}x, target "
                              f"{SPEED_UP_TARGETS[cameras]:g}x")
            if ours["alloc_per_byte"] > ALLOCATION_TARGET:
                misses.append(f"{texts}/{cameras}: allocated "
                              f"{ours['alloc_per_byte']:.3f}x the report")
    print()
    for texts in ("Realistic", "EscapeHeavy"):
        change = flat[(texts, 100000)] / flat[(texts, 1000)] - 1
        print(f"- {texts}: cost per camera from 1,000 to 100,000 cameras "
              f"{change:+.0%}")
    print("- targets missed: " + ("; ".join(misses) if misses else "none"))
    print()
    print("| other | median |")
    print("|---|---:|")
    for name in ("BM_ToUtf8", "BM_ParseDeviceIds"):
        run = runs[name]
        print(f"| {name} | {run['real_time']:,.3f} {run['time_unit']} |")


if __name__ == "__main__":
    main(sys.argv[1])
