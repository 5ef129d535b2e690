"""Seven-segment digits drawn as lit segments, for the classifier and reader tests."""
import numpy as np

PATTERNS = {
    0: (1, 1, 1, 1, 1, 1, 0), 1: (0, 1, 1, 0, 0, 0, 0), 2: (1, 1, 0, 1, 1, 0, 1),
    3: (1, 1, 1, 1, 0, 0, 1), 4: (0, 1, 1, 0, 0, 1, 1), 5: (1, 0, 1, 1, 0, 1, 1),
    6: (1, 0, 1, 1, 1, 1, 1), 7: (1, 1, 1, 0, 0, 0, 0), 8: (1, 1, 1, 1, 1, 1, 1),
    9: (1, 1, 1, 1, 0, 1, 1),
}
NINE_WITHOUT_BOTTOM = (1, 1, 1, 0, 0, 1, 1)


def draw_segments(image, pattern, x, y, width, height, stroke, value=255):
    """Lights the segments (A..G) of a glyph whose top-left corner is (x, y)."""
    t = stroke
    mid = y + (height - t) // 2
    upper = mid - y + t
    lower = y + height - mid
    right = x + width - t
    rects = [
        (x, y, width, t), (right, y, t, upper), (right, mid, t, lower),
        (x, y + height - t, width, t), (x, mid, t, lower), (x, y, t, upper), (x, mid, width, t),
    ]
    for on, (rx, ry, rw, rh) in zip(pattern, rects):
        if on:
            image[max(ry, 0):max(ry + rh, 0), max(rx, 0):max(rx + rw, 0)] = value
    return image


def draw_digit(image, digit, x, y, width, height, stroke, value=255):
    return draw_segments(image, PATTERNS[digit], x, y, width, height, stroke, value)


def digit_display(digits, cell_width=50, height=60, margin=6, stroke=4):
    """A binary display (0/255) of equal cells, one digit (or None for a blank) per cell."""
    display = np.zeros((height, cell_width * len(digits)), np.uint8)
    for i, digit in enumerate(digits):
        if digit is not None:
            draw_digit(display, digit, i * cell_width + margin, margin, cell_width - 2 * margin,
                       height - 2 * margin, stroke)
    return display
