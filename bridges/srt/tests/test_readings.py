"""rivlet reads the zones of every decoded frame when its zones file holds zones, and publishes the
readings document; a bad zones file keeps the last good zones and is reported once."""
import json
import os
import time

from conftest import wait_until

ZONES = "app/static/srt_zones.json"
READINGS = "app/static/srt_readings.json"
KEYS = ["frame", "pts_s", "latency_ms", "frames_read", "frames_dropped", "readings"]
READING_KEYS = ["name", "role", "value", "valid", "reason", "trusted", "stable", "shown"]


def write_atomically(path, text):
    with open(path + ".new", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".new", path)


def readings(workdir):
    try:
        with open(os.path.join(workdir, READINGS), encoding="utf-8") as f:
            return json.load(f, object_pairs_hook=lambda pairs: pairs)
    except (OSError, ValueError):
        return None


def test_every_frame_is_read_and_a_bad_zones_file_is_said_once(start_rivlet, senders, tmp_path):
    zones = {"zones": [
        {"name": "clock", "x": 0.4, "y": 0.05, "width": 0.2, "height": 0.1, "role": "clock",
         "processing": {"threshold": 100}},
        {"name": "home", "x": 0.1, "y": 0.05, "width": 0.1, "height": 0.1}]}
    os.makedirs(tmp_path / "app" / "static")
    write_atomically(str(tmp_path / ZONES), json.dumps(zones))
    rivlet = start_rivlet()
    senders(rivlet.port, seconds=6.0)
    doc = wait_until(lambda: (d := readings(rivlet.workdir)) and dict(d)["frame"] >= 30 and d,
                     20, "a readings document after 30 frames")
    assert [k for k, _ in doc] == KEYS
    top = dict(doc)
    assert top["frames_read"] + top["frames_dropped"] <= top["frame"]
    assert top["frames_read"] >= 1 and top["latency_ms"] >= 0
    entries = [dict(r) for r in top["readings"]]
    assert [list(dict(r)) for r in top["readings"]] == [READING_KEYS] * 2
    assert [(e["name"], e["role"]) for e in entries] == [("clock", "clock"), ("home", None)]
    # testsrc2 shows no digits there: nothing valid, nothing shown.
    assert all(not e["valid"] and e["value"] is None and e["shown"] is None for e in entries)

    write_atomically(str(tmp_path / ZONES), '{"zones": [{"name": "clock", "x": "left"}]}')
    doc = wait_until(lambda: (d := readings(rivlet.workdir)) and "zones_error" in dict(d) and d,
                     10, "zones_error in the readings document")
    top = dict(doc)
    assert [k for k, _ in doc] == KEYS[:5] + ["zones_error", "readings"]
    assert top["zones_error"] == 'zone 1: "x" must be a number'
    assert len(top["readings"]) == 2  # the last good zones, still read
    time.sleep(1.0)
    refused = [line for line in rivlet.stderr if "refused" in line]
    assert len(refused) == 1 and ZONES in refused[0], rivlet.stderr


def test_no_zones_file_no_readings(start_rivlet, senders):
    rivlet = start_rivlet()
    senders(rivlet.port, seconds=2.0)
    rivlet.wait_for_state("connected", timeout=15)
    time.sleep(1.0)
    assert readings(rivlet.workdir) is None
