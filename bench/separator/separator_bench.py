"""Clock separator detection and the clock reader, timed end to end through Python.

Usage: PYTHONPATH=<build>/python python3 bench/separator/separator_bench.py [--repeat N]
(or: cmake --build <build> --target separator_bench). Prints the median time per call of each
case and the ratio of the per-window blur path to the sheet blur path measured in the same run."""
import argparse
import os
import statistics
import sys
import time

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "native_ocr", "tests"))
import clock_drawing  # noqa: E402
import separator_reference  # noqa: E402
from native_ocr import zonescan as z  # noqa: E402

SIZES = [(200, 60), (400, 120)]


def median_ms(fn, repeat, inner):
    """Median wall and CPU (process) milliseconds per call over `repeat` batches."""
    fn()  # warm-up, and the once-per-process blur check
    wall, cpu = [], []
    for _ in range(repeat):
        start, start_cpu = time.perf_counter(), time.process_time()
        for _ in range(inner):
            fn()
        wall.append((time.perf_counter() - start) / inner * 1e3)
        cpu.append((time.process_time() - start_cpu) / inner * 1e3)
    return statistics.median(wall), statistics.median(cpu)


def crop_of(width, height, mark=":", digits="1234"):
    rng = np.random.default_rng(width)
    image = clock_drawing.draw_clock(width, height, digits, mark,
                                     slots=z.clock_slots(width, height))
    noise = rng.normal(0, 4, image.shape)
    return np.clip(image + noise, 0, 255).astype(np.uint8)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=15, help="timed batches per case")
    parser.add_argument("--inner", type=int, default=40, help="calls per batch")
    parser.add_argument("--no-reference", action="store_true", help="skip the numpy reference")
    args = parser.parse_args()
    print(f"load average {os.getloadavg()[0]:.1f}")
    print(f"{'case':<46} {'wall ms':>10} {'cpu ms':>10}")
    for width, height in SIZES:
        crop = crop_of(width, height)
        box = z.clock_slots(width, height)[2]["box"]
        cases = {
            "read_clock_from_crop": lambda: z.read_clock_from_crop(crop),
            "detect (sheet blur)": lambda: z._detect_clock_separator_without_regions(crop),
            "detect (per-window blur)": lambda: z._detect_clock_separator_without_regions(
                crop, per_window_blur=True),
        }
        if not args.no_reference:
            cases["detect (numpy reference)"] = lambda: separator_reference.detect(crop, box)
        times = {}
        for name, fn in cases.items():
            inner = args.inner if "reference" not in name else max(1, args.inner // 10)
            times[name] = median_ms(fn, args.repeat, inner)
            print(f"{width}x{height} {name:<38} {times[name][0]:>10.4f} {times[name][1]:>10.4f}")
        for i, kind in enumerate(("wall", "cpu")):
            ratio = times["detect (per-window blur)"][i] / times["detect (sheet blur)"][i]
            print(f"{width}x{height} per-window / sheet blur ratio ({kind}): {ratio:.2f}")


if __name__ == "__main__":
    main()
