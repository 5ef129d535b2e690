#!/usr/bin/python3
"""rivlet beside the ffmpeg command, on the same SRT push (a benchmark, not a test).

1. CPU seconds over one 20 s 1080p30 H.264 push: rivlet (decode everything, preview at most every
   200 ms) against `ffmpeg` doing the same job (read the SRT stream, scale to 1920 wide at most,
   write a JPEG every 200 ms). The push is pre-encoded, so the sender costs little and is the same
   for both.
2. Intervals between successive previews with 60 frames per second coming in (720p60, 10 s),
   read from every status document rivlet published (recorded by the rename recorder).

Usage: bench_rivlet.py --rivlet BUILD/bridges/srt/rivlet
                       --recorder BUILD/bridges/srt/librename_recorder.so
"""

import argparse
import json
import os
import re
import signal
import socket
import statistics
import subprocess
import tempfile
import time


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def encode(path, size, rate, seconds, bitrate):
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                    "-f", "lavfi", "-i", f"testsrc2=size={size}:rate={rate}", "-t", str(seconds),
                    "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "ultrafast",
                    "-b:v", bitrate, "-maxrate", bitrate, "-bufsize", bitrate,
                    "-g", str(rate * 2), "-f", "mpegts", path], check=True)


def push(path, port):
    """Pushes a file in real time; returns when it has been sent."""
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-re",
                    "-i", path, "-c", "copy", "-f", "mpegts",
                    f"srt://127.0.0.1:{port}?mode=caller&latency=120000"], check=True)


def cpu_seconds_of(listener, env, port, source, settle):
    """Starts a listener, pushes source at it, stops it; returns its user+system CPU seconds."""
    process = subprocess.Popen(listener, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(settle)
    push(source, port)
    time.sleep(1.0)
    os.kill(process.pid, signal.SIGTERM)  # a child that already ended is a zombie until wait4
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    return usage.ru_utime + usage.ru_stime


def preview_intervals(rivlet, recorder, workdir, source):
    port = free_udp_port()
    record = os.path.join(workdir, "history")
    env = dict(os.environ, LD_PRELOAD=recorder, RENAME_RECORD_FILE=record,
               RENAME_RECORD_SUFFIX="srt_status.json")
    cpu_seconds_of([rivlet, "--port", str(port)], env, port, source, settle=0.5)
    with open(record, encoding="utf-8") as f:
        docs = [json.loads(d) for d in re.findall(r"\{\n.*?\n\}\n", f.read(), re.S)]
    times = [d["last_frame_time"] for d in docs if d["state"] == "connected"]
    times = sorted(set(times))
    return [1000.0 * (b - a) for a, b in zip(times, times[1:])]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rivlet", required=True)
    parser.add_argument("--recorder", required=True)
    parser.add_argument("--seconds", type=int, default=20)
    args = parser.parse_args()
    args.rivlet = os.path.abspath(args.rivlet)
    args.recorder = os.path.abspath(args.recorder)

    with tempfile.TemporaryDirectory() as workdir:
        os.makedirs(os.path.join(workdir, "app", "static"))
        os.chdir(workdir)
        full_hd = os.path.join(workdir, "1080p30.ts")
        fast = os.path.join(workdir, "720p60.ts")
        print("encoding the pushes...", flush=True)
        encode(full_hd, "1920x1080", 30, args.seconds, "6M")
        encode(fast, "1280x720", 60, 10, "4M")

        port = free_udp_port()
        rivlet_cpu = cpu_seconds_of([args.rivlet, "--port", str(port)], dict(os.environ),
                                    port, full_hd, settle=0.5)
        port = free_udp_port()
        ffmpeg = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin",
                  "-i", f"srt://0.0.0.0:{port}?mode=listener&latency=120000",
                  "-vf", "fps=5,scale='min(1920,iw)':-2", "-q:v", "5", "-update", "1", "-y",
                  os.path.join(workdir, "ffmpeg_preview.jpg")]
        ffmpeg_cpu = cpu_seconds_of(ffmpeg, dict(os.environ), port, full_hd, settle=1.0)

        intervals = preview_intervals(args.rivlet, args.recorder, workdir, fast)

    print(f"| rivlet, {args.seconds} s of 1080p30 | {rivlet_cpu:.2f} CPU s "
          f"({100 * rivlet_cpu / args.seconds:.1f} % of one core) |")
    print(f"| ffmpeg command, same push | {ffmpeg_cpu:.2f} CPU s "
          f"({100 * ffmpeg_cpu / args.seconds:.1f} % of one core) |")
    if len(intervals) >= 3:
        q = statistics.quantiles(intervals, n=10)
        print(f"| preview interval at 60 fps ({len(intervals)} intervals) | median "
              f"{statistics.median(intervals):.0f} ms, 10th {q[0]:.0f} ms, 90th {q[-1]:.0f} ms |")
    else:
        print(f"| preview interval at 60 fps | too few previews: {intervals} |")


if __name__ == "__main__":
    main()
