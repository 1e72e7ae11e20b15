#!/usr/bin/env python3
"""Runs every benchmark program and prints one Markdown table.

    python3 scripts/bench-report.py BIN_DIR [--min-time S] [--repetitions N]

Each program in BIN_DIR named bench_* runs once with JSON output (medians of
the repetitions); bench_startup runs under xvfb-run when it is there. The
table holds every comparison with a peer (OpenCV or the frame's memcpy):
operation, size, our wall and CPU time, the peer's, both ratios, the target
ratio and whether it is met. A target counts as met when both ratios (wall
and CPU) are within it; on a shared machine the wall time includes waiting
for the processor, so the CPU ratio is printed next to it. Every other
benchmark follows with its own times and no target. The load (uptime)
before and after the runs is printed above the table.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys

# (operation, program, ours, peers, target): `peers` is a list of benchmark
# names whose times add up to the peer; {w} {h} stand for the frame size.
SIZES = [(1920, 1080), (3264, 2448)]
COMPARISONS = [
    ("Frame model, defaults / memcpy (warm)", "bench_preview",
     "BM_SetImageDataAndPaint/{w}/{h}/-1/process_time/real_time", ["BM_MemcpyWarm/{w}/{h}/real_time"], 8.0),
    ("Frame model, defaults / memcpy (cold)", "bench_preview",
     "BM_SetImageDataAndPaint/{w}/{h}/-1/process_time/real_time", ["BM_MemcpyCold/{w}/{h}/real_time"], None),
    ("Frame model, every adjustment / (OpenCV steps + defaults)", "bench_preview",
     "BM_SetImageDataAndPaint/{w}/{h}/0/process_time/real_time",
     ["BM_OpenCV_AdjustmentSteps/{w}/{h}/real_time", "BM_SetImageDataAndPaint/{w}/{h}/-1/process_time/real_time"], 1.0),
    ("RotatePicture 7° / warpAffine bilinear", "bench_imaging",
     "BM_RotatePicture/{w}/{h}/7/real_time", ["BM_OpenCV_WarpAffine/{w}/{h}/7/1/real_time"], 1.0),
    ("AdjustSaturation / HLS round trip", "bench_imaging",
     "BM_AdjustSaturation/{w}/{h}/real_time", ["BM_OpenCV_HlsRoundTrip/{w}/{h}/real_time"], 1.0),
    ("RotationImageData 4 (flip) / flip", "bench_imaging",
     "BM_RotationImageData/{w}/{h}/4/real_time", ["BM_OpenCV_Flip/{w}/{h}/0/real_time"], 1.0),
    ("RotationImageData 5 (mirror) / flip 1", "bench_imaging",
     "BM_RotationImageData/{w}/{h}/5/real_time", ["BM_OpenCV_Flip/{w}/{h}/1/real_time"], None),
    ("RotationImageData 1 (quarter turn) / rotate", "bench_imaging",
     "BM_RotationImageData/{w}/{h}/1/real_time", ["BM_OpenCV_Rotate/{w}/{h}/0/real_time"], None),
    ("CopyLuminosityContrast / two LUTs", "bench_imaging",
     "BM_CopyLuminosityContrast/{w}/{h}/real_time", ["BM_OpenCV_LUT/{w}/{h}/real_time"] * 2, 1.0),
    ("AdjustLuminosity / LUT", "bench_imaging",
     "BM_AdjustLuminosity/{w}/{h}/real_time", ["BM_OpenCV_LUT/{w}/{h}/real_time"], None),
    ("ColourToGreyScale / cvtColor grey", "bench_imaging",
     "BM_ColourToGreyScale/{w}/{h}/real_time", ["BM_OpenCV_CvtColorGray/{w}/{h}/real_time"], None),
]


def uptime():
    try:
        return subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip()
    except OSError:
        return "uptime unavailable"


def run(program, path, min_time, repetitions):
    """Median wall and CPU time (ms) of every benchmark of one program."""
    command = [path, "--benchmark_format=json", f"--benchmark_min_time={min_time}",
               f"--benchmark_repetitions={repetitions}", "--benchmark_report_aggregates_only=true"]
    if program == "bench_startup":
        if not shutil.which("xvfb-run"):
            print(f"<!-- {program} skipped: no xvfb-run -->", file=sys.stderr)
            return {}
        command = ["xvfb-run", "-a", "-s", "-screen 0 1920x1080x24"] + command
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        print(f"<!-- {program} failed ({done.returncode}): {done.stderr.strip()[-400:]} -->", file=sys.stderr)
    try:
        report = json.loads(done.stdout)
    except json.JSONDecodeError:
        return {}
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
    times = {}
    for b in report.get("benchmarks", []):
        if b.get("aggregate_name", "median") != "median":
            continue
        name = b.get("run_name", b["name"])
        # Benchmarks without UseRealTime carry no suffix; both spellings find them.
        factor = scale.get(b.get("time_unit", "ns"), 1e-6)
        entry = (b["real_time"] * factor, b["cpu_time"] * factor)
        times[name] = entry
        if not name.endswith("/real_time"):
            times[name + "/real_time"] = entry
    return times


def ms(v):
    return f"{v:.2f}" if v >= 1 else f"{v:.3f}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin")
    parser.add_argument("--min-time", default="0.2")
    parser.add_argument("--repetitions", type=int, default=3)
    args = parser.parse_args()

    programs = sorted(p for p in os.listdir(args.bin) if p.startswith("bench_"))
    before = uptime()
    results = {p: run(p, os.path.join(args.bin, p), args.min_time, args.repetitions) for p in programs}
    after = uptime()

    print(f"Load before: `{before}`  ")
    print(f"Load after: `{after}`  ")
    print("Times are medians in ms, wall / CPU (CPU of all threads for the frame model);"
          " a target is met when both ratios are within it.\n")
    print("| Operation | Size | Ours (wall / CPU) | Peer (wall / CPU) | Ratio (wall / CPU) | Target | Met |")
    print("|---|---|---|---|---|---|---|")
    used = set()
    for operation, program, ours, peers, target in COMPARISONS:
        times = results.get(program, {})
        for w, h in SIZES:
            name = ours.format(w=w, h=h)
            peer_names = [p.format(w=w, h=h) for p in peers]
            if name not in times or any(p not in times for p in peer_names):
                continue
            used.add((program, name))
            used.update((program, p) for p in peer_names)
            o = times[name]
            peer = (sum(times[p][0] for p in peer_names), sum(times[p][1] for p in peer_names))
            ratio = (o[0] / peer[0], o[1] / peer[1])
            if target is None:
                met, target_text = "—", "—"
            else:
                met = "yes" if max(ratio) <= target else ("CPU only" if ratio[1] <= target else "no")
                target_text = f"≤ {target:g}×"
            print(f"| {operation} | {w} × {h} | {ms(o[0])} / {ms(o[1])} | {ms(peer[0])} / {ms(peer[1])} | "
                  f"{ratio[0]:.2f}× / {ratio[1]:.2f}× | {target_text} | {met} |")
    for program in programs:
        for name, (wall, cpu) in sorted(results[program].items()):
            if (program, name) in used or name.endswith("/real_time") and name[:-10] in results[program]:
                continue
            print(f"| {program}: {name} | | {ms(wall)} / {ms(cpu)} | | | — | — |")


if __name__ == "__main__":
    main()
