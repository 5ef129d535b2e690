"""The settings normalisation and display preparation written directly with numpy and cv2, as a
reference for the module's results (and the baseline of its benchmark)."""
import cv2
import numpy as np

DEFAULTS = {
    "threshold": 150, "contrast": 1.0, "brightness": 0, "gamma": 1.0, "rotation": 0.0,
    "blur": 0, "morphology": "none", "morph_size": 1, "grayscale": True, "binarize": True,
    "invert": False,
}
MORPHOLOGIES = ("none", "dilate", "erode", "close", "open")


def normalize_settings(settings=None):
    s = dict(DEFAULTS)
    if settings:
        s.update(settings)
    s["threshold"] = max(0, min(255, int(s["threshold"])))
    s["contrast"] = max(0.2, min(4.0, float(s["contrast"])))
    s["brightness"] = max(-150, min(150, int(s["brightness"])))
    s["gamma"] = max(0.2, min(3.0, float(s["gamma"])))
    s["rotation"] = max(-15.0, min(15.0, float(s["rotation"])))
    s["blur"] = max(0, min(15, int(s["blur"])))
    s["morph_size"] = max(1, min(9, int(s["morph_size"])))
    if s["morphology"] not in MORPHOLOGIES:
        s["morphology"] = "none"
    for key in ("grayscale", "binarize", "invert"):
        s[key] = bool(s[key])
    return s


def gamma_table(inv_gamma):
    """The 256-entry gamma table, built entry by entry."""
    return np.array([((i / 255.0) ** inv_gamma) * 255 for i in np.arange(0, 256)]).astype("uint8")


def process_image(image, settings=None, make_gamma_table=gamma_table):
    s = normalize_settings(settings)
    if image.size == 0:
        return image
    gray = cv2.cvtColor(image, cv2.COLOR_BGR2GRAY) if image.ndim == 3 else image.copy()
    work = cv2.convertScaleAbs(gray, alpha=s["contrast"], beta=s["brightness"])
    work = cv2.LUT(work, make_gamma_table(1.0 / max(s["gamma"], 0.01)))
    if abs(s["rotation"]) > 0.001:
        h, w = work.shape[:2]
        matrix = cv2.getRotationMatrix2D((w / 2.0, h / 2.0), s["rotation"], 1.0)
        work = cv2.warpAffine(work, matrix, (w, h), flags=cv2.INTER_LINEAR,
                              borderMode=cv2.BORDER_CONSTANT, borderValue=0)
    if s["blur"] > 0:
        k = s["blur"] + 1 if s["blur"] % 2 == 0 else s["blur"]
        work = cv2.GaussianBlur(work, (k, k), 0)
    if s["binarize"]:
        _, work = cv2.threshold(work, s["threshold"], 255, cv2.THRESH_BINARY)
    if s["invert"]:
        work = cv2.bitwise_not(work)
    if s["morphology"] != "none":
        k = max(1, s["morph_size"])
        kernel = cv2.getStructuringElement(cv2.MORPH_RECT, (k, k))
        if s["morphology"] == "dilate":
            work = cv2.dilate(work, kernel, iterations=1)
        elif s["morphology"] == "erode":
            work = cv2.erode(work, kernel, iterations=1)
        elif s["morphology"] == "close":
            work = cv2.morphologyEx(work, cv2.MORPH_CLOSE, kernel)
        else:
            work = cv2.morphologyEx(work, cv2.MORPH_OPEN, kernel)
    return work


def crop_zone_from_image(zone, image):
    if image is None:
        return None
    h, w = image.shape[:2]
    x1 = max(0, int(zone["x"] * w))
    y1 = max(0, int(zone["y"] * h))
    x2 = min(w, int((zone["x"] + zone["width"]) * w))
    y2 = min(h, int((zone["y"] + zone["height"]) * h))
    if x2 <= x1 or y2 <= y1:
        return None  # a negative end would otherwise wrap around
    crop = image[y1:y2, x1:x2]
    return crop if crop.size else None
