"""Plays a host that reads nothing itself: it watches the bridge's readings document (every zone of
every decoded frame, read inside the bridge), prints one line about every half second, and closes
with a summary: frames read of frames decoded, agreement per zone at every frame it saw (and how
many valid readings were trusted, and of those how many did not agree), distinct
tenths seen of those shown on screen, `shown` values that were ever wrong, and the document's
latency (median and 95th percentile).

usage: readings_host.py --root DIR --bridge srt|ndi --fps N --seconds N [--summary FILE]
"""

import argparse
import json
import os
import statistics
import sys
import time

import scoreboard

READERS = ("clock", "home_score", "guest_score", "period", "home_shots")
POLL = 0.002  # seconds between looks at the document: well under a frame
# How long `shown` may lag the screen: a value is believed a few frames after it appears, a clock
# that jumped after it has run on for a while.
SHOWN_LAG = 1.0
# The first seconds of a stream come in a burst: the packets read while the stream was probed.
STARTUP = 2.0


def load(path):
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def values_between(start, end, step):
    """Every value each zone showed in the video time window [start, end]."""
    seen = {name: set() for name in READERS}
    t = max(0.0, start)
    while t <= end + 1e-9:
        shown = scoreboard.expected(t)
        for name in READERS:
            seen[name].add(shown[scoreboard.SAME_AS.get(name, name)])
        t += step
    return seen


def text(value):
    return None if value is None else str(value)


class Watch:
    """What the host saw of the readings documents."""

    def __init__(self, fps):
        self.fps = fps
        self.docs = 0
        self.first = None  # (frame, pts_s) of the first document: video time 0 is frame 1
        self.dropped_at_start = 0
        self.last = None
        self.agreed = {name: 0 for name in READERS}
        self.valid = {name: 0 for name in READERS}
        self.trusted = {name: 0 for name in READERS}
        self.trusted_wrong = {name: 0 for name in READERS}
        self.tenths_read = set()
        self.span = None  # the video times of the first and last documents
        self.wrong_shown = {name: set() for name in READERS}
        self.latencies = []

    def video_time(self, doc):
        frame, pts = self.first
        return (frame - 1) / self.fps + (doc["pts_s"] - pts)

    def add(self, doc):
        if self.first is None:
            self.first = (doc["frame"], doc["pts_s"])
            self.started = time.monotonic()
        if time.monotonic() - self.started < STARTUP:
            self.dropped_at_start = doc["frames_dropped"]
        self.docs += 1
        self.last = doc
        self.latencies.append(doc["latency_ms"])
        t = self.video_time(doc)
        half_frame = 0.5 / self.fps
        now = values_between(t - half_frame, t + half_frame, half_frame)
        recent = values_between(t - SHOWN_LAG, t + half_frame, half_frame)
        self.span = (self.span[0] if self.span else t, t)
        for reading in doc["readings"]:
            name = reading["name"]
            if name not in self.agreed:
                continue
            value = text(reading["value"])
            self.valid[name] += bool(reading["valid"])
            self.agreed[name] += reading["valid"] and value in now[name]
            if reading["valid"] and reading["trusted"]:
                self.trusted[name] += 1
                self.trusted_wrong[name] += value not in now[name]
            if name == "clock" and value and "." in value and value in now[name]:
                self.tenths_read.add(value)
            shown = text(reading["shown"])
            if shown is not None and shown not in recent[name]:
                self.wrong_shown[name].add(shown)
        return t


def tenths_on_screen(watch):
    """Every tenths value the clock showed on the frames between the first and the last document.
    A frame is taken a quarter frame early: a tenth changes exactly on every third frame at 30 fps,
    where the renderer's rounding and ours may differ."""
    if watch.span is None:
        return set()
    values, t = set(), watch.span[0]
    while t <= watch.span[1] + 1e-6:
        values.add(scoreboard.clock_text(t - 0.25 / watch.fps))
        t += 1.0 / watch.fps
    return {v for v in values if "." in v}


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def summary(watch):
    last = watch.last or {"frame": 0, "frames_read": 0, "frames_dropped": 0}
    lines = [f"summary: {last['frames_read']} frames read of {last['frame']} decoded "
             f"({last['frames_dropped']} dropped, {watch.dropped_at_start} of them in the first "
             f"{STARTUP:.0f} s); {watch.docs} documents seen by the host"]
    for name in READERS:
        lines.append(f"  {name:<12} agreed {watch.agreed[name]}/{watch.docs}, "
                     f"valid {watch.valid[name]}/{watch.docs}, trusted {watch.trusted[name]} "
                     f"({watch.trusted_wrong[name]} wrong), wrong shown: "
                     f"{sorted(watch.wrong_shown[name]) or 'none'}")
    on_screen = tenths_on_screen(watch)
    missed = sorted(on_screen - watch.tenths_read, key=float, reverse=True)
    lines.append(f"  tenths: {len(watch.tenths_read & on_screen)} distinct seen "
                 f"of {len(on_screen)} shown" +
                 (f" (missed {' '.join(missed[:12])})" if missed else ""))
    if watch.latencies:
        lines.append(f"  latency: median {statistics.median(watch.latencies):.2f} ms, "
                     f"95th percentile {percentile(watch.latencies, 95):.2f} ms")
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True, help="host root holding app/static/")
    parser.add_argument("--bridge", choices=("srt", "ndi"), default="srt")
    parser.add_argument("--fps", type=float, default=30.0, help="the video's frame rate")
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--summary", help="also write the summary as JSON to this file")
    args = parser.parse_args()

    path = os.path.join(args.root, "app", "static", f"{args.bridge}_readings.json")
    watch = Watch(args.fps)
    last_stamp, last_line = None, 0.0
    deadline = time.time() + args.seconds
    while time.time() < deadline:
        try:
            st = os.stat(path)
            stamp = (st.st_ino, st.st_mtime_ns)
        except OSError:
            stamp = None
        doc = load(path) if stamp is not None and stamp != last_stamp else None
        if doc is None:
            time.sleep(POLL)
            continue
        last_stamp = stamp
        t = watch.add(doc)
        if time.time() - last_line >= 0.5:
            last_line = time.time()
            fields = " ".join(f"{r['name']}={text(r['value'])}{'=' if r['stable'] else '~'}"
                              f"[{text(r['shown'])}]" for r in doc["readings"])
            print(f"{t:7.2f}s frame {doc['frame']:5d} {doc['latency_ms']:6.2f} ms {fields}",
                  flush=True)
    for line in summary(watch):
        print(line, flush=True)
    if args.summary:
        last = watch.last or {}
        with open(args.summary, "w", encoding="utf-8") as f:
            json.dump({"frames_read": last.get("frames_read", 0), "frames": last.get("frame", 0),
                       "frames_dropped": last.get("frames_dropped", 0), "documents": watch.docs,
                       "agreed": watch.agreed, "valid": watch.valid,
                       "trusted": watch.trusted, "trusted_wrong": watch.trusted_wrong,
                       "tenths_seen": len(watch.tenths_read & tenths_on_screen(watch)),
                       "tenths_shown": len(tenths_on_screen(watch)),
                       "wrong_shown": {k: sorted(v) for k, v in watch.wrong_shown.items()},
                       "latency_ms": watch.latencies}, f)
    return 0


if __name__ == "__main__":
    sys.exit(main())
