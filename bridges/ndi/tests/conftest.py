"""Harness for driving ndi_bridge end to end against ndi_loopback_send sources.

Each test gets a host root with app/static/ and a private loopback directory; the bridge runs in
the root as the host starts it, and the tests write the selection and refresh files as the host
does and read the documents the bridge publishes.
"""
import json
import os
import signal
import subprocess
import time
from pathlib import Path

import pytest

BRIDGE = os.environ["NDI_BRIDGE"]
SENDER = os.environ["NDI_LOOPBACK_SEND"]
STATIC = Path("app/static")


def wait_for(predicate, timeout=10.0, what="condition"):
    """Polls predicate until it returns something truthy; fails the test after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            pytest.fail(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.02)


def load_json(data):
    """Parses a published document; names may hold any bytes, so undecodable ones are kept."""
    return json.loads(data.decode("utf-8", "surrogateescape"))


def to_bytes(name):
    return name if isinstance(name, bytes) else name.encode()


class Host:
    def __init__(self, tmp_path):
        self.root = tmp_path / "root"
        self.static = self.root / STATIC
        self.static.mkdir(parents=True)
        self.env = dict(os.environ, NDI_LOOPBACK_DIR=str(tmp_path / "loopback"))
        self.env.pop("GLOMARK_DEV_LATENCY", None)
        self.env.pop("NDI_LOOPBACK_FAIL", None)
        self.stdout_path = tmp_path / "bridge.out"
        self.stderr_path = tmp_path / "bridge.err"
        self.bridge = None
        self.senders = []
        self.refreshes = 0

    # -- processes --------------------------------------------------------------------------------
    def start_bridge(self, **extra_env):
        env = dict(self.env, **extra_env)
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.bridge = subprocess.Popen([BRIDGE], cwd=self.root, env=env, stdout=out,
                                           stderr=err, stdin=subprocess.DEVNULL)
        wait_for(lambda: self.status_or_none(), what="the first status document")
        return self.bridge

    def run_bridge_to_exit(self, **extra_env):
        env = dict(self.env, **extra_env)
        return subprocess.run([BRIDGE], cwd=self.root, env=env, capture_output=True, timeout=30,
                              stdin=subprocess.DEVNULL)

    def sender(self, name, *args, size="32x18", fps="30"):
        """Starts a loopback source and waits until it is announced."""
        argv = [SENDER, "--name", name, "--size", size, "--fps", fps, *map(str, args)]
        proc = subprocess.Popen(argv, env=self.env, stdout=subprocess.PIPE,
                                stdin=subprocess.DEVNULL)
        self.senders.append(proc)
        line = proc.stdout.readline()
        assert line.startswith(b"announced "), line
        return proc

    def stop_bridge(self, sig=signal.SIGTERM):
        self.bridge.send_signal(sig)
        return self.bridge.wait(timeout=10)

    def close(self):
        for proc in self.senders + ([self.bridge] if self.bridge else []):
            if proc.poll() is None:
                proc.kill()
            proc.wait()
            if proc.stdout:
                proc.stdout.close()

    # -- the host's files -------------------------------------------------------------------------
    def write_static(self, name, data):
        temporary = self.static / (name + ".host-tmp")
        temporary.write_bytes(data)
        os.replace(temporary, self.static / name)

    def select(self, name):
        self.write_static("ndi_selection.txt", to_bytes(name))

    def refresh(self):
        self.refreshes += 1
        self.write_static("ndi_refresh.request", str(self.refreshes).encode())

    # -- the bridge's documents -------------------------------------------------------------------
    def read(self, name):
        return (self.static / name).read_bytes()

    def status_or_none(self):
        try:
            return load_json(self.read("ndi_status.json"))
        except FileNotFoundError:
            return None

    def status(self):
        return load_json(self.read("ndi_status.json"))

    def sources(self):
        return load_json(self.read("ndi_sources.json"))["sources"]

    def wait_state(self, state, timeout=10.0, error=None, selected=None):
        """Waits for the status to show state (with error, and the selection, when given)."""
        def reached():
            status = self.status()
            name = status["selected_source_name"]
            return status if (status["receiver_state"] == state
                              and (error is None or status["error"] == error)
                              and (selected is None or (name or "").encode(
                                  "utf-8", "surrogateescape") == to_bytes(selected))) else None
        return wait_for(reached, timeout, f"receiver_state {state!r} (error {error!r})")

    def stdout(self):
        return self.stdout_path.read_bytes().decode("utf-8", "surrogateescape")

    def stderr(self):
        return self.stderr_path.read_bytes().decode("utf-8", "surrogateescape")


@pytest.fixture
def host(tmp_path):
    h = Host(tmp_path)
    yield h
    h.close()
