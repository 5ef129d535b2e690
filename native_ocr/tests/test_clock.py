"""The clock reader of native_ocr.zonescan: the clock string from the digit cells and the detected
separator, the result's layout, and whole frames read from JPEG previews."""
import cv2
import numpy as np
import pytest

import clock_drawing
from native_ocr import zonescan as z

AMBER = (40, 190, 255)  # bright enough for the default threshold of 150 in grey
KEYS = ["value", "raw_value", "digits", "digit_items", "ocr_items", "geometry_items",
        "separator_x", "separator_char", "clock_mode", "valid", "stable", "accepted", "reason",
        "debug"]


def clock(width=200, height=60, digits="1234", mark=":"):
    return clock_drawing.draw_clock(width, height, digits, mark, colour=AMBER,
                                    slots=z.clock_slots(width, height))


def cell(status, char=None):
    return {"status": status, "char": char}


@pytest.fixture
def slots_read_as(monkeypatch):
    """Makes the classifier report the given cells for the digit slots of any layout."""
    def install(*cells):
        def fake(binary, slots):
            digit_slots = [s for s in slots if s["kind"] == "digit"]
            return [dict(s, **c) for s, c in zip(digit_slots, cells)]
        monkeypatch.setattr(z, "_read_slots", fake)
    return install


class TestClockString:
    @pytest.mark.parametrize("cells, mark, expected", [
        ([("digit", 1), ("digit", 2), ("digit", 3), ("digit", 4)], ":", "12:34"),
        ([("empty",), ("digit", 5), ("digit", 3), ("digit", 0)], ":", "5:30"),
        ([("digit", 1), ("digit", 2), ("digit", 3), ("empty",)], ":", "12:3"),
        ([("digit", 5), ("digit", 9), ("digit", 8), ("empty",)], ".", "59.8"),
        ([("digit", 5), ("digit", 9), ("digit", 8), ("digit", 7)], ".", "59.8"),
        ([("digit", 5), ("digit", 9), ("digit", 8), ("empty",)], None, "59:8"),
        ([("digit", 5), ("digit", 9), ("digit", 8), ("unknown",)], ".", None),
        ([("empty",), ("empty",), ("digit", 4), ("digit", 5)], ":", None),
        ([("digit", 5), ("digit", 9), ("empty",), ("digit", 8)], ".", None),
        ([("digit", 9), ("digit", 9), ("digit", 9), ("digit", 9)], ":", "99:99"),
    ])
    def test_cells_and_separator(self, slots_read_as, cells, mark, expected):
        slots_read_as(*[cell(*c) for c in cells])
        result = z.read_clock_from_crop(clock(mark=mark))
        assert result["value"] == expected
        assert result["raw_value"] == expected
        assert result["valid"] is result["accepted"] is (expected is not None)
        assert result["reason"] == ("raw" if expected else "unrecognized")
        assert result["clock_mode"] == ("tenths" if mark == "." else "minutes")


class TestResultLayout:
    def test_keys_items_and_debug(self):
        crop = clock()
        result = z.read_clock_from_crop(crop, processing={"rotation": 2.675})
        assert list(result) == KEYS
        assert result["stable"] is True
        items, ocr = result["digit_items"], result["ocr_items"]
        assert len(items) == 4 and len(ocr) == 5
        assert ocr[0] is items[0] and ocr[1] is items[1]
        assert ocr[3] is items[2] and ocr[4] is items[3]
        assert list(ocr[2]) == ["kind", "char", "status", "confidence", "box"]
        assert ocr[2]["kind"] == "separator" and ocr[2]["status"] == "separator"
        assert ocr[2]["box"] == result["geometry_items"][2]["box"]
        assert result["digits"] == [i.get("char") for i in items]
        debug = result["debug"]
        assert list(debug) == ["angle", "crop_size", "layout", "separator"]
        assert debug["angle"] == 2.67
        assert debug["crop_size"] == [200, 60]
        assert debug["layout"] is result["geometry_items"]
        assert debug["separator"] == z._detect_clock_separator_without_regions(crop, 0.0)
        assert result["separator_x"] == debug["separator"]["x"]
        assert ocr[2]["confidence"] == debug["separator"]["confidence"]

    def test_separator_gap_follows_the_detected_separator(self):
        result = z.read_clock_from_crop(clock())
        sx = result["separator_x"]
        assert result["geometry_items"] == z.clock_slots(200, 60, sx)

    def test_no_separator_found(self, slots_read_as):
        slots_read_as(*[cell("digit", d) for d in (1, 2, 3, 4)])
        result = z.read_clock_from_crop(clock(mark=None))
        assert result["value"] == "12:34"
        assert result["separator_x"] is None and result["debug"]["separator"] is None
        assert (result["separator_char"], result["clock_mode"]) == (":", "minutes")
        assert result["ocr_items"][2] == {"kind": "separator", "char": ":", "status": "unknown",
                                          "confidence": 0.0, "box": z.clock_slots(200, 60)[2]["box"]}

    def test_role_with_two_cells(self):
        result = z.read_clock_from_crop(clock(), role="home_score")
        assert result["value"] is None and result["reason"] == "unrecognized"
        assert len(result["digit_items"]) == 2
        assert [i["kind"] for i in result["ocr_items"]] == ["digit", "digit", "separator"]
        assert result["ocr_items"][2]["box"] is None

    def test_roles(self):
        crop = clock()
        plain = z.read_clock_from_crop(crop)
        assert z.read_clock_from_crop(crop, role="") == plain
        assert z.read_clock_from_crop(crop, role=None) == plain
        assert z.read_clock_from_crop(crop, role="home_penalty_2") == plain
        with pytest.raises(TypeError, match="Argument 'role' has incorrect type"):
            z.read_clock_from_crop(crop, role=5)

    def test_missing_crops_and_bad_input(self):
        no_frame = {"value": None, "valid": False, "reason": "no_frame"}
        assert z.read_clock_from_crop(None) == no_frame
        assert z.read_clock_from_crop(np.zeros((0, 10, 3), np.uint8)) == no_frame
        with pytest.raises(cv2.error):  # the detector needs blue-green-red
            z.read_clock_from_crop(cv2.cvtColor(clock(), cv2.COLOR_BGR2GRAY))
        with pytest.raises(TypeError):
            z.read_clock_from_crop(clock().astype(np.float32))
        with pytest.raises(ValueError):
            z.read_clock_from_crop(clock(), processing={"threshold": "1.5"})


class TestDrawnClocks:
    @pytest.mark.parametrize("width, height, digits, mark, expected", [
        (200, 60, "1234", ":", "12:34"),
        (400, 120, "0945", ":", "09:45"),
        (200, 60, " 530", ":", "5:30"),
        (200, 60, "598 ", ".", "59.8"),
        (120, 40, "1234", None, "12:34"),
    ])
    def test_reads(self, width, height, digits, mark, expected):
        result = z.read_clock_from_crop(clock(width, height, digits, mark))
        assert result["value"] == expected

    def test_rotated_crop_with_rotation_setting(self):
        crop = clock_drawing.rotate(clock(), 3.0)
        result = z.read_clock_from_crop(crop, processing={"rotation": -3.0})
        assert result["debug"]["angle"] == -3.0
        assert result["value"] == "12:34"


def frame_with_clock(digits, mark):
    frame = np.full((720, 1280, 3), (25, 25, 25), np.uint8)
    frame[36:108, 512:768] = clock(256, 72, digits, mark)
    return frame


ZONE = {"x": 0.4, "y": 0.05, "width": 0.2, "height": 0.1, "role": "clock"}


class TestFrames:
    @pytest.mark.parametrize("digits, mark, expected", [("1234", ":", "12:34"),
                                                        ("598 ", ".", "59.8")])
    def test_jpeg_preview_end_to_end(self, tmp_path, digits, mark, expected):
        path = tmp_path / "preview.jpg"
        assert cv2.imwrite(str(path), frame_with_clock(digits, mark),
                           [cv2.IMWRITE_JPEG_QUALITY, 85])
        result = z.read_clock(ZONE, str(path))
        assert result["value"] == expected
        assert result["separator_char"] == mark
        assert z.read_clock_zone(ZONE, path) == result

    def test_zone_settings_and_missing_frames(self, tmp_path):
        frame = frame_with_clock("1234", ":")
        zone = dict(ZONE, processing={"rotation": 1.005}, role=None)
        result = z.read_clock_from_image(zone, frame)
        assert result["value"] == "12:34" and result["debug"]["angle"] == 1.0
        outside = dict(ZONE, x=1.5)
        assert z.read_clock_from_image(outside, frame)["reason"] == "no_frame"
        assert z.read_clock(ZONE, str(tmp_path / "missing.jpg"))["reason"] == "no_frame"
        with pytest.raises(KeyError):
            z.read_clock_from_image({"x": 0.1}, frame)
