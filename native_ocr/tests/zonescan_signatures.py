"""The public functions of native_ocr.zonescan and their parameters, as the host calls them."""

SIGNATURES = {
    "normalize_settings": "settings=None",
    "_processing": "zone",
    "_role": "zone",
    "layout_for_role": "role, width, height, separator_x=None",
    "normalized_zone_bounds": "zone, image_width, image_height",
    "decode_bgr_image": "preview_path",
    "crop_zone_from_image": "zone, image",
    "crop_zone": "zone, preview_path",
    "_box": "x1, y1, x2, y2",
    "equal_digit_slots": "width, height, count",
    "clock_slots": "width, height, separator_x=None",
    "process_image": "image, settings=None",
    "prepare_display_from_crop": "crop, detect_separator=False, processing=None",
    "prepare_display_from_image": "zone, image, detect_separator=False, processing=None",
    "prepare_display": "zone, preview_path, detect_separator=False, processing=None",
    "_read_slots": "binary, slots",
    "read_score_from_crop": "crop, role='home_score', processing=None",
    "read_score_from_image": "zone, image",
    "read_score": "zone, preview_path",
    "read_period_from_crop": "crop, processing=None",
    "read_period_from_image": "zone, image",
    "read_period": "zone, preview_path",
    "read_single_digit_from_crop": "crop, role, processing=None",
    "read_single_digit_from_image": "zone, image",
    "read_single_digit": "zone, preview_path",
    "_clock_separator_mask": "crop, blurred_gray=None",
    "_remove_small_components": "mask, min_area",
    "_separator_runs": "bits",
    "_weighted_quantile": "values, weights, quantile",
    "_separator_energy_map": "corridor, blurred_gray=None",
    "_separator_groups": "binary, gray_energy, combined",
    "_separator_topology": "groups, corridor_width, corridor_height",
    "_separator_search_corridor": "crop_width, crop_height",
    "_evaluate_separator_window": "crop, left, window_width, blurred_gray=None",
    "_separator_window_views": "source",
    "_reflect_blur_radius": "sigma=7.0",
    "_reflected_sheet_blurs": "grays, sigma=7.0",
    "_ensure_reflected_sheet_blur": "",
    "_separator_window_blurs": "source",
    "_separator_spatial_prior":
        "candidate_left, candidate_right, hypothesis_x, physical_left, physical_right",
    "_separator_hypothesis": "evaluated, hypothesis_char, physical_left, physical_right",
    "_detect_clock_separator_without_regions":
        "crop, angle=0.0, *, window_blurs=None, per_window_blur=False",
    "read_clock_from_crop": "crop, role='clock', processing=None",
    "read_clock_from_image": "zone, image",
    "read_clock": "zone, preview_path",
    "read_clock_zone": "zone, preview_path",
    "calibrate_zone": "zone, image, role=None, expected=None",
    "trust_reading": "result, zone=None, image=None",
    "render_reading": "zone, image, result=None",
    "read_zones": "zones, source, threads=1",
    "check_zone": "zone",
}


def reference_function(name):
    """A do-nothing `def` with the same parameters, for the interpreter's own messages."""
    namespace = {}
    exec(f"def {name}({SIGNATURES[name]}):\n    pass\n", namespace)  # noqa: S102
    return namespace[name]
