"""The in-tree build backend (PEP 517) of the native_ocr wheel.

CMake builds the two extension modules into <build>/python/native_ocr/, beside the package's
__init__.py, stubs and py.typed; this backend packs that directory as one wheel for CPython 3.11
and later (stable ABI). The build directory is build/wheel under the source tree, or the one given
with the config setting build-dir (an existing build is reused as it is, only the two modules are
brought up to date).
"""
import base64
import hashlib
import os
import subprocess
import sys
import sysconfig
import tomllib
import zipfile
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[2]
MODULE_TARGETS = ("zonescan_module", "segsense_module")
PACKAGE_PATTERNS = ("*.py", "py.typed", "*.pyi", "*.abi3.so")
# The modules are built for the limited API of 3.11 (Py_LIMITED_API=0x030B0000).
ABI_TAG = "cp311-abi3"


def get_requires_for_build_wheel(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    build_dir = build_directory(config_settings)
    build_modules(build_dir)
    project = tomllib.loads((SOURCE_DIR / "pyproject.toml").read_text())["project"]
    version = cmake_cache_value(build_dir, "CMAKE_PROJECT_VERSION")
    files = package_files(build_dir / "python" / "native_ocr")
    name = f"native_ocr-{version}-{ABI_TAG}-{platform_tag()}.whl"
    write_wheel(Path(wheel_directory) / name, files, metadata(project, version), version)
    return name


def build_directory(config_settings):
    given = (config_settings or {}).get("build-dir")
    return Path(given).resolve() if given else SOURCE_DIR / "build" / "wheel"


def build_modules(build_dir):
    if not (build_dir / "CMakeCache.txt").exists():
        run(["cmake", "-S", SOURCE_DIR, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
             f"-DPython_EXECUTABLE={sys.executable}", "-DPROJECT_COMPONENTS=native_ocr",
             "-DBUILD_TESTING=OFF", "-DBUILD_BENCHMARKS=OFF"])
    run(["cmake", "--build", build_dir, "-j", os.environ.get("JOBS", "2"), "--target",
         *MODULE_TARGETS])


def run(command):
    # The backend's output is the build log pip shows on failure; keep it off pip's own stdout.
    subprocess.run([str(part) for part in command], check=True, stdout=sys.stderr)


def cmake_cache_value(build_dir, key):
    for line in (build_dir / "CMakeCache.txt").read_text().splitlines():
        name, _, value = line.partition("=")
        if name.split(":")[0] == key:
            return value
    raise RuntimeError(f"{key} is not in {build_dir}/CMakeCache.txt")


def platform_tag():
    return sysconfig.get_platform().replace("-", "_").replace(".", "_")


def package_files(package_dir):
    """(path inside the wheel, file) for every file of the package, in a stable order."""
    found = sorted({p for pattern in PACKAGE_PATTERNS for p in package_dir.glob(pattern)})
    names = {p.name for p in found}
    missing = [m for m in ("__init__.py", "zonescan.abi3.so", "segsense.abi3.so") if m not in names]
    if missing:
        raise RuntimeError(f"{package_dir} lacks {', '.join(missing)}")
    return [(f"native_ocr/{p.name}", p) for p in found]


def metadata(project, version):
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {version}",
             f"Summary: {project['description']}",
             f"Requires-Python: {project['requires-python']}"]
    lines += [f"Requires-Dist: {requirement}" for requirement in project["dependencies"]]
    return "\n".join(lines) + "\n"


def record_line(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{path},sha256={digest},{len(data)}"


def write_wheel(wheel_path, files, metadata_text, version):
    dist_info = f"native_ocr-{version}.dist-info"
    wheel_text = (f"Wheel-Version: 1.0\nGenerator: native_ocr_wheel\nRoot-Is-Purelib: false\n"
                  f"Tag: {ABI_TAG}-{platform_tag()}\n")
    entries = [(path, file.read_bytes()) for path, file in files]
    entries += [(f"{dist_info}/METADATA", metadata_text.encode()),
                (f"{dist_info}/WHEEL", wheel_text.encode())]
    record = [record_line(path, data) for path, data in entries] + [f"{dist_info}/RECORD,,"]
    entries.append((f"{dist_info}/RECORD", ("\n".join(record) + "\n").encode()))
    partial = wheel_path.with_name(wheel_path.name + ".part")
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as wheel:
        for path, data in entries:
            info = zipfile.ZipInfo(path, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = (0o755 if path.endswith(".so") else 0o644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
    partial.replace(wheel_path)
