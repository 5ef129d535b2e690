"""Start failures, hostile names and files that cannot be written."""
import os
import shutil
import time

import cv2
import pytest

from conftest import load_json, wait_for


@pytest.mark.parametrize("step, message", [
    ("initialize", "Impossible d'initialiser NDI.\n"),
    ("find_create", "Impossible de créer NDI Finder.\n"),
    ("recv_create", "Impossible de créer receiver.\n"),
])
def test_start_failures_exit_1(host, step, message):
    result = host.run_bridge_to_exit(NDI_LOOPBACK_FAIL=step)
    assert result.returncode == 1
    assert result.stderr.decode() == message
    assert result.stdout == b""
    assert not (host.static / "ndi_status.json").exists()


HOSTILE = [
    b"\x00\x01\x02binary\xff\xfe\x7f",
    b'quote " backslash \\ slash / tab \t cr \r bs \x08 ff \x0c nl \n esc \x1b',
    "Caméra ✓".encode(),
    b"L" * 200000,
]


def test_hostile_selections_are_escaped(host):
    host.start_bridge()
    for name in HOSTILE:
        host.select(name)
        status = host.wait_state("offline", selected=name)
        assert status["selected_source_id"] == status["selected_source_name"]
    assert f"({len(HOSTILE[-1])} octets)" in host.stdout()
    assert host.bridge.poll() is None


def test_hostile_source_name_round_trips(host):
    name = 'Cam "7" \\ \t\x01\x1f\n/é'
    host.sender(name)
    host.start_bridge()
    raw = host.read("ndi_sources.json")
    assert b'\\"7\\" \\\\ \\t\\u0001\\u001f\\n/\xc3\xa9' in raw
    assert [s["name"] for s in load_json(raw)["sources"]] == [name]
    host.select(name)
    assert host.wait_state("connected")["active_source_name"] == name


def test_unwritable_files_never_stop_the_loop(host):
    host.sender("Cam", size="32x16", fps="30")
    host.start_bridge()
    host.select("Cam")
    host.wait_state("connected")
    wait_for(lambda: (host.static / "ndi_preview.jpg").exists(), 5, "a preview")
    # Occupy the temporary names (a read-only directory does not stop root), and the preview's
    # own name, with directories.
    obstacles = ["ndi_status.json.tmp", "ndi_sources.json.tmp", "ndi_preview.tmp.jpg"]
    for name in obstacles:
        occupy(host.static / name)
    host.refresh()
    wait_for(lambda: "Impossible d'ouvrir app/static/ndi_sources.json.tmp" in host.stderr(), 5,
             "the source list failure")
    wait_for(lambda: "Impossible d'ouvrir app/static/ndi_status.json.tmp" in host.stderr(), 5,
             "the status failure")
    status_before = host.read("ndi_status.json")
    time.sleep(0.5)  # frames keep coming: every one of them tries to rewrite the status
    assert host.read("ndi_status.json") == status_before
    assert load_json(status_before)["receiver_state"] == "connected"
    for name in obstacles:
        (host.static / name).rmdir()
    wait_for(lambda: host.read("ndi_status.json") != status_before, 5, "status writes again")

    preview = host.static / "ndi_preview.jpg"
    preview.unlink()
    (preview / "occupied").mkdir(parents=True)
    wait_for(lambda: "Impossible de remplacer app/static/ndi_preview.jpg: " in host.stderr(), 5,
             "the preview rename failure")
    shutil.rmtree(preview)
    wait_for(lambda: preview.is_file(), 5, "previews again")
    assert cv2.imread(str(preview)).shape == (16, 32, 3)
    assert host.bridge.poll() is None
    assert host.stop_bridge() == 0
    leftovers = sorted(p.name for p in host.static.iterdir() if ".tmp" in p.name)
    assert leftovers in ([], ["ndi_preview.tmp.jpg"])


def occupy(path):
    """Makes a directory at path, once the bridge's own temporary file of that name is gone."""
    def attempt():
        try:
            path.mkdir()
            return True
        except FileExistsError:
            return False
    wait_for(attempt, 5, f"{path.name} to be free")


@pytest.mark.skipif(os.geteuid() == 0, reason="root writes into read-only directories")
def test_read_only_static_directory(host):
    host.sender("Cam")
    host.start_bridge()
    host.select("Cam")
    host.wait_state("connected")
    os.chmod(host.static, 0o555)
    try:
        wait_for(lambda: "Impossible d'ouvrir" in host.stderr(), 5, "a failure message")
        assert host.status()["receiver_state"] == "connected"
    finally:
        os.chmod(host.static, 0o755)
    assert host.stop_bridge() == 0


def test_links_planted_at_the_temporary_names_are_not_written_through(host, tmp_path):
    names = ["ndi_status.json.tmp", "ndi_sources.json.tmp", "ndi_preview.tmp.jpg",
             "ndi_latency.json.tmp"]
    victims = {}
    for name in names:
        victim = tmp_path / f"outside-{name}"
        victim.write_bytes(b"outside")
        os.symlink(victim, host.static / name)
        victims[name] = victim
    host.sender("Cam", size="32x16", fps="30")
    host.start_bridge(GLOMARK_DEV_LATENCY="1")
    host.select("Cam")
    host.wait_state("connected")
    wait_for(lambda: (host.static / "ndi_latency.json").exists(), 5, "a latency document")
    assert host.stop_bridge() == 0
    assert {name: victim.read_bytes() for name, victim in victims.items()} == {
        name: b"outside" for name in names}
    for name in ["ndi_status.json", "ndi_sources.json", "ndi_preview.jpg", "ndi_latency.json"]:
        assert not (host.static / name).is_symlink(), name
    assert cv2.imread(str(host.static / "ndi_preview.jpg")).shape == (16, 32, 3)
    assert load_json(host.read("ndi_latency.json"))["jpeg_size"] > 0
