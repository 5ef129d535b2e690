#!/usr/bin/python3
"""Readings inside rivlet against their targets (a benchmark, not a test): frames read, latency,
tenths seen, shown values and CPU.

1. The demo's scoreboard (1280x720) through ffmpeg, SRT and rivlet with five zones, the host only
   watching the readings document (demo/run.py --readings), at 30 and at 60 frames per second:
   frames read of frames decoded, dropped reads, agreement, tenths seen, wrong `shown` values and
   the latency's median and 95th percentile.
2. CPU seconds side by side on one pre-encoded push of that scoreboard, sent at once to three
   listeners: rivlet with the five zones, rivlet without zones, and the ffmpeg command decoding
   the same stream to a JPEG preview every 200 ms.
   Run --cpu-runs times (the machine is shared): each run's figures, then the medians and the
   ratio of the medians.
3. readings_board_bench on one frame of the scoreboard: the cost of one frame's read, step by step;
   and on the clock zone of every frame of the push: each reading against the reader's own
   (readings_differ must be 0) and how many kept their separator detection.

Usage: bench_readings.py --build BUILD --board-bench BUILD/bench/readings/readings_board_bench
                         [--seconds 25] [--cpu-runs 3] [--cpu-only]
"""

import argparse
import json
import os
import re
import signal
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEMO = os.path.join(HERE, "..", "..", "demo")
sys.path.insert(0, DEMO)
import scoreboard  # noqa: E402

QUIET = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin"]


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def demo_run(build, fps, seconds):
    out = subprocess.run([sys.executable, os.path.join(DEMO, "run.py"), "--build", build,
                          "--readings", "--fps", str(fps), "--seconds", str(seconds)],
                         capture_output=True, text=True).stdout
    return [line for line in out.splitlines()
            if line.startswith("summary:") or re.match(r"  [a-z]", line)]


def render(workdir, seconds, script):
    path = os.path.join(workdir, "scoreboard.ts")
    subprocess.run(QUIET + ["-f", "lavfi", "-i",
                            f"color=c={scoreboard.BOARD}:s=1280x720:r=30:d={seconds}",
                            "-filter_script:v", script, "-c:v", "libx264", "-preset", "ultrafast",
                            "-tune", "zerolatency", "-g", "30", "-bf", "0", "-pix_fmt", "yuv420p",
                            "-f", "mpegts", path], check=True)
    return path


def stop_and_measure(process):
    os.kill(process.pid, signal.SIGTERM)
    _, _, usage = os.wait4(process.pid, 0)
    return usage.ru_utime + usage.ru_stime


def side_by_side(build, workdir, source, zones):
    rivlet = os.path.join(build, "bridges", "srt", "rivlet")
    listeners, urls = {}, []
    for name in ("rivlet, 5 zones", "rivlet, no zones"):
        root = os.path.join(workdir, name.replace(" ", "_").replace(",", ""))
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(os.path.join(root, "app", "static"))
        if "5" in name:
            with open(os.path.join(root, "app", "static", "srt_zones.json"), "w") as f:
                json.dump(zones, f)
        port = free_udp_port()
        listeners[name] = subprocess.Popen([rivlet, "--port", str(port)], cwd=root,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        urls.append(f"[f=mpegts]srt://127.0.0.1:{port}?mode=caller&latency=120000")
    port = free_udp_port()
    listeners["ffmpeg command, JPEG every 200 ms"] = subprocess.Popen(
        QUIET + ["-i", f"srt://0.0.0.0:{port}?mode=listener&latency=120000",
                 "-vf", "fps=5", "-q:v", "5", "-update", "1", "-y",
                 os.path.join(workdir, "ffmpeg_preview.jpg")],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    urls.append(f"[f=mpegts]srt://127.0.0.1:{port}?mode=caller&latency=120000")
    time.sleep(1.5)
    subprocess.run(QUIET + ["-re", "-i", source, "-map", "0", "-c", "copy", "-f", "tee",
                            "|".join(urls)], check=True)
    time.sleep(1.0)
    return {name: stop_and_measure(p) for name, p in listeners.items()}


def cpu_side_by_side(build, workdir, source, zones, runs):
    print("## CPU seconds over 20 s of 720p30, one push to all three", flush=True)
    seen = {}
    for run in range(runs):
        for name, cpu in side_by_side(build, workdir, source, zones).items():
            seen.setdefault(name, []).append(cpu)
        print(f"run {run + 1}: " + ", ".join(f"{n} {v[-1]:.2f}" for n, v in seen.items()),
              flush=True)
    median = {name: statistics.median(values) for name, values in seen.items()}
    for name, cpu in median.items():
        print(f"| {name} | {cpu:.2f} CPU s median ({100 * cpu / 20:.1f} % of one core) |")
    with_zones, without = median["rivlet, 5 zones"], median["rivlet, no zones"]
    print(f"5 zones / no zones: {with_zones / without:.2f}x (target <= 1.5x); 5 zones against "
          f"the ffmpeg command: {with_zones:.2f} vs "
          f"{median['ffmpeg command, JPEG every 200 ms']:.2f} s", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--board-bench", required=True)
    parser.add_argument("--seconds", type=int, default=25)
    parser.add_argument("--cpu-runs", type=int, default=3)
    parser.add_argument("--cpu-only", action="store_true", help="only the CPU side by side")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    with open("/proc/loadavg") as f:
        print(f"load average at the start: {f.read().split()[0]} (2 cores)", flush=True)
    for fps in () if args.cpu_only else (30, 60):
        print(f"## demo --readings at {fps} fps, {args.seconds} s", flush=True)
        for line in demo_run(build, fps, args.seconds):
            print(line, flush=True)

    with tempfile.TemporaryDirectory() as workdir:
        script = scoreboard.write_filter(workdir)
        zones = {"zones": [dict(z, name=n) for n, z in scoreboard.readings_zones().items()]}
        source = render(workdir, 20, script)
        cpu_side_by_side(build, workdir, source, zones, args.cpu_runs)
        if args.cpu_only:
            return

        frame = os.path.join(workdir, "frame.png")
        subprocess.run(QUIET + ["-f", "lavfi", "-i",
                                f"color=c={scoreboard.BOARD}:s=1280x720:r=30:d=21",
                                "-filter_script:v", script, "-ss", "20.5", "-frames:v", "1",
                                frame], check=True)
        zones_path = os.path.join(workdir, "zones.json")
        with open(zones_path, "w") as f:
            json.dump(zones, f)
        # The clock zone's pixels of every frame of the push, for the check of every reading.
        clock = scoreboard.readings_zones()["clock"]
        x, y = round(clock["x"] * 1280), round(clock["y"] * 720)
        w, h = round(clock["width"] * 1280), round(clock["height"] * 720)
        clock_stream = os.path.join(workdir, "clock.bgr")
        subprocess.run(QUIET + ["-i", source, "-vf", f"format=bgr24,crop={w}:{h}:{x}:{y}",
                                "-f", "rawvideo", clock_stream], check=True)
        print("## one frame's read, step by step; the clock of every frame against the reader",
              flush=True)
        out = subprocess.run([args.board_bench], capture_output=True, text=True,
                             env=dict(os.environ, READINGS_BENCH_FRAME=frame,
                                      READINGS_BENCH_ZONES=zones_path,
                                      READINGS_BENCH_CLOCK_STREAM=clock_stream,
                                      READINGS_BENCH_CLOCK_SIZE=f"{w}x{h}")).stdout
        print("\n".join(line for line in out.splitlines() if re.match(r"BM_|-+$|Benchmark", line)))


if __name__ == "__main__":
    main()
