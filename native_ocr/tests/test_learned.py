"""The processing setting "classifier": normalised only when set, known to check_zone, and
honoured by the readers and read_zones ("learned" reads the grey crop with the learned model)."""
import sys
from pathlib import Path

import numpy as np

from native_ocr import zonescan as z
import clock_drawing

ROOT = Path(__file__).resolve().parents[2]
ZONE = {"x": 0.0, "y": 0.0, "width": 1.0, "height": 1.0}


def ghosted_clock(digits):
    """A 200x60 clock whose unlit segments glow faintly under the digits."""
    slots = z.clock_slots(200, 60)
    image = clock_drawing.draw_clock(200, 60, "8888", ":", colour=(28, 32, 60), slots=slots)
    lit = clock_drawing.draw_clock(200, 60, digits, ":", slots=slots)
    return np.maximum(image, lit)


def test_normalize_settings_returns_the_classifier_only_when_set():
    assert "classifier" not in z.normalize_settings(None)
    assert "classifier" not in z.DEFAULT_PROCESSING
    for given, used in [("learned", "learned"), ("segments", "segments"), ("Learned", "segments"),
                        (None, "segments"), (1, "segments")]:
        settings = z.normalize_settings({"classifier": given, "host_note": 1})
        assert settings["classifier"] == used, given
        assert list(settings)[11:] == ["classifier", "host_note"]
        assert z.normalize_settings(settings) == settings


def test_check_zone_knows_the_classifier():
    def problems(processing):
        return [(p["field"], p["problem"], p["suggestion"])
                for p in z.check_zone({**ZONE, "processing": processing})]
    assert problems({"classifier": "learned"}) == []
    assert problems({"classifier": "LEARNED"}) == [
        ("processing.classifier", "replaced_setting", "'segments'")]
    assert problems({"clasifier": "learned"}) == [
        ("processing.clasifier", "unknown_setting", "classifier")]


def test_every_reader_honours_the_setting():
    crop = ghosted_clock(" 905")
    learned = {"classifier": "learned", "threshold": 30}
    # A threshold under the ghosts' level: the seven-segment classifier reads them as lit.
    assert z.read_clock_from_crop(crop, processing={"threshold": 30})["value"] != "9:05"
    clock = z.read_clock_from_crop(crop, processing=learned)
    assert clock["value"] == "9:05"
    first, second = clock["ocr_items"][0], clock["ocr_items"][1]
    assert (first["status"], first["char"]) == ("empty", None)
    assert (second["status"], second["char"]) == ("digit", 9)
    assert 0.6 <= second["confidence"] <= 1.0
    assert z.read_clock_from_crop(crop, processing=learned)["debug"]["layout"] == (
        z.read_clock_from_crop(crop)["debug"]["layout"])

    right = crop[:, 100:]  # "05" as a two-digit score
    assert z.read_score_from_crop(right, processing=learned)["value"] == 5
    zones = [{**ZONE, "role": "clock", "processing": learned},
             {**ZONE, "role": "clock", "processing": {"threshold": 30}}]
    results = z.read_zones(zones, crop)
    assert results[0]["value"] == "9:05"
    assert results[1] == z.read_clock_from_crop(crop, processing={"threshold": 30})


def model_layers():
    """The model's layers as (weights inputs x outputs, bias) float32 arrays, from the data file
    the build compiles: text lines up to "float32le", then each layer's weights and bias."""
    data = (ROOT / "native_ocr" / "zonescan" / "learned_model.bin").read_bytes()
    header, floats = data.split(b"float32le\n", 1)
    sizes = [tuple(map(int, line.split()[1:])) for line in header.decode().splitlines()
             if line.startswith("layer ")]
    floats = np.frombuffer(floats, "<f4")
    layers = []
    for inputs, outputs in sizes:
        weights, bias = floats[:inputs * outputs], floats[inputs * outputs:(inputs + 1) * outputs]
        layers.append((weights.reshape(inputs, outputs), bias))
        floats = floats[(inputs + 1) * outputs:]
    return layers


def test_the_training_twin_reads_cells_as_the_module_does():
    """bench/learned/cells.py computes the features the model was trained on; the module must
    see the same cells in the same way, or the model is read with other eyes than it learned."""
    sys.path.insert(0, str(ROOT / "bench" / "learned"))
    import cells
    layers = model_layers()
    faces = [cells.Face(name) for name in cells.FACES[::5]]
    rng = np.random.default_rng(7)
    compared = 0
    for i in range(24):
        grey, drawn, _ = cells.draw_display(faces[i % len(faces)], "score", rng)
        table = cells.level_table(grey)
        items = z.read_score_from_crop(grey, processing={"classifier": "learned"})["ocr_items"]
        for item, box in zip(items, cells.equal_digit_slots(grey.shape[1], grey.shape[0], 2)):
            x = cells.cell_features(table, grey, box)
            for j, (w, b) in enumerate(layers):
                x = x @ w + b
                x = np.maximum(x, 0) if j + 1 < len(layers) else x
            p = np.exp(x - x.max()) / np.exp(x - x.max()).sum()
            assert item["box"] == list(cells.clip_box(box, grey.shape[1], grey.shape[0]))
            assert abs(item["confidence"] - p.max()) < 1e-4
            if abs(p.max() - 0.6) > 1e-4:
                k = int(p.argmax())
                want = ("unknown", None) if p.max() < 0.6 else (
                    ("empty", None) if k == cells.BLANK else ("digit", k))
                assert (item["status"], item["char"]) == want
            compared += 1
    assert compared == 48
