"""Zone calibration, trust in a reading, and a picture of what the reader saw.

calibrate_zone fits an operator's loosely drawn zone to the display inside it and chooses the
processing settings from the display itself; with the value the display shows (taught), it searches
zone and settings for the most robust ones that read exactly that value. trust_reading says whether
a reader result can be shown. render_reading draws the crop, the prepared display and the cells.

Everything here calls the module's own readers (native_ocr.zonescan); nothing changes what they read.
"""

import math

import cv2
import numpy as np

from native_ocr import segsense, zonescan

CLOCK_ROLES = frozenset(("clock", "home_penalty_1", "home_penalty_2", "guest_penalty_1",
                         "guest_penalty_2"))

# Width of the display over its digit height, per layout (cells, gaps and separator included), as
# seven-segment fonts set them; the display is fitted to at least this width so that a blank
# leading cell stays inside.
NOMINAL_ASPECT = {1: 0.62, 2: 1.40, 4: 2.75}
# Margin added on every side of the fitted display, as a fraction of its width and height.
MARGIN = 0.08


def _layout_cells(role):
    layout = zonescan.layout_for_role(role, 100, 30)
    return sum(1 for slot in layout if slot["kind"] == "digit")


def _read_crop(crop, role, processing):
    if role in CLOCK_ROLES:
        return zonescan.read_clock_from_crop(crop, role=role, processing=processing)
    if role in zonescan.SINGLE_DIGIT_ROLES:
        return zonescan.read_single_digit_from_crop(crop, role=role, processing=processing)
    if _layout_cells(role) == 1:
        return zonescan.read_period_from_crop(crop, processing=processing)
    return zonescan.read_score_from_crop(crop, role=role, processing=processing)


def read_zone(zone, image):
    """The design reader of the zone's role on a decoded frame."""
    role = zonescan._role(zone) or "home_score"
    if role in CLOCK_ROLES:
        return zonescan.read_clock_from_image(zone, image)
    if role in zonescan.SINGLE_DIGIT_ROLES:
        return zonescan.read_single_digit_from_image(zone, image)
    if _layout_cells(role) == 1:
        return zonescan.read_period_from_image(zone, image)
    return zonescan.read_score_from_image(zone, image)


def _grey(crop):
    return cv2.cvtColor(crop, cv2.COLOR_BGR2GRAY) if crop.ndim == 3 else crop.copy()


def _otsu(grey):
    value, _ = cv2.threshold(grey, 0, 255, cv2.THRESH_BINARY + cv2.THRESH_OTSU)
    return int(value)


class Display:
    """The display found in a crop: its box (inclusive crop pixels), digit height and, for clocks,
    the separator's centre column."""

    def __init__(self, box, height, separator_x=None, dark_on_light=False):
        self.box = box
        self.height = height
        self.separator_x = separator_x
        self.dark_on_light = dark_on_light


def _components(mask):
    n, _, stats, _ = cv2.connectedComponentsWithStats(mask.astype(np.uint8), connectivity=8)
    return [tuple(int(v) for v in stats[i]) for i in range(1, n)]  # x, y, w, h, area


def _drop_edges(comps, w, h):
    """Without housing edges: long thin lines along a side of the crop."""
    kept = []
    for x, y, cw, ch, area in comps:
        if ch >= 0.8 * h and cw <= max(3, 0.05 * w) and (x <= 2 or x + cw >= w - 2):
            continue
        if cw >= 0.8 * w and ch <= max(3, 0.05 * h) and (y <= 2 or y + ch >= h - 2):
            continue
        kept.append((x, y, cw, ch, area))
    return kept


def _glyphs(comps):
    """Components merged into glyphs: the segments of one digit stand a small gap apart, so boxes
    grown by a share of their stroke width that touch belong together."""
    boxes = [[x, y, x + cw - 1, y + ch - 1, area] for x, y, cw, ch, area in comps]
    merged = True
    while merged:
        merged = False
        out = []
        for b in boxes:
            for o in out:
                e = 1.0 + 0.4 * min(b[2] - b[0], b[3] - b[1], o[2] - o[0], o[3] - o[1])
                if b[0] - e <= o[2] and o[0] - e <= b[2] and b[1] - e <= o[3] and o[1] - e <= b[3]:
                    o[0], o[1] = min(o[0], b[0]), min(o[1], b[1])
                    o[2], o[3] = max(o[2], b[2]), max(o[3], b[3])
                    o[4] += b[4]
                    merged = True
                    break
            else:
                out.append(list(b))
        boxes = out
    return [(b[0], b[1], b[2] - b[0] + 1, b[3] - b[1] + 1, b[4]) for b in boxes]


def _band(comps):
    """Rows of the display: the tallest glyph and those of similar height beside it."""
    tall = max(comps, key=lambda c: (c[3], c[4]))
    top, bottom = tall[1], tall[1] + tall[3] - 1
    members = [c for c in comps if c[3] >= 0.45 * tall[3] and
               min(bottom, c[1] + c[3] - 1) - max(top, c[1]) + 1 >= 0.5 * c[3]]
    top = min(c[1] for c in members)
    bottom = max(c[1] + c[3] - 1 for c in members)
    return top, bottom


def _digit_width(glyphs, height, w):
    """Width of one whole lit digit: the narrowest full-height glyph clear of the borders that is
    not a 1 (neighbouring digits may merge into one glyph)."""
    full = [g[2] for g in glyphs if g[3] >= 0.75 * height and g[0] > 1 and g[0] + g[2] < w - 1
            and g[2] >= 0.3 * height]
    return float(min(full)) if full else 0.55 * height


def _cluster(glyphs, height, w):
    """The display: glyphs of the band without a neighbour's digit cut by the crop border (narrower
    than a whole digit), grouped by gaps of less than most of a digit height (a 1 leaves its cell's
    left part dark); the group with the most ink."""
    digit = _digit_width(glyphs, height, w)
    kept = [g for g in glyphs
            if not ((g[0] <= 1 or g[0] + g[2] >= w - 1) and g[2] < 0.85 * digit)]
    kept = sorted(kept or glyphs, key=lambda c: c[0])
    groups, current, right = [], [], -1e9
    for c in kept:
        if current and c[0] - right > 1.0 * height:
            groups.append(current)
            current = []
        current.append(c)
        right = max(right, c[0] + c[2] - 1) if len(current) > 1 else c[0] + c[2] - 1
    groups.append(current)
    return max(groups, key=lambda g: sum(c[4] for c in g))


def _separator(members, left, right, top, height):
    """The colon (two small dots one above the other) or decimal point (one small dot low in the
    band) between the digits, as its centre column; None when there is none."""
    small = [c for c in members if max(c[2], c[3]) <= 0.28 * height and
             left + 0.2 * (right - left) < c[0] + c[2] / 2 < right - 0.15 * (right - left)]
    middle = top + height / 2.0
    best = None
    for i, a in enumerate(small):
        for b in small[i + 1:]:
            ax, bx = a[0] + a[2] / 2.0, b[0] + b[2] / 2.0
            ay, by = a[1] + a[3] / 2.0, b[1] + b[3] / 2.0
            if abs(ax - bx) < 0.12 * height and (ay - middle) * (by - middle) < 0 and \
                    abs(ay - by) > 0.2 * height:
                score = a[4] + b[4]
                if best is None or score > best[0]:
                    best = (score, (ax + bx) / 2.0)
    if best:
        return best[1]
    low = [c for c in small if c[1] + c[3] / 2.0 > top + 0.7 * height and c[3] <= 0.2 * height]
    if low:
        dot = max(low, key=lambda c: c[4])
        return dot[0] + dot[2] / 2.0
    return None


def find_display(crop, cells):
    """The display in a crop for a layout of `cells` digit cells, or None when nothing lit stands
    out of the background."""
    grey = _grey(crop)
    h, w = grey.shape[:2]
    background = float(np.median(grey))
    dark_on_light = background > 127
    if dark_on_light:
        grey = 255 - grey
        background = 255 - background
    peak = float(np.percentile(grey, 99.5))
    if peak - background < 20 or h < 6 or w < 4:
        return None
    level = max(_otsu(grey), background + 0.25 * (peak - background))
    comps = [c for c in _components(grey > level) if c[4] >= max(2, 0.0003 * h * w)]
    comps = _drop_edges(comps, w, h)
    if not comps:
        return None
    comps = sorted(comps, key=lambda c: -c[4])[:150]
    glyphs = _glyphs(comps)
    top, bottom = _band(glyphs)
    height = bottom - top + 1
    members = [c for c in glyphs if c[1] >= top - 0.15 * height and
               c[1] + c[3] - 1 <= bottom + 0.15 * height]
    members = _cluster(members, height, w)
    left = min(c[0] for c in members)
    right = max(c[0] + c[2] - 1 for c in members)
    separator_x = None
    nominal = NOMINAL_ASPECT.get(cells, NOMINAL_ASPECT[1]) * height
    if cells == 4:
        pieces = [c for c in comps if left <= c[0] and c[0] + c[2] - 1 <= right and
                  c[1] >= top - 0.15 * height and c[1] + c[3] - 1 <= bottom + 0.15 * height]
        separator_x = _separator(pieces, left, right, top, height)
        if separator_x is not None:
            half = max(separator_x - left, right - separator_x, nominal / 2.0)
            left, right = separator_x - half, separator_x + half
        elif right - left + 1 < nominal:
            left = right + 1 - nominal
    elif right - left + 1 < nominal:
        left = right + 1 - nominal
    return Display([left, top, right, bottom], height, separator_x, dark_on_light)


def _with_margin(box, w, h, margin=MARGIN):
    x1, y1, x2, y2 = box
    mx, my = margin * (x2 - x1 + 1), margin * (y2 - y1 + 1)
    return [max(0, int(round(x1 - mx))), max(0, int(round(y1 - my))),
            min(w, int(round(x2 + 1 + mx))), min(h, int(round(y2 + 1 + my)))]


def _zone_for(bounds, crop_origin, frame_size, role, processing):
    """A zone whose bounds (exclusive ends, crop pixels) cut exactly those pixels of the frame."""
    ox, oy = crop_origin
    fw, fh = frame_size
    x1, y1, x2, y2 = bounds
    return {"x": (ox + x1 + 0.5) / fw, "y": (oy + y1 + 0.5) / fh,
            "width": (x2 - x1) / fw, "height": (y2 - y1) / fh,
            "role": role, "processing": zonescan.normalize_settings(processing)}


def _tight_threshold(grey, dark_on_light):
    t = _otsu(255 - grey if dark_on_light else grey)
    return 254 - t if dark_on_light else t


def _value_of(role, items, separator):
    """The value the design reader assembles from its slot results (Parts of the readers' rules:
    a score's tens may be empty, a clock's sides concatenate their digit cells)."""
    def text(cells):
        out = []
        for c in cells:
            if c["status"] == "digit":
                out.append(str(c["char"]))
            elif c["status"] != "empty":
                return None
        return "".join(out)

    if role in CLOCK_ROLES:
        left, right = text(items[:2]), text(items[2:4])
        if left is None or right is None or not left:
            return None
        if separator and separator.get("char") == ".":
            tenths = right[:1] if items[2:3] and items[2]["status"] == "digit" else ""
            return left + "." + tenths if tenths else None
        return left + ":" + right if right else None
    if len(items) == 1:
        return items[0]["char"] if items[0]["status"] == "digit" else None
    if len(items) != 2 or items[1]["status"] != "digit":
        return None
    if items[0]["status"] == "empty":
        return items[1]["char"]
    if items[0]["status"] == "digit":
        return 10 * items[0]["char"] + items[1]["char"]
    return None


class _Probe:
    """Reads one candidate cut of a crop at many thresholds, as the design reader would."""

    def __init__(self, crop, bounds, role, separator_x, invert, rotation=0.0):
        self.rotation = rotation
        x1, y1, x2, y2 = bounds
        self.crop = crop[y1:y2, x1:x2]
        self.bounds = bounds
        self.role = role
        self.invert = invert
        h, w = self.crop.shape[:2]
        self.separator = None
        if role in CLOCK_ROLES and separator_x is not None:
            self.separator = {"x": separator_x - x1, "char": None}
        self.layout = None
        self.size = (w, h)

    def detect(self, separator):
        """Uses the separator the detector found in this cut (crop pixels of the cut)."""
        self.separator = separator

    def value(self, threshold):
        w, h = self.size
        sx = self.separator["x"] if self.separator else None
        layout = zonescan.layout_for_role(self.role, w, h, separator_x=sx)
        binary = zonescan.process_image(self.crop, {"threshold": threshold, "invert": self.invert,
                                                    "rotation": self.rotation})
        items = segsense.read_slots(binary, layout)
        return _value_of(self.role, items, self.separator)


def _same(value, expected):
    return value is not None and (value == expected or str(value) == str(expected).strip())


BAND_POSITION = float(__import__("os").environ.get("H13_BAND", "0.5"))


def _runs(flags, levels):
    """(length, chosen level) of the longest run of True flags; the level sits at BAND_POSITION
    of the run, from its low end."""
    best, start = (0, None), None
    for i, f in enumerate(list(flags) + [False]):
        if f and start is None:
            start = i
        if not f and start is not None:
            length = i - start
            if length > best[0]:
                lo, hi = levels[start], levels[i - 1]
                best = (length, int(round(lo + BAND_POSITION * (hi - lo))))
            start = None
    return best


def _levels(grey, invert):
    lo, hi = float(np.percentile(grey, 5)), float(np.percentile(grey, 99.5))
    if invert:
        lo, hi = 255 - hi, 255 - lo
    step = max(2.0, (hi - lo) / 24.0)
    return [int(v) for v in np.arange(lo + step, hi - step / 2, step)]


def _candidates(box, w, h):
    """Cuts around the found display: the fitted one first, then narrower, wider and shifted."""
    x1, y1, x2, y2 = box
    bw = x2 - x1 + 1
    out = []
    for scale, shift in ((1.0, 0.0), (0.94, 0.0), (1.06, 0.0), (1.0, -0.04), (1.0, 0.04),
                         (0.94, 0.03), (1.06, -0.03), (1.12, -0.06), (0.9, 0.05)):
        cx = (x1 + x2) / 2.0 + shift * bw
        half = scale * bw / 2.0
        out.append(_with_margin([cx - half, y1, cx + half, y2], w, h))
    return out


ROTATE = False


def _rotation(cut, threshold, invert):
    """The rotation that lines the display's strokes up best with the rows and columns: the angle,
    in half degrees up to three, whose thresholded cut has the sharpest row and column profiles."""
    def sharpness(angle):
        b = zonescan.process_image(cut, {"threshold": threshold, "invert": invert,
                                         "rotation": angle}).astype(np.float64) / 255.0
        return float(np.square(b.sum(axis=0)).sum() + np.square(b.sum(axis=1)).sum())
    if not ROTATE:
        return 0.0
    base = sharpness(0.0)
    best = (base, 0.0)
    for angle in (-3.0, -2.5, -2.0, -1.5, -1.0, 1.0, 1.5, 2.0, 2.5, 3.0):
        value = sharpness(angle)
        if value > best[0]:
            best = (value, angle)
    return best[1] if best[0] > 1.02 * base else 0.0


def _taught(crop, display, role, expected, invert, rotation=0.0):
    """The cut and threshold that read `expected` over the widest band of thresholds and still
    read it a few pixels off; None when no candidate reads it."""
    h, w = crop.shape[:2]
    grey = _grey(crop)
    best = None
    for bounds in _candidates(display.box, w, h):
        probe = _Probe(crop, bounds, role, display.separator_x, invert, rotation)
        if role in CLOCK_ROLES:
            probe.detect(zonescan._detect_clock_separator_without_regions(probe.crop, 0.0))
        levels = _levels(grey[bounds[1]:bounds[3], bounds[0]:bounds[2]], invert)
        flags = [_same(probe.value(t), expected) for t in levels]
        length, middle = _runs(flags, levels)
        if not length:
            continue
        score = length / max(1, len(levels))
        if best is not None and score + 0.25 <= best[0]:
            continue
        survivors = sum(_same(_Probe(crop, moved, role, display.separator_x, invert,
                                     rotation).value(middle),
                              expected) for moved in _shifted(bounds, w, h))
        score += 0.25 * survivors / 4.0
        if best is None or score > best[0]:
            best = (score, bounds, middle)
    return best


BLIND_STABLE = __import__("os").environ.get("H13_STABLE", "0") == "1"


def _stable_threshold(crop, bounds, display, role, invert):
    """The level in the middle of the widest band of thresholds over which the reading stays the
    same valid value; None when no value holds over two levels."""
    probe = _Probe(crop, bounds, role, display.separator_x, invert)
    if role in CLOCK_ROLES:
        probe.detect(zonescan._detect_clock_separator_without_regions(probe.crop, 0.0))
    grey = _grey(crop)[bounds[1]:bounds[3], bounds[0]:bounds[2]]
    levels = _levels(grey, invert)
    values = [probe.value(t) for t in levels]
    best = (1, None)
    for v in set(x for x in values if x is not None):
        run = _runs([x == v for x in values], levels)
        if run[0] > best[0]:
            best = run
    return best[1]


def _shifted(bounds, w, h):
    x1, y1, x2, y2 = bounds
    d = max(2, int(round(0.03 * (x2 - x1))))
    return [[max(0, x1 - d), y1, x2, y2], [x1 + d, y1, x2, y2], [x1, y1, min(w, x2 + d), y2],
            [x1, y1, x2 - d, y2]]


SELF_TEACH = __import__("os").environ.get("H13_SELF", "0") == "1"


def calibrate_zone(zone, image, role=None, expected=None):
    """A zone fitted to the display inside the operator's `zone` on the decoded frame `image`.

    Returns {"zone", "reading", "confidence", "reason"}; `reason` is "ok" or why no display was
    found (then `zone` is the operator's zone with normalised settings and `reading` its reading).
    """
    role = role or zonescan._role(zone) or "home_score"
    if not isinstance(role, str):
        raise TypeError(f"role must be a string, not {type(role).__name__}")
    crop = zonescan.crop_zone_from_image(zone, image)
    if crop is None:
        return _failed(zone, image, role, "no_frame")
    fh, fw = image.shape[:2]
    x1, y1, _, _ = zonescan.normalized_zone_bounds(zone, fw, fh)
    cells = _layout_cells(role)
    display = find_display(crop, cells)
    if display is None:
        return _failed(zone, image, role, "no_display")
    h, w = crop.shape[:2]
    invert = display.dark_on_light
    reason = "ok"
    found = None
    base = _with_margin(display.box, w, h)
    cut = crop[base[1]:base[3], base[0]:base[2]]
    rotation = _rotation(cut, _tight_threshold(_grey(cut), invert), invert)
    if expected is not None:
        found = _taught(crop, display, role, expected, invert, rotation)
        if found is None:
            reason = "expected_not_read"
    if found is not None:
        _, bounds, threshold = found
    else:
        bounds = _with_margin(display.box, w, h)
        grey = _grey(crop)
        tight = grey[bounds[1]:bounds[3], bounds[0]:bounds[2]]
        threshold = _tight_threshold(tight, invert)
        if BLIND_STABLE:
            stable = _stable_threshold(crop, bounds, display, role, invert)
            if stable is not None:
                threshold = stable
        if SELF_TEACH:
            first = _read_crop(crop[bounds[1]:bounds[3], bounds[0]:bounds[2]], role,
                               {"threshold": threshold, "invert": invert})
            if first.get("valid"):
                again = _taught(crop, display, role, first["value"], invert, rotation)
                if again is not None:
                    _, bounds, threshold = again
    processing = {"threshold": threshold, "invert": invert, "rotation": rotation}
    new_zone = _zone_for(bounds, (x1, y1), (fw, fh), role, processing)
    reading = read_zone(new_zone, image)
    trust = trust_reading(reading)
    return {"zone": new_zone, "reading": reading, "confidence": trust["confidence"], "reason": reason}


def _failed(zone, image, role, reason):
    processing = zonescan.normalize_settings(zonescan._processing(zone))
    new_zone = {"x": zone["x"], "y": zone["y"], "width": zone["width"], "height": zone["height"],
                "role": role, "processing": processing}
    reading = read_zone(new_zone, image) if image is not None else {"value": None, "valid": False,
                                                                     "reason": "no_frame"}
    return {"zone": new_zone, "reading": reading, "confidence": 0.0, "reason": reason}


def trust_reading(result):
    """Whether a reader result can be shown: {"trusted", "confidence", "why"}."""
    if not result.get("valid"):
        return {"trusted": False, "confidence": 0.0, "why": str(result.get("reason"))}
    items = result.get("digit_items") or result.get("ocr_items") or []
    digits = [i for i in items if i.get("kind", "digit") == "digit"]
    confidences = [float(i.get("confidence", 0.0)) for i in digits if i.get("status") == "digit"]
    confidence = min(confidences) if confidences else 0.0
    return {"trusted": confidence >= 0.5, "confidence": confidence, "why": "ok"}
