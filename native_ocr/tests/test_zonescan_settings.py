"""Processing settings, roles and layout choice of native_ocr.zonescan."""
import math
import random

import pytest

from native_ocr import zonescan as z
import zonescan_reference as ref


def test_defaults_and_single_digit_roles():
    assert z.DEFAULT_PROCESSING == ref.DEFAULTS
    assert list(z.DEFAULT_PROCESSING) == list(ref.DEFAULTS)
    assert z.SINGLE_DIGIT_ROLES == frozenset({"down", "home_timeouts", "guest_timeouts"})
    assert isinstance(z.SINGLE_DIGIT_ROLES, frozenset)


def test_roles_list_the_nineteen_known_roles_with_their_layouts():
    assert list(z.ROLES) == ["two_digit", "one_digit", "clock_like"]
    roles = [role for group in z.ROLES.values() for role in group]
    assert len(roles) == len(set(roles)) == 19
    assert z.SINGLE_DIGIT_ROLES < set(z.ROLES["one_digit"])
    kinds = {"two_digit": ["digit"] * 2, "one_digit": ["digit"],
             "clock_like": ["digit", "digit", "separator", "digit", "digit"]}
    for group, members in z.ROLES.items():
        for role in members:
            assert [s["kind"] for s in z.layout_for_role(role, 100, 30)] == kinds[group], role


def test_empty_settings_give_a_fresh_copy_of_the_defaults():
    for empty in (None, {}, [], ()):
        out = z.normalize_settings(empty)
        assert out == z.DEFAULT_PROCESSING and out is not z.DEFAULT_PROCESSING
    assert z.normalize_settings() is not z.normalize_settings()


def test_the_defaults_stay_the_modules_own():
    z.DEFAULT_PROCESSING["threshold"] = 7
    try:
        assert z.normalize_settings()["threshold"] == 150
    finally:
        z.DEFAULT_PROCESSING["threshold"] = 150


@pytest.mark.parametrize("given, expected", [
    ({"threshold": 300}, {"threshold": 255}),
    ({"contrast": 9}, {"contrast": 4.0}),
    ({"gamma": 0}, {"gamma": 0.2}),
    ({"rotation": -40}, {"rotation": -15.0}),
    ({"blur": 99}, {"blur": 15}),
    ({"morph_size": 0}, {"morph_size": 1}),
    ({"brightness": "-900"}, {"brightness": -150}),
    ({"threshold": "90"}, {"threshold": 90}),
    ({"threshold": " +90\n"}, {"threshold": 90}),
    ({"threshold": "9_0"}, {"threshold": 90}),
    ({"threshold": 150.9}, {"threshold": 150}),
    ({"threshold": -0.5}, {"threshold": 0}),
    ({"threshold": True}, {"threshold": 1}),
    ({"threshold": 10**400}, {"threshold": 255}),
    ({"brightness": -(10**400)}, {"brightness": -150}),
    ({"contrast": " 2.5 "}, {"contrast": 2.5}),
    ({"contrast": float("nan")}, {"contrast": 4.0}),
    ({"rotation": float("-inf")}, {"rotation": -15.0}),
    ({"morphology": "Open"}, {"morphology": "none"}),
    ({"morphology": None}, {"morphology": "none"}),
    ({"morphology": "open"}, {"morphology": "open"}),
    ({"invert": "no"}, {"invert": True}),
    ({"invert": 0}, {"invert": False}),
    ({"binarize": ""}, {"binarize": False}),
    ({"grayscale": None}, {"grayscale": False}),
])
def test_values_are_converted_and_clamped(given, expected):
    out = z.normalize_settings(given)
    for key, value in expected.items():
        assert out[key] == value and type(out[key]) is type(value)


def test_types_are_the_normalised_types():
    out = z.normalize_settings({"contrast": 2, "gamma": True, "rotation": "3", "blur": 2.9})
    assert [type(v) for v in out.values()] == [int, float, int, float, float, int, str, int,
                                                bool, bool, bool]
    assert out["blur"] == 2


def test_extra_keys_follow_the_standard_ones_in_the_callers_order():
    out = z.normalize_settings({"zeta": [1], "threshold": 10, "alpha": None})
    assert list(out) == list(ref.DEFAULTS) + ["zeta", "alpha"]
    assert out["zeta"] == [1] and out["alpha"] is None


def test_anything_update_accepts_is_merged():
    assert z.normalize_settings([("threshold", 20)])["threshold"] == 20
    assert z.normalize_settings(iter([("blur", 3)]))["blur"] == 3

    class Mapping:
        def keys(self):
            return ["invert"]

        def __getitem__(self, key):
            return 1

    assert z.normalize_settings(Mapping())["invert"] is True


def test_the_callers_mapping_is_left_alone():
    given = {"threshold": "300", "morphology": "OPEN"}
    z.normalize_settings(given)
    assert given == {"threshold": "300", "morphology": "OPEN"}


def test_normalising_twice_changes_nothing():
    once = z.normalize_settings({"threshold": 999, "rotation": 99, "invert": "x", "extra": 1})
    assert z.normalize_settings(once) == once


@pytest.mark.parametrize("bad", [
    {"threshold": None}, {"threshold": "abc"}, {"threshold": "1.5"}, {"contrast": None},
    {"contrast": "fast"}, {"blur": float("nan")}, {"brightness": float("inf")},
    {"gamma": 10**400}, {"threshold": []}, 5, "ab", [1, 2], [("a",)],
])
def test_conversion_errors_are_the_interpreters(bad):
    with pytest.raises(Exception) as expected:
        ref.normalize_settings(bad)
    with pytest.raises(type(expected.value)) as got:
        z.normalize_settings(bad)
    assert str(got.value) == str(expected.value)


def random_value(rng):
    return rng.choice([
        rng.randint(-400, 400), rng.uniform(-50, 400), str(rng.randint(-300, 300)),
        f" {rng.uniform(-5, 9):.3f} ", True, False, 0, "", "x", None, float("nan"),
        rng.choice(ref.MORPHOLOGIES), rng.choice(["OPEN", "Dilate", " none"]), 10**30,
        -(10**30), float("inf"),
    ])


def test_agrees_with_the_reference_on_random_settings():
    rng = random.Random(7)
    keys = list(ref.DEFAULTS) + ["extra"]
    for _ in range(3000):
        settings = {rng.choice(keys): random_value(rng) for _ in range(rng.randint(0, 6))}
        try:
            expected = ref.normalize_settings(settings)
        except Exception as e:  # noqa: BLE001 - the module must raise the same
            with pytest.raises(type(e)):
                z.normalize_settings(settings)
            continue
        got = z.normalize_settings(settings)
        assert list(got) == list(expected)
        for key in expected:
            a, b = got[key], expected[key]
            assert type(a) is type(b) and (a == b or (a != a and b != b)), (settings, key)


def test_processing_and_role_of_zones():
    class Zone:
        role = "clock"
        processing = {"threshold": 1}

    class DictZone(dict):
        role = "period"

    assert z._processing({"processing": None}) is None
    assert z._processing({}) is None
    assert z._processing({"processing": {"a": 1}}) == {"a": 1}
    assert z._processing(Zone()) == {"threshold": 1}
    assert z._processing(object()) is None
    assert z._role({"role": ""}) == ""
    assert z._role({}) is None
    assert z._role({"role": 5}) == 5
    assert z._role(Zone()) == "clock"
    assert z._role(object()) is None
    assert z._role(DictZone(role="x")) == "period"
    assert z._processing(DictZone(processing=3)) == 3


def test_processing_of_a_zone_whose_attribute_fails_propagates():
    class Broken:
        @property
        def processing(self):
            raise RuntimeError("boom")

    with pytest.raises(RuntimeError):
        z._processing(Broken())


def boxes(layout):
    return [slot["box"] for slot in layout]


def test_layout_for_role_picks_the_group_layout():
    two = z.layout_for_role("guest_shots", 40, 20)
    assert two == z.equal_digit_slots(40, 20, 2)
    assert len(z.layout_for_role("down", 40, 20)) == 1
    assert len(z.layout_for_role("unheard_of", 40, 20)) == 1
    assert len(z.layout_for_role("", 40, 20)) == 1
    clock = z.layout_for_role("home_penalty_2", 100, 30)
    assert [s["kind"] for s in clock] == ["digit", "digit", "separator", "digit", "digit"]
    assert z.layout_for_role("clock", 200, 40, 150) == z.clock_slots(200, 40, 150.0)
    assert z.layout_for_role("width_is_float", 40.9, 20) == z.layout_for_role("x", 40, 20)
    # separator_x only matters (and is only converted) for clock-like roles
    assert z.layout_for_role("home_score", 40, 20, "ignored") == two


def test_layout_for_role_argument_types():
    with pytest.raises(TypeError) as info:
        z.layout_for_role(None, 40, 20)
    assert str(info.value) == "Argument 'role' has incorrect type (expected str, got NoneType)"

    class Text(str):
        pass

    with pytest.raises(TypeError, match=r"expected str, got Text\)"):
        z.layout_for_role(Text("clock"), 40, 20)
    with pytest.raises(TypeError) as info:
        z.layout_for_role("clock", "40", 20)
    assert str(info.value) == "Argument 'width' has incorrect type (expected int, got str)"
    with pytest.raises(TypeError, match="'height'.*got list"):
        z.layout_for_role("clock", 40, [20])
    with pytest.raises(ValueError):
        z.layout_for_role("clock", math.nan, 20)
