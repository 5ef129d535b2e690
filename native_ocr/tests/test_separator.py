"""The clock separator detector of native_ocr.zonescan, checked against a numpy reference written
from the same rules, on drawn clock crops, and for its errors."""
import os
import subprocess
import sys

import cv2
import numpy as np
import pytest

import clock_drawing
import separator_reference as ref
from native_ocr import zonescan as z

RESULT_KEYS = [
    "x", "char", "mode", "confidence", "dots", "corridor", "physical_separator_box",
    "candidate_window", "spatial_prior", "topological_score", "final_score", "hypothesis_char",
    "best_colon", "best_decimal", "selected_hypothesis", "groups", "upper_group", "lower_group",
    "colon_score", "decimal_score", "alignment", "similarity", "energy_profile",
]
HYPOTHESIS_KEYS = [
    "hypothesis_char", "candidate_window", "hypothesis_x", "overlap_ratio", "window_prior",
    "group_prior", "spatial_prior", "topological_score", "final_score", "center_compatible",
]
GROUP_KEYS = [
    "y_min", "y_max", "center_x", "center_y", "width", "height", "energy", "gray_energy",
    "binary_energy", "energy_fraction", "x_normalized", "y_normalized", "reliability",
]
PUBLIC_GROUP_KEYS = [
    "y_min", "y_max", "center_x", "center_y", "x_normalized", "y_normalized", "width", "height",
    "energy", "gray_energy", "binary_energy", "energy_fraction", "reliability",
]


def clock(width, height, digits="1234", mark=":", shift=0.0):
    return clock_drawing.draw_clock(width, height, digits, mark, shift,
                                    slots=z.clock_slots(width, height))


def jpeg(image, quality=70):
    ok, data = cv2.imencode(".jpg", image, [cv2.IMWRITE_JPEG_QUALITY, quality])
    assert ok
    return cv2.imdecode(data, cv2.IMREAD_COLOR)


def noisy(image, seed, sigma=6.0):
    rng = np.random.default_rng(seed)
    return np.clip(image + rng.normal(0, sigma, image.shape), 0, 255).astype(np.uint8)


CROPS = {
    "colon": lambda: clock(200, 60),
    "decimal": lambda: clock(200, 60, "598 ", "."),
    "none": lambda: clock(200, 60, "1234", None),
    "shifted": lambda: clock(200, 60, shift=2.0),
    "small_jpeg": lambda: jpeg(clock(86, 37)),
    "large_noisy": lambda: noisy(clock(400, 120), 1),
    "noisy_decimal": lambda: jpeg(noisy(clock(160, 50, "463 ", "."), 2)),
    "random": lambda: np.random.default_rng(3).integers(0, 256, (40, 120, 3), dtype=np.uint8),
}


def assert_groups_close(actual, expected):
    assert len(actual) == len(expected)
    for a, e in zip(actual, expected):
        assert list(a) == GROUP_KEYS
        for key in GROUP_KEYS:
            assert type(a[key]) is type(e[key]), key
            assert a[key] == pytest.approx(e[key], rel=1e-5, abs=1e-6), key


class TestAgainstReference:
    @pytest.mark.parametrize("name", sorted(CROPS))
    def test_detection_matches(self, name):
        crop = CROPS[name]()
        h, w = crop.shape[:2]
        expected = ref.detect(crop, z.clock_slots(w, h)[2]["box"])
        result = z._detect_clock_separator_without_regions(crop)
        if expected is None:
            assert result is None
            return
        char, x, confidence, left = expected
        assert result["char"] == char
        assert result["x"] == pytest.approx(x, rel=1e-6)
        assert result["confidence"] == pytest.approx(confidence, rel=1e-6)
        assert result["candidate_window"][0] == left

    @pytest.mark.parametrize("name", sorted(CROPS))
    def test_every_window_matches(self, name):
        crop = CROPS[name]()
        h, w = crop.shape[:2]
        geometry = z._separator_search_corridor(w, h)
        assert geometry == ref.separator_search_corridor(z.clock_slots(w, h)[2]["box"], w)
        for start in ref.search_starts(geometry):
            window = z._evaluate_separator_window(crop, start, geometry["window_width"])
            expected = ref.evaluate_window(crop, start, geometry["window_width"])
            assert (window["left"], window["right"]) == (expected["left"], expected["right"])
            assert_groups_close(window["groups"], expected["groups"])
            assert window["energy_profile"] == expected["energy_profile"]
            for key in ("colon_score", "decimal_score"):
                assert window[key] == pytest.approx(expected[key], rel=1e-6, abs=1e-12)

    @pytest.mark.parametrize("seed", range(4))
    def test_masks_and_maps(self, seed):
        rng = np.random.default_rng(seed)
        window = rng.integers(0, 256, (int(rng.integers(5, 90)), int(rng.integers(3, 20)), 3),
                              dtype=np.uint8)
        assert np.array_equal(z._clock_separator_mask(window), ref.clock_separator_mask(window))
        blurred = cv2.GaussianBlur(cv2.cvtColor(window, cv2.COLOR_BGR2GRAY), (0, 0), 7)
        assert np.array_equal(z._clock_separator_mask(window, blurred_gray=blurred),
                              ref.clock_separator_mask(window))
        for actual, expected in zip(z._separator_energy_map(window),
                                    ref.separator_energy_map(window)):
            assert actual.dtype == np.float32 and actual.shape == expected.shape
            np.testing.assert_allclose(actual, expected, rtol=1e-6, atol=1e-7)

    @pytest.mark.parametrize("seed", range(3))
    def test_remove_small_components(self, seed):
        mask = (np.random.default_rng(seed).random((30, 40)) > 0.7).astype(np.uint8) * 255
        for min_area in (1, 2, 3, 5, 10**6):
            assert np.array_equal(z._remove_small_components(mask, min_area),
                                  ref.remove_small_components(mask, min_area))

    def test_groups_when_the_kernel_outgrows_the_profile(self):
        maps = [np.zeros((2, 3), np.float32) for _ in range(3)]
        for m in maps:
            m[1] = 1.0
        groups, profile = z._separator_groups(*maps)
        expected_groups, expected_profile = ref.separator_groups(*maps)
        assert_groups_close(groups, expected_groups)
        assert profile == expected_profile


class TestHelpers:
    def test_runs(self):
        assert z._separator_runs([False, True, True, False, True]) == [[1, 2], [4, 4]]
        assert z._separator_runs(np.ones(5, bool)) == [[0, 4]]
        assert z._separator_runs([]) == []
        bits = np.random.default_rng(0).random(200) > 0.5
        assert z._separator_runs(bits) == ref.separator_runs(bits)

    def test_weighted_quantile(self):
        assert z._weighted_quantile(np.array([3, 1, 2]), np.array([1, 1, 2]), 0.5) == 2.0
        assert z._weighted_quantile([3, 1, 2], [0, 0, 5], 0.0) == 1.0
        assert z._weighted_quantile([3, 1, 2], [0, 0, 5], 1.0) == 2.0
        assert z._weighted_quantile([3, 1, 2], [0, 0, 0], 0.5) == 0.0
        assert z._weighted_quantile([], [], 0.5) == 0.0
        with pytest.raises(IndexError):
            z._weighted_quantile([1, 2], [1], 0.5)

    def test_topology_shares_the_group_objects(self):
        groups = [
            {"y_normalized": 0.25, "center_x": 5.0, "center_y": 25.0, "reliability": 1.0,
             "energy": 40.0, "width": 4.0, "height": 8},
            {"y_normalized": 0.70, "center_x": 5.0, "center_y": 70.0, "reliability": 1.0,
             "energy": 40.0, "width": 4.0, "height": 8},
        ]
        t = z._separator_topology(groups, 10, 100)
        assert list(t) == ["colon", "decimal", "colon_score", "decimal_score"]
        assert list(t["colon"]) == ["score", "upper", "lower", "alignment", "similarity",
                                    "separation", "topology", "centrality"]
        assert t["colon"]["upper"] is groups[0] and t["colon"]["lower"] is groups[1]
        assert t["decimal"]["lower"] is groups[1]
        assert t["colon_score"] == 1.0
        assert t["decimal_score"] == pytest.approx(0.55)  # 0.25 x 0.8 + 0.35 + 0.4 x 0
        with pytest.raises(KeyError):
            z._separator_topology([{"y_normalized": 0.5}], 10, 100)

    def test_search_corridor_examples(self):
        assert z._separator_search_corridor(100, 30) == {
            "physical_left": 47, "physical_right": 52, "search_left": 45, "search_right": 54,
            "window_width": 6, "minimum_overlap": 0.65, "max_shift": 2}
        assert z._separator_search_corridor(200, 40)["window_width"] == 11
        with pytest.raises(TypeError):
            z._separator_search_corridor("100", 30)

    def test_spatial_prior_examples(self):
        assert z._separator_spatial_prior(47, 52, 49.5, 47, 52)["spatial_prior"] == 1.0
        shifted = z._separator_spatial_prior(49, 54, 51.5, 47, 52)
        assert list(shifted) == ["spatial_prior", "overlap_ratio", "window_prior", "group_prior",
                                 "center_compatible"]
        assert shifted["spatial_prior"] == pytest.approx(0.5896, abs=1e-4)
        assert z._separator_spatial_prior(49, 54, 53.0, 47, 52)["center_compatible"] is False

    def test_hypothesis_shares_the_window(self):
        window = z._evaluate_separator_window(clock(100, 30), 47, 6)
        colon = z._separator_hypothesis(window, ":", 47, 52)
        assert colon["window"] is window and colon["char"] == ":"
        assert colon == ref.hypothesis(window, ":", 47, 52)
        other = z._separator_hypothesis(window, "x", 47, 52)
        assert other["char"] == "x"
        assert z._separator_hypothesis({"decimal": None}, ".", 47, 52) is None


class TestBlurs:
    def test_radius(self):
        assert z._reflect_blur_radius() == 21
        assert z._reflect_blur_radius(1.0) == 3
        assert z._reflect_blur_radius(sigma=0.5) == 2
        with pytest.raises(ValueError):
            z._reflect_blur_radius(float("nan"))

    def test_sheet_equals_per_image_blur(self):
        rng = np.random.default_rng(7)
        for height in (1, 2, 43, 60):
            grays = [rng.integers(0, 256, (height, width), dtype=np.uint8) for width in (1, 6, 30)]
            for sigma in (7.0, 2.0):
                blurred = z._reflected_sheet_blurs(grays, sigma)
                for gray, out in zip(grays, blurred):
                    assert np.array_equal(out, cv2.GaussianBlur(gray, (0, 0), sigma))
        assert z._reflected_sheet_blurs([]) == []

    def test_sheet_margins_far_beyond_the_windows_are_refused(self):
        windows = [np.full((5, 11), 9, np.uint8), np.full((5, 1), 200, np.uint8)]
        for sigma in (1365.3, 300.0, 100.0):
            with pytest.raises(ValueError, match="too large"):
                z._reflected_sheet_blurs(windows, sigma)
        with pytest.raises(ValueError, match="too large"):
            z._reflected_sheet_blurs([np.zeros((30, 6), np.uint8)] * 5, 300.0)
        with pytest.raises(ValueError, match="too large"):  # padded by the image library
            z._reflected_sheet_blurs([np.zeros((1000, 1000), np.uint8)], 1365.3)
        single = z._reflected_sheet_blurs(windows[:1], 40.0)
        assert np.array_equal(single[0], cv2.GaussianBlur(windows[0], (0, 0), 40.0))
        grays = [np.random.default_rng(3).integers(0, 256, (300, 200), np.uint8)] * 2
        for gray, out in zip(grays, z._reflected_sheet_blurs(grays, 30.0)):
            assert np.array_equal(out, cv2.GaussianBlur(gray, (0, 0), 30.0))
        blurred = z._reflected_sheet_blurs(windows, 40.0)
        assert np.array_equal(blurred[1], cv2.GaussianBlur(windows[1], (0, 0), 40.0))

    def test_window_views_and_blurs(self):
        crop = clock(200, 60)
        views = z._separator_window_views(crop)
        blurs = z._separator_window_blurs(crop)
        assert len(views) == len(blurs) == 7
        for start, view, blur in zip(range(91, 98), views, blurs):
            assert view.flags["C_CONTIGUOUS"]
            assert np.array_equal(view, crop[:, start:start + 11])
            gray = cv2.cvtColor(view, cv2.COLOR_BGR2GRAY)
            assert np.array_equal(blur, cv2.GaussianBlur(gray, (0, 0), 7))

    def test_ready_is_absent_at_load_and_set_by_the_first_check(self):
        code = (
            "from native_ocr import zonescan as z\n"
            "f = z._ensure_reflected_sheet_blur\n"
            "assert not hasattr(f, 'ready')\n"
            "assert f() is None and f.ready is True\n"
            "f()\n"
        )
        subprocess.run([sys.executable, "-c", code], check=True, env=dict(os.environ))


class TestDetector:
    def test_result_layout(self):
        result = z._detect_clock_separator_without_regions(clock(200, 60), 0.0)
        assert list(result) == RESULT_KEYS
        assert (result["char"], result["mode"], result["hypothesis_char"]) == (":", "minutes", ":")
        assert list(result["selected_hypothesis"]) == HYPOTHESIS_KEYS
        assert list(result["best_colon"]) == HYPOTHESIS_KEYS
        assert all(list(g) == PUBLIC_GROUP_KEYS for g in result["groups"])
        assert result["upper_group"] is not None and len(result["dots"]) == 2
        assert result["corridor"] == {"search": [91, 0, 107, 59],
                                      "selected": result["candidate_window"]}
        assert result["physical_separator_box"] == [94, 0, 104, 59]
        assert result["final_score"] == round(result["confidence"], 4)
        assert result["selected_hypothesis"]["hypothesis_x"] == round(result["x"], 2)
        assert len(result["energy_profile"]) == 6

    def test_decimal_point(self):
        result = z._detect_clock_separator_without_regions(clock(200, 60, "598 ", "."))
        assert (result["char"], result["mode"]) == (".", "tenths")
        assert result["upper_group"] is None and len(result["dots"]) == 1
        assert result["lower_group"]["center_x"] == result["dots"][0][0] or \
            round(result["lower_group"]["center_x"], 1) == result["dots"][0][0]

    def test_no_crop_or_no_separator_gives_none(self):
        assert z._detect_clock_separator_without_regions(None) is None
        assert z._detect_clock_separator_without_regions(np.zeros((0, 5, 3), np.uint8)) is None
        assert z._detect_clock_separator_without_regions(clock(200, 60, "1234", None)) is None

    def test_window_blurs(self):
        crop = clock(100, 30)
        blurs = z._separator_window_blurs(crop)
        plain = z._detect_clock_separator_without_regions(crop)
        assert z._detect_clock_separator_without_regions(crop, window_blurs=blurs) == plain
        assert z._detect_clock_separator_without_regions(crop, per_window_blur=True) == plain
        with pytest.raises(ValueError, match="Separator blur count does not match the search"):
            z._detect_clock_separator_without_regions(crop, window_blurs=blurs[:-1])
        ignored = z._detect_clock_separator_without_regions(crop, window_blurs=[None],
                                                            per_window_blur=True)
        assert ignored == plain
        wrong_size = [b[:, :-1].copy() for b in blurs]
        with pytest.raises(cv2.error):
            z._detect_clock_separator_without_regions(crop, window_blurs=wrong_size)

    def test_angle(self):
        crop = clock(200, 60)
        plain = z._detect_clock_separator_without_regions(crop)
        assert z._detect_clock_separator_without_regions(crop, 0.5) == plain
        assert z._detect_clock_separator_without_regions(crop, -0.6) != plain
        straightened = z._detect_clock_separator_without_regions(clock_drawing.rotate(crop, 4), -4)
        assert straightened["char"] == ":"
        assert z._detect_clock_separator_without_regions(crop, float("nan")) == plain
        z._detect_clock_separator_without_regions(crop, float("inf"))
        with pytest.raises(TypeError):
            z._detect_clock_separator_without_regions(crop, "1")

    def test_arguments(self):
        crop = clock(100, 30)
        with pytest.raises(TypeError, match="positional"):
            z._detect_clock_separator_without_regions(crop, 0.0, None)
        with pytest.raises(TypeError):
            z._detect_clock_separator_without_regions(crop, window=None)
        with pytest.raises(cv2.error):
            z._detect_clock_separator_without_regions(crop[:, :, 0])
        with pytest.raises(TypeError):
            z._detect_clock_separator_without_regions(crop.astype(np.float32))

    @pytest.mark.parametrize("shape", [(1, 1, 3), (1, 50, 3), (50, 1, 3), (2, 3, 3), (24, 2000, 3)])
    def test_degenerate_crops(self, shape):
        crop = np.random.default_rng(0).integers(0, 256, shape, dtype=np.uint8)
        result = z._detect_clock_separator_without_regions(crop)
        assert result is None or result["char"] in (":", ".")


class TestPrepareDisplayBranch:
    def test_detection_uses_the_unrotated_crop(self):
        crop = clock(200, 60)
        prepared = z.prepare_display_from_crop(crop, detect_separator=True,
                                               processing={"rotation": 5})
        assert prepared["separator"] == z._detect_clock_separator_without_regions(crop, 0.0)
        assert prepared["angle"] == 5.0
        assert z.prepare_display_from_crop(crop)["separator"] is None

    def test_detector_errors_propagate(self):
        grey = cv2.cvtColor(clock(200, 60), cv2.COLOR_BGR2GRAY)
        assert z.prepare_display_from_crop(grey)["separator"] is None
        with pytest.raises(cv2.error):
            z.prepare_display_from_crop(grey, detect_separator=True)
