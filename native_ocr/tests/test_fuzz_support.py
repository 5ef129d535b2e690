"""The reference count check of the random-argument tests catches what it is there for."""
import ctypes

from fuzz_support import call_checked

KEPT = []
CACHE = {}


def keeps(value):
    KEPT.append(value)


def caches_once(value):
    CACHE.setdefault("first", value)


def drops(value):
    ctypes.pythonapi.Py_DecRef(ctypes.py_object(value))


def test_leaks_and_drops_are_reported_and_first_use_caches_are_not():
    arg = ["payload"]
    assert call_checked(keeps, [arg], {}, ())[2]
    assert call_checked(caches_once, [arg], {}, ())[2] == []
    try:
        assert call_checked(drops, [], {"value": arg}, ())[2]
    finally:
        ctypes.pythonapi.Py_IncRef(ctypes.py_object(arg))
    nested = {"zone": {"width": ["w"]}}
    assert call_checked(lambda z: keeps(z["zone"]["width"]), [nested], {}, ())[2]

