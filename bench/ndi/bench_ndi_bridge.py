#!/usr/bin/python3
"""ndi_bridge under load: a loopback source at 1920x1080 and 60 frames per second.

Runs the bridge in a temporary host root with GLOMARK_DEV_LATENCY=1, follows every latency
document it publishes (one per sixth frame) and reports the time from frame receipt to the encoded
preview ("capture_to_publish_ms"), plus the CPU time the bridge and the sender used per second of
wall time. With --zones the source is the demo's 1280x720 scoreboard instead (its frames rendered
as JPEG files, sent at --fps), run twice: without a zones file, then with the demo's five zones,
so the bridge's CPU with and without reading can be set side by side. Usage:

  bench_ndi_bridge.py --bridge build/release/bridges/ndi/ndi_bridge \
      --sender build/release/platform/ndi/ndi_loopback_send [--seconds 20] [--size 1920x1080] [--fps 60]
      [--zones]
"""
import argparse
import json
import os
import signal
import statistics
import subprocess
import tempfile
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "demo"))
import scoreboard  # noqa: E402

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """User plus system CPU time of a process so far."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def percentile(values, p):
    ordered = sorted(values)
    position = p / 100 * (len(ordered) - 1)
    low = int(position)
    high = min(low + 1, len(ordered) - 1)
    return ordered[low] + (ordered[high] - ordered[low]) * (position - low)


def collect(static, seconds):
    """Polls the latency document for the given time; returns one record per preview."""
    records = {}
    path = static / "ndi_latency.json"
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            record = json.loads(path.read_bytes())
            records[record["frame_id"]] = record
        except (FileNotFoundError, ValueError):
            pass
        time.sleep(0.004)
    return list(records.values())


def render_scoreboard(directory, seconds, fps):
    """The demo's scoreboard as one JPEG file per frame; returns the files in order."""
    frames = Path(directory) / "frames"
    frames.mkdir()
    script = scoreboard.write_filter(directory)
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-f", "lavfi",
                    "-i", f"color=c={scoreboard.BOARD}:s={scoreboard.WIDTH}x{scoreboard.HEIGHT}"
                    f":r={fps}:d={seconds}", "-filter_script:v", script, "-q:v", "3",
                    str(frames / "frame_%05d.jpg")], check=True)
    return sorted(str(f) for f in frames.iterdir())


def run(args, images=(), zones=None):
    with tempfile.TemporaryDirectory(prefix="bench-ndi-") as tmp:
        root = Path(tmp) / "root"
        static = root / "app" / "static"
        static.mkdir(parents=True)
        if zones is not None:
            (static / "ndi_zones.json").write_text(json.dumps(zones))
        env = dict(os.environ, NDI_LOOPBACK_DIR=str(Path(tmp) / "loopback"),
                   GLOMARK_DEV_LATENCY="1")
        sender = subprocess.Popen([args.sender, "--name", "Bench", "--size", args.size,
                                   "--fps", args.fps, *images], env=env, stdout=subprocess.PIPE)
        sender.stdout.readline()
        bridge = subprocess.Popen([args.bridge], cwd=root, env=env, stdout=subprocess.DEVNULL)
        try:
            (static / "ndi_selection.txt").write_bytes(b"Bench")
            while not (static / "ndi_latency.json").exists():
                time.sleep(0.05)
            time.sleep(1.0)  # warm-up
            start = time.monotonic()
            bridge_cpu, sender_cpu = cpu_seconds(bridge.pid), cpu_seconds(sender.pid)
            records = collect(static, args.seconds)
            elapsed = time.monotonic() - start
            bridge_cpu = cpu_seconds(bridge.pid) - bridge_cpu
            sender_cpu = cpu_seconds(sender.pid) - sender_cpu
            status = json.loads((static / "ndi_status.json").read_bytes())
            readings = static / "ndi_readings.json"
            if readings.exists():
                document = json.loads(readings.read_bytes())
                status["reads"] = (f"{document['frames_read']} frames read, "
                                   f"{document['frames_dropped']} dropped")
        finally:
            bridge.send_signal(signal.SIGTERM)
            bridge.wait()
            sender.send_signal(signal.SIGTERM)
            sender.wait()
    return records, elapsed, bridge_cpu, sender_cpu, status


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bridge", required=True)
    parser.add_argument("--sender", required=True)
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--size", default="1920x1080")
    parser.add_argument("--fps", default="60")
    parser.add_argument("--zones", action="store_true",
                        help="the demo's scoreboard, without and then with its five zones")
    args = parser.parse_args()
    args.bridge = os.path.abspath(args.bridge)
    args.sender = os.path.abspath(args.sender)
    if args.zones:
        compare_zones(args)
        return
    records, elapsed, bridge_cpu, sender_cpu, status = run(args)
    if not records:
        raise SystemExit("no preview was published")
    latencies = [r["capture_to_publish_ms"] for r in records]
    counts = sorted(int(r["frame_id"].split("-")[0]) for r in records)
    frames = counts[-1] - counts[0]
    print(f"source: {args.size} at {args.fps} fps, {elapsed:.1f} s measured, "
          f"state {status['receiver_state']}")
    print(f"frames received: {frames / elapsed:.1f} per second; previews: {len(records)} "
          f"({len(records) / elapsed:.1f} per second)")
    print(f"receipt to encoded preview (ms): median {statistics.median(latencies):.2f}, "
          f"p90 {percentile(latencies, 90):.2f}, max {max(latencies):.2f}")
    print(f"preview size: {statistics.median(r['jpeg_size'] for r in records) / 1024:.0f} KiB")
    print(f"CPU: ndi_bridge {100 * bridge_cpu / elapsed:.1f}% of one core, "
          f"ndi_loopback_send {100 * sender_cpu / elapsed:.1f}%")


def compare_zones(args):
    zones = {"zones": [dict(z, name=n) for n, z in scoreboard.readings_zones().items()]}
    with tempfile.TemporaryDirectory(prefix="bench-ndi-board-") as tmp:
        images = render_scoreboard(tmp, args.seconds + 3, args.fps)
        cpu = {}
        for name, board in (("no zones", None), ("5 zones", zones)):
            _, elapsed, bridge_cpu, _, status = run(args, images, board)
            cpu[name] = bridge_cpu
            print(f"ndi_bridge, {name}: {bridge_cpu:.2f} CPU s over {elapsed:.1f} s "
                  f"({100 * bridge_cpu / elapsed:.1f} % of one core)"
                  + (f"; {status['reads']}" if "reads" in status else ""), flush=True)
    print(f"5 zones / no zones: {cpu['5 zones'] / cpu['no zones']:.2f}x")


if __name__ == "__main__":
    main()
