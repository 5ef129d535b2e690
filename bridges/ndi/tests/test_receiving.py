"""Selecting, connecting, previews, latency, staleness, the statistics line and stopping."""
import json
import signal
import time

import cv2

from conftest import wait_for


def write_ppm(path, width, height, rgb):
    pixels = bytes(rgb) * (width * height)
    path.write_bytes(b"P6\n%d %d\n255\n" % (width, height) + pixels)


def test_selection_with_trailing_newline_never_matches(host):
    host.sender("Cam")
    host.start_bridge()
    host.select(b"Cam\n")
    status = host.wait_state("offline")
    assert status["selected_source_name"] == "Cam\n"
    assert status["selected_source_id"] == "Cam\n"
    assert status["active_source_name"] is None and status["error"] is None
    assert 'Source NDI sélectionnée: "Cam\n" (4 octets)\n' in host.stdout()
    assert "Connexion à" not in host.stdout()


def test_connect_first_frame_and_stop(host):
    host.sender("Cam", "--url", "127.0.0.1:5961", size="48x20", fps="30000/1001")
    host.start_bridge()
    host.select("Cam")
    status = host.wait_state("connected")
    assert (status["width"], status["height"]) == (48, 20)
    assert (status["frame_rate_n"], status["frame_rate_d"]) == (30000, 1001)
    assert status["active_source_name"] == "Cam" and status["error"] is None
    assert status["last_frame_at"] > 1.6e9
    out = host.stdout()
    assert ('Match exact trouvé: sélection="Cam", finder="Cam", url="127.0.0.1:5961"\n'
            'Appel NDIlib_recv_connect pour "Cam".\nConnexion à Cam...\n') in out
    assert "Première frame vidéo: 48x20, frame_rate=30000/1001, timestamp=" in out

    assert host.stop_bridge() == 0
    final = host.status()
    assert final["receiver_running"] is False
    assert final["receiver_state"] == "stopped"
    assert final["active_source_name"] is None
    assert final["selected_source_name"] == "Cam" and final["width"] == 48
    assert host.stdout().endswith("\nPlintor NDI receiver arrêté.\n")


def test_previews_every_sixth_frame_with_latency(host, tmp_path):
    image = tmp_path / "still.ppm"
    write_ppm(image, 40, 24, (200, 30, 60))
    host.sender("Still", "--frames", "13", "--wait-for-receiver", image, fps="20")
    host.start_bridge(GLOMARK_DEV_LATENCY="1")
    host.select("Still")
    host.wait_state("connected")
    wait_for(lambda: (host.static / "ndi_latency.json").exists(), 5, "a latency document")
    time.sleep(1.0)  # the sender's 13 frames are over by now: the last preview stays
    latency = json.loads(host.read("ndi_latency.json"))
    # Previews come after the 6th and the 12th frame (frames can be skipped under load, not added).
    count, published = latency["frame_id"].split("-")
    assert int(count) in (6, 12)
    assert int(published) == latency["published_unix_ns"]
    assert latency["published_unix_ns"] >= latency["captured_unix_ns"] > 1.6e18
    assert 0 <= latency["capture_to_publish_ms"] < 10000
    preview = host.static / "ndi_preview.jpg"
    assert latency["jpeg_size"] == preview.stat().st_size
    assert latency["jpeg_mtime_ns"] == preview.stat().st_mtime_ns
    decoded = cv2.imread(str(preview))
    assert decoded.shape == (24, 40, 3)
    blue, green, red = decoded.reshape(-1, 3).mean(axis=0)
    assert abs(red - 200) < 8 and abs(green - 30) < 8 and abs(blue - 60) < 8
    assert not (host.static / "ndi_preview.tmp.jpg").exists()


def test_no_preview_before_the_sixth_frame(host):
    host.sender("Five", "--frames", "5", "--wait-for-receiver", fps="50")
    host.start_bridge()
    host.select("Five")
    host.wait_state("offline", timeout=8, error="No recent video frames")
    assert not (host.static / "ndi_preview.jpg").exists()
    assert not (host.static / "ndi_latency.json").exists()


def test_stalled_source_goes_offline_and_reconnects_in_a_cycle(host):
    host.sender("Stall", "--frames", "10", "--wait-for-receiver", fps="30")
    host.start_bridge()
    host.select("Stall")
    host.wait_state("connected")
    host.wait_state("offline", timeout=6, error="No recent video frames")
    # Still listed but silent: dropped about 5 s after the last frame and reconnected 500 ms on.
    host.wait_state("connecting", timeout=5)
    host.wait_state("offline", timeout=5, error="No recent video frames")
    assert host.stdout().count("Connexion à Stall...\n") >= 2
    stats = [line for line in host.stdout().splitlines() if line.startswith("Capture 5s:")]
    assert len(stats) == 1
    counts = dict(field.split("=") for field in stats[0][len("Capture 5s: "):].split())
    assert 1 <= int(counts["video"]) <= 10
    assert counts["audio"] == counts["metadata"] == counts["error"] == "0"
    assert int(counts["none"]) > 0 and int(counts["other"]) >= 1  # the loopback's status change
    assert counts["état"] in ("offline", "connecting")


def test_error_frame_then_reconnect(host):
    cam = host.sender("Cam")
    host.start_bridge()
    host.select("Cam")
    host.wait_state("connected")
    cam.send_signal(signal.SIGUSR1)
    status = host.wait_state("error", timeout=5, error="NDI receiver error")
    assert status["receiver_running"] is True
    host.wait_state("connected", timeout=5)
    assert host.stdout().count("Connexion à Cam...\n") == 2


def test_sender_killed_mid_frame(host):
    host.sender("Doomed", "--die-mid-frame", "30", "--wait-for-receiver", fps="30")
    host.start_bridge()
    host.select("Doomed")
    host.wait_state("connected")
    wait_for(lambda: host.status()["receiver_state"] == "error", 10, "the error frame")
    # The source is gone: it leaves the list and the selection goes offline.
    host.wait_state("offline", timeout=5, error=None)
    assert host.sources() == []
    assert host.bridge.poll() is None
    assert host.stop_bridge(signal.SIGINT) == 0


def test_selection_change_resets_the_status(host):
    host.sender("A", size="16x16")
    host.sender("B", size="24x8")
    host.start_bridge()
    host.select("A")
    host.wait_state("connected")
    host.select("B")
    status = host.wait_state("connected", selected="B")
    assert (status["width"], status["height"]) == (24, 8)
    host.select(b"")
    status = host.wait_state("no_source", selected=b"")
    assert status["selected_source_name"] is None and status["active_source_name"] is None
    assert status["width"] == 0 and status["last_frame_at"] is None
    assert 'Source NDI sélectionnée: "(aucune)" (0 octets)\n' in host.stdout()
