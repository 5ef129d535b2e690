"""A caller that pauses for less than the five seconds of a stall, then sends its last frames and
closes, has disconnected: it did not stall."""
import subprocess
import time

CLIP_SECONDS = 4.0
PAUSE_SECONDS = 4.4
LAST_FRAMES_SECONDS = 0.3  # the close follows the pause by well under a second


def make_clip(path):
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-f", "lavfi",
                    "-i", "testsrc2=size=320x180:rate=30", "-t", str(CLIP_SECONDS),
                    "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "ultrafast",
                    "-tune", "zerolatency", "-g", "30", "-f", "mpegts", str(path)], check=True)
    return path.read_bytes()


def write_paced(stream, data, seconds):
    """Writes data in 188-byte aligned pieces spread over the given time."""
    pieces = max(1, int(seconds / 0.02))
    step = max(188, len(data) // pieces // 188 * 188)
    for start in range(0, len(data), step):
        stream.write(data[start:start + step])
        stream.flush()
        time.sleep(0.02)


def test_pause_then_last_frames_then_close_is_a_disconnect(start_rivlet, tmp_path):
    data = make_clip(tmp_path / "clip.ts")
    rivlet = start_rivlet()
    # ffmpeg forwards what it reads at once (no -re, no probing delay); the pacing is ours.
    caller = subprocess.Popen(
        ["ffmpeg", "-hide_banner", "-loglevel", "error", "-fflags", "nobuffer",
         "-probesize", "32", "-analyzeduration", "0", "-f", "mpegts", "-i", "pipe:0",
         "-c", "copy", "-f", "mpegts", f"srt://127.0.0.1:{rivlet.port}?mode=caller"],
        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        first = len(data) // 2 // 188 * 188
        write_paced(caller.stdin, data[:first], CLIP_SECONDS / 2)
        rivlet.wait_for_state("connected", timeout=10)
        time.sleep(PAUSE_SECONDS)
        write_paced(caller.stdin, data[first:], LAST_FRAMES_SECONDS)
        caller.stdin.close()
        rivlet.wait_for_line("SRT sender disconnected; listening again", timeout=20)
        assert "SRT sender stalled; listening again" not in rivlet.stdout
    finally:
        if caller.poll() is None:
            caller.kill()
        caller.wait(timeout=10)
