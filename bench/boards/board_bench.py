"""Board sequences: how well each way of tuning a zone on a field's first value reads its later values.

usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/boards/board_bench.py [--data DIR]
       [--rows NAME,...] [--boards even|odd|tune|unseen|all] [--markdown FILE] [--misses N]
       [--records FILE]

Each board of the data set is one scoreboard field showing 4-6 values over a game. For every board
the frame is the whole crop of its first value (index 0) and the operator's zone is the whole crop
(x 0, y 0, width 1, height 1). A row's tuning turns that zone into a tuned zone on the first value
only; every later value is then read with the tuned zone through the reader of the board's role
(read_clock_from_image, read_score_from_image, read_period_from_image, read_single_digit_from_image).
A read is exact when it is valid and its value equals the label's expected value; valid but wrong
when it is valid with another value.

Halves: a generated test bed (make_boards.py) gives every board a split, "tune" or "unseen"; the
dev boards are split by board number (even / odd). The trust figures read each result with its
zone and image (trust_reading's one-pixel and threshold moves); the count of trusted wrong
readings whose digits are all 8 is printed after the table.

Rows: none (the loose zone, default settings), otsu (Otsu threshold of the first value's crop),
ideal (the display's true box from the label plus 8 % margin, Otsu threshold of that tight crop),
ideal_learned (the same zone read with the learned classifier),
blind and taught (calibrate_zone without and with the first expected value), ssocr (each later value
read on its own with the options of bench/ssocr_baseline.py). The trust figures are over the
blind and taught rows' readings.
"""

import argparse
import collections
import json
import os
import sys
import time

import cv2

from native_ocr import zonescan
from native_ocr.__main__ import read as read_zone  # the reader of the zone's role

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from ssocr_baseline import digits_only, run_ssocr  # noqa: E402

DEFAULT_DATA = os.path.join(os.path.dirname(__file__), "..", "..", "..", "shared", "bench-dev-boards")
WHOLE = {"x": 0.0, "y": 0.0, "width": 1.0, "height": 1.0}
ROWS = ("none", "otsu", "ideal", "ideal_learned", "blind", "taught", "ssocr")


def otsu(grey):
    value, _ = cv2.threshold(grey, 0, 255, cv2.THRESH_BINARY + cv2.THRESH_OTSU)
    return int(value)


def tune_none(image, label):
    return dict(WHOLE, role=label["role"])


def tune_otsu(image, label):
    grey = cv2.cvtColor(image, cv2.COLOR_BGR2GRAY)
    return dict(WHOLE, role=label["role"], processing={"threshold": otsu(grey)})


def tune_ideal(image, label):
    h, w = image.shape[:2]
    x1, y1, x2, y2 = label["digit_box"]
    mx, my = 0.08 * (x2 - x1), 0.08 * (y2 - y1)
    x1, y1 = max(0, int(round(x1 - mx))), max(0, int(round(y1 - my)))
    x2, y2 = min(w, int(round(x2 + mx))), min(h, int(round(y2 + my)))
    grey = cv2.cvtColor(image[y1:y2, x1:x2], cv2.COLOR_BGR2GRAY)
    processing = {"threshold": otsu(grey)}
    if label.get("light_board"):  # dark digits: ink is what falls under Otsu's threshold
        processing = {"threshold": 254 - otsu(255 - grey), "invert": True}
    return {"x": x1 / w, "y": y1 / h, "width": (x2 - x1) / w, "height": (y2 - y1) / h,
            "role": label["role"], "processing": processing}


def tune_ideal_learned(image, label):
    zone = tune_ideal(image, label)
    zone["processing"]["classifier"] = "learned"
    return zone


def tune_blind(image, label):
    return zonescan.calibrate_zone(dict(WHOLE, role=label["role"]), image, role=label["role"])["zone"]


def tune_taught(image, label):
    return zonescan.calibrate_zone(dict(WHOLE, role=label["role"]), image, role=label["role"],
                                   expected=label["expected"])["zone"]


LABELS = {"none": "not at all (the loose zone, default settings)",
          "otsu": "Otsu threshold of the first value's crop, loose zone",
          "ideal": "ideal operator: true box + 8 % margin, Otsu of that tight crop",
          "ideal_learned": "ideal operator's zone, learned classifier",
          "blind": "calibrate_zone, blind", "taught": "calibrate_zone, taught the first value",
          "ssocr": "ssocr, each value on its own (digits compared; a colon read as 1 dropped)"}

TUNINGS = {"none": tune_none, "otsu": tune_otsu, "ideal": tune_ideal,
           "ideal_learned": tune_ideal_learned, "blind": tune_blind,
           "taught": tune_taught}


def ssocr_value(path):
    status, text = run_ssocr(path)
    return text if status == 0 else None


def ssocr_outcome(path, kind, expected):
    """(exact, valid but wrong): ssocr has no colon and reads it as nothing or a 1; a colon clock is
    compared on its digits, with a middle 1 dropped."""
    text = ssocr_value(path)
    if not text or not digits_only(text):
        return False, False
    want = digits_only(str(expected))
    got = digits_only(text)
    if kind == "clock_colon" and got != want and len(got) == len(want) + 1 and got[-3] == "1":
        got = got[:-3] + got[-2:]
    if kind == "clock_tenths":
        exact = text.replace(" ", "") == str(expected)
    else:
        exact = got == want
    return exact, not exact


def board_groups(labels):
    boards = collections.defaultdict(list)
    for label in labels:
        boards[label["board"]].append(label)
    return {b: sorted(v, key=lambda l: l["index"]) for b, v in sorted(boards.items())}


def half_of(label):
    """The board's half: the split its generator gave it ("tune" or "unseen"), else by board
    number parity (the dev boards)."""
    split = label.get("split")
    if split in ("tune", "unseen"):
        return split
    return "even" if label["board"] % 2 == 0 else "odd"


def all_lit(value):
    """Whether every digit of a reading's value is an 8 (every segment lit)."""
    digits = [c for c in str(value) if c.isdigit()]
    return bool(digits) and all(c == "8" for c in digits)


class Tally:
    def __init__(self):
        self.n = collections.Counter()
        self.exact = collections.Counter()
        self.wrong = collections.Counter()

    def add(self, half, exact, wrong):
        for key in (half, "all"):
            self.n[key] += 1
            self.exact[key] += exact
            self.wrong[key] += wrong

    def cells(self, key):
        n = max(1, self.n[key])
        return f"{100.0 * self.exact[key] / n:.1f} %", f"{100.0 * self.wrong[key] / n:.1f} %"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=DEFAULT_DATA)
    parser.add_argument("--rows", default=",".join(ROWS))
    parser.add_argument("--boards", choices=("even", "odd", "tune", "unseen", "all"),
                        default="all")
    parser.add_argument("--markdown", help="write the table to this file")
    parser.add_argument("--misses", type=int, default=0, help="print up to N misses per row")
    parser.add_argument("--records", help="write one JSON line per read here (row, label, result)")
    args = parser.parse_args()
    rows = args.rows.split(",")

    with open(os.path.join(args.data, "labels.jsonl")) as f:
        labels = [json.loads(line) for line in f]
    boards = board_groups(labels)
    if args.boards != "all":
        boards = {b: v for b, v in boards.items() if half_of(v[0]) == args.boards}
    halves = sorted({half_of(v[0]) for v in boards.values()}, key=lambda h: h in ("odd", "unseen"))
    halves = (halves + ["-", "-"])[:2]
    all_lit_trusted = collections.Counter()

    tallies = {name: Tally() for name in rows}
    trust = {name: Tally() for name in ("blind", "taught") if name in rows}
    trusted_wrong = {name: Tally() for name in trust}
    tune_ms = collections.defaultdict(list)
    misses = collections.defaultdict(list)
    records = open(args.records, "w") if args.records else None
    for board, seq in boards.items():
        half = half_of(seq[0])
        images = [cv2.imread(os.path.join(args.data, l["file"]), cv2.IMREAD_COLOR) for l in seq]
        for name in rows:
            if name == "ssocr":
                for label in seq[1:]:
                    exact, wrong = ssocr_outcome(os.path.join(args.data, label["file"]), label["kind"],
                                                 label["expected"])
                    tallies[name].add(half, exact, wrong)
                continue
            began = time.perf_counter()
            zone = TUNINGS[name](images[0], seq[0])
            tune_ms[name].append(1000.0 * (time.perf_counter() - began))
            for label, image in zip(seq[1:], images[1:]):
                result = read_zone(zone, image)
                exact = bool(result["valid"]) and result["value"] == label["expected"]
                wrong = bool(result["valid"]) and not exact
                tallies[name].add(half, exact, wrong)
                if not exact and len(misses[name]) < args.misses:
                    misses[name].append((label["file"], label["expected"], result["value"],
                                         result["reason"]))
                trusted = zonescan.trust_reading(result, zone=zone, image=image)["trusted"]
                if records:
                    records.write(json.dumps({"row": name, "label": label, "valid": result["valid"],
                                              "value": result["value"], "trusted": trusted,
                                              "exact": exact}) + "\n")
                if name in trust:
                    if exact:  # coverage: the share of correct readings that are trusted
                        trust[name].add(half, trusted, False)
                    if trusted:  # precision: the share of trusted readings that are wrong
                        trusted_wrong[name].add(half, False, not exact)
                        all_lit_trusted[name] += all_lit(result["value"]) and not exact
        print(f"board {board} done", file=sys.stderr, flush=True)

    first, second = halves
    lines = [f"| how the zone is tuned on the first value | exact ({first} boards) | wrong ({first}) "
             f"| exact ({second} boards) | wrong ({second}) | exact (all) | valid but wrong (all) "
             "| tuning ms (median / max) |",
             "|---|---:|---:|---:|---:|---:|---:|---:|"]
    for name in rows:
        t = tallies[name]
        ms = sorted(tune_ms[name])
        med = f"{ms[len(ms) // 2]:.1f} / {ms[-1]:.1f}" if ms else ""
        lines.append(f"| {LABELS[name]} | " +
                     " | ".join(t.cells(first) + t.cells(second) + t.cells("all")) + f" | {med} |")
    for name in trust:
        cells = []
        for key in (first, second, "all"):
            cells += [trust[name].cells(key)[0], trusted_wrong[name].cells(key)[1]]
        lines.append(f"| trusted only, {name}: correct readings trusted / wrong among trusted | " +
                     " | ".join(cells) + " | |")
    table = "\n".join(lines)
    print(table)
    print(f"\nreads: {tallies[rows[0]].n['all']} later values of {len(boards)} boards")
    for name in trust:
        print(f"wrong readings of all-lit cells trusted, {name}: {all_lit_trusted[name]}")
    for name, rows_ in misses.items():
        for m in rows_:
            print(f"  miss {name}: {m}")
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(table + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
