"""The seven-segment classifier module native_ocr.segsense, from Python."""
import copy
import random

import numpy as np
import pytest

from native_ocr import segsense as s
import segsense_drawing as drawing
import segsense_reference as ref

DIGIT_SLOTS = [
    {"kind": "digit", "slot": 0, "box": [0, 0, 49, 59]},
    {"kind": "digit", "slot": 1, "box": [50, 0, 99, 59]},
    {"kind": "separator", "slot": None, "box": [100, 0, 109, 59]},
    {"kind": "digit", "slot": 2, "box": [110, 0, 159, 59]},
    {"kind": "digit", "slot": 3, "box": [160, 0, 209, 59]},
]
EMPTY_KEYS = ["box", "char", "status", "confidence", "empty_confidence", "ink_ratio"]
READ_KEYS = [
    "box", "glyph_box", "char", "status", "confidence", "empty_confidence", "ink_ratio",
    "segments", "fills", "segment_names", "segment_strengths", "segment_activation",
    "matched_pattern", "pattern_variant", "pattern_score", "runner_up", "runner_up_score",
    "geometry_source", "frame_method", "horizontal_frame_source",
    "horizontal_structure_position", "vertical_core_top", "vertical_core_bottom",
    "vertical_extended_top", "vertical_extended_bottom", "structural_top", "structural_bottom",
    "structural_left", "structural_right", "structural_width_ratio", "nominal_segment_length",
    "nominal_frame_width", "geometry_samples", "geometry_locked", "observed_width_ratio",
    "learned_left", "learned_right", "learned_width_ratio",
]


def four_cell_display(digits=(1, None, 4, 8)):
    display = np.zeros((60, 210), np.uint8)
    for slot, digit in zip([d for d in DIGIT_SLOTS if d["kind"] == "digit"], digits):
        if digit is not None:
            x1 = slot["box"][0]
            drawing.draw_digit(display, digit, x1 + 8, 6, 34, 48, 5)
    return display


def test_namespace_and_constants():
    functions = [
        "read_slots", "read_digit_slot", "_clip_box", "_as01", "_tight_bounds",
        "_contiguous_runs", "_remove_marginal_runs", "_runs_overlap", "_extend_from_core",
        "_horizontal_bar_extent", "_structural_frame", "_frame_from_cell",
        "_single_vertical_mass", "_significant_component_count", "_segment_strengths",
        "_activations", "_score_pattern", "_classify_frame",
    ]
    for name in functions:
        assert callable(getattr(s, name)), name
    assert not hasattr(s, "_mean") and not hasattr(s, "_python_round")
    assert s.SEGMENT_NAMES == ("A", "B", "C", "D", "E", "F", "G")
    assert s.DIGIT_PATTERNS == ref.DIGIT_PATTERNS
    assert list(s.DIGIT_PATTERNS) == list(range(10))
    assert all(isinstance(p, tuple) for ps in s.DIGIT_PATTERNS.values() for p in ps)
    constants = {
        "STRUCTURAL_PROJECTION_RATIO": 0.2, "STRUCTURAL_MIN_PIXELS": 2,
        "MARGINAL_RUN_MAX_HEIGHT_RATIO": 0.1, "MARGINAL_RUN_MIN_GAP_RATIO": 0.03,
        "WIDE_GLYPH_MIN_WIDTH_RATIO": 0.45, "VERTICAL_STROKE_MAX_WIDTH_RATIO": 1.8,
        "VERTICAL_STROKE_MAX_ASPECT": 0.45, "VERTICAL_STROKE_MIN_ROWS": 4,
        "COMPONENT_MIN_AREA": 4, "COMPONENT_AREA_FRACTION": 0.15,
        "HORIZONTAL_PROBE_CENTER_SPAN": 0.5,
    }
    for name, value in constants.items():
        assert getattr(s, name) == value and type(getattr(s, name)) is type(value), name


def test_read_slots_skips_separators_and_keeps_order():
    display = four_cell_display()
    results = s.read_slots(display, DIGIT_SLOTS)
    assert [r["slot"] for r in results] == [0, 1, 2, 3]
    assert [r["char"] for r in results] == [1, None, 4, 8]
    assert [r["status"] for r in results] == ["digit", "empty", "digit", "digit"]
    assert s.read_slots(display, iter(DIGIT_SLOTS)) == results  # any iterable
    assert s.read_slots(display, [{"box": [0, 0, 5, 5]}, {"kind": "separator"}]) == []
    assert s.read_slots(binary=display, slots=[]) == []


def test_result_shapes_key_orders_and_types():
    display = four_cell_display()
    read, empty = s.read_slots(display, DIGIT_SLOTS)[:2]
    assert list(read) == ["kind", "slot"] + READ_KEYS
    assert list(empty) == ["kind", "slot"] + EMPTY_KEYS
    assert type(read["char"]) is int and read["geometry_locked"] is False
    assert read["geometry_samples"] == 0 and read["geometry_source"] == "disabled"
    assert read["learned_left"] is None and read["learned_width_ratio"] is None
    assert read["segment_names"] == ["A", "B", "C", "D", "E", "F", "G"]
    assert read["segments"] == [0, 1, 1, 0, 0, 0, 0]
    assert read["fills"] == read["segment_strengths"]
    assert read["fills"] is not read["segment_strengths"]
    read["fills"].append(9)
    assert len(read["segment_strengths"]) == 7
    for key in ("confidence", "empty_confidence", "ink_ratio", "pattern_score",
                "structural_width_ratio", "nominal_segment_length", "observed_width_ratio"):
        assert type(read[key]) is float, key
    for key in ("vertical_core_top", "structural_right", "nominal_frame_width", "runner_up",
                "pattern_variant"):
        assert type(read[key]) is int, key
    assert empty["char"] is None and empty["box"] == [50, 0, 99, 59]
    assert (empty["confidence"], empty["empty_confidence"], empty["ink_ratio"]) == (1.0, 1.0, 0.0)


def test_results_agree_with_the_numpy_reader_on_drawn_cells():
    display = four_cell_display((0, 9, 7, 2))
    drawing.draw_segments(display, drawing.NINE_WITHOUT_BOTTOM, 60, 6, 30, 48, 4)
    assert s.read_slots(display, DIGIT_SLOTS) == ref.read_slots(display, DIGIT_SLOTS)


def random_cell(rng):
    h, w = rng.randint(1, 70), rng.randint(1, 70)
    cell = np.zeros((h, w), np.uint8)
    kind = rng.random()
    if kind < 0.6 and h > 4 and w > 4:
        gw, gh = rng.randint(3, w), rng.randint(3, h)
        pattern = tuple(rng.randint(0, 1) for _ in range(7))
        drawing.draw_segments(cell, pattern, rng.randint(0, w - gw), rng.randint(0, h - gh), gw,
                              gh, rng.randint(1, max(1, min(gw, gh) // 3)), value=1)
    elif kind < 0.8:
        for _ in range(rng.randint(1, 4)):  # upright bars and blobs
            x, y = rng.randrange(w), rng.randrange(h)
            cell[y:y + rng.randint(1, h), x:x + rng.randint(1, 6)] = 1
    for _ in range(rng.randint(0, 3)):  # thin marks at the top and bottom edges
        y = rng.choice([0, h - 1])
        x = rng.randrange(w)
        cell[y, x:x + rng.randint(1, w)] = 1
    if rng.random() < 0.3:
        noise = np.array([rng.random() < 0.05 for _ in range(h * w)]).reshape(h, w)
        cell[noise] = 1
    return cell


def test_random_cells_agree_with_the_numpy_reader():
    rng = random.Random(1234)
    for _ in range(400):
        cell = random_cell(rng) * rng.choice([1, 255])
        h, w = cell.shape
        slot = {"kind": "digit", "slot": 0,
                "box": [rng.randint(-3, w), rng.randint(-3, h), rng.randint(0, w + 3),
                        rng.randint(0, h + 3)]}
        assert s.read_digit_slot(cell, slot) == ref.read_digit_slot(cell, slot), (cell, slot)
        assert s._structural_frame(cell) == ref.structural_frame(ref.as01(cell))
        assert s._significant_component_count(cell) == ref.significant_component_count(cell)


def test_clip_box_examples():
    assert s._clip_box([-5, -5, 10_000, 10_000], 40, 30) == [0, 0, 39, 29]
    assert s._clip_box([20, 10, 5, 2], 40, 30) == [5, 2, 20, 10]
    assert s._clip_box([3.9, 1.2, 10.7, 20.9], 40, 30) == [3, 1, 10, 20]
    assert s._clip_box(box=(1, 2, 3, 4), width=0, height=0) == [0, 0, 0, 0]
    assert s._clip_box([10**30, -10**30, "7", 2], 40, 30) == [7, 0, 39, 2]
    assert s._clip_box([5, 5, 5, 5], -(2**65), 2**65) == [0, 5, 0, 5]


def test_empty_threshold_is_inclusive():
    cell = np.zeros((25, 5), np.uint8)
    cell[0, :3] = 1  # 3 of 125 pixels: ink ratio 0.024
    out = s.read_digit_slot(cell, {"kind": "digit", "box": [0, 0, 4, 24]})
    assert out["status"] == "empty"
    assert out["confidence"] == out["empty_confidence"] == 1.0 - (3 / 125) / 0.06
    cell = np.zeros((8, 5), np.uint8)
    cell[3, 3] = 1  # 1 of 40: 0.025
    out = s.read_digit_slot(cell, {"kind": "digit", "box": [0, 0, 4, 7]})
    assert out["status"] == "unknown" and len(out) == 1 + len(READ_KEYS)


def test_unaccepted_best_still_reports_its_candidate():
    cell = np.ones((7, 4), np.uint8)  # too small to measure: best 1, not accepted
    out = s.read_digit_slot(cell, {"kind": "digit", "box": [0, 0, 3, 6]})
    assert out["char"] is None and out["status"] == "unknown"
    assert out["matched_pattern"] == [0, 1, 1, 0, 0, 0, 0]
    assert out["pattern_score"] == 0.514 and out["runner_up"] == 7
    assert out["confidence"] == 0.5228571428571428


def test_empty_displays_give_empty_results():
    for shape in [(0, 30), (20, 0), (0, 0), (0, 30, 3)]:
        display = np.zeros(shape, np.uint8)
        (out,) = s.read_slots(display, [{"kind": "digit", "slot": 0, "box": [5, 5, 20, 20]}])
        assert out["status"] == "empty" and out["confidence"] == 1.0 and out["ink_ratio"] == 0.0
        assert s._as01(display).shape == shape[:2]


@pytest.mark.parametrize("dtype", [
    np.uint8, np.int8, np.int16, np.uint16, np.int32, np.uint32, np.int64, np.uint64,
    np.float16, np.float32, np.float64, np.longdouble, np.complex128, bool, object, ">i4",
])
def test_any_element_type_reads_like_uint8(dtype):
    display = four_cell_display() // 255  # 0/1, representable in every type
    expected = s.read_slots(display, DIGIT_SLOTS)
    assert s.read_slots(display.astype(dtype), DIGIT_SLOTS) == expected
    # Three channels, the ink in one of them; negative values are background.
    signed = np.dtype(dtype).kind in "ifc" or np.dtype(dtype) == object
    background = -1 if signed else 0
    colour = np.full(display.shape + (3,), background).astype(dtype)
    colour[..., 1] = display
    assert s.read_slots(colour, DIGIT_SLOTS) == expected
    assert np.array_equal(s._as01(colour), ref.as01(colour))


def test_nan_channels_and_strided_views():
    display = four_cell_display().astype(np.float64)
    colour = np.stack([display, display], axis=-1)
    colour[10, 10, 1] = np.nan  # NaN wins the maximum: not ink
    assert s._as01(colour)[10, 10] == 0
    wide = np.zeros((120, 420), np.uint8)
    wide[::2, ::2] = four_cell_display()
    view = wide[::2, ::2]
    assert s.read_slots(view, DIGIT_SLOTS) == s.read_slots(four_cell_display(), DIGIT_SLOTS)
    flipped = four_cell_display()[::-1, ::-1]
    assert s.read_slots(flipped, DIGIT_SLOTS) == ref.read_slots(flipped, DIGIT_SLOTS)
    assert np.array_equal(s._as01(np.asfortranarray(display)), ref.as01(display))


def test_inputs_are_not_modified():
    display = four_cell_display()
    before = display.copy()
    slots = copy.deepcopy(DIGIT_SLOTS)
    results = s.read_slots(display, slots)
    assert np.array_equal(display, before) and slots == DIGIT_SLOTS
    assert results[0]["box"] is not slots[0]["box"]
    cell = ref.as01(display[:, :50])
    frame = s._frame_from_cell(cell)
    assert np.shares_memory(frame["frame"], cell)  # a view into the cell


def test_non_dict_slots_go_through_the_dictionary_constructor():
    display = four_cell_display()

    class Slot:
        def __init__(self, items):
            self._items = dict(items)

        def get(self, key, default=None):
            return self._items.get(key, default)

        def __getitem__(self, key):
            return self._items[key]

        def keys(self):
            return self._items.keys()

    out = s.read_slots(display, [Slot(DIGIT_SLOTS[0])])
    assert out == s.read_slots(display, [DIGIT_SLOTS[0]])

    class NoKeys(Slot):
        keys = None

    with pytest.raises(TypeError):
        s.read_slots(display, [NoKeys(DIGIT_SLOTS[0])])


@pytest.mark.parametrize("call, error", [
    (lambda d: s.read_slots(d), TypeError),
    (lambda d: s.read_slots(d, [], []), TypeError),
    (lambda d: s.read_slots(d, slot=[]), TypeError),
    (lambda d: s.read_slots(d, 5), TypeError),
    (lambda d: s.read_slots(d, [5]), AttributeError),
    (lambda d: s.read_slots(d, [{"kind": "digit"}]), KeyError),
    (lambda d: s.read_slots(d, [{"kind": "digit", "box": 7}]), TypeError),
    (lambda d: s.read_slots(d, [{"kind": "digit", "box": [1, 2, 3]}]), ValueError),
    (lambda d: s.read_slots(d, [{"kind": "digit", "box": [1, 2, 3, 4, 5]}]), ValueError),
    (lambda d: s.read_slots(d, [{"kind": "digit", "box": [1, 2, 3, "x"]}]), ValueError),
    (lambda d: s.read_slots(d, [{"kind": "digit", "box": [1, 2, 3, None]}]), TypeError),
    (lambda d: s.read_slots(d, [{"kind": "digit", "box": [1, 2, 3, float("nan")]}]), ValueError),
    (lambda d: s.read_digit_slot(d), TypeError),
    (lambda d: s.read_digit_slot(binary=d, slot={"kind": "digit"}, extra=1), TypeError),
    (lambda d: s.read_digit_slot(d, 5), TypeError),
    (lambda d: s.read_slots(np.zeros(10), [{"kind": "digit", "box": [0, 0, 1, 1]}]), ValueError),
    (lambda d: s.read_slots(np.zeros((2, 2, 2, 2)), [{"kind": "digit", "box": [0, 0, 1, 1]}]),
     ValueError),
    (lambda d: s.read_slots(np.zeros((4, 4, 0)), [{"kind": "digit", "box": [0, 0, 1, 1]}]),
     ValueError),
    (lambda d: s.read_slots("text", [{"kind": "digit", "box": [0, 0, 1, 1]}]), ValueError),
    (lambda d: s._clip_box([1, 2, 3], 4, 4), ValueError),
    (lambda d: s._score_pattern([1.0] * 6, (1,) * 7), ValueError),
])
def test_failures_raise_the_documented_errors(call, error):
    with pytest.raises(error):
        call(four_cell_display())


def test_non_digit_slots_never_touch_the_display():
    assert s.read_slots(None, [{"kind": "separator", "box": None}]) == []


def test_structure_helpers_return_python_types():
    assert s._contiguous_runs(np.array([2, 3, 4, 7, 9, 10])) == [[2, 4], [7, 7], [9, 10]]
    runs = [[0, 1], [5, 30], [38, 39]]
    assert s._remove_marginal_runs(runs, 40) == [[5, 30]]
    assert runs == [[0, 1], [5, 30], [38, 39]]
    assert s._remove_marginal_runs(runs, 41) == [[5, 30], [38, 39]]
    assert s._runs_overlap([1, 5], [5, 9]) is True and s._runs_overlap([1, 4], [5, 9]) is False
    assert s._extend_from_core([0, 3, 3, 0, 0, 0, 5, 5], [[6, 7]], 3) == (1, 7)
    assert s._extend_from_core([0, 0], [[0, 1]], 3) is None
    assert s._tight_bounds(np.zeros((3, 3))) is None
    assert s._tight_bounds(np.eye(3)) == (0, 0, 2, 2)
    cell = np.zeros((6, 20), np.uint8)
    cell[1, 3:15] = 1
    cell[4, 5:17] = 1
    assert s._horizontal_bar_extent(cell, 0, 5, 6) == (5, 16)
    assert s._horizontal_bar_extent(cell, -5, -2, 6) == (5, 16)  # rows count from the end
    assert s._horizontal_bar_extent(cell, 3, 2, 6) is None
    with pytest.raises(IndexError):
        s._horizontal_bar_extent(cell, 0, 6, 6)
    bar = np.zeros((30, 30), np.uint8)
    bar[5:25, 14:17] = 1
    structure = s._structural_frame(bar)
    assert list(structure) == list(ref.structural_frame(bar))
    assert s._single_vertical_mass(bar, structure) is True
    assert s._single_vertical_mass(bar, dict(structure, top=40, bottom=50)) is False
    # Extents far outside the cell are sliced as the interpreter slices them.
    huge = dict(structure, top=-(2**70), bottom=2**70, left=-(2**70), right=2**70)
    assert s._single_vertical_mass(bar, huge) is False
    assert len(s._remove_marginal_runs([[0, 1], [2**70, 2**70 + 5]], 40)) == 1


def test_classifier_helpers():
    assert s._activations([0.15, 0.3, 0.9, -1]) == [0.15 / 0.3, 1.0, 1.0, 0.0]
    assert s._score_pattern([1.0] * 7, (1,) * 7) == 1.0
    ones = np.zeros((20, 10), np.uint8)
    ones[0:3, 2:8] = 1
    assert s._segment_strengths(ones) == ref.segment_strengths(ones)
    value, confidence, strengths, acts, best, second = s._classify_frame(ones)
    assert (value, confidence, strengths, acts) == ref.classify_frame(ones)[:4]
    assert list(best) == ["digit", "variant", "pattern", "score"]
    assert isinstance(best["pattern"], tuple)
