"""Real displays: how each way of setting a zone up on a display's first value reads its later
values, per case ("box": the image is a box drawn around the display; "photo": the whole picture).

usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/displays/display_bench.py [--data DIR]
       [--split tune|unseen|all] [--rows NAME,...] [--markdown FILE]

Rows: default (the whole image as the zone, default settings), told (the display's true box plus
8 %, Otsu threshold of it, and the truth of make_displays.py: polarity, slant, clock_cells), blind
and taught (calibrate_zone without and with the first value). Per row and case: exact %, valid but
wrong %, trusted % (of all readings), wrong among trusted %, and the all-eights readings trusted.
"""

import argparse
import collections
import json
import os
import sys

import cv2

from native_ocr import zonescan
from native_ocr.__main__ import read as read_zone  # the reader of the zone's role

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "boards"))
import board_bench  # noqa: E402  (the ideal operator, the tunings)

DEFAULT_DATA = os.path.join(os.environ.get("XDG_CACHE_HOME", "/tmp"), "zonescan-displays")
WHOLE = {"x": 0.0, "y": 0.0, "width": 1.0, "height": 1.0}
ROWS = ("default", "told", "blind", "taught")
CASES = ("box", "photo")


def tune_default(image, label):
    return dict(WHOLE, role=label["role"])


def tune_told(image, label):
    """The boards bench's ideal operator (true box + 8 %, Otsu), told the display's truth."""
    zone = board_bench.tune_ideal(image, label)
    truth = label["truth"]
    if truth["polarity"] == "dark":  # Otsu's threshold of the negative the reader will see
        h, w = image.shape[:2]
        x1, y1 = int(round(zone["x"] * w)), int(round(zone["y"] * h))
        x2, y2 = x1 + int(round(zone["width"] * w)), y1 + int(round(zone["height"] * h))
        grey = cv2.cvtColor(image[y1:y2, x1:x2], cv2.COLOR_BGR2GRAY)
        zone["processing"] = {"threshold": board_bench.otsu(255 - grey)}
    zone["processing"].update(truth)
    return zone


TUNINGS = {"default": tune_default, "told": tune_told, "blind": board_bench.tune_blind,
           "taught": board_bench.tune_taught}


def groups(labels, split):
    out = collections.defaultdict(list)
    for label in labels:
        if split in ("all", label["split"]):
            out[(label["display"], label["case"])].append(label)
    return {k: sorted(v, key=lambda l: l["index"]) for k, v in sorted(out.items())}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=DEFAULT_DATA)
    parser.add_argument("--split", choices=("tune", "unseen", "all"), default="tune")
    parser.add_argument("--rows", default=",".join(ROWS))
    parser.add_argument("--markdown")
    args = parser.parse_args()
    rows = args.rows.split(",")
    with open(os.path.join(args.data, "labels.jsonl")) as f:
        labels = [json.loads(line) for line in f]
    n = collections.Counter()
    for (display, case), seq in groups(labels, args.split).items():
        images = [cv2.imread(os.path.join(args.data, l["file"]), cv2.IMREAD_COLOR) for l in seq]
        for name in rows:
            zone = TUNINGS[name](images[0], seq[0])
            for label, image in zip(seq[1:], images[1:]):
                result = read_zone(zone, image)
                exact = bool(result["valid"]) and result["value"] == label["expected"]
                trusted = zonescan.trust_reading(result, zone=zone, image=image)["trusted"]
                key = (name, case)
                n[key + ("n",)] += 1
                n[key + ("exact",)] += exact
                n[key + ("wrong",)] += bool(result["valid"]) and not exact
                n[key + ("trusted",)] += bool(trusted)
                n[key + ("trusted_wrong",)] += bool(trusted) and not exact
                n[key + ("eights",)] += bool(trusted) and not exact and board_bench.all_lit(result["value"])
    lines = [f"| row ({args.split} half) | case | N | exact | valid but wrong | trusted "
             "| wrong among trusted | all-eights trusted |", "|---|---|---:|---:|---:|---:|---:|---:|"]
    for name in rows:
        for case in CASES:
            k = (name, case)
            total, trusted = max(1, n[k + ("n",)]), n[k + ("trusted",)]
            pct = lambda v, d: f"{100.0 * v / max(1, d):.1f} %"  # noqa: E731
            lines.append(f"| {name} | {case} | {n[k + ('n',)]} | {pct(n[k + ('exact',)], total)} | "
                         f"{pct(n[k + ('wrong',)], total)} | {pct(trusted, total)} | "
                         f"{pct(n[k + ('trusted_wrong',)], trusted)} | {n[k + ('eights',)]} |")
    table = "\n".join(lines)
    print(table)
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(table + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
