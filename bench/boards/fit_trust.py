"""Fits the trust rule's weights on the tuning half of a board test bed, prints how the fitted rule
does on the unseen half, and writes native_ocr/zonescan/calibration/trust_weights.h.

usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/boards/fit_trust.py [--data DIR]
       [--more-tuning DIR ...] [--displays DIR ...] [--write] [--cache FILE]

The readings are those board_bench.py scores in its blind and taught rows: every later value of a
board read with the zone calibrate_zone tuned on the first value (and, with --displays, of the
displays of a bench/displays bed's tuning half). Each valid reading gives one record: the reading
the rule weighs, the other classifier's reading of the same zone, the re-reads' agreement shares,
and trust_reading's why, confidence and disagreeing slots; features() turns it into the features
trust_features (trust.cc) computes, and the label is whether the value is exact. The rule is a
logistic regression (Newton's method, a small ridge) whose weights keep each feature's sign
(SIGNS), and the line is the lowest score at which at most --wrong-share of the tuning half's
trusted readings are wrong. The features computed here are checked against the module's own
confidence (when the header's rule has as many features), so the two cannot drift apart.
Readings of all-8 cells stay out of the fit; the other readings the rule refuses outright (a lit
ground, a value the role cannot show) are fitted on and refused when the figures are counted. A
reading the classifiers disagree on is weighed like any other. The range of each feature over
the fitted readings is written beside the weights: outside it (widened by FAMILIAR_MARGIN of its
span) the rule says "uncertain".

--write rewrites the header (rebuild the module afterwards); without it the weights are printed.
--cache keeps the records in a file, so that refits (and new features computed from the
result dictionaries) skip the calibrations.
"""

import argparse
import json
import math
import os
import sys

import cv2
import numpy as np

from native_ocr import zonescan
from native_ocr.__main__ import read as read_zone

sys.path.insert(0, os.path.dirname(__file__))
from board_bench import board_groups, half_of, tune_blind, tune_taught  # noqa: E402

HEADER = os.path.join(os.path.dirname(__file__), "..", "..", "native_ocr", "zonescan", "calibration",
                      "trust_weights.h")
DEFAULT_DATA = os.path.join(os.environ.get("XDG_CACHE_HOME", "/tmp"), "zonescan-boards")
RIDGE = 1e-3  # keeps the Newton steps defined when a feature barely varies
LIT = 0.5     # activation above which a segment counts as lit (trust.cc's kLitActivation)


def spread(values):
    return (max(values) - min(values)) / max(values) if values and max(values) > 0 else 0.0


NEAR_STEP, FAR_STEP = 8, 16  # trust.h's kNearThresholdStep and kFarThresholdStep


def agreement(result, zone, image):
    """The shares of the reads of the zone moved a pixel each way, and with its threshold moved
    NEAR_STEP and FAR_STEP levels either way, that read the result's value (as trust_reading
    measures them when given the zone and image)."""
    def same(z):
        again = read_zone(z, image)
        return bool(again["valid"]) and again["value"] == result["value"]
    h, w = image.shape[:2]
    pixel = sum(same(dict(zone, **{key: zone[key] + way * step}))
                for key, step in (("x", 1.0 / w), ("y", 1.0 / h)) for way in (-1.0, 1.0)) / 4.0
    settings = zonescan.normalize_settings(zone.get("processing"))
    shares = [pixel]
    for step in (NEAR_STEP, FAR_STEP):
        shares.append(sum(same(dict(zone, processing=dict(
            settings, threshold=min(255, max(0, settings["threshold"] + way * step)))))
            for way in (-1, 1)) / 2.0)
    return shares


FAMILIAR_MARGIN = 0.1  # trust.h's kFamiliarMargin
MAX_DIFFERING = 0.02  # the share of readings whose replica score may differ from trust.cc's: the
# learned probability of a clock of tenths or a display read through its traits differs by about
# 1e-3 where the replica's re-read lays its cells out a pixel otherwise (about 1 % of the records)
# The why of the readings the rule refuses before its score (a reading the classifiers disagree on
# is weighed: its why says so only when the disagreement is what keeps it untrusted).
REFUSALS = ("all_lit", "lit_ground", "beyond_role", "no_digits")


def digit_items(result):
    items = result.get("digit_items") or result.get("ocr_items") or []
    return [i for i in items if isinstance(i, dict) and i.get("kind") == "digit" and i.get("box")]


NEUTRAL_OPINION = (1.0, 1.0, 0.0)  # the opinion features when no second classifier was asked


def features(result, agreements=(1.0, 1.0, 1.0), opinion=NEUTRAL_OPINION, traits=False):
    """trust_features of trust.cc, from a reader result dictionary."""
    items = result.get("digit_items") or result.get("ocr_items") or []
    cells = [i for i in items if isinstance(i, dict) and i.get("status") == "digit"]
    empty_ink = [i["ink_ratio"] for i in items if isinstance(i, dict) and i.get("status") == "empty"
                 and i.get("ink_ratio") is not None]
    clock = "clock_mode" in result
    debug = result.get("debug") or {}
    crop_height = debug["crop_size"][1] if debug.get("crop_size") else 0
    separator = debug.get("separator")
    sep_conf = separator["confidence"] if isinstance(separator, dict) else 0.0
    heights = [c["glyph_box"][3] - c["glyph_box"][1] + 1 for c in cells]
    tops = [c["glyph_box"][1] for c in cells]
    bottoms = [c["glyph_box"][3] for c in cells]
    strokes, widths = [], []
    for c, h in zip(cells, heights):
        box = c["box"]
        area = (box[2] - box[0] + 1) * (box[3] - box[1] + 1)
        lit = sum(1 for a in c["segment_activation"] if a > LIT)
        strokes.append(c["ink_ratio"] * area / max(1, lit) / max(1.0, h))
        if c["char"] != 1:
            widths.append(c["glyph_box"][2] - c["glyph_box"][0] + 1)
    tallest = max(1.0, max(heights))
    touching = sum(c["glyph_box"][0] <= c["box"][0] or c["glyph_box"][2] >= c["box"][2]
                   for c in cells)
    return [min(c["confidence"] for c in cells),
            min(c["pattern_score"] - c["runner_up_score"] for c in cells),
            min(min(abs(a - LIT) for a in c["segment_activation"]) for c in cells),
            touching / len(cells),
            (max(heights) - min(heights)) / tallest,
            (max(tops) - min(tops)) / tallest,
            (max(bottoms) - min(bottoms)) / tallest,
            min(heights) / max(1, crop_height),
            sep_conf if clock else 1.0,
            1.0 if clock else 0.0,
            spread(strokes),
            (max(widths) - min(widths)) / tallest if widths else 0.0,
            *agreements,
            1.0 if one_at_border(cells) else 0.0,
            empty_cell_ink(cells, empty_ink),
            glyph_offset_spread(cells),
            1.0 if traits else 0.0,
            *opinion]


def empty_cell_ink(cells, empty_ink):
    """trust.cc's empty_cell_ink: the most ink in a cell read as empty over the most in a digit
    cell."""
    digit = max([c["ink_ratio"] for c in cells], default=0.0)
    return max(empty_ink, default=0.0) / digit if digit > 0.0 else 0.0


def glyph_offset_spread(cells):
    """trust.cc's glyph_offset_spread: the spread of where the glyphs that are not a 1 sit across
    their cells."""
    offsets = [((c["glyph_box"][0] + c["glyph_box"][2]) - (c["box"][0] + c["box"][2])) / 2.0 /
               (c["box"][2] - c["box"][0] + 1) for c in cells if c["char"] != 1]
    return max(offsets) - min(offsets) if offsets else 0.0


def opinion_of(record):
    """(share of cells read alike, the learned lowest probability, its highest probability on a
    cell the two read otherwise), as second_opinion.cc reports them: the learned reading is the
    result itself for a learned zone, the learned classifier's reading of the zone otherwise."""
    learned_cells = digit_items(record["other"])
    asked = digit_items(record["other"] if record["learned"] else record["weighed"])
    disagreeing = set(record["disagreeing"])
    share = 1.0 - len(disagreeing) / len(asked) if asked else 1.0
    probability = min([c["confidence"] for c in learned_cells], default=1.0)
    contradiction = max([c["confidence"] for c in learned_cells if c["slot"] in disagreeing],
                        default=0.0)
    return share, probability, contradiction


def row_of(record):
    """(half, features or None, exact, why) of a collected record."""
    weighed = record["weighed"]
    x = features(weighed, record["agreements"], opinion_of(record), record["traits"]) if any(
        i.get("status") == "digit" for i in digit_items(weighed)) else None
    return record["half"], x, record["exact"], record["why"]


def one_at_border(cells):
    """trust.cc's one_at_border: a cell read as 1 whose glyph reaches the outer side of the
    outermost cells."""
    if not cells:
        return False
    left = min(c["box"][0] for c in cells)
    right = max(c["box"][2] for c in cells)
    return any(c["char"] == 1 and ((c["box"][0] == left and c["glyph_box"][0] <= left) or
                                   (c["box"][2] == right and c["glyph_box"][2] >= right))
               for c in cells)


def header_array(text, name):
    body = text[text.index(name + " = {") + len(name + " = {"):]
    return [float(v) for v in body[:body.index("}")].split(",") if v.strip()]


def header_weights():
    text = open(HEADER).read()
    weights = header_array(text, "kTrustWeights")
    offset = float(text.split("kTrustOffset = ")[1].split(";")[0])
    line = float(text.split("kTrustLine = ")[1].split(";")[0])
    return np.array(weights), offset, line


ITEM_KEYS = ("kind", "slot", "box", "glyph_box", "char", "status", "confidence", "ink_ratio",
             "segment_activation", "pattern_score", "runner_up_score")


def slim(result):
    """What features() reads of a result dictionary, so that the cache can be refitted on."""
    debug = result.get("debug") or {}
    out = {"digit_items": [{k: i.get(k) for k in ITEM_KEYS} for i in digit_items(result)],
           "debug": {"crop_size": debug.get("crop_size"), "separator": debug.get("separator")},
           "value": result.get("value")}
    if "clock_mode" in result:
        out["clock_mode"] = result["clock_mode"]
    return out


def reads_through_traits(zone):
    """trust.cc's reads_through_traits of the zone's settings: a dark polarity, a slant, a clock of
    other than four cells."""
    settings = zonescan.normalize_settings(zone.get("processing"))
    return settings.get("polarity") == "dark" or bool(settings.get("slant", 0.0)) or \
        settings.get("clock_cells", 4) != 4


def sequence_records(data, seq, half):
    """The records of one sequence of values (the first tunes the zone, the others are read)."""
    images = [cv2.imread(os.path.join(data, l["file"]), cv2.IMREAD_COLOR) for l in seq]
    weights, offset, _ = header_weights()  # the rule the module's confidence comes from
    rows = []
    for tune in (tune_blind, tune_taught):
        zone = tune(images[0], seq[0])
        learned = (zone.get("processing") or {}).get("classifier") == "learned"
        for label, image in zip(seq[1:], images[1:]):
            result = read_zone(zone, image)
            if not result["valid"]:
                continue
            trust = zonescan.trust_reading(result, zone=zone, image=image)
            other = read_zone(dict(zone, processing=dict(
                zone.get("processing") or {}, classifier="segments" if learned else "learned")),
                image)
            rows.append({"half": half, "file": label["file"], "role": seq[0]["role"],
                         "exact": bool(result["value"] == label["expected"]),
                         "why": trust["why"], "confidence": trust["confidence"],
                         "disagreeing": trust.get("disagreeing_slots", []),
                         "learned": learned, "traits": reads_through_traits(zone),
                         "rule": [list(weights), offset],
                         "weighed": slim(other if learned else result),
                         "other": slim(result if learned else other),
                         "agreements": agreement(result, zone, image)})
    return rows


def collect(data, halves=("tune", "unseen")):
    """One record per valid reading in the blind and taught rows of the boards of `halves`: the
    half, whether it is exact, the rule's why and disagreeing slots, the reading the rule weighs,
    the other classifier's reading of the zone and the re-reads' agreement shares."""
    with open(os.path.join(data, "labels.jsonl")) as f:
        labels = [json.loads(line) for line in f]
    rows = []
    for board, seq in board_groups(labels).items():
        if half_of(seq[0]) in halves:
            rows += sequence_records(data, seq, half_of(seq[0]))
        print(f"board {board} done", file=sys.stderr, flush=True)
    return rows


def collect_displays(data):
    """The same for the tuning half of a displays bed (bench/displays/make_displays.py): each
    display's values, as the box drawn around it and as the whole picture. Its unseen half stays
    out, for display_bench.py to report."""
    with open(os.path.join(data, "labels.jsonl")) as f:
        labels = [json.loads(line) for line in f]
    sequences = {}
    for label in labels:
        if label["split"] == "tune":
            sequences.setdefault((label["display"], label["case"]), []).append(label)
    rows = []
    for seq in sequences.values():
        rows += sequence_records(data, sorted(seq, key=lambda l: l["index"]), "tune")
    return rows


def check_replica(records, rows):
    """The features computed here against trust.cc's own confidence of each collected reading,
    under the rule it was collected with (when that rule has as many features), so that the two
    cannot drift apart."""
    differing = []
    for record, (_, x, _, why) in zip(records, rows):
        if "rule" not in record:
            continue
        weights, offset = np.array(record["rule"][0]), record["rule"][1]
        if x is None or why in REFUSALS or record["confidence"] <= 0.0 or len(x) != len(weights):
            continue
        mine = 1.0 / (1.0 + math.exp(-(offset + float(np.dot(weights, x)))))
        if abs(mine - record["confidence"]) > 1e-6:
            differing.append(f"{record['file']}: {mine} against {record['confidence']}")
    # A few readings of displays read with display traits (a dark polarity, a slant) weigh the
    # learned probability a little otherwise than this replica does; more than that is a drift.
    for line in differing:
        print(f"features differ from trust.cc on {line}")
    if len(differing) > MAX_DIFFERING * len(rows):
        raise SystemExit(f"{len(differing)} of {len(rows)} readings differ from trust.cc")


def fit(x, y):
    """Logistic regression by Newton's method with a small ridge: (weights, offset)."""
    augmented = np.hstack([x, np.ones((len(x), 1))])
    beta = np.zeros(augmented.shape[1])
    for _ in range(50):
        p = 1.0 / (1.0 + np.exp(-augmented @ beta))
        gradient = augmented.T @ (y - p) - RIDGE * beta
        hessian = augmented.T @ (augmented * (p * (1 - p))[:, None]) + RIDGE * np.eye(len(beta))
        step = np.linalg.solve(hessian, gradient)
        beta += step
        if np.abs(step).max() < 1e-9:
            break
    return beta[:-1], beta[-1]


# The direction each feature can only push trust in (+1 up, -1 down, 0 either), in the order of
# features(): a clearer or more stable reading is never less trusted. Features whose fitted
# weight points the other way (a side effect of correlated features) are left out and the rest
# refitted, so that the rule stays a sign of misreads, not of this test bed.
SIGNS = (1, 1, 1, -1, -1, -1, -1, 1, 1, 0, -1, -1, 1, 1, 1, -1, -1, -1, -1, 1, 1, -1)


def fit_signed(x, y):
    """fit() with every weight in its feature's direction (zero where the data disagree)."""
    kept = list(range(x.shape[1]))
    while True:
        weights, offset = fit(x[:, kept], y)
        wrong = [k for k, w in zip(kept, weights) if SIGNS[k] * w < 0]
        if not wrong:
            full = np.zeros(x.shape[1])
            full[kept] = weights
            return full, offset
        kept = [k for k in kept if k not in wrong]


def familiar(x, ranges):
    """Whether every feature lies within the fitted range, widened by FAMILIAR_MARGIN of its span."""
    if ranges is None:
        return True
    return all(lo - FAMILIAR_MARGIN * (hi - lo) <= v <= hi + FAMILIAR_MARGIN * (hi - lo)
               for v, lo, hi in zip(x, *ranges))


def figures(rows, weights, offset, line, ranges=None):
    """(correct readings trusted, wrong among trusted) over `rows`."""
    correct = trusted_correct = trusted = trusted_wrong = 0
    for _, x, exact, why in rows:
        ok = x is not None and why not in REFUSALS and offset + float(np.dot(weights, x)) >= line and \
            familiar(x, ranges)
        correct += exact
        trusted_correct += ok and exact
        trusted += ok
        trusted_wrong += ok and not exact
    return (100.0 * trusted_correct / max(1, correct), 100.0 * trusted_wrong / max(1, trusted))


def choose_line(rows, weights, offset, wrong_share, ranges=None):
    """The lowest score line at which at most wrong_share % of the trusted readings are wrong."""
    scores = sorted({round(offset + float(np.dot(weights, x)), 4) for _, x, _, why in rows
                     if x is not None and why not in REFUSALS})
    for line in scores:
        if figures(rows, weights, offset, line, ranges)[1] <= wrong_share:
            return line
    return scores[-1] if scores else 0.0


def write_header(rules, ranges):
    """rules: (prefix, weights, offset, line) of each rule the header holds."""
    low, high = (", ".join(f"{v:.4f}" for v in r) for r in ranges)
    text = open(HEADER).read()
    head = text[:text.index("// The rule with")]
    tail = text[text.index("}  // namespace"):]
    body = ""
    for (prefix, weights, offset, line), comment in zip(rules, RULE_COMMENTS):
        values = ", ".join(f"{w:.4f}" for w in weights)
        body += (f"// The rule {comment}\n"
                 f"inline constexpr std::array<double, {len(weights)}> {prefix}Weights = {{{values}}};\n"
                 f"inline constexpr double {prefix}Offset = {offset:.4f};\n"
                 f"inline constexpr double {prefix}Line = {line:.4f};\n")
    body += ("// The range of each feature over the fitted readings.\n"
             f"inline constexpr std::array<double, {len(ranges[0])}> kTrustFeatureLow = {{{low}}};\n"
             f"inline constexpr std::array<double, {len(ranges[0])}> kTrustFeatureHigh = {{{high}}};\n\n")
    with open(HEADER, "w") as f:
        f.write(head + body + tail)


RULE_COMMENTS = ("with the second classifier asked (trust_reading given the zone and image).",
                 "without it (the result alone): its three features weigh nothing.")
# The last three features: the share read alike, the learned probability, the contradiction.
OPINION_FEATURES = len(NEUTRAL_OPINION)


def alone(rows):
    """The rows as trust_reading sees them without the second opinion."""
    return [(h, None if x is None else x[:-OPINION_FEATURES] + list(NEUTRAL_OPINION), exact,
             "uncertain" if why == "classifiers_disagree" else why) for h, x, exact, why in rows]


def fit_rule(name, tune, unseen, share, ranges, opinion):
    """Fits one rule on the tuning half and prints its figures: (weights, offset, line)."""
    usable = [r for r in tune if r[1] is not None and r[3] != "all_lit"]
    x = np.array([r[1] for r in usable], float)
    y = np.array([1.0 if r[2] else 0.0 for r in usable])
    columns = x.shape[1] if opinion else x.shape[1] - OPINION_FEATURES
    weights, offset = fit_signed(x[:, :columns], y)
    weights = np.concatenate([weights, np.zeros(x.shape[1] - columns)])
    line = choose_line(tune, weights, offset, share, ranges)
    print(f"{name}: {len(tune)} tuning readings ({int(len(usable) - y.sum())} wrong), "
          f"{len(unseen)} unseen")
    print("weights:", ", ".join(f"{w:.4f}" for w in weights), f"offset {offset:.4f} line {line:.4f}")
    for half, part in (("tune", tune), ("unseen", unseen)):
        covered, wrong = figures(part, weights, offset, line, ranges)
        print(f"{half}: correct readings trusted {covered:.1f} %, wrong among trusted {wrong:.2f} %")
    print("the trade-off (line chosen on the tuning half for each share of wrong among trusted):")
    for at_share in (0.3, 0.5, 1.0, 2.0, 5.0):
        at = choose_line(tune, weights, offset, at_share, ranges)
        cells = [f"{half} %.1f %% trusted / %.2f %% wrong" % figures(part, weights, offset, at,
                                                                     ranges)
                 for half, part in (("tune", tune), ("unseen", unseen))]
        print(f"  <= {at_share} %: line {at:.3f}: " + ", ".join(cells))
    return weights, offset, line


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=DEFAULT_DATA)
    parser.add_argument("--cache", help="keep the readings' features in this JSON file")
    parser.add_argument("--more-tuning", nargs="*", default=[], metavar="DIR",
                        help="other beds (make_boards.py --seed-offset) whose tuning halves join "
                             "the fit")
    parser.add_argument("--displays", nargs="*", default=[], metavar="DIR",
                        help="displays beds (bench/displays) whose tuning halves join the fit")
    parser.add_argument("--wrong-share", type=float, default=0.3,
                        help="at most this %% of the tuning half's trusted readings wrong")
    parser.add_argument("--write", action="store_true", help="rewrite trust_weights.h")
    args = parser.parse_args()
    if args.cache and os.path.exists(args.cache):
        records = json.load(open(args.cache))
    else:
        records = collect(args.data)
        for more in args.more_tuning:
            # Only the boards of the tuning half: a bed drawn with other seeds has an unseen half
            # of its own, which stays out of the fit like the first bed's.
            records += collect(more, halves=("tune",))
        for displays in args.displays:
            records += collect_displays(displays)
        if args.cache:
            json.dump(records, open(args.cache, "w"))
    rows = [row_of(r) for r in records]
    check_replica(records, rows)
    tune = [r for r in rows if r[0] == "tune"]
    unseen = [r for r in rows if r[0] == "unseen"]
    # Every reading but the all-8 ones is fitted on: the readings the classifiers disagree on
    # (refused anyway) hold most of the wrong ones, and what they look like is what the weights
    # must learn. The ranges are rounded as the header writes them, so that the range check here
    # is the one trust.cc makes.
    x = np.array([r[1] for r in tune if r[1] is not None and r[3] != "all_lit"], float)
    ranges = ([round(v, 4) for v in x.min(axis=0)], [round(v, 4) for v in x.max(axis=0)])
    asked = fit_rule("with the second opinion", tune, unseen, args.wrong_share, ranges, True)
    by_itself = fit_rule("the result alone", alone(tune), alone(unseen), args.wrong_share, ranges,
                         False)
    if args.write:
        write_header([("kTrust", *asked), ("kAlone", *by_itself)], ranges)
        print(f"wrote {os.path.normpath(HEADER)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
