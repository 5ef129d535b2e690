"""Time of calibrate_zone per zone on the board sequences' first values (the operator's zone is
the whole crop), blind and taught: for each board the best of --repeat runs, so that a busy machine
spoils fewer figures; prints the median, the 95th percentile and the slowest board, in wall time
and in the process's CPU time (the figure to compare when other work shares the cores).

usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/boards/calibration_time.py [--data DIR]
       [--repeat N]
"""

import argparse
import json
import os
import sys
import time

import cv2
import numpy as np

from native_ocr import zonescan

DEFAULT_DATA = os.path.join(os.path.dirname(__file__), "..", "..", "..", "shared", "bench-dev-boards")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=DEFAULT_DATA)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    with open(os.path.join(args.data, "labels.jsonl")) as f:
        firsts = [json.loads(line) for line in f]
    firsts = [label for label in firsts if label["index"] == 0]
    whole = {"x": 0.0, "y": 0.0, "width": 1.0, "height": 1.0}
    for mode in ("blind", "taught"):
        best = []
        for label in firsts:
            image = cv2.imread(os.path.join(args.data, label["file"]), cv2.IMREAD_COLOR)
            expected = label["expected"] if mode == "taught" else None
            runs, cpu = [], []
            for _ in range(args.repeat):
                began, began_cpu = time.perf_counter(), time.process_time()
                zonescan.calibrate_zone(dict(whole, role=label["role"]), image, role=label["role"],
                                        expected=expected)
                runs.append(1000.0 * (time.perf_counter() - began))
                cpu.append(1000.0 * (time.process_time() - began_cpu))
            best.append((min(runs), label["file"], image.shape[1], image.shape[0], min(cpu)))
        ms = np.array([b[0] for b in best])
        cpu_ms = np.array([b[4] for b in best])
        slowest = max(best)
        print(f"{mode}: median {np.median(ms):.1f} ms, p95 {np.percentile(ms, 95):.1f} ms, "
              f"slowest {slowest[0]:.1f} ms ({slowest[1]}, {slowest[2]}x{slowest[3]}); "
              f"process CPU median {np.median(cpu_ms):.1f} ms, p95 {np.percentile(cpu_ms, 95):.1f} ms")
    return 0


if __name__ == "__main__":
    sys.exit(main())
