"""The clock separator detector written directly with numpy and cv2, as a reference for the module's
results and the baseline of its benchmark."""
import math

import cv2
import numpy as np


def clock_separator_mask(crop, blurred_gray=None):
    gray = cv2.cvtColor(crop, cv2.COLOR_BGR2GRAY)
    val = cv2.split(cv2.cvtColor(crop, cv2.COLOR_BGR2HSV))[2]
    bright_cut = max(int(np.percentile(val, 94)), 135)
    bright = np.where(val >= bright_cut, 255, 0).astype(np.uint8)
    if blurred_gray is None:
        blurred_gray = cv2.GaussianBlur(gray, (0, 0), 7)
    detail = cv2.subtract(gray, blurred_gray)
    detail_cut = max(int(np.percentile(detail, 94)), 8)
    gray_cut = max(int(np.percentile(gray, 82)), 105)
    local = np.where((gray >= gray_cut) & (detail >= detail_cut), 255, 0).astype(np.uint8)
    mask = cv2.bitwise_or(bright, local)
    h, w = mask.shape[:2]
    mask = remove_small_components(mask, max(int(h * w * 1.5e-05), 3))
    kernel = cv2.getStructuringElement(cv2.MORPH_ELLIPSE, (3, 3))
    return cv2.morphologyEx(mask, cv2.MORPH_CLOSE, kernel)


def remove_small_components(mask, min_area):
    count, labels, stats, _ = cv2.connectedComponentsWithStats(mask, 8)
    out = np.zeros_like(mask)
    for i in range(1, count):
        if stats[i, cv2.CC_STAT_AREA] >= min_area:
            out[labels == i] = 255
    return out


def separator_runs(bits):
    padded = np.concatenate(([0], np.asarray(bits).astype(np.int8), [0]))
    changes = np.diff(padded)
    starts = np.flatnonzero(changes == 1)
    ends = np.flatnonzero(changes == -1) - 1
    return [[int(s), int(e)] for s, e in zip(starts, ends)]


def weighted_quantile(values, weights, quantile):
    order = np.argsort(values)
    sorted_values = np.asarray(values)[order]
    cumulative = np.cumsum(np.asarray(weights)[order])
    if len(cumulative) == 0 or cumulative[-1] <= 0:
        return 0.0
    index = int(np.searchsorted(cumulative, quantile * cumulative[-1], side="left"))
    return float(sorted_values[min(index, len(sorted_values) - 1)])


def separator_energy_map(corridor, blurred_gray=None):
    gray = cv2.cvtColor(corridor, cv2.COLOR_BGR2GRAY).astype(np.float32)
    binary = (clock_separator_mask(corridor, blurred_gray=blurred_gray) > 0).astype(np.float32)
    background = np.percentile(gray, 55)
    highlight = np.percentile(gray, 99)
    gray_energy = np.clip((gray - background) / max(highlight - background, 1.0), 0.0, 1.0) ** 1.5
    combined = 0.5 * binary + 0.5 * gray_energy
    return binary, gray_energy, combined


def separator_groups(binary, gray_energy, combined):
    h, w = combined.shape[:2]
    projection = combined.sum(axis=1).astype(np.float32)
    smooth_size = max(int(round(h * 0.04)), 3)
    if smooth_size % 2 == 0:
        smooth_size += 1
    kernel = np.full(smooth_size, 1.0 / smooth_size, dtype=np.float32)
    smooth = np.convolve(projection, kernel, mode="same")
    smooth = np.maximum(0.0, smooth - np.percentile(smooth, 10))
    peak = float(smooth.max()) if smooth.size else 0.0
    if peak <= 0:
        return [], []
    runs = separator_runs(smooth >= peak * 0.18)
    max_gap = max(int(round(h * 0.035)), 1)
    merged = []
    for start, end in runs:
        if merged and start - merged[-1][1] - 1 <= max_gap:
            merged[-1][1] = end
        else:
            merged.append([start, end])
    total_energy = float(combined.sum())
    reliability_scale = max(0.01 * h * w, 1.0)
    groups = []
    for top, bottom in merged:
        height = bottom - top + 1
        if (top == 0 or bottom == h - 1) and height <= h * 0.08:
            continue
        band = combined[top:bottom + 1]
        energy = float(band.sum())
        fraction = energy / max(total_energy, 1.0)
        if energy <= 0 or fraction < 0.03:
            continue
        ys, xs = np.indices(band.shape)
        ys = ys + top
        weights = band.ravel()
        center_x = float((xs.ravel() * weights).sum() / energy)
        center_y = float((ys.ravel() * weights).sum() / energy)
        left = weighted_quantile(xs.ravel(), weights, 0.05)
        right = weighted_quantile(xs.ravel(), weights, 0.95)
        groups.append({
            "y_min": int(top), "y_max": int(bottom), "center_x": center_x, "center_y": center_y,
            "width": right - left + 1.0, "height": int(height), "energy": energy,
            "gray_energy": float(gray_energy[top:bottom + 1].sum()),
            "binary_energy": float(binary[top:bottom + 1].sum()), "energy_fraction": fraction,
            "x_normalized": center_x / max(w, 1), "y_normalized": center_y / max(h, 1),
            "reliability": min(energy / reliability_scale, 1.0),
        })
    profile = []
    for index in range(6):
        start, end = (index * h) // 6, ((index + 1) * h) // 6
        profile.append(round(float(combined[start:end].sum()) / max(total_energy, 1.0), 4))
    return groups, profile


def _clip(v):
    return max(0.0, min(1.0, v))


def _ratio(a, b):
    return min(a, b) / max(a, b)


def separator_topology(groups, corridor_width, corridor_height):
    upper_groups = [g for g in groups if g["y_normalized"] < 0.55]
    lower_groups = [g for g in groups if g["y_normalized"] > 0.45]
    best_colon = None
    for upper in upper_groups:
        for lower in lower_groups:
            if lower["center_y"] <= upper["center_y"]:
                continue
            presence = math.sqrt(upper["reliability"] * lower["reliability"])
            dx = abs(upper["center_x"] - lower["center_x"])
            alignment = math.exp(-0.5 * (dx / max(corridor_width * 0.2, 1.0)) ** 2)
            similarity = (_ratio(upper["energy"], lower["energy"]) *
                          _ratio(upper["width"], lower["width"]) *
                          _ratio(upper["height"], lower["height"])) ** 0.3333333333333333
            sr = (lower["center_y"] - upper["center_y"]) / max(corridor_height, 1)
            separation = _clip((sr - 0.12) / 0.18) * _clip((0.8 - sr) / 0.2)
            topology = (0.5 * _clip((0.6 - upper["y_normalized"]) / 0.2) +
                        0.5 * _clip((lower["y_normalized"] - 0.4) / 0.2))
            pair_x = (upper["center_x"] + lower["center_x"]) / 2.0
            centrality = 1.0 - min(abs(pair_x / max(corridor_width, 1) - 0.5) / 0.5, 1.0)
            score = (presence * alignment) * ((((0.2 * similarity + 0.25) + 0.25 * separation) +
                                               0.15 * topology) + 0.15 * centrality)
            if best_colon is None or score > best_colon["score"]:
                best_colon = {"score": score, "upper": upper, "lower": lower,
                              "alignment": alignment, "similarity": similarity,
                              "separation": separation, "topology": topology,
                              "centrality": centrality}
    upper_reliability = max((g["reliability"] for g in upper_groups), default=0.0)
    best_decimal = None
    for lower in lower_groups:
        position = _clip((lower["y_normalized"] - 0.5) / 0.25)
        score = lower["reliability"] * ((0.25 * position + 0.35) + 0.4 * (1.0 - upper_reliability))
        if best_decimal is None or score > best_decimal["score"]:
            best_decimal = {"score": score, "lower": lower}
    return {"colon": best_colon, "decimal": best_decimal,
            "colon_score": best_colon["score"] if best_colon else 0.0,
            "decimal_score": best_decimal["score"] if best_decimal else 0.0}


def separator_search_corridor(layout_separator_box, crop_width):
    left, right = layout_separator_box[0], layout_separator_box[2]
    width = max(right - left + 1, 3)
    max_shift = max(int(math.floor(width * 0.35)), 1)
    return {"physical_left": left, "physical_right": right,
            "search_left": max(left - max_shift, 0),
            "search_right": min(right + max_shift, crop_width - 1),
            "window_width": width, "minimum_overlap": 0.65, "max_shift": max_shift}


def search_starts(g):
    last = max(g["search_left"], g["search_right"] - g["window_width"] + 1)
    starts = list(range(g["search_left"], last + 1))
    if g["physical_left"] not in starts:
        starts = sorted(starts + [g["physical_left"]])
    return starts


def evaluate_window(crop, start, window_width, blurred_gray=None):
    h, w = crop.shape[:2]
    left = max(min(int(start), w - window_width), 0)
    right = min(left + window_width - 1, w - 1)
    corridor = crop[:, left:right + 1]
    groups, profile = separator_groups(*separator_energy_map(corridor, blurred_gray))
    result = {"left": left, "right": right, "groups": groups, "energy_profile": profile}
    result.update(separator_topology(groups, corridor.shape[1], h))
    return result


def spatial_prior(candidate_left, candidate_right, x, physical_left, physical_right):
    pw = max(physical_right - physical_left + 1, 1.0)
    pc = (physical_left + physical_right) / 2.0
    cc = (candidate_left + candidate_right) / 2.0
    overlap = max(min(physical_right, candidate_right) - max(physical_left, candidate_left) + 1.0,
                  0.0)
    overlap_ratio = _clip(overlap / pw)
    deadband = 0.15 * pw
    window_excess = max(abs(cc - pc) - deadband, 0.0)
    group_excess = max(abs(x - pc) - deadband, 0.0)
    window_prior = math.exp(-0.5 * (window_excess / max(0.45 * pw, 1.0)) ** 2)
    group_prior = math.exp(-0.5 * (group_excess / max(0.65 * pw, 1.0)) ** 2)
    margin = 0.15 * pw
    compatible = physical_left - margin <= x <= physical_right + margin
    prior = _clip(overlap_ratio * window_prior * group_prior) if compatible else 0.0
    return {"spatial_prior": prior, "overlap_ratio": overlap_ratio, "window_prior": window_prior,
            "group_prior": group_prior, "center_compatible": compatible}


def hypothesis(evaluated, char, physical_left, physical_right):
    if char == ":":
        topology = evaluated.get("colon")
        if topology is None:
            return None
        upper, lower = topology["upper"], topology["lower"]
        total = upper["energy"] + lower["energy"]
        local = (upper["center_x"] * upper["energy"] + lower["center_x"] * lower["energy"]) / max(
            total, 1.0)
        score = float(evaluated["colon_score"])
    else:
        topology = evaluated.get("decimal")
        if topology is None:
            return None
        local = topology["lower"]["center_x"]
        score = float(evaluated["decimal_score"])
    x = float(evaluated["left"] + local)
    spatial = spatial_prior(evaluated["left"], evaluated["right"], x, physical_left,
                            physical_right)
    result = {"char": char, "window": evaluated, "x": x, "topological_score": score,
              "final_score": score * spatial["spatial_prior"]}
    result.update(spatial)
    return result


def detect(crop, separator_box, angle=0.0):
    """The detector's choice for a crop, given the clock layout's separator box: (char, x,
    confidence, selected window left) or None."""
    if crop is None or crop.size == 0:
        return None
    source = crop
    if abs(angle) >= 0.6:
        h, w = crop.shape[:2]
        matrix = cv2.getRotationMatrix2D((w / 2, h / 2), angle, 1.0)
        source = cv2.warpAffine(crop, matrix, (w, h), flags=cv2.INTER_LINEAR,
                                borderMode=cv2.BORDER_CONSTANT, borderValue=0)
    h, w = source.shape[:2]
    g = separator_search_corridor(separator_box, w)
    evaluated = [evaluate_window(source, s, g["window_width"]) for s in search_starts(g)]
    best = []
    for char in (":", "."):
        hyps = [hypothesis(e, char, g["physical_left"], g["physical_right"]) for e in evaluated]
        hyps = [x for x in hyps if x is not None]
        best.append(max(hyps, key=lambda x: x["final_score"]) if hyps else None)
    valid = [x for x in best if x is not None and x["final_score"] >= 0.65]
    if not valid:
        return None
    selected = max(valid, key=lambda x: (x["final_score"], x["topological_score"]))
    return selected["char"], selected["x"], selected["final_score"], selected["window"]["left"]
