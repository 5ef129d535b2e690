"""Random argument combinations for every function of native_ocr.segsense: each call returns a
result or raises one of the documented exception types, never brings the interpreter down, and
never changes its arguments.

To cover a new function, add a row to FUZZ_TABLE (parameter name -> generator). The same
generators drive the long run, bench/fuzz/long_fuzz.py."""
import ctypes
import math
import random
import reprlib

import numpy as np
import pytest

from native_ocr import segsense as s
from fuzz_support import array_form, call_checked, hostile

# IndexError: a row outside the cell given to _horizontal_bar_extent, as indexing raises it.
DOCUMENTED = (TypeError, ValueError, KeyError, IndexError, AttributeError, OverflowError)
CALLS_PER_FUNCTION = 200
DTYPES = [np.uint8] * 6 + [np.int8, np.int16, np.uint16, np.int64, np.float16, np.float32,
                           np.float64, np.complex64, bool, object, ">i2", np.longdouble]


class Anything:
    pass


def anything(rng):
    if rng.random() < 0.08:
        return hostile(rng)
    return rng.choice([
        None, 0, -1, 7, 2**70, 0.5, math.nan, math.inf, "", "abc", b"x", [], [1, 2], (), {},
        {"a": 1}, Anything(), True, np.float64(3.5), np.int64(4), 1j, np.zeros(3), object,
    ])


def number(rng):
    if rng.random() < 0.04:
        return hostile(rng)
    return rng.choice([rng.randint(-5, 80), rng.uniform(-5, 80), 0, 2**65, -(2**65), math.nan,
                       math.inf, True, np.int32(20), np.float32(12.5), "12", None])


def array(rng):
    shape = rng.choice([(12, 9), (30, 20), (40, 25, 3), (7, 4), (1, 1), (0, 5), (5, 0), (0, 0),
                        (6, 7, 0), (6,), (2, 3, 4, 5), (20, 30, 1), (15, 12, 4)])
    generator = np.random.default_rng(rng.randint(0, 10**6))
    a = (generator.random(shape) < rng.choice([0.0, 0.05, 0.3, 0.8])).astype(np.uint8)
    a = a * rng.choice([1, 255]) if rng.random() < 0.7 else a - generator.integers(0, 2, shape)
    a = a.astype(rng.choice(DTYPES))
    if a.dtype.kind == "f" and a.size and rng.random() < 0.3:
        a.flat[rng.randrange(a.size)] = np.nan
    if a.ndim >= 2 and rng.random() < 0.3:
        a = rng.choice([a[::-1], a[:, ::2], a[1:, 1:], np.swapaxes(a, 0, 1)])
    return array_form(rng, a) if rng.random() < 0.3 else a


def display(rng):
    return array(rng) if rng.random() < 0.85 else rng.choice([None, [[1, 2]], "img", 3])


def box(rng):
    if rng.random() < 0.2:
        return rng.choice([None, 5, [1, 2, 3], [1, 2, 3, 4, 5], "abcd", [1, 2, "x", 4],
                           [1, 2, None, 4], [math.nan] * 4, [math.inf] * 4, iter([1, 2, 3, 4])])
    return [rng.choice([rng.randint(-10, 60), rng.uniform(-10, 60), 2**70, -(2**70), "3",
                        np.int16(4), True, hostile(rng)]) for _ in range(4)]


def slot(rng):
    roll = rng.random()
    if roll < 0.1:
        return rng.choice([None, 5, [], "digit", Anything()])
    out = {"kind": rng.choice(["digit"] * 5 + ["separator", None, 1]), "slot": rng.randint(0, 3)}
    if roll > 0.15:
        out["box"] = box(rng)
    if roll > 0.9:
        out["extra"] = [1, 2]
    return out


def slots(rng):
    if rng.random() < 0.1:
        return rng.choice([None, 5, "ab", Anything(), {"kind": "digit"}])
    return [slot(rng) for _ in range(rng.randint(0, 5))]


def indices(rng):
    if rng.random() < 0.2:
        return rng.choice([None, 5, "123", [None], [1.5, 2.5], [2**70, -(2**70)], np.zeros(0)])
    return sorted(rng.randint(-5, 40) for _ in range(rng.randint(0, 12)))


def run_list(rng):
    if rng.random() < 0.2:
        return rng.choice([None, 5, [5], [[1]], [["a", "b"]], [[2**70, 1]], [(1, 2, 3)]])
    runs, start = [], rng.randint(-2, 3)
    for _ in range(rng.randint(0, 4)):
        end = start + rng.randint(0, 8)
        runs.append([start, end])
        start = end + rng.randint(1, 6)
    return runs


def run(rng):
    if rng.random() < 0.2:
        return anything(rng)
    start = rng.randint(-3, 30)
    return [start, start + rng.randint(-2, 9)]


def projection(rng):
    if rng.random() < 0.2:
        return rng.choice([None, 5, ["a"], [math.nan, 3], np.zeros((2, 2))])
    values = [rng.choice([0, 1, 2, 3, 7, 2.5]) for _ in range(rng.randint(0, 40))]
    return np.array(values) if rng.random() < 0.3 else values


def structure(rng):
    if rng.random() < 0.2:
        return rng.choice([None, 5, {}, {"top": 1}, Anything()])
    return {k: rng.choice([rng.randint(-40, 40), 2**70, -(2**70), 3.5, "2"])
            for k in ("top", "bottom", "left", "right")}


def seven(rng):
    if rng.random() < 0.2:
        return rng.choice([None, 5, [0.5] * 6, [0.5] * 8, ["a"] * 7, [math.nan] * 7])
    return [rng.choice([0, 1, 0.5, rng.random(), -1, 2]) for _ in range(7)]


FUZZ_TABLE = {
    "read_slots": {"binary": display, "slots": slots},
    "read_digit_slot": {"binary": display, "slot": slot},
    "_clip_box": {"box": box, "width": number, "height": number},
    "_as01": {"image": display},
    "_tight_bounds": {"mask": display},
    "_contiguous_runs": {"indices": indices},
    "_remove_marginal_runs": {"runs": run_list, "cell_height": number},
    "_runs_overlap": {"first": run, "second": run},
    "_extend_from_core": {"projection": projection, "core_runs": run_list, "max_gap": number},
    "_horizontal_bar_extent": {"cell": display, "top": number, "bottom": number,
                               "stroke_thickness": number},
    "_structural_frame": {"cell": display},
    "_frame_from_cell": {"cell": display},
    "_single_vertical_mass": {"cell": display, "structure": structure},
    "_significant_component_count": {"mask": display},
    "_segment_strengths": {"frame": display},
    "_activations": {"strengths": seven},
    "_score_pattern": {"acts": seven, "pattern": seven},
    "_classify_frame": {"frame": display},
}


def test_every_function_is_in_the_table():
    functions = {name for name in dir(s) if callable(getattr(s, name)) and
                 not name.startswith("__") and name not in ("np", "cv2")}
    assert functions == set(FUZZ_TABLE)


def snapshot(value):
    """What must survive the call: an array's contents, a container's printed form."""
    if isinstance(value, np.ndarray):
        return value.copy()
    if isinstance(value, ctypes.Array):
        return bytes(value)
    if isinstance(value, (list, tuple, dict)):
        return repr(value)
    return None


def unchanged(before, after):
    if isinstance(after, ctypes.Array):
        return before == bytes(after)
    if isinstance(after, np.ndarray):
        return np.array_equal(before, after, equal_nan=after.dtype.kind in "fc")
    return before is None or before == repr(after)


def random_call(rng, name):
    values = {p: (anything(rng) if rng.random() < 0.1 else gen(rng))
              for p, gen in FUZZ_TABLE[name].items()}
    if rng.random() < 0.3:
        return [], values
    return list(values.values()), {}


def check_call(name, args, kwargs):
    """A failure message for one call, or None: an undocumented exception, a changed argument,
    or an argument whose reference count the call changed."""
    values = list(args) + list(kwargs.values())
    before = [snapshot(v) for v in values]
    outcome, detail, changes = call_checked(getattr(s, name), args, kwargs, DOCUMENTED)
    call = f"{name}({reprlib.repr(args)}, {reprlib.repr(kwargs)})"
    if outcome == "undocumented":
        return f"{call}: {detail}"
    if changes:
        return f"{call} changed reference counts (argument, before, after): {changes}"
    for i, (old, value) in enumerate(zip(before, values)):
        if not unchanged(old, value):
            return f"{call} changed its argument {i}"
    return None


@pytest.mark.parametrize("name", FUZZ_TABLE)
def test_random_calls_only_raise_documented_errors(name):
    rng = random.Random(name)
    for _ in range(CALLS_PER_FUNCTION):
        args, kwargs = random_call(rng, name)
        failure = check_call(name, args, kwargs)
        if failure:
            pytest.fail(failure)
