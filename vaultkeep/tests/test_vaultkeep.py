"""vaultkeep end to end: the built program run against keychain files in temporary directories."""

import os
import stat
import struct
import subprocess
import zlib

import pytest

VAULTKEEP = os.environ["VAULTKEEP"]
FAILED = "Plintor Keychain operation failed (OSStatus {})\n"
MIB = 1024 * 1024


def run(*args, secret=b"", env=None, stdout=subprocess.PIPE, timeout=60):
    return subprocess.run([VAULTKEEP, *args], input=secret, stdout=stdout,
                          stderr=subprocess.PIPE, env=env, timeout=timeout, check=False)


def parse_keychain(data):
    """Decodes a keychain file as its format document describes it: {(service, account): item}."""
    assert data[:8] == b"VKCHAIN\0"
    version, count = struct.unpack_from("<II", data, 8)
    assert version == 1
    assert struct.unpack_from("<I", data, len(data) - 4)[0] == zlib.crc32(data[:-4])
    pos = 16

    def take(size):
        nonlocal pos
        chunk = data[pos:pos + size]
        pos += size
        return chunk

    def field():
        return take(struct.unpack("<I", take(4))[0])

    items = {}
    for _ in range(count):
        service, account, secret = field(), field(), field()
        access = None
        if take(1) == b"\x01":
            descriptor = field()
            apps = [field() for _ in range(struct.unpack("<I", take(4))[0])]
            access = (descriptor, apps)
        items[(service, account)] = (secret, access)
    assert pos == len(data) - 4
    return items


@pytest.fixture(name="kc")
def fixture_kc(tmp_path):
    """Keychain arguments for a keychain file in a directory that does not exist yet."""
    return ["--keychain", str(tmp_path / "chains" / "test.keychain")]


def keychain_path(kc):
    return kc[1]


def test_missing_item_gives_44_and_creates_nothing(kc, tmp_path):
    for args in (["read", "svc", "acct"], ["delete", "svc", "acct"],
                 ["grant-app", "svc", "acct", "/bin/sh"]):
        result = run(*args, *kc)
        assert (result.returncode, result.stdout, result.stderr) == (44, b"", b""), args
    assert not (tmp_path / "chains").exists()


def test_secret_round_trips_exactly(kc):
    secret = bytes(range(256)) + b"\x00\x00tail\n"
    assert run("create", "svc", "acct", *kc, secret=secret).returncode == 0
    result = run("read", "svc", "acct", *kc)
    assert (result.returncode, result.stdout, result.stderr) == (0, secret, b"")
    # The trailing newline belongs to the secret.
    assert run("upsert", "svc", "acct", *kc, secret=b"line\n").returncode == 0
    assert run("read", "svc", "acct", *kc).stdout == b"line\n"


def test_create_existing_gives_45_and_upsert_replaces(kc):
    assert run("create", "svc", "acct", *kc, secret=b"first").returncode == 0
    result = run("create", "svc", "acct", *kc, secret=b"second")
    assert (result.returncode, result.stderr) == (45, b"")
    assert run("read", "svc", "acct", *kc).stdout == b"first"
    assert run("upsert", "svc", "acct", *kc, secret=b"third").returncode == 0
    assert run("read", "svc", "acct", *kc).stdout == b"third"
    assert run("upsert", "svc", "other", *kc, secret=b"added").returncode == 0
    assert run("delete", "svc", "acct", *kc).returncode == 0
    assert run("read", "svc", "acct", *kc).returncode == 44
    assert run("read", "svc", "other", *kc).stdout == b"added"


@pytest.mark.parametrize("command", ["create", "upsert"])
def test_unusable_secret_gives_1_before_any_change(kc, tmp_path, command):
    for secret in (b"", b"x" * (2 * MIB), b"y" * (MIB + 1)):
        result = run(command, "svc", "acct", *kc, secret=secret)
        assert (result.returncode, result.stdout, result.stderr) == (1, b"", b"")
    assert not (tmp_path / "chains").exists()
    assert run("create", "svc", "acct", *kc, secret=b"kept").returncode == 0
    assert run(command, "svc", "acct", *kc, secret=b"z" * (2 * MIB)).returncode == 1
    assert run("read", "svc", "acct", *kc).stdout == b"kept"


def test_largest_secret_is_accepted(kc):
    secret = bytes(i % 251 for i in range(MIB))
    assert run("create", "svc", "acct", *kc, secret=secret).returncode == 0
    assert run("read", "svc", "acct", *kc).stdout == secret


@pytest.mark.parametrize("args", [
    [],
    ["read"],
    ["read", "svc"],
    ["read", "", "acct"],
    ["read", "svc", ""],
    ["read", "svc", "acct", "--keychain"],
    ["read", "svc", "acct", "extra"],
    ["create", "svc", "acct", "extra", "--keychain", "k"],
    ["read", "svc", "acct", "--keychain", "k", "extra"],
    ["upsert", "svc", "acct", "--other", "k"],
    ["grant-app", "svc", "acct"],
    ["grant-app", "svc", "acct", ""],
    ["grant-app", "svc", "acct", "", "--keychain", "k"],
    ["grant-app", "svc", "acct", "/bin/sh", "--keychain"],
    ["grant-app", "svc", "acct", "/bin/sh", "extra", "k"],
    ["list", "svc", "acct"],
    ["list", "svc", "acct", "--keychain", "k"],
])
def test_invalid_command_line_gives_2_silently(args, tmp_path):
    result = subprocess.run([VAULTKEEP, *args], stdin=subprocess.DEVNULL, capture_output=True,
                            cwd=tmp_path, timeout=60, check=False)
    assert (result.returncode, result.stdout, result.stderr) == (2, b"", b"")
    assert not list(tmp_path.iterdir())


def test_help_shows_the_commands():
    result = run("--help")
    assert result.returncode == 0
    for word in (b"read", b"delete", b"create", b"upsert", b"grant-app", b"--keychain"):
        assert word in result.stdout


def test_files_are_private_and_no_temporary_file_remains(kc, tmp_path):
    assert run("create", "svc", "acct", *kc, secret=b"s").returncode == 0
    assert run("upsert", "svc", "acct", *kc, secret=b"t").returncode == 0
    assert run("create", "svc", "acct", *kc, secret=b"u").returncode == 45
    path = keychain_path(kc)
    assert stat.S_IMODE(os.stat(path).st_mode) == 0o600
    assert stat.S_IMODE(os.stat(tmp_path / "chains").st_mode) == 0o700
    assert sorted(os.listdir(tmp_path / "chains")) == ["test.keychain", "test.keychain.lock"]


@pytest.mark.parametrize("content,status", [
    (b"not a keychain\n" * 4, -25295),
    (b"", -25295),
    (b"VKCHAIN\0\x02\0\0\0\0\0\0\0\0\0\0\0", -25310),
])
def test_unusable_keychain_file_is_reported_and_left_alone(tmp_path, content, status):
    path = tmp_path / "bad.keychain"
    path.write_bytes(content)
    for args, secret in ((["read"], b""), (["create"], b"s"), (["upsert"], b"s"),
                         (["delete"], b"")):
        result = run(*args, "svc", "acct", "--keychain", str(path), secret=secret)
        assert (result.returncode, result.stdout) == (1, b""), args
        assert result.stderr.decode() == FAILED.format(status)
    assert path.read_bytes() == content


def test_keychain_path_that_is_a_fifo_is_refused_without_waiting(tmp_path):
    path = tmp_path / "fifo.keychain"
    os.mkfifo(path)
    for args, secret in ((["read"], b""), (["create"], b"s"), (["upsert"], b"s"),
                         (["delete"], b"")):
        # No process ever opens the other end: a blocking open would never return.
        result = run(*args, "svc", "acct", "--keychain", str(path), secret=secret, timeout=10)
        assert (result.returncode, result.stdout) == (1, b""), args
        assert result.stderr.decode() == FAILED.format(-25295)
    assert stat.S_ISFIFO(os.lstat(path).st_mode)


@pytest.mark.parametrize("plant", ["fifo", "symlink"])
def test_lock_name_that_is_not_a_regular_file_is_refused(kc, tmp_path, plant):
    assert run("create", "svc", "acct", *kc, secret=b"s").returncode == 0
    lock = keychain_path(kc) + ".lock"
    os.unlink(lock)
    victim = tmp_path / "outside"
    if plant == "fifo":
        os.mkfifo(lock)
    else:
        os.symlink(victim, lock)
    result = run("upsert", "svc", "acct", *kc, secret=b"t", timeout=10)
    assert (result.returncode, result.stderr.decode()) == (1, FAILED.format(-36))
    assert not victim.exists()
    assert run("read", "svc", "acct", *kc).stdout == b"s"


def test_truncated_keychain_file_is_refused(kc):
    assert run("create", "svc", "acct", *kc, secret=b"secret").returncode == 0
    path = keychain_path(kc)
    with open(path, "rb") as f:
        whole = f.read()
    with open(path, "wb") as f:
        f.write(whole[:-3])
    result = run("read", "svc", "acct", *kc)
    assert (result.returncode, result.stdout) == (1, b"")
    assert result.stderr.decode() == FAILED.format(-25295)


def test_keychain_that_cannot_be_opened_is_reported_before_the_command_word():
    result = run("nonsense", "svc", "acct", "--keychain", "")
    assert (result.returncode, result.stderr.decode()) == (1, FAILED.format(-25294))


def test_grant_app_stores_this_program_then_app(kc, tmp_path):
    app = tmp_path / "Helper"
    app.write_bytes(b"#!/bin/sh\n")
    assert run("create", "svc", "acct", *kc, secret=b"s\0").returncode == 0
    result = run("grant-app", "svc", "acct", str(tmp_path / "." / "Helper"), *kc)
    assert (result.returncode, result.stdout, result.stderr) == (0, b"", b"")
    with open(keychain_path(kc), "rb") as f:
        items = parse_keychain(f.read())
    secret, access = items[(b"svc", b"acct")]
    assert secret == b"s\0"
    expected = [os.path.realpath(VAULTKEEP).encode(), os.path.realpath(app).encode()]
    assert access == (b"Plintor", expected)

    result = run("grant-app", "svc", "acct", str(tmp_path / "missing"), *kc)
    assert (result.returncode, result.stderr.decode()) == (1, FAILED.format(-50))


def test_default_keychain_lives_under_the_data_directory(tmp_path):
    env = dict(os.environ, XDG_DATA_HOME=str(tmp_path / "data"))
    assert run("create", "svc", "acct", secret=b"d", env=env).returncode == 0
    assert run("read", "svc", "acct", env=env).stdout == b"d"
    path = tmp_path / "data" / "keychains" / "login.keychain"
    assert parse_keychain(path.read_bytes())[(b"svc", b"acct")][0] == b"d"
    assert stat.S_IMODE(os.stat(path.parent).st_mode) == 0o700


def test_failed_write_of_the_secret_gives_1(kc):
    assert run("create", "svc", "acct", *kc, secret=b"s").returncode == 0
    read_end, write_end = os.pipe()
    os.close(read_end)
    try:
        result = run("read", "svc", "acct", *kc, stdout=write_end)
    finally:
        os.close(write_end)
    assert (result.returncode, result.stderr) == (1, b"")


def start_all(commands, tmp_path):
    """Starts every (args, secret) at once, each reading its secret from a file."""
    processes = []
    for index, (args, secret) in enumerate(commands):
        source = tmp_path / f"in{index}"
        source.write_bytes(secret)
        with open(source, "rb") as stdin:
            processes.append(subprocess.Popen([VAULTKEEP, *args], stdin=stdin,
                                              stdout=subprocess.PIPE, stderr=subprocess.PIPE))
    results = []
    for process in processes:
        out, err = process.communicate(timeout=120)
        results.append((process.returncode, out, err))
    return results


def test_concurrent_upserts_of_different_accounts_all_land(kc, tmp_path):
    commands = [(["upsert", "svc", f"acct{i}", *kc], f"secret-{i}\n".encode()) for i in range(32)]
    assert start_all(commands, tmp_path) == [(0, b"", b"")] * 32
    with open(keychain_path(kc), "rb") as f:
        items = parse_keychain(f.read())
    assert {account: item[0] for (_, account), item in items.items()} == {
        f"acct{i}".encode(): f"secret-{i}\n".encode() for i in range(32)}


def test_concurrent_upserts_of_one_account_leave_one_intact_item(kc, tmp_path):
    secrets = [bytes([i]) * (1000 + i) for i in range(32)]
    results = start_all([(["upsert", "svc", "acct", *kc], s) for s in secrets], tmp_path)
    # An upsert that finds no item and then loses the race to add it reports 45.
    assert all(code in (0, 45) and out == b"" and err == b"" for code, out, err in results)
    assert any(code == 0 for code, _, _ in results)
    with open(keychain_path(kc), "rb") as f:
        items = parse_keychain(f.read())
    assert list(items) == [(b"svc", b"acct")]
    assert items[(b"svc", b"acct")][0] in secrets
    assert run("read", "svc", "acct", *kc).stdout in secrets
