"""Colour conversion as OpenCV does it, wherever a crop is converted: a BGRA crop reads like its
BGR part, and a grey or two-channel crop raises OpenCV's own error, unchanged."""
import cv2
import numpy as np
import pytest

import clock_drawing
from native_ocr import zonescan as z

AMBER = (40, 190, 255)


def clock(width=200, height=60, mark=":"):
    return clock_drawing.draw_clock(width, height, "1234", mark, colour=AMBER,
                                    slots=z.clock_slots(width, height))


def bgra(image):
    out = cv2.cvtColor(image, cv2.COLOR_BGR2BGRA)
    out[:, :, 3] = np.arange(out.shape[1], dtype=np.uint8)  # alpha is not colour
    return out


def opencv_error_code(image):
    with pytest.raises(cv2.error) as raised:
        cv2.cvtColor(image, cv2.COLOR_BGR2GRAY)
    return raised.value.code


@pytest.mark.parametrize("mark", [":", "."])
def test_bgra_crops_read_like_their_bgr_part(mark):
    crop = clock(mark=mark)
    four = bgra(crop)
    read = z.read_clock_from_crop(crop)
    assert read["value"] == ("12:34" if mark == ":" else "12.3")
    assert z.read_clock_from_crop(four) == read
    assert z._detect_clock_separator_without_regions(four) == \
        z._detect_clock_separator_without_regions(crop)
    assert np.array_equal(z._clock_separator_mask(four[:, 90:110]),
                          z._clock_separator_mask(crop[:, 90:110]))
    prepared = z.prepare_display_from_crop(four, detect_separator=True)
    expected = z.prepare_display_from_crop(crop, detect_separator=True)
    assert np.array_equal(prepared.pop("binary"), expected.pop("binary"))
    assert prepared == expected
    assert z.read_score_from_crop(four[:, :100]) == z.read_score_from_crop(crop[:, :100])


@pytest.mark.parametrize("channels", [1, 2])
def test_grey_and_two_channel_crops_raise_opencvs_error(channels):
    crop = np.ascontiguousarray(clock()[:, :, :channels])
    code = opencv_error_code(crop)
    calls = [lambda: z.read_clock_from_crop(crop),
             lambda: z._detect_clock_separator_without_regions(crop),
             lambda: z._clock_separator_mask(crop[:, 90:110]),
             lambda: z.prepare_display_from_crop(crop, detect_separator=True),
             lambda: z.read_period_from_crop(crop)]
    for call in calls:
        with pytest.raises(cv2.error) as raised:
            call()
        assert raised.value.code == code
        assert "Invalid number of channels" in str(raised.value)


def test_a_two_dimensional_grey_crop_is_grey_for_the_display_and_refused_by_the_detector():
    grey = cv2.cvtColor(clock(), cv2.COLOR_BGR2GRAY)
    assert z.read_score_from_crop(grey[:, :100])["reason"] != "no_frame"
    with pytest.raises(cv2.error) as raised:
        z.read_clock_from_crop(grey)
    assert raised.value.code == opencv_error_code(grey)
