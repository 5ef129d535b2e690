"""The docstrings a host developer works from: every public function says how it is called, and
the readers' docstrings name every key and reason their results hold."""
import inspect
import re

import numpy as np
import pytest

from native_ocr import segsense, zonescan as z
import clock_drawing


def public_functions():
    for module in (z, segsense):
        for name in sorted(dir(module)):
            value = getattr(module, name)
            if not name.startswith("_") and inspect.isbuiltin(value):
                yield f"{module.__name__}.{name}", value


@pytest.mark.parametrize("name, function", list(public_functions()))
def test_every_public_function_has_a_signature_and_more_than_a_line(name, function):
    inspect.signature(function)  # from the docstring's first line
    assert len(function.__doc__.strip().splitlines()) >= 3, name
    assert "Another name" not in function.__doc__


def documented(function, words):
    doc = function.__doc__
    return [w for w in words if not re.search(rf"\b{re.escape(w)}\b", doc)]


def test_reader_docstrings_name_their_result_keys_and_reasons():
    crop = clock_drawing.draw_clock(200, 60, "1234", ":", slots=z.clock_slots(200, 60))
    clock = z.read_clock_from_crop(crop)
    for reader in (z.read_clock_from_crop, z.read_clock_from_image, z.read_clock,
                   z.read_clock_zone):
        assert documented(reader, list(clock) + ["raw", "unrecognized", "no_frame"]) == []
    score = z.read_score_from_crop(crop)
    reasons = {z.read_score: ["ok", "no_frame", "layout", "missing_units", "unrecognized"],
               z.read_period: ["ok", "no_frame", "empty", "unknown"],
               z.read_single_digit: ["ok", "no_frame", "layout", "empty", "unknown"]}
    for reader, words in reasons.items():
        assert documented(reader, list(score) + words) == []
    display = z.prepare_display_from_crop(np.zeros((4, 4), np.uint8))
    assert documented(z.prepare_display, list(display)) == []
    assert documented(z.normalize_settings, list(z.DEFAULT_PROCESSING)) == []
    assert documented(segsense.read_slots, ["char", "status", "confidence", "empty_confidence",
                                            "ink_ratio", "glyph_box"]) == []
