"""Every function of native_ocr.zonescan takes its arguments by position or keyword and refuses
malformed calls with the interpreter's own messages."""
import inspect

import pytest

from native_ocr import zonescan as z
from zonescan_signatures import SIGNATURES, reference_function


def message(fn, args, kwargs):
    with pytest.raises(TypeError) as info:
        fn(*args, **kwargs)
    return str(info.value)


def malformed_calls(params):
    n = len(params)
    required = [p for p in params if "=" not in p]
    names = [p.split("=")[0] for p in params]
    yield (0,) * (n + 1), {}
    yield (), {"unknown": 1}
    if not names:
        return
    yield (0,) * (n + 2), {names[0]: 0}
    if required:
        yield (0,) * len(required), {names[0]: 1}
        yield (), {names[-1]: 0} if len(required) < n else {}
    if len(required) > 1:
        yield (0,), {}
    if len(required) > 2:
        yield (), {names[1]: 0}


@pytest.mark.parametrize("name", SIGNATURES)
def test_malformed_calls_read_as_the_interpreters(name):
    params = [p.strip() for p in SIGNATURES[name].split(",") if p.strip() not in ("", "*")]
    reference = reference_function(name)
    for args, kwargs in malformed_calls(params):
        assert message(getattr(z, name), args, kwargs) == message(reference, args, kwargs)


@pytest.mark.parametrize("name", SIGNATURES)
def test_signatures_are_introspectable(name):
    assert inspect.signature(getattr(z, name)) == inspect.signature(reference_function(name))
    assert getattr(z, name).__doc__


def test_keywords_and_positions_are_interchangeable():
    assert z.clock_slots(width=100, height=30) == z.clock_slots(100, 30, None)
    assert z.equal_digit_slots(count=2, height=30, width=100) == z.equal_digit_slots(100, 30, 2)
    assert z.normalize_settings(settings={"blur": 2})["blur"] == 2
    assert z.layout_for_role("clock", 100, height=30, separator_x=60) == z.clock_slots(100, 30, 60)
