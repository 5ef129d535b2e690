"""Per-call timings of native_ocr.segsense.read_slots and native_ocr.zonescan.read_score_from_crop,
beside the same readers written with numpy (and cv2) in Python. Prints a Markdown table (median of
many timed batches).

  cmake --build <build> --target segsense_bench
  PYTHONPATH=<build>/python /usr/bin/python3 bench/segsense/segsense_bench.py [--quick]
"""
import argparse
import os
import statistics
import sys
import time

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "native_ocr", "tests"))
import segsense_drawing as drawing  # noqa: E402
import segsense_reference as ref  # noqa: E402
import zonescan_reference as zref  # noqa: E402
from native_ocr import segsense, zonescan  # noqa: E402

LAYOUT = [{"kind": "digit", "slot": i, "box": [i * 50, 0, i * 50 + 49, 59]} for i in range(4)]


def four_cell_display():
    return drawing.digit_display([1, None, 4, 8], cell_width=50, height=60, margin=8, stroke=5)


def score_crop():
    grey = drawing.digit_display([2, 7], cell_width=40, height=50, margin=5, stroke=4)
    crop = np.zeros((50, 80, 3), np.uint8)
    crop[grey > 0] = (40, 200, 255)
    return crop


def numpy_score_reader(crop):
    """read_score_from_crop written with cv2 and numpy: prepare, lay out, classify, decide."""
    binary = zref.process_image(crop)
    h, w = binary.shape[:2]
    layout = [{"kind": "digit", "slot": i, "box": [round(w * i / 2), 0, round(w * (i + 1) / 2) - 1,
                                                    h - 1]} for i in range(2)]
    tens, units = ref.read_slots(binary, layout)
    if units["status"] != "digit":
        return None
    if tens["status"] == "empty":
        return units["char"]
    return 10 * tens["char"] + units["char"] if tens["status"] == "digit" else None


def per_call_us(fn, batches, per_batch, clock=time.perf_counter_ns):
    """Median over batches of the mean time of one call, in microseconds (wall clock by default;
    time.process_time_ns gives the CPU time, less disturbed by other work on the machine)."""
    fn()
    times = []
    for _ in range(batches):
        start = clock()
        for _ in range(per_batch):
            fn()
        times.append((clock() - start) / per_batch / 1000.0)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer batches (a smoke run)")
    args = parser.parse_args()
    batches = 5 if args.quick else 41
    display, crop = four_cell_display(), score_crop()
    assert segsense.read_slots(display, LAYOUT) == ref.read_slots(display, LAYOUT)
    assert zonescan.read_score_from_crop(crop)["value"] == numpy_score_reader(crop) == 27
    rows = [
        ("read_slots, 4 cells of a 200x60 binary display",
         lambda: segsense.read_slots(display, LAYOUT), lambda: ref.read_slots(display, LAYOUT)),
        ("read_score_from_crop, 80x50 BGR crop",
         lambda: zonescan.read_score_from_crop(crop), lambda: numpy_score_reader(crop)),
    ]
    print("| call | module (CPU) | numpy reader (CPU) | speed-up |")
    print("|---|---|---|---|")
    for name, module_call, numpy_call in rows:
        ours = per_call_us(module_call, batches, 2000)
        ours_cpu = per_call_us(module_call, batches, 2000, time.process_time_ns)
        theirs = per_call_us(numpy_call, batches, 20)
        theirs_cpu = per_call_us(numpy_call, batches, 20, time.process_time_ns)
        print(f"| {name} | {ours:.1f} µs ({ours_cpu:.1f}) | {theirs:.0f} µs ({theirs_cpu:.0f}) "
              f"| {theirs / ours:.0f}x |")


if __name__ == "__main__":
    main()
