"""Zone bounds, decoding, crops and slot layouts of native_ocr.zonescan."""
import math
import os

import cv2
import numpy as np
import pytest

from native_ocr import zonescan as z
import zonescan_reference as ref

ZONE = {"x": 0.25, "y": 0.5, "width": 0.5, "height": 0.25}


def test_bounds_are_truncated_fractions_of_the_frame():
    assert z.normalized_zone_bounds(ZONE, 1920, 1080) == (480, 540, 1440, 810)
    assert z.normalized_zone_bounds({"x": 0.9, "y": -0.1, "width": 0.5, "height": 0.3},
                                    100, 50) == (90, 0, 100, 10)
    b = z.normalized_zone_bounds({"x": 0, "y": 0, "width": 1, "height": 1}, 7, 5)
    assert b == (0, 0, 7, 5) and all(type(v) is int for v in b)


def test_bounds_errors():
    with pytest.raises(KeyError) as info:
        z.normalized_zone_bounds({"x": 0, "y": 0, "width": 1}, 10, 10)
    assert info.value.args == ("height",)
    with pytest.raises(TypeError, match="NoneType"):
        z.normalized_zone_bounds({"x": None, "y": 0, "width": 1, "height": 1}, 10, 10)
    with pytest.raises(ValueError, match="NaN"):
        z.normalized_zone_bounds({"x": math.nan, "y": 0, "width": 1, "height": 1}, 10, 10)
    with pytest.raises(OverflowError):
        z.normalized_zone_bounds({"x": 0, "y": 0, "width": math.inf, "height": 1}, 10, 10)


def test_crops_are_views_into_the_callers_image():
    frame = np.random.default_rng(3).integers(0, 256, (72, 128, 3), dtype=np.uint8)
    frame.flags.writeable = False
    crop = z.crop_zone_from_image(ZONE, frame)
    assert crop.shape == (18, 64, 3)
    assert np.shares_memory(crop, frame)
    np.testing.assert_array_equal(crop, frame[36:54, 32:96])
    grey = frame[:, :, 1]  # a strided view
    crop = z.crop_zone_from_image(ZONE, grey)
    assert crop.shape == (18, 64) and np.shares_memory(crop, frame)


def test_crops_agree_with_the_reference_on_random_zones():
    rng = np.random.default_rng(5)
    frame = np.zeros((48, 64, 3), np.uint8)
    for _ in range(500):
        zone = dict(zip(("x", "y", "width", "height"), rng.uniform(-0.6, 1.4, 4)))
        got, expected = z.crop_zone_from_image(zone, frame), ref.crop_zone_from_image(zone, frame)
        assert (got is None) == (expected is None), zone
        if got is not None:
            assert got.shape == expected.shape
            assert got.__array_interface__["data"] == expected.__array_interface__["data"]


@pytest.mark.parametrize("zone", [
    {"x": 0.2, "y": 0.2, "width": 0, "height": 0.5},
    {"x": 1.2, "y": 0.2, "width": 0.3, "height": 0.5},
    {"x": -0.8, "y": 0.2, "width": 0.3, "height": 0.5},
    {"x": 0.2, "y": 1.0, "width": 0.3, "height": 0.5},
])
def test_zones_without_pixels_give_no_crop(zone):
    assert z.crop_zone_from_image(zone, np.zeros((40, 40), np.uint8)) is None


def test_images_must_be_sliceable_arrays():
    two_d = memoryview(bytes(40 * 40)).cast("B", (40, 40))
    with pytest.raises(TypeError, match="memoryview"):
        z.crop_zone_from_image(ZONE, two_d)
    with pytest.raises(ValueError):
        z.crop_zone_from_image(ZONE, b"flat bytes")
    with pytest.raises(TypeError):
        z.crop_zone_from_image(ZONE, np.zeros((40, 40), np.float32))


def test_no_image_or_empty_image_gives_no_crop():
    assert z.crop_zone_from_image(ZONE, None) is None
    assert z.crop_zone_from_image(ZONE, np.zeros((0, 40, 3), np.uint8)) is None
    assert z.crop_zone_from_image(ZONE, np.zeros((40, 40, 0), np.uint8)) is None


def test_decoding_and_cropping_files(tmp_path):
    frame = np.random.default_rng(1).integers(0, 256, (40, 60, 3), dtype=np.uint8)
    path = tmp_path / "preview.png"
    cv2.imwrite(str(path), frame)
    decoded = z.decode_bgr_image(path)  # any object, through str()
    np.testing.assert_array_equal(decoded, frame)
    assert decoded.flags.c_contiguous and decoded.flags.writeable
    grey_path = tmp_path / "grey.png"
    cv2.imwrite(str(grey_path), frame[:, :, 0])
    assert z.decode_bgr_image(str(grey_path)).shape == (40, 60, 3)
    crop = z.crop_zone(ZONE, str(path))
    np.testing.assert_array_equal(crop, frame[20:30, 15:45])


def test_unreadable_files_give_none(tmp_path):
    junk = tmp_path / "junk.jpg"
    junk.write_bytes(b"\xff\xd8 not really a jpeg")
    for path in [tmp_path / "missing.png", junk, tmp_path, "", "a\0b", "\udcff", None]:
        assert z.decode_bgr_image(path) is None
        assert z.crop_zone(ZONE, path) is None
    empty = tmp_path / "empty.png"
    empty.write_bytes(b"")
    assert z.decode_bgr_image(os.fspath(empty)) is None


def boxes(layout):
    return [slot["box"] for slot in layout]


def test_equal_slots():
    layout = z.equal_digit_slots(100, 30, 2)
    assert layout == [{"kind": "digit", "slot": 0, "box": [0, 0, 49, 29]},
                      {"kind": "digit", "slot": 1, "box": [50, 0, 99, 29]}]
    assert [list(s) for s in layout] == [["kind", "slot", "box"]] * 2
    assert boxes(z.equal_digit_slots(25, 10, 2)) == [[0, 0, 12, 9], [12, 0, 24, 9]]
    assert z.equal_digit_slots(0, 0, 0) == [{"kind": "digit", "slot": 0, "box": [0, 0, 0, 0]}]
    assert z.equal_digit_slots(25.9, 10.2, 2.7) == z.equal_digit_slots(25, 10, 2)
    assert z.equal_digit_slots(-5, -5, -5) == z.equal_digit_slots(1, 1, 1)


def test_clock_slots():
    layout = z.clock_slots(100, 30)
    assert boxes(layout) == [[0, 0, 23, 29], [24, 0, 46, 29], [47, 0, 52, 29], [53, 0, 75, 29],
                             [76, 0, 99, 29]]
    assert [(s["kind"], s["slot"]) for s in layout] == [
        ("digit", 0), ("digit", 1), ("separator", None), ("digit", 2), ("digit", 3)]
    assert boxes(z.clock_slots(200, 40, 150)) == [[0, 0, 66, 39], [67, 0, 134, 39],
                                                  [134, 0, 144, 39], [146, 0, 172, 39],
                                                  [173, 0, 199, 39]]
    assert boxes(z.clock_slots(10, 8)) == [[0, 0, 0, 7], [2, 0, 2, 7], [3, 0, 6, 7],
                                           [7, 0, 8, 7], [8, 0, 9, 7]]
    assert z.clock_slots(200, 40, -1e9) == z.clock_slots(200, 40, 60)
    assert z.clock_slots(200, 40, separator_x=1e9) == z.clock_slots(200, 40, 140)
    assert z.clock_slots(200, 40, math.nan) == z.clock_slots(200, 40, 140)
    assert z.clock_slots(200, 40, np.float32(100)) == z.clock_slots(200, 40)
    with pytest.raises(TypeError):
        z.clock_slots(200, 40, "100")


def test_box_rounds_half_to_even():
    assert z._box(0.5, 1.5, 2.5, 3.5) == [0, 2, 2, 4]
    assert z._box(-0.5, -1.5, 7, True) == [0, -2, 7, 1]
    with pytest.raises(ValueError):
        z._box(math.nan, 0, 0, 0)
    with pytest.raises(OverflowError):
        z._box(0, math.inf, 0, 0)
    with pytest.raises(TypeError):
        z._box("1", 0, 0, 0)


def test_layout_argument_types():
    with pytest.raises(TypeError) as info:
        z.equal_digit_slots(10, 10, "2")
    assert str(info.value) == "Argument 'count' has incorrect type (expected int, got str)"
    with pytest.raises(TypeError) as info:
        z.clock_slots(None, 10)
    assert str(info.value) == "Argument 'width' has incorrect type (expected int, got NoneType)"
    with pytest.raises(MemoryError):
        z.equal_digit_slots(10, 10, 10**12)
