"""Drawn seven-segment displays cut into digit cells the way the readers cut them, and the cell
features the learned classifier reads (the Python twin of native_ocr/zonescan/learned_classifier.cc).

A display is drawn at a reference size with one fonts-dseg face, glyph by glyph with a panel's own
digit and separator spacing: the unlit segments of every position as faint ghosts, the shown value
lit over them, glow, a slant (shear) and a tilt, a neighbour's glyph beside it, then upright
around it a housing outline, a printed label or a bar, all at their own levels against the digits';
then scaled to its digit height (log-uniform, so small digits weigh as much as large ones),
blurred, noised and JPEG-compressed, light on dark or dark (grey or tinted) on light. The crop is
the display's box with a margin and a shift of a few pixels (an operator's zone); the cells are the
reader's layout of that crop (equal cells, or the clock layout around the separator); each cell is
labelled with the glyph whose centre it holds, or blank.
"""

import glob
import math
import os

import cv2
import numpy as np

FONT_DIR = "/usr/share/fonts/truetype/dseg"
# Seven-segment faces only: the DSEG14 faces draw digits with fourteen segments, DSEGWeather icons,
FACES = sorted(os.path.basename(p)[:-4] for p in glob.glob(os.path.join(FONT_DIR, "DSEG7*.ttf"))
               if "SEGGCHAN" not in p)  # the 7SEGG-CHAN faces draw pictures inside their digits

BLANK = 10  # the class of a cell that shows no digit
CLASSES = 11

# The feature image every cell is resized to, and the display levels (see display_levels).
FEATURE_WIDTH, FEATURE_HEIGHT = 14, 24
FEATURES = FEATURE_WIDTH * FEATURE_HEIGHT + 1  # pixels, then the cell's aspect ratio
BACKGROUND_QUANTILE, LOW_QUANTILE, LIT_QUANTILE = 0.25, 0.01, 0.99
MIN_SPAN = 24.0

REF_HEIGHT = 96  # font height the displays are drawn at before scaling
KINDS = ("score", "digit", "clock", "tenths")
# A tenths clock is the four-digit clock panel showing seconds, the point and tenths, its last
# digit blank.
TEMPLATES = {"score": "88", "digit": "8", "clock": "88:88", "tenths": "88.88"}


# ----- the features (must match learned_classifier.cc) -----

def level(cumulative, n, q):
    """The smallest grey level whose cumulative count reaches q * n."""
    return int(np.searchsorted(cumulative, q * n, side="left"))


def display_levels(grey):
    """(flip, background, span): the display's polarity and levels. Lit strokes are the few far
    pixels on one side of the median: when the low tail lies further from it than the high tail,
    the strokes are dark on light and the display is flipped. The background is a quantile on
    the unlit side of the median (glow and large lit digits lift the median itself)."""
    hist = np.bincount(grey.ravel(), minlength=256).astype(np.float64)
    cumulative = np.cumsum(hist)
    n = float(grey.size)
    low = level(cumulative, n, LOW_QUANTILE)
    median = level(cumulative, n, 0.5)
    high = level(cumulative, n, LIT_QUANTILE)
    flip = (high - median) < (median - low)
    if flip:
        background = 255 - level(cumulative, n, 1.0 - BACKGROUND_QUANTILE)
        lit = 255 - low
    else:
        background = level(cumulative, n, BACKGROUND_QUANTILE)
        lit = high
    return flip, background, max(float(lit - background), MIN_SPAN)


def level_table(grey):
    flip, background, span = display_levels(grey)
    v = np.arange(256, dtype=np.float64)
    if flip:
        v = 255.0 - v
    return np.clip((v - background) / span, 0.0, 1.0).astype(np.float32)


def clip_box(box, width, height):
    x1, y1, x2, y2 = (int(v) for v in box)
    x1, x2 = (max(0, min(v, width - 1)) for v in (x1, x2))
    y1, y2 = (max(0, min(v, height - 1)) for v in (y1, y2))
    return min(x1, x2), min(y1, y2), max(x1, x2), max(y1, y2)


def cell_features(table, grey, box):
    h, w = grey.shape
    x1, y1, x2, y2 = clip_box(box, w, h)
    cell = table[grey[y1:y2 + 1, x1:x2 + 1]]
    small = cv2.resize(cell, (FEATURE_WIDTH, FEATURE_HEIGHT), interpolation=cv2.INTER_AREA)
    aspect = np.float32((x2 - x1 + 1) / (y2 - y1 + 1))
    return np.concatenate([small.ravel(), [aspect]]).astype(np.float32)


# ----- the readers' layouts -----

def box(x1, y1, x2, y2):
    return [round(x1), round(y1), round(x2), round(y2)]


def equal_digit_slots(width, height, count):
    width, height, count = max(1, width), max(1, height), max(1, count)
    return [box(width * i / count, 0, width * (i + 1) / count - 1, height - 1) for i in range(count)]


def clock_slots(width, height, separator_x=None):
    width, height = max(1, width), max(1, height)
    sx = width / 2.0 if separator_x is None else float(separator_x)
    sx = max(0.3 * width, min(0.7 * width, sx))
    gap = max(4.0, 0.055 * width) / 2.0
    left_end, right_start = max(1.0, sx - gap), min(width - 2.0, sx + gap)
    lw, rw = left_end / 2.0, (width - right_start) / 2.0
    return [box(0, 0, lw - 1, height - 1), box(lw, 0, left_end - 1, height - 1),
            box(right_start, 0, right_start + rw - 1, height - 1),
            box(right_start + rw, 0, width - 1, height - 1)]


# ----- drawing -----

# Digit heights are drawn log-uniformly over this range (in final pixels), so small digits, where
# a pixel of cut or blur weighs most, get as many displays as large ones.
MIN_DIGIT_HEIGHT, MAX_DIGIT_HEIGHT = 10.0, 120.0
# The gap from one digit's ink to the next, in widths of the 8's ink, and the extra gap a colon
# or point takes: panels space their digits differently, which moves the readers' cell edges.
ADVANCE_RANGE = (1.08, 1.45)
SEPARATOR_GAP_RANGE = (0.25, 0.7)
# The housing outline's greatest width, in digit heights (a segment is about a tenth).
OUTLINE_MAX_SHARE = 0.07
# Label words printed above or below a display on a board.
LABEL_WORDS = ("HOME", "AWAY", "GUEST", "VISITOR", "TIME", "PERIOD", "PER", "QTR", "HALF", "DOWN",
               "TO GO", "BALL ON", "FOULS", "BONUS", "SHOT", "INN", "SET", "TOL")


class Face:
    """One font face with the ink extents of its 8 and separators at the reference size."""

    def __init__(self, name):
        self.name = name
        self.italic = "Italic" in name
        self.ft = cv2.freetype.createFreeType2()
        self.ft.loadFontData(os.path.join(FONT_DIR, name + ".ttf"), 0)
        self.ink = {c: self._ink_x(c) for c in "8:."}
        self.width = self.ink["8"][1] - self.ink["8"][0] + 1.0

    def _ink_x(self, char):
        """(x1, x2) of the glyph's ink relative to its origin."""
        img = np.zeros((3 * REF_HEIGHT, 3 * REF_HEIGHT, 3), np.uint8)
        self.ft.putText(img, char, (REF_HEIGHT, 2 * REF_HEIGHT), REF_HEIGHT, (255, 255, 255), -1,
                        cv2.LINE_AA, True)
        cols = np.nonzero(img[:, :, 0].max(axis=0) > 76)[0]
        return float(cols.min() - REF_HEIGHT), float(cols.max() - REF_HEIGHT)

    def render(self, glyphs, shape, baseline):
        """The glyphs [(char, origin x)] on one line, as a 0..1 mask; '!' draws nothing."""
        img = np.zeros(tuple(shape) + (3,), np.uint8)
        for char, x in glyphs:
            if char != "!":
                self.ft.putText(img, char, (int(round(x)), baseline), REF_HEIGHT, (255, 255, 255),
                                -1, cv2.LINE_AA, True)
        return img[:, :, 0].astype(np.float32) / 255.0


def shown_text(kind, rng):
    """The value a display shows, with '!' for blank cells."""
    if kind == "digit":
        return "!" if rng.random() < 0.08 else str(rng.integers(0, 10))
    if kind == "score":
        v = int(rng.integers(0, 100))
        text = f"{v:2d}".replace(" ", "!")
        return "!!" if rng.random() < 0.03 else text
    if kind == "clock":
        # Game clocks spend much of their time under ten minutes: a blank leading cell.
        m = int(rng.integers(0, 10)) if rng.random() < 0.45 else int(rng.integers(10, 60))
        s = int(rng.integers(0, 60))
        return f"{m:2d}".replace(" ", "!") + ":" + f"{s:02d}"
    s, t = int(rng.integers(0, 60)), int(rng.integers(0, 10))
    return f"{s:2d}".replace(" ", "!") + "." + str(t) + "!"


LED_COLOURS = [(40, 40, 255), (0, 140, 255), (80, 220, 255), (60, 255, 60), (255, 255, 255),
               (255, 200, 80)]  # blue-green-red: red, amber, yellow, green, white, cyan
LCD_INKS = [(1.0, 1.0, 1.0), (0.3, 0.3, 1.6), (1.6, 0.6, 0.4), (0.6, 1.2, 0.6)]  # grey, dark
# red, navy, dark green: multipliers of the ink's grey level (blue-green-red)


def colours(rng, lcd):
    if lcd:
        bg = rng.uniform(140, 235) * np.array([rng.uniform(0.85, 1.0), 1.0, rng.uniform(0.85, 1.0)])
        ink = np.array(LCD_INKS[rng.integers(0, len(LCD_INKS))])
        lit = np.clip(rng.uniform(5, 70) * ink, 0, 140)
        return bg, lit
    base = np.array(LED_COLOURS[rng.integers(0, len(LED_COLOURS))], np.float64)
    lit = np.clip(base * rng.uniform(0.55, 1.0) + rng.uniform(-20, 20, 3), 0, 255)
    bg = np.full(3, rng.uniform(0, 45)) + rng.uniform(0, 25, 3) * (rng.random() < 0.3)
    return bg, lit


def led_dots(shape, digit_height, rng):
    """A grid of round lamps: strokes built of discrete LEDs."""
    pitch = max(2.0, digit_height / rng.uniform(8, 16))
    yy, xx = np.mgrid[0:shape[0], 0:shape[1]].astype(np.float32)
    dy = (yy % pitch) / pitch - 0.5
    dx = (xx % pitch) / pitch - 0.5
    radius = rng.uniform(0.3, 0.45)
    return np.clip((radius - np.sqrt(dx * dx + dy * dy)) * pitch + 0.5, 0, 1).astype(np.float32)


def ink_bounds(amount):
    x, y, w, h = cv2.boundingRect((amount > 0.3).astype(np.uint8))
    return x, y, x + w - 1, y + h - 1


def warp(layer, matrix, shape):
    return cv2.warpAffine(layer, matrix, (shape[1], shape[0]), flags=cv2.INTER_LINEAR)


def slant_matrix(ink_box, slant, tilt):
    """The shear of a slant (leaning right about the ink's middle row) then a tilt, as 2x3."""
    cy = (ink_box[1] + ink_box[3]) / 2.0
    t = math.tan(math.radians(slant))
    shear = np.array([[1, t, -t * cy], [0, 1, 0]], np.float64)
    rot = cv2.getRotationMatrix2D(((ink_box[0] + ink_box[2]) / 2.0, cy), tilt, 1.0)
    return (np.vstack([rot, [0, 0, 1]]) @ np.vstack([shear, [0, 0, 1]]))[:2]


def glyph_layout(face, template, rng):
    """Origins of the template's characters at the reference size, the digit ink centres and
    the separator's centre (None without one), and the canvas (height, width) and baseline."""
    advance = face.width * rng.uniform(*ADVANCE_RANGE)
    sep_gap = face.width * rng.uniform(*SEPARATOR_GAP_RANGE)
    e1 = face.ink["8"][0]
    margin_x, margin_y = int(0.9 * REF_HEIGHT), REF_HEIGHT // 2
    x = float(margin_x)  # left edge of the next digit's ink
    origins, centres, sep = [], [], None
    for c in template:
        if c == "8":
            origins.append(x - e1)
            centres.append(x + face.width / 2.0)
            x += advance
        else:
            middle = x - (advance - face.width) / 2.0 + sep_gap / 2.0
            s1, s2 = face.ink[c]
            origins.append(middle - (s1 + s2) / 2.0)
            sep = middle
            x += sep_gap
    width = int(x - (advance - face.width) + margin_x)
    height = REF_HEIGHT + 2 * margin_y
    return origins, centres, sep, (height, width), margin_y + REF_HEIGHT


def draw_neighbour(canvas, ink_box, rng, face, baseline):
    """A neighbouring field's glyph beside the display (it leans with the display)."""
    x1, _, x2, _ = ink_box
    h = ink_box[3] - ink_box[1]
    gap = rng.uniform(0.1, 0.7) * h
    x = x2 + gap if rng.random() < 0.5 else x1 - gap - face.width
    layer = face.render([(str(rng.integers(0, 10)), x - face.ink["8"][0])], canvas.shape, baseline)
    canvas[:] = np.maximum(canvas, layer * rng.uniform(0.4, 1.0))


def draw_upright_clutter(canvas, ink_box, margins, rng, thickness):
    """What stands upright around a display whatever its digits' slant: the housing's outline
    and a printed label just above or below. `thickness` is one final pixel in canvas pixels;
    `margins` the operator zone's (left, top, right, bottom, in shares of the box): the outline
    mostly falls inside the zone, at the cells' outer edges, where it passes for a segment. It
    is thinner than a segment and clear of the ink by a pixel or more: drawn any closer or
    thicker, a 1 under the outline's top would be a 7 labelled 1."""
    x1, y1, x2, y2 = ink_box
    h = y2 - y1
    if rng.random() < 0.45:
        width = min(rng.uniform(0.7, 1.8), max(1.0, OUTLINE_MAX_SHARE * h / thickness))
        t = max(1, int(round(width * thickness)))
        size = np.array([x2 - x1, h, x2 - x1, h], np.float64)
        clear = t / 2.0 + rng.uniform(1.0, 2.5, 4) * thickness
        d = np.maximum(clear, np.asarray(margins) * size * rng.uniform(0.3, 1.3, 4))
        cv2.rectangle(canvas, (int(x1 - d[0]), int(y1 - d[1])), (int(x2 + d[2]), int(y2 + d[3])),
                      float(rng.uniform(0.25, 1.0)), t, cv2.LINE_AA)
    if rng.random() < 0.3:
        text = LABEL_WORDS[rng.integers(0, len(LABEL_WORDS))]
        scale = rng.uniform(0.15, 0.4) * h / 22.0  # a Hershey capital is 22 units tall at scale 1
        t = max(1, int(round(rng.uniform(0.8, 2.0) * thickness, 0)))
        (tw, th), _ = cv2.getTextSize(text, cv2.FONT_HERSHEY_SIMPLEX, scale, t)
        gap = max(1.5 * thickness, rng.uniform(0.0, 0.15) * h)
        y = y1 - gap if rng.random() < 0.6 else y2 + gap + th
        x = (x1 + x2 - tw) / 2.0 + rng.uniform(-0.3, 0.3) * (x2 - x1)
        cv2.putText(canvas, text, (int(x), int(y)), cv2.FONT_HERSHEY_SIMPLEX, scale,
                    float(rng.uniform(0.3, 1.0)), t, cv2.LINE_AA)
    if rng.random() < 0.08:  # a bar: a lamp strip or the edge of a panel
        thick = max(2, int(rng.uniform(0.05, 0.15) * h))
        y = int(y1 - rng.uniform(0.1, 0.4) * h) if rng.random() < 0.5 else int(y2 + rng.uniform(0.1, 0.4) * h)
        canvas[max(0, y):max(0, y + thick), int(x1):int(x2)] = rng.uniform(0.3, 1.0)


def drawn_layers(face, kind, text, digit_height, margins, rng):
    """(ghost, lit, clutter) masks at the reference size, slanted; the matrix, the middle row of
    the unslanted ink, the digit and separator centres (unslanted) and the slant."""
    origins, centres, sep, shape, baseline = glyph_layout(face, TEMPLATES[kind], rng)
    template = TEMPLATES[kind]
    ghost = face.render([(c if c == "8" else "!", x) for c, x in zip(template, origins)], shape,
                        baseline)
    lit = face.render(list(zip(text, origins)), shape, baseline)
    ghost = np.clip(ghost - lit, 0, 1)
    ink_box = ink_bounds(np.maximum(ghost, lit))
    clutter = np.zeros_like(lit)
    if rng.random() < 0.25:
        draw_neighbour(clutter, ink_box, rng, face, baseline)
    slant = rng.uniform(0, 4 if face.italic else 14)
    tilt = rng.uniform(-3, 3) if rng.random() < 0.4 else rng.uniform(-1, 1)
    matrix = slant_matrix(ink_box, slant, tilt)
    layers = warp(np.dstack([ghost, lit, clutter]), matrix, shape)
    upright = np.zeros_like(lit)
    warped_box = ink_bounds(np.maximum(layers[:, :, 0], layers[:, :, 1]))
    pixel = (warped_box[3] - warped_box[1] + 1) / digit_height
    draw_upright_clutter(upright, warped_box, margins, rng, pixel)
    # The housing turns with the display when the camera is tilted; it does not lean with it.
    turn = cv2.getRotationMatrix2D(((warped_box[0] + warped_box[2]) / 2.0,
                                    (warped_box[1] + warped_box[3]) / 2.0), tilt, 1.0)
    upright = warp(upright, turn, shape)
    layers[:, :, 2] = np.maximum(layers[:, :, 2], upright)
    return layers, matrix, (ink_box[1] + ink_box[3]) / 2.0, centres, sep, slant


def colour_image(layers, digit_height, rng):
    """The masks at the digit height in colour, with the camera's effects: (BGR image, lcd)."""
    ghost, lit, clutter = layers[:, :, 0], layers[:, :, 1], layers[:, :, 2]
    lcd = rng.random() < 0.3
    if not lcd and rng.random() < 0.15:
        dots = led_dots(lit.shape, digit_height, rng)
        lit, ghost = lit * dots, ghost * dots
    bg, lit_colour = colours(rng, lcd)
    ghost_level = rng.uniform(0.0, 0.3) if rng.random() < 0.8 else 0.0
    # The digits' own level against the clutter's: a dim panel beside a bright printed label.
    strength = rng.uniform(0.6, 1.0)
    amount = strength * (lit + ghost_level * ghost)
    if not lcd:
        glow = cv2.GaussianBlur(lit, (0, 0), rng.uniform(0.02, 0.12) * digit_height)
        amount = amount + strength * glow * (1 - lit) * rng.uniform(0, 0.6)
    amount = np.clip(np.maximum(amount, clutter), 0, 1.6)
    span = (lit_colour - bg)[None, None, :].astype(np.float32)
    image = bg[None, None, :].astype(np.float32) + amount[:, :, None] * span
    if not lcd:
        if rng.random() < 0.5:
            image *= rng.uniform(1.0, 1.5)  # overexposure, every channel
        else:  # the lit colour washing to white
            image += (255 - image) * rng.uniform(0, 0.7) * np.clip(amount, 0, 1)[:, :, None]
    if rng.random() < 0.8:
        image = cv2.GaussianBlur(image, (0, 0), rng.uniform(0.2, 1.6))
    image = image + rng.normal(0, rng.uniform(0, 8), image.shape).astype(np.float32)
    image = np.clip(np.rint(image), 0, 255).astype(np.uint8)
    if rng.random() < 0.7:
        ok, buf = cv2.imencode(".jpg", image, [cv2.IMWRITE_JPEG_QUALITY, int(rng.integers(35, 96))])
        image = cv2.imdecode(buf, cv2.IMREAD_COLOR)
    return image, lcd


def operator_zone(box, shape, digit_height, m, rng):
    """The display's box with the margins m (left, top, right, bottom, in shares of the box) and a
    shift of a few pixels (fewer on small digits), cut to the image: (x1, y1, x2, y2), right and
    bottom exclusive."""
    bx1, by1, bx2, by2 = box
    bw, bh = bx2 - bx1, by2 - by1
    reach = min(3.0, max(1.0, 0.15 * digit_height))
    sx, sy = rng.uniform(-reach, reach, 2)
    H, W = shape[:2]
    return (int(max(0, round(bx1 - m[0] * bw + sx))), int(max(0, round(by1 - m[1] * bh + sy))),
            int(min(W, round(bx2 + m[2] * bw + sx) + 1)), int(min(H, round(by2 + m[3] * bh + sy) + 1)))


def labelled_cells(kind, centres, sep, grey, rng):
    """The reader's layout of the crop, each cell with the glyph whose centre it holds (blank for
    none); cells holding two centres are left out."""
    cw, ch = grey.shape[1], grey.shape[0]
    if kind in ("clock", "tenths"):
        sep = sep + rng.normal(0, 0.01 * cw) if sep is not None and rng.random() < 0.85 else None
        boxes = clock_slots(cw, ch, sep)
    else:
        boxes = equal_digit_slots(cw, ch, len(TEMPLATES[kind]))
    cells = []
    for b in boxes:
        inside = [c for x, c in centres if b[0] <= x <= b[2]]
        if len(inside) <= 1:
            cells.append((b, BLANK if not inside or inside[0] == "!" else int(inside[0])))
    return cells


def draw_display(face, kind, rng):
    """One drawn display: (grey crop, cells [(box, label)], info)."""
    text = shown_text(kind, rng)
    digit_height = math.exp(rng.uniform(math.log(MIN_DIGIT_HEIGHT), math.log(MAX_DIGIT_HEIGHT)))
    margins = rng.uniform(0.0, 0.15, 4)
    layers, matrix, cy, centres, sep, slant = drawn_layers(face, kind, text, digit_height, margins,
                                                           rng)
    # Scale to the digit height first (the colours, glow and camera effects work at that size).
    x1, y1, x2, y2 = ink_bounds(np.maximum(layers[:, :, 0], layers[:, :, 1]))
    scale = digit_height / float(y2 - y1 + 1)
    size = (max(8, int(round(layers.shape[1] * scale))), max(8, int(round(layers.shape[0] * scale))))
    image, lcd = colour_image(cv2.resize(layers, size, interpolation=cv2.INTER_AREA), digit_height, rng)
    cx1, cy1, cx2, cy2 = operator_zone([v * scale for v in (x1, y1, x2, y2)], image.shape,
                                       digit_height, margins, rng)
    grey = cv2.cvtColor(image[cy1:cy2, cx1:cx2], cv2.COLOR_BGR2GRAY)

    # Glyph centres in crop pixels (the ink extents at the reference size, moved by the warp).
    def to_crop(x):
        return (matrix @ np.array([x, cy, 1.0]))[0] * scale - cx1
    digits = [c for c in text if c not in ":."]
    labelled = [(to_crop(x), c) for x, c in zip(centres, digits)]
    cells = labelled_cells(kind, labelled, to_crop(sep) if sep is not None else None, grey, rng)
    info = {"face": face.name, "slant": slant, "italic": face.italic, "lcd": lcd,
            "kind": kind, "height": digit_height}
    return grey, cells, info


def draw_cells(count, seed, faces):
    """`count` displays drawn from `seed`: (features [n, FEATURES], labels [n], infos per cell)."""
    rng = np.random.default_rng(seed)
    feats, labels, infos = [], [], []
    for _ in range(count):
        face = faces[rng.integers(0, len(faces))]
        kind = KINDS[rng.integers(0, len(KINDS))]
        grey, cells, info = draw_display(face, kind, rng)
        if grey.size == 0:
            continue
        table = level_table(grey)
        for b, label in cells:
            feats.append(cell_features(table, grey, b))
            labels.append(label)
            infos.append(info)
    return np.array(feats, np.float32), np.array(labels, np.int64), infos
