// The clock reader: read_clock_from_crop, read_clock_from_image, read_clock, read_clock_zone.
#include "native_ocr/zonescan/python/bindings.h"
#include "native_ocr/zonescan/python/docstrings.h"
#include "native_ocr/zonescan/python/reader_entry.h"

namespace native_ocr::zonescan {
namespace {

using pyglue::Ref;

Ref py_read_clock_from_crop(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("read_clock_from_crop", {"crop", "role", "processing"},
                                             1);
  auto [crop, role, processing] = kSig.parse(args, kwargs);
  return read_crop_object(ReaderKind::kClock, crop, role, processing);
}

constexpr char kReadClockFromImage[] = "read_clock_from_image", kReadClock[] = "read_clock",
               kReadClockZone[] = "read_clock_zone";

}  // namespace

void add_clock_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_read_clock_from_crop>("read_clock_from_crop", kReadClockFromCropDoc);
  module.add_function<py_read_zone_from_image<ReaderKind::kClock, kReadClockFromImage>>(
      "read_clock_from_image", kReadClockFromImageDoc);
  module.add_function<py_read_zone_from_file<ReaderKind::kClock, kReadClock>>("read_clock",
                                                                              kReadClockDoc);
  module.add_function<py_read_zone_from_file<ReaderKind::kClock, kReadClockZone>>(
      "read_clock_zone", kReadClockZoneDoc);
}

}  // namespace native_ocr::zonescan
