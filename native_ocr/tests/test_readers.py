"""The score, period and single-digit readers of native_ocr.zonescan, end to end."""
import os
import subprocess
import sys

import cv2
import numpy as np
import pytest

from native_ocr import segsense, zonescan as z
import segsense_drawing as drawing

LIT = (40, 200, 255)  # a warm segment colour, grey about 198: above the default threshold
UNKNOWN_GLYPH = (0, 0, 0, 1, 1, 1, 0)  # an L: no digit pattern reaches the acceptance score
FULL_KEYS = ["value", "digits", "valid", "reason", "ocr_items", "geometry_items", "debug"]


def crop_of(cells, cell_width=40, height=50):
    """A dark BGR crop with one glyph per equal cell: a digit, a pattern tuple, or None."""
    grey = np.zeros((height, cell_width * len(cells)), np.uint8)
    for i, cell in enumerate(cells):
        if cell is None:
            continue
        pattern = drawing.PATTERNS[cell] if isinstance(cell, int) else cell
        drawing.draw_segments(grey, pattern, i * cell_width + 6, 5, cell_width - 12,
                              height - 10, 4)
    crop = np.zeros(grey.shape + (3,), np.uint8)
    crop[grey > 0] = LIT
    return crop


@pytest.mark.parametrize("cells, value, valid, reason, digits", [
    ((None, 7), 7, True, "ok", [None, 7]),
    ((1, 0), 10, True, "ok", [1, 0]),
    ((4, 2), 42, True, "ok", [4, 2]),
    ((UNKNOWN_GLYPH, 4), None, False, "unrecognized", [None, 4]),
    ((3, None), None, False, "missing_units", [3, None]),
    ((3, UNKNOWN_GLYPH), None, False, "missing_units", [3, None]),
])
def test_score_decisions(cells, value, valid, reason, digits):
    out = z.read_score_from_crop(crop_of(cells))
    assert list(out) == FULL_KEYS
    assert (out["value"], out["valid"], out["reason"], out["digits"]) == \
        (value, valid, reason, digits)
    assert [item["char"] for item in out["ocr_items"]] == digits


def test_full_result_layout_and_debug():
    crop = crop_of((2, 5))
    out = z.read_score_from_crop(crop, role="guest_shots", processing={"rotation": 2.675})
    assert out["debug"]["angle"] == 2.67
    assert out["debug"]["crop_size"] == [80, 50]
    assert out["debug"]["layout"] is out["geometry_items"]
    assert out["geometry_items"] == z.layout_for_role("guest_shots", 80, 50)
    assert z.read_score_from_crop(crop, processing={"rotation": -3.5})["debug"]["angle"] == -3.5
    # The slot results are the classifier's, unchanged.
    binary = z.prepare_display_from_crop(crop)["binary"]
    assert out["ocr_items"][0].keys() == segsense.read_slots(binary, out["geometry_items"])[0].keys()
    assert z._read_slots(binary, out["geometry_items"]) == \
        segsense.read_slots(binary, out["geometry_items"])


@pytest.mark.parametrize("cells", [(None, 8), (UNKNOWN_GLYPH, 3), (5, 1)])
def test_slot_results_are_the_classifier_modules_field_for_field(cells):
    # Empty, unrecognised and read cells: every value the reader reports of a slot is the one
    # segsense.read_slots gives for the same display and layout.
    crop = crop_of(cells)
    out = z.read_score_from_crop(crop)
    binary = z.prepare_display_from_crop(crop)["binary"]
    assert out["ocr_items"] == segsense.read_slots(binary, out["geometry_items"])


def test_score_roles():
    crop = crop_of((1, 9))
    for role in (None, "", "home_score"):
        assert z.read_score_from_crop(crop, role=role)["value"] == 19
    out = z.read_score_from_crop(crop, "period")
    assert list(out) == ["value", "valid", "reason", "ocr_items"]
    assert out["reason"] == "layout" and len(out["ocr_items"]) == 1
    assert z.read_score_from_crop(crop, role="clock")["reason"] == "layout"
    with pytest.raises(TypeError):
        z.read_score_from_crop(crop, role=5)
    # No crop: no layout is looked at, so even a bad role gives the missing-crop result.
    assert z.read_score_from_crop(None, role=5) == {"value": None, "valid": False,
                                                     "reason": "no_frame"}


def test_period_and_single_digit_readers():
    out = z.read_period_from_crop(crop_of((3,), cell_width=40))
    assert list(out) == FULL_KEYS
    assert (out["value"], out["valid"], out["reason"], out["digits"]) == (3, True, "ok", [3])
    out = z.read_period_from_crop(np.zeros((50, 40, 3), np.uint8))
    assert (out["value"], out["valid"], out["reason"], out["digits"]) == \
        (None, False, "empty", [None])
    out = z.read_period_from_crop(crop_of((UNKNOWN_GLYPH,)))
    assert out["reason"] == "unknown" and out["value"] is None
    for role in ("down", "home_timeouts", "guest_timeouts"):
        out = z.read_single_digit_from_crop(crop_of((4,)), role)
        assert (out["value"], out["valid"], out["reason"]) == (4, True, "ok")
    for role in ("period", None, "home_score", 3, ["down"]):
        assert z.read_single_digit_from_crop(None, role) == \
            {"value": None, "valid": False, "reason": "layout"}
    assert z.read_single_digit_from_crop(np.zeros((0, 5, 3), np.uint8), "down")["reason"] == \
        "no_frame"
    with pytest.raises(TypeError):
        z.read_single_digit_from_crop(crop_of((4,)))  # role is required


@pytest.fixture()
def scoreboard(tmp_path):
    """A dark 320x180 frame with a two-digit score and a period digit, as a JPEG preview file."""
    frame = np.full((180, 320, 3), 12, np.uint8)
    frame[20:70, 40:120] = crop_of((2, 7))
    frame[100:150, 200:240] = crop_of((3,))
    path = tmp_path / "preview.jpg"
    assert cv2.imwrite(str(path), frame, [cv2.IMWRITE_JPEG_QUALITY, 92])
    zones = {
        "score": {"x": 40 / 320, "y": 20 / 180, "width": 80 / 320, "height": 50 / 180,
                  "role": "home_score"},
        "period": {"x": 200 / 320, "y": 100 / 180, "width": 40 / 320, "height": 50 / 180,
                   "role": "period"},
        "down": {"x": 200 / 320, "y": 100 / 180, "width": 40 / 320, "height": 50 / 180,
                 "role": "down", "processing": {"threshold": 120}},
    }
    return path, zones


def test_reads_a_jpeg_preview_end_to_end(scoreboard):
    path, zones = scoreboard
    score = z.read_score(zones["score"], str(path))
    assert (score["value"], score["valid"], score["digits"]) == (27, True, [2, 7])
    period = z.read_period(zone=zones["period"], preview_path=path)
    assert (period["value"], period["valid"]) == (3, True)
    assert z.read_single_digit(zones["down"], path)["value"] == 3
    image = cv2.imread(str(path))
    assert z.read_score_from_image(zones["score"], image) == score
    no_role = {k: v for k, v in zones["score"].items() if k != "role"}
    assert z.read_score_from_image(no_role, image)["value"] == 27


def test_missing_files_and_zones_outside_the_frame(scoreboard, tmp_path):
    path, zones = scoreboard
    missing = str(tmp_path / "missing.jpg")
    for read in (z.read_score, z.read_period, z.read_single_digit):
        assert read(zones["down"], missing) == {"value": None, "valid": False,
                                                 "reason": "no_frame"}
    outside = dict(zones["score"], x=1.5)
    assert z.read_score(outside, path)["reason"] == "no_frame"
    with pytest.raises(KeyError):
        z.read_period({"x": 0.1, "y": 0.1, "width": 0.2}, path)


def test_zone_objects_give_role_and_processing_as_attributes(scoreboard):
    path, zones = scoreboard

    class Zone:
        role = "down"
        processing = {"threshold": 250}  # above every lit pixel: nothing is ink

        def __getitem__(self, key):
            return zones["period"][key]

    out = z.read_single_digit(Zone(), path)
    assert (out["valid"], out["reason"], out["digits"]) == (False, "empty", [None])

    class DictZone(dict):
        role = "down"  # a dictionary's role attribute wins over its item ("period")

    out = z.read_single_digit(DictZone(zones["period"]), path)
    assert (out["valid"], out["value"]) == (True, 3)


def test_the_classifier_is_imported_at_the_first_read():
    code = (
        "import sys, numpy as np\n"
        "from native_ocr import zonescan\n"
        "assert 'native_ocr.segsense' not in sys.modules\n"
        "zonescan.read_period_from_crop(np.zeros((20, 10, 3), np.uint8))\n"
        "assert 'native_ocr.segsense' in sys.modules\n"
    )
    subprocess.run([sys.executable, "-c", code], check=True, env=dict(os.environ))
