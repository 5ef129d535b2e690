"""pyglue helpers, exercised through the test-only module _pyglue_probe."""
import os
import sys

import cv2
import numpy as np
import pytest

sys.path.insert(0, os.environ["PYGLUE_PROBE_DIR"])
import _pyglue_probe as probe  # noqa: E402


def three_params(a, b, c=None):
    pass


def no_params():
    pass


def error_of(fn, *args, **kwargs):
    with pytest.raises(TypeError) as info:
        fn(*args, **kwargs)
    return str(info.value)


@pytest.mark.parametrize(
    "args, kwargs",
    [
        ((), {}),
        ((1,), {}),
        ((1, 2, 3, 4), {}),
        ((1, 2, 3, 4, 5), {"c": 1}),
        ((), {"c": 1}),
        ((1,), {"a": 2}),
        ((1, 2), {"d": 1}),
        ((1, 2, 3), {"c": 1}),
        ((), {"b": 1, "zz": 2}),
    ],
)
def test_argument_errors_read_as_the_interpreters(args, kwargs):
    expected = error_of(three_params, *args, **kwargs).replace("three_params", "three_params")
    assert error_of(probe.three_params, *args, **kwargs) == expected


def test_argument_errors_for_a_function_without_parameters():
    assert error_of(probe.no_params, 1) == error_of(no_params, 1)
    assert error_of(probe.no_params, 1, 2) == error_of(no_params, 1, 2)
    assert error_of(probe.no_params, x=1) == error_of(no_params, x=1)


def test_arguments_by_position_or_keyword():
    assert probe.three_params(1, 2) == (1, 2, Ellipsis)
    assert probe.three_params(c=3, b=2, a=1) == (1, 2, 3)
    assert probe.three_params(1, c=3, b=2) == (1, 2, 3)


def test_int_argument_truncates_numbers_and_names_the_offending_type():
    assert probe.int_argument(40.9) == 40
    assert probe.int_argument(-2.7) == -2
    assert probe.int_argument(True) == 1
    assert probe.int_argument(np.int16(7)) == 7
    assert probe.int_argument(np.float32(3.9)) == 3
    assert probe.int_argument(10**40) == 2**63 - 1
    assert probe.int_argument(-(10**40)) == -(2**63)
    for bad, name in [("12", "str"), (None, "NoneType"), (b"1", "bytes"), (1j, "complex"),
                      (np.zeros(2), "numpy.ndarray"), ([1], "list")]:
        with pytest.raises(TypeError) as info:
            probe.int_argument(bad)
        assert str(info.value) == (
            f"Argument 'value' has incorrect type (expected int, got {name})")
    with pytest.raises(ValueError, match="NaN"):
        probe.int_argument(float("nan"))
    with pytest.raises(OverflowError):
        probe.int_argument(float("inf"))


def test_python_int_is_the_interpreters_int_clamped():
    assert probe.python_int(" +90 ") == 90
    assert probe.python_int("9_0") == 90
    assert probe.python_int(150.9) == 150
    assert probe.python_int("9" * 50) == 2**63 - 1
    for bad in ["1.5", None, "x"]:
        with pytest.raises((TypeError, ValueError)) as info:
            probe.python_int(bad)
        with pytest.raises(type(info.value)) as expected:
            int(bad)
        assert str(info.value) == str(expected.value)


def test_images_are_read_in_place_when_rows_are_packed():
    frame = np.arange(6 * 8 * 3, dtype=np.uint8).reshape(6, 8, 3)
    assert probe.image_info(frame) == (3, 6, 8, 3, True)
    assert probe.image_info(frame[1:4, 2:7]) == (3, 3, 5, 3, True)
    assert probe.image_info(frame[:, :, 0]) == (2, 6, 8, 1, False)
    assert probe.image_info(frame[:, ::2]) == (3, 6, 4, 3, False)
    assert probe.image_info(frame[::-1]) == (3, 6, 8, 3, False)
    grey = np.zeros((4, 5), np.uint8)
    assert probe.image_info(grey) == (2, 4, 5, 1, True)


@pytest.mark.parametrize("view", [
    lambda f: f, lambda f: f[1:4, 2:7], lambda f: f[:, :, 1], lambda f: f[::-1, ::2],
    lambda f: f[:, :, ::-1], lambda f: np.asfortranarray(f)])
def test_copies_keep_every_pixel_of_any_view(view):
    frame = np.random.default_rng(1).integers(0, 256, (6, 8, 3), dtype=np.uint8)
    src = view(frame)
    out = probe.copy_image(src)
    assert out.dtype == np.uint8 and out.shape == src.shape and out.flags.c_contiguous
    np.testing.assert_array_equal(out, src)
    assert not np.shares_memory(out, frame)


def test_images_of_the_wrong_kind_are_refused():
    with pytest.raises(TypeError, match="uint8"):
        probe.image_info(np.zeros((3, 3), np.float32))
    with pytest.raises(TypeError, match="uint8"):
        probe.image_info(np.zeros((3, 3), np.int8))
    with pytest.raises(ValueError, match="dimensions"):
        probe.image_info(np.zeros(5, np.uint8))
    with pytest.raises(ValueError, match="dimensions"):
        probe.image_info(np.zeros((2, 2, 2, 2), np.uint8))
    with pytest.raises(TypeError, match="list"):
        probe.image_info([[1, 2]])
    with pytest.raises(ValueError, match="no channels"):
        probe.copy_image(np.zeros((6, 7, 0), np.uint8))


def test_crops_are_views_through_the_callers_slicing():
    frame = np.zeros((10, 12, 3), np.uint8)
    crop = probe.crop(frame, 2, 5, 3, 9)
    assert crop.shape == (3, 6, 3)
    assert np.shares_memory(crop, frame)
    assert crop.base is frame or crop.base is frame.base or np.shares_memory(crop, frame)


def test_errors_map_to_the_python_exceptions():
    for kind, exc in [("type", TypeError), ("value", ValueError), ("attribute", AttributeError),
                      ("overflow", OverflowError), ("memory", MemoryError),
                      ("other", RuntimeError)]:
        with pytest.raises(exc):
            probe.raise_error(kind, "boom")
    with pytest.raises(KeyError) as info:
        probe.raise_error("key", "x")
    assert info.value.args == ("x",)
    with pytest.raises(cv2.error) as info:
        probe.raise_error("opencv", "")
    assert "OpenCV(" in str(info.value) and info.value.code == cv2.Error.StsUnmatchedSizes


def test_dictionaries_keep_their_key_order():
    d = probe.ordered_dict()
    assert list(d) == ["z", "a", "m"]
    assert d == {"z": 1, "a": 2.5, "m": [1, -2, 3]}
