"""Time and peak memory of calls whose cost a hostile size drives: check_zone with a 10 MB role
or setting key, the readers, calibrate_zone and render_reading on a whole 20000 x 20000 frame
(a crop past the readers' longest side), and the clock reader and render_reading on a whole frame
of the longest side read, flat and of noise. Each case runs in its own interpreter, so its peak
resident size is its own. Not a test.

  PYTHONPATH=build/release/python /usr/bin/python3 bench/zonescan/hostile_sizes.py [NAME_PART]
"""
import json
import os
import subprocess
import sys

CASES = {
    "check_zone, 10 MB role":
        "z.check_zone({'x': 0, 'y': 0, 'width': 1, 'height': 1, 'role': 'x' * 10**7})",
    "check_zone, 10 MB setting key":
        "z.check_zone({'x': 0, 'y': 0, 'width': 1, 'height': 1, 'processing': {'b' * 10**7: 1}})",
    "read_clock_from_image, whole 20000^2 frame": "z.read_clock_from_image(WHOLE, BIG)",
    "read_score_from_image, whole 20000^2 frame": "z.read_score_from_image(WHOLE, BIG)",
    "read_zones, whole 20000^2 frame, clock": "z.read_zones([dict(WHOLE, role='clock')], BIG)",
    "calibrate_zone, whole 20000^2 frame": "z.calibrate_zone(WHOLE, BIG)",
    "render_reading, whole 20000^2 frame": "z.render_reading(WHOLE, BIG)",
    "read_clock_from_image, whole 4096^2 frame (the longest side read)":
        "z.read_clock_from_image(WHOLE, BIG[:4096, :4096])",
    "render_reading, whole 4096^2 frame": "z.render_reading(WHOLE, BIG[:4096, :4096])",
    # Noise lights speckles in every separator window: the costliest pixels for the search.
    "read_clock_from_image, whole 4096^2 frame of noise": "z.read_clock_from_image(WHOLE, NOISE)",
    "render_reading, whole 4096^2 frame of noise": "z.render_reading(WHOLE, NOISE)",
}

RUN = """
import json, resource, time
import numpy as np
from native_ocr import zonescan as z
WHOLE = {{'x': 0.0, 'y': 0.0, 'width': 1.0, 'height': 1.0, 'role': 'clock'}}
BIG = np.full((20000, 20000, 3), 90, np.uint8) if 'BIG' in {call!r} else None
NOISE = (np.random.default_rng(1).integers(0, 256, (4096, 4096, 3), dtype=np.uint8)
         if 'NOISE' in {call!r} else None)
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
start_cpu = time.process_time()
{call}
seconds = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
cpu = time.process_time() - start_cpu
print(json.dumps({{'seconds': seconds, 'cpu': cpu, 'peak_mib': peak / 1024,
                  'added_mib': (peak - before) / 1024}}))
"""


def main():
    only = sys.argv[1] if len(sys.argv) > 1 else ""
    print(f"load average {os.getloadavg()[0]:.1f}")
    print("| call | seconds | CPU seconds | peak resident (MiB) | added by the call (MiB) |")
    print("|---|---:|---:|---:|---:|")
    for name, call in CASES.items():
        if only not in name:
            continue
        done = subprocess.run([sys.executable, "-c", RUN.format(call=call)], capture_output=True,
                              text=True, timeout=600)
        if done.returncode != 0:
            print(f"| {name} | failed: {done.stderr.strip().splitlines()[-1]} | | | |")
            continue
        m = json.loads(done.stdout.strip().splitlines()[-1])
        print(f"| {name} | {m['seconds']:.3f} | {m['cpu']:.3f} | {m['peak_mib']:.0f} | "
              f"{m['added_mib']:.0f} |")


if __name__ == "__main__":
    main()
