"""The learned classifier against the seven-segment one on the board sequences, and its cost
through read_zones.

usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/learned/learned_boards.py [--data DIR]
       [--frames DIR] [--misses N] [--runs N]

Accuracy: every board of ../shared/bench-dev-boards is tuned as bench/boards/board_bench.py's
"ideal operator" row tunes it (the display's true box from the label plus 8 % margin, Otsu's
threshold of that tight crop of the first value), and every later value is read through the
reader of the board's role with that zone, once with the default classifier and once with
"classifier": "learned" added to the zone's settings. Exact: valid with the expected value;
wrong: valid with another. Halves by board id (even / odd). None of these boards was drawn for
or seen by the training (bench/learned/train.py draws its own cells).

Time: read_zones on frame 0 of ../shared/bench-dev (clock, two scores, period, down; 1280x720)
from the decoded array and from a quality-75 JPEG, with each classifier; then read_zones from the
array followed by trust_reading of every result, alone (the result dictionary only) and given the
zone and image (the one-pixel and threshold re-reads and the other classifier's second opinion);
medians of --runs.
"""

import argparse
import collections
import json
import os
import sys
import tempfile
import time

import cv2

from native_ocr import zonescan
from native_ocr.__main__ import read as read_zone  # the reader of the zone's role

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "boards"))
from board_bench import DEFAULT_DATA, Tally, board_groups, tune_ideal  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "read_zones"))
from read_zones_bench import median_ms  # noqa: E402

FRAMES = os.path.join(os.path.dirname(__file__), "..", "..", "..", "shared", "bench-dev")
SHARED = "/work/shared"  # where the data sets are when this checkout is a worktree elsewhere
CLASSIFIERS = ("segments", "learned")


def with_classifier(zone, name):
    if name == "segments":
        return zone
    return dict(zone, processing=dict(zone.get("processing") or {}, classifier=name))


def accuracy(data, misses_wanted):
    with open(os.path.join(data, "labels.jsonl")) as f:
        boards = board_groups([json.loads(line) for line in f])
    tallies = {name: Tally() for name in CLASSIFIERS}
    by_kind = {name: collections.defaultdict(Tally) for name in CLASSIFIERS}
    misses = collections.defaultdict(list)
    for board, seq in boards.items():
        images = [cv2.imread(os.path.join(data, l["file"]), cv2.IMREAD_COLOR) for l in seq]
        zone = tune_ideal(images[0], seq[0])
        for label, image in zip(seq[1:], images[1:]):
            for name in CLASSIFIERS:
                result = read_zone(with_classifier(zone, name), image)
                exact = bool(result["valid"]) and result["value"] == label["expected"]
                wrong = bool(result["valid"]) and not exact
                tallies[name].add(board, exact, wrong)
                by_kind[name][label["kind"]].add(board, exact, wrong)
                if not exact and len(misses[name]) < misses_wanted:
                    misses[name].append((label["file"], label["expected"], result["value"]))
    lines = ["| classifier (ideal zone, Otsu) | exact (even) | wrong (even) | exact (odd) "
             "| wrong (odd) | exact (all) | wrong (all) |", "|---|---:|---:|---:|---:|---:|---:|"]
    for name in CLASSIFIERS:
        t = tallies[name]
        lines.append(f"| {name} | " + " | ".join(t.cells("even") + t.cells("odd") + t.cells("all"))
                     + " |")
    kinds = sorted(by_kind["segments"])
    lines += ["", "| kind | reads | " + " | ".join(f"{n} exact / wrong" for n in CLASSIFIERS) + " |",
              "|---|---:|" + "---:|" * len(CLASSIFIERS)]
    for kind in kinds:
        cells = [" / ".join(by_kind[n][kind].cells("all")) for n in CLASSIFIERS]
        lines.append(f"| {kind} | {by_kind['segments'][kind].n['all']} | " + " | ".join(cells) + " |")
    print("\n".join(lines))
    print(f"\nreads: {tallies['segments'].n['all']} later values of {len(boards)} boards")
    for name, found in misses.items():
        for m in found:
            print(f"  miss {name}: {m}")


def timing(frames_dir, runs):
    with open(os.path.join(frames_dir, "zones.json"), encoding="utf-8") as f:
        frame = json.load(f)["frames"][0]
    image = cv2.imread(os.path.join(frames_dir, frame["file"]))
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "preview.jpg")
        cv2.imwrite(path, image, [cv2.IMWRITE_JPEG_QUALITY, 75])
        decoded = cv2.imread(path)
        print("\n| read_zones, 5 zones | segments (ms) | learned (ms) |\n|---|---:|---:|")
        for what, source in (("array", decoded), ("path", path)):
            cells = []
            for name in CLASSIFIERS:
                zones = [with_classifier(z, name) for z in frame["zones"]]
                cells.append(f"{median_ms(lambda: zonescan.read_zones(zones, source), runs):.3f}")
            print(f"| from the {what} | " + " | ".join(cells) + " |")
        print("\n| read_zones from the array, then trust_reading of each | segments (ms) | "
              "learned (ms) |\n|---|---:|---:|")
        for what, trust in (("the result alone", lambda r, z: zonescan.trust_reading(r)),
                            ("zone and image: re-reads and second opinion",
                             lambda r, z: zonescan.trust_reading(r, zone=z, image=decoded))):
            cells = []
            for name in CLASSIFIERS:
                zones = [with_classifier(z, name) for z in frame["zones"]]

                def read_and_trust():
                    for result, zone in zip(zonescan.read_zones(zones, decoded), zones):
                        trust(result, zone)
                cells.append(f"{median_ms(read_and_trust, runs):.3f}")
            print(f"| {what} | " + " | ".join(cells) + " |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=DEFAULT_DATA)
    parser.add_argument("--frames", default=FRAMES)
    parser.add_argument("--misses", type=int, default=0)
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--skip-accuracy", action="store_true")
    args = parser.parse_args()
    for name in ("data", "frames"):
        path = getattr(args, name)
        if not os.path.isdir(path):
            setattr(args, name, os.path.join(SHARED, os.path.basename(os.path.normpath(path))))
    if not args.skip_accuracy:
        accuracy(args.data, args.misses)
    timing(args.frames, args.runs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
