"""Clock crops and scoreboard frames drawn for the separator and clock reader tests: seven-segment
digits in the cells of the clock layout, and a colon, a decimal point or nothing in the gap."""
import cv2
import numpy as np

SEGMENTS = {  # a b c d e f g
    "0": "1111110", "1": "0110000", "2": "1101101", "3": "1111001", "4": "0110011",
    "5": "1011011", "6": "1011111", "7": "1110000", "8": "1111111", "9": "1111011", " ": "0000000",
}
RED = (60, 70, 240)


def draw_digit(image, box, digit, colour=RED):
    x1, y1, x2, y2 = box
    w, h = x2 - x1 + 1, y2 - y1 + 1
    left, right = x1 + w // 6, x2 - w // 6
    top, bottom = y1 + h // 8, y2 - h // 8
    middle = (top + bottom) // 2
    t = max(2, w // 7)
    rects = [
        (left, top, right, top + t - 1), (right - t + 1, top, right, middle),
        (right - t + 1, middle, right, bottom), (left, bottom - t + 1, right, bottom),
        (left, middle, left + t - 1, bottom), (left, top, left + t - 1, middle),
        (left, middle - t // 2, right, middle - t // 2 + t - 1),
    ]
    for on, (a, b, c, d) in zip(SEGMENTS[digit], rects):
        if on == "1":
            cv2.rectangle(image, (a, b), (c, d), colour, -1)


def draw_clock(width, height, digits, mark, shift=0.0, colour=RED, slots=None):
    """digits: four characters (space for a dark cell); mark: ":", "." or None. `slots` is the
    clock layout (list of slot dictionaries) of the crop's size."""
    image = np.full((height, width, 3), (15, 20, 30), np.uint8)
    digit_boxes = [s["box"] for s in slots if s["kind"] == "digit"]
    for box, digit in zip(digit_boxes, digits):
        draw_digit(image, box, digit, colour)
    gap = next(s["box"] for s in slots if s["kind"] == "separator")
    x = int(round((gap[0] + gap[2]) / 2.0 + shift))
    radius = max(1, int(round(height * 0.06)))
    if mark == ":":
        cv2.circle(image, (x, int(height * 0.32)), radius, colour, -1)
        cv2.circle(image, (x, int(height * 0.68)), radius, colour, -1)
    elif mark == ".":
        cv2.circle(image, (x, int(height * 0.8)), radius, colour, -1)
    return image


def rotate(image, angle):
    h, w = image.shape[:2]
    matrix = cv2.getRotationMatrix2D((w / 2, h / 2), angle, 1.0)
    return cv2.warpAffine(image, matrix, (w, h))
