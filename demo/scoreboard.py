"""The demo scoreboard: what it shows at each moment, how ffmpeg draws it, and where its zones are.

The same schedule drives the ffmpeg drawtext filters (as expressions of the frame time t) and the
host-side checker (as Python), so a reading can be compared with what was on screen.
"""

import math
import os

WIDTH, HEIGHT = 1280, 720
FONT = "/usr/share/fonts/truetype/dseg/DSEG7Classic-Bold.ttf"
CLOCK_START = 75.0  # seconds on the game clock when the video starts

BOARD = "0x0c0c12"
UNLIT = "0x2a1210"
LIT = {"clock": "0xff3a22", "score": "0xffb020", "period": "0x40ff60"}

# The font's geometry, as fractions of the font size: the advance of a digit cell and the horizontal
# extent of the lit glyph inside it. "!" is a blank of a digit's advance.
ADVANCE = 0.82
GLYPH_LEFT, GLYPH_RIGHT = 0.10, 0.71


def clock_cells(t):
    """The four clock cells at video time t (None for a blank cell) and the separator mode."""
    remaining = max(0.0, CLOCK_START - t)
    if remaining >= 60.0:
        whole = math.floor(remaining)
        minutes, seconds = whole // 60, whole % 60
        return [minutes // 10 or None, minutes % 10, seconds // 10, seconds % 10], "minutes"
    seconds = math.floor(remaining)
    tenths = math.floor(remaining * 10.0) % 10
    return [seconds // 10 or None, seconds % 10, tenths, None], "tenths"


def clock_text(t):
    cells, mode = clock_cells(t)
    text = "".join("" if c is None else str(c) for c in cells[:2])
    if mode == "minutes":
        return text + ":" + "".join(str(c) for c in cells[2:])
    return text + "." + str(cells[2])


def home_score(t):
    return 10 + math.floor(t / 6.0)


def guest_score(t):
    return 7 + 3 * math.floor(t / 8.0)


def period(t):
    return 1 + math.floor(t / 15.0) % 4


def expected(t):
    """What each zone shows at video time t, as the readers report it."""
    return {
        "clock": clock_text(t),
        "home_score": str(home_score(t)),
        "guest_score": str(guest_score(t)),
        "period": str(period(t)),
    }


# ffmpeg expressions of the same schedule (t is the frame time in seconds).
R = f"max(0,{CLOCK_START}-t)"
CLOCK_EXPR = {
    "minutes": [f"floor(floor({R})/600)", f"mod(floor(floor({R})/60),10)",
                f"floor(mod(floor({R}),60)/10)", f"mod(floor({R}),10)"],
    "tenths": [f"floor(floor({R})/10)", f"mod(floor({R}),10)", f"mod(floor({R}*10),10)", None],
}
CLOCK_ENABLE = {"minutes": f"gte({R},60)", "tenths": f"lt({R},60)"}
CLOCK_LEAD_ENABLE = {"minutes": f"gte({R},600)", "tenths": f"gte({R},10)"}


class Panel:
    """A row of digit cells drawn at font size `size` with its top-left glyph cell at (x, y)."""

    def __init__(self, name, x, y, size, cells, gap=0):
        self.name, self.x, self.y, self.size, self.cells, self.gap = name, x, y, size, cells, gap

    def cell_x(self, i):
        split = 2 if self.gap else self.cells
        return self.x + round(i * ADVANCE * self.size) + (self.gap if i >= split else 0)

    def zone(self, role, margin=0.12):
        """The zone around the lit glyphs, as fractions of the frame."""
        left = self.cell_x(0) + GLYPH_LEFT * self.size
        right = self.cell_x(self.cells - 1) + GLYPH_RIGHT * self.size
        pad_x = margin * self.size
        pad_y = margin * self.size
        x1, x2 = left - pad_x, right + pad_x
        y1, y2 = self.y - pad_y, self.y + self.size + pad_y
        return {"x": round(x1 / WIDTH, 6), "y": round(y1 / HEIGHT, 6),
                "width": round((x2 - x1) / WIDTH, 6), "height": round((y2 - y1) / HEIGHT, 6),
                "role": role}


CLOCK = Panel("clock", 430, 70, 120, 4, gap=44)
HOME = Panel("home", 150, 330, 110, 2)
GUEST = Panel("guest", 950, 330, 110, 2)
PERIOD = Panel("period", 605, 380, 80, 1)


def zones():
    clock = CLOCK.zone("clock")
    # The clock's red is dark once converted to grey: the operator lowers its threshold.
    clock["processing"] = {"threshold": 70}
    return {
        "clock": clock,
        "home_score": HOME.zone("home_score"),
        "guest_score": GUEST.zone("guest_score"),
        "period": PERIOD.zone("period"),
    }


def readings_zones():
    """The zones a bridge reads in the readings demo: the four above and a fifth, "home_shots",
    over the home score's digits (a second two-digit zone, so the board has five)."""
    board = zones()
    board["home_shots"] = HOME.zone("home_shots")
    return board


# What each zone of readings_zones() shows, by the zone of expected() that shows the same digits.
SAME_AS = {"home_shots": "home_score"}


def _drawtext(x, y, size, colour, textfile=None, text=None, enable=None):
    parts = [f"fontfile={FONT}", f"fontsize={size}", f"fontcolor={colour}", f"x={x}", f"y={y}"]
    if textfile:
        parts.append(f"textfile={textfile}")
    else:
        parts.append(f"text={text}")
    if enable:
        parts.append(f"enable='{enable}'")
    return "drawtext=" + ":".join(parts)


def _box(x, y, side, colour, enable=None):
    drawbox = f"drawbox=x={x}:y={y}:w={side}:h={side}:color={colour}:t=fill"
    return drawbox + (f":enable='{enable}'" if enable else "")


def write_filter(directory):
    """Writes the drawtext text files and the filter script into directory; returns the script."""
    filters = [f"drawbox=x=40:y=30:w={WIDTH - 80}:h={HEIGHT - 60}:color=0x14141c:t=fill"]
    counter = 0

    def text_file(expr):
        nonlocal counter
        counter += 1
        path = os.path.join(directory, f"cell{counter}.txt")
        with open(path, "w") as f:
            f.write("%{eif:" + expr + ":d}")
        return path

    # Faint unlit segments under every cell, then the lit digits.
    for panel in (CLOCK, HOME, GUEST, PERIOD):
        for i in range(panel.cells):
            filters.append(_drawtext(panel.cell_x(i), panel.y, panel.size, UNLIT, text="8"))
    for mode in ("minutes", "tenths"):
        for i, expr in enumerate(CLOCK_EXPR[mode]):
            if expr is None:
                continue
            enable = CLOCK_ENABLE[mode]
            if i == 0:
                enable = f"{enable}*{CLOCK_LEAD_ENABLE[mode]}"
            filters.append(_drawtext(CLOCK.cell_x(i), CLOCK.y, CLOCK.size, LIT["clock"],
                                     textfile=text_file(expr), enable=enable))
    # The separator: two dots in the gap; both lit for a colon, the lower one for a decimal point.
    dot = round(0.1 * CLOCK.size)
    glyph_end = CLOCK.cell_x(1) + GLYPH_RIGHT * CLOCK.size
    glyph_start = CLOCK.cell_x(2) + GLYPH_LEFT * CLOCK.size
    dot_x = round((glyph_end + glyph_start) / 2 - dot / 2)
    upper_y = CLOCK.y + round(0.3 * CLOCK.size - dot / 2)
    lower_y = CLOCK.y + round(0.7 * CLOCK.size - dot / 2)
    filters.append(_box(dot_x, upper_y, dot, UNLIT))
    filters.append(_box(dot_x, lower_y, dot, UNLIT))
    filters.append(_box(dot_x, upper_y, dot, LIT["clock"], enable=CLOCK_ENABLE["minutes"]))
    filters.append(_box(dot_x, lower_y, dot, LIT["clock"]))
    for panel, fn in ((HOME, "10+floor(t/6)"), (GUEST, "7+3*floor(t/8)")):
        filters.append(_drawtext(panel.cell_x(0), panel.y, panel.size, LIT["score"],
                                 textfile=text_file(f"floor(({fn})/10)"),
                                 enable=f"gte({fn},10)"))
        filters.append(_drawtext(panel.cell_x(1), panel.y, panel.size, LIT["score"],
                                 textfile=text_file(f"mod({fn},10)")))
    filters.append(_drawtext(PERIOD.cell_x(0), PERIOD.y, PERIOD.size, LIT["period"],
                             textfile=text_file("1+mod(floor(t/15),4)")))
    script = os.path.join(directory, "scoreboard.filter")
    with open(script, "w") as f:
        f.write(",\n".join(filters) + "\n")
    return script
