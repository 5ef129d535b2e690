"""Hostile values handed to the module and hostile command lines: forged results handed back,
crops too large to prepare, and bad command lines each end in the documented error (or status 2
and one message), never a crash or a traceback."""
import os
import subprocess
import sys

import cv2
import numpy as np
import pytest

from native_ocr import zonescan as z
from native_ocr.__main__ import main
import segsense_drawing as drawing

WHOLE = {"x": 0.0, "y": 0.0, "width": 1.0, "height": 1.0}


def score_crop():
    """42 in two equal cells, white on black."""
    grey = np.zeros((50, 80), np.uint8)
    for i, digit in enumerate((4, 2)):
        drawing.draw_digit(grey, digit, i * 40 + 6, 5, 28, 40, 4)
    return cv2.cvtColor(grey, cv2.COLOR_GRAY2BGR)


class TestForgedResults:
    def forged(self, **item):
        result = z.read_score_from_crop(score_crop())
        assert result["valid"] and result["value"] == 42
        result["ocr_items"][1].update(item)
        return result

    @pytest.mark.parametrize("box", [[0, -2**31, 5, 2**31 - 1], [0, 0, 2**70, 1],
                                     [-(2**20) - 1, 0, 1, 1]])
    def test_boxes_past_any_crop_are_refused(self, box):
        for forged in (self.forged(box=box), self.forged(glyph_box=box)):
            with pytest.raises(ValueError, match="within"):
                z.trust_reading(forged)
            with pytest.raises(ValueError, match="within"):
                z.render_reading(WHOLE, score_crop(), forged)
        forged = self.forged()
        forged["debug"]["crop_size"] = [80, 2**40]
        with pytest.raises(ValueError, match="within"):
            z.trust_reading(forged)

    def test_boxes_far_outside_the_crop_but_in_range_are_drawn_and_weighed(self):
        forged = self.forged(box=[-(2**20), -5, 2**20, 2**20], glyph_box=[0, 0, 2**20, 3])
        assert z.trust_reading(forged)["trusted"] is False
        assert z.render_reading(WHOLE, score_crop(), forged).shape[2] == 3

    @pytest.mark.parametrize("result", [{}, {"valid": False, "reason": None}, {"valid": 0}])
    def test_a_result_without_a_reason_is_not_valid(self, result):
        assert z.trust_reading(result) == {"trusted": False, "confidence": 0.0,
                                           "why": "not_valid"}

    def test_a_replaced_classifier_reports_digits_within_range(self, monkeypatch):
        def reporting(char):
            def fake(binary, slots):
                return [dict(s, status="digit", char=char) for s in slots if s["kind"] == "digit"]
            monkeypatch.setattr(z, "_read_slots", fake)

        reporting("12")
        assert z.read_score_from_crop(score_crop())["value"] == 132  # 10 * 12 + 12, as before
        largest = 10**17 - 1
        reporting(str(largest))
        assert z.read_score_from_crop(score_crop())["value"] == 11 * largest
        for char in ("9" * 100, str(-largest - 1), 2**63):
            reporting(char)
            with pytest.raises(ValueError, match="char"):
                z.read_score_from_crop(score_crop())


class TestCropsPastTheLongestSide:
    TOO_LARGE = {"value": None, "valid": False, "reason": "crop_too_large"}

    @pytest.mark.parametrize("shape", [(1, 4097), (4097, 1, 3)])
    def test_every_reader_refuses_them_with_a_result(self, shape):
        crop = np.zeros(shape, np.uint8)
        frame = crop if crop.ndim == 3 else cv2.cvtColor(crop, cv2.COLOR_GRAY2BGR)
        for read in (z.read_score_from_crop, z.read_period_from_crop, z.read_clock_from_crop):
            assert read(crop) == self.TOO_LARGE
        assert z.read_single_digit_from_crop(crop, "down") == self.TOO_LARGE
        for role in ("clock", "home_score", "period", "down"):
            assert z.read_zones([dict(WHOLE, role=role)], frame) == [self.TOO_LARGE]
        calibrated = z.calibrate_zone(WHOLE, frame)
        assert calibrated["reason"] == "crop_too_large"
        assert calibrated["reading"] == self.TOO_LARGE
        outside = dict(WHOLE, x=3.0)
        assert z.render_reading(WHOLE, frame).shape == z.render_reading(outside, frame).shape

    def test_the_longest_side_itself_is_read(self):
        crop = np.zeros((2, 4096, 3), np.uint8)
        assert z.read_score_from_crop(crop)["reason"] != "crop_too_large"
        assert z.read_clock_from_crop(crop)["reason"] == "unrecognized"


class TestBadCommandLines:
    @pytest.fixture
    def frame(self, tmp_path):
        path = tmp_path / "frame.png"
        cv2.imwrite(str(path), score_crop())
        return str(path)

    def refused(self, capsys, argv):
        with pytest.raises(SystemExit) as done:
            status = main(argv)
            raise SystemExit(status)
        err = capsys.readouterr().err
        assert done.value.code == 2, err
        assert "python3 -m native_ocr" in err and "Traceback" not in err
        return err

    @pytest.mark.parametrize("extra", [
        ["--zone", "nan,0,1,1"], ["--zone", "0,inf,1,1"], ["--zone", "0,0,1e400,1"],
        ["--processing", '{"threshold": "abc"}'], ["--processing", '{"threshold": 1e999}'],
        ["--processing", '{"threshold": NaN}'], ["--processing", "[" * 100000],
        ["--calibrate", "--expected", "\u00b2"], ["--calibrate", "--expected", "12:34"],
        ["--role", "clock", "--calibrate", "--expected", "7"],
        ["--calibrate", "--expected", os.fsdecode(b"\xff")], ["--role", os.fsdecode(b"\xff")],
        ["--debug", ""],
    ])
    def test_arguments_are_refused_before_any_reading(self, capsys, frame, extra):
        base = {"--zone": "0,0,1,1", "--role": "home_score"}
        argv = [frame] + [w for k, v in base.items() if k not in extra for w in (k, v)] + extra
        self.refused(capsys, argv)

    def test_pictures_that_cannot_be_written(self, capsys, frame, tmp_path):
        full = tmp_path / "full.png"
        full.symlink_to("/dev/full")
        for target, said in ((tmp_path, "directory"), ("/dev/full", "format"),
                             (tmp_path / "seen.xyz", "format"), (full, "space"),
                             (tmp_path / "no" / "seen.png", "No such")):
            err = self.refused(capsys, [frame, "--zone", "0,0,1,1", "--role", "home_score",
                                        "--debug", str(target)])
            assert said in err

    def test_special_files_are_not_images(self, capsys, tmp_path):
        fifo = tmp_path / "fifo.jpg"
        os.mkfifo(fifo)
        for source in (fifo, tmp_path, "/dev/zero"):
            self.refused(capsys, [str(source), "--zone", "0,0,1,1", "--role", "clock"])

    def test_non_utf8_words_from_the_real_command_line(self, frame):
        done = subprocess.run([sys.executable, "-m", "native_ocr", frame, "--zone", "0,0,1,1",
                               "--role", b"clock\xff"], capture_output=True, timeout=60)
        assert done.returncode == 2 and b"UTF-8" in done.stderr
        assert b"Traceback" not in done.stderr
