"""The operator's case on whole frames: every zone of ../shared/bench-dev/zones.json drawn loosely
(grown by a quarter of its size on every side, cut at the frame), then read as drawn, calibrated
blind, and calibrated with the value shown. Prints how many zones read their expected value.

usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/boards/frame_zones.py [--data DIR]
"""

import argparse
import json
import os
import sys

import cv2

from native_ocr import zonescan
from native_ocr.__main__ import read

DEFAULT_DATA = os.path.join(os.path.dirname(__file__), "..", "..", "..", "shared", "bench-dev")


def loosened(zone, grow=0.25):
    x1 = max(0.0, zone["x"] - grow * zone["width"])
    y1 = max(0.0, zone["y"] - grow * zone["height"])
    x2 = min(1.0, zone["x"] + (1 + grow) * zone["width"])
    y2 = min(1.0, zone["y"] + (1 + grow) * zone["height"])
    return {"x": x1, "y": y1, "width": x2 - x1, "height": y2 - y1, "role": zone["role"]}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=DEFAULT_DATA)
    args = parser.parse_args()
    with open(os.path.join(args.data, "zones.json")) as f:
        frames = json.load(f)["frames"]
    counts = {"as drawn (exact zone, default settings)": 0, "loose zone, default settings": 0,
              "loose zone, calibrated blind": 0, "loose zone, calibrated taught": 0}
    total = 0
    for frame in frames:
        image = cv2.imread(os.path.join(args.data, frame["file"]), cv2.IMREAD_COLOR)
        for zone in frame["zones"]:
            total += 1
            want = zone["expected"]
            loose = loosened(zone)
            exact = {k: zone[k] for k in ("x", "y", "width", "height", "role")}
            outcomes = [read(exact, image), read(loose, image),
                        zonescan.calibrate_zone(loose, image)["reading"],
                        zonescan.calibrate_zone(loose, image, expected=want)["reading"]]
            for name, result in zip(counts, outcomes):
                counts[name] += bool(result["valid"]) and result["value"] == want
    print("| zone | read exactly |\n|---|---:|")
    for name, n in counts.items():
        print(f"| {name} | {n} / {total} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
