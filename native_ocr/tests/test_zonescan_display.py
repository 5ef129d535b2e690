"""Display preparation of native_ocr.zonescan."""
import random

import cv2
import numpy as np
import pytest

from native_ocr import zonescan as z
import zonescan_reference as ref

ZONE = {"x": 0.25, "y": 0.25, "width": 0.5, "height": 0.5}


def scoreboard(rows=60, cols=200, seed=0):
    rng = np.random.default_rng(seed)
    image = rng.integers(0, 90, (rows, cols, 3), dtype=np.uint8)
    for x in range(10, cols - 20, 45):
        image[10:rows - 10, x:x + 25] = rng.integers(140, 256, 3, dtype=np.uint8)
    return image


def random_settings(rng):
    return {
        "threshold": rng.randint(0, 255), "contrast": rng.uniform(0.2, 4.0),
        "brightness": rng.randint(-150, 150), "gamma": rng.uniform(0.2, 3.0),
        "rotation": rng.choice([0.0, 0.0005, 0.002, rng.uniform(-15, 15)]),
        "blur": rng.randint(0, 15), "morphology": rng.choice(ref.MORPHOLOGIES),
        "morph_size": rng.randint(1, 9), "binarize": rng.random() < 0.7,
        "invert": rng.random() < 0.3,
    }


VIEWS = {
    "colour": lambda im: im,
    "grey": lambda im: cv2.cvtColor(im, cv2.COLOR_BGR2GRAY),
    "crop view": lambda im: im[7:41, 13:170],
    "channel view": lambda im: im[:, :, 2],
    "reversed channels": lambda im: im[:, :, ::-1],
    "every other column": lambda im: im[:, ::2],
    "upside down": lambda im: im[::-1],
    "bgra": lambda im: cv2.cvtColor(im, cv2.COLOR_BGR2BGRA),
}


@pytest.mark.parametrize("view", VIEWS.values(), ids=VIEWS.keys())
def test_agrees_with_the_opencv_chain(view):
    rng = random.Random(11)
    image = view(scoreboard())
    before = image.copy()
    for _ in range(40):
        settings = random_settings(rng)
        got = z.process_image(image, settings)
        assert got.dtype == np.uint8 and got.shape == image.shape[:2]
        np.testing.assert_array_equal(got, ref.process_image(image, settings), err_msg=str(settings))
    np.testing.assert_array_equal(image, before)


def test_every_grey_level_maps_as_opencv_maps_it():
    # All 256 levels, in rows whose length leaves OpenCV's vector loops a scalar tail.
    ramp = np.tile(np.arange(256, dtype=np.uint8), 8)[:263 * 7].reshape(7, 263)
    rng = random.Random(3)
    for _ in range(60):
        settings = {"contrast": rng.choice([rng.uniform(0.2, 4.0), 1.5, 0.5]),
                    "brightness": rng.randint(-150, 150), "gamma": rng.uniform(0.2, 3.0),
                    "binarize": rng.random() < 0.5, "invert": rng.random() < 0.5,
                    "threshold": rng.randint(0, 255)}
        np.testing.assert_array_equal(z.process_image(ramp, settings),
                                      ref.process_image(ramp, settings), err_msg=str(settings))


def test_defaults_threshold_strictly_above_150():
    image = np.array([[150, 151], [0, 255]], np.uint8)
    np.testing.assert_array_equal(z.process_image(image), [[0, 255], [0, 255]])


def test_grey_and_equal_channel_colour_agree():
    grey = cv2.cvtColor(scoreboard(), cv2.COLOR_BGR2GRAY)
    colour = np.dstack([grey] * 3)
    np.testing.assert_array_equal(z.process_image(grey), z.process_image(colour))


def test_results_are_new_arrays_and_read_only_inputs_are_fine():
    image = scoreboard()
    image.flags.writeable = False
    out = z.process_image(image, {"binarize": False})
    assert out.flags.writeable and out.flags.c_contiguous and out.flags.owndata
    assert not np.shares_memory(out, image)


def test_empty_images_come_back_unprocessed():
    for empty in (np.zeros((0, 5, 3), np.uint8), np.zeros((4, 0), np.uint8),
                  np.zeros((0,), np.float32)):
        assert z.process_image(empty) is empty
    with pytest.raises(ValueError):
        z.process_image(np.zeros((0, 5)), {"threshold": "x"})  # settings come first


def test_process_image_errors():
    with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'size'"):
        z.process_image(None)
    with pytest.raises(cv2.error) as got:
        z.process_image(np.zeros((4, 4, 1), np.uint8))
    with pytest.raises(cv2.error) as expected:
        cv2.cvtColor(np.zeros((4, 4, 1), np.uint8), cv2.COLOR_BGR2GRAY)
    assert got.value.code == expected.value.code
    assert "Invalid number of channels" in str(got.value)
    with pytest.raises(TypeError):
        z.process_image(np.zeros((4, 4), np.float32))
    with pytest.raises(ValueError):
        z.process_image(np.zeros(4, np.uint8))
    with pytest.raises(TypeError):
        z.process_image([[1, 2], [3, 4]])


def test_prepared_display_dictionary():
    crop = scoreboard()[5:50, 20:180]
    display = z.prepare_display_from_crop(crop)
    assert list(display) == ["binary", "angle", "crop_size", "separator", "processing"]
    np.testing.assert_array_equal(display["binary"], z.process_image(crop))
    assert display["angle"] == 0.0 and type(display["angle"]) is float
    assert display["crop_size"] == [160, 45]
    assert display["separator"] is None
    assert display["processing"] == z.DEFAULT_PROCESSING
    custom = z.prepare_display_from_crop(crop, processing={"rotation": 99, "note": "x"})
    assert custom["angle"] == 15.0
    assert custom["processing"]["note"] == "x"
    # with detection requested the display reports the detector's answer
    detected = z.prepare_display_from_crop(crop, detect_separator=1)
    assert detected["separator"] is None or isinstance(detected["separator"], dict)
    np.testing.assert_array_equal(detected["binary"], display["binary"])


def test_no_crop_gives_no_display(tmp_path):
    assert z.prepare_display_from_crop(None) is None
    assert z.prepare_display_from_crop(np.zeros((0, 10, 3), np.uint8)) is None
    assert z.prepare_display_from_image({"x": 2, "y": 0, "width": 1, "height": 1},
                                        scoreboard()) is None
    assert z.prepare_display_from_image(ZONE, None) is None
    assert z.prepare_display(ZONE, tmp_path / "missing.png") is None


def test_display_from_image_and_file(tmp_path):
    frame = scoreboard(80, 240)
    path = tmp_path / "frame.png"
    cv2.imwrite(str(path), frame)
    settings = {"threshold": 120, "blur": 3}
    from_image = z.prepare_display_from_image(ZONE, frame, processing=settings)
    from_file = z.prepare_display(zone=ZONE, preview_path=str(path), processing=settings)
    expected = ref.process_image(frame[20:60, 60:180], settings)
    np.testing.assert_array_equal(from_image["binary"], expected)
    np.testing.assert_array_equal(from_file["binary"], expected)
    assert from_file["crop_size"] == [120, 40]
    # the wrappers take settings only from their argument, never from the zone
    zone = dict(ZONE, processing={"invert": True})
    assert z.prepare_display_from_image(zone, frame)["processing"]["invert"] is False
