"""The source list document: order, duplicates, nulls, and when it is rewritten."""
import re
import time

from conftest import load_json, wait_for

EMPTY_LIST = re.compile(rb'\A\{\n  "version": 1,\n  "updated_at": [0-9.e+]+,\n  "sources": \[  \]\n\}\n\Z')


def test_empty_list_and_no_selection(host):
    host.start_bridge()
    assert EMPTY_LIST.match(host.read("ndi_sources.json"))
    status = host.status()
    assert status["receiver_running"] is True
    assert status["receiver_state"] == "no_source"
    assert status["selected_source_id"] is None
    assert status["selected_source_name"] is None
    assert status["last_frame_at"] is None
    out = host.stdout()
    assert out.startswith("Plintor NDI receiver actif.\nReceiver créé: ")
    assert "Sélection pilotée par app/static/ndi_selection.txt\n" in out
    assert "0 source(s) NDI découverte(s).\n" in out


def test_order_duplicates_and_rewrites(host):
    host.sender("Cam", "--url", "10.0.0.9:5961")
    host.sender("Cam", "--url", "10.0.0.10:5961")
    host.sender("Alpha", "--no-url")
    host.sender("Cam 2")
    host.start_bridge()
    listed = [(s["id"], s["name"], s["url_address"], s["online"]) for s in host.sources()]
    assert listed[:3] == [("Alpha", "Alpha", None, True),
                          ("Cam", "Cam", "10.0.0.10:5961", True),
                          ("Cam", "Cam", "10.0.0.9:5961", True)]
    assert listed[3][:2] == ("Cam 2", "Cam 2") and listed[3][2].startswith("loopback://")
    out = host.stdout()
    assert "4 source(s) NDI découverte(s).\n" in out
    assert '  Finder[0]: name="Alpha" (5 octets), url="(absente)"\n' in out
    assert '  Finder[2]: name="Cam" (3 octets), url="10.0.0.9:5961"\n' in out

    # A periodic discovery that finds the same list leaves the document alone...
    published = host.read("ndi_sources.json")
    time.sleep(4.6)
    assert host.read("ndi_sources.json") == published
    # ...while a refresh request rewrites it even so.
    host.refresh()
    wait_for(lambda: host.read("ndi_sources.json") != published, 3, "a forced rewrite")
    assert host.sources() == load_json(published)["sources"]
    # No selection: no statistics line, however long the bridge runs.
    assert "Capture 5s" not in host.stdout()


def test_new_and_vanished_sources_are_picked_up(host):
    host.start_bridge()
    cam = host.sender("Late")
    wait_for(lambda: [s["name"] for s in host.sources()] == ["Late"], 5, "periodic discovery")
    cam.terminate()
    cam.wait()
    wait_for(lambda: host.sources() == [], 5, "the source to go")
