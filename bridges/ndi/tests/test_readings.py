"""ndi_bridge reads the zones of every video frame of the selection when app/static/ndi_zones.json
holds zones, and publishes app/static/ndi_readings.json; a new selection starts the count again."""
import json

from conftest import load_json, wait_for

ZONES = {"zones": [{"name": "home", "x": 0.0, "y": 0.0, "width": 0.5, "height": 1.0,
                    "role": "home_score"}]}


def readings(host):
    try:
        return load_json(host.read("ndi_readings.json"))
    except (FileNotFoundError, ValueError):
        return None


def test_every_frame_of_the_selection_is_read(host):
    host.sender("Cam", size="64x36", fps="60")
    host.sender("Other", size="64x36", fps="60")
    host.write_static("ndi_zones.json", json.dumps(ZONES).encode())
    host.start_bridge()
    host.select("Cam")
    doc = wait_for(lambda: (d := readings(host)) and d["frame"] >= 20 and d, what="20 frames read")
    assert list(doc) == ["frame", "pts_s", "latency_ms", "frames_read", "frames_dropped",
                         "readings"]
    assert doc["frames_read"] + doc["frames_dropped"] <= doc["frame"]
    assert doc["pts_s"] > 1.6e9  # the sender's timestamp
    [home] = doc["readings"]
    assert (home["name"], home["role"]) == ("home", "home_score")
    assert list(home) == ["name", "role", "value", "valid", "reason", "trusted", "stable", "shown"]
    host.select("Other")
    wait_for(lambda: (d := readings(host)) and d["frame"] < doc["frame"] and d["frame"] >= 1,
             what="the count started again for the new selection")
