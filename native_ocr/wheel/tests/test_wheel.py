"""The native_ocr wheel: built by the in-tree backend from this build directory, installed into a
fresh virtual environment and read from there."""
import json
import os
import re
import subprocess
import sys
import sysconfig
import zipfile
from pathlib import Path

import cv2
import pytest

SOURCE_DIR = Path(__file__).resolve().parents[3]
BUILD_DIR = Path(os.environ["PROJECT_BUILD_DIR"])
sys.path.insert(0, str(SOURCE_DIR / "native_ocr" / "tests"))
sys.path.insert(0, str(SOURCE_DIR / "native_ocr" / "wheel"))
import native_ocr_wheel as backend  # noqa: E402
import segsense_drawing as drawing  # noqa: E402

# Run by the virtual environment's interpreter, away from the source and build trees. The
# environment has no pip of its own: Debian's, from the system site-packages, installs into it.
SMOKE = """
import importlib.metadata, json, sys
import native_ocr
from native_ocr import segsense, zonescan
zone = {"x": 0.0, "y": 0.0, "width": 1.0, "height": 1.0, "role": "home_score"}
print(json.dumps({
    "file": native_ocr.__file__, "prefix": sys.prefix,
    "version": native_ocr.__version__, "dist": importlib.metadata.version("native_ocr"),
    "score": zonescan.read_score(zone, sys.argv[1])["value"],
    "segsense": segsense.__file__}))
"""


def clean_env():
    """The test's environment without the build tree on the path (sanitizer settings stay)."""
    return {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    out = tmp_path_factory.mktemp("dist")
    subprocess.run([sys.executable, "-m", "pip", "wheel", str(SOURCE_DIR), "--no-build-isolation",
                    "--no-deps", "--no-index", "--disable-pip-version-check", "--no-cache-dir",
                    "-q", "-w", str(out), "--config-settings", f"build-dir={BUILD_DIR}"],
                   check=True, env=clean_env())
    (found,) = out.glob("*.whl")
    return found


@pytest.fixture(scope="module")
def venv(wheel, tmp_path_factory):
    root = tmp_path_factory.mktemp("venv")
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", "--without-pip",
                    str(root)], check=True)
    python = root / "bin" / "python"
    subprocess.run([python, "-m", "pip", "install", "--no-deps", "--no-index",
                    "--disable-pip-version-check", "-q", str(wheel)], check=True, env=clean_env())
    return python


def project_version():
    return backend.cmake_cache_value(BUILD_DIR, "CMAKE_PROJECT_VERSION")


def test_wheel_is_one_stable_abi_wheel_with_both_modules_and_metadata(wheel):
    assert wheel.name == f"native_ocr-{project_version()}-cp311-abi3-{backend.platform_tag()}.whl"
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        dist_info = f"native_ocr-{project_version()}.dist-info"
        meta = archive.read(f"{dist_info}/METADATA").decode().splitlines()
        record = archive.read(f"{dist_info}/RECORD").decode().splitlines()
        assert {"native_ocr/__init__.py", "native_ocr/zonescan.abi3.so",
                "native_ocr/segsense.abi3.so", "native_ocr/zonescan.pyi",
                "native_ocr/segsense.pyi", "native_ocr/py.typed"} <= names
        assert not [n for n in names if "__pycache__" in n]
        # Every file but RECORD itself is listed with its own hash and size.
        for line in record:
            path, _, _ = line.partition(",")
            expected = f"{path},," if path.endswith("RECORD") else \
                backend.record_line(path, archive.read(path))
            assert line == expected
        assert {line.partition(",")[0] for line in record} == names
    assert f"Version: {project_version()}" in meta
    assert "Requires-Python: >=3.11" in meta
    assert {"Requires-Dist: numpy", "Requires-Dist: opencv-python"} <= set(meta)
    assert "Tag: cp311-abi3-" + backend.platform_tag() in \
        zipfile.ZipFile(wheel).read(f"{dist_info}/WHEEL").decode().splitlines()


def test_installed_wheel_imports_and_reads_from_the_environment(venv, tmp_path):
    grey = drawing.digit_display([4, 2])
    path = tmp_path / "preview.jpg"
    assert cv2.imwrite(str(path), cv2.cvtColor(grey, cv2.COLOR_GRAY2BGR))
    out = subprocess.run([venv, "-c", SMOKE, str(path)], check=True, capture_output=True,
                         text=True, cwd=tmp_path, env=clean_env()).stdout
    found = json.loads(out)
    assert found["file"].startswith(found["prefix"]) and found["prefix"] != sys.prefix
    assert found["segsense"].startswith(found["prefix"])
    assert found["version"] == found["dist"] == project_version()
    assert found["score"] == 42


def test_stubs_match_the_installed_modules(venv, tmp_path):
    allowlist = Path(__file__).with_name("stubtest_allowlist.txt")
    config = Path(__file__).with_name("mypy.ini")
    run = subprocess.run([venv, "-m", "mypy.stubtest", "native_ocr", "--allowlist", allowlist,
                          "--mypy-config-file", config],
                         capture_output=True, text=True, cwd=tmp_path, env=clean_env())
    assert run.returncode == 0, run.stdout + run.stderr


def readme_examples():
    """The README's Python examples, each block as one program."""
    text = (SOURCE_DIR / "README.md").read_text()
    return re.findall(r"^```python\n(.*?)^```", text, re.S | re.M)


def test_readme_examples_type_check_strictly_against_the_installed_stubs_and_run(venv, tmp_path):
    examples = readme_examples()
    assert examples
    files = []
    for i, example in enumerate(examples):
        files.append(tmp_path / f"readme_example_{i}.py")
        files[-1].write_text(example)
    config = Path(__file__).with_name("mypy.ini")
    run = subprocess.run([venv, "-m", "mypy", "--strict", "--config-file", config,
                          "--cache-dir", tmp_path / "cache", *files],
                         capture_output=True, text=True, cwd=tmp_path, env=clean_env())
    assert run.returncode == 0, run.stdout + run.stderr
    for file in files:  # and they run
        subprocess.run([venv, file], check=True, capture_output=True, cwd=tmp_path, env=clean_env())


def test_install_component_goes_to_the_interpreters_site_packages(tmp_path):
    prefix = backend.cmake_cache_value(BUILD_DIR, "CMAKE_INSTALL_PREFIX")
    site = os.path.join(prefix, backend.cmake_cache_value(BUILD_DIR, "NATIVE_OCR_INSTALL_DIR"))
    assert site == sysconfig.get_path("platlib") and site in sys.path
    # Staged under DESTDIR: a test never installs into the machine's own directories.
    subprocess.run(["cmake", "--install", BUILD_DIR, "--component", "native_ocr"], check=True,
                   stdout=subprocess.DEVNULL, env={**clean_env(), "DESTDIR": str(tmp_path)})
    installed = tmp_path / site.lstrip("/")
    assert {p.name for p in (installed / "native_ocr").iterdir()} >= {
        "__init__.py", "py.typed", "segsense.abi3.so", "segsense.pyi", "zonescan.abi3.so",
        "zonescan.pyi"}
    code = "import native_ocr.zonescan as z; print(z.__file__)"
    out = subprocess.run([sys.executable, "-c", code],
                         check=True, capture_output=True, text=True, cwd=tmp_path,
                         env={**clean_env(), "PYTHONPATH": str(installed)}).stdout
    assert out.startswith(str(installed))


def test_configuring_with_an_interpreter_without_numpy_says_so(tmp_path):
    bare = tmp_path / "bare"
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", str(bare)], check=True)
    run = subprocess.run(["cmake", "-S", SOURCE_DIR, "-B", tmp_path / "build",
                          f"-DPython_EXECUTABLE={bare / 'bin' / 'python'}",
                          "-DPROJECT_COMPONENTS=native_ocr", "-DBUILD_BENCHMARKS=OFF"],
                         capture_output=True, text=True, env=clean_env())
    assert run.returncode != 0
    assert "cannot import numpy" in " ".join(run.stderr.split())


def test_package_files_refuses_a_build_without_the_modules(tmp_path):
    (tmp_path / "__init__.py").write_text("")
    (tmp_path / "zonescan.abi3.so").write_bytes(b"")
    with pytest.raises(RuntimeError, match="segsense.abi3.so"):
        backend.package_files(tmp_path)
