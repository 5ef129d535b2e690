// The zone arguments of native_ocr.zonescan's functions: zone dictionaries (position, role,
// processing settings), the settings normalised, and image files named by a path argument
// (geometry_bindings.cc, settings_bindings.cc, board_zone_bindings.cc).
#ifndef NATIVE_OCR_ZONESCAN_PYTHON_ZONE_ARGUMENTS_H_
#define NATIVE_OCR_ZONESCAN_PYTHON_ZONE_ARGUMENTS_H_

#include <cstdint>

#include <opencv2/core.hpp>

#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/zonescan/board_reader.h"
#include "native_ocr/zonescan/reader.h"
#include "native_ocr/zonescan/settings.h"
#include "native_ocr/zonescan/zone.h"

namespace native_ocr::zonescan {

// normalize_settings(settings): the new normalised dictionary (defaults, then the caller's keys
// merged in, each standard key converted with int()/float()/bool() and clamped). When `typed` is
// given it receives the same settings as the core's struct. Conversion errors propagate.
pyglue::Ref normalize_settings(PyObject* settings, ProcessingSettings* typed = nullptr);

// decode_bgr_image(path): the decoded three-channel image as a numpy array, or None.
pyglue::Ref decode_bgr_image(PyObject* path);

// The zone's pixel bounds in an image of this size (KeyError/TypeError for a malformed zone,
// ValueError/OverflowError for an edge without an integer value): zone_rect, then rect_bounds.
Bounds zone_bounds(PyObject* zone, int64_t image_width, int64_t image_height);
ZoneRect zone_rect(PyObject* zone);
Bounds rect_bounds(const ZoneRect& rect, int64_t image_width, int64_t image_height);

// crop_zone_from_image(zone, image): a view into `image`, or None (no image, or no pixel). `rect`,
// when given, receives the zone's position once it has been read.
pyglue::Ref crop_zone_from_image(PyObject* zone, PyObject* image, ZoneRect* rect = nullptr);

// decode_bgr_image's decoding: the file at the text of `path` (str(path)) as a three-channel BGR
// image, or an empty image when it is missing, unreadable or its name cannot name a file.
cv::Mat decode_bgr_file(PyObject* path);

// The zone's role and processing settings as found (_role and _processing).
pyglue::Ref zone_role(PyObject* zone);
pyglue::Ref zone_processing(PyObject* zone);

// A zone as its reader looks at it: the role (for the readers that use one) and the processing
// settings, fetched around `cut` (which makes the crop) in the reader's order: the clock reader
// cuts the crop first, the period reader takes no role.
struct ZoneParts {
  pyglue::Ref role;
  pyglue::Ref processing;
};
template <typename Cut>
ZoneParts zone_parts(ReaderKind reader, PyObject* zone, Cut&& cut) {
  ZoneParts parts;
  if (reader == ReaderKind::kScore || reader == ReaderKind::kSingleDigit) {
    parts.role = zone_role(zone);
  }
  cut();
  if (reader == ReaderKind::kClock) {
    parts.role = zone_role(zone);
  }
  parts.processing = zone_processing(zone);
  return parts;
}

// A zone of `array` (a caller's frame) or of `file` (a preview file that gave a frame; neither:
// no frame) as the board reader's typed zone, parsed as its own reader parses it (role, crop
// position, settings, in that reader's order, raising what it raises). The settings are
// normalised and the role checked only for a zone with pixels to read; *work says whether it has.
BoardZone board_zone(PyObject* zone, PyObject* array, const FrameFile* file, bool* work);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_PYTHON_ZONE_ARGUMENTS_H_
