"""Per-call timings of native_ocr.zonescan's settings, crop and display preparation, beside the same
steps written with cv2 and numpy in Python. Prints a Markdown table (median of many timed batches).

  cmake --build <build> --target zonescan_bench
  PYTHONPATH=<build>/python /usr/bin/python3 bench/zonescan/zonescan_bench.py [--quick]
"""
import argparse
import os
import platform
import statistics
import sys
import time

import cv2
import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "native_ocr", "tests"))
import zonescan_reference as ref  # noqa: E402
from native_ocr import zonescan as z  # noqa: E402

ALL_STEPS = {"threshold": 120, "contrast": 1.3, "brightness": 10, "gamma": 1.4, "rotation": 3.0,
             "blur": 3, "morphology": "close", "morph_size": 3, "invert": True}
HOST_SETTINGS = {"threshold": "140", "contrast": 1.2, "blur": 2, "morphology": "open",
                 "invert": 0, "note": "zone 3"}


def frame():
    rng = np.random.default_rng(0)
    image = rng.integers(0, 60, (720, 1280, 3), dtype=np.uint8)
    image[200:260, 500:700] = rng.integers(0, 90, (60, 200, 3), dtype=np.uint8)
    for x in range(510, 690, 45):
        image[208:252, x:x + 28] = (40, 230, 60)
    return image


def vectorised_gamma_table(inv_gamma):
    """The gamma table built by numpy in one expression."""
    return ((np.arange(256) / 255.0) ** inv_gamma * 255).astype("uint8")


def process_vectorised_table(image, settings=None):
    """The Python chain with the gamma table built by numpy in one expression."""
    return ref.process_image(image, settings, make_gamma_table=vectorised_gamma_table)


def per_call_us(fn, batches, per_batch):
    """Median over batches of the mean time of one call, in microseconds."""
    fn()
    times = []
    for _ in range(batches):
        start = time.perf_counter_ns()
        for _ in range(per_batch):
            fn()
        times.append((time.perf_counter_ns() - start) / per_batch / 1000.0)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer batches (a smoke run)")
    args = parser.parse_args()
    batches = 20 if args.quick else 300
    image = frame()
    zone = {"x": 500 / 1280, "y": 200 / 720, "width": 200 / 1280, "height": 60 / 720}
    crop = z.crop_zone_from_image(zone, image)
    assert crop.shape == (60, 200, 3), crop.shape
    for settings in (None, ALL_STEPS):
        assert np.array_equal(z.process_image(crop, settings), ref.process_image(crop, settings))

    rows = [
        ("normalize_settings(None)", lambda: z.normalize_settings(None),
         lambda: ref.normalize_settings(None), 100),
        ("normalize_settings(host dict, 6 keys)", lambda: z.normalize_settings(HOST_SETTINGS),
         lambda: ref.normalize_settings(HOST_SETTINGS), 100),
        ("crop_zone_from_image (200x60 of 1280x720)", lambda: z.crop_zone_from_image(zone, image),
         lambda: ref.crop_zone_from_image(zone, image), 100),
        ("process_image, default settings", lambda: z.process_image(crop),
         lambda: ref.process_image(crop), 10),
        ("process_image, all steps on", lambda: z.process_image(crop, ALL_STEPS),
         lambda: ref.process_image(crop, ALL_STEPS), 10),
        ("prepare_display_from_crop, default", lambda: z.prepare_display_from_crop(crop),
         None, 10),
    ]
    print(f"Python {platform.python_version()}, numpy {np.__version__}, OpenCV {cv2.__version__},"
          f" {os.cpu_count()} cores; median of {batches} batches\n")
    print("| call | zonescan (us) | Python cv2/numpy chain (us) | speed-up |")
    print("|---|---:|---:|---:|")
    for name, ours, theirs, per_batch in rows:
        a = per_call_us(ours, batches, per_batch)
        if theirs is None:
            print(f"| {name} | {a:.2f} | | |")
            continue
        b = per_call_us(theirs, batches, per_batch)
        print(f"| {name} | {a:.2f} | {b:.2f} | {b / a:.1f}x |")
    for name, settings in (("default", None), ("all steps on", ALL_STEPS)):
        a = per_call_us(lambda: z.process_image(crop, settings), batches, 10)
        b = per_call_us(lambda: process_vectorised_table(crop, settings), batches, 10)
        print(f"| process_image, {name}, vs chain with a numpy-vectorised gamma table | {a:.2f} "
              f"| {b:.2f} | {b / a:.1f}x |")


if __name__ == "__main__":
    main()
