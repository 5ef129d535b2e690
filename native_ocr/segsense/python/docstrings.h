// The docstrings of native_ocr.segsense's host functions: the signature line the interpreter
// shows, then the arguments, the slot result's keys and the errors raised.
#ifndef NATIVE_OCR_SEGSENSE_PYTHON_DOCSTRINGS_H_
#define NATIVE_OCR_SEGSENSE_PYTHON_DOCSTRINGS_H_

namespace native_ocr::segsense {

#define SEGSENSE_DOC_BINARY                                                                  \
  "binary: the display, a rows x columns array of any element type (an element above 0 is\n" \
  "ink) or rows x columns x channels (channels reduced by their maximum); read, never written.\n"
#define SEGSENSE_DOC_RESULT                                                                        \
  "\nA slot result is a new dictionary: the slot's own keys first, in its order, then\n"           \
  "  box                 the box clipped into the display\n"                                       \
  "  char                the digit 0..9 (int) when status is \"digit\", else None\n"               \
  "  status              \"digit\", \"empty\" (too little ink, at most 2.4 % of the cell) or\n"    \
  "                      \"unknown\" (ink, but no digit pattern accepted)\n"                       \
  "  confidence          classification confidence 0..1 (for an empty cell: how empty)\n"          \
  "  empty_confidence    1 - ink_ratio / 0.06, held to 0..1\n"                                     \
  "  ink_ratio           fraction of the cell that is ink\n"                                       \
  "An \"empty\" result ends there. A \"digit\" or \"unknown\" result adds, after box, glyph_box\n" \
  "(the glyph's frame in display pixels) and, after ink_ratio, the diagnostics: segments\n"        \
  "(A..G on/off), fills and segment_strengths, segment_names, segment_activation,\n"               \
  "matched_pattern, pattern_variant, pattern_score, runner_up, runner_up_score and the framing\n"  \
  "measurements (geometry_source, frame_method, ..., observed_width_ratio, learned_*).\n"
#define SEGSENSE_DOC_ERRORS                                                                     \
  "\nRaises TypeError for bad arguments, KeyError for a digit slot without box, TypeError or\n" \
  "ValueError for a box that is not four numbers.\n"

inline constexpr char kModuleDoc[] =
    "Seven-segment digit classifier: frames each digit cell of a binary display by its strokes\n"
    "and classifies its seven segments against the digit patterns (DIGIT_PATTERNS, segments in\n"
    "the order of SEGMENT_NAMES). native_ocr.zonescan's readers call read_slots; a host may call\n"
    "it too. Pure: nothing is kept between calls.";

inline constexpr char kReadSlotsDoc[] =
    "read_slots(binary, slots)\n--\n\n"
    "Classifies every digit cell of a slot layout: one slot result per slot whose kind is\n"
    "\"digit\", in order (separator slots and slots without kind are "
    "skipped).\n\n" SEGSENSE_DOC_BINARY
    "slots: an iterable of slot mappings; only kind and box ([x1, y1, x2, y2], inclusive pixel\n"
    "corners, clipped into the display) are read, every other key is copied into the "
    "result.\n" SEGSENSE_DOC_RESULT SEGSENSE_DOC_ERRORS;

inline constexpr char kReadDigitSlotDoc[] =
    "read_digit_slot(binary, slot)\n--\n\n"
    "Classifies one digit cell: the slot's box cut out of the display.\n\n" SEGSENSE_DOC_BINARY
    "slot: a mapping with box ([x1, y1, x2, y2], inclusive pixel corners, clipped into the\n"
    "display); its other keys are copied into the result.\n" SEGSENSE_DOC_RESULT
        SEGSENSE_DOC_ERRORS;

#undef SEGSENSE_DOC_BINARY
#undef SEGSENSE_DOC_RESULT
#undef SEGSENSE_DOC_ERRORS

}  // namespace native_ocr::segsense

#endif  // NATIVE_OCR_SEGSENSE_PYTHON_DOCSTRINGS_H_
