#!/usr/bin/python3
"""Break board_bench readings down by the board's look (its rendering parameters).

usage: /usr/bin/python3 bench/boards/by_look.py RECORDS [--rows NAME,...] [--half tune|unseen|all]
       [--markdown FILE]

RECORDS is the file board_bench.py --records wrote (one JSON line per later value read). Each look
is a set of boards picked by their label (digit height, face, ghosts, over-exposure, polarity,
clutter, field kind); a board can be in several looks. Prints, per look, the number of reads and
each row's exact / valid-but-wrong share.
"""
import argparse
import collections
import json
import sys


def _clutter(label, kind):
    return kind in (label.get("clutter") or [])


LOOKS = (
    ("digits under 18 px", lambda l: l["digit_height"] < 18),
    ("digits 18-23 px", lambda l: 18 <= l["digit_height"] < 24),
    ("digits 24 px and over", lambda l: l["digit_height"] >= 24),
    ("Mini faces", lambda l: "Mini" in l["font"]),
    ("full faces", lambda l: "Mini" not in l["font"]),
    ("Light faces", lambda l: "Light" in l["font"]),
    ("italic faces", lambda l: "Italic" in l["font"]),
    ("ghosts above 0.15", lambda l: l["ghost"] > 0.15),
    ("over-exposure above 0.5", lambda l: l["overexposure"] > 0.5),
    ("light boards", lambda l: bool(l.get("light_board"))),
    ("a label beside the digits", lambda l: _clutter(l, "label")),
    ("a housing outline", lambda l: _clutter(l, "edge")),
    ("a neighbouring field", lambda l: _clutter(l, "neighbour")),
    ("clocks with a colon", lambda l: l["kind"] == "clock_colon"),
    ("seconds.tenths clocks", lambda l: l["kind"] == "clock_tenths"),
    ("scores", lambda l: l["role"].endswith("_score")),
    ("single digits", lambda l: l["role"] == "period"),
    ("every board", lambda l: True),
)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("records")
    parser.add_argument("--rows", help="rows to show (default: every row in the file)")
    parser.add_argument("--half", choices=("tune", "unseen", "all"), default="all")
    parser.add_argument("--markdown", help="write the table to this file")
    args = parser.parse_args()
    reads = collections.defaultdict(list)
    with open(args.records) as f:
        for line in f:
            r = json.loads(line)
            if args.half != "all" and r["label"].get("split") != args.half:
                continue
            reads[r["row"]].append(r)
    rows = args.rows.split(",") if args.rows else sorted(reads)
    head = "| look | reads | " + " | ".join(f"{n} exact | {n} wrong" for n in rows) + " |"
    lines = [head, "|---|---:|" + "---:|" * (2 * len(rows))]
    for name, pick in LOOKS:
        cells, n = [], 0
        for row in rows:
            chosen = [r for r in reads[row] if pick(r["label"])]
            n = len(chosen)
            exact = sum(r["exact"] for r in chosen)
            wrong = sum(bool(r["valid"]) and not r["exact"] for r in chosen)
            cells += [f"{100.0 * exact / max(1, n):.1f} %", f"{100.0 * wrong / max(1, n):.1f} %"]
        if n:
            lines.append(f"| {name} | {n} | " + " | ".join(cells) + " |")
    table = "\n".join(lines)
    print(table)
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(table + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
