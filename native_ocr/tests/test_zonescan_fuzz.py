"""Random argument combinations for every function of native_ocr.zonescan: each call returns a
result or raises one of the documented exception types, and never brings the interpreter down.

To cover a new function, add a row to FUZZ_TABLE (parameter name -> generator) and its parameters
to zonescan_signatures.SIGNATURES."""
import math
import random
import reprlib

import cv2
import numpy as np
import pytest

from native_ocr import zonescan as z
from zonescan_signatures import SIGNATURES

# LookupError: the zone's own item access (KeyError for a dict, IndexError for a sequence).
DOCUMENTED = (TypeError, ValueError, LookupError, AttributeError, OverflowError, MemoryError,
              cv2.error)
CALLS_PER_FUNCTION = 250
ROLES = ["clock", "home_score", "down", "period", "home_penalty_1", "", "Clock", "zzz"]


class Anything:
    pass


def anything(rng):
    return rng.choice([
        None, 0, -1, 1, 7, 2**70, -(2**70), 0.5, -3.7, math.nan, math.inf, -math.inf, "", "abc",
        " 90", "1.5", b"x", [], [1, 2], (), {}, {"a": 1}, Anything(), True, False, np.float64(3.5),
        np.int64(4), np.float32(np.nan), 1j, np.zeros(3), object,
    ])


def number(rng):
    return rng.choice([rng.randint(-5, 300), rng.uniform(-50, 300), 0, 2**65, -(2**65), math.nan,
                       math.inf, True, np.int32(20), np.float32(12.5), "12", None])


def array(rng):
    shape = rng.choice([(0,), (5,), (4, 5), (6, 7, 3), (6, 7, 1), (6, 7, 4), (6, 7, 2),
                        (2, 3, 4, 5), (0, 5, 3), (5, 0), (6, 7, 0), (1, 1), (1, 1, 3)])
    dtype = rng.choice([np.uint8] * 4 + [np.int8, np.uint16, np.float32, np.bool_])
    a = np.random.default_rng(rng.randint(0, 1000)).integers(0, 256, shape).astype(dtype)
    if a.ndim >= 2 and rng.random() < 0.4:
        a = rng.choice([a[::-1], a[:, ::2], a[1:, 1:], np.swapaxes(a, 0, 1)])
    if a.ndim == 3 and rng.random() < 0.2:
        a = a[:, :, ::-1]
    return a


def image(rng):
    if rng.random() < 0.8:
        return array(rng)
    return rng.choice([None, [[1, 2]], "img", 3, b"abc", memoryview(bytes(30)).cast("B", (5, 6))])


def zone(rng):
    zone = {k: rng.uniform(-0.5, 1.5) for k in ("x", "y", "width", "height")}
    roll = rng.random()
    if roll < 0.15:
        del zone[rng.choice(list(zone))]
    elif roll < 0.35:
        zone[rng.choice(list(zone))] = rng.choice([None, "0.5", math.nan, math.inf, 2**80, [1],
                                                   np.float32(0.3), 1])
    elif roll < 0.45:
        return rng.choice([None, [], "zone", 5, Anything()])
    if rng.random() < 0.3:
        zone["processing"] = settings(rng)
        zone["role"] = role(rng)
    return zone


def settings(rng):
    keys = list(z.DEFAULT_PROCESSING) + ["extra"]
    roll = rng.random()
    if roll < 0.2:
        return rng.choice([None, {}, [], "ab", 5, [("threshold", 1)], [(1, 2, 3)], Anything()])
    values = [anything(rng), number(rng), rng.choice(["open", "erode", "OPEN", "close"])]
    return {rng.choice(keys): rng.choice(values) for _ in range(rng.randint(1, 5))}


def role(rng):
    return rng.choice(ROLES) if rng.random() < 0.7 else anything(rng)


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    folder = tmp_path_factory.mktemp("fuzz")
    good = folder / "frame.png"
    cv2.imwrite(str(good), np.random.default_rng(0).integers(0, 256, (24, 32, 3), np.uint8))
    junk = folder / "junk.jpg"
    junk.write_bytes(b"\xff\xd8\xff nothing")
    return [good, str(good), str(junk), str(folder / "missing.png"), str(folder), "", "a\0b",
            None, 5, b"frame.png"]


def path(rng, files):
    return rng.choice(files)


def layout(rng):
    return rng.choice([
        z.layout_for_role(rng.choice(ROLES[:5]), rng.randint(0, 60), rng.randint(0, 40)), [],
        None, 5, [5], [{"kind": "digit"}], [{"kind": "digit", "box": [1, 2, 3]}],
        [{"kind": "digit", "box": [0, 0, 2**70, rng.uniform(-9, 9)]}],
    ])


FUZZ_TABLE = {
    "normalize_settings": {"settings": settings},
    "_processing": {"zone": zone},
    "_role": {"zone": zone},
    "layout_for_role": {"role": role, "width": number, "height": number, "separator_x": number},
    "normalized_zone_bounds": {"zone": zone, "image_width": number, "image_height": number},
    "decode_bgr_image": {"preview_path": path},
    "crop_zone_from_image": {"zone": zone, "image": image},
    "crop_zone": {"zone": zone, "preview_path": path},
    "_box": {"x1": number, "y1": number, "x2": number, "y2": number},
    "equal_digit_slots": {"width": number, "height": number, "count": number},
    "clock_slots": {"width": number, "height": number, "separator_x": number},
    "process_image": {"image": image, "settings": settings},
    "prepare_display_from_crop": {"crop": image, "detect_separator": anything,
                                  "processing": settings},
    "prepare_display_from_image": {"zone": zone, "image": image, "detect_separator": anything,
                                   "processing": settings},
    "prepare_display": {"zone": zone, "preview_path": path, "detect_separator": anything,
                        "processing": settings},
    "_read_slots": {"binary": image, "slots": layout},
    "read_score_from_crop": {"crop": image, "role": role, "processing": settings},
    "read_score_from_image": {"zone": zone, "image": image},
    "read_score": {"zone": zone, "preview_path": path},
    "read_period_from_crop": {"crop": image, "processing": settings},
    "read_period_from_image": {"zone": zone, "image": image},
    "read_period": {"zone": zone, "preview_path": path},
    "read_single_digit_from_crop": {"crop": image, "role": role, "processing": settings},
    "read_single_digit_from_image": {"zone": zone, "image": image},
    "read_single_digit": {"zone": zone, "preview_path": path},
}


def test_every_function_is_in_the_table():
    assert set(FUZZ_TABLE) == set(SIGNATURES)


def random_call(rng, name, files):
    params = [p.split("=")[0].strip() for p in SIGNATURES[name].split(",")]
    optional = {p.split("=")[0].strip() for p in SIGNATURES[name].split(",") if "=" in p}
    args, kwargs = [], {}
    by_keyword = rng.random() < 0.3
    for p in params:
        if p in optional and rng.random() < 0.3:
            by_keyword = True  # later ones must go by keyword once one is left out
            continue
        gen = FUZZ_TABLE[name][p]
        value = anything(rng) if rng.random() < 0.15 else (
            gen(rng, files) if gen is path else gen(rng))
        if by_keyword:
            kwargs[p] = value
        else:
            args.append(value)
    return args, kwargs


@pytest.mark.parametrize("name", FUZZ_TABLE)
def test_random_calls_only_raise_documented_errors(name, files):
    rng = random.Random(name)
    fn = getattr(z, name)
    for _ in range(CALLS_PER_FUNCTION):
        args, kwargs = random_call(rng, name, files)
        try:
            result = fn(*args, **kwargs)
        except DOCUMENTED:
            continue
        except Exception as e:  # noqa: BLE001
            call = reprlib.repr(args) + ", " + reprlib.repr(kwargs)
            pytest.fail(f"{name}({call}) raised {type(e).__name__}: {e}")
        if name.startswith(("crop", "prepare", "decode")):
            assert result is None or isinstance(result, (np.ndarray, dict))
        if name.startswith("read_"):
            assert list(result)[:3] == ["value", "valid", "reason"] or \
                list(result)[:4] == ["value", "digits", "valid", "reason"]
