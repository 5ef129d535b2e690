"""Real-display test bed: seeded, deterministic seven-segment displays of the kinds the boards bed
leaves out, written as PNG images and a labels.jsonl (one row per image) for display_bench.py.

usage: /usr/bin/python3 bench/displays/make_displays.py [--out DIR] [--displays N] [--values V]
       [--seed-offset S]

Looks:
- LCD fields: a grey-green ground, dark segments, faint unlit segments, a glare patch and
  scratches on the glass; red and green LED meters on a dark ground with glow.
- Slanted faces: the fonts' own italics, and a shear of 5-14 degrees on upright faces.
- Clocks of 2-4 cells: "d.d", "dd.d" (decimal point), "d:dd", "dd:dd" (colon); two-digit
  readings and single digits.
- Two-row LCDs: a second row of digits above or below the display row (the box drawn around the
  display then holds both rows).
- Every value twice: "box", the box drawn around the display, and "photo", the display inside a
  bigger picture (its housing, a wall, labels, sometimes a dark panel beside it).
Each display has a split, "tune" or "unseen", from a hash of its seed. Tune on the tune half only;
report the unseen half. The images go to $XDG_CACHE_HOME/zonescan-displays or
/tmp/zonescan-displays, never into the tree. Each row also holds the truth the readers could be
told ("truth": polarity, slant in degrees, clock_cells) and the display's box in image pixels.
"""

import argparse
import hashlib
import json
import os
import sys

import cv2
import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "boards"))
import make_boards  # noqa: E402  (the faces, the glyph cache and the cell drawing)

SUPERSAMPLE = make_boards.SUPERSAMPLE
# kind: (role, clock cells or None, separator, digit cells)
KINDS = {
    "tenths3": ("clock", 3, ".", 3),  # "dd.d": a thermometer, a shot clock's last minute
    "tenths2": ("clock", 2, ".", 2),  # "d.d"
    "colon3": ("clock", 3, ":", 3),  # "d:dd": a penalty timer
    "colon4": ("clock", 4, ":", 4),  # "dd:dd"
    "score": ("home_score", None, None, 2),
    "digit": ("period", None, None, 1),
}
KIND_ORDER = tuple(KINDS)
LCD_GROUNDS = ((150, 170, 150), (165, 185, 170), (135, 160, 150), (175, 190, 185))  # BGR
LCD_INKS = ((35, 45, 40), (50, 55, 45), (25, 30, 30))
LED_COLOURS = {"red": (30, 30, 235), "green": (90, 230, 80)}
WALLS = ((200, 205, 210), (150, 160, 170), (90, 100, 110), (215, 220, 225), (120, 130, 125))
HOUSINGS = ((40, 40, 40), (210, 210, 205), (70, 80, 90), (25, 25, 30))
LABELS = ("TEMP", "HUMIDITY %", "MAX", "MIN", "AMPS", "V DC", "SYS", "DIA", "PULSE", "LITRES")


def split_of(seed):
    return "tune" if hashlib.sha1(f"display{seed}".encode()).digest()[0] % 2 == 0 else "unseen"


def look_for(index, seed, faces):
    rng = np.random.default_rng(seed)
    kind = KIND_ORDER[index % len(KIND_ORDER)]
    lcd = bool(rng.random() < 0.6)
    face = faces[int(rng.integers(0, len(faces)))]
    italic = "Italic" in os.path.basename(face)
    shear = 0.0 if italic or rng.random() < 0.35 else float(rng.uniform(5.0, 14.0))
    return {
        "kind": kind, "role": KINDS[kind][0], "lcd": lcd,
        "font": os.path.basename(face)[:-4], "italic": italic, "shear": shear,
        "digit_height": int(round(np.exp(rng.uniform(np.log(16), np.log(90))))),
        "margins": [float(rng.uniform(0.08, 0.4)) for _ in range(4)],
        "ground": LCD_GROUNDS[int(rng.integers(0, len(LCD_GROUNDS)))],
        "ink": LCD_INKS[int(rng.integers(0, len(LCD_INKS)))],
        "led": list(LED_COLOURS)[int(rng.integers(0, 2))],
        "ghost": float(rng.uniform(0.03, 0.2)),
        "glow": 0.0 if lcd else float(rng.uniform(0.0, 0.5)),
        "glare": float(rng.uniform(0.0, 0.5)) if rng.random() < 0.5 else 0.0,
        "scratches": int(rng.integers(0, 4)) if rng.random() < 0.4 else 0,
        "two_rows": bool(lcd and rng.random() < 0.3),
        "row_below": bool(rng.random() < 0.5),
        "blur": float(rng.uniform(0.0, 1.2)), "noise": float(rng.uniform(0.5, 5.0)),
        "jpeg_quality": int(rng.integers(60, 93)),
        "wall": WALLS[int(rng.integers(0, len(WALLS)))],
        "housing": HOUSINGS[int(rng.integers(0, len(HOUSINGS)))],
        "panel_beside": bool(rng.random() < 0.3),
        "labels": [LABELS[int(i)] for i in rng.integers(0, len(LABELS), int(rng.integers(1, 4)))],
        "seed": int(seed),
    }, rng


def value_of(kind, rng):
    """The display's characters (None for a blank cell) and the reading it should give."""
    if kind in ("tenths3", "tenths2"):
        top = 100 if kind == "tenths3" else 10
        whole, tenths = int(rng.integers(0, top)), int(rng.integers(0, 10))
        digits = f"{whole:>{2 if kind == 'tenths3' else 1}d}"
        return [None if c == " " else c for c in digits] + [".", str(tenths)], f"{whole}.{tenths}"
    if kind in ("colon3", "colon4"):
        minutes, seconds = int(rng.integers(0, 10 if kind == "colon3" else 60)), int(
            rng.integers(0, 60))
        lead = f"{minutes:>{1 if kind == 'colon3' else 2}d}"
        cells = [None if c == " " else c for c in lead]
        return cells + [":", str(seconds // 10), str(seconds % 10)], f"{minutes}:{seconds:02d}"
    if kind == "score":
        v = int(rng.integers(0, 100))
        return [None if v < 10 else str(v // 10), str(v % 10)], v
    v = int(rng.integers(0, 10))
    return [str(v)], v


def sheared(mask, degrees):
    """The mask leaning right by `degrees` (the top moved right), widened to keep it all."""
    if degrees <= 0:
        return mask
    h, w = mask.shape
    k = np.tan(np.radians(degrees))
    grow = int(np.ceil(k * h))
    m = np.float32([[1, -k, k * h], [0, 1, 0]])
    return cv2.warpAffine(mask, m, (w + grow, h), flags=cv2.INTER_LINEAR)


def field_masks(face, cells, look, rng):
    """Lit and ghost masks of the display field (one or two rows) and the display row's box."""
    lit, ghost, box = make_boards.draw_cells(face, cells, look)
    if look["two_rows"]:
        other_cells, _ = value_of(look["kind"], rng)
        other_look = dict(look, margins=[look["margins"][0], 0.1, look["margins"][2], 0.1])
        olit, oghost, _ = make_boards.draw_cells(face, other_cells, other_look)
        w = max(lit.shape[1], olit.shape[1])
        pad = lambda a: np.pad(a, ((0, 0), (0, w - a.shape[1])))  # noqa: E731
        if look["row_below"]:
            lit, ghost = np.vstack([pad(lit), pad(olit)]), np.vstack([pad(ghost), pad(oghost)])
        else:
            box = [box[0], box[1] + olit.shape[0], box[2], box[3] + olit.shape[0]]
            lit, ghost = np.vstack([pad(olit), pad(lit)]), np.vstack([pad(oghost), pad(ghost)])
    if look["shear"] > 0:
        h = lit.shape[0]
        k = np.tan(np.radians(look["shear"]))
        box = [box[0] + k * (h - box[3]), box[1], box[2] + k * (h - box[1]), box[3]]
        lit, ghost = sheared(lit, look["shear"]), sheared(ghost, look["shear"])
    return lit, ghost, box


def glass(image, look, rng):
    """Glare (a soft bright patch) and scratches (thin light lines) on the display's glass."""
    h, w = image.shape[:2]
    if look["glare"] > 0:
        yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
        cx, cy = rng.uniform(0, w), rng.uniform(0, h)
        r = rng.uniform(0.2, 0.6) * max(w, h)
        patch = np.exp(-((xx - cx) ** 2 + (yy - cy) ** 2) / (2 * r * r)) * look["glare"]
        image = image + (255 - image) * patch[..., None]
    for _ in range(look["scratches"]):
        p = (int(rng.uniform(0, w)), int(rng.uniform(0, h)))
        q = (int(p[0] + rng.uniform(-0.5, 0.5) * w), int(p[1] + rng.uniform(-0.5, 0.5) * h))
        cv2.line(image, p, q, (235, 235, 235), max(1, SUPERSAMPLE // 2), cv2.LINE_AA)
    return image


def colour_field(lit, ghost, look, rng):
    if look["lcd"]:
        ground = np.array(look["ground"], np.float32)
        ink = np.array(look["ink"], np.float32)
        amount = np.clip(np.maximum(lit, ghost * look["ghost"]), 0, 1)[..., None]
        image = ground + (ink - ground) * amount
    else:
        board = np.array((12, 12, 14), np.float32)
        colour = np.array(LED_COLOURS[look["led"]], np.float32)
        sigma = max(0.5, 0.06 * lit.shape[0])
        glow = cv2.GaussianBlur(lit, (0, 0), sigma) * look["glow"]
        amount = np.clip(np.maximum(lit, ghost * look["ghost"]) + glow * (1 - lit), 0, 1)
        image = board + (colour - board) * amount[..., None]
    return glass(image, look, rng)


def photo_of(field, box, look, rng):
    """The field inside its housing on a wall, with labels and maybe a dark panel beside it."""
    fh, fw = field.shape[:2]
    rim = int(0.15 * fh) + 2 * SUPERSAMPLE
    housing = np.empty((fh + 2 * rim + fh // 2, fw + 2 * rim, 3), np.float32)
    housing[:] = look["housing"]
    housing[rim:rim + fh, rim:rim + fw] = field
    ink = (235, 235, 235) if np.mean(look["housing"]) < 128 else (30, 30, 30)
    scale = max(0.4, fh / 120.0)
    for i, text in enumerate(look["labels"][:2]):
        y = rim + fh + int((i + 0.8) * fh / 5)
        cv2.putText(housing, text, (rim, y), cv2.FONT_HERSHEY_SIMPLEX, scale, ink,
                    max(1, SUPERSAMPLE), cv2.LINE_AA)
    hh, hw = housing.shape[:2]
    wall = np.empty((int(hh * rng.uniform(1.4, 2.2)), int(hw * rng.uniform(1.5, 2.8)), 3),
                    np.float32)
    wall[:] = look["wall"]
    wall += rng.normal(0, 6, wall.shape[:2])[..., None]
    oy = int(rng.uniform(0.1, 0.9) * (wall.shape[0] - hh))
    ox = int(rng.uniform(0.1, 0.9) * (wall.shape[1] - hw))
    if look["panel_beside"]:
        px = 0 if ox > wall.shape[1] - ox - hw else ox + hw + rim
        pw = max(1, min(wall.shape[1] - px, hw // 2)) if px else max(1, ox - rim)
        wall[oy:oy + hh, px:px + pw] = (20, 22, 25)
    wall[oy:oy + hh, ox:ox + hw] = housing
    top = oy + rim
    box = [box[0] + ox + rim, box[1] + top, box[2] + ox + rim, box[3] + top]
    return wall, box


def finish(image, box, look, rng):
    """Down to camera pixels: area resampling, blur, noise and JPEG; the box in those pixels."""
    s = SUPERSAMPLE
    h, w = image.shape[:2]
    image = np.clip(image, 0, 255).astype(np.uint8)
    image = cv2.resize(image, (max(4, w // s), max(4, h // s)), interpolation=cv2.INTER_AREA)
    if look["blur"] > 0.05:
        image = cv2.GaussianBlur(image, (0, 0), look["blur"])
    image = np.clip(image.astype(np.float32) + rng.normal(0, look["noise"], image.shape), 0, 255)
    ok, data = cv2.imencode(".jpg", image.astype(np.uint8),
                            [cv2.IMWRITE_JPEG_QUALITY, look["jpeg_quality"]])
    box = [int(np.floor(box[0] / s)), int(np.floor(box[1] / s)), int(np.ceil(box[2] / s)),
           int(np.ceil(box[3] / s))]
    return cv2.imdecode(data, cv2.IMREAD_COLOR), box


def truth_of(look):
    """What a reader could be told about this display."""
    kind = KINDS[look["kind"]]
    truth = {"polarity": "dark" if look["lcd"] else "light",
             "slant": round(look["shear"] if look["shear"] else (8.0 if look["italic"] else 0), 1)}
    if kind[1] is not None:
        truth["clock_cells"] = kind[1]
    return truth


def make_display(index, seed, faces, out, values):
    look, rng = look_for(index, seed, faces)
    face = make_boards.Face(os.path.join(make_boards.FONT_DIR, look["font"] + ".ttf"),
                            look["digit_height"] * SUPERSAMPLE)
    rows = []
    for v in range(values):
        cells, expected = value_of(look["kind"], rng)
        lit, ghost, box = field_masks(face, cells, look, rng)
        # The glass and the scene around the display stay the same over its values.
        field = colour_field(lit, ghost, look, np.random.default_rng([seed, 1]))
        photo = photo_of(field, box, look, np.random.default_rng([seed, 2]))
        pictures = {"box": (field, box), "photo": photo}
        for case, (picture, pbox) in pictures.items():
            image, dbox = finish(picture, pbox, look, np.random.default_rng([seed, v]))
            name = f"images/d{index:04d}_{v}_{case}_{look['kind']}.png"
            cv2.imwrite(os.path.join(out, name), image)
            row = {k: look[k] for k in ("kind", "role", "lcd", "font", "italic", "shear",
                                        "digit_height", "two_rows", "glare", "scratches", "seed")}
            row.update({"file": name, "display": index, "index": v, "case": case,
                        "expected": expected, "width": image.shape[1], "height": image.shape[0],
                        "digit_box": dbox, "truth": truth_of(look), "split": split_of(seed)})
            rows.append(row)
    return rows


def main():
    cache = os.environ.get("XDG_CACHE_HOME", "/tmp")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(cache, "zonescan-displays"))
    parser.add_argument("--displays", type=int, default=240)
    parser.add_argument("--values", type=int, default=3)
    parser.add_argument("--seed-offset", type=int, default=250000)
    args = parser.parse_args()
    faces = make_boards.seven_segment_faces()
    if not faces:
        print(f"no DSEG7 faces in {make_boards.FONT_DIR} (fonts-dseg)", file=sys.stderr)
        return 1
    os.makedirs(os.path.join(args.out, "images"), exist_ok=True)
    rows = []
    for index in range(args.displays):
        rows.extend(make_display(index, args.seed_offset + index, faces, args.out, args.values))
    with open(os.path.join(args.out, "labels.jsonl"), "w") as f:
        for row in rows:
            f.write(json.dumps(row) + "\n")
    with open(os.path.join(args.out, "meta.json"), "w") as f:
        json.dump({"displays": args.displays, "values": args.values,
                   "seed_offset": args.seed_offset, "opencv": cv2.__version__,
                   "numpy": np.__version__}, f, indent=1)
    print(f"{len(rows)} images of {args.displays} displays in {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
