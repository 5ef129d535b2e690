"""Every zone, reading and trust dictionary of board_bench's rows, written out to be compared
between two builds field by field (a speed change must leave them all as they were).

usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/boards/trust_records.py write FILE
           [--data DIR ...] [--rows ideal,ideal_learned,blind,taught]
       /usr/bin/python3 bench/boards/trust_records.py compare FILE_A FILE_B

write: for every board of each --data bed (default /tmp/zonescan-boards and the dev boards), each
row tunes a zone on the first value as board_bench.py does, reads every later value with it and
asks trust_reading(result, zone=zone, image=image); one JSON line per read holds the tuned zone,
the whole result dictionary and the whole trust dictionary (floats as Python writes them: exact).
compare: the lines of two files, key by key; prints the first differences and the count, and
exits 1 when any differ.
"""

import argparse
import json
import os
import sys

BEDS = ("/tmp/zonescan-boards", "/work/shared/bench-dev-boards")


def plain(value):
    """The value as JSON can hold it: arrays as nested lists, tuples as lists."""
    if isinstance(value, dict):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    if hasattr(value, "tolist"):
        return value.tolist()
    return value


def write(path, beds, rows):
    import cv2
    sys.path.insert(0, os.path.dirname(__file__))
    from board_bench import TUNINGS, board_groups
    from native_ocr import zonescan
    from native_ocr.__main__ import read as read_zone  # the reader of the zone's role
    with open(path, "w", encoding="utf-8") as out:
        for data in beds:
            with open(os.path.join(data, "labels.jsonl"), encoding="utf-8") as f:
                boards = board_groups([json.loads(line) for line in f])
            for board, seq in boards.items():
                images = [cv2.imread(os.path.join(data, l["file"]), cv2.IMREAD_COLOR) for l in seq]
                for name in rows:
                    zone = TUNINGS[name](images[0], seq[0])
                    for label, image in zip(seq[1:], images[1:]):
                        result = read_zone(zone, image)
                        trust = zonescan.trust_reading(result, zone=zone, image=image)
                        out.write(json.dumps({"bed": os.path.basename(data), "row": name,
                                              "file": label["file"], "zone": plain(zone),
                                              "result": plain(result),
                                              "trust": plain(trust)}, sort_keys=True) + "\n")
                print(f"{os.path.basename(data)} board {board} done", file=sys.stderr, flush=True)


def differences(a, b, where=""):
    if isinstance(a, dict) and isinstance(b, dict):
        for key in sorted(set(a) | set(b)):
            if key not in a or key not in b:
                yield f"{where}.{key}: only in {'second' if key in b else 'first'}"
            else:
                yield from differences(a[key], b[key], f"{where}.{key}")
    elif isinstance(a, list) and isinstance(b, list) and len(a) == len(b):
        for i, (x, y) in enumerate(zip(a, b)):
            yield from differences(x, y, f"{where}[{i}]")
    elif type(a) is not type(b) or a != b:
        yield f"{where}: {a!r} != {b!r}"


def compare(first, second):
    with open(first, encoding="utf-8") as f, open(second, encoding="utf-8") as g:
        lines_a, lines_b = f.readlines(), g.readlines()
    if len(lines_a) != len(lines_b):
        print(f"{len(lines_a)} records against {len(lines_b)}")
        return 1
    differing = 0
    for line_a, line_b in zip(lines_a, lines_b):
        a, b = json.loads(line_a), json.loads(line_b)
        found = list(differences(a, b))
        if found:
            differing += 1
            if differing <= 10:
                print(f"{a['bed']} {a['row']} {a['file']}: " + "; ".join(found[:5]))
    print(f"{len(lines_a)} records, {differing} differing")
    return 1 if differing else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    w = sub.add_parser("write")
    w.add_argument("file")
    w.add_argument("--data", action="append")
    w.add_argument("--rows", default="ideal,ideal_learned,blind,taught")
    c = sub.add_parser("compare")
    c.add_argument("first")
    c.add_argument("second")
    args = parser.parse_args()
    if args.command == "compare":
        return compare(args.first, args.second)
    write(args.file, args.data or BEDS, args.rows.split(","))
    return 0


if __name__ == "__main__":
    sys.exit(main())
