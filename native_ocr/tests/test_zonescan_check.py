"""zonescan.check_zone: what a host can show about a zone before reading it."""
import math

import pytest

from native_ocr import zonescan as z

CLEAN = {"x": 0.1, "y": 0.2, "width": 0.3, "height": 0.1}


def problems(**changes):
    return [(p["field"], p["problem"], p["suggestion"]) for p in z.check_zone({**CLEAN, **changes})]


def test_clean_zones_have_no_problems():
    assert z.check_zone(CLEAN) == []
    for role in [r for group in z.ROLES.values() for r in group] + [None, ""]:
        assert z.check_zone({**CLEAN, "role": role, "processing": None}) == [], role
    assert z.check_zone({**CLEAN, "processing": dict(z.DEFAULT_PROCESSING)}) == []
    # Values normalisation keeps as they are (equal after conversion) are not problems.
    assert problems(processing={"threshold": 150.0, "contrast": 2, "invert": 1}) == []


def test_unknown_roles_and_keys_name_the_nearest_known_one():
    assert problems(role="clok") == [("role", "unknown_role", "clock")]
    assert problems(role="scoreboard") == [("role", "unknown_role", None)]
    assert problems(role=7) == [("role", "invalid_role", None)]
    assert problems(processing={"treshold": 90, "host_note": "x"}) == [
        ("processing.treshold", "unknown_setting", "threshold"),
        ("processing.host_note", "unknown_setting", None)]


@pytest.mark.parametrize("key, given, problem", [
    ("threshold", 300, "clamped_setting"),
    ("contrast", 9, "clamped_setting"),
    ("rotation", math.nan, "clamped_setting"),
    ("morph_size", 0, "clamped_setting"),
    ("threshold", "90", "replaced_setting"),
    ("threshold", 150.9, "replaced_setting"),
    ("invert", "false", "replaced_setting"),
    ("morphology", "Open", "replaced_setting"),
    ("grayscale", None, "replaced_setting"),
])
def test_settings_that_normalisation_changes_report_the_value_used(key, given, problem):
    (found,) = z.check_zone({**CLEAN, "processing": {key: given}})
    assert (found["field"], found["problem"]) == (f"processing.{key}", problem)
    assert found["suggestion"] == repr(z.normalize_settings({key: given})[key])


def test_what_would_make_a_read_raise_is_reported_not_raised():
    assert problems(processing={"threshold": "1.5", "gamma": None}) == [
        ("processing.threshold", "invalid_setting", None),
        ("processing.gamma", "invalid_setting", None)]
    assert problems(processing=7) == [("processing", "invalid_settings", None)]
    found = z.check_zone({"y": "a", "width": 0.2, "height": 0.1})
    assert [(p["field"], p["problem"]) for p in found] == [("x", "invalid_bound"),
                                                           ("y", "invalid_bound")]
    assert "KeyError" in found[0]["message"]


@pytest.mark.parametrize("bounds, expected", [
    ({"width": 0.0}, [("width", "empty_zone", None)]),
    ({"x": 1.5}, [("x", "outside_frame", None)]),
    ({"x": -0.05, "y": 0.95}, [("x", "partly_outside", None), ("height", "partly_outside", None)]),
    ({"x": math.inf}, [("x", "invalid_bound", None)]),
])
def test_bounds_outside_the_frame(bounds, expected):
    assert problems(**bounds) == expected


def test_zone_objects_and_pair_settings_are_seen_as_the_readers_see_them():
    class Zone:
        role = "clok"
        processing = [("blur", 99)]

        def __getitem__(self, key):
            return CLEAN[key]

    assert [(p["field"], p["problem"]) for p in z.check_zone(Zone())] == [
        ("role", "unknown_role"), ("processing.blur", "clamped_setting")]
    assert list(z.check_zone({**CLEAN, "role": "clok"})[0]) == ["field", "problem", "message",
                                                                "suggestion"]
