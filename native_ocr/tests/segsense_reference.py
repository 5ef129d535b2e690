"""The seven-segment classifier written directly with numpy, as a reference for the module's
results in the tests (and the baseline of its benchmark)."""
import numpy as np

SEGMENT_NAMES = ("A", "B", "C", "D", "E", "F", "G")
DIGIT_PATTERNS = {
    0: [(1, 1, 1, 1, 1, 1, 0)], 1: [(0, 1, 1, 0, 0, 0, 0)], 2: [(1, 1, 0, 1, 1, 0, 1)],
    3: [(1, 1, 1, 1, 0, 0, 1)], 4: [(0, 1, 1, 0, 0, 1, 1)], 5: [(1, 0, 1, 1, 0, 1, 1)],
    6: [(1, 0, 1, 1, 1, 1, 1)], 7: [(1, 1, 1, 0, 0, 0, 0)], 8: [(1, 1, 1, 1, 1, 1, 1)],
    9: [(1, 1, 1, 1, 0, 1, 1), (1, 1, 1, 0, 0, 1, 1)],
}


def as01(image):
    image = np.asarray(image)
    if image.ndim == 3:
        image = image.max(axis=-1)
    return (image > 0).astype(np.uint8)


def tight_bounds(mask):
    ys, xs = np.nonzero(mask > 0)
    if len(xs) == 0:
        return None
    return int(xs.min()), int(ys.min()), int(xs.max()), int(ys.max())


def contiguous_runs(indices):
    runs = []
    if len(indices) == 0:
        return runs
    start = previous = int(indices[0])
    for v in indices[1:]:
        v = int(v)
        if v > previous + 1:
            runs.append([start, previous])
            start = v
        previous = v
    runs.append([start, previous])
    return runs


def remove_marginal_runs(runs, cell_height):
    runs = [list(r) for r in runs]
    max_height = float(cell_height) * 0.1
    min_gap = float(cell_height) * 0.03
    while len(runs) > 1:
        first = runs[0]
        if first[0] != 0 or first[1] - first[0] + 1 > max_height or \
                runs[1][0] - first[1] - 1 < min_gap:
            break
        runs.pop(0)
    while len(runs) > 1:
        last = runs[-1]
        if last[1] != cell_height - 1 or last[1] - last[0] + 1 > max_height or \
                last[0] - runs[-2][1] - 1 < min_gap:
            break
        runs.pop()
    return runs


def runs_overlap(first, second):
    return first[0] <= second[1] and first[1] >= second[0]


def extend_from_core(projection, core_runs, max_gap):
    weak = contiguous_runs(np.flatnonzero(np.asarray(projection) >= 2))
    linked = [r for r in weak if any(runs_overlap(r, c) for c in core_runs)]
    if not linked:
        return None
    top = min(r[0] for r in linked)
    bottom = max(r[1] for r in linked)
    changed = True
    while changed:
        changed = False
        for r in weak:
            if any(r[0] == l[0] and r[1] == l[1] for l in linked):
                continue
            above = top - r[1] - 1
            below = r[0] - bottom - 1
            if 0 <= above <= max_gap or 0 <= below <= max_gap:
                linked.append(r)
                top, bottom = min(top, r[0]), max(bottom, r[1])
                changed = True
    return int(top), int(bottom)


def horizontal_bar_extent(cell, top, bottom, stroke):
    candidates = []
    for y in range(top, bottom + 1):
        runs = contiguous_runs(np.flatnonzero(cell[y] > 0))
        if not runs:
            continue
        best = max(runs, key=lambda r: r[1] - r[0] + 1)
        width = best[1] - best[0] + 1
        if width >= 2 * max(1, stroke):
            candidates.append((width, best[0], best[1]))
    if not candidates:
        return None
    _, start, end = max(candidates)
    return int(start), int(end)


def active(projection):
    largest = float(projection.max()) if projection.size else 0.0
    return np.flatnonzero(projection >= max(2.0, largest * 0.2))


def structural_frame(cell):
    tight = tight_bounds(cell)
    if tight is None:
        return None
    lx1, ly1, lx2, ly2 = tight
    h, w = cell.shape[:2]
    rows = cell.sum(axis=1)
    row_runs = remove_marginal_runs(contiguous_runs(active(rows)), h)
    if row_runs:
        core_top, core_bottom = row_runs[0][0], row_runs[-1][1]
        extended = extend_from_core(rows, row_runs, max(1, round(h * 0.03)))
        top, bottom = extended if extended is not None else (core_top, core_bottom)
    else:
        core_top = top = ly1
        core_bottom = bottom = ly2
    columns = cell[top:bottom + 1].sum(axis=0)
    active_columns = active(columns)
    left, right = (int(active_columns[0]), int(active_columns[-1])) if len(active_columns) \
        else (lx1, lx2)
    support = extend_from_core(columns, contiguous_runs(active_columns), max(1, round(w * 0.03)))
    support_left, support_right = support if support is not None else (left, right)
    stroke = right - left + 1
    lengths = sorted((r[1] - r[0] + 1 for r in row_runs), reverse=True)
    if len(lengths) >= 2:
        segment = (lengths[0] + lengths[1]) / 2.0
    elif lengths:
        segment = float(lengths[0])
    else:
        segment = max((bottom - top + 1 - stroke) * 0.5, 1.0)
    frame_width = round(segment + 2.0 * stroke)
    bar = horizontal_bar_extent(cell, top, bottom, stroke)
    if bar is not None:
        frame_width = max(frame_width, bar[1] - bar[0] + 1 + stroke)
    frame_width = max(min(frame_width, w), stroke)
    return {
        "tight_box": [lx1, ly1, lx2, ly2], "vertical_core_top": core_top,
        "vertical_core_bottom": core_bottom, "vertical_extended_top": top,
        "vertical_extended_bottom": bottom, "top": top, "bottom": bottom, "left": left,
        "right": right, "support_left": support_left, "support_right": support_right,
        "width_ratio": (right - left + 1) / max(w, 1), "nominal_segment_length": segment,
        "nominal_frame_width": frame_width, "horizontal_bar_extent": bar,
    }


def significant_component_count(mask):
    h, w = mask.shape[:2]
    visited = np.zeros((h, w), np.uint8)
    areas = []
    for y0, x0 in zip(*np.nonzero(mask)):
        if visited[y0, x0]:
            continue
        visited[y0, x0] = 1
        stack, area = [(y0, x0)], 0
        while stack:
            y, x = stack.pop()
            area += 1
            for ny, nx in ((y - 1, x), (y + 1, x), (y, x - 1), (y, x + 1)):
                if 0 <= ny < h and 0 <= nx < w and not visited[ny, nx] and mask[ny, nx]:
                    visited[ny, nx] = 1
                    stack.append((ny, nx))
        areas.append(area)
    if not areas:
        return 0
    minimum = max(4, max(areas) * 0.15)
    return sum(1 for a in areas if a >= minimum)


def single_vertical_mass(cell, s):
    glyph = cell[s["top"]:s["bottom"] + 1, s["left"]:s["right"] + 1]
    if glyph.size == 0 or significant_component_count(glyph) != 1:
        return False
    widths = []
    for row in glyph:
        runs = contiguous_runs(np.flatnonzero(row))
        if runs:
            widths.append(max(r[1] - r[0] + 1 for r in runs))
    if len(widths) < 4:
        return False
    stroke = float(np.median(widths))
    if max(widths) >= max(stroke * 1.8, stroke + 2.0):
        return False
    return s["right"] - s["left"] + 1 <= max(s["bottom"] - s["top"] + 1, 1) * 0.45


def frame_columns(cell, s):
    cw = cell.shape[1]
    if s["width_ratio"] >= 0.45:
        return s["left"], s["right"], "projection_wide", "projection_wide", "wide"
    width = s["nominal_frame_width"]
    center = (s["left"] + s["right"] + 1) / (2.0 * max(cw, 1))
    right_fits = s["right"] - width + 1 >= 0
    left_fits = s["left"] + width - 1 < cw
    if right_fits and not left_fits:
        side = "right"
    elif left_fits and not right_fits:
        side = "left"
    elif center >= 0.6666666666666666:
        side = "right"
    elif center <= 0.3333333333333333:
        side = "left"
    else:
        side = "ambiguous"
    bar = s["horizontal_bar_extent"] is not None
    if side == "right":
        method = "horizontal_bar_extent" if bar else "nominal_width_right_anchored"
        return max(0, s["support_right"] - width + 1), s["support_right"], method, method, "right"
    if side == "left":
        method = "horizontal_bar_extent" if bar else "nominal_width_left_anchored"
        return s["support_left"], min(s["support_left"] + width - 1, cw - 1), method, method, \
            "left"
    if single_vertical_mass(cell, s):
        method = "nominal_width_right_anchored"
        return max(0, s["support_right"] - width + 1), s["support_right"], method, method, "right"
    return s["support_left"], s["support_right"], "projection_vertical_preserved_horizontal", \
        "observed_fallback", "ambiguous"


def frame_from_cell(cell):
    s = structural_frame(cell)
    if s is None:
        return None
    fx1, fx2, method, source, position = frame_columns(cell, s)
    fy1, fy2 = s["top"], s["bottom"]
    return {
        "frame": cell[fy1:fy2 + 1, fx1:fx2 + 1], "frame_box_local": [fx1, fy1, fx2, fy2],
        "observed_box_local": list(s["tight_box"]), "source": "disabled",
        "frame_method": method, "horizontal_frame_source": source,
        "horizontal_structure_position": position,
        "vertical_core_top": s["vertical_core_top"],
        "vertical_core_bottom": s["vertical_core_bottom"],
        "vertical_extended_top": s["vertical_extended_top"],
        "vertical_extended_bottom": s["vertical_extended_bottom"],
        "structural_top": s["top"], "structural_bottom": s["bottom"],
        "structural_left": s["left"], "structural_right": s["right"],
        "structural_width_ratio": s["width_ratio"],
        "nominal_segment_length": s["nominal_segment_length"],
        "nominal_frame_width": s["nominal_frame_width"],
    }


def mean(cell, x1, y1, x2, y2):
    h, w = cell.shape[:2]
    ix1, ix2 = (max(0, min(w, round(v))) for v in (x1, x2))
    iy1, iy2 = (max(0, min(h, round(v))) for v in (y1, y2))
    if ix1 >= ix2 or iy1 >= iy2:
        return 0.0
    return float(cell[iy1:iy2, ix1:ix2].mean())


def segment_strengths(frame):
    m = as01(frame)
    h, w = m.shape[:2]
    if h < 8 or w < 5:
        return [0.0] * 7
    hx1, hx2 = (0.5 - 0.5 / 2.0) * w, (0.5 + 0.5 / 2.0) * w
    hh, vw = max(h * 0.11, 2.0), max(w * 0.2, 2.0)
    boxes = [
        (hx1, h * 0.02, hx2, h * 0.02 + hh), (w - vw, h * 0.15, w, h * 0.42),
        (w - vw, h * 0.58, w, h * 0.85), (hx1, h * 0.98 - hh, hx2, h * 0.98),
        (w * 0.0, h * 0.58, vw, h * 0.85), (w * 0.0, h * 0.15, vw, h * 0.42),
        (hx1, h * 0.5 - hh / 2, hx2, h * 0.5 + hh / 2),
    ]
    return [mean(m, *b) for b in boxes]


def score_pattern(acts, pattern):
    q = [a if e else 1.0 - a for a, e in zip(acts, pattern)]
    return float(np.clip(sum(q) / 7 * 0.72 + min(q) * 0.28, 0.0, 1.0))


def classify_frame(frame):
    strengths = segment_strengths(frame)
    acts = [float(np.clip(v / 0.3, 0.0, 1.0)) for v in strengths]
    candidates = [
        {"digit": d, "variant": i, "pattern": p, "score": score_pattern(acts, p)}
        for d, patterns in DIGIT_PATTERNS.items() for i, p in enumerate(patterns)
    ]
    candidates.sort(key=lambda c: c["score"], reverse=True)
    best = candidates[0]
    second = next((c for c in candidates[1:] if c["digit"] != best["digit"]), candidates[1])
    margin = max(best["score"] - second["score"], 0.0)
    confidence = float(np.clip(best["score"] * 0.85 + min(margin / 0.18, 1.0) * 0.15, 0.0, 1.0))
    value = best["digit"] if best["score"] >= 0.58 else None
    return value, confidence, strengths, acts, best, second


def clip_box(box, width, height):
    x1, y1, x2, y2 = [int(v) for v in box]
    x1, x2 = (max(0, min(v, width - 1)) for v in (x1, x2))
    y1, y2 = (max(0, min(v, height - 1)) for v in (y1, y2))
    return [min(x1, x2), min(y1, y2), max(x1, x2), max(y1, y2)]


def empty_result(out, box, confidence, empty_confidence, ink_ratio):
    out.update(box=box, char=None, status="empty", confidence=confidence,
               empty_confidence=empty_confidence, ink_ratio=ink_ratio)
    return out


def read_digit_slot(binary, slot):
    h, w = binary.shape[:2]
    box = clip_box(slot["box"], w, h)
    x1, y1, x2, y2 = box
    cell = as01(binary[y1:y2 + 1, x1:x2 + 1])
    out = dict(slot)
    if cell.size == 0:
        return empty_result(out, box, 1.0, 1.0, 0.0)
    ink_ratio = float(cell.mean())
    empty_confidence = float(np.clip(1.0 - ink_ratio / 0.06, 0.0, 1.0))
    if empty_confidence >= 0.6:
        return empty_result(out, box, empty_confidence, empty_confidence, ink_ratio)
    info = frame_from_cell(cell)
    if info is None or info["frame"].size == 0:
        return empty_result(out, box, 1.0, 1.0, 0.0)
    value, confidence, strengths, acts, best, second = classify_frame(info["frame"])
    olx1, _, olx2, _ = info["observed_box_local"]
    fx1, fy1, fx2, fy2 = info["frame_box_local"]
    fills = [round(float(v), 3) for v in strengths]
    out.update(
        box=box, glyph_box=[x1 + fx1, y1 + fy1, x1 + fx2, y1 + fy2], char=value,
        status="digit" if value is not None else "unknown", confidence=float(confidence),
        empty_confidence=empty_confidence, ink_ratio=ink_ratio,
        segments=[1 if a >= 0.5 else 0 for a in acts], fills=fills,
        segment_names=list(SEGMENT_NAMES), segment_strengths=list(fills),
        segment_activation=[round(float(a), 3) for a in acts],
        matched_pattern=list(best["pattern"]), pattern_variant=best["variant"],
        pattern_score=round(best["score"], 3), runner_up=second["digit"],
        runner_up_score=round(second["score"], 3), geometry_source=info["source"],
        frame_method=info["frame_method"],
        horizontal_frame_source=info["horizontal_frame_source"],
        horizontal_structure_position=info["horizontal_structure_position"])
    for key in ("vertical_core_top", "vertical_core_bottom", "vertical_extended_top",
                "vertical_extended_bottom", "structural_top", "structural_bottom",
                "structural_left", "structural_right"):
        out[key] = int(info[key])
    out.update(
        structural_width_ratio=round(info["structural_width_ratio"], 3),
        nominal_segment_length=round(info["nominal_segment_length"], 3),
        nominal_frame_width=int(info["nominal_frame_width"]), geometry_samples=0,
        geometry_locked=False,
        observed_width_ratio=round((olx2 - olx1 + 1) / max(cell.shape[1], 1), 3),
        learned_left=None, learned_right=None, learned_width_ratio=None)
    return out


def read_slots(binary, slots):
    return [read_digit_slot(binary, s) for s in slots if s.get("kind") == "digit"]
