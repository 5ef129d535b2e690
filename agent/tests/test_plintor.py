"""End-to-end tests of the Plintor agent: a real bundle in a temporary directory, a supervisor
written here as a shell script, and xdg-open replaced by a script that records what was opened."""

import json
import os
import signal
import subprocess
import time

import pytest

AGENT = os.environ["PLINTOR_BIN"]
MAKE_BUNDLE = os.environ["PLINTOR_MAKE_BUNDLE"]
UPDATE_DOMAIN = os.environ["PLINTOR_UPDATE_DOMAIN"]

NO_CONFIRMATION = ("Plintor could not confirm which agent is already running. "
                   "No second agent was started.")


def wait_for(predicate, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def supervisor(prepare='echo \'{"action":"start"}\' >"$logs/plintor-launch.json"',
               launcher='trap \'echo stopped >>"$HOME/events"; exit 0\' TERM\n'
                        '    while :; do sleep 0.1; done',
               shutdown="exit 0", logs="Plintor"):
    """A supervisor that records each run as '<pid>|<args>|<cwd>|<PLINTOR_QA>|<PLINTOR_UPDATE_TEST>'
    in $HOME/calls."""
    return f"""#!/bin/sh
logs="$HOME/Library/Logs/{logs}"
mkdir -p "$logs"
echo "$$|$*|$(pwd)|${{PLINTOR_QA-unset}}|${{PLINTOR_UPDATE_TEST-unset}}" >>"$HOME/calls"
case "$1" in
  --plintor-prepare) {prepare} ;;
  --plintor-shutdown) {shutdown} ;;
  *)
    {launcher} ;;
esac
"""


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    with open(f"/proc/{pid}/stat") as stat:  # a zombie has ended too
        return stat.read().split(") ")[-1][0] != "Z"


class Setup:
    def __init__(self, root):
        self.root = root
        self.home = root / "home"
        self.home.mkdir()
        bin_dir = root / "bin"
        bin_dir.mkdir()
        opener = bin_dir / "xdg-open"
        opener.write_text('#!/bin/sh\necho "$1" >>"$OPENED"\n')
        opener.chmod(0o755)
        self.opened_file = root / "opened"
        self.env = dict(os.environ, HOME=str(self.home), OPENED=str(self.opened_file),
                        PATH=f"{bin_dir}:{os.environ.get('PATH', '/usr/bin:/bin')}")
        self.app = root / "Plintor.app"
        self.process = None

    def bundle(self, script, *plist, icon=False):
        path = self.root / "supervisor.sh"
        path.write_text(script)
        args = [MAKE_BUNDLE, str(self.app), AGENT, str(path), *plist]
        if icon:
            (self.root / "icon.png").write_bytes(b"\x89PNG")
            args += ["--icon", str(self.root / "icon.png")]
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
        return self.app / "Contents/Resources/agent/Plintor"

    def start(self, *args):
        self.stdout = open(self.root / "stdout", "w")
        self.stderr = open(self.root / "stderr", "w")
        self.process = subprocess.Popen([str(self.app / "Contents/MacOS/Plintor"), *args],
                                        env=self.env, stdout=self.stdout, stderr=self.stderr,
                                        stdin=subprocess.DEVNULL)
        return self.process

    def wait_exit(self, timeout=10):
        code = self.process.wait(timeout=timeout)
        self.stdout.close()
        self.stderr.close()
        return code

    def stop(self, signal_number=signal.SIGTERM, timeout=10):
        self.process.send_signal(signal_number)
        return self.wait_exit(timeout)

    def logs(self, name="Plintor"):
        return self.home / "Library/Logs" / name

    def calls(self):
        path = self.home / "calls"
        return [line.split("|") for line in path.read_text().splitlines()] if path.exists() else []

    def opened(self):
        return self.opened_file.read_text().splitlines() if self.opened_file.exists() else []

    def text(self, name):
        return (self.root / name).read_text()


@pytest.fixture
def setup(tmp_path):
    s = Setup(tmp_path)
    yield s
    if s.process and s.process.poll() is None:
        s.process.kill()
        s.process.wait()
    for call in s.calls():
        if alive(int(call[0])):
            os.kill(int(call[0]), signal.SIGKILL)


def test_help_and_bad_arguments():
    done = subprocess.run([AGENT, "--help"], capture_output=True, text=True, check=False)
    assert done.returncode == 0 and "Usage: Plintor" in done.stdout
    done = subprocess.run([AGENT, "not a url"], capture_output=True, text=True, check=False)
    assert done.returncode == 2 and "not a URL" in done.stderr


@pytest.mark.parametrize("quit_signal", [signal.SIGTERM, signal.SIGINT, signal.SIGHUP])
def test_launcher_runs_with_its_mode_and_stops_with_the_agent(setup, quit_signal):
    supervisor_path = setup.bundle(supervisor(logs="Plintor-QA"),
                                   "--string", "PLINTORQAMode", "1", icon=True)
    setup.start()
    assert wait_for(lambda: len(setup.calls()) == 2)
    prepare, launcher = setup.calls()
    assert prepare[1:] == ["--plintor-prepare", os.getcwd(), "1", "unset"]
    assert launcher[1:] == ["", str(supervisor_path.parent), "1", "unset"]
    assert setup.stop(quit_signal) == 0
    assert (setup.home / "events").read_text() == "stopped\n"
    assert not alive(int(launcher[0]))
    out = setup.text("stdout")
    assert "Status item: Plintor (Plintor is running) with image\n" in out
    assert "  Open Plintor\n  View Logs\n  ----\n  0.3.0 (disabled)\n  Quit Plintor [q]\n" in out
    assert setup.text("stderr") == ""


def test_hand_over_opens_the_interface_and_the_agent_stays(setup):
    setup.bundle(supervisor(launcher='echo " http://127.0.0.1:9123 " >"$logs/plintor-url"; exit 10'))
    setup.start()
    assert wait_for(lambda: setup.opened() == ["http://127.0.0.1:9123"])
    time.sleep(0.3)
    assert setup.process.poll() is None
    assert setup.stop() == 0
    assert len(setup.calls()) == 2  # the decision was "start": no shutdown run


@pytest.mark.parametrize("launcher,message", [
    ("exit 0", "The Plintor launcher stopped."),
    ("exit 4", "Plintor could not continue (exit code 4)."),
])
def test_launcher_ending_shows_an_alert_and_ends_the_agent(setup, launcher, message):
    setup.bundle(supervisor(launcher=launcher))
    setup.start()
    assert setup.wait_exit() == 0
    expected = f"{message}\n\nSee the log at:\n{setup.logs()}/plintor.log\n"
    assert expected in setup.text("stderr")
    assert expected in (setup.logs() / "plintor-agent.log").read_text()


@pytest.mark.parametrize("problem", ["missing", "not executable", "prepare fails", "bad decision"])
def test_unusable_supervisor_ends_the_agent_with_one_alert(setup, problem):
    path = setup.bundle(supervisor(prepare="exit 1" if problem == "prepare fails" else
                                   'head -c 3000000 /dev/zero >"$logs/plintor-launch.json"'))
    if problem == "missing":
        path.unlink()
    elif problem == "not executable":
        path.chmod(0o644)
    setup.start()
    if problem == "bad decision":  # an unreadable decision means "start"
        assert wait_for(lambda: len(setup.calls()) == 2)
        assert setup.stop() == 0
        return
    assert setup.wait_exit() == 0
    stderr = setup.text("stderr")
    assert stderr.count(" alert: Plintor\n") == 1
    assert (setup.logs() / "plintor-agent.log").read_text() == stderr
    if problem == "prepare fails":
        assert NO_CONFIRMATION in stderr
    else:
        assert f"The packaged Plintor supervisor is missing:\n{path}\n" in stderr


def test_adopt_opens_the_ready_interface_and_quit_runs_the_shutdown_step(setup):
    setup.bundle(supervisor(
        prepare='echo \'{"action":"adopt"}\' >"$logs/plintor-launch.json"; '
                'echo http://localhost:9200 >"$logs/plintor-url"',
        shutdown='echo shutdown >>"$HOME/events"'))
    setup.start()
    assert wait_for(lambda: setup.opened() == ["http://localhost:9200"])
    assert setup.stop() == 0
    assert [call[1] for call in setup.calls()] == ["--plintor-prepare", "--plintor-shutdown"]
    assert (setup.home / "events").read_text() == "shutdown\n"


def test_app_open_request_opens_once_when_the_address_appears(setup):
    setup.bundle(supervisor(launcher='sleep 1.5; echo http://127.0.0.1:9300 >"$logs/plintor-url"\n'
                                     '    exec sleep 60'))
    setup.start("plintor://open", "PLINTOR://OPEN", "plintor://open/")
    assert wait_for(lambda: setup.opened() == ["http://127.0.0.1:9300"])
    time.sleep(0.5)
    assert setup.opened() == ["http://127.0.0.1:9300"]
    assert setup.stop() == 0


def test_update_driver_publishes_status_and_consumes_commands(setup):
    setup.bundle(supervisor(logs="Plintor-Update-Test"),
                 "--bool", "PLINTORUpdateTest", "true",
                 "--string", "SUFeedURL", "http://127.0.0.1:8731/appcast.xml",
                 "--string", "SUPublicEDKey", "c2VjcmV0")
    logs = setup.logs("Plintor-Update-Test")
    status = logs / "plintor-sparkle-status.json"
    command = logs / "plintor-sparkle-command"
    setup.start()
    assert wait_for(status.exists)
    document = json.loads(status.read_text())
    assert document == {
        "update_available": False, "version": "", "build": None, "current_version": "0.3.0",
        "current_build": 300, "notes": "", "download_url": "", "installable": False,
        "phase": "idle", "bytes_downloaded": 0, "bytes_total": 0, "progress_percent": 0,
        "error": None}
    assert wait_for(lambda: len(setup.calls()) == 2)
    assert setup.calls()[1][4] == "1"
    command.mkdir()  # a directory at the command path is left alone
    time.sleep(0.6)
    assert setup.process.poll() is None and command.is_dir()
    command.rmdir()
    command.write_text("download\n")
    assert wait_for(lambda: not command.exists(), timeout=3)
    assert setup.stop() == 0


def test_feed_outside_the_permitted_hosts_starts_no_update_driver(setup):
    setup.bundle(supervisor(),
                 "--string", "SUFeedURL", f"https://{UPDATE_DOMAIN}:8443/appcast.xml",
                 "--string", "SUPublicEDKey", "c2VjcmV0")
    setup.start()
    assert wait_for(lambda: len(setup.calls()) == 2)
    time.sleep(0.3)
    assert not (setup.logs() / "plintor-sparkle-status.json").exists()
    assert setup.stop() == 0


def test_launcher_ignoring_sigterm_is_killed_eight_seconds_after_quit(setup):
    setup.bundle(supervisor(launcher="trap '' TERM; touch \"$HOME/ready\"\n"
                                     "    while :; do sleep 0.1; done"))
    setup.start()
    assert wait_for(lambda: (setup.home / "ready").exists())
    launcher_pid = int(setup.calls()[1][0])
    started = time.monotonic()
    assert setup.stop(timeout=30) == 0
    elapsed = time.monotonic() - started
    assert 7.5 <= elapsed < 20, elapsed
    assert not alive(launcher_pid)
