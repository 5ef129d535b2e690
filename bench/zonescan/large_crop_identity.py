"""Every output of the clock separator and the readers over many crops, reduced to a digest per
call, so that two builds can be compared field by field. Not a test: it proves that a faster build
returns exactly what an older one returns.

  # with each build, write the digests:
  PYTHONPATH=<build>/python /usr/bin/python3 bench/zonescan/large_crop_identity.py write OUT.json
  # compare two digest files (exit 1 and the first differing fields on a difference):
  /usr/bin/python3 bench/zonescan/large_crop_identity.py compare OLD.json NEW.json

Crops: the dev crops and board crops of ../shared (every one, and a sample scaled up), drawn clocks
of random sizes up to the longest side read, random noise, flat frames, and rows and columns of
one pixel; each with default settings and with a dark polarity and a slant (the upright path), and
the detector also rotated.
"""
import hashlib
import json
import math
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.path.join(HERE, "..", "..", "..", "..", "shared")
WHOLE = {"x": 0.0, "y": 0.0, "width": 1.0, "height": 1.0, "role": "clock"}


def canonical(value):
    """Floats by their exact repr, arrays by shape, type and a hash of their bytes."""
    if isinstance(value, dict):
        return {str(k): canonical(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [canonical(v) for v in value]
    if isinstance(value, np.ndarray):
        digest = hashlib.sha1(np.ascontiguousarray(value).tobytes()).hexdigest()
        return f"array{value.shape}{value.dtype}:{digest}"
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, (bool, int, str)) or value is None:
        return value
    return repr(value)


def shared_crops(folder, limit):
    import cv2
    names = sorted(os.listdir(os.path.join(SHARED, folder, "crops")))[:limit]
    for name in names:
        image = cv2.imread(os.path.join(SHARED, folder, "crops", name), cv2.IMREAD_COLOR)
        if image is not None:
            yield f"{folder}/{name}", image


def drawn_crops(rng, count, largest):
    sys.path.insert(0, os.path.join(HERE, "..", "..", "native_ocr", "tests"))
    import clock_drawing
    from native_ocr import zonescan as z
    for i in range(count):
        # Sizes spread on a log scale between a tiny crop and the longest side read.
        width = int(math.exp(rng.uniform(math.log(8), math.log(largest))))
        height = int(math.exp(rng.uniform(math.log(4), math.log(largest))))
        digits = "".join(rng.choice(list("0123456789 "), 4))
        mark = [":", ".", None][i % 3]
        image = clock_drawing.draw_clock(width, height, digits, mark,
                                         shift=float(rng.uniform(-0.3, 0.3)) * width * 0.05,
                                         slots=z.clock_slots(width, height))
        noise = rng.normal(0, float(rng.uniform(0, 20)), image.shape)
        yield f"drawn {i} {width}x{height} {digits!r} {mark}", np.clip(image + noise, 0,
                                                                      255).astype(np.uint8)


def scaled(rng, crops, count, largest):
    import cv2
    for name, image in crops[:count]:
        factor = float(rng.uniform(2, largest / max(image.shape[:2])))
        size = (max(1, int(image.shape[1] * factor)), max(1, int(image.shape[0] * factor)))
        yield f"{name} scaled to {size}", cv2.resize(image, size, interpolation=cv2.INTER_LINEAR)


def odd_crops(rng, largest):
    yield "flat 90, the longest side", np.full((largest, largest, 3), 90, np.uint8)
    yield "noise, the longest side", rng.integers(0, 256, (largest, largest, 3), dtype=np.uint8)
    yield "noise, wide", rng.integers(0, 256, (300, largest, 3), dtype=np.uint8)
    yield "noise, tall", rng.integers(0, 256, (largest, 300, 3), dtype=np.uint8)
    for w, h in [(1, 1), (1, 50), (50, 1), (2, 2), (3, 40), (7, 3), (64, 64)]:
        yield f"noise {w}x{h}", rng.integers(0, 256, (h, w, 3), dtype=np.uint8)
    bright = np.zeros((600, 1800, 3), np.uint8)
    bright[::3, ::2] = 255  # a fine lattice: many small components in every window
    yield "lattice", bright


SETTINGS = {
    "default": None,
    "dark slanted": {"polarity": "dark", "slant": 7.5},
    "rotated blurred": {"rotation": 3.0, "blur": 3},
}


def digests(crops):
    from native_ocr import zonescan as z
    out = {}
    for name, crop in crops:
        for label, processing in SETTINGS.items():
            key = f"{name} | {label}"
            entry = {}
            try:
                entry["clock"] = canonical(z.read_clock_from_crop(crop, "clock", processing))
            except Exception as e:  # noqa: BLE001 - the error is part of what is compared
                entry["clock"] = f"raised {type(e).__name__}: {e}"
            if processing is None:
                for angle in (0.0, 2.0):
                    try:
                        found = z._detect_clock_separator_without_regions(crop, angle)
                        entry[f"detect {angle}"] = canonical(found)
                    except Exception as e:  # noqa: BLE001
                        entry[f"detect {angle}"] = f"raised {type(e).__name__}: {e}"
                try:
                    entry["render"] = canonical(z.render_reading(WHOLE, crop))
                except Exception as e:  # noqa: BLE001
                    entry["render"] = f"raised {type(e).__name__}: {e}"
            out[key] = entry
        print(name, file=sys.stderr, flush=True)
    return out


def all_crops(quick):
    rng = np.random.default_rng(20261210)
    largest = 4096
    dev = list(shared_crops("bench-dev", 60 if quick else 600))
    boards = list(shared_crops("bench-dev-boards", 40 if quick else 880))
    yield from dev
    yield from boards
    yield from scaled(rng, dev, 4 if quick else 12, largest)
    yield from drawn_crops(rng, 12 if quick else 60, largest)
    yield from odd_crops(rng, largest)


def compare(old_path, new_path):
    with open(old_path) as f:
        old = json.load(f)
    with open(new_path) as f:
        new = json.load(f)
    differing = 0
    for key in sorted(set(old) | set(new)):
        if old.get(key) != new.get(key):
            differing += 1
            if differing <= 10:
                a, b = old.get(key) or {}, new.get(key) or {}
                fields = sorted(f for f in set(a) | set(b) if a.get(f) != b.get(f))
                print(f"differs: {key}: {fields}")
    print(f"{len(old)} old, {len(new)} new, {differing} differing")
    return 1 if differing else 0


def main():
    if len(sys.argv) >= 4 and sys.argv[1] == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    if len(sys.argv) >= 3 and sys.argv[1] == "write":
        result = digests(all_crops(quick="--quick" in sys.argv))
        with open(sys.argv[2], "w") as f:
            json.dump(result, f, indent=0, sort_keys=True)
        print(f"{len(result)} cases written to {sys.argv[2]}")
        return
    print(__doc__)
    sys.exit(2)


if __name__ == "__main__":
    main()
