"""Types of native_ocr.zonescan: zones, processing settings, slot layouts, prepared displays and
the readers' results (see help() of each function for what it does)."""
from collections.abc import Iterable, Mapping
from os import PathLike
from typing import Any, Final, Literal, NotRequired, Protocol, TypeAlias, TypedDict

import numpy as np
import numpy.typing as npt

from native_ocr.segsense import SlotResult

# An 8-bit image: rows x columns (grey) or rows x columns x 3 (blue-green-red).
Image: TypeAlias = npt.NDArray[np.uint8]
# A preview file: anything whose str() is its path.
PreviewPath: TypeAlias = str | PathLike[str]

Morphology = Literal["none", "dilate", "erode", "close", "open"]
# Which classifier reads the digit cells: the seven-segment one, or the learned one.
Classifier = Literal["segments", "learned"]
# Which way the display shows its digits: lit on a dark ground, or dark on a light one (LCD).
Polarity = Literal["light", "dark"]

class ProcessingSettings(TypedDict):
    """Normalised settings: the eleven keys in this order (extra keys the host gave follow,
    "classifier", "polarity", "slant" and "clock_cells" among them only when the host set them)."""

    threshold: int  # 0..255; a pixel brighter than this is lit
    contrast: float  # 0.2..4.0
    brightness: int  # -150..150
    gamma: float  # 0.2..3.0
    rotation: float  # degrees, -15.0..15.0, counter-clockwise
    blur: int  # 0..15; Gaussian kernel side, 0 is none, even sides are raised by one
    morphology: Morphology
    morph_size: int  # 1..9
    grayscale: bool
    binarize: bool
    invert: bool
    classifier: NotRequired[Classifier]  # "segments" when absent
    polarity: NotRequired[Polarity]  # "light" when absent; "dark" reads the crop's negative
    slant: NotRequired[float]  # degrees the digits lean right, -20.0..20.0; 0.0 when absent
    clock_cells: NotRequired[int]  # 2..4 clock digit cells ("d.d" .. "dd:dd"); 4 when absent

# What a zone's "processing" (or normalize_settings) accepts: a mapping, or key/value pairs.
SettingsInput: TypeAlias = Mapping[str, Any] | Iterable[tuple[str, Any]] | None

class Zone(TypedDict):
    """A zone as the host stores it: fractions of the frame, role, processing settings."""

    x: float
    y: float
    width: float
    height: float
    role: NotRequired[str | None]
    processing: NotRequired[Mapping[str, Any] | None]

class SupportsZoneItems(Protocol):
    """Any zone object: item access for x, y, width, height; role and processing may also be
    attributes."""

    def __getitem__(self, key: str, /) -> Any: ...

ZoneLike: TypeAlias = Zone | SupportsZoneItems

class Slot(TypedDict):
    kind: Literal["digit", "separator"]
    slot: int | None  # digit index from 0, left to right; None for the separator
    box: list[int]  # [x1, y1, x2, y2], inclusive pixel corners of the prepared display

class RoleGroups(TypedDict):
    two_digit: tuple[str, ...]
    one_digit: tuple[str, ...]
    clock_like: tuple[str, ...]

class SeparatorGroup(TypedDict):
    y_min: int
    y_max: int
    center_x: float
    center_y: float
    x_normalized: float
    y_normalized: float
    width: float
    height: int
    energy: float
    gray_energy: float
    binary_energy: float
    energy_fraction: float
    reliability: float

class SeparatorHypothesis(TypedDict):
    hypothesis_char: str
    candidate_window: list[int]
    hypothesis_x: float
    overlap_ratio: float
    window_prior: float
    group_prior: float
    spatial_prior: float
    topological_score: float
    final_score: float
    center_compatible: bool

class _SeparatorDiagnostics(TypedDict, total=False):
    dots: list[float]
    corridor: dict[str, list[int]]
    physical_separator_box: list[int]
    candidate_window: list[int]
    spatial_prior: float
    topological_score: float
    final_score: float
    hypothesis_char: str
    best_colon: SeparatorHypothesis | None
    best_decimal: SeparatorHypothesis | None
    selected_hypothesis: SeparatorHypothesis
    groups: list[SeparatorGroup]
    upper_group: SeparatorGroup | None
    lower_group: SeparatorGroup | None
    colon_score: float
    decimal_score: float
    alignment: float
    similarity: float
    energy_profile: list[float]

class SeparatorResult(_SeparatorDiagnostics):
    """The colon or decimal point found in a clock crop (coordinates in unrotated crop pixels)."""

    x: float
    char: Literal[":", "."]
    mode: Literal["minutes", "tenths"]
    confidence: float

class PreparedDisplay(TypedDict):
    binary: Image  # single channel; 0/255 when binarize is on
    angle: float  # the rotation applied, degrees
    crop_size: list[int]  # [width, height]
    separator: SeparatorResult | None  # None unless detect_separator was set
    processing: ProcessingSettings

class ReaderDebug(TypedDict):
    angle: float  # rounded to 2 decimals
    crop_size: list[int]
    layout: list[Slot]

DigitReason = Literal[
    "ok", "no_frame", "crop_too_large", "layout", "missing_units", "unrecognized", "empty",
    "unknown"
]

class DigitReading(TypedDict):
    """Result of the score, period and single-digit readers. Early results ("no_frame",
    "crop_too_large" for a crop side past 4096 pixels, "layout") hold value, valid, reason and at
    most one of ocr_items, geometry_items."""

    value: int | None
    valid: bool
    reason: DigitReason
    digits: NotRequired[list[int | None]]
    ocr_items: NotRequired[list[SlotResult]]
    geometry_items: NotRequired[list[Slot]]
    debug: NotRequired[ReaderDebug]

class SeparatorItem(TypedDict):
    kind: Literal["separator"]
    char: str
    status: Literal["separator", "unknown"]
    confidence: float
    box: list[int] | None

class ClockDebug(TypedDict):
    angle: float
    crop_size: list[int]
    layout: list[Slot]
    separator: SeparatorResult | None

class ClockReading(TypedDict):
    """Result of the clock readers. A "no_frame" or "crop_too_large" result (a crop side past
    4096 pixels) holds only value, valid, reason."""

    value: str | None
    valid: bool
    reason: Literal["raw", "unrecognized", "no_frame", "crop_too_large"]
    raw_value: NotRequired[str | None]
    digits: NotRequired[list[int | None]]
    digit_items: NotRequired[list[SlotResult]]
    ocr_items: NotRequired[list[SlotResult | SeparatorItem]]
    geometry_items: NotRequired[list[Slot]]
    separator_x: NotRequired[float | None]
    separator_char: NotRequired[str]
    clock_mode: NotRequired[Literal["minutes", "tenths"]]
    stable: NotRequired[bool]
    accepted: NotRequired[bool]
    debug: NotRequired[ClockDebug]

class ZoneProblem(TypedDict):
    field: str  # "role", "processing", "processing.<key>", "x", "y", "width" or "height"
    problem: Literal[
        "unknown_role",
        "invalid_role",
        "unknown_setting",
        "invalid_settings",
        "invalid_setting",
        "clamped_setting",
        "replaced_setting",
        "invalid_bound",
        "empty_zone",
        "outside_frame",
        "partly_outside",
    ]
    message: str
    suggestion: str | None

class CalibratedZone(TypedDict):
    x: float
    y: float
    width: float
    height: float
    role: str
    processing: ProcessingSettings

class Calibration(TypedDict):
    zone: CalibratedZone  # the fitted zone, or the operator's own when nothing was found
    reading: DigitReading | ClockReading
    confidence: float
    reason: Literal["ok", "no_frame", "crop_too_large", "no_display", "expected_not_read"]
    classifier: Classifier  # the classifier of the zone: "learned" when it reads what "segments" does not

class Trust(TypedDict):
    trusted: bool
    confidence: float  # 0..1
    # "ok", "uncertain", "all_lit", "lit_ground", "beyond_role", "classifiers_disagree" (zone and
    # image given), "no_digits", or the reader's reason ("not_valid" without one)
    why: str

class TrustWithSecondOpinion(Trust):  # trust_reading given a zone with pixels in the image
    second_opinion: Classifier  # the classifier asked about the cells: the one that did not read them
    disagreeing_slots: list[int]  # the digit slots it reads otherwise

DEFAULT_PROCESSING: Final[ProcessingSettings]
SINGLE_DIGIT_ROLES: Final[frozenset[str]]
ROLES: Final[RoleGroups]

def check_zone(zone: ZoneLike) -> list[ZoneProblem]: ...
def normalize_settings(settings: SettingsInput = None) -> ProcessingSettings: ...
def layout_for_role(
    role: str, width: float, height: float, separator_x: float | None = None
) -> list[Slot]: ...
def normalized_zone_bounds(
    zone: ZoneLike, image_width: float, image_height: float
) -> tuple[int, int, int, int]: ...
def decode_bgr_image(preview_path: PreviewPath) -> Image | None: ...
def crop_zone_from_image(zone: ZoneLike, image: Image | None) -> Image | None: ...
def crop_zone(zone: ZoneLike, preview_path: PreviewPath) -> Image | None: ...
def equal_digit_slots(width: float, height: float, count: float) -> list[Slot]: ...
def clock_slots(width: float, height: float, separator_x: float | None = None) -> list[Slot]: ...
def process_image(image: Image, settings: SettingsInput = None) -> Image: ...
def prepare_display_from_crop(
    crop: Image | None, detect_separator: bool = False, processing: SettingsInput = None
) -> PreparedDisplay | None: ...
def prepare_display_from_image(
    zone: ZoneLike,
    image: Image | None,
    detect_separator: bool = False,
    processing: SettingsInput = None,
) -> PreparedDisplay | None: ...
def prepare_display(
    zone: ZoneLike,
    preview_path: PreviewPath,
    detect_separator: bool = False,
    processing: SettingsInput = None,
) -> PreparedDisplay | None: ...
def read_score_from_crop(
    crop: Image | None, role: str | None = "home_score", processing: SettingsInput = None
) -> DigitReading: ...
def read_score_from_image(zone: ZoneLike, image: Image | None) -> DigitReading: ...
def read_score(zone: ZoneLike, preview_path: PreviewPath) -> DigitReading: ...
def read_period_from_crop(crop: Image | None, processing: SettingsInput = None) -> DigitReading: ...
def read_period_from_image(zone: ZoneLike, image: Image | None) -> DigitReading: ...
def read_period(zone: ZoneLike, preview_path: PreviewPath) -> DigitReading: ...
def read_single_digit_from_crop(
    crop: Image | None, role: str | None, processing: SettingsInput = None
) -> DigitReading: ...
def read_single_digit_from_image(zone: ZoneLike, image: Image | None) -> DigitReading: ...
def read_single_digit(zone: ZoneLike, preview_path: PreviewPath) -> DigitReading: ...
def read_clock_from_crop(
    crop: Image | None, role: str | None = "clock", processing: SettingsInput = None
) -> ClockReading: ...
def read_clock_from_image(zone: ZoneLike, image: Image | None) -> ClockReading: ...
def read_clock(zone: ZoneLike, preview_path: PreviewPath) -> ClockReading: ...
def read_clock_zone(zone: ZoneLike, preview_path: PreviewPath) -> ClockReading: ...
def read_zones(
    zones: Iterable[ZoneLike], source: Image | PreviewPath | bytes, threads: int = 1
) -> list[DigitReading | ClockReading]: ...
def calibrate_zone(
    zone: ZoneLike,
    image: Image | None,
    role: str | None = None,
    expected: str | int | None = None,
) -> Calibration: ...
def trust_reading(result: DigitReading | ClockReading | Mapping[str, Any],
                  zone: Zone | None = None,
                  image: Image | None = None) -> Trust | TrustWithSecondOpinion: ...
def render_reading(
    zone: ZoneLike, image: Image | None, result: DigitReading | ClockReading | None = None
) -> Image: ...
