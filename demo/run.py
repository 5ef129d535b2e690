"""Runs the system end to end: a live scoreboard rendered by ffmpeg is pushed over SRT to rivlet
(or sent through the loopback NDI layer to ndi_bridge), and a host-side reader reads its zones from
the published preview. Stops everything it started. With --readings the bridge reads the zones of
every frame itself and the host only watches its readings document.

usage: run.py --build DIR [--seconds 20] [--ndi] [--readings [--fps 30]]
              [--check MIN_AGREED_FRACTION]
"""

import argparse
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import scoreboard  # noqa: E402

FPS = 30  # the rendered scoreboard's frame rate (--fps changes it with --readings)


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def echo(prefix, stream, marker=None, seen=None):
    for line in iter(stream.readline, ""):
        print(f"{prefix}: {line.rstrip()}", flush=True)
        if marker and marker in line:
            seen.set()


def start(cmd, prefix, marker=None, **kwargs):
    """Starts cmd, echoing its output; with a marker, waits (up to 60 s) for a line holding it."""
    if cmd[0] == "ffmpeg":
        # A sanitizer runtime preloaded for the reader modules has no business in ffmpeg.
        kwargs["env"] = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            errors="replace", **kwargs)
    seen = threading.Event()
    threading.Thread(target=echo, args=(prefix, proc.stdout, marker, seen), daemon=True).start()
    if marker and not seen.wait(60):
        print(f"demo: {prefix} did not say '{marker}' within 60 s", flush=True)
    return proc


def stop(proc, timeout=5.0):
    if proc is None or proc.poll() is not None:
        return
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def srt_pipeline(build, root, filter_script, seconds, fps=FPS):
    port = free_udp_port()
    bridge = start([os.path.join(build, "bridges", "srt", "rivlet"), "--port", str(port)],
                   "rivlet", cwd=root)
    time.sleep(0.5)
    sender = start(["ffmpeg", "-hide_banner", "-loglevel", "error", "-re",
                    "-f", "lavfi", "-i", f"color=c={scoreboard.BOARD}:s={scoreboard.WIDTH}x"
                    f"{scoreboard.HEIGHT}:r={fps}:d={seconds + 10}",
                    "-filter_script:v", filter_script,
                    "-c:v", "libx264", "-preset", "ultrafast", "-tune", "zerolatency",
                    "-g", str(fps), "-bf", "0", "-pix_fmt", "yuv420p", "-f", "mpegts",
                    f"srt://127.0.0.1:{port}?mode=caller&latency=120000&pkt_size=1316"],
                   "ffmpeg")
    return bridge, sender, time.time()


def ndi_pipeline(build, root, filter_script, seconds, workdir, rate=12):
    """rate: 12 (ndi_bridge previews every sixth frame: two previews a second) unless reading."""
    frames = os.path.join(workdir, "frames")
    os.makedirs(frames)
    duration = seconds + 10
    print(f"demo: rendering {int(duration * rate)} scoreboard frames for the NDI sender", flush=True)
    env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                    f"color=c={scoreboard.BOARD}:s={scoreboard.WIDTH}x{scoreboard.HEIGHT}"
                    f":r={rate}:d={duration}", "-filter_script:v", filter_script, "-q:v", "3",
                    os.path.join(frames, "frame_%05d.jpg")], check=True, env=env)
    loopback = os.path.join(workdir, "ndi")
    os.makedirs(loopback)
    name = "DEMO (Scoreboard)"
    with open(os.path.join(root, "app", "static", "ndi_selection.txt"), "w") as f:
        f.write(name)
    bridge = start([os.path.join(build, "bridges", "ndi", "ndi_bridge")], "ndi_bridge", cwd=root,
                   env=dict(os.environ, NDI_LOOPBACK_DIR=loopback))
    files = sorted(os.path.join(frames, f) for f in os.listdir(frames))
    sender = start([os.path.join(build, "platform", "ndi", "ndi_loopback_send"), "--name", name,
                    "--dir", loopback, "--fps", str(rate),
                    *(["--wait-for-receiver"] if rate != 12 else []), *files], "ndi_loopback_send",
                   marker="announced")
    return bridge, sender, time.time()


def host_command(args, root, zones_path, started, summary_path):
    """The host's part: read the previews (host.py), or watch the readings (readings_host.py)."""
    bridge = "ndi" if args.ndi else "srt"
    if args.readings:
        return [sys.executable, os.path.join(HERE, "readings_host.py"), "--root", root,
                "--bridge", bridge, "--fps", str(args.fps), "--seconds", str(args.seconds),
                "--summary", summary_path]
    return [sys.executable, os.path.join(HERE, "host.py"), "--root", root, "--zones", zones_path,
            "--bridge", bridge, "--start", str(started), "--seconds", str(args.seconds),
            "--summary", summary_path]


def check(args, summary):
    """Whether the run passes --check: enough readings agreed (and, reading in the bridge, no
    shown value was ever wrong)."""
    if args.readings:
        agreed = sum(summary["agreed"].values())
        total = summary["documents"] * len(summary["agreed"])
        wrong = sum(len(v) for v in summary["wrong_shown"].values())
        failed = total == 0 or agreed < args.check * total or wrong
        detail = f"{agreed}/{total} readings agreed, {wrong} wrong shown"
    else:
        total = sum(summary["readings"].values())
        agreed = sum(summary["agreed"].values())
        failed = summary["previews"] == 0 or agreed < args.check * total
        detail = f"{agreed}/{total} readings agreed"
    if failed:
        print(f"demo: check failed: {detail}", flush=True)
    return not failed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="CMake build directory")
    parser.add_argument("--seconds", type=float, default=20.0, help="how long to run (default 20)")
    parser.add_argument("--ndi", action="store_true", help="go through ndi_bridge instead of rivlet")
    parser.add_argument("--check", type=float, metavar="FRACTION",
                        help="exit 1 unless this fraction of readings agreed with the scoreboard")
    parser.add_argument("--readings", action="store_true",
                        help="the bridge reads every frame; the host watches its readings")
    parser.add_argument("--fps", type=int, default=FPS,
                        help="frame rate of the scoreboard with --readings (default 30)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    os.environ["PYTHONPATH"] = os.path.join(build, "python")

    with tempfile.TemporaryDirectory(prefix="glomark-demo-") as workdir:
        root = os.path.join(workdir, "host")
        os.makedirs(os.path.join(root, "app", "static"))
        if args.readings:  # the bridge's own zones file
            zones_path = os.path.join(root, "app", "static",
                                      f"{'ndi' if args.ndi else 'srt'}_zones.json")
            zones = {"zones": [dict(zone, name=name)
                               for name, zone in scoreboard.readings_zones().items()]}
        else:
            zones_path = os.path.join(root, "zones.json")
            zones = scoreboard.zones()
        with open(zones_path, "w") as f:
            json.dump(zones, f, indent=1)
        filter_script = scoreboard.write_filter(workdir)
        print(f"demo: host root {root}; zones {zones_path}", flush=True)

        bridge = sender = None
        try:
            if args.ndi:
                bridge, sender, started = ndi_pipeline(build, root, filter_script, args.seconds,
                                                       workdir,
                                                       rate=args.fps if args.readings else 12)
            else:
                bridge, sender, started = srt_pipeline(build, root, filter_script, args.seconds,
                                                       fps=args.fps if args.readings else FPS)
            summary_path = os.path.join(workdir, "summary.json")
            host = subprocess.run(host_command(args, root, zones_path, started, summary_path))
        finally:
            stop(sender)
            stop(bridge)
        if host.returncode != 0:
            return host.returncode
        with open(summary_path) as f:
            summary = json.load(f)
        if args.check is not None and not check(args, summary):
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
