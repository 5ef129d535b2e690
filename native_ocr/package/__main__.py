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
import sys

from native_ocr import zonescan

CLOCK_ROLES = ("clock", "home_penalty_1", "home_penalty_2", "guest_penalty_1", "guest_penalty_2")


def parse_zone(text):
    parts = text.split(",")
    if len(parts) != 4:
        raise argparse.ArgumentTypeError("expected X,Y,W,H (four fractions of the image)")
    try:
        x, y, w, h = (float(p) for p in parts)
    except ValueError as e:
        raise argparse.ArgumentTypeError(str(e)) from None
    return {"x": x, "y": y, "width": w, "height": h}


def parse_processing(text):
    try:
        value = json.loads(text)
    except json.JSONDecodeError as e:
        raise argparse.ArgumentTypeError(f"not JSON: {e}") from None
    if not isinstance(value, dict):
        raise argparse.ArgumentTypeError("expected a JSON object of processing settings")
    return value


def expected_value(text, role):
    """A clock's value stays text; any other field's is a number."""
    if role in CLOCK_ROLES or not text.strip().isdigit():
        return text.strip()
    return int(text)


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


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m native_ocr", description=__doc__.splitlines()[0],
        epilog="example: python3 -m native_ocr frame.png --zone 0.40,0.17,0.24,0.14 --role clock "
               "--calibrate --expected 13:36 --debug seen.png")
    parser.add_argument("image", metavar="IMAGE", help="a picture file OpenCV can decode")
    parser.add_argument("--zone", required=True, type=parse_zone, metavar="X,Y,W,H",
                        help="the zone as fractions of the image width and height")
    parser.add_argument("--role", required=True, metavar="ROLE",
                        help="what the zone shows: clock, home_score, period, down, ...")
    parser.add_argument("--processing", type=parse_processing, metavar="JSON",
                        help='processing settings, e.g. \'{"threshold": 90}\'')
    parser.add_argument("--calibrate", action="store_true",
                        help="fit the zone to the display inside it and choose its settings")
    parser.add_argument("--expected", metavar="V",
                        help="with --calibrate: the value shown (12:34, 59.8, 7)")
    parser.add_argument("--debug", metavar="OUT.png", help="write a picture of what the reader saw")
    args = parser.parse_args(argv)
    if args.expected is not None and not args.calibrate:
        parser.error("--expected needs --calibrate")

    image = zonescan.decode_bgr_image(args.image)
    if image is None:
        print(f"python3 -m native_ocr: cannot read an image from {args.image}", file=sys.stderr)
        return 2
    zone = dict(args.zone, role=args.role)
    if args.processing is not None:
        zone["processing"] = args.processing
    out = {}
    if args.calibrate:
        expected = None if args.expected is None else expected_value(args.expected, args.role)
        calibrated = zonescan.calibrate_zone(zone, image, role=args.role, expected=expected)
        zone = calibrated["zone"]
        out["calibration"] = {"zone": zone, "confidence": calibrated["confidence"],
                              "reason": calibrated["reason"]}
        result = calibrated["reading"]
    else:
        result = read(zone, image)
    out["reading"] = summary(result)
    out["trust"] = zonescan.trust_reading(result, zone=zone, image=image)
    if args.debug:
        import cv2  # only for writing the picture

        if not cv2.imwrite(args.debug, zonescan.render_reading(zone, image, result)):
            print(f"python3 -m native_ocr: cannot write {args.debug}", file=sys.stderr)
            return 2
        out["debug"] = args.debug
    print(json.dumps(out, indent=2))
    return 0 if result.get("valid") else 1


if __name__ == "__main__":
    sys.exit(main())
