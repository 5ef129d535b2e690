"""Types of native_ocr.segsense, the seven-segment digit classifier (help() of each function
says what it does)."""
from collections.abc import Iterable, Mapping
from typing import Any, Final, Literal, NotRequired, TypedDict

import numpy.typing as npt

SlotStatus = Literal["digit", "empty", "unknown"]

class SlotResult(TypedDict):
    """One digit slot, read: the slot's own keys first (kind, slot, box from a layout), then the
    clipped box and the reading. An "empty" result stops at ink_ratio; "digit" and "unknown"
    results carry every key below."""

    kind: NotRequired[str]
    slot: NotRequired[int | None]
    box: list[int]
    glyph_box: NotRequired[list[int]]
    char: int | None
    status: SlotStatus
    confidence: float
    empty_confidence: float
    ink_ratio: float
    segments: NotRequired[list[int]]
    fills: NotRequired[list[float]]
    segment_names: NotRequired[list[str]]
    segment_strengths: NotRequired[list[float]]
    segment_activation: NotRequired[list[float]]
    matched_pattern: NotRequired[list[int]]
    pattern_variant: NotRequired[int]
    pattern_score: NotRequired[float]
    runner_up: NotRequired[int]
    runner_up_score: NotRequired[float]
    geometry_source: NotRequired[str]
    frame_method: NotRequired[str]
    horizontal_frame_source: NotRequired[str]
    horizontal_structure_position: NotRequired[str]
    vertical_core_top: NotRequired[int]
    vertical_core_bottom: NotRequired[int]
    vertical_extended_top: NotRequired[int]
    vertical_extended_bottom: NotRequired[int]
    structural_top: NotRequired[int]
    structural_bottom: NotRequired[int]
    structural_left: NotRequired[int]
    structural_right: NotRequired[int]
    structural_width_ratio: NotRequired[float]
    nominal_segment_length: NotRequired[float]
    nominal_frame_width: NotRequired[int]
    geometry_samples: NotRequired[int]
    geometry_locked: NotRequired[bool]
    observed_width_ratio: NotRequired[float]
    learned_left: NotRequired[None]
    learned_right: NotRequired[None]
    learned_width_ratio: NotRequired[None]

SEGMENT_NAMES: Final[tuple[str, ...]]
DIGIT_PATTERNS: Final[dict[int, list[tuple[int, ...]]]]
HORIZONTAL_PROBE_CENTER_SPAN: Final[float]
STRUCTURAL_PROJECTION_RATIO: Final[float]
STRUCTURAL_MIN_PIXELS: Final[int]
MARGINAL_RUN_MAX_HEIGHT_RATIO: Final[float]
MARGINAL_RUN_MIN_GAP_RATIO: Final[float]
WIDE_GLYPH_MIN_WIDTH_RATIO: Final[float]
VERTICAL_STROKE_MAX_WIDTH_RATIO: Final[float]
VERTICAL_STROKE_MAX_ASPECT: Final[float]
VERTICAL_STROKE_MIN_ROWS: Final[int]
COMPONENT_MIN_AREA: Final[int]
COMPONENT_AREA_FRACTION: Final[float]

def read_slots(
    binary: npt.NDArray[Any], slots: Iterable[Mapping[str, Any]]
) -> list[SlotResult]: ...
def read_digit_slot(binary: npt.NDArray[Any], slot: Mapping[str, Any]) -> SlotResult: ...
