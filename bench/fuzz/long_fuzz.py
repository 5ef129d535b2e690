"""A long random-argument run over every function of native_ocr.zonescan and native_ocr.segsense,
with the generators and checks of the CI tests (native_ocr/tests/test_*_fuzz.py). Not a test.

  /usr/bin/python3 bench/fuzz/long_fuzz.py --build build/asan --calls 100000 --seed 16

Call i (0-based) goes to function i mod (number of functions) with arguments drawn from
random.Random(f"{seed}:{i}"), so any call is reproduced alone with --first i --calls i+1. The calls
run in a worker process; the parent counts what the checks report and restarts the worker past a
call that killed it (a crash, sanitizer reports included) or made no progress for --timeout seconds
(a hang). A build configured with SANITIZE=ON gets its sanitizer runtimes preloaded, as ctest does.
Exit status 0 when every count of trouble is 0."""
import argparse
import os
import random
import re
import reprlib
import selectors
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
TESTS = os.path.join(ROOT, "native_ocr", "tests")
SANITIZER_REPORT = re.compile(
    r"ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: \w+Sanitizer")


def functions():
    import test_segsense_fuzz as sf
    import test_zonescan_fuzz as zf
    return [("zonescan", n) for n in zf.FUZZ_TABLE] + [("segsense", n) for n in sf.FUZZ_TABLE]


def worker(seed, first, last, folder):
    """Runs calls first .. last-1, one line per event on stdout: "b i name call" before a call,
    "e i outcome seconds" after it, "f i message" for a failed check."""
    import warnings
    import test_segsense_fuzz as sf
    import test_zonescan_fuzz as zf
    warnings.simplefilter("error")  # as the CI tests run (-W error)
    files = zf.files_in(__import__("pathlib").Path(folder))
    table = functions()
    out = sys.stdout
    out.write(f"m {zf.z.__file__} {sf.s.__file__}\n")
    for i in range(first, last):
        module, name = table[i % len(table)]
        rng = random.Random(f"{seed}:{i}")
        args, kwargs = zf.random_call(rng, name, files) if module == "zonescan" else \
            sf.random_call(rng, name)
        call = f"{module}.{name}({reprlib.repr(args)}, {reprlib.repr(kwargs)})"
        out.write(f"b {i} {call}\n")
        out.flush()
        start = time.perf_counter()
        failure = (zf if module == "zonescan" else sf).check_call(name, args, kwargs)
        elapsed = time.perf_counter() - start
        if failure:
            out.write(f"f {i} {failure}\n".replace("\n", " ").rstrip() + "\n")
        out.write(f"e {i} {elapsed:.4f}\n")
        out.flush()
        del args, kwargs


def environment(build):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([os.path.join(build, "python"), TESTS]),
               PYTHONDONTWRITEBYTECODE="1", OPENCV_LOG_LEVEL="ERROR")
    cache = os.path.join(build, "CMakeCache.txt")
    sanitized = os.path.exists(cache) and re.search(r"^SANITIZE:BOOL=ON$", open(cache).read(),
                                                    re.M)
    if sanitized:
        compiler = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.*)$", open(cache).read(), re.M).group(1)
        libs = [subprocess.run([compiler, f"-print-file-name={lib}"], capture_output=True,
                               text=True, check=True).stdout.strip()
                for lib in ("libasan.so", "libubsan.so")]
        env.update(LD_PRELOAD=":".join(libs),
                   ASAN_OPTIONS="detect_leaks=0:abort_on_error=1",
                   UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")
    return env, bool(sanitized)


class Tally:
    def __init__(self):
        self.calls = self.crashes = self.hangs = self.reports = self.refcounts = 0
        self.undocumented = self.wrong = 0
        self.slowest = []  # (seconds, call)
        self.problems = []
        self.modules = ""

    def failed(self, message):
        if "changed reference counts" in message:
            self.refcounts += 1
        elif "changed its argument" in message or "returned" in message:
            self.wrong += 1
        else:
            self.undocumented += 1
        self.problems.append(message)

    def timed(self, seconds, call):
        self.slowest = sorted(self.slowest + [(seconds, call)], reverse=True)[:5]


def run_worker(args, env, first, tally, log):
    """Runs a worker from call `first`; returns the call to restart from (args.calls when done)."""
    command = [sys.executable, os.path.abspath(__file__), "--worker", "--seed", str(args.seed),
               "--first", str(first), "--calls", str(args.calls), "--folder", args.folder]
    with tempfile.TemporaryFile("w+") as stderr:
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=stderr, env=env,
                                   text=True, bufsize=1)
        selector = selectors.DefaultSelector()
        selector.register(process.stdout, selectors.EVENT_READ)
        current, call = None, None
        while True:
            if not selector.select(timeout=args.timeout):
                tally.hangs += 1
                tally.problems.append(f"hang (over {args.timeout} s): call {current} {call}")
                process.kill()
                process.wait()
                return current + 1 if current is not None else first
            line = process.stdout.readline()
            if not line:
                break
            kind, index, rest = (line.rstrip("\n").split(" ", 2) + [""])[:3]
            if kind == "m" and not tally.modules:
                tally.modules = f"{index} {rest}"
                print(f"modules: {tally.modules}", flush=True)
            elif kind == "b":
                current, call = int(index), rest
            elif kind == "f":
                tally.failed(f"call {index}: {rest}")
            elif kind == "e":
                tally.calls += 1
                tally.timed(float(rest), call)
                current = None
        status = process.wait()
        stderr.seek(0)
        errors = stderr.read()
    reports = len(SANITIZER_REPORT.findall(errors))
    tally.reports += reports
    if errors.strip():
        log.write(f"--- worker from call {first}, exit {status}\n{errors}\n")
    if current is None and status == 0:
        return args.calls
    tally.crashes += 1
    tally.problems.append(
        f"crash (exit {status}, {reports} sanitizer lines): call {current} {call}")
    return current + 1 if current is not None else args.calls


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--calls", type=int, default=100000)
    parser.add_argument("--first", type=int, default=0)
    parser.add_argument("--seed", type=int, default=None, help="default: drawn and printed")
    parser.add_argument("--timeout", type=float, default=60.0, help="seconds per call")
    parser.add_argument("--log", default="long_fuzz.log", help="workers' standard error")
    parser.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--folder", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        sys.path.insert(0, TESTS)
        worker(args.seed, args.first, args.calls, args.folder)
        return 0
    if args.seed is None:
        args.seed = random.SystemRandom().randrange(10**6)
    env, sanitized = environment(os.path.abspath(args.build))
    args.folder = tempfile.mkdtemp(prefix="long_fuzz.")
    print(f"seed {args.seed}, calls {args.first} .. {args.calls - 1}, build {args.build}"
          f"{' (sanitizers preloaded)' if sanitized else ''}, timeout {args.timeout} s per call",
          flush=True)
    tally, started, first = Tally(), time.time(), args.first
    try:
        with open(args.log, "w") as log:
            while first < args.calls:
                first = run_worker(args, env, first, tally, log)
    finally:
        shutil.rmtree(args.folder, ignore_errors=True)
    for problem in tally.problems[:50]:
        print("  " + problem[:2000])
    print("slowest calls:")
    for seconds, call in tally.slowest:
        print(f"  {seconds:8.3f} s  {call[:300]}")
    print(f"{tally.calls} calls in {time.time() - started:.0f} s: {tally.crashes} crashes, "
          f"{tally.reports} sanitizer report lines, {tally.hangs} hangs, {tally.refcounts} "
          f"reference count changes, {tally.undocumented} undocumented errors, {tally.wrong} "
          f"wrong results")
    trouble = (tally.crashes + tally.reports + tally.hangs + tally.refcounts + tally.undocumented
               + tally.wrong)
    return 1 if trouble else 0


if __name__ == "__main__":
    sys.exit(main())
