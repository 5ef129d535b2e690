"""A caller whose process is frozen for less than the five seconds of a stall (SIGSTOP, then
SIGCONT), and which then sends its remaining frames and closes, has disconnected: it did not
stall. And one frozen for good has stalled."""
import signal
import time

PAUSE_SECONDS = 4.4


def test_frozen_caller_that_resumes_and_closes_has_disconnected(start_rivlet, senders):
    rivlet = start_rivlet()
    sender = senders(rivlet.port, seconds=4.0)
    rivlet.wait_for_state("connected", timeout=15)
    time.sleep(0.5)
    sender.process.send_signal(signal.SIGSTOP)
    time.sleep(PAUSE_SECONDS)
    sender.process.send_signal(signal.SIGCONT)
    assert sender.wait(timeout=30) == 0
    rivlet.wait_for_line("listening again", timeout=20)
    assert "SRT sender disconnected; listening again" in rivlet.stdout, rivlet.stdout
    assert "SRT sender stalled; listening again" not in rivlet.stdout


def test_frozen_caller_has_stalled(start_rivlet, senders):
    rivlet = start_rivlet()
    sender = senders(rivlet.port, seconds=30.0)
    rivlet.wait_for_state("connected", timeout=15)
    sender.process.send_signal(signal.SIGSTOP)
    rivlet.wait_for_line("listening again", timeout=20)
    assert "SRT sender stalled; listening again" in rivlet.stdout, rivlet.stdout
