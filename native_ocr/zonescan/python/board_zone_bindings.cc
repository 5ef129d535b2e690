// A zone object as the board reader's typed zone, parsed as the zone's own reader parses it.
#include "native_ocr/zonescan/python/reader_entry.h"
#include "native_ocr/zonescan/python/zone_arguments.h"

namespace native_ocr::zonescan {

BoardZone board_zone(PyObject* zone, PyObject* array, const FrameFile* file, bool* work) {
  BoardZone out;
  const pyglue::Ref role = zone_role(zone);
  out.reader = role && PyUnicode_Check(role.get()) ? reader_for_role(pyglue::utf8(role.get()))
                                                   : ReaderKind::kScore;
  const ZoneParts parts = zone_parts(out.reader, zone, [&] {
    if (array != nullptr) {
      *work = crop_zone_from_image(zone, array, &out.rect).get() != Py_None;
    } else if (file != nullptr) {
      out.rect = zone_rect(zone);
      const cv::Size size = file->size();
      *work = !covers_no_pixel(rect_bounds(out.rect, size.width, size.height));
    }
  });
  if (out.reader == ReaderKind::kSingleDigit) {
    if (!single_digit_role(parts.role.get())) {
      *work = false;
      return out;  // refused: "layout"
    }
    out.role = pyglue::utf8(parts.role.get());
  }
  if (*work) {
    normalize_settings(parts.processing.get(), &out.settings);
    out.role = reader_role(out.reader, parts.role.get());
  }
  return out;
}

}  // namespace native_ocr::zonescan
