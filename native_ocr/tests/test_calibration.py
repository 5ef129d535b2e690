"""calibrate_zone, trust_reading and render_reading of native_ocr.zonescan, and the command line
python3 -m native_ocr: scoreboard frames drawn with the field at a known place, read through the
module's own readers."""
import json
import os
import subprocess
import sys

import cv2
import numpy as np
import pytest

import clock_drawing
from native_ocr import zonescan as z

GREEN = (120, 230, 140)
FRAME_W, FRAME_H = 640, 360
CLOCK_BOX = (200, 110, 440, 180)  # x1, y1, x2, y2 (exclusive) of the drawn clock in the frame


def frame_with(field, at):
    frame = np.full((FRAME_H, FRAME_W, 3), (18, 14, 14), np.uint8)
    x, y = at
    frame[y:y + field.shape[0], x:x + field.shape[1]] = field
    cv2.putText(frame, "TIME", (x + 80, y - 12), cv2.FONT_HERSHEY_SIMPLEX, 0.6, (230, 230, 230), 2)
    return frame


def clock_frame(digits="1234", mark=":"):
    x1, y1, x2, y2 = CLOCK_BOX
    field = clock_drawing.draw_clock(x2 - x1, y2 - y1, digits, mark, colour=GREEN,
                                     slots=z.clock_slots(x2 - x1, y2 - y1))
    field[np.all(field == (15, 20, 30), axis=2)] = (18, 14, 14)
    return frame_with(field, (x1, y1))


def score_frame(text):
    field = np.full((80, 110, 3), (18, 14, 14), np.uint8)
    for box, digit in zip(([0, 0, 54, 79], [55, 0, 109, 79]), text):
        clock_drawing.draw_digit(field, box, digit, GREEN)
    return frame_with(field, (300, 150))


LOOSE = {"x": 150 / FRAME_W, "y": 60 / FRAME_H, "width": 360 / FRAME_W, "height": 180 / FRAME_H}


def lit_box(frame):
    """Bounds of the bright pixels below the label row (the drawn digits)."""
    grey = cv2.cvtColor(frame, cv2.COLOR_BGR2GRAY)
    ys, xs = np.nonzero(grey[100:] > 100)
    return xs.min(), ys.min() + 100, xs.max() + 1, ys.max() + 101


def bounds(zone):
    return z.normalized_zone_bounds(zone, FRAME_W, FRAME_H)


class TestCalibrateZone:
    def test_blind_fits_the_clock_and_reads_it(self):
        frame = clock_frame()
        result = z.calibrate_zone(dict(LOOSE, role="clock"), frame)
        assert list(result) == ["zone", "reading", "confidence", "reason", "classifier"]
        assert result["reason"] == "ok"
        zone = result["zone"]
        # Both classifiers read the clean clock alike and steadily: the tie goes to the learned
        # classifier, and the settings name it.
        assert result["classifier"] == "learned" and zone["processing"]["classifier"] == "learned"
        assert list(zone) == ["x", "y", "width", "height", "role", "processing"]
        assert zone["role"] == "clock"
        assert zone["processing"] == z.normalize_settings(zone["processing"])
        x1, y1, x2, y2 = bounds(zone)
        lx1, ly1, lx2, ly2 = lit_box(frame)
        assert x1 <= lx1 and y1 <= ly1 and x2 >= lx2 and y2 >= ly2  # every digit inside
        assert y1 > 100  # the label above is left out
        assert (x2 - x1) < 0.8 * 360
        assert result["reading"]["value"] == "12:34"
        assert z.read_clock_from_image(zone, frame)["value"] == "12:34"
        assert 0.5 < result["confidence"] <= 1.0

    def test_blank_leading_cells_stay_in_the_zone(self):
        frame = clock_frame(" 530")
        result = z.calibrate_zone(dict(LOOSE, role="clock"), frame)
        assert result["reading"]["value"] == "5:30"
        # the same zone then reads a clock with all four cells lit
        assert z.read_clock_from_image(result["zone"], clock_frame("1530"))["value"] == "15:30"
        frame = score_frame(" 7")
        result = z.calibrate_zone(dict(LOOSE, role="home_score"), frame)
        assert result["reading"]["value"] == 7
        assert z.read_score_from_image(result["zone"], score_frame("47"))["value"] == 47

    def test_taught_reads_exactly_the_expected_value(self):
        frame = clock_frame("5980", ".")
        result = z.calibrate_zone(dict(LOOSE, role="clock"), frame, expected="59.8")
        assert result["reason"] == "ok"
        assert result["reading"]["value"] == "59.8"
        frame = score_frame("86")
        result = z.calibrate_zone(dict(LOOSE, role="guest_score"), frame, expected=86)
        assert result["reading"]["value"] == 86

    def test_a_value_not_shown_is_said_and_still_gives_a_zone(self):
        result = z.calibrate_zone(dict(LOOSE, role="clock"), clock_frame(), role="clock",
                                  expected="99:99")
        assert result["reason"] == "expected_not_read"
        assert result["reading"]["value"] == "12:34"

    def test_role_argument_overrides_the_zone_and_defaults_to_a_score(self):
        frame = score_frame("42")
        assert z.calibrate_zone(dict(LOOSE, role="clock"), frame, role="home_score")["zone"][
            "role"] == "home_score"
        assert z.calibrate_zone(dict(LOOSE), frame)["zone"]["role"] == "home_score"

    def test_nothing_found_is_a_reason_not_an_exception(self):
        outside = {"x": 2.0, "y": 0.0, "width": 0.1, "height": 0.1, "processing": {"threshold": 90}}
        result = z.calibrate_zone(outside, clock_frame(), role="clock")
        assert result["reason"] == "no_frame"
        assert result["confidence"] == 0.0
        assert result["zone"]["x"] == 2.0 and result["zone"]["processing"]["threshold"] == 90
        assert result["reading"] == {"value": None, "valid": False, "reason": "no_frame"}
        assert z.calibrate_zone(dict(LOOSE), None)["reason"] == "no_frame"
        flat = np.full((FRAME_H, FRAME_W, 3), 40, np.uint8)
        result = z.calibrate_zone(dict(LOOSE, role="clock"), flat)
        assert result["reason"] == "no_display"
        assert bounds(result["zone"]) == bounds(LOOSE)

    def test_bad_input_raises(self):
        frame = clock_frame()
        with pytest.raises(KeyError):
            z.calibrate_zone({"y": 0, "width": 1, "height": 1}, frame)
        with pytest.raises(TypeError):
            z.calibrate_zone(dict(LOOSE), frame, role=5)
        with pytest.raises(TypeError):
            z.calibrate_zone(dict(LOOSE), frame, expected=1.5)
        with pytest.raises(TypeError):
            z.calibrate_zone(dict(LOOSE), frame.astype(np.float32))
        with pytest.raises(TypeError):
            z.calibrate_zone(dict(LOOSE))

    def test_deterministic_and_leaves_the_frame_alone(self):
        frame = clock_frame()
        before = frame.copy()
        first = z.calibrate_zone(dict(LOOSE, role="clock"), frame, expected="12:34")
        second = z.calibrate_zone(dict(LOOSE, role="clock"), frame, expected="12:34")
        assert first["zone"] == second["zone"]
        assert np.array_equal(frame, before)


class TestTrustReading:
    def test_clean_reading_is_trusted(self):
        # A clean reading of a clean board, given the zone and image, whichever classifier reads
        # it; weighed alone (nothing re-read, no second opinion) it scores high.
        frame = clock_frame()
        zone = z.calibrate_zone(dict(LOOSE, role="clock"), frame)["zone"]
        for classifier in ("learned", "segments"):
            at = dict(zone, processing=dict(zone["processing"], classifier=classifier))
            result = z.read_clock_from_image(at, frame)
            trust = z.trust_reading(result, zone=at, image=frame)
            assert trust["trusted"] is True and trust["why"] == "ok", classifier
            alone = z.trust_reading(result)
            assert list(alone) == ["trusted", "confidence", "why"]
            assert alone["confidence"] > 0.9

    def test_invalid_results_are_not_trusted(self):
        assert z.trust_reading({"value": None, "valid": False, "reason": "no_frame"}) == {
            "trusted": False, "confidence": 0.0, "why": "no_frame"}
        result = z.read_score_from_image(dict(LOOSE), np.zeros((FRAME_H, FRAME_W, 3), np.uint8))
        assert z.trust_reading(result)["trusted"] is False

    def test_a_doubtful_cell_lowers_trust(self):
        # Weighed alone, by the cells' own measures (the seven-segment classifier's: a learned
        # cell reports no segments to doubt).
        frame = score_frame("42")
        zone = z.calibrate_zone(dict(LOOSE, role="home_score"), frame)["zone"]
        zone["processing"]["classifier"] = "segments"
        result = z.read_score_from_image(zone, frame)
        clean = z.trust_reading(result)["confidence"]
        item = result["ocr_items"][1]
        item["segment_activation"] = [0.52 if a > 0.5 else a for a in item["segment_activation"]]
        item["runner_up_score"] = item["pattern_score"]
        doubtful = z.trust_reading(result)
        assert doubtful["confidence"] < clean
        assert doubtful["trusted"] is False and doubtful["why"] == "uncertain"

    def test_zone_and_image_re_read_the_result(self):
        frame = clock_frame()
        calibration = z.calibrate_zone(dict(LOOSE, role="clock"), frame)
        zone = calibration["zone"]
        result = z.read_clock_from_image(zone, frame)
        trust = z.trust_reading(result, zone=zone, image=frame)
        assert list(trust) == ["trusted", "confidence", "why", "second_opinion",
                               "disagreeing_slots"] and trust["trusted"] is True
        # The second opinion is the classifier calibration did not choose.
        other = {"learned": "segments", "segments": "learned"}[calibration["classifier"]]
        assert trust["second_opinion"] == other and trust["disagreeing_slots"] == []
        # A zone that does not read the result's value where it lies: every re-read disagrees.
        elsewhere = dict(zone, x=0.0, y=0.0)
        assert z.trust_reading(result, zone=elsewhere, image=frame)["confidence"] < \
            trust["confidence"]
        with pytest.raises(TypeError):
            z.trust_reading(result, zone=[zone["x"]], image=frame)

    def test_a_cell_the_learned_classifier_reads_otherwise_is_named(self):
        frame = score_frame("42")
        calibrated = z.calibrate_zone(dict(LOOSE, role="home_score"), frame)["zone"]
        zone = dict(calibrated, processing=dict(calibrated["processing"], classifier="segments"))
        result = z.read_score_from_image(zone, frame)
        result["ocr_items"][1]["char"] = 7  # the units cell taken for a 7
        trust = z.trust_reading(result, zone=zone, image=frame)
        assert trust["trusted"] is False and trust["why"] == "classifiers_disagree"
        assert trust["second_opinion"] == "learned" and trust["disagreeing_slots"] == [1]
        learned = dict(zone, processing=dict(zone["processing"], classifier="learned"))
        trust = z.trust_reading(z.read_score_from_image(learned, frame), zone=learned, image=frame)
        assert trust["second_opinion"] == "segments" and trust["disagreeing_slots"] == []
        # No pixels to ask about: the keys are not there.
        assert list(z.trust_reading(result, zone=dict(zone, x=2.0), image=frame)) == [
            "trusted", "confidence", "why"]

    def test_all_eights_are_never_trusted(self):
        result = z.read_score_from_image(
            z.calibrate_zone(dict(LOOSE, role="home_score"), score_frame("88"))["zone"],
            score_frame("88"))
        assert result["value"] == 88
        assert z.trust_reading(result) == {"trusted": False, "confidence": 0.0, "why": "all_lit"}

    def test_malformed_results_raise(self):
        with pytest.raises(TypeError):
            z.trust_reading([1, 2])
        broken = {"value": 7, "valid": True, "reason": "ok",
                  "ocr_items": [{"kind": "digit", "status": "digit", "confidence": 1.0}]}
        with pytest.raises(KeyError):
            z.trust_reading(broken)


class TestRenderReading:
    def test_picture_of_a_reading(self):
        frame = clock_frame()
        zone = z.calibrate_zone(dict(LOOSE, role="clock"), frame)["zone"]
        picture = z.render_reading(zone, frame)
        x1, y1, x2, y2 = bounds(zone)
        scale = max(1, min(8, round(160 / (y2 - y1)), 900 // (x2 - x1)))
        assert picture.dtype == np.uint8 and picture.ndim == 3 and picture.shape[2] == 3
        assert picture.shape[0] == (y2 - y1) * scale + 48
        assert picture.shape[1] == 2 * (x2 - x1) * scale + 8
        # the left panel is the crop enlarged, the right one the prepared display
        crop = z.crop_zone_from_image(zone, frame)
        assert np.array_equal(picture[scale * 10 + 1, 2], crop[10, 0])
        binary = z.prepare_display_from_image(zone, frame, processing=zone["processing"])["binary"]
        right = picture[:(y2 - y1) * scale, (x2 - x1) * scale + 8:, 0]
        enlarged = cv2.resize(binary, None, fx=scale, fy=scale, interpolation=cv2.INTER_NEAREST)
        assert np.mean(right == enlarged) > 0.95  # all but the drawn boxes
        # green cell boxes and a green caption strip for a valid value
        greens = np.all(picture == (0, 200, 0), axis=2)
        assert greens[: (y2 - y1) * scale].sum() > 100
        strip = picture[(y2 - y1) * scale + 26, 150]
        assert strip[1] > strip[2]

    def test_result_given_and_no_frame(self):
        frame = clock_frame()
        result = {"value": None, "valid": False, "reason": "unrecognized", "ocr_items": []}
        picture = z.render_reading(dict(LOOSE, role="clock"), frame, result)
        strip = picture[-22, 150]
        assert strip[2] > strip[1]  # red: no value
        small = z.render_reading({"x": 3, "y": 3, "width": 0.1, "height": 0.1}, frame)
        assert small.shape[2] == 3
        assert small[-22, 150, 2] > small[-22, 150, 1]  # "no_frame" in the red strip
        with pytest.raises(TypeError):
            z.render_reading(dict(LOOSE), frame, "not a result")


class TestCommandLine:
    def run(self, *args):
        env = dict(os.environ)
        return subprocess.run([sys.executable, "-m", "native_ocr", *args], capture_output=True,
                              text=True, env=env, timeout=60)

    def test_calibrate_and_debug_picture(self, tmp_path):
        path = str(tmp_path / "frame.png")
        cv2.imwrite(path, clock_frame())
        out = str(tmp_path / "seen.png")
        zone = ",".join(str(LOOSE[k]) for k in ("x", "y", "width", "height"))
        done = self.run(path, "--zone", zone, "--role", "clock", "--calibrate", "--expected",
                        "12:34", "--debug", out)
        assert done.returncode == 0, done.stderr
        printed = json.loads(done.stdout)
        assert printed["reading"]["value"] == "12:34"
        assert printed["trust"]["trusted"] is True
        assert printed["calibration"]["reason"] == "ok"
        assert cv2.imread(out) is not None

    def test_plain_read_with_settings_and_failures(self, tmp_path):
        path = str(tmp_path / "frame.png")
        cv2.imwrite(path, score_frame("42"))
        done = self.run(path, "--zone", "0.46,0.41,0.18,0.24", "--role", "home_score",
                        "--processing", '{"threshold": 250}')
        assert done.returncode == 1  # nothing lit above 250: not valid
        assert json.loads(done.stdout)["reading"]["valid"] is False
        assert self.run(path, "--zone", "1,2", "--role", "clock").returncode == 2
        assert self.run(path, "--zone", "0,0,1,1", "--role", "clock", "--expected",
                        "1").returncode == 2
        assert self.run(str(tmp_path / "missing.png"), "--zone", "0,0,1,1", "--role",
                        "clock").returncode == 2
        helped = self.run("--help")
        assert helped.returncode == 0 and "--calibrate" in helped.stdout
