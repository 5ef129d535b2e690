"""What the random-argument tests share: hostile arguments, the array forms a careless caller hands
over, and the check that a call leaves every argument's reference count as it found it.

The long run (bench/fuzz/long_fuzz.py) drives the same generators and checks."""
import gc
import sys

import numpy as np


class Hostile(Exception):
    """Raised by the hostile arguments below; it must pass through a call unchanged."""


# Errors a call may pass through from its arguments: theirs, and warnings the caller's filter turns
# into errors (numpy's about comparing an array with a string, under -W error).
PASSED_THROUGH = (Hostile, Warning)


class RaisingIndex:
    def __index__(self):
        raise Hostile("__index__")

    def __int__(self):
        raise Hostile("__int__")


class RaisingFloat:
    def __float__(self):
        raise Hostile("__float__")


class RaisingBool:
    def __bool__(self):
        raise Hostile("__bool__")


class RaisingItems:
    """A mapping and sequence lookalike whose every lookup raises."""

    def __len__(self):
        return 4

    def __getitem__(self, key):
        raise Hostile("__getitem__")

    def __iter__(self):
        raise Hostile("__iter__")

    def keys(self):
        return ["x", "y", "width", "height"]


class RaisingFloatItems(RaisingItems):
    """Items that are there but refuse to become numbers."""

    def __getitem__(self, key):
        if isinstance(key, int) and not 0 <= key < 4:
            raise IndexError(key)
        return RaisingFloat()

    def __iter__(self):
        return iter([RaisingFloat()] * 4)


class PhantomKeys:
    """A mapping whose keys() names keys (the processing keys and an extra one) that its item
    lookup then does not find."""

    def keys(self):
        return ["threshold", "extra", "blur", "morphology"]

    def __getitem__(self, key):
        raise KeyError(key)


def hostile(rng):
    """A fresh hostile object, or a dictionary or list holding one."""
    made = rng.choice([RaisingIndex, RaisingFloat, RaisingBool, RaisingItems, RaisingFloatItems,
                       PhantomKeys])()
    roll = rng.random()
    if roll < 0.3:
        return {key: made for key in ("x", "y", "width", "height", "kind", "box", "threshold")}
    if roll < 0.5:
        return [made, made, made, made]
    return made


def as_ctypes(array):
    """The array's pixels as a ctypes array, whose buffer is exported without strides; the array
    itself when ctypes has no element type for it."""
    try:
        return np.ctypeslib.as_ctypes(np.ascontiguousarray(array).copy())
    except (TypeError, ValueError, NotImplementedError):
        return array


def array_form(rng, array):
    """The same pixels as a careless caller may hand them over: a ctypes array (no strides),
    read-only, Fortran-ordered, or reversed along every axis (negative strides)."""
    roll = rng.random()
    if roll < 0.25:
        return as_ctypes(array)
    if roll < 0.5:
        out = array.copy()
        out.setflags(write=False)
        return out
    if roll < 0.75:
        return np.asfortranarray(array)
    return array[(slice(None, None, -1),) * array.ndim] if array.ndim else array


# Objects shared by the whole interpreter: anything may take or drop a reference to them.
_SHARED = (type(None), bool, type(Ellipsis), type(NotImplemented))


def _tracked(value):
    if isinstance(value, _SHARED) or isinstance(value, type):
        return False
    if type(value) is int and -5 <= value <= 256:
        return False  # the interpreter's cached small integers
    if type(value) in (str, bytes, tuple) and len(value) <= 1:
        return False  # empty and one-character singletons
    return True


def _with_contents(values, depth=2):
    """The values, and the items and dictionary values inside them down to `depth` levels."""
    out = []
    for v in values:
        out.append(v)
        if depth and type(v) in (list, tuple):
            out += _with_contents(v, depth - 1)
        elif depth and type(v) is dict:
            out += _with_contents(list(v.values()), depth - 1)
    return out


def reference_counts(values):
    """sys.getrefcount of each argument worth tracking, and of what its lists and dictionaries
    hold, by position."""
    return {i: sys.getrefcount(v) for i, v in enumerate(_with_contents(values)) if _tracked(v)}


def changed_counts(values, before):
    """[(position, before, after)] for every tracked object whose count moved. A call that
    mutated a container in place changes the positions; that is reported as well."""
    after = reference_counts(values)
    if after.keys() != before.keys():
        return [("contents", len(before), len(after))]
    return [(i, before[i], after[i]) for i in before if after[i] != before[i]]


def call_checked(fn, args, kwargs, documented, inspect=None):
    """Calls fn, hands a result to inspect (which returns a complaint or None), then drops it.
    Returns (outcome, detail, refcount changes): outcome "ok", "documented", "undocumented" (detail:
    the exception) or "wrong" (detail: the complaint)."""
    values = list(args) + list(kwargs.values())
    # No automatic collection inside the measured span: one freeing an earlier call's cyclic
    # garbage (an exception and its frames) would drop references the call never held.
    gc_was_enabled = gc.isenabled()
    gc.disable()
    try:
        outcome, detail, changes = _measured_call(fn, args, kwargs, documented, inspect, values)
        if changes and all(isinstance(i, int) and after > old for i, old, after in changes):
            # Only gains: a cache filled at first use (an interned name) gains once; a leak gains
            # again at the same call.
            _, _, changes = _measured_call(fn, args, kwargs, documented, inspect, values)
        return outcome, detail, changes
    finally:
        if gc_was_enabled:
            gc.enable()


def _measured_call(fn, args, kwargs, documented, inspect, values):
    before = reference_counts(values)
    outcome, detail = "ok", None
    try:
        result = fn(*args, **kwargs)
    except documented + PASSED_THROUGH:
        outcome = "documented"
    except Exception as e:  # noqa: BLE001
        outcome, detail = "undocumented", f"{type(e).__name__}: {e}"
    else:
        complaint = inspect(result) if inspect else None
        if complaint:
            outcome, detail = "wrong", complaint
        del result
    return outcome, detail, changed_counts(values, before)
