"""Fits the trust rules' weights on the tuning halves of test beds, prints how each fitted rule
does on the readings it was not fitted on, and writes native_ocr/zonescan/calibration/trust_weights.h.

usage: PYTHONPATH=<build>/python /usr/bin/python3 bench/boards/fit_trust.py [--data DIR]
       [--more-tuning DIR ...] [--displays DIR ...] [--write] [--cache FILE] [--folds K]

The readings are those board_bench.py scores in its blind and taught rows: every later value of a
board read with the zone calibrate_zone tuned on the first value (and, with --displays, of the
displays of a bench/displays bed's tuning half). Each valid reading gives one record: the reading
the rule weighs, the other classifier's reading of the same zone, the re-reads' agreement shares,
the ink around its cells, and trust_reading's why, confidence and disagreeing slots; features()
turns it into the features trust_features (trust.cc) computes, and the label is whether the value
is exact.

Four rules, one per population (trust.cc's rule_for): readings through a display trait (a dark
polarity, a slant, a clock of other than four cells), fitted on the tuning readings through a
trait (mostly the displays'); plain readings with the second opinion, of either classifier,
fitted on the boards' tuning halves; and the result alone (nothing measured on the frame), one
rule per classifier, each fitted on that classifier's reading of every tuning zone with the
frame's features neutral (a learned result alone is weighed by its own cells, which report no
segments). --compare-learned prints the plain rule fitted apart on each classifier's readings.
Each rule is a logistic regression (Newton's method, a small ridge) whose weights keep each
feature's sign (SIGNS). Its line is chosen on held-out scores: the tuning
readings are cut into --folds folds by board (a display counts as a board), each fold scored by
the rule fitted on the others, and the line is the lowest score at which at most the rule's share
of the pooled held-out trusted readings are wrong (a line chosen on the fitted readings themselves
lets about twice its share through elsewhere). The features computed here are checked against the
module's own confidence under the rules each record was collected with, so the two cannot drift
apart. Readings of all-8 cells stay out of the fit; the other readings the rule refuses outright (a
lit ground, a value the role cannot show) are fitted on and refused when the figures are counted.
A reading the classifiers disagree on is weighed like any other. The range of each feature over
a rule's fitted readings is written beside its weights: outside it (widened by FAMILIAR_MARGIN of
its span) the rule says "uncertain".

--write rewrites the header (rebuild the module afterwards); without it the weights are printed.
--cache keeps the records in a file, so that refits (and new features computed from the
result dictionaries) skip the calibrations.
"""

import argparse
import json
import math
import os
import re
import shutil
import subprocess
import sys
import zlib

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
# The share of readings whose replica score may differ from trust.cc's. Every record matches to
# 1e-6 but a few of three-cell clocks that found both a colon and a point: there the replica's
# learned reading (a whole read of the zone) may keep the other layout, where trust.cc asks the
# learned classifier about the result's own cells (2 of 5948 records).
MAX_DIFFERING = 0.001
# The why of the readings the rule refuses before its score (a reading the classifiers disagree on
# is weighed: its why says so only when the disagreement is what keeps it untrusted).
REFUSALS = ("all_lit", "lit_ground", "beyond_role", "no_digits")


def digit_items(result):
    items = result.get("digit_items") or result.get("ocr_items") or []
    return [i for i in items if isinstance(i, dict) and i.get("kind") == "digit" and i.get("box")]


NEUTRAL_OPINION = (1.0, 1.0, 0.0)  # the opinion features when no second classifier was asked


NEUTRAL_INK = (0.0, 0.0)  # the ink around the cells when the frame was not given


def features(result, agreements=(1.0, 1.0, 1.0), opinion=NEUTRAL_OPINION, traits=False,
             ink=NEUTRAL_INK):
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
            *ink,
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


def traits_of(record):
    """Whether a record's zone reads through a display trait, by its settings as the module now
    tells the populations apart (its "traits" says which rule weighed it when it was collected)."""
    return settings_through_traits(record["processing"]) if "processing" in record else \
        record["traits"]


def features_of(record, traits):
    weighed = record["weighed"]
    if not any(i.get("status") == "digit" for i in digit_items(weighed)):
        return None
    return features(weighed, record["agreements"], opinion_of(record), traits,
                    record.get("ink", NEUTRAL_INK))


def row_of(record):
    """(half, features or None, exact, why, group, population, learned) of a collected record: the
    group is the board (or display) it came from, the population "traits" for a zone read through
    a display trait, "board" or "display" for a plain one by its bed; learned whether the learned
    classifier read it."""
    traits = traits_of(record)
    source = "display" if record["file"].startswith("images/") else "board"
    return (record["half"], features_of(record, traits), record["exact"], record["why"],
            record.get("group", record["file"]), "traits" if traits else source,
            bool(record["learned"]))


def alone_rows(record, expected):
    """The rows of a record's two readings as trust_reading weighs them without the frame: the
    zone read by the seven-segment classifier and by the learned one (whichever calibration
    chose), each labelled by its own exactness against `expected`. Without the frame nothing is
    re-read and no second classifier asked, so each is weighed by its own cells (a learned
    reading's report no segments: trust.cc's read_by_learned), by the rule of its classifier; the
    why is the module's own refusal of that result alone."""
    rows = []
    for learned, reading in ((False, record["weighed"]), (True, record["other"])):
        if reading.get("value") is None or not any(
                i.get("status") == "digit" for i in digit_items(reading)):
            continue
        why = zonescan.trust_reading(dict(reading, valid=True, reason="ok"))["why"]
        x = [FRAME_FEATURES.get(k, v) for k, v in enumerate(features(reading))]
        rows.append((record["half"], x, reading["value"] == expected, why,
                     record.get("group", record["file"]), "alone", learned))
    return rows


def expected_values(records):
    """{(bed, file): expected value} of the beds the records were collected from."""
    out = {}
    for bed in sorted({r["group"].split(":")[0] for r in records}):
        with open(os.path.join(bed, "labels.jsonl")) as f:
            for line in f:
                label = json.loads(line)
                out[(bed, label["file"])] = label["expected"]
    return out


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


RULES = ("kPlainRule", "kTraitsRule", "kAloneRule", "kLearnedAloneRule")


def rule_name(traits, learned):
    """trust.cc's rule_for of a reading weighed with the zone and image (either classifier's)."""
    return "kTraitsRule" if traits else "kPlainRule"
RULE_COMMENTS = {
    "kPlainRule": "Plain readings (no display trait), the other classifier asked (trust_reading\n"
                  "// given the zone and image): fitted on the boards' tuning halves, either\n"
                  "// classifier's.",
    "kTraitsRule": "Readings through a display trait (a dark polarity, a slant, a clock of other than\n"
                   "// four cells): fitted on the tuning readings through a trait.",
    "kAloneRule": "A seven-segment result weighed alone (nothing measured on the frame): fitted\n"
                  "// on the seven-segment reading of every tuning zone, the frame's features\n"
                  "// neutral; those weigh nothing.",
    "kLearnedAloneRule": "A learned result weighed alone: fitted on the learned reading of every\n"
                         "// tuning zone by its own cells (probabilities and boxes, no segments),\n"
                         "// the frame's features neutral.",
}


def header_rules():
    """{name: (weights, offset, line, low, high)} of the rules the header holds."""
    text = open(HEADER).read()
    rules = {}
    for name in RULES:
        if f"{name} = {{" not in text:  # a rule the header does not hold yet
            continue
        body = text[text.index(f"{name} = {{") + len(f"{name} = {{"):]
        body = body[:body.index("};")]
        weights, low, high = ([float(v) for v in a.split(",")]
                              for a in re.findall(r"\{([^{}]*)\}", body))
        first = body.index("}") + 1
        offset, line = (float(v) for v in body[first:body.index("{", first)].split(",")
                        if v.strip())
        rules[name] = (weights, offset, line, low, high)
    return rules


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
    """trust.cc's reads_through_traits of the zone's settings."""
    return settings_through_traits(zonescan.normalize_settings(zone.get("processing")))


def settings_through_traits(settings):
    """trust.cc's reads_through_traits of normalised settings: a dark polarity, an inverted
    ground (dark digits on a light ground), a slant, a clock of other than four cells."""
    return settings.get("polarity") == "dark" or bool(settings.get("invert")) or \
        bool(settings.get("slant", 0.0)) or settings.get("clock_cells", 4) != 4


REACH = 0.5  # zone_agreement.h's kBeyondEdgeReach
MAX_CROP_SIDE = 4096  # reader.h's kMaxCropSide


def ink_around(zone, image, result):
    """zone_agreement.cc's ink_around_cells of the result's digit cells: (the most lit column share
    beyond the outermost cells over the glyph rows, the share of the zone's lit pixels outside
    every glyph), on the zone's display and the frame's columns REACH of the tallest glyph beyond
    each side, each side's strip of the zone's rows prepared on its own."""
    cells = [i for i in digit_items(result) if i.get("status") == "digit"]
    h, w = image.shape[:2]
    x1, y1, x2, y2 = zonescan.normalized_zone_bounds(zone, w, h)
    if not cells or x2 <= x1 or y2 <= y1 or x2 - x1 > MAX_CROP_SIDE or y2 - y1 > MAX_CROP_SIDE:
        return NEUTRAL_INK

    def display(a, b):
        return zonescan.prepare_display_from_crop(upright(image[y1:y2, a:b], zone), False,
                                                  zone.get("processing"))["binary"] != 0
    own = display(x1, x2)
    total = int(own.sum())
    inside = 0
    for c in cells:
        g = c["glyph_box"]
        inside += int(own[max(0, g[1]):max(0, min(own.shape[0], g[3] + 1)),
                          max(0, g[0]):max(0, min(own.shape[1], g[2] + 1))].sum())
    stray = max(0, total - inside) / total if total else 0.0
    top = max(min(c["glyph_box"][1] for c in cells), 0)
    bottom = min(max(c["glyph_box"][3] for c in cells), own.shape[0] - 1)
    if top > bottom:
        return 0.0, float(stray)
    tallest = max(c["glyph_box"][3] - c["glyph_box"][1] + 1 for c in cells)
    reach = math.ceil(REACH * tallest)

    def most(lit):
        return int(lit[top:bottom + 1].sum(axis=0).max()) if lit.shape[1] else 0
    left = min(c["box"][0] for c in cells)
    right = max(c["box"][2] for c in cells) + 1
    pieces = [own[:, :max(0, left)], own[:, max(0, right):]]
    if max(0, x1 - reach) < x1:
        pieces.append(display(max(0, x1 - reach), x1))
    if x2 < min(w, x2 + reach):
        pieces.append(display(x2, min(w, x2 + reach)))
    return max(most(p) for p in pieces) / (bottom - top + 1), float(stray)


def upright(crop, zone):
    """reader.cc's upright_crop: the crop, or with a dark polarity or a slant its grey (negative
    for the dark polarity) sheared upright as display_traits.cc shears it."""
    settings = zonescan.normalize_settings(zone.get("processing"))
    slant = settings.get("slant") or 0.0
    if settings.get("polarity") != "dark" and abs(slant) <= 0.001:
        return np.ascontiguousarray(crop)
    grey = cv2.cvtColor(crop, cv2.COLOR_BGR2GRAY) if crop.ndim == 3 else crop.copy()
    if settings.get("polarity") == "dark":
        grey = cv2.bitwise_not(grey)
    if abs(slant) > 0.001:
        k = math.tan(slant * math.pi / 180.0)
        middle = (grey.shape[0] - 1) / 2.0
        m = np.array([[1.0, k, -k * middle], [0.0, 1.0, 0.0]])
        grey = cv2.warpAffine(grey, m, (grey.shape[1], grey.shape[0]), flags=cv2.INTER_LINEAR,
                              borderMode=cv2.BORDER_CONSTANT, borderValue=0)
    return grey


def sequence_records(data, seq, half, group):
    """The records of one sequence of values (the first tunes the zone, the others are read)."""
    images = [cv2.imread(os.path.join(data, l["file"]), cv2.IMREAD_COLOR) for l in seq]
    rules = header_rules()  # the rules the module's confidence comes from
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
            weighed = other if learned else result
            rows.append({"half": half, "file": label["file"], "role": seq[0]["role"],
                         "group": group, "mode": tune.__name__,
                         "processing": zonescan.normalize_settings(zone.get("processing")),
                         "exact": bool(result["value"] == label["expected"]),
                         "why": trust["why"], "confidence": trust["confidence"],
                         "disagreeing": trust.get("disagreeing_slots", []),
                         "learned": learned, "traits": reads_through_traits(zone),
                         "rules": {k: [v[0], v[1]] for k, v in rules.items()},
                         "weighed": slim(weighed),
                         "other": slim(result if learned else other),
                         "agreements": agreement(result, zone, image),
                         "ink": ink_around(zone, image, weighed)})
    return rows


def collect(data, halves=("tune", "unseen")):
    """One record per valid reading in the blind and taught rows of the boards of `halves`: the
    half, whether it is exact, the rule's why and disagreeing slots, the reading the rule weighs,
    the other classifier's reading of the zone, the re-reads' agreement shares and the ink around
    the cells."""
    with open(os.path.join(data, "labels.jsonl")) as f:
        labels = [json.loads(line) for line in f]
    rows = []
    for board, seq in board_groups(labels).items():
        if half_of(seq[0]) in halves:
            rows += sequence_records(data, seq, half_of(seq[0]), f"{data}:board {board}")
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
    for (display, _), seq in sequences.items():
        rows += sequence_records(data, sorted(seq, key=lambda l: l["index"]), "tune",
                                 f"{data}:display {display}")
    return rows


def collected_rule(record):
    """(weights, offset) of the rule the module weighed a collected record by (rule_for: every
    record was collected with the zone and image given, so the second opinion was asked)."""
    if "rules" in record:
        name = rule_name(record["traits"], record["learned"])
        weights, offset = record["rules"].get(name, record["rules"]["kPlainRule"])
        return np.array(weights), offset
    if "rule" in record:  # a cache of one rule for every reading
        return np.array(record["rule"][0]), record["rule"][1]
    return None


def check_replica(records, rows):
    """The features computed here against trust.cc's own confidence of each collected reading,
    under the rule it was collected with (when that rule has as many features), so that the two
    cannot drift apart."""
    differing = []
    for record, row in zip(records, rows):
        rule = collected_rule(record)
        x, why = features_of(record, record["traits"]), row[3]
        if rule is None or x is None or why in REFUSALS or record["confidence"] <= 0.0 or \
                len(x) != len(rule[0]):
            continue
        mine = 1.0 / (1.0 + math.exp(-(rule[1] + float(np.dot(rule[0], x)))))
        if abs(mine - record["confidence"]) > 1e-6:
            differing.append(f"{record['file']}: {mine} against {record['confidence']}")
    for line in differing[:20]:
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
# features(): a clearer or more stable reading is never less trusted, ink the cells do not account
# for never raises it. Features whose fitted weight points the other way (a side effect of
# correlated features) are left out and the rest refitted, so that the rule stays a sign of
# misreads, not of this test bed.
SIGNS = (1, 1, 1, -1, -1, -1, -1, 1, 1, 0, -1, -1, 1, 1, 1, -1, -1, -1, -1, -1, -1, 1, 1, -1)


def fit_signed(x, y, columns):
    """fit() over the first `columns` features with every weight in its feature's direction (zero
    where the data disagree), and zero for the others: (weights, offset)."""
    kept = [k for k in range(columns) if x[:, k].max() > x[:, k].min()]
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
    return all(lo - FAMILIAR_MARGIN * (hi - lo) <= v <= hi + FAMILIAR_MARGIN * (hi - lo)
               for v, lo, hi in zip(x, *ranges))


def weighable(row):
    return row[1] is not None and row[3] not in REFUSALS


def figures(rows, scores, line, ranges):
    """(correct readings trusted, wrong among trusted, trusted wrong) over `rows`, each scored by
    `scores` (None: not weighed)."""
    correct = trusted_correct = trusted = trusted_wrong = 0
    for row, score in zip(rows, scores):
        exact = row[2]
        ok = score is not None and weighable(row) and score >= line and familiar(row[1], ranges)
        correct += exact
        trusted_correct += ok and exact
        trusted += ok
        trusted_wrong += ok and not exact
    return (100.0 * trusted_correct / max(1, correct), 100.0 * trusted_wrong / max(1, trusted),
            trusted_wrong)


def scored(rows, weights, offset):
    return [None if r[1] is None else offset + float(np.dot(weights, r[1])) for r in rows]


def choose_line(rows, scores, wrong_share, ranges):
    """The lowest score line at which at most wrong_share % of the trusted readings are wrong
    (above the highest score when there is none)."""
    kept = [(round(s, 4), r[2]) for r, s in zip(rows, scores)
            if s is not None and weighable(r) and familiar(r[1], ranges)]
    if not kept:
        return 0.0
    kept.sort(reverse=True)
    trusted = wrong = 0
    best = kept[0][0] + 1.0
    for i, (score, exact) in enumerate(kept):
        trusted += 1
        wrong += not exact
        # A line trusts every reading of its score or more: only where the next score is lower.
        if (i + 1 == len(kept) or kept[i + 1][0] < score) and 100.0 * wrong / trusted <= wrong_share:
            best = score
    return best


def fold_of(group, folds):
    """The fold of a board (a stable hash of its name)."""
    return zlib.crc32(group.encode()) % folds


def usable(rows):
    """The rows a rule is fitted on: weighed readings with digit cells, all-8 ones left out."""
    return [r for r in rows if r[1] is not None and r[3] != "all_lit"]


def fit_rows(rows, columns):
    x = np.array([r[1] for r in rows], float)
    y = np.array([1.0 if r[2] else 0.0 for r in rows])
    return fit_signed(x, y, columns)


def held_out_scores(rows, columns, folds):
    """Each row's score by the rule fitted on the folds of the other boards."""
    scores = [None] * len(rows)
    for k in range(folds):
        weights, offset = fit_rows(usable([r for r in rows if fold_of(r[4], folds) != k]), columns)
        for i, r in enumerate(rows):
            if fold_of(r[4], folds) == k and r[1] is not None:
                scores[i] = offset + float(np.dot(weights, r[1]))
    return scores


def ranges_of(rows):
    """The range of each feature over the fitted rows, rounded as the header writes them (so that
    the range check here is the one trust.cc makes)."""
    x = np.array([r[1] for r in usable(rows)], float)
    return [round(v, 4) for v in x.min(axis=0)], [round(v, 4) for v in x.max(axis=0)]


def fit_rule(name, tune, checks, share, columns, folds):
    """Fits one rule on `tune`, its line on held-out scores, and prints its figures on the tuning
    readings, their held-out scores and each of `checks` ({name: rows}): (weights, offset, line,
    ranges)."""
    ranges = ranges_of(tune)
    weights, offset = fit_rows(usable(tune), columns)
    held = held_out_scores(tune, columns, folds)
    line = choose_line(tune, held, share, ranges)
    print(f"\n{name}: {len(tune)} tuning readings ({sum(not r[2] for r in usable(tune))} wrong), "
          f"line at most {share} % wrong among the held-out trusted ({folds} folds by board)")
    print("weights:", ", ".join(f"{w:.4f}" for w in weights), f"offset {offset:.4f} line {line:.4f}")
    parts = [("tune (fitted)", tune, scored(tune, weights, offset)), ("tune (held out)", tune, held)]
    parts += [(n, rows, scored(rows, weights, offset)) for n, rows in checks.items()]
    for half, rows, scores in parts:
        covered, wrong, count = figures(rows, scores, line, ranges)
        print(f"  {half}: {len(rows)} readings, correct trusted {covered:.1f} %, wrong among "
              f"trusted {wrong:.2f} % ({count})")
    print("  the trade-off (line on the held-out scores for each share of wrong among trusted):")
    for at_share in (0.1, 0.2, 0.3, 0.5, 1.0, 2.0, 5.0):
        at = choose_line(tune, held, at_share, ranges)
        cells = [f"{half} %.1f / %.2f" % figures(rows, scores, at, ranges)[:2]
                 for half, rows, scores in parts]
        print(f"    <= {at_share} %: line {at:.3f}: " + ", ".join(cells))
    return weights, offset, line, ranges


def write_header(rules, command):
    """rules: {name: (weights, offset, line, ranges)} of each rule the header holds; command: the
    arguments it was written with. The header is formatted by clang-format when it is at hand."""
    text = open(HEADER).read()
    head = ("// The trust rules' weights, written by bench/boards/fit_trust.py (do not edit by hand):\n"
            "//   PYTHONPATH=build/release/python /usr/bin/python3 bench/boards/fit_trust.py\n"
            f"//     {command}\n"
            "// Fitted on the readings of the tuning halves of the generated board sequences and\n"
            "// displays, blind and taught; each line chosen on held-out scores (folds by board).\n"
            + text[text.index("#ifndef"):text.index("namespace native_ocr::zonescan::calibration {")])
    tail = text[text.index("}  // namespace native_ocr::zonescan::calibration"):]
    count = len(next(iter(rules.values()))[0])
    body = ("namespace native_ocr::zonescan::calibration {\n\n"
            "// A fitted rule: a reading scores offset + weights . features and is trusted from line\n"
            "// up, when every feature lies within [low, high] widened by kFamiliarMargin of the span.\n"
            "struct TrustRule {\n"
            f"  std::array<double, {count}> weights;\n  double offset;\n  double line;\n"
            f"  std::array<double, {count}> low;\n  std::array<double, {count}> high;\n}};\n\n")
    for name in RULES:
        weights, offset, line, (low, high) = rules[name]
        arrays = [", ".join(f"{v:.4f}" for v in a) for a in (weights, low, high)]
        body += (f"// {RULE_COMMENTS[name]}\n"
                 f"inline constexpr TrustRule {name} = {{{{{arrays[0]}}},\n"
                 f"                                       {offset:.4f},\n"
                 f"                                       {line:.4f},\n"
                 f"                                       {{{arrays[1]}}},\n"
                 f"                                       {{{arrays[2]}}}}};\n\n")
    with open(HEADER, "w") as f:
        f.write(head + body + tail)
    if shutil.which("clang-format"):
        subprocess.run(["clang-format", "-i", HEADER], check=True)


# The features known only with the zone and image (the re-reads' three agreement shares, whether
# it reads through a display trait, the ink beyond the edges and the stray ink, the second
# opinion's three), as features() orders them, and their values when they are not known.
FRAME_FEATURES = {12: 1.0, 13: 1.0, 14: 1.0, 18: 0.0, 19: 0.0, 20: 0.0, 21: 1.0, 22: 1.0, 23: 0.0}
OPINION_FEATURES = len(NEUTRAL_OPINION)


def compare_learned(part, share, columns, folds):
    """The plain rule fitted on every plain board reading beside one fitted on the learned
    readings and one on the seven-segment readings, each at the same held-out line: figures of
    each part (tune held out, unseen) by the one rule and by its own."""
    tune, unseen = part("tune", "board"), part("unseen", "board")
    print("\nthe plain rule, one for all or one per classifier (held-out tune / unseen):")
    one = held_out_scores(tune, columns, folds)
    ranges = ranges_of(tune)
    line = choose_line(tune, one, share, ranges)
    weights, offset = fit_rows(usable(tune), columns)
    for learned in (False, True):
        name = "learned" if learned else "seven-segment"
        t = [(r, s) for r, s in zip(tune, one) if r[6] == learned]
        u = [r for r in unseen if r[6] == learned]
        f_t = figures([r for r, _ in t], [s for _, s in t], line, ranges)
        f_u = figures(u, scored(u, weights, offset), line, ranges)
        own_t = [r for r in tune if r[6] == learned]
        own_held = held_out_scores(own_t, columns, folds)
        own_ranges = ranges_of(own_t)
        own_line = choose_line(own_t, own_held, share, own_ranges)
        own_w, own_o = fit_rows(usable(own_t), columns)
        g_t = figures(own_t, own_held, own_line, own_ranges)
        g_u = figures(u, scored(u, own_w, own_o), own_line, own_ranges)
        print(f"  {name} ({len(own_t)} tune, {len(u)} unseen): one rule "
              f"{f_t[0]:.1f} / {f_t[1]:.2f} -- {f_u[0]:.1f} / {f_u[1]:.2f}; its own rule "
              f"{g_t[0]:.1f} / {g_t[1]:.2f} -- "
              f"{g_u[0]:.1f} / {g_u[1]:.2f}")
        print("    own weights:", ", ".join(f"{w:.3f}" for w in own_w), f"offset {own_o:.3f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", default=DEFAULT_DATA)
    parser.add_argument("--cache", help="keep the readings' features in this JSON file")
    parser.add_argument("--more-tuning", nargs="*", default=[], metavar="DIR",
                        help="other beds (make_boards.py --seed-offset) whose tuning halves join "
                             "the fit")
    parser.add_argument("--displays", nargs="*", default=[], metavar="DIR",
                        help="displays beds (bench/displays) whose tuning halves join the fit")
    parser.add_argument("--plain-share", type=float, default=0.2,
                        help="the plain rule's line: at most this %% of the held-out trusted wrong")
    parser.add_argument("--traits-share", type=float, default=1.0,
                        help="the same for the traits rule")
    parser.add_argument("--alone-share", type=float, default=0.5,
                        help="the same for the rule of a result alone")
    parser.add_argument("--compare-learned", action="store_true",
                        help="print the plain rule fitted apart on learned and seven-segment "
                             "readings beside the one rule")
    parser.add_argument("--folds", type=int, default=5, help="folds by board for the line")
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

    def part(half, *populations):
        return [r for r in rows if r[0] == half and r[5] in populations]

    # Every reading but the all-8 ones is fitted on: the readings the classifiers disagree on hold
    # most of the wrong ones, and what they look like is what the weights must learn.
    every = len(rows[0][1]) if rows else 0
    rules = {}
    # Plain readings of both classifiers, one rule: most zones now read through the learned
    # classifier. A rule of their own for the seven-segment readings left (the hard boards the
    # learned one did not win, about 200 tuning readings) trusts more of them on held-out folds
    # (--compare-learned) but is too few readings for 24 weights: it trusts a reading doubtful on
    # every count (trust_test.cc).
    rules["kPlainRule"] = fit_rule(
        "plain readings, second opinion", part("tune", "board"),
        {"unseen boards": part("unseen", "board"), "displays read plain (tune)":
         part("tune", "display")}, args.plain_share, every, args.folds)
    rules["kTraitsRule"] = fit_rule(
        "readings through a display trait, second opinion", part("tune", "traits"),
        {"unseen boards through a trait": part("unseen", "traits")}, args.traits_share, every,
        args.folds)
    # The frame's features are neutral alone: fit_signed leaves them out (weight 0). Each
    # classifier's result alone has a rule of its own, fitted on that classifier's reading of
    # every tuning zone (not only the zones calibration gave it: the host may read any zone with
    # either), labelled by its own exactness.
    expected = expected_values(records)
    by_record = [alone_rows(r, expected[(r["group"].split(":")[0], r["file"])]) for r in records]

    def alone(half, populations, learned):
        return [a for r, rows_of in zip(rows, by_record) if r[0] == half and r[5] in populations
                for a in rows_of if a[6] == learned]
    for name, learned in (("kAloneRule", False), ("kLearnedAloneRule", True)):
        rules[name] = fit_rule(
            f"the result alone, {'learned' if learned else 'seven-segment'} readings of every zone",
            alone("tune", ("board", "display", "traits"), learned),
            {"unseen boards": alone("unseen", ("board", "traits"), learned)}, args.alone_share,
            every, args.folds)
    if args.compare_learned:
        compare_learned(part, args.plain_share, every, args.folds)
    print("\nevery reading by its population's rule (fitted weights, the lines above):")
    for name, selected in (("boards, tune", part("tune", "board", "traits")),
                           ("boards, unseen", part("unseen", "board", "traits")),
                           ("displays, tune", part("tune", "display", "traits"))):
        if name.startswith("displays"):
            selected = [r for r in selected if "display" in r[4]]
        else:
            selected = [r for r in selected if "display" not in r[4]]
        scores, trusted = [], []
        for r in selected:
            weights, offset, line, ranges = rules[rule_name(r[5] == "traits", r[6])]
            score = None if r[1] is None else offset + float(np.dot(weights, r[1]))
            scores.append(score)
            trusted.append(score is not None and score >= line and familiar(r[1], ranges))
        correct = sum(r[2] for r in selected)
        ok = sum(t and weighable(r) for t, r in zip(trusted, selected))
        wrong = sum(t and weighable(r) and not r[2] for t, r in zip(trusted, selected))
        print(f"  {name}: {len(selected)} readings, correct trusted "
              f"{100.0 * (ok - wrong) / max(1, correct):.1f} %, wrong among trusted "
              f"{100.0 * wrong / max(1, ok):.2f} % ({wrong})")
    if args.write:
        written = [a for a in sys.argv[1:]]
        if "--cache" in written:  # where the records were kept is not part of the command
            del written[written.index("--cache"):written.index("--cache") + 2]
        write_header(rules, " ".join(written))
        print(f"wrote {os.path.normpath(HEADER)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
