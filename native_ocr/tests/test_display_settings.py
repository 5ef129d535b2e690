"""The display settings "polarity", "slant" and "clock_cells": normalised only when set, clamped,
known to check_zone, and honoured by the readers."""
import numpy as np

from native_ocr import zonescan as z
import clock_drawing

ZONE = {"x": 0.0, "y": 0.0, "width": 1.0, "height": 1.0}


def test_normalize_settings_returns_them_only_when_set():
    plain = z.normalize_settings(None)
    assert not {"polarity", "slant", "clock_cells"} & set(plain)
    given = {"polarity": "Dark", "slant": 40, "clock_cells": 9, "host_note": 1}
    settings = z.normalize_settings(given)
    assert (settings["polarity"], settings["slant"], settings["clock_cells"]) == ("light", 20.0, 4)
    assert isinstance(settings["slant"], float)
    assert list(settings)[11:] == ["polarity", "slant", "clock_cells", "host_note"]
    low = z.normalize_settings({"polarity": "dark", "slant": float("nan"), "clock_cells": 1})
    assert (low["polarity"], low["slant"], low["clock_cells"]) == ("dark", 0.0, 2)
    assert z.normalize_settings(settings) == settings


def test_check_zone_knows_them():
    def problems(processing):
        return [(p["field"], p["problem"]) for p in z.check_zone({**ZONE, "processing": processing})]
    assert problems({"polarity": "dark", "slant": 8.0, "clock_cells": 3}) == []
    assert problems({"polarty": "dark"}) == [("processing.polarty", "unknown_setting")]


def test_a_dark_on_light_clock_finds_its_decimal_point():
    slots = z.clock_slots(200, 60)
    lcd = 255 - clock_drawing.draw_clock(200, 60, "1234", ".", slots=slots)
    # Inverting only the threshold leaves the separator search on the light ground: a "colon".
    inverted = z.read_clock_from_crop(lcd, processing={"invert": True, "threshold": 154})
    assert inverted["debug"]["separator"]["char"] == ":"
    dark = z.read_clock_from_crop(lcd, processing={"polarity": "dark", "threshold": 100})
    assert (dark["value"], dark["debug"]["separator"]["char"]) == ("12.3", ".")
