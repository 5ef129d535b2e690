"""The stubs' TypedDicts hold exactly the keys the modules' results carry (stubtest checks the
signatures, not the keys of returned dictionaries)."""
import ast
from pathlib import Path

import numpy as np

from native_ocr import segsense, zonescan as z
import clock_drawing

STUBS = Path(__file__).resolve().parents[1] / "package"


def typed_dict_keys():
    """{class name: [field names, bases' first]} of every TypedDict in the stubs."""
    classes = {}
    for stub in ("segsense.pyi", "zonescan.pyi"):
        for node in ast.parse((STUBS / stub).read_text()).body:
            if isinstance(node, ast.ClassDef):
                bases = [b.id for b in node.bases if isinstance(b, ast.Name)]
                own = [s.target.id for s in node.body if isinstance(s, ast.AnnAssign)]
                classes[node.name] = [k for b in bases for k in classes.get(b, [])] + own
    return classes


KEYS = typed_dict_keys()


def test_result_types_name_every_key_in_order():
    crop = clock_drawing.draw_clock(200, 60, "1234", ":", slots=z.clock_slots(200, 60))
    clock = z.read_clock_from_crop(crop)
    assert KEYS["ClockReading"][:3] == ["value", "valid", "reason"]
    assert sorted(KEYS["ClockReading"]) == sorted(clock)
    assert KEYS["ClockDebug"] == list(clock["debug"])
    assert KEYS["SeparatorItem"] == list(clock["ocr_items"][2])
    assert set(KEYS["SeparatorResult"]) == set(clock["debug"]["separator"])
    assert KEYS["SeparatorGroup"] == list(clock["debug"]["separator"]["groups"][0])
    assert KEYS["SeparatorHypothesis"] == list(clock["debug"]["separator"]["selected_hypothesis"])
    score = z.read_score_from_crop(crop)
    assert sorted(KEYS["DigitReading"]) == sorted(score)
    assert KEYS["ReaderDebug"] == list(score["debug"])
    assert KEYS["Slot"] == list(score["geometry_items"][0])
    display = z.prepare_display_from_crop(crop)
    assert KEYS["PreparedDisplay"] == list(display)
    optional = ["classifier", "polarity", "slant", "clock_cells"]
    assert KEYS["ProcessingSettings"] == list(z.DEFAULT_PROCESSING) + optional
    given = {"classifier": "learned", "polarity": "dark", "slant": 8.0, "clock_cells": 3}
    assert list(z.normalize_settings(given)) == KEYS["ProcessingSettings"]
    assert KEYS["RoleGroups"] == list(z.ROLES)


def test_slot_and_helper_results():
    binary = np.zeros((30, 20), np.uint8)
    binary[3:27, 3:6] = binary[3:27, 14:17] = binary[3:6, 3:17] = 255  # something to frame
    read = segsense.read_digit_slot(binary, {"kind": "digit", "slot": 0, "box": [0, 0, 19, 29]})
    assert read["status"] != "empty"
    assert KEYS["SlotResult"] == list(read)
    assert KEYS["ZoneProblem"] == list(z.check_zone({"x": 0, "y": 0, "width": 1, "height": 1,
                                                     "role": "clok"})[0])
    zone = {"x": 0.0, "y": 0.0, "width": 1.0, "height": 1.0, "role": "clock"}
    frame = clock_drawing.draw_clock(200, 60, "1234", ":", slots=z.clock_slots(200, 60))
    calibrated = z.calibrate_zone(zone, frame)
    assert KEYS["Calibration"] == list(calibrated)
    assert KEYS["CalibratedZone"] == list(calibrated["zone"])
    assert KEYS["Trust"] == list(z.trust_reading(calibrated["reading"]))
