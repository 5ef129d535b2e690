"""Accuracy and speed of the zone reader on the labelled scoreboard crops, beside ssocr.

usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/accuracy/accuracy.py [--data DIR]
       [--limit N] [--markdown FILE]

For every crop (clocks with a colon or a decimal point, two-digit scores, single digits) the reader
of its kind runs on the crop as cut: once with the default settings, once with a per-crop automatic
threshold (Otsu's threshold of the grey crop). Each read is timed. ssocr runs on the same files with
the options of bench/ssocr_baseline.py, chosen on these crops; it has no colon, so a colon clock
also gets a second chance with the middle character ssocr reads for the colon dropped.
"""

import argparse
import collections
import json
import os
import sys
import time

import cv2
import numpy as np

from native_ocr import zonescan

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from ssocr_baseline import SSOCR_OPTIONS, digits_only, run_ssocr  # noqa: E402

DEFAULT_DATA = os.path.join(os.path.dirname(__file__), "..", "..", "..", "shared", "bench-dev")
KINDS = ("clock_colon", "clock_tenths", "score", "digit")


def read(kind, role, crop, processing):
    if kind.startswith("clock"):
        return zonescan.read_clock_from_crop(crop, role=role, processing=processing)
    if kind == "score":
        return zonescan.read_score_from_crop(crop, role=role, processing=processing)
    if role in zonescan.SINGLE_DIGIT_ROLES:
        return zonescan.read_single_digit_from_crop(crop, role=role, processing=processing)
    return zonescan.read_period_from_crop(crop, processing=processing)


def otsu_threshold(crop):
    grey = cv2.cvtColor(crop, cv2.COLOR_BGR2GRAY)
    value, _ = cv2.threshold(grey, 0, 255, cv2.THRESH_BINARY + cv2.THRESH_OTSU)
    return int(value)


def ssocr(path, kind, expected):
    _, text = run_ssocr(path)
    plain = digits_only(text) == digits_only(expected)
    fixed = plain
    if not plain and kind == "clock_colon" and len(text) >= 4 and text[-3] == "1":
        fixed = digits_only(text[:-3] + text[-2:]) == digits_only(expected)
    return plain, fixed


def percentile(values, p):
    return float(np.percentile(values, p)) if values else float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=DEFAULT_DATA)
    parser.add_argument("--limit", type=int, default=0, help="only the first N crops")
    parser.add_argument("--markdown", help="write the table to this file")
    args = parser.parse_args()

    with open(os.path.join(args.data, "labels.jsonl")) as f:
        labels = [json.loads(line) for line in f]
    if args.limit:
        labels = labels[: args.limit]

    count = collections.Counter()
    hits = {name: collections.Counter() for name in ("default", "auto", "ssocr", "ssocr_colon")}
    times = collections.defaultdict(list)
    misses = collections.defaultdict(list)
    for i, label in enumerate(labels):
        kind, role, expected = label["kind"], label["role"], str(label["expected"])
        path = os.path.join(args.data, label["file"])
        crop = cv2.imread(path, cv2.IMREAD_COLOR)
        count[kind] += 1
        for name, processing in (("default", None), ("auto", {"threshold": otsu_threshold(crop)})):
            began = time.perf_counter()
            result = read(kind, role, crop, processing)
            times[kind].append(time.perf_counter() - began)
            value = result.get("value")
            ok = value is not None and str(value) == expected
            hits[name][kind] += ok
            if not ok and name == "auto":
                misses[kind].append((label["file"], expected, value, result.get("reason")))
        plain, fixed = ssocr(path, kind, expected)
        hits["ssocr"][kind] += plain
        hits["ssocr_colon"][kind] += fixed
        if (i + 1) % 100 == 0:
            print(f"accuracy: {i + 1}/{len(labels)} crops", file=sys.stderr, flush=True)

    rows = ["| kind | crops | default settings | automatic threshold | ssocr | ssocr, colon read as 1 dropped "
            "| median read (ms) | p95 read (ms) |",
            "|---|---|---|---|---|---|---|---|"]
    total = sum(count.values())
    for kind in KINDS + ("all",):
        kinds = KINDS if kind == "all" else (kind,)
        n = sum(count[k] for k in kinds)
        if not n:
            continue
        cells = [f"{100.0 * sum(hits[h][k] for k in kinds) / n:.1f} %"
                 for h in ("default", "auto", "ssocr", "ssocr_colon")]
        t = [x * 1000 for k in kinds for x in times[k]]
        rows.append(f"| {kind} | {n} | " + " | ".join(cells) +
                    f" | {percentile(t, 50):.3f} | {percentile(t, 95):.3f} |")
    table = "\n".join(rows)
    print(table)
    print(f"\nssocr options: ssocr {' '.join(SSOCR_OPTIONS)} IMAGE ({total} crops)")
    for kind in KINDS:
        for miss in misses[kind][:5]:
            print(f"  miss {kind}: {miss}")
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(table + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
