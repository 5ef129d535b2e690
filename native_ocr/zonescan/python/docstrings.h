// The docstrings of native_ocr.zonescan's functions, one constant per function: the first lines are
// the signature the interpreter shows (inspect.signature reads it), then what a host developer
// needs: what is read, the result's keys and reasons, and the errors raised.
#ifndef NATIVE_OCR_ZONESCAN_PYTHON_DOCSTRINGS_H_
#define NATIVE_OCR_ZONESCAN_PYTHON_DOCSTRINGS_H_

namespace native_ocr::zonescan {

// Paragraphs several docstrings share, joined to them at compile time.
#define ZONESCAN_DOC_ZONE                                                                          \
  "zone: a mapping with x, y, width, height (fractions of the frame, read by item access), an\n"   \
  "optional role (str) and optional processing (settings mapping); role and processing may also\n" \
  "be attributes of a zone object. The zone is never modified.\n"
#define ZONESCAN_DOC_CROP                                                                         \
  "crop: an 8-bit image, rows x columns (grey) or rows x columns x 3 (blue-green-red), read in\n" \
  "place; None or an empty array reads as no crop.\n"
#define ZONESCAN_DOC_PREVIEW                                                                    \
  "preview_path: a JPEG (or any file OpenCV decodes) as str or path; a missing or unreadable\n" \
  "file reads as no crop.\n"
#define ZONESCAN_DOC_PROCESSING \
  "processing: processing settings (see normalize_settings) or None for the defaults.\n"
#define ZONESCAN_DOC_DIGIT_RESULT                                                                \
  "\nReturns a new dictionary that always begins with value, valid, reason:\n"                   \
  "  value           the number read (int), None unless valid\n"                                 \
  "  digits          the char of each digit cell, left to right (int or None)\n"                 \
  "  valid           True when value is a reading\n"                                             \
  "  reason          \"ok\" when valid, else why not (below)\n"                                  \
  "  ocr_items       the classifier's result for each digit cell (native_ocr.segsense)\n"        \
  "  geometry_items  the slot layout that was read\n"                                            \
  "  debug           angle (rotation applied, 2 decimals), crop_size [w, h], layout\n"           \
  "A result without a crop, or refused before reading, holds only value None, valid False and\n" \
  "reason (plus ocr_items or geometry_items for \"layout\", as noted below).\n"
// The readers' refusal of a crop past kMaxCropSide (reader.h).
#define ZONESCAN_DOC_TOO_LARGE                                                                \
  "A crop with a side past 4096 pixels is not read: the result is value None, valid False,\n" \
  "reason \"crop_too_large\" and nothing else.\n"
#define ZONESCAN_DOC_CLOCK_RESULT                                                              \
  "\nReturns a new dictionary:\n"                                                              \
  "  value           the clock text (\"12:34\", \"5:30\", \"59.8\"), None when not read\n"     \
  "  raw_value       the same as value\n"                                                      \
  "  digits          the char of the four digit cells (int or None)\n"                         \
  "  digit_items     the classifier's result for each digit cell\n"                            \
  "  ocr_items       cells 1 and 2, a separator item {kind, char, status, confidence, box},\n" \
  "                  cells 3 and 4\n"                                                          \
  "  geometry_items  the slot layout that was read (cut around the separator)\n"               \
  "  separator_x     the separator's centre in crop pixels, or None when none was found\n"     \
  "  separator_char  \":\" (also when none was found) or \".\"\n"                              \
  "  clock_mode      \"minutes\" (a colon, or none found) or \"tenths\" (a decimal point)\n"   \
  "  valid           value is not None\n"                                                      \
  "  stable          always True (every call stands alone; no history is kept)\n"              \
  "  accepted        value is not None\n"                                                      \
  "  reason          \"raw\" when a value was read, else \"unrecognized\"\n"                   \
  "  debug           angle, crop_size, layout, separator (the detector's result or None)\n"    \
  "The text keeps the cells as read: empty cells are dropped (5:30 from empty, 5, 3, 0), no\n" \
  "zero is added and no range is checked. An unknown cell on a side, an empty left side, an\n" \
  "empty right side (colon) or first right cell (decimal point) gives value None and\n"        \
  "\"unrecognized\". Without a crop the result is only value None, valid False, reason\n"      \
  "\"no_frame\".\n" ZONESCAN_DOC_TOO_LARGE
#define ZONESCAN_DOC_READ_ERRORS                                                                  \
  "\nA failed reading is a result, never an exception. Raises TypeError for bad arguments, the\n" \
  "zone's KeyError or TypeError for a missing or non-numeric position, the conversion error of\n" \
  "a setting normalize_settings cannot convert, TypeError (score and clock readers) for a role\n" \
  "that is truthy but not a str, and cv2.error from OpenCV. check_zone reports the zone's\n"      \
  "share of these.\n"
#define ZONESCAN_DOC_SCORE_REASONS                                                              \
  "\nReasons: \"ok\"; \"no_frame\" (no crop); \"layout\" (the role's layout is not two digit\n" \
  "cells; ocr_items included); \"missing_units\" (right cell not a digit); \"unrecognized\"\n"  \
  "(right cell a digit, left cell neither empty nor a digit). An empty left cell reads as a\n"  \
  "single digit: empty and 7 give 7.\n" ZONESCAN_DOC_TOO_LARGE
#define ZONESCAN_DOC_PERIOD_REASONS                                                      \
  "\nReasons: \"ok\"; \"no_frame\" (no crop); \"empty\" or \"unknown\" (the cell's own " \
  "status).\n" ZONESCAN_DOC_TOO_LARGE
#define ZONESCAN_DOC_SINGLE_REASONS                                                            \
  "\nReasons: \"ok\"; \"layout\" (role not in SINGLE_DIGIT_ROLES, checked before any image\n"  \
  "work; nothing else in the result); \"no_frame\" (no crop); \"empty\" or \"unknown\" (the\n" \
  "cell's own status).\n" ZONESCAN_DOC_TOO_LARGE
#define ZONESCAN_DOC_DISPLAY_RESULT                                                            \
  "\nReturns None without a crop, else a new dictionary:\n"                                    \
  "  binary      the prepared 8-bit single-channel image, the crop's size (0/255 when\n"       \
  "              binarize is on)\n"                                                            \
  "  angle       the rotation applied, degrees (the normalised rotation setting)\n"            \
  "  crop_size   [width, height]\n"                                                            \
  "  separator   None, unless detect_separator is true: then the colon or decimal point\n"     \
  "              found in the unprocessed crop (x in crop pixels, char \":\" or \".\", mode\n" \
  "              \"minutes\" or \"tenths\", confidence, diagnostics), or None when none is\n"  \
  "              found\n"                                                                      \
  "  processing  the normalised settings used\n"                                               \
  "Raises the conversion error of a bad setting and cv2.error from OpenCV.\n"

inline constexpr char kModuleDoc[] =
    "Scoreboard zones: processing settings, crops, digit-slot layouts, display preparation and\n"
    "the readers of scores, periods, single digits and clocks.\n\n"
    "Every function takes its arguments by position or keyword and returns plain dictionaries,\n"
    "lists, numbers, strings, None or new numpy arrays. A failed reading is a result (valid\n"
    "False, reason), never an exception. Constants: DEFAULT_PROCESSING (the eleven settings),\n"
    "ROLES (the nineteen roles by layout group), SINGLE_DIGIT_ROLES. check_zone(zone) lists what\n"
    "is wrong with a zone before it is read.";

inline constexpr char kNormalizeSettingsDoc[] =
    "normalize_settings(settings=None)\n--\n\n"
    "The processing settings as every reader uses them: a new dictionary.\n\n"
    "settings: None, a mapping, or key/value pairs (anything dict.update accepts); merged over\n"
    "DEFAULT_PROCESSING. Each standard key is then converted and held to its range:\n"
    "  threshold   int   0..255      a pixel brighter than this is lit (default 150)\n"
    "  contrast    float 0.2..4.0    gain of the contrast/brightness step (1.0)\n"
    "  brightness  int   -150..150   offset of that step (0)\n"
    "  gamma       float 0.2..3.0    gamma of the lookup table (1.0)\n"
    "  rotation    float -15..15     degrees about the centre, counter-clockwise (0.0)\n"
    "  blur        int   0..15       Gaussian kernel side; 0 none, even sides + 1 (0)\n"
    "  morphology  \"none\", \"dilate\", \"erode\", \"close\", \"open\" (exact; else \"none\")\n"
    "  morph_size  int   1..9        side of the square structuring element (1)\n"
    "  grayscale   bool              kept for the host; processing is always grey (True)\n"
    "  binarize    bool              apply the threshold (True)\n"
    "  invert      bool              invert after thresholding (False)\n"
    "One optional key is kept only when given: classifier \"segments\" (the seven-segment\n"
    "classifier, the default) or \"learned\" (a learned classifier that reads the grey display\n"
    "before the threshold and finds its polarity itself); any other value becomes \"segments\".\n"
    "Three display keys too, each kept only when given: polarity \"light\" (lit digits on a dark\n"
    "ground, the default) or \"dark\" (dark digits on a light ground: the crop is read as its\n"
    "negative from the first step, the clock's separator search too; invert still flips after\n"
    "the threshold; any other value becomes \"light\"), slant float -20.0..20.0 (degrees the\n"
    "digits lean right; the crop is sheared upright first) and clock_cells int 2..4 (the clock's\n"
    "digit cells: 2 \"d.d\", 3 \"dd.d\" with a point or \"d:dd\" with a colon, 4 \"dd:dd\").\n"
    "Numbers go through int() or float() (strings of digits are parsed, 150.9 becomes 150); the\n"
    "switches through bool() (any non-empty string, \"false\" too, is True). Other keys follow\n"
    "unchanged, in the caller's order. Idempotent; DEFAULT_PROCESSING and the argument are never\n"
    "modified.\n\n"
    "Raises TypeError or ValueError when a value cannot be converted (threshold None or \"1.5\")\n"
    "or when settings cannot be merged. check_zone reports unknown keys and changed values.";

inline constexpr char kLayoutForRoleDoc[] =
    "layout_for_role(role, width, height, separator_x=None)\n--\n\n"
    "The digit-slot layout a reader cuts a prepared display of width x height pixels into.\n\n"
    "role: exactly a str; the groups of ROLES decide: two_digit gives equal_digit_slots(w, h, 2),\n"
    "one_digit and any unknown role equal_digit_slots(w, h, 1), clock_like\n"
    "clock_slots(w, h, separator_x). width, height: numbers, truncated to int. separator_x: the\n"
    "separator's centre in pixels (clock-like roles only), or None for the middle.\n\n"
    "Returns a list of slots {kind: \"digit\" or \"separator\", slot: digit index or None, box:\n"
    "[x1, y1, x2, y2] inclusive pixel corners}, left to right.\n\n"
    "Raises TypeError for a role that is not exactly a str (None included) or a width or height\n"
    "that is not a number.";

inline constexpr char kNormalizedZoneBoundsDoc[] =
    "normalized_zone_bounds(zone, image_width, image_height)\n--\n\n"
    "A zone's pixel bounds in a frame of image_width x image_height: the tuple (x1, y1, x2, y2)\n"
    "with x1 = max(0, int(x * W)), y1 = max(0, int(y * H)), x2 = min(W, int((x + width) * W)),\n"
    "y2 = min(H, int((y + height) * H)); x1, y1 inclusive, x2, y2 exclusive. Nothing orders x1\n"
    "and x2: a zone outside the frame gives x2 <= x1.\n\n" ZONESCAN_DOC_ZONE
    "\nRaises KeyError (or the zone's own error) for a missing position key, TypeError for a\n"
    "non-numeric one, ValueError or OverflowError for an edge that is NaN or infinite.";

inline constexpr char kDecodeBgrImageDoc[] =
    "decode_bgr_image(preview_path)\n--\n\n"
    "The image file decoded with OpenCV as a rows x columns x 3 blue-green-red uint8 array, or\n"
    "None when the file is missing or cannot be decoded (never an exception for that).\n"
    "preview_path: anything whose str() is the path.";

inline constexpr char kCropZoneFromImageDoc[] =
    "crop_zone_from_image(zone, image)\n--\n\n"
    "The zone's part of the image: a view that shares the image's pixels (never a copy, never\n"
    "written to), columns x1..x2-1 and rows y1..y2-1 of normalized_zone_bounds. None when image\n"
    "is None or the zone covers no pixel of it (zero size, or outside the "
    "frame).\n\n" ZONESCAN_DOC_ZONE
    "image: a 2-D or 3-D 8-bit array, or None.\n"
    "\nRaises what normalized_zone_bounds raises.";

inline constexpr char kCropZoneDoc[] =
    "crop_zone(zone, preview_path)\n--\n\n"
    "The zone's part of a preview file: crop_zone_from_image(zone,\n"
    "decode_bgr_image(preview_path)); a view, or None when the file cannot be read or the zone\n"
    "covers no pixel.\n\n" ZONESCAN_DOC_ZONE ZONESCAN_DOC_PREVIEW
    "\nRaises what normalized_zone_bounds raises.";

inline constexpr char kEqualDigitSlotsDoc[] =
    "equal_digit_slots(width, height, count)\n--\n\n"
    "count digit slots of equal width across a display of width x height pixels (each value\n"
    "below 1 counts as 1): slot i covers columns round(width * i / count) ..\n"
    "round(width * (i + 1) / count - 1), all rows (ties to even; neighbours may share a column).\n"
    "Returns a list of {kind: \"digit\", slot: i, box: [x1, y1, x2, y2]} (inclusive corners).\n\n"
    "Raises TypeError when an argument is not a number (numbers are truncated to int).";

inline constexpr char kClockSlotsDoc[] =
    "clock_slots(width, height, separator_x=None)\n--\n\n"
    "The clock layout of a display of width x height pixels: digit slots 0 and 1, the separator\n"
    "gap, digit slots 2 and 3. The gap (at least 4 pixels, 5.5 % of the width) is centred on\n"
    "separator_x (crop pixels, held to 30 %..70 % of the width) or on the middle when None; each\n"
    "side of it is split into two equal cells. Returns a list of five slots {kind, slot, box};\n"
    "the separator has slot None.\n\n"
    "Raises TypeError when width or height is not a number.";

inline constexpr char kProcessImageDoc[] =
    "process_image(image, settings=None)\n--\n\n"
    "The prepared single-channel image of a crop, as the readers see it (a new array): grey,\n"
    "contrast and brightness, gamma, rotation about the centre, Gaussian blur, threshold (255\n"
    "where a pixel is brighter than threshold, else 0), inversion, morphology, in that order,\n"
    "as the settings say. An image without pixels is returned itself, unprocessed.\n\n"
    "image: a 2-D (grey) or 3-D (blue-green-red) 8-bit array. settings: as normalize_settings.\n\n"
    "Raises the conversion error of a bad setting, AttributeError for None, and cv2.error from\n"
    "OpenCV (a channel count it does not take).";

inline constexpr char kPrepareDisplayFromCropDoc[] =
    "prepare_display_from_crop(crop, detect_separator=False, processing=None)\n--\n\n"
    "A crop prepared for reading, with what the host needs to show it.\n\n" ZONESCAN_DOC_CROP
    "detect_separator: also look for a clock's colon or decimal point (the clock reader "
    "does).\n" ZONESCAN_DOC_PROCESSING ZONESCAN_DOC_DISPLAY_RESULT;

inline constexpr char kPrepareDisplayFromImageDoc[] =
    "prepare_display_from_image(zone, image, detect_separator=False, processing=None)\n--\n\n"
    "prepare_display_from_crop of the zone's crop of a decoded frame. The settings come from the\n"
    "processing argument only, not from the zone.\n\n" ZONESCAN_DOC_ZONE
    "image: a 2-D or 3-D 8-bit array, or None.\n" ZONESCAN_DOC_PROCESSING
        ZONESCAN_DOC_DISPLAY_RESULT
    "The zone's position errors are raised as by crop_zone_from_image.";

inline constexpr char kPrepareDisplayDoc[] =
    "prepare_display(zone, preview_path, detect_separator=False, processing=None)\n--\n\n"
    "prepare_display_from_crop of the zone's crop of a preview file. The settings come from the\n"
    "processing argument only, not from the zone.\n\n" ZONESCAN_DOC_ZONE ZONESCAN_DOC_PREVIEW
        ZONESCAN_DOC_PROCESSING ZONESCAN_DOC_DISPLAY_RESULT
    "The zone's position errors are raised as by crop_zone_from_image.";

inline constexpr char kReadScoreFromCropDoc[] =
    "read_score_from_crop(crop, role='home_score', processing=None)\n--\n\n"
    "Reads a two-digit field (score, shots, penalty player number, yards to go, ball position)\n"
    "from a zone crop: the crop is prepared, cut into the role's two digit cells and each cell is\n"
    "classified as a seven-segment digit.\n\n" ZONESCAN_DOC_CROP
    "role: a two_digit role of ROLES; None or \"\" reads as home_score.\n" ZONESCAN_DOC_PROCESSING
        ZONESCAN_DOC_DIGIT_RESULT ZONESCAN_DOC_SCORE_REASONS ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadScoreFromImageDoc[] =
    "read_score_from_image(zone, image)\n--\n\n"
    "Reads a two-digit field from the zone's crop of a decoded frame, with the zone's role (None\n"
    "reads as home_score) and processing settings.\n\n" ZONESCAN_DOC_ZONE
    "image: a 2-D or 3-D 8-bit array, or None.\n" ZONESCAN_DOC_DIGIT_RESULT
        ZONESCAN_DOC_SCORE_REASONS ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadScoreDoc[] =
    "read_score(zone, preview_path)\n--\n\n"
    "Reads a two-digit field from the zone's crop of a preview file, with the zone's role (None\n"
    "reads as home_score) and processing settings.\n\n" ZONESCAN_DOC_ZONE ZONESCAN_DOC_PREVIEW
        ZONESCAN_DOC_DIGIT_RESULT ZONESCAN_DOC_SCORE_REASONS ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadPeriodFromCropDoc[] =
    "read_period_from_crop(crop, processing=None)\n--\n\n"
    "Reads the period number from a zone crop as one seven-segment digit cell (whatever the\n"
    "zone's role).\n\n" ZONESCAN_DOC_CROP ZONESCAN_DOC_PROCESSING ZONESCAN_DOC_DIGIT_RESULT
        ZONESCAN_DOC_PERIOD_REASONS ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadPeriodFromImageDoc[] =
    "read_period_from_image(zone, image)\n--\n\n"
    "Reads the period number from the zone's crop of a decoded frame, with the zone's processing\n"
    "settings (its role is not consulted).\n\n" ZONESCAN_DOC_ZONE
    "image: a 2-D or 3-D 8-bit array, or None.\n" ZONESCAN_DOC_DIGIT_RESULT
        ZONESCAN_DOC_PERIOD_REASONS ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadPeriodDoc[] =
    "read_period(zone, preview_path)\n--\n\n"
    "Reads the period number from the zone's crop of a preview file, with the zone's processing\n"
    "settings (its role is not consulted).\n\n" ZONESCAN_DOC_ZONE ZONESCAN_DOC_PREVIEW
        ZONESCAN_DOC_DIGIT_RESULT ZONESCAN_DOC_PERIOD_REASONS ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadSingleDigitFromCropDoc[] =
    "read_single_digit_from_crop(crop, role, processing=None)\n--\n\n"
    "Reads a one-digit counter (down, home_timeouts, guest_timeouts: SINGLE_DIGIT_ROLES) from a\n"
    "zone crop as one seven-segment digit cell.\n\n" ZONESCAN_DOC_CROP
    "role: required; any role outside SINGLE_DIGIT_ROLES (None included) gives "
    "\"layout\".\n" ZONESCAN_DOC_PROCESSING ZONESCAN_DOC_DIGIT_RESULT ZONESCAN_DOC_SINGLE_REASONS
        ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadSingleDigitFromImageDoc[] =
    "read_single_digit_from_image(zone, image)\n--\n\n"
    "Reads a one-digit counter from the zone's crop of a decoded frame, with the zone's role\n"
    "(one of SINGLE_DIGIT_ROLES) and processing settings.\n\n" ZONESCAN_DOC_ZONE
    "image: a 2-D or 3-D 8-bit array, or None.\n" ZONESCAN_DOC_DIGIT_RESULT
        ZONESCAN_DOC_SINGLE_REASONS ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadSingleDigitDoc[] =
    "read_single_digit(zone, preview_path)\n--\n\n"
    "Reads a one-digit counter from the zone's crop of a preview file, with the zone's role (one\n"
    "of SINGLE_DIGIT_ROLES) and processing settings.\n\n" ZONESCAN_DOC_ZONE ZONESCAN_DOC_PREVIEW
        ZONESCAN_DOC_DIGIT_RESULT ZONESCAN_DOC_SINGLE_REASONS ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadClockFromCropDoc[] =
    "read_clock_from_crop(crop, role='clock', processing=None)\n--\n\n"
    "Reads a game or penalty clock from a zone crop as text: minutes:seconds (\"12:34\") or\n"
    "seconds.tenths (\"59.8\"). The colon or decimal point is looked for in the unprocessed crop;\n"
    "the four digit cells are cut around it (around the middle, read as minutes, when none is\n"
    "found) and classified as seven-segment digits.\n\n" ZONESCAN_DOC_CROP
    "A clock crop is blue-green-red (a BGRA crop reads as its BGR part); a grey or\n"
    "two-channel crop raises cv2.error from the colour conversion.\n"
    "role: a clock_like role of ROLES; None or \"\" reads as clock. Another role's layout has no\n"
    "four digit cells and reads as \"unrecognized\".\n" ZONESCAN_DOC_PROCESSING
        ZONESCAN_DOC_CLOCK_RESULT ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadClockFromImageDoc[] =
    "read_clock_from_image(zone, image)\n--\n\n"
    "Reads a game or penalty clock (\"12:34\", \"59.8\") from the zone's crop of a decoded frame,\n"
    "with the zone's role (None reads as clock) and processing settings.\n\n" ZONESCAN_DOC_ZONE
    "image: a 2-D or 3-D 8-bit array, or None.\n" ZONESCAN_DOC_CLOCK_RESULT
        ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadClockDoc[] =
    "read_clock(zone, preview_path)\n--\n\n"
    "Reads a game or penalty clock (\"12:34\", \"59.8\") from the zone's crop of a preview file,\n"
    "with the zone's role (None reads as clock) and processing settings.\n\n" ZONESCAN_DOC_ZONE
        ZONESCAN_DOC_PREVIEW ZONESCAN_DOC_CLOCK_RESULT ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadClockZoneDoc[] =
    "read_clock_zone(zone, preview_path)\n--\n\n"
    "Reads a game or penalty clock from the zone's crop of a preview file; the same reading as\n"
    "read_clock(zone, preview_path), kept under this name for hosts that call "
    "it.\n\n" ZONESCAN_DOC_ZONE ZONESCAN_DOC_PREVIEW ZONESCAN_DOC_CLOCK_RESULT
        ZONESCAN_DOC_READ_ERRORS;

inline constexpr char kReadSlotsDoc[] =
    "_read_slots(binary, slots)\n--\n\n"
    "native_ocr.segsense.read_slots(binary, slots), the classifier imported on first use.";

inline constexpr char kReadZonesDoc[] =
    "read_zones(zones, source, threads=1)\n--\n\n"
    "Reads every zone of a scoreboard from one decoded frame or one preview file, in one call.\n\n"
    "zones: a sequence of zones, each as for the readers (with its role and processing).\n"
    "source: a decoded frame (a numpy array) or a preview file's path; the file is read and\n"
    "decoded once for all zones (only a regular file: a directory, a FIFO or a device gives no\n"
    "frame). threads: an int, how many threads read the zones (at least 1; at most 64 are used);\n"
    "the readers run without the interpreter lock.\n\n"
    "Returns a list with one result per zone, in order, each exactly what the zone's reader\n"
    "returns: clock-like roles read_clock (value a str), period read_period, SINGLE_DIGIT_ROLES\n"
    "read_single_digit, every other role (and no role) read_score. A zone that cannot be cut\n"
    "gives its \"no_frame\" result.\n\n"
    "Raises TypeError for threads that is not an int (a bool or a float), ValueError for threads\n"
    "below 1, what a malformed zone's reader raises (the first in zone order), and cv2.error\n"
    "from OpenCV.";

inline constexpr char kCalibrateZoneDoc[] =
    "calibrate_zone(zone, image, role=None, expected=None)\n--\n\n"
    "Fits an operator's loosely drawn zone to the display inside it on a decoded frame and\n"
    "chooses its threshold (and inversion, for dark digits on a light board). The lit segments\n"
    "are grouped into digits, clutter (a housing edge, a cut neighbour, a label) is left out and\n"
    "the box is widened to the role's layout with a margin. With expected, the value shown as\n"
    "the reader writes it (\"12:34\", \"59.8\", 7), the cuts and thresholds that read exactly "
    "that\n"
    "value are searched and the most robust one is kept.\n\n" ZONESCAN_DOC_ZONE
    "image: the decoded frame, a 2-D or 3-D 8-bit array. role: overrides the zone's role (None:\n"
    "the zone's, else home_score). expected: a str or an int, or None.\n\n"
    "Returns a new dictionary:\n"
    "  zone        {x, y, width, height, role, processing (normalised)}: the fitted zone, or\n"
    "              the operator's own when nothing was found\n"
    "  reading     the role's reader on that zone and image\n"
    "  confidence  trust_reading's confidence of that reading (0.0 when nothing was found)\n"
    "  reason      \"ok\", \"no_frame\" (no crop), \"crop_too_large\" (a crop side past 4096\n"
    "              pixels), \"no_display\" (no digits found) or \"expected_not_read\" (no\n"
    "              cut reads the expected value)\n"
    "  classifier  the zone's classifier, \"segments\" or \"learned\": the learned one (then also\n"
    "              in the zone's processing) when it reads the first value and the seven-segment\n"
    "              one does not (taught: the expected value; "
    "blind: the two differ and the learned\n"
    "              reading is the better supported, clear cells that a pixel's move keeps)\n\n"
    "Raises TypeError for a role that is not a str or an expected value that is neither str nor\n"
    "int, and what the zone's position and the readers raise.";

inline constexpr char kTrustReadingDoc[] =
    "trust_reading(result, zone=None, image=None)\n--\n\n"
    "Whether a reader result can be shown to the operator as it is.\n\n"
    "result: any reader's result dictionary. Weighs the weakest digit's confidence, its margin\n"
    "over the runner-up pattern and how clearly its segments are on or off, glyphs cut by their\n"
    "cell or of uneven height, strokes of uneven width, and a clock's separator confidence. Never\n"
    "trusted: a result whose every digit is an 8 (all segments lit), whose digit cells are mostly\n"
    "ink (a lit ground), or whose value the reader's kind cannot show "
    "(a clock's seconds past 59);\n"
    "nor one whose measures lie outside those the rule was fitted on (\"uncertain\").\n"
    "zone, image: the zone dictionary and the image array the result was read from; when both\n"
    "are given, the zone is read again moved one pixel left, right, up and down and with its\n"
    "threshold moved, and a value that changes weighs against the reading; the role's range is\n"
    "checked (a period 0, a down outside 1..4); and the other classifier is asked about the\n"
    "result's digit cells (the learned one for a reading of the seven-segment one, the\n"
    "seven-segment one for a reading of the learned one): a result it reads otherwise on any cell\n"
    "is not trusted.\n\n"
    "Returns a new dictionary:\n"
    "  trusted     True when the reading can be shown\n"
    "  confidence  0..1 (0.0 when refused outright)\n"
    "  why         \"ok\", \"uncertain\", \"all_lit\", \"lit_ground\", \"beyond_role\",\n"
    "              \"classifiers_disagree\", \"no_digits\", or the reader's own reason for an\n"
    "              invalid result (\"not_valid\" when it has none)\n"
    "and, when the zone has pixels in the image and the result digit cells:\n"
    "  second_opinion     the classifier asked, \"learned\" or \"segments\"\n"
    "  disagreeing_slots  the digit slots (their \"slot\" numbers) it reads otherwise\n\n"
    "Raises TypeError when result is not a dictionary or zone not a dict, and KeyError,\n"
    "TypeError or ValueError for digit items that lack the classifier's keys (ValueError also for\n"
    "a box coordinate or crop size beyond 2**20 either way), and what the readers raise for the\n"
    "zone and image.";

inline constexpr char kRenderReadingDoc[] =
    "render_reading(zone, image, result=None)\n--\n\n"
    "A picture of what the reader saw, for the operator: a new blue-green-red uint8 array with\n"
    "the crop enlarged, the prepared display beside it, each cell's box (green digit, red\n"
    "unreadable, grey empty) with its glyph frame, character and confidence, the separator\n"
    "(magenta), and the value or the reason.\n\n" ZONESCAN_DOC_ZONE
    "image: the decoded frame. result: the reading to draw; None reads the zone with the reader\n"
    "of its role first. A crop with a side past 4096 pixels is drawn as none (boxes and caption\n"
    "only).\n\n"
    "Raises TypeError when result is not a dictionary, ValueError for a box coordinate or crop\n"
    "size beyond 2**20 either way, and what the readers raise.";

inline constexpr char kCheckZoneDoc[] = R"(check_zone(zone)
--

The problems of a zone that a host can show before reading it; [] when the zone is clean.

Looks at the zone as the readers would, without reading it and without raising for what it
finds: a role that is not one of the nineteen of ROLES, a processing key that is not one of
the eleven of DEFAULT_PROCESSING nor "classifier", "polarity", "slant" or "clock_cells" (with
the nearest known key), a setting that normalize_settings will clamp into its range, convert
to another value or type ("90" -> 90, "false" -> True, "Open" -> "none") or cannot convert, and position keys that are missing, not
numbers, leave no area, or reach outside the frame (fractions outside 0..1). The readers
themselves read every zone as it is.

Returns a list of dictionaries, in the order role, settings, bounds:
  field       "role", "processing", "processing.<key>", "x", "y", "width" or "height"
  problem     "unknown_role", "invalid_role", "unknown_setting", "invalid_settings",
              "invalid_setting", "clamped_setting", "replaced_setting", "invalid_bound",
              "empty_zone", "outside_frame" or "partly_outside"
  message     one sentence for the operator
  suggestion  the nearest known role or key, the value that will be used, or None

Raises only TypeError for a missing or surplus argument.)";

#undef ZONESCAN_DOC_ZONE
#undef ZONESCAN_DOC_CROP
#undef ZONESCAN_DOC_PREVIEW
#undef ZONESCAN_DOC_PROCESSING
#undef ZONESCAN_DOC_DIGIT_RESULT
#undef ZONESCAN_DOC_CLOCK_RESULT
#undef ZONESCAN_DOC_READ_ERRORS
#undef ZONESCAN_DOC_SCORE_REASONS
#undef ZONESCAN_DOC_PERIOD_REASONS
#undef ZONESCAN_DOC_SINGLE_REASONS
#undef ZONESCAN_DOC_DISPLAY_RESULT

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_PYTHON_DOCSTRINGS_H_
