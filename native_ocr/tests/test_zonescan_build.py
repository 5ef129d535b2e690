"""The built module: stable-ABI file, imports in a fresh interpreter, installs with cmake."""
import os
import pathlib
import shutil
import subprocess
import sys

import pytest

from native_ocr import zonescan as z

BUILD_DIR = pathlib.Path(os.environ.get("PROJECT_BUILD_DIR", ""))
# Underscored names that belong to the stable ABI all the same: what the limited API's macros refer
# to (reference counting, singletons) and the PY_SSIZE_T_CLEAN variants of the varargs calls.
STABLE_PRIVATE = {"_Py_Dealloc", "_Py_NoneStruct", "_Py_TrueStruct", "_Py_FalseStruct",
                  "_Py_NotImplementedStruct", "_Py_EllipsisObject", "_Py_IncRef", "_Py_DecRef",
                  "_Py_BuildValue_SizeT", "_PyObject_CallFunction_SizeT",
                  "_PyObject_CallMethod_SizeT", "_PyArg_ParseTuple_SizeT"}


def test_the_module_file_carries_the_abi3_tag():
    path = pathlib.Path(z.__file__)
    assert path.name == "zonescan.abi3.so"
    assert path.parent.name == "native_ocr"


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs binutils")
def test_the_module_uses_no_private_interpreter_symbols():
    out = subprocess.run(["nm", "-D", "--undefined-only", z.__file__], check=True,
                         capture_output=True, text=True).stdout
    names = {line.split()[-1].split("@")[0] for line in out.splitlines() if line.strip()}
    private = {n for n in names if n.startswith("_Py") and n not in STABLE_PRIVATE}
    assert not private
    assert "PyInit_zonescan" not in names


def test_imports_in_a_fresh_interpreter_with_numpy_and_cv2():
    code = ("import sys, native_ocr.zonescan as z; "
            "assert 'cv2' in sys.modules and 'numpy' in sys.modules; "
            "assert z.np is sys.modules['numpy'] and z.cv2 is sys.modules['cv2']; "
            "print(z.normalize_settings()['threshold'])")
    out = subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, text=True,
                         env=dict(os.environ))
    assert out.stdout.strip() == "150"


@pytest.mark.skipif(not (BUILD_DIR / "CMakeCache.txt").exists(), reason="needs the build tree")
def test_installs_into_a_site_packages_directory(tmp_path):
    subprocess.run([shutil.which("cmake") or "cmake", "--install", str(BUILD_DIR), "--component",
                    "native_ocr", "--prefix", str(tmp_path / "prefix")],
                   check=True, capture_output=True)
    site = next((tmp_path / "prefix").rglob("native_ocr/zonescan.abi3.so")).parent.parent
    assert (site / "native_ocr" / "__init__.py").is_file()
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env["PYTHONPATH"] = str(site)
    code = ("import native_ocr.zonescan as z; print(z.__file__); "
            "print(z.clock_slots(100, 30)[2]['box'])")
    out = subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, text=True,
                         env=env, cwd=tmp_path)
    lines = out.stdout.splitlines()
    assert lines[0].startswith(str(site))
    assert lines[1] == "[47, 0, 52, 29]"
