// The docstrings of native_ocr.zonescan's functions, one constant per function: the first lines are
// the signature the interpreter shows (inspect.signature reads it), then what a host developer
// needs: what is read, the result's keys and reasons, and the errors raised.
#ifndef NATIVE_OCR_ZONESCAN_DOCSTRINGS_H_
#define NATIVE_OCR_ZONESCAN_DOCSTRINGS_H_

namespace native_ocr::zonescan {

inline constexpr char kCheckZoneDoc[] = R"(check_zone(zone)
--

The problems of a zone that a host can show before reading it; [] when the zone is clean.

Looks at the zone as the readers would, without reading it and without raising for what it
finds: a role that is not one of the nineteen of ROLES, a processing key that is not one of
the eleven of DEFAULT_PROCESSING (with the nearest known key), a setting that
normalize_settings will clamp into its range, convert to another value or type ("90" -> 90,
"false" -> True, "Open" -> "none") or cannot convert, and position keys that are missing, not
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

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_DOCSTRINGS_H_
