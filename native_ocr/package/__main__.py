"""Read one zone of a scoreboard image, optionally calibrating it first, and print the result as JSON.

usage: python3 -m native_ocr IMAGE --zone X,Y,W,H --role ROLE [--processing JSON]
                             [--calibrate [--expected V]] [--debug OUT.png]

The zone is given as fractions of the image (x, y, width, height, as the host stores zones). The
reading is made by the reader of the role (clock-like roles: read_clock_from_image; period:
read_period_from_image; down, home_timeouts, guest_timeouts: read_single_digit_from_image; the
others: read_score_from_image). With --calibrate the zone is first fitted to the display inside it
and its settings chosen (calibrate_zone); --expected gives the value the display shows, in the
reader's own form (12:34, 59.8, 7), for a taught calibration. --debug writes a picture of what the
reader saw (render_reading). The output holds "reading" (value, valid, reason, digits), "trust"
(trust_reading) and, with --calibrate, "calibration" (the new zone, its confidence and reason).
Exit status: 0 when the reading is valid, 1 when it is not, 2 for a bad command line or image.
"""

import argparse
import json
import math
import os
import re
import sys

from native_ocr import zonescan

CLOCK_ROLES = ("clock", "home_penalty_1", "home_penalty_2", "guest_penalty_1", "guest_penalty_2")
PROG = "python3 -m native_ocr"
# What a reader can write, hence all --expected can name: a clock's 12:34 or 59.8, else a count.
CLOCK_VALUE = re.compile(r"[0-9]+[:.][0-9]+")
COUNT_VALUE = re.compile(r"[0-9]+")


def utf8_text(text):
    """A command-line word as text; a word that is not UTF-8 (kept by the interpreter as lone
    surrogates) is refused."""
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        raise argparse.ArgumentTypeError(f"not UTF-8 text: {ascii(text)}") from None
    return text


def parse_zone(text):
    parts = text.split(",")
    if len(parts) != 4:
        raise argparse.ArgumentTypeError("expected X,Y,W,H (four fractions of the image)")
    try:
        x, y, w, h = (float(p) for p in parts)
    except ValueError as e:
        raise argparse.ArgumentTypeError(str(e)) from None
    if not all(math.isfinite(v) for v in (x, y, w, h)):
        raise argparse.ArgumentTypeError(f"the fractions must be finite numbers: {text}")
    return {"x": x, "y": y, "width": w, "height": h}


def refuse_constant(name):
    raise ValueError(f"{name} is not a number a setting can take")


def parse_processing(text):
    try:
        value = json.loads(text, parse_constant=refuse_constant)
    except (ValueError, RecursionError) as e:  # JSONDecodeError is a ValueError
        raise argparse.ArgumentTypeError(f"not JSON: {e}") from None
    if not isinstance(value, dict):
        raise argparse.ArgumentTypeError("expected a JSON object of processing settings")
    try:
        zonescan.normalize_settings(value)  # what every reader does with them first
    except (TypeError, ValueError, OverflowError) as e:
        raise argparse.ArgumentTypeError(f"unusable settings: {e}") from None
    return value


def expected_value(text, role):
    """A clock's value stays text; any other field's is a number. None when the text is not a
    value the role's reader can write."""
    text = text.strip()
    if role in CLOCK_ROLES:
        return text if CLOCK_VALUE.fullmatch(text) else None
    return int(text) if COUNT_VALUE.fullmatch(text) else None


def read(zone, image):
    role = zone.get("role")
    if role in CLOCK_ROLES:
        return zonescan.read_clock_from_image(zone, image)
    if role in zonescan.SINGLE_DIGIT_ROLES:
        return zonescan.read_single_digit_from_image(zone, image)
    if role == "period":
        return zonescan.read_period_from_image(zone, image)
    return zonescan.read_score_from_image(zone, image)


def summary(result):
    return {key: result.get(key) for key in ("value", "valid", "reason", "digits")}


def parser():
    out = argparse.ArgumentParser(
        prog=PROG, description=__doc__.splitlines()[0],
        epilog=f"example: {PROG} frame.png --zone 0.40,0.17,0.24,0.14 --role clock "
               "--calibrate --expected 13:36 --debug seen.png")
    out.add_argument("image", metavar="IMAGE", help="a picture file OpenCV can decode")
    out.add_argument("--zone", required=True, type=parse_zone, metavar="X,Y,W,H",
                     help="the zone as fractions of the image width and height")
    out.add_argument("--role", required=True, type=utf8_text, metavar="ROLE",
                     help="what the zone shows: clock, home_score, period, down, ...")
    out.add_argument("--processing", type=parse_processing, metavar="JSON",
                     help='processing settings, e.g. \'{"threshold": 90}\'')
    out.add_argument("--calibrate", action="store_true",
                     help="fit the zone to the display inside it and choose its settings")
    out.add_argument("--expected", type=utf8_text, metavar="V",
                     help="with --calibrate: the value shown (12:34, 59.8, 7)")
    out.add_argument("--debug", metavar="OUT.png", help="write a picture of what the reader saw")
    return out


def arguments(argv):
    """The parsed command line; a bad one ends the program with status 2 (argparse's)."""
    command = parser()
    args = command.parse_args(argv)
    if args.expected is not None:
        if not args.calibrate:
            command.error("--expected needs --calibrate")
        args.expected = expected_value(args.expected, args.role)
        if args.expected is None:
            form = "a clock value such as 12:34 or 59.8" if args.role in CLOCK_ROLES else \
                "a whole number such as 7"
            command.error(f"--expected: expected {form} for role {args.role}")
    if args.debug is not None:
        if not args.debug:
            command.error("--debug: expected a file name")
        if os.path.isdir(args.debug):
            command.error(f"--debug: {args.debug} is a directory")
    return args


def fail(message):
    print(f"{PROG}: {message}", file=sys.stderr)
    return 2


def write_picture(path, picture):
    """Writes the picture in the format its name's extension names; the reason it could not be
    written, or None."""
    import cv2  # only for writing the picture

    try:
        done, encoded = cv2.imencode(os.path.splitext(path)[1], picture)
    except cv2.error:
        done = False
    if not done:
        return f"cannot write {path}: no picture format of that name (use .png or .jpg)"
    try:
        with open(path, "wb") as out:
            out.write(encoded.tobytes())
    except OSError as e:
        return f"cannot write {path}: {e.strerror or e}"
    return None


def main(argv=None):
    args = arguments(argv)
    # Only a regular file: a FIFO or a device would block or never end.
    image = zonescan.decode_bgr_image(args.image) if os.path.isfile(args.image) else None
    if image is None:
        return fail(f"cannot read an image from {args.image}")
    zone = dict(args.zone, role=args.role)
    if args.processing is not None:
        zone["processing"] = args.processing
    out = {}
    if args.calibrate:
        calibrated = zonescan.calibrate_zone(zone, image, role=args.role, expected=args.expected)
        zone = calibrated["zone"]
        out["calibration"] = {"zone": zone, "confidence": calibrated["confidence"],
                              "reason": calibrated["reason"]}
        result = calibrated["reading"]
    else:
        result = read(zone, image)
    out["reading"] = summary(result)
    out["trust"] = zonescan.trust_reading(result, zone=zone, image=image)
    if args.debug is not None:
        problem = write_picture(args.debug, zonescan.render_reading(zone, image, result))
        if problem:
            return fail(problem)
        out["debug"] = args.debug
    print(json.dumps(out, indent=2))
    return 0 if result.get("valid") else 1


if __name__ == "__main__":
    sys.exit(main())
