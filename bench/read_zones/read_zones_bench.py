"""read_zones(zones, path) against the per-zone readers on the same preview file, in one run.

The preview is a 1280x720 scoreboard frame of the bench-dev set (clock, two scores, period, down)
written as a quality-75 JPEG. Prints a Markdown table of medians (milliseconds per whole board).

  cmake --build <build> --target read_zones_bench
  PYTHONPATH=<build>/python /usr/bin/python3 bench/read_zones/read_zones_bench.py [--quick]
"""
import argparse
import json
import os
import platform
import statistics
import sys
import tempfile
import time

import cv2

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "native_ocr", "tests"))
from native_ocr import zonescan as z  # noqa: E402
from zone_readers import read_zone  # noqa: E402

FRAMES_DIR = "/work/shared/bench-dev"


def median_ms(fn, runs):
    fn()
    times = []
    for _ in range(runs):
        start = time.perf_counter_ns()
        fn()
        times.append((time.perf_counter_ns() - start) / 1e6)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer runs (a smoke run)")
    parser.add_argument("--frames", default=FRAMES_DIR, help="the bench-dev directory")
    args = parser.parse_args()
    runs = 20 if args.quick else 200
    with open(os.path.join(args.frames, "zones.json"), encoding="utf-8") as f:
        frames = json.load(f)["frames"]
    image = cv2.imread(os.path.join(args.frames, frames[0]["file"]))
    board = frames[0]["zones"]
    # Ten zones: the frame's five and, on the same frame, the five of another layout.
    ten = board + frames[3]["zones"]
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "preview.jpg")
        cv2.imwrite(path, image, [cv2.IMWRITE_JPEG_QUALITY, 75])
        assert z.read_zones(board, path) == [read_zone(zone, path) for zone in board]
        decoded = cv2.imread(path)
        rows = [
            ("5 x read_*(zone, path)", median_ms(lambda: [read_zone(zn, path) for zn in board],
                                                  max(runs // 5, 10))),
            ("read_zones(5 zones, path)", median_ms(lambda: z.read_zones(board, path), runs)),
            ("read_zones(5 zones, array)", median_ms(lambda: z.read_zones(board, decoded), runs)),
            ("cv2.imread(path) alone", median_ms(lambda: cv2.imread(path), runs)),
            ("read_zones(10 zones, path), threads=1",
             median_ms(lambda: z.read_zones(ten, path), runs)),
            ("read_zones(10 zones, path), threads=2",
             median_ms(lambda: z.read_zones(ten, path, threads=2), runs)),
            ("read_zones(10 zones, array), threads=1",
             median_ms(lambda: z.read_zones(ten, decoded), runs)),
            ("read_zones(10 zones, array), threads=2",
             median_ms(lambda: z.read_zones(ten, decoded, threads=2), runs)),
        ]
    print(f"Python {platform.python_version()}, OpenCV {cv2.__version__}, {os.cpu_count()} cores, "
          f"load average {os.getloadavg()[0]:.1f}; median of {runs} runs (per-zone: {max(runs // 5, 10)})")
    print()
    print("| call | median (ms) |")
    print("|---|---:|")
    for name, ms in rows:
        print(f"| {name} | {ms:.2f} |")
    print()
    print(f"speed-up of read_zones over five per-zone calls: {rows[0][1] / rows[1][1]:.1f}x")
    print(f"threads=2 on ten zones (file): {rows[4][1] / rows[5][1]:.2f}x, "
          f"(array): {rows[6][1] / rows[7][1]:.2f}x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
