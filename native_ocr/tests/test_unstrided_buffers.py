"""Images whose buffer comes without strides (ctypes arrays): every function that takes an image
reads them as the C-contiguous arrays they are, with the results of the same numpy array."""
import ctypes

import numpy as np
import pytest

from native_ocr import segsense as s, zonescan as z
import clock_drawing
import segsense_drawing as drawing

DIGIT = {"kind": "digit", "slot": 0, "box": [0, 0, 19, 29]}


def digit_display():
    display = np.zeros((30, 20), np.uint8)
    drawing.draw_digit(display, 4, 3, 2, 14, 26, 3)
    return display


def clock_crop():
    slots = z.layout_for_role("clock", 100, 30)
    return clock_drawing.draw_clock(100, 30, "1259", ":", slots=slots)


def as_ctypes(array):
    """A ctypes array (rows x columns [x channels]) holding a copy of `array`."""
    out = np.ctypeslib.as_ctypes(np.ascontiguousarray(array).copy())
    assert memoryview(out).strides is not None  # the view computes them; the export has none
    return out


def same(a, b):
    if isinstance(a, np.ndarray) or isinstance(b, np.ndarray):
        return np.array_equal(np.asarray(a), np.asarray(b))
    if isinstance(a, dict):
        return isinstance(b, dict) and list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, (list, tuple)):
        return type(a) is type(b) and len(a) == len(b) and all(map(same, a, b))
    return a == b or (a != a and b != b)


CALLS = {
    "segsense.read_slots": (lambda im: s.read_slots(im, [DIGIT]), digit_display),
    "segsense.read_digit_slot": (lambda im: s.read_digit_slot(im, DIGIT), digit_display),
    "segsense._as01": (s._as01, digit_display),
    "segsense._as01 colour": (s._as01, lambda: clock_crop()[:, :40]),
    "segsense._classify_frame": (s._classify_frame, digit_display),
    "segsense._structural_frame": (s._structural_frame, digit_display),
    "segsense._tight_bounds": (s._tight_bounds, digit_display),
    "zonescan._read_slots": (lambda im: z._read_slots(im, [DIGIT]), digit_display),
    "zonescan.process_image": (z.process_image, clock_crop),
    "zonescan.prepare_display_from_crop":
        (lambda im: z.prepare_display_from_crop(im, True), clock_crop),
    "zonescan.read_score_from_crop": (z.read_score_from_crop, clock_crop),
    "zonescan.read_clock_from_crop": (z.read_clock_from_crop, clock_crop),
    "zonescan._separator_window_views": (z._separator_window_views, clock_crop),
    "zonescan._separator_window_blurs": (z._separator_window_blurs, clock_crop),
    "zonescan._clock_separator_mask": (z._clock_separator_mask, clock_crop),
    "zonescan._separator_energy_map": (z._separator_energy_map, clock_crop),
    "zonescan._remove_small_components":
        (lambda im: z._remove_small_components(im, 3), digit_display),
    "zonescan._reflected_sheet_blurs":
        (lambda im: z._reflected_sheet_blurs([im, im]), digit_display),
}


@pytest.mark.parametrize("name", CALLS)
def test_a_ctypes_array_reads_like_the_numpy_array(name):
    call, make = CALLS[name]
    image = make()
    assert same(call(as_ctypes(image)), call(image))


def test_frames_are_cut_through_the_callers_own_slicing():
    cell = digit_display()
    frame = s._frame_from_cell(cell)
    assert frame["frame"].base is cell or frame["frame"].base is cell.base
    with pytest.raises(TypeError):  # ctypes arrays take no (rows, columns) index
        s._frame_from_cell(as_ctypes(cell))
    assert s._frame_from_cell(as_ctypes(np.zeros((5, 7), np.uint8))) is None


def test_three_dimensional_and_typed_ctypes_arrays():
    crop = clock_crop()
    raw = (ctypes.c_uint8 * 3 * 100 * 30)()
    ctypes.memmove(raw, crop.tobytes(), crop.nbytes)
    assert same(z.read_clock_from_crop(raw), z.read_clock_from_crop(crop))
    cell = digit_display()
    floats = as_ctypes(cell.astype(np.float32))
    assert same(s.read_slots(floats, [DIGIT]), s.read_slots(cell, [DIGIT]))
    blank = (ctypes.c_uint8 * 7 * 5)()
    assert same(s._as01(blank), np.zeros((5, 7), np.uint8))
    assert s._classify_frame(blank) == s._classify_frame(np.zeros((5, 7), np.uint8))
