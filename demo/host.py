"""Plays the host's part in the demo: polls a bridge's preview and status files, reads all the zones
of the scoreboard with one native_ocr.zonescan.read_zones call per new preview and prints one line
per preview, then a summary.

usage: host.py --root DIR --zones FILE --bridge srt|ndi --start EPOCH --seconds N
"""

import argparse
import json
import os
import sys
import time

import scoreboard
from native_ocr import zonescan

# The zones read, in the order of each line; read_zones picks each zone's reader by its role.
READERS = ("clock", "home_score", "guest_score", "period")

# How far back (and ahead) of the wall clock a preview may show: encoding, SRT latency, decoding and
# the preview's own pacing all delay it.
LOOKBACK, LOOKAHEAD, STEP = 2.5, 0.3, 0.02


def read_status(path):
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


def plausible_values(video_time):
    """Every value each zone showed during the window a preview taken now may come from."""
    values = {name: set() for name in READERS}
    t = max(0.0, video_time - LOOKBACK)
    while t <= video_time + LOOKAHEAD:
        for name, value in scoreboard.expected(t).items():
            values[name].add(value)
        t += STEP
    return values


def reading_text(result):
    value = result.get("value")
    return None if value is None else str(value)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True, help="host root holding app/static/")
    parser.add_argument("--zones", required=True, help="JSON file of zones (fractions of the frame)")
    parser.add_argument("--bridge", choices=("srt", "ndi"), default="srt")
    parser.add_argument("--start", type=float, required=True, help="wall time of video time 0")
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--summary", help="also write the summary as JSON to this file")
    args = parser.parse_args()

    static = os.path.join(args.root, "app", "static")
    prefix = "srt" if args.bridge == "srt" else "ndi"
    preview = os.path.join(static, f"{prefix}_preview.jpg")
    status_path = os.path.join(static, f"{prefix}_status.json")
    with open(args.zones, encoding="utf-8") as f:
        zones = json.load(f)

    previews = 0
    readings = {name: 0 for name in READERS}
    valid = {name: 0 for name in READERS}
    agreed = {name: 0 for name in READERS}
    read_seconds = []
    last_stamp = None
    deadline = time.time() + args.seconds
    while time.time() < deadline:
        try:
            st = os.stat(preview)
            stamp = (st.st_ino, st.st_mtime_ns)
        except OSError:
            stamp = None
        if stamp is None or stamp == last_stamp:
            time.sleep(0.02)
            continue
        last_stamp = stamp
        now = time.time()
        status = read_status(status_path)
        plausible = plausible_values(now - args.start)
        fields = []
        began = time.perf_counter()
        results = zonescan.read_zones([zones[name] for name in READERS], preview)
        read_seconds.append(time.perf_counter() - began)
        for name, result in zip(READERS, results):
            text = reading_text(result)
            readings[name] += 1
            ok = bool(result.get("valid"))
            valid[name] += ok
            match = ok and text in plausible[name]
            agreed[name] += match
            mark = "=" if match else ("?" if ok else "-")
            fields.append(f"{name}={text if text is not None else '-'}{mark}")
        previews += 1
        state = status.get("state", status.get("receiver_state", "?"))
        print(f"{now - args.start:7.2f}s {state:<10} " + " ".join(fields),
              flush=True)

    total_readings = sum(readings.values())
    total_valid = sum(valid.values())
    total_agreed = sum(agreed.values())
    read_seconds.sort()
    median_ms = read_seconds[len(read_seconds) // 2] * 1000 if read_seconds else 0.0
    print(f"summary: {previews} previews read, {total_valid}/{total_readings} readings valid, "
          f"{total_agreed}/{total_readings} agreed with the rendered scoreboard; "
          f"median read of a preview's {len(READERS)} zones {median_ms:.2f} ms", flush=True)
    for name in READERS:
        print(f"  {name:<12} valid {valid[name]}/{readings[name]}, agreed {agreed[name]}/{readings[name]}")
    if args.summary:
        with open(args.summary, "w", encoding="utf-8") as f:
            json.dump({"previews": previews, "readings": readings, "valid": valid,
                       "agreed": agreed}, f)
    return 0


if __name__ == "__main__":
    sys.exit(main())
