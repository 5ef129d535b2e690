"""rivlet end to end: a real SRT caller (Debian's ffmpeg) pushing at rivlet on a free port."""

import os
import random
import signal
import subprocess
import sys

import cv2
import pytest

from conftest import PREVIEW, RIVLET, STATUS, secret_message

USAGE_START = "usage: rivlet [--port 9000] [--latency 120]\n"


def preview_shape(rivlet):
    image = cv2.imread(os.path.join(rivlet.workdir, PREVIEW))
    assert image is not None, "the preview is not a decodable JPEG"
    return image.shape


def run_rejected(tmp_path, args, secret=None):
    pass_fds = ()
    if secret is not None:
        read_end, write_end = os.pipe()
        os.write(write_end, secret)
        os.close(write_end)
        args = [*args, "--secret-fd", str(read_end)]
        pass_fds = (read_end,)
    result = subprocess.run([RIVLET, *args], cwd=tmp_path, pass_fds=pass_fds,
                            capture_output=True, text=True, timeout=30)
    if secret is not None:
        os.close(read_end)
    return result


@pytest.mark.parametrize("args, secret, code, message", [
    (["--port", "0"], None, 2, USAGE_START),
    (["--port", "65536"], None, 2, USAGE_START),
    (["--latency", "8001"], None, 2, USAGE_START),
    (["--port", "x9000"], None, 2, USAGE_START),
    (["--preview", "a/ndi_preview.jpg"], None, 2, USAGE_START),
    (["--status", "ndi_status.json"], None, 2, USAGE_START),
    (["--preview", ""], None, 2, USAGE_START),
    (["--stream-id", "e" * 513, "--key-length", "8"], None, 2, "Stream ID is too long\n"),
    (["--key-length", "8"], None, 2, "Unsupported SRT key length\n"),
    (["--secret-handle", "5"], None, 2, "Can't read this source\n"),
    (["--secret-fd", "-2"], None, 2, USAGE_START),
    (["--verbose"], None, 2, USAGE_START),
    (["--port"], None, 2, USAGE_START),
    (["--help", "--bogus"], None, 0, USAGE_START),
    (["--self-test"], None, 0, ""),
    ([], secret_message(b"123456789"), 2, "Invalid passphrase length\n"),
    ([], secret_message(b"x" * 81), 2, "Can't read this source\n"),
    ([], secret_message(b"short", length=20), 2, "Can't read this source\n"),
    ([], b"\x00\x00", 2, "Can't read this source\n"),
])
def test_rejected_command_lines_and_passphrases(tmp_path, args, secret, code, message):
    result = run_rejected(tmp_path, args, secret)
    assert result.returncode == code
    assert result.stderr.startswith(message) if message else result.stderr == ""
    if message == USAGE_START:
        assert result.stderr.endswith("never from the command line.\n")
    assert result.stdout == ""
    assert not os.path.exists(tmp_path / "app")


def test_boundary_values_are_accepted(start_rivlet):
    rivlet = start_rivlet("--latency", "8000", "--preview", "app/static/ndi_preview.JPG",
                          "--secret-handle", "0", secret=secret_message(b""))
    assert rivlet.stdout[0] == f"rivlet listening on 0.0.0.0:{rivlet.port}, latency 8000 ms"
    assert rivlet.status() == {
        "state": "listening", "port": rivlet.port, "width": 0, "height": 0,
        "frame_rate_n": 0, "frame_rate_d": 0, "last_frame_time": None,
        "decoder": None, "error": None}


def test_stream_connects_publishes_preview_and_sender_quitting_is_reported(start_rivlet,
                                                                            senders):
    rivlet = start_rivlet()
    sender = senders(rivlet.port, size="1280x720", rate=25, seconds=3)
    connected = rivlet.wait_for_state("connected")
    status = rivlet.status()
    assert (status["width"], status["height"]) == (1280, 720)
    assert (status["frame_rate_n"], status["frame_rate_d"]) == (25, 1)
    assert status["decoder"] == "native" and status["error"] is None
    assert isinstance(status["last_frame_time"], float)
    assert preview_shape(rivlet) == (720, 1280, 3)
    rivlet.wait_for_line("receiving 1280x720")

    assert sender.wait() == 0
    rivlet.wait_for_line("SRT sender disconnected; listening again")
    offline = rivlet.wait_for_state("offline", after=connected)
    rivlet.wait_for_state("listening", after=offline)
    states = [doc["state"] for doc in rivlet.history()[:connected + 1]]
    assert states[:3] == ["listening", "connecting", "connecting"]  # then the decoder is named
    assert rivlet.stdout[1:4] == ["SRT sender connected", "decoder: native",
                                  "receiving 1280x720"]


def test_ultra_hd_stream_gives_full_hd_preview(start_rivlet, senders):
    rivlet = start_rivlet()
    senders(rivlet.port, size="3840x2160", rate=4, seconds=3)
    rivlet.wait_for_state("connected", timeout=60)
    status = rivlet.status()
    assert (status["width"], status["height"]) == (1920, 1080)
    assert preview_shape(rivlet) == (1080, 1920, 3)


def test_matching_passphrase_from_descriptor(start_rivlet, senders):
    passphrase = b"correct horse battery"
    rivlet = start_rivlet("--key-length", "24", secret=secret_message(passphrase))
    senders(rivlet.port, query=f"&passphrase={passphrase.decode()}&pbkeylen=24", seconds=2)
    rivlet.wait_for_state("connected")
    assert preview_shape(rivlet) == (180, 320, 3)


def test_wrong_passphrase_stops_rivlet(start_rivlet, senders):
    rivlet = start_rivlet(secret=secret_message(b"the listener secret"))
    senders(rivlet.port, query="&passphrase=not the same one&pbkeylen=32", seconds=2)
    rivlet.wait_for_state("error", "SRT encryption settings do not match the sender")
    assert rivlet.process.wait(timeout=30) == 0
    assert rivlet.states()[-1] == ("offline", None)
    assert "SRT encryption settings do not match the sender" in rivlet.stderr
    assert not any("the listener secret" in line for line in rivlet.stderr)


def test_unencrypted_caller_is_refused_and_rivlet_keeps_listening(start_rivlet, senders):
    rivlet = start_rivlet(secret=secret_message(b"the listener secret"))
    sender = senders(rivlet.port, seconds=2)
    assert sender.wait() != 0
    rivlet.wait_for_line("rejecting connection per enforced encryption", stream="stderr")
    assert rivlet.states() == [("listening", None)]
    assert rivlet.process.poll() is None


def test_stream_id(start_rivlet, senders):
    rivlet = start_rivlet("--stream-id", "scoreboard/main")
    senders(rivlet.port, query="&streamid=scoreboard/main", seconds=2)
    rivlet.wait_for_state("connected")


def test_links_planted_at_the_temporary_names_are_not_written_through(start_rivlet, senders,
                                                                       tmp_path):
    static = tmp_path / "app" / "static"
    static.mkdir(parents=True)
    victims = {}
    for name in ("srt_status.json.tmp", "srt_preview.tmp.jpg"):
        victim = tmp_path / f"outside-{name}"
        victim.write_bytes(b"outside")
        os.symlink(victim, static / name)
        victims[name] = victim
    rivlet = start_rivlet()
    senders(rivlet.port, seconds=2)
    rivlet.wait_for_state("connected")
    assert preview_shape(rivlet) == (180, 320, 3)
    assert {name: victim.read_bytes() for name, victim in victims.items()} == {
        name: b"outside" for name in victims}
    assert not os.path.islink(os.path.join(rivlet.workdir, STATUS))
    assert not os.path.islink(os.path.join(rivlet.workdir, PREVIEW))


SILENT_CALLER = os.path.join(os.path.dirname(__file__), "silent_caller.py")


@pytest.fixture
def silent_caller():
    """Starts silent_caller.py (connects, sends nothing, connects again at once when dropped)."""
    started = []

    def start(port, *args):
        process = subprocess.Popen([sys.executable, SILENT_CALLER, str(port), *args],
                                   stdout=subprocess.PIPE, text=True)
        started.append(process)
        return process

    yield start
    for process in started:
        process.kill()
        process.wait(timeout=10)
        process.stdout.close()


@pytest.mark.parametrize("guard", ["stream id", "passphrase"])
def test_silent_caller_without_the_credentials_never_keeps_the_sender_out(
        start_rivlet, senders, silent_caller, guard):
    passphrase = "the listener secret"
    if guard == "stream id":
        rivlet = start_rivlet("--stream-id", "scoreboard/main")
        caller = silent_caller(rivlet.port, "someone/else")
        assert caller.stdout.readline() == "connected\n"  # the protocol accepts any stream id
        query = "&streamid=scoreboard/main"
    else:
        rivlet = start_rivlet(secret=secret_message(passphrase.encode()))
        silent_caller(rivlet.port)
        rivlet.wait_for_line("rejecting connection per enforced encryption", stream="stderr")
        query = f"&passphrase={passphrase}&pbkeylen=32"
    # Every attempt of the real sender gets in at once, while the silent callers keep trying.
    for attempt in range(3):
        seen = len(rivlet.history())
        assert senders(rivlet.port, query=query, seconds=1).wait() == 0, attempt
        rivlet.wait_for_state("connected", after=seen, timeout=5)
    assert preview_shape(rivlet) == (180, 320, 3)
    assert rivlet.process.poll() is None
    if guard == "stream id":
        assert "SRT caller refused: wrong stream id" in rivlet.stderr


def test_stalled_sender_goes_offline_and_listens_again(start_rivlet, senders):
    rivlet = start_rivlet()
    sender = senders(rivlet.port, seconds=30)
    connected = rivlet.wait_for_state("connected")
    sender.process.send_signal(signal.SIGSTOP)
    rivlet.wait_for_line("SRT sender stalled; listening again", timeout=20)
    offline = rivlet.wait_for_state("offline", after=connected)
    rivlet.wait_for_state("listening", after=offline)
    assert "SRT sender disconnected; listening again" not in rivlet.stdout


def test_mpeg2_video_is_refused_and_rivlet_listens_again(start_rivlet, senders):
    rivlet = start_rivlet()
    senders(rivlet.port, codec="mpeg2video", seconds=2)
    refused = rivlet.wait_for_state("error", "expected H.264 video")
    rivlet.wait_for_line("expected H.264 video", stream="stderr")
    rivlet.wait_for_state("listening", after=refused)
    assert not os.path.exists(os.path.join(rivlet.workdir, PREVIEW))


def test_unsupported_dimensions_are_refused(start_rivlet, senders):
    rivlet = start_rivlet()
    senders(rivlet.port, size="8200x16", seconds=2)
    refused = rivlet.wait_for_state("error", "video dimensions are not supported")
    rivlet.wait_for_state("listening", after=refused)
    assert not os.path.exists(os.path.join(rivlet.workdir, PREVIEW))


def raw_bytes_sender(senders, port, path):
    """Pushes the bytes of path unchanged, paced at 200 kB/s, through ffmpeg's raw u8 format."""
    return senders(port, input_args=["-f", "u8", "-ar", "200000", "-ac", "1", "-i", str(path),
                                     "-c", "copy", "-f", "u8"])


def test_garbage_and_damaged_streams_leave_rivlet_listening(start_rivlet, senders, tmp_path):
    good = tmp_path / "good.ts"
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-f", "lavfi",
                    "-i", "testsrc2=size=320x180:rate=30", "-t", "2", "-pix_fmt", "yuv420p",
                    "-c:v", "libx264", "-preset", "ultrafast", "-g", "10", "-f", "mpegts",
                    str(good)], check=True, timeout=60)
    data = bytearray(good.read_bytes())
    rng = random.Random(5)
    garbage = bytes(rng.getrandbits(8) for _ in range(200000))
    flipped = bytearray(data)
    for _ in range(len(flipped) // 200):
        flipped[rng.randrange(len(flipped))] ^= 1 << rng.randrange(8)
    truncated = data[:len(data) // 3 + 77]
    inputs = {"garbage": garbage, "flipped": bytes(flipped), "truncated": bytes(truncated)}

    rivlet = start_rivlet(extra_env={"ASAN_OPTIONS": "detect_leaks=1:abort_on_error=1"})
    for name, payload in inputs.items():
        path = tmp_path / f"{name}.bin"
        path.write_bytes(payload)
        raw_bytes_sender(senders, rivlet.port, path).wait()
        rivlet.wait_until_listening_again()
        assert rivlet.process.poll() is None, name
    assert ("error", "cannot listen for SRT") in rivlet.states()  # the garbage
    if os.path.exists(os.path.join(rivlet.workdir, PREVIEW)):
        preview_shape(rivlet)

    # A sender that vanishes mid-stream, then a good one: still served.
    vanishing = senders(rivlet.port, seconds=30)
    connected = rivlet.wait_for_state("connected", after=len(rivlet.history()))
    vanishing.process.kill()
    rivlet.wait_for_line("SRT sender stalled; listening again")
    rivlet.wait_for_state("listening", after=connected, timeout=20)
    seen = len(rivlet.history())
    senders(rivlet.port, seconds=2)
    rivlet.wait_for_state("connected", after=seen)
