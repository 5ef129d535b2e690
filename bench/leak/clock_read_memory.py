"""Resident memory across many read_clock_from_crop calls on one 200x60 crop, with Python's own
allocations (tracemalloc) and the reference counts of the arguments beside it. Not a test.

  PYTHONPATH=build/release/python /usr/bin/python3 bench/leak/clock_read_memory.py [--calls 300000]

Prints RSS every --every calls. A leak of ours grows RSS (and, for Python objects, tracemalloc)
in proportion to the calls; allocator fragmentation settles after a warm-up."""
import argparse
import os
import sys
import time
import tracemalloc


sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "native_ocr", "tests"))
import clock_drawing  # noqa: E402
from native_ocr import zonescan as z  # noqa: E402


def rss_kib():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--calls", type=int, default=300000)
    parser.add_argument("--every", type=int, default=25000)
    parser.add_argument("--warmup", type=int, default=20000)
    parser.add_argument("--tracemalloc", action="store_true",
                        help="also trace Python allocations (slower)")
    args = parser.parse_args()
    crop = clock_drawing.draw_clock(200, 60, "1259", ":", slots=z.layout_for_role("clock", 200, 60))
    processing = {"threshold": 120}
    for _ in range(args.warmup):
        z.read_clock_from_crop(crop, "clock", processing)
    if args.tracemalloc:
        tracemalloc.start()
    counts = (sys.getrefcount(crop), sys.getrefcount(processing))
    base, start = rss_kib(), time.time()
    print(f"after {args.warmup} warm-up calls: RSS {base} KiB")
    for i in range(1, args.calls + 1):
        z.read_clock_from_crop(crop, "clock", processing)
        if i % args.every == 0:
            traced = f", traced {tracemalloc.get_traced_memory()[0]} B" if args.tracemalloc else ""
            now = rss_kib()
            print(f"{i:8d} calls: RSS {now} KiB ({(now - base) * 1024 / i:+.3f} B/call){traced}",
                  flush=True)
    after = (sys.getrefcount(crop), sys.getrefcount(processing))
    print(f"reference counts of crop and processing: {counts} -> {after}; "
          f"{args.calls / (time.time() - start):.0f} calls/s")


if __name__ == "__main__":
    main()
