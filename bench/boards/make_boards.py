"""Board sequences for the calibration benchmarks: seeded, deterministic scoreboard fields, each with
one look showing 6 values over a game, written as PNG crops and a labels.jsonl in the layout of
../shared/bench-dev-boards (board_bench.py and calibration_time.py read either).

usage: /usr/bin/python3 bench/boards/make_boards.py [--out DIR] [--boards N] [--seed-offset S]
       [--relit DIR]

The looks reach past the dev boards': every seven-segment face fonts-dseg installs (Classic and
Modern, Regular/Bold/Light, their Italic and Mini forms: 24 faces), digit heights 12-120 px,
margins up to half a digit height on every side, unlit segments ghosting up to a quarter of the
lit level, glow, over-exposure, blur up to 1.5 px, noise, tilt up to 3 degrees either way, labels,
housing edges and neighbouring fields as clutter, and light boards with dark digits. A one-digit
field shows what its role can (periods 1-9, downs 1-4, timeouts 0-9). Every board
has a split: "tune" or "unseen", from a hash of its seed, so the split does not follow the field
kind (which cycles with the board number). --relit DIR also writes the same boards with every later
value re-lit by a factor in [0.75, 1.25] (lighting or exposure drifting over a game).

Generation runs in a few seconds per hundred boards; the images go to a cache directory
(default $XDG_CACHE_HOME/zonescan-boards, else /tmp/zonescan-boards), never into the tree.
"""

import argparse
import glob
import hashlib
import json
import os
import sys

import cv2
import numpy as np

FONT_DIR = "/usr/share/fonts/truetype/dseg"
KINDS = ("clock_colon", "clock_tenths", "score", "digit")
DIGIT_ROLES = ("period", "down", "home_timeouts")
COLOURS = {"red": (240, 40, 30), "amber": (240, 165, 40), "yellow": (235, 220, 120),
           "green": (90, 235, 110), "white": (235, 235, 235), "blue": (90, 170, 250)}
DARK_BOARDS = {"black": (8, 8, 8), "grey": (40, 40, 42), "blue": (20, 18, 60)}
LIGHT_INKS = {"black": (20, 20, 20), "darkred": (120, 20, 20), "navy": (20, 30, 100)}
LABELS = ("HOME", "GUEST", "TIME", "PERIOD", "DOWN", "FOULS", "SHOT", "QTR")
SUPERSAMPLE = 3


def seven_segment_faces():
    """The seven-segment faces fonts-dseg installs. Left out: the 14-segment and weather faces
    (another kind of display) and 7SEGGCHAN, whose digits are drawn as pictures, not segments."""
    return sorted(p for p in glob.glob(os.path.join(FONT_DIR, "DSEG7*.ttf"))
                  if "SEGGCHAN" not in os.path.basename(p))


def split_of(seed):
    return "tune" if hashlib.sha1(str(seed).encode()).digest()[0] % 2 == 0 else "unseen"


class Face:
    """One font at one rendering height: glyph masks by character, cached."""

    def __init__(self, path, height):
        self.ft = cv2.freetype.createFreeType2()
        self.ft.loadFontData(path, 0)
        self.height = height
        self.cache = {}

    def glyph(self, char):
        if char not in self.cache:
            size = self.height
            canvas = np.zeros((2 * size, 2 * size, 3), np.uint8)
            self.ft.putText(canvas, char, (size // 4, int(1.5 * size)), size, (255, 255, 255), -1,
                            cv2.LINE_AA, True)
            canvas = canvas[:, :, 0]
            ys, xs = np.nonzero(canvas)
            if len(xs) == 0:
                self.cache[char] = (np.zeros((1, 1), np.uint8), 0, 0)
            else:
                x0, y0 = xs.min(), ys.min()
                self.cache[char] = (canvas[y0:ys.max() + 1, x0:xs.max() + 1], x0, y0)
        return self.cache[char]


def cells_of(kind, value):
    """The display's characters: digit cells (a blank is None) and the separator, as drawn."""
    if kind == "clock_colon":
        minutes, seconds = value
        tens = None if minutes < 10 else str(minutes // 10)
        return [tens, str(minutes % 10), ":", str(seconds // 10), str(seconds % 10)]
    if kind == "clock_tenths":
        seconds, tenths = value
        return [None if seconds < 10 else str(seconds // 10), str(seconds % 10), ".", str(tenths),
                None]
    if kind == "score":
        return [None if value < 10 else str(value // 10), str(value % 10)]
    return [str(value)]


def expected_of(kind, value):
    if kind == "clock_colon":
        return f"{value[0]}:{value[1]:02d}"
    if kind == "clock_tenths":
        return f"{value[0]}.{value[1]}"
    return int(value)


def text_of(cells):
    return "".join(" " if c is None else c for c in cells)


# The values a one-digit role shows, as [low, high): a game's periods count from 1, a football
# down runs 1 to 4, timeouts left go down to 0.
DIGIT_RANGES = {"period": (1, 10), "down": (1, 5), "home_timeouts": (0, 10)}


def values_for(kind, role, rng, count):
    """The board's values, each one its role can show."""
    if kind == "clock_colon":
        return [(int(rng.integers(0, 20)), int(rng.integers(0, 60))) for _ in range(count)]
    if kind == "clock_tenths":
        return [(int(rng.integers(0, 60)), int(rng.integers(0, 10))) for _ in range(count)]
    if kind == "score":
        return [int(rng.integers(0, 100)) for _ in range(count)]
    low, high = DIGIT_RANGES[role]
    return [int(rng.integers(low, high)) for _ in range(count)]


def look_for(board, seed, faces):
    """Everything about a board that stays the same over its values."""
    rng = np.random.default_rng(seed)
    kind = KINDS[board % len(KINDS)]
    light = rng.random() < 0.15
    look = {
        "kind": kind,
        "role": {"clock_colon": "clock", "clock_tenths": "clock", "score": "home_score"}.get(
            kind, DIGIT_ROLES[int(rng.integers(0, len(DIGIT_ROLES)))]),
        "font": os.path.basename(faces[int(rng.integers(0, len(faces)))])[:-4],
        "digit_height": int(round(np.exp(rng.uniform(np.log(12), np.log(120))))),
        "margins": [float(rng.uniform(0.03, 0.5)) for _ in range(4)],  # left, top, right, bottom
        "light_board": bool(light),
        "colour": (list(LIGHT_INKS) if light else list(COLOURS))[
            int(rng.integers(0, len(LIGHT_INKS) if light else len(COLOURS)))],
        "background": "light" if light else list(DARK_BOARDS)[int(rng.integers(0, 3))],
        "ghost": float(rng.uniform(0.0, 0.25)),
        "glow_gain": float(rng.uniform(0.0, 0.6)) if not light else 0.0,
        "glow_sigma": float(rng.uniform(0.03, 0.12)),
        "overexposure": float(rng.uniform(0.0, 0.7)) if not light else 0.0,
        "brightness": float(rng.uniform(0.7, 1.0)),
        "blur": float(rng.uniform(0.0, 1.5)),
        "noise": float(rng.uniform(0.5, 6.0)),
        "angle": float(rng.uniform(-3.0, 3.0)) if rng.random() < 0.4 else 0.0,
        "clutter": [c for c, p in (("label", 0.3), ("neighbour", 0.25), ("edge", 0.25))
                    if rng.random() < p],
        "label_text": LABELS[int(rng.integers(0, len(LABELS)))],
        "label_above": bool(rng.random() < 0.6),
        "neighbour_left": bool(rng.random() < 0.5),
        "jpeg_quality": int(rng.integers(55, 93)),
        "seed": int(seed),
    }
    return look, rng


def draw_cells(face, cells, look):
    """Lit and ghost masks (0..1 floats) of the display at the supersampled scale, and the
    display's box (every cell's full 8) in those pixels."""
    eight, ex, ey = face.glyph("8")
    gh, gw = eight.shape
    advance = int(round(gw * 1.25))
    sep_gap = int(round(gw * 0.35))
    m = look["margins"]
    size = face.height
    left, top = int(m[0] * size), int(m[1] * size)
    positions, x = [], left
    for c in cells:
        if c in (":", "."):
            positions.append(x - (advance - gw) // 2)
            x += sep_gap
        else:
            positions.append(x)
            x += advance
    width = x - (advance - gw) + int(m[2] * size)
    height = top + gh + int(m[3] * size)
    lit = np.zeros((height, width), np.float32)
    ghost = np.zeros_like(lit)
    for c, px in zip(cells, positions):
        if c in (":", "."):
            mask, _, _ = face.glyph(c)
            sy = top + (gh - mask.shape[0]) // 2 if c == ":" else top + gh - mask.shape[0]
            sx = px + max(0, (sep_gap - mask.shape[1]) // 2)
            lit[sy:sy + mask.shape[0], sx:sx + mask.shape[1]] = np.maximum(
                lit[sy:sy + mask.shape[0], sx:sx + mask.shape[1]], mask / 255.0)
            continue
        ghost[top:top + gh, px:px + gw] = np.maximum(ghost[top:top + gh, px:px + gw], eight / 255.0)
        if c is not None:
            mask, mx, my = face.glyph(c)
            # Each digit where the face places it against the 8 drawn at the same origin.
            sy, sx = top + my - ey, px + mx - ex
            lit[sy:sy + mask.shape[0], sx:sx + mask.shape[1]] = np.maximum(
                lit[sy:sy + mask.shape[0], sx:sx + mask.shape[1]], mask / 255.0)
    box = [left, top, positions[-1] + gw, top + gh]
    return lit, ghost, box


def add_clutter(image, look, box, rng, ink, scale):
    h, w = image.shape[:2]
    if "label" in look["clutter"]:
        font_scale = max(0.3 * scale, (box[3] - box[1]) / 90.0)
        text = look["label_text"]
        (tw, th), _ = cv2.getTextSize(text, cv2.FONT_HERSHEY_SIMPLEX, font_scale, 1)
        gap = 2 * scale
        above = look["label_above"]
        if (box[1] if above else h - box[3]) < th + 2 * gap:
            look["clutter"] = [c for c in look["clutter"] if c != "label"]  # no room beside
        else:
            y = box[1] - gap if above else box[3] + th + gap
            cv2.putText(image, text, ((w - tw) // 2, int(y)), cv2.FONT_HERSHEY_SIMPLEX,
                        font_scale, ink, max(1, scale), cv2.LINE_AA)
    if "edge" in look["clutter"]:
        t = max(1, scale)
        cv2.rectangle(image, (t, t), (w - 1 - t, h - 1 - t), tuple(int(0.5 * c) for c in ink), t)
    return image


def render(look, cells, face, rng, relight=1.0):
    """The BGR crop of one value and its display box in crop pixels."""
    lit, ghost, box = draw_cells(face, cells, look)
    s = SUPERSAMPLE
    if "neighbour" in look["clutter"]:
        # A neighbouring field's digit cut by the crop border.
        eight, _, _ = face.glyph("8")
        gh, gw = eight.shape
        pad = np.zeros((lit.shape[0], gw // 2), np.float32)
        part = np.zeros((lit.shape[0], gw), np.float32)
        part[box[1]:box[1] + gh, :] = eight / 255.0
        cut = part[:, gw // 2:] if look["neighbour_left"] else part[:, :gw - gw // 2]
        if look["neighbour_left"]:
            lit, ghost = np.hstack([cut, pad, lit]), np.hstack([0 * cut, pad, ghost])
            box = [box[0] + cut.shape[1] + pad.shape[1], box[1], box[2] + cut.shape[1] + pad.shape[1],
                   box[3]]
        else:
            lit, ghost = np.hstack([lit, pad, cut]), np.hstack([ghost, pad, 0 * cut])
    level = look["brightness"] * relight
    glow_sigma = max(0.5, look["glow_sigma"] * (box[3] - box[1]))
    glow = cv2.GaussianBlur(lit, (0, 0), glow_sigma) * look["glow_gain"]
    intensity = np.clip(np.maximum(lit, ghost * look["ghost"]) + glow * (1 - lit), 0, 1.2) * level
    if look["light_board"]:
        paper = np.array([225, 228, 222], np.float32) * min(1.0, 0.85 + 0.15 * relight)
        ink = np.array(LIGHT_INKS[look["colour"]], np.float32)[::-1]
        image = paper + (ink - paper) * np.clip(intensity, 0, 1)[..., None]
    else:
        board = np.array(DARK_BOARDS[look["background"]], np.float32)[::-1]
        colour = np.array(COLOURS[look["colour"]], np.float32)[::-1]
        colour = colour + (255 - colour) * look["overexposure"] * np.clip(intensity, 0, 1)[..., None]
        image = board + (colour - board) * np.clip(intensity, 0, 1.3)[..., None]
    image = np.clip(image, 0, 255).astype(np.uint8)
    label_ink = (60, 60, 60) if look["light_board"] else (200, 200, 200)
    image = add_clutter(image, look, box, rng, label_ink, s)
    if look["angle"]:
        h, w = image.shape[:2]
        turn = cv2.getRotationMatrix2D((w / 2, h / 2), look["angle"], 1.0)
        border = tuple(int(v) for v in image[0, 0])
        image = cv2.warpAffine(image, turn, (w, h), flags=cv2.INTER_LINEAR,
                               borderMode=cv2.BORDER_CONSTANT, borderValue=border)
        corners = np.array([[box[0], box[1], 1], [box[2], box[1], 1], [box[0], box[3], 1],
                            [box[2], box[3], 1]], np.float64) @ turn.T
        box = [corners[:, 0].min(), corners[:, 1].min(), corners[:, 0].max(), corners[:, 1].max()]
    h, w = image.shape[:2]
    image = cv2.resize(image, (max(4, w // s), max(4, h // s)), interpolation=cv2.INTER_AREA)
    if look["blur"] > 0.05:
        image = cv2.GaussianBlur(image, (0, 0), look["blur"])
    noisy = image.astype(np.float32) + rng.normal(0, look["noise"], image.shape)
    image = np.clip(noisy, 0, 255).astype(np.uint8)
    ok, data = cv2.imencode(".jpg", image, [cv2.IMWRITE_JPEG_QUALITY, look["jpeg_quality"]])
    image = cv2.imdecode(data, cv2.IMREAD_COLOR)
    box = [int(np.floor(box[0] / s)), int(np.floor(box[1] / s)), int(np.ceil(box[2] / s)),
           int(np.ceil(box[3] / s))]
    return image, box


def make_board(board, seed, faces, out_dirs, values_per_board):
    look, rng = look_for(board, seed, faces)
    face = Face(os.path.join(FONT_DIR, look["font"] + ".ttf"), look["digit_height"] * SUPERSAMPLE)
    values = values_for(look["kind"], look["role"], rng, values_per_board)
    relights = [1.0] + [float(rng.uniform(0.75, 1.25)) for _ in values[1:]]
    labels = {d: [] for d in out_dirs}
    for index, value in enumerate(values):
        cells = cells_of(look["kind"], value)
        for out, relit in out_dirs.items():
            factor = relights[index] if relit else 1.0
            noise_rng = np.random.default_rng([seed, index])
            image, box = render(look, cells, face, noise_rng, factor)
            name = f"crops/b{board:04d}_{index}_{look['kind']}.png"
            cv2.imwrite(os.path.join(out, name), image)
            label = {k: v for k, v in look.items() if k not in ("margins", "label_text",
                                                                 "label_above", "neighbour_left")}
            label.update({"file": name, "board": board, "index": index,
                          "expected": expected_of(look["kind"], value), "text": text_of(cells),
                          "width": image.shape[1], "height": image.shape[0], "digit_box": box,
                          "relight": factor, "split": split_of(seed)})
            labels[out].append(label)
    return labels


def main():
    cache = os.environ.get("XDG_CACHE_HOME", "/tmp")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(cache, "zonescan-boards"))
    parser.add_argument("--relit", help="also write the re-lit boards here")
    parser.add_argument("--boards", type=int, default=320)
    parser.add_argument("--values", type=int, default=6)
    parser.add_argument("--seed-offset", type=int, default=70000)
    args = parser.parse_args()
    faces = seven_segment_faces()
    if not faces:
        print(f"no DSEG7 faces in {FONT_DIR} (fonts-dseg)", file=sys.stderr)
        return 1
    out_dirs = {args.out: False}
    if args.relit:
        out_dirs[args.relit] = True
    for out in out_dirs:
        os.makedirs(os.path.join(out, "crops"), exist_ok=True)
    labels = {d: [] for d in out_dirs}
    for board in range(args.boards):
        for out, rows in make_board(board, args.seed_offset + board, faces, out_dirs,
                                    args.values).items():
            labels[out].extend(rows)
    for out, rows in labels.items():
        with open(os.path.join(out, "labels.jsonl"), "w") as f:
            for row in rows:
                f.write(json.dumps(row) + "\n")
        meta = {"boards": args.boards, "values": args.values, "seed_offset": args.seed_offset,
                "faces": [os.path.basename(p) for p in faces], "relit": out_dirs[out],
                "opencv": cv2.__version__, "numpy": np.__version__}
        with open(os.path.join(out, "meta.json"), "w") as f:
            json.dump(meta, f, indent=1)
        print(f"{len(rows)} crops of {args.boards} boards in {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
