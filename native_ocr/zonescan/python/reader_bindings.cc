// The score, period and single-digit readers (each from a crop, from a decoded frame and from a
// preview file) and _read_slots, which hands slots to the classifier module.
#include "native_ocr/zonescan/python/bindings.h"
#include "native_ocr/zonescan/python/docstrings.h"
#include "native_ocr/zonescan/python/reader_entry.h"

namespace native_ocr::zonescan {
namespace {

using pyglue::Ref;

Ref py_read_slots(PyObject* args, PyObject* kwargs) {
  static const pyglue::Name kModule("native_ocr.segsense"), kReadSlots("read_slots");
  static constexpr pyglue::Signature<2> kSig("_read_slots", {"binary", "slots"}, 2);
  auto [binary, slots] = kSig.parse(args, kwargs);
  Ref module = module_named(kModule);
  Ref read_slots = pyglue::check(PyObject_GetAttr(module.get(), kReadSlots.get()));
  return pyglue::check(PyObject_CallFunctionObjArgs(read_slots.get(), binary, slots, nullptr));
}

Ref py_read_score_from_crop(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("read_score_from_crop", {"crop", "role", "processing"},
                                             1);
  auto [crop, role, processing] = kSig.parse(args, kwargs);
  return read_crop_object(ReaderKind::kScore, crop, role, processing);
}

Ref py_read_period_from_crop(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("read_period_from_crop", {"crop", "processing"}, 1);
  auto [crop, processing] = kSig.parse(args, kwargs);
  return read_crop_object(ReaderKind::kPeriod, crop, nullptr, processing);
}

Ref py_read_single_digit_from_crop(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("read_single_digit_from_crop",
                                             {"crop", "role", "processing"}, 2);
  auto [crop, role, processing] = kSig.parse(args, kwargs);
  return read_crop_object(ReaderKind::kSingleDigit, crop, role, processing);
}

constexpr char kScoreFromImage[] = "read_score_from_image", kScore[] = "read_score",
               kPeriodFromImage[] = "read_period_from_image", kPeriod[] = "read_period",
               kSingleDigitFromImage[] = "read_single_digit_from_image",
               kSingleDigit[] = "read_single_digit";

}  // namespace

void add_reader_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_read_slots>("_read_slots", kReadSlotsDoc);
  module.add_function<py_read_score_from_crop>("read_score_from_crop", kReadScoreFromCropDoc);
  module.add_function<py_read_zone_from_image<ReaderKind::kScore, kScoreFromImage>>(
      "read_score_from_image", kReadScoreFromImageDoc);
  module.add_function<py_read_zone_from_file<ReaderKind::kScore, kScore>>("read_score",
                                                                          kReadScoreDoc);
  module.add_function<py_read_period_from_crop>("read_period_from_crop", kReadPeriodFromCropDoc);
  module.add_function<py_read_zone_from_image<ReaderKind::kPeriod, kPeriodFromImage>>(
      "read_period_from_image", kReadPeriodFromImageDoc);
  module.add_function<py_read_zone_from_file<ReaderKind::kPeriod, kPeriod>>("read_period",
                                                                            kReadPeriodDoc);
  module.add_function<py_read_single_digit_from_crop>("read_single_digit_from_crop",
                                                      kReadSingleDigitFromCropDoc);
  module.add_function<py_read_zone_from_image<ReaderKind::kSingleDigit, kSingleDigitFromImage>>(
      "read_single_digit_from_image", kReadSingleDigitFromImageDoc);
  module.add_function<py_read_zone_from_file<ReaderKind::kSingleDigit, kSingleDigit>>(
      "read_single_digit", kReadSingleDigitDoc);
}

}  // namespace native_ocr::zonescan
