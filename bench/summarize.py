#!/usr/bin/python3
"""Turns camera_info_bench's JSON output into the tables of bench/README.md.

Usage: summarize.py BENCH_OUTPUT.json
Uses the medians of repeated runs (--benchmark_repetitions).
"""
import json
import sys


def medians(path):
    data = json.load(open(path))
    result = {}
    for run in data["benchmarks"]:
        if run.get("aggregate_name") == "median":
            result[run["run_name"]] = run
    return data["context"], result


def main(path):
    context, runs = medians(path)
    print(f"Machine: {context['num_cpus']} x {context['mhz_per_cpu']} MHz, "
          f"{context.get('library_build_type', '?')} Google Benchmark library, "
          f"run {context['date']}\n")
    print("| texts | cameras | renderCameraReport | StyledWriter | speed-up "
          "| ns per camera (ours) | allocated / report size (ours, StyledWriter) |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    flat = {}
    for texts in ("Realistic", "EscapeHeavy"):
        for cameras in (1, 25, 1000, 10000, 100000):
            ours = runs[f"BM_Render_{texts}/{cameras}"]
            theirs = runs[f"BM_StyledWriter_{texts}/{cameras}"]
            ratio = theirs["real_time"] / ours["real_time"]
            per_camera = ours["real_time"] * 1000 / cameras  # times in us
            flat[(texts, cameras)] = per_camera
            print(f"| {texts} | {cameras:,} | {ours['real_time']:,.1f} us "
                  f"| {theirs['real_time']:,.1f} us | {ratio:.2f}x "
                  f"| {per_camera:,.0f} | {ours['alloc_per_byte']:.3f}, "
                  f"{theirs['alloc_per_byte']:.2f} |")
    print()
    for texts in ("Realistic", "EscapeHeavy"):
        change = flat[(texts, 100000)] / flat[(texts, 1000)] - 1
        print(f"- {texts}: cost per camera from 1,000 to 100,000 cameras "
              f"{change:+.0%}")
    print()
    print("| other | median |")
    print("|---|---:|")
    for name in ("BM_ToUtf8", "BM_ParseDeviceIds", "BM_WholeRun/10000",
                 "BM_WholeRun/100000"):
        run = runs[name]
        print(f"| {name} | {run['real_time']:,.3f} {run['time_unit']} |")


if __name__ == "__main__":
    main(sys.argv[1])
