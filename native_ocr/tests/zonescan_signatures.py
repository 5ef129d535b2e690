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
}


def reference_function(name):
    """A do-nothing `def` with the same parameters, for the interpreter's own messages."""
    namespace = {}
    exec(f"def {name}({SIGNATURES[name]}):\n    pass\n", namespace)  # noqa: S102
    return namespace[name]
