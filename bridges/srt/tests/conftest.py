"""Drives rivlet and Debian's ffmpeg (as the SRT caller) for the end-to-end tests."""

import json
import os
import re
import signal
import socket
import struct
import subprocess
import threading
import time

import pytest

RIVLET = os.environ["RIVLET"]
RECORDER = os.environ["RENAME_RECORDER"]
STATUS = "app/static/srt_status.json"
PREVIEW = "app/static/srt_preview.jpg"


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def secret_message(passphrase, length=None):
    return struct.pack(">I", len(passphrase) if length is None else length) + passphrase


def wait_until(predicate, timeout, what):
    """Polls predicate until it is truthy; what (a text, or a callable giving one when the wait
    has failed, so that it tells what was seen by then) names what was waited for."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = predicate()
        if result:
            return result
        time.sleep(0.05)
    told = what() if callable(what) else what
    raise AssertionError(f"timed out after {timeout} s waiting for {told}")


class Rivlet:
    """One rivlet process in its own working directory, with every published status recorded."""

    def __init__(self, workdir, args=(), secret=None, extra_env=None):
        self.workdir = workdir
        self.port = free_udp_port()
        os.makedirs(os.path.join(workdir, "app", "static"), exist_ok=True)
        self.record = os.path.join(workdir, "status-history")
        env = dict(os.environ)
        env["LD_PRELOAD"] = ":".join(p for p in (env.get("LD_PRELOAD"), RECORDER) if p)
        env["RENAME_RECORD_FILE"] = self.record
        env["RENAME_RECORD_SUFFIX"] = "srt_status.json"
        env.update(extra_env or {})
        command = [RIVLET, "--port", str(self.port), *args]
        pass_fds = ()
        read_end = None
        if secret is not None:
            read_end, write_end = os.pipe()
            os.write(write_end, secret)
            os.close(write_end)
            command += ["--secret-fd", str(read_end)]
            pass_fds = (read_end,)
        self.process = subprocess.Popen(command, cwd=workdir, env=env, pass_fds=pass_fds,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True, errors="replace")
        if read_end is not None:
            os.close(read_end)
        self.stdout = []
        self.stderr = []
        self._readers = [self._follow(self.process.stdout, self.stdout),
                         self._follow(self.process.stderr, self.stderr)]
        self.wait_for_line("rivlet listening on 0.0.0.0:")

    @staticmethod
    def _follow(stream, lines):
        def run():
            for line in stream:
                lines.append(line.rstrip("\n"))
        thread = threading.Thread(target=run, daemon=True)
        thread.start()
        return thread

    def wait_for_line(self, text, timeout=30, stream="stdout"):
        lines = self.stdout if stream == "stdout" else self.stderr
        return wait_until(lambda: any(text in line for line in lines), timeout,
                          lambda: f"{text!r} on {stream}; {self.seen()}")

    def seen(self):
        """What rivlet has shown so far, for a failed wait."""
        return (f"exit status {self.process.poll()}; states {self.states()}; "
                f"stdout {self.stdout}; stderr {self.stderr}")

    def history(self):
        """Every status document published so far, in order."""
        try:
            with open(self.record, encoding="utf-8") as f:
                text = f.read()
        except FileNotFoundError:
            return []
        return [json.loads(doc) for doc in re.findall(r"\{\n.*?\n\}\n", text, re.S)]

    def states(self):
        return [(doc["state"], doc["error"]) for doc in self.history()]

    def wait_for_state(self, state, error=None, timeout=30, after=0):
        """Waits for a published document with this state (and error, when given) past index
        after; returns its index."""
        def find():
            for i, doc in enumerate(self.history()[after:], start=after):
                if doc["state"] == state and (error is None or doc["error"] == error):
                    return i + 1
            return 0
        return wait_until(find, timeout, lambda: f"state {state} {error}; {self.seen()}") - 1

    def wait_until_listening_again(self, timeout=40, quiet=1.5):
        """Waits until "listening" is the last state published and nothing else has been
        published for quiet seconds."""
        last = {"count": -1, "since": time.monotonic()}

        def settled():
            history = self.history()
            if len(history) != last["count"]:
                last["count"], last["since"] = len(history), time.monotonic()
            return (history and history[-1]["state"] == "listening"
                    and time.monotonic() - last["since"] >= quiet)
        wait_until(settled, timeout, lambda: f"listening again; {self.seen()}")

    def status(self):
        with open(os.path.join(self.workdir, STATUS), encoding="utf-8") as f:
            return json.load(f)

    def stop(self):
        """SIGTERM (unless it already stopped); returns the exit status."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        code = self.process.wait(timeout=30)
        for reader in self._readers:
            reader.join(timeout=5)
        self.process.stdout.close()
        self.process.stderr.close()
        return code


@pytest.fixture
def start_rivlet(tmp_path):
    """Starts rivlet; at the end every process is stopped with SIGTERM and must have exited with
    0, published "offline" last and printed "rivlet stopped"."""
    started = []

    def start(*args, secret=None, extra_env=None):
        rivlet = Rivlet(str(tmp_path), args, secret, extra_env)
        started.append(rivlet)
        return rivlet

    yield start
    for rivlet in started:
        code = rivlet.stop()
        assert code == 0, rivlet.stderr
        assert rivlet.status()["state"] == "offline"
        assert rivlet.stdout[-1] == "rivlet stopped"
        leftovers = [n for n in os.listdir(os.path.join(rivlet.workdir, "app", "static"))
                     if ".tmp" in n]
        assert leftovers == []


class Sender:
    """ffmpeg pushing a lavfi test picture as MPEG-TS over SRT, in real time."""

    def __init__(self, port, size="320x180", rate=30, seconds=3.0, codec="libx264", query="",
                 input_args=None):
        url = f"srt://127.0.0.1:{port}?mode=caller{query}"
        if input_args is None:
            input_args = ["-f", "lavfi", "-i", f"testsrc2=size={size}:rate={rate}",
                          "-t", str(seconds), "-pix_fmt", "yuv420p", "-c:v", codec]
            if codec == "libx264":
                input_args += ["-preset", "ultrafast", "-tune", "zerolatency", "-g", str(rate)]
            input_args += ["-f", "mpegts"]
        command = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-re",
                   *input_args, url]
        self.process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def wait(self, timeout=60):
        return self.process.wait(timeout=timeout)

    def kill(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGCONT)
            self.process.kill()
        self.process.wait(timeout=10)


@pytest.fixture
def senders():
    started = []

    def send(*args, **kwargs):
        sender = Sender(*args, **kwargs)
        started.append(sender)
        return sender

    yield send
    for sender in started:
        sender.kill()
