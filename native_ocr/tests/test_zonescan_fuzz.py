"""Random argument combinations for every function of native_ocr.zonescan: each call returns a
result or raises one of the documented exception types, and never brings the interpreter down.

To cover a new function, add a row to FUZZ_TABLE (parameter name -> generator) and its parameters
to zonescan_signatures.SIGNATURES. The same generators drive the long run,
bench/fuzz/long_fuzz.py."""
import math
import os
import random
import reprlib

import cv2
import numpy as np
import pytest

from native_ocr import zonescan as z
from fuzz_support import array_form, call_checked, hostile
from zonescan_signatures import SIGNATURES

# LookupError: the zone's own item access (KeyError for a dict, IndexError for a sequence).
DOCUMENTED = (TypeError, ValueError, LookupError, AttributeError, OverflowError, MemoryError,
              cv2.error)
CALLS_PER_FUNCTION = 250
ROLES = ["clock", "home_score", "down", "period", "home_penalty_1", "", "Clock", "zzz"]


class Anything:
    pass


def anything(rng):
    if rng.random() < 0.08:
        return hostile(rng)
    return rng.choice([
        None, 0, -1, 1, 7, 2**70, -(2**70), 0.5, -3.7, math.nan, math.inf, -math.inf, "", "abc",
        " 90", "1.5", b"x", [], [1, 2], (), {}, {"a": 1}, Anything(), True, False, np.float64(3.5),
        np.int64(4), np.float32(np.nan), 1j, np.zeros(3), object,
    ])


def number(rng):
    if rng.random() < 0.04:
        return hostile(rng)
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
    return array_form(rng, a) if rng.random() < 0.3 else a


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
                                                   np.float32(0.3), 1, 0.0, hostile(rng)])
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
        return rng.choice([None, {}, [], "ab", 5, [("threshold", 1)], [(1, 2, 3)], Anything(),
                           hostile(rng)])
    values = [anything(rng), number(rng), rng.choice(["open", "erode", "OPEN", "close"])]
    return {rng.choice(keys): rng.choice(values) for _ in range(rng.randint(1, 5))}


def role(rng):
    return rng.choice(ROLES) if rng.random() < 0.7 else anything(rng)


def forged_jpegs(folder):
    """JPEG files a hostile writer leaves: cut short, a header claiming 65500 x 65500 pixels, and
    an APP1 that is not Exif but carries an orientation."""
    frame = np.random.default_rng(1).integers(0, 256, (48, 64, 3), np.uint8)
    data = cv2.imencode(".jpg", frame)[1].tobytes()
    sof = data.index(b"\xff\xc0")
    huge = data[:sof + 5] + (65500).to_bytes(2, "big") * 2 + data[sof + 9:]
    tiff = b"MM\0\x2a\0\0\0\x08\0\x01" + b"\x01\x12\0\x03\0\0\0\x01\0\x03\0\0" + b"\0" * 4
    app1 = b"Exif\0\x01" + tiff
    turned = data[:2] + b"\xff\xe1" + (len(app1) + 2).to_bytes(2, "big") + app1 + data[2:]
    made = {"cut.jpg": data[:len(data) // 2], "huge.jpg": huge, "app1.jpg": turned}
    for name, content in made.items():
        (folder / name).write_bytes(content)
    return {name: str(folder / name) for name in made}


def files_in(folder):
    """Preview paths of every kind ("paths"), and the sources read_zones takes ("sources"): the
    same files, forged JPEGs and special files (a FIFO without writer, /dev/zero, a header of
    65500x65500 pixels, a directory), made in `folder`."""
    good = folder / "frame.png"
    cv2.imwrite(str(good), np.random.default_rng(0).integers(0, 256, (24, 32, 3), np.uint8))
    junk = folder / "junk.jpg"
    junk.write_bytes(b"\xff\xd8\xff nothing")
    paths = [good, str(good), str(junk), str(folder / "missing.png"), str(folder), "", "a\0b",
             None, 5, b"frame.png"]
    forged = forged_jpegs(folder)
    sources = [p for p in paths if p != str(folder)] + [forged["cut.jpg"], forged["app1.jpg"],
                                                        "/dev/null"]
    fifo = folder / "fifo.jpg"
    os.mkfifo(fifo)
    sources += [str(fifo), "/dev/zero", forged["huge.jpg"], str(folder)]
    return {"paths": paths, "sources": sources}


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    return files_in(tmp_path_factory.mktemp("fuzz"))


def path(rng, files):
    return rng.choice(files["paths"])


def source(rng, files):
    """A preview file or special file, or a decoded frame."""
    return rng.choice(files["sources"]) if rng.random() < 0.6 else clock_image(rng)


def zones(rng):
    if rng.random() < 0.1:
        return rng.choice([None, 5, "abc", {"x": 0.1}, hostile(rng), (zone(rng),)])
    return [zone(rng) for _ in range(rng.choice([0, 1, 1, 2, 3, 6]))]


def threads(rng):
    return rng.choice([1, 1, 2, 3, 0, -1, 65, 2**63, 1.5, True, None, "2", np.int64(2)])


def checked_zone(rng):
    """A zone, sometimes with a role or setting key far longer than any known name."""
    out = zone(rng)
    if isinstance(out, dict) and rng.random() < 0.1:
        long_name = rng.choice(["clock", "x", "\u00e9"]) * rng.choice([40, 10**5])
        if rng.random() < 0.5:
            out["role"] = long_name
        else:
            out["processing"] = {long_name: 1}
    return out


def layout(rng):
    return rng.choice([
        z.layout_for_role(rng.choice(ROLES[:5]), rng.randint(0, 60), rng.randint(0, 40)), [],
        None, 5, [5], [{"kind": "digit"}], [{"kind": "digit", "box": [1, 2, 3]}],
        [{"kind": "digit", "box": [0, 0, 2**70, rng.uniform(-9, 9)]}],
    ])


def clock_image(rng):
    """Mostly blue-green-red crops of clock-like sizes, sometimes anything image()."""
    if rng.random() < 0.4:
        return image(rng)
    h, w = rng.choice([(1, 1), (1, 40), (40, 1), (3, 2), (30, 100), (24, 300), (60, 200)])
    a = np.random.default_rng(rng.randint(0, 1000)).integers(0, 256, (h, w, 3), dtype=np.uint8)
    roll = rng.random()
    return a if roll < 0.6 else a[:, ::-1] if roll < 0.75 else array_form(rng, a)


def sequence(rng):
    return rng.choice([[True, False, True], [], np.random.default_rng(1).random(20) > 0.5,
                       np.arange(6) % 3, [[1, 0], [0, 1]], [0.5, math.nan], "abc", None, 3,
                       np.zeros((2, 3))])


def float_map(rng):
    return rng.choice([np.zeros((0, 3), np.float32), np.random.default_rng(2).random((30, 6)),
                       np.ones((2, 3), np.float32), np.full((40, 5), math.nan, np.float32),
                       np.zeros(4), [[1, 2], [3, 4]], "x", None])


def groups(rng):
    good = {"y_normalized": 0.3, "center_x": 2.0, "center_y": 9.0, "reliability": 0.9,
            "energy": 5.0, "width": 3.0, "height": 4}
    return rng.choice([[], [good], [good, dict(good, y_normalized=0.7, center_y=21.0)],
                       [dict(good, energy=0.0, width=0.0, height=0)], [{"y_normalized": 0.5}],
                       [dict(good, center_y=math.nan)], [5], None, "ab"])


def window_evaluation(rng):
    crop = np.random.default_rng(rng.randint(0, 50)).integers(0, 256, (30, 100, 3), np.uint8)
    return rng.choice([z._evaluate_separator_window(crop, rng.randint(40, 60), 6), {}, None,
                       {"colon": None, "decimal": None}, {"colon": {"upper": {}}}])


def image_list(rng):
    return rng.choice([None, [], [np.zeros((30, 6), np.uint8)] * 5, [image(rng)], 5, "abc",
                       [np.zeros((30, 6), np.uint8), np.zeros((29, 6), np.uint8)]])


def expected(rng):
    return rng.choice([None, "12:34", "7", "59.8", "", "1:2:3", 42, anything(rng)])


def reading(rng):
    """A reader's result, one edited, or anything."""
    if rng.random() < 0.3:
        return anything(rng)
    crop = np.random.default_rng(rng.randint(0, 50)).integers(0, 256, (30, 100, 3), np.uint8)
    result = rng.choice([z.read_clock_from_crop, z.read_score_from_crop])(crop)
    if rng.random() < 0.5:
        result[rng.choice(list(result))] = anything(rng)
    return result


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
    "_clock_separator_mask": {"crop": clock_image, "blurred_gray": image},
    "_remove_small_components": {"mask": image, "min_area": number},
    "_separator_runs": {"bits": sequence},
    "_weighted_quantile": {"values": sequence, "weights": sequence, "quantile": number},
    "_separator_energy_map": {"corridor": clock_image, "blurred_gray": image},
    "_separator_groups": {"binary": float_map, "gray_energy": float_map, "combined": float_map},
    "_separator_topology": {"groups": groups, "corridor_width": number,
                            "corridor_height": number},
    "_separator_search_corridor": {"crop_width": number, "crop_height": number},
    "_evaluate_separator_window": {"crop": clock_image, "left": number, "window_width": number,
                                   "blurred_gray": image},
    "_separator_window_views": {"source": clock_image},
    "_reflect_blur_radius": {"sigma": number},
    "_reflected_sheet_blurs": {"grays": image_list, "sigma": number},
    "_ensure_reflected_sheet_blur": {},
    "_separator_window_blurs": {"source": clock_image},
    "_separator_spatial_prior": {name: number for name in (
        "candidate_left", "candidate_right", "hypothesis_x", "physical_left", "physical_right")},
    "_separator_hypothesis": {"evaluated": window_evaluation, "hypothesis_char": anything,
                              "physical_left": number, "physical_right": number},
    "_detect_clock_separator_without_regions": {"crop": clock_image, "angle": number,
                                                "window_blurs": image_list,
                                                "per_window_blur": anything},
    "read_clock_from_crop": {"crop": clock_image, "role": role, "processing": settings},
    "read_clock_from_image": {"zone": zone, "image": clock_image},
    "read_clock": {"zone": zone, "preview_path": path},
    "read_clock_zone": {"zone": zone, "preview_path": path},
    "calibrate_zone": {"zone": zone, "image": clock_image, "role": role, "expected": expected},
    "trust_reading": {"result": reading, "zone": zone, "image": clock_image},
    "render_reading": {"zone": zone, "image": clock_image, "result": reading},
    "read_zones": {"zones": zones, "source": source, "threads": threads},
    "check_zone": {"zone": checked_zone},
}


def test_every_function_is_in_the_table():
    assert set(FUZZ_TABLE) == set(SIGNATURES)


def random_call(rng, name, files):
    raw = [p.strip() for p in SIGNATURES[name].split(",") if p.strip()]
    keyword_only = {p.split("=")[0].strip() for p in raw[raw.index("*") + 1:]} if "*" in raw \
        else set()
    params = [p.split("=")[0].strip() for p in raw if p != "*"]
    optional = {p.split("=")[0].strip() for p in raw if "=" in p}
    args, kwargs = [], {}
    by_keyword = rng.random() < 0.3
    for p in params:
        by_keyword = by_keyword or p in keyword_only
        if p in optional and rng.random() < 0.3:
            by_keyword = True  # later ones must go by keyword once one is left out
            continue
        gen = FUZZ_TABLE[name][p]
        value = anything(rng) if rng.random() < 0.15 else (
            gen(rng, files) if gen in (path, source) else gen(rng))
        if by_keyword:
            kwargs[p] = value
        else:
            args.append(value)
    return args, kwargs


def result_complaint(name, result):
    """What is wrong with the result of a call that returned, or None."""
    if name == "read_zones":
        if type(result) is not list:
            return f"returned a {type(result).__name__}"
        return next((c for c in (result_complaint("read_", r) for r in result) if c), None)
    if name == "check_zone" and not (type(result) is list and all(
            list(p) == ["field", "problem", "message", "suggestion"] for p in result)):
        return f"returned {reprlib.repr(result)}"
    if name.startswith(("crop", "prepare", "decode")) and not (
            result is None or isinstance(result, (np.ndarray, dict))):
        return f"returned a {type(result).__name__}"
    if name.startswith("read_") and not (
            list(result)[:3] == ["value", "valid", "reason"] or
            list(result)[:4] == ["value", "digits", "valid", "reason"] or
            list(result)[:3] == ["value", "raw_value", "digits"]):
        return f"returned keys {list(result)}"
    return None


def check_call(name, args, kwargs):
    """A failure message for one call, or None: an undocumented exception, a malformed result,
    or an argument whose reference count the call changed."""
    outcome, detail, changes = call_checked(getattr(z, name), args, kwargs, DOCUMENTED,
                                            lambda result: result_complaint(name, result))
    call = f"{name}({reprlib.repr(args)}, {reprlib.repr(kwargs)})"
    if outcome in ("undocumented", "wrong"):
        return f"{call}: {detail}"
    if changes:
        return f"{call} changed reference counts (argument, before, after): {changes}"
    return None


@pytest.mark.parametrize("name", FUZZ_TABLE)
def test_random_calls_only_raise_documented_errors(name, files):
    rng = random.Random(name)
    for _ in range(CALLS_PER_FUNCTION):
        args, kwargs = random_call(rng, name, files)
        failure = check_call(name, args, kwargs)
        if failure:
            pytest.fail(failure)
