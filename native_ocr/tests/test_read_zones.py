"""read_zones of native_ocr.zonescan: a whole scoreboard in one call equals the per-zone readers,
from a decoded frame and from a preview file decoded once (in part where that is exact)."""
import json
import os

import cv2
import numpy as np
import pytest

from native_ocr import zonescan as z
from zone_readers import CLOCK_ROLES, read_zone

FRAMES_DIR = os.path.join(os.path.dirname(__file__), "..", "..", "..", "shared", "bench-dev")
if not os.path.isdir(FRAMES_DIR):
    FRAMES_DIR = "/work/shared/bench-dev"
ROLES = sorted(CLOCK_ROLES | set(z.SINGLE_DIGIT_ROLES) | {
    "home_score", "guest_score", "home_penalty_player_1", "home_penalty_player_2",
    "guest_penalty_player_1", "guest_penalty_player_2", "home_shots", "guest_shots", "to_go",
    "ball_on", "period"}) + ["scoreboard_name", "", None]


def bench_frames():
    with open(os.path.join(FRAMES_DIR, "zones.json"), encoding="utf-8") as f:
        frames = json.load(f)["frames"]
    return [(cv2.imread(os.path.join(FRAMES_DIR, fr["file"])), fr["zones"]) for fr in frames]


def write_jpeg(tmp_path, image, name="preview.jpg", **params):
    path = str(tmp_path / name)
    flags = []
    for key, value in params.items():
        flags += [getattr(cv2, "IMWRITE_JPEG_" + key.upper()), value]
    assert cv2.imwrite(path, image, flags)
    return path


def random_zones(rng, count):
    zones = []
    for _ in range(count):
        x, y = rng.uniform(-0.1, 1.0), rng.uniform(-0.1, 1.0)
        zone = {"x": x, "y": y, "width": rng.uniform(0.0, 0.35) if rng.random() > 0.05 else 0.0,
                "height": rng.uniform(0.0, 0.3)}
        role = ROLES[rng.integers(len(ROLES))]
        if role is not None:
            zone["role"] = role
        if rng.random() < 0.5:
            zone["processing"] = {"threshold": int(rng.integers(60, 220)),
                                  "rotation": float(rng.choice([0.0, 2.5, -4.0])),
                                  "blur": int(rng.choice([0, 0, 3])),
                                  "invert": bool(rng.random() < 0.2)}
        zones.append(zone)
    return zones


@pytest.fixture(scope="module")
def frames():
    if not os.path.isdir(FRAMES_DIR):
        pytest.skip("no bench-dev frames")
    return bench_frames()


class TestEqualsThePerZoneReaders:
    @pytest.mark.parametrize("quality", [75, 88])
    def test_bench_frames_from_file_and_from_array(self, frames, tmp_path, quality):
        for image, zones in frames:
            path = write_jpeg(tmp_path, image, quality=quality)
            expected = [read_zone(zone, path) for zone in zones]
            assert z.read_zones(zones, path) == expected
            assert z.read_zones(zones, cv2.imread(path)) == expected
            assert z.read_zones(zones, path, threads=2) == expected

    def test_generated_zones(self, frames, tmp_path):
        rng = np.random.default_rng(12)
        for i, (image, _) in enumerate(frames):
            path = write_jpeg(tmp_path, image, quality=int(rng.integers(40, 96)))
            decoded = cv2.imread(path)
            zones = random_zones(rng, 500)
            expected = [read_zone(zone, decoded) for zone in zones]
            assert z.read_zones(zones, path, threads=1 + i % 3) == expected
            assert z.read_zones(zones, decoded) == expected
            few = zones[:8]
            assert z.read_zones(few, path) == [read_zone(zone, path) for zone in few]

    @pytest.mark.parametrize("name, params", [
        ("progressive.jpg", {"progressive": 1}),  # decoded whole: the block decoder leaves these
        ("frame.png", {}),
    ])
    def test_files_decoded_whole(self, frames, tmp_path, name, params):
        image, zones = frames[0]
        path = write_jpeg(tmp_path, image, name=name, **params)
        assert z.read_zones(zones, path) == [read_zone(zone, path) for zone in zones]

    def test_zone_objects_and_a_replaced_classifier(self, frames, tmp_path, monkeypatch):
        image, zones = frames[3]
        path = write_jpeg(tmp_path, image)

        class Zone:
            def __init__(self, zone):
                self.zone = zone
                self.role = zone["role"]

            def __getitem__(self, key):
                return self.zone[key]

        objects = [Zone(zone) for zone in zones]
        assert z.read_zones(objects, path) == [read_zone(zone, path) for zone in objects]

        def fake(binary, slots):
            return [dict(s, status="digit", char=7) for s in slots if s["kind"] == "digit"]
        monkeypatch.setattr(z, "_read_slots", fake)
        faked = z.read_zones(zones, path, threads=2)
        assert faked == [read_zone(zone, path) for zone in zones]
        assert faked[0]["value"] == "77:77"


class TestBadInput:
    def test_zones_without_pixels_and_missing_files(self, frames, tmp_path):
        image, _ = frames[0]
        path = write_jpeg(tmp_path, image)
        outside = {"x": 1.5, "y": 0.2, "width": 0.1, "height": 0.1, "role": "clock"}
        flat = {"x": 0.2, "y": 0.2, "width": 0.0, "height": 0.1}
        refused = {"x": 0.2, "y": 0.2, "width": 0.1, "height": 0.1, "role": "down",
                   "processing": {"threshold": "x"}}
        zones = [outside, flat, dict(refused, role="down")]
        no_frame = {"value": None, "valid": False, "reason": "no_frame"}
        assert z.read_zones(zones[:2], path) == [no_frame, no_frame]
        with pytest.raises(ValueError):  # a down zone with a crop normalises its settings
            z.read_zones(zones, path)
        missing = str(tmp_path / "missing.jpg")
        assert z.read_zones(zones, missing) == [no_frame] * 3
        assert z.read_zones(zones, None) == [no_frame] * 3
        assert z.read_zones([], path) == []

    def test_malformed_zones_raise_as_their_readers_do(self, frames, tmp_path):
        image, _ = frames[0]
        path = write_jpeg(tmp_path, image)
        good = {"x": 0.1, "y": 0.1, "width": 0.2, "height": 0.2}
        for zone, error in [({"x": 0.1, "y": 0.1, "width": 0.2}, KeyError),
                            (dict(good, x="a"), TypeError),
                            (dict(good, role=5), TypeError),
                            (dict(good, role="clock", processing={"contrast": None}), TypeError)]:
            with pytest.raises(error):
                read_zone(zone, path)
            with pytest.raises(error):
                z.read_zones([good, zone], path)
            with pytest.raises(error):
                z.read_zones([good, zone], image)
        with pytest.raises(TypeError):
            z.read_zones(5, path)
        with pytest.raises(ValueError, match="threads must be at least 1"):
            z.read_zones([good], path, threads=0)
        with pytest.raises(TypeError):
            z.read_zones([good], path, threads="2")

    def test_frames_opencv_cannot_convert_raise_its_error(self, frames):
        image, zones = frames[0]
        clock = [zone for zone in zones if zone["role"] == "clock"]
        grey = image[:, :, :1]  # three dimensions, one channel
        with pytest.raises(cv2.error) as got:
            z.read_zones(clock, grey, threads=2)
        with pytest.raises(cv2.error) as expected:
            z.read_clock_from_image(clock[0], grey)
        assert got.value.code == expected.value.code
        bgra = cv2.cvtColor(image, cv2.COLOR_BGR2BGRA)
        assert z.read_zones(zones, bgra) == z.read_zones(zones, image)


class TestHostileSources:
    def test_special_files_give_no_frame(self, tmp_path):
        zones = [{"x": 0.1, "y": 0.1, "width": 0.2, "height": 0.2, "role": "clock"},
                 {"x": 0.5, "y": 0.1, "width": 0.2, "height": 0.2}]
        fifo = str(tmp_path / "fifo")
        os.mkfifo(fifo)  # no writer: must not block
        for source in [str(tmp_path), fifo, "/dev/null"]:
            got = z.read_zones(zones, source)
            assert all(r == {"value": None, "valid": False, "reason": "no_frame"} for r in got)
            assert got == [read_zone(zone, source) for zone in zones]  # the readers do not block

    @pytest.mark.parametrize("threads", [1.5, True, 2.0])
    def test_threads_must_be_an_int(self, threads):
        with pytest.raises(TypeError):
            z.read_zones([], "missing.jpg", threads=threads)

    def test_threads_past_the_cap_and_numpy_ints(self, frames, tmp_path):
        image, zones = frames[0]
        path = write_jpeg(tmp_path, image)
        expected = z.read_zones(zones, path)
        assert z.read_zones(zones, path, threads=2**70) == expected
        assert z.read_zones(zones, path, threads=np.int64(3)) == expected
        with pytest.raises(ValueError, match="threads must be at least 1"):
            z.read_zones(zones, path, threads=-2**70)
