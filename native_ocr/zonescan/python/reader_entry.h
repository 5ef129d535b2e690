// The readers' entry points from Python (reading_bindings.cc, display_bindings.cc): a crop
// argument, the role a reader uses, the choice of classifier, and a reader on a crop or on a zone
// of a frame or preview file, with the module functions built from them.
#ifndef NATIVE_OCR_ZONESCAN_PYTHON_READER_ENTRY_H_
#define NATIVE_OCR_ZONESCAN_PYTHON_READER_ENTRY_H_

#include <string>

#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/zonescan/python/zone_arguments.h"
#include "native_ocr/zonescan/reader.h"

namespace native_ocr::zonescan {

// prepare_display_from_crop(crop, detect_separator, processing): the prepared display dictionary
// (binary, angle, crop_size, separator, processing), or None for a missing or empty crop.
pyglue::Ref prepare_display_dict(PyObject* crop, PyObject* detect_separator, PyObject* processing);

// A reader's crop as the core reads it: the pixels of an ImageArgument (None or absent: no image,
// an empty view). TypeError/ValueError unless an 8-bit 2-D or 3-D array.
CropView crop_view(const pyglue::ImageArgument& crop);

// The role text the reader uses: the score and clock readers take a falsy role as "" (their
// default) and otherwise need exactly a str (TypeError "Argument 'role' has incorrect type ...");
// the single-digit reader takes any str as is and anything else as "" (refused later); the period
// reader ignores the role.
std::string reader_role(ReaderKind reader, PyObject* role);

// The module of that name from sys.modules, imported when it is not there yet.
pyglue::Ref module_named(const pyglue::Name& name);

// True when the single-digit reader accepts the role (a str in SINGLE_DIGIT_ROLES).
bool single_digit_role(PyObject* role);

// Whether the readers may call the linked-in classifier: native_ocr.segsense is imported (at the
// first slot read) and neither the module's _read_slots nor segsense.read_slots has been replaced.
// Otherwise `replaced` receives the _read_slots callable to use.
bool linked_classifier(pyglue::Ref* replaced);

// The classifier the module's _read_slots names when it has been replaced: called with the
// display as a numpy array and the layout as slot dictionaries; its results are read back for
// their status and char. items() is the object it returned for the last read.
class PythonSlotClassifier final : public SlotClassifier {
 public:
  explicit PythonSlotClassifier(pyglue::Ref function) : function_(std::move(function)) {}
  std::vector<SlotResult> read_slots(const cv::Mat& binary, const Layout& layout) const override;
  const pyglue::Ref& items() const { return items_; }

 private:
  pyglue::Ref function_;
  mutable pyglue::Ref items_;
};

// A reader on a crop object: the chain of read_prepared with the interpreter lock released around
// the core's work, then the result dictionary. Errors raise as the reader's own would.
pyglue::Ref read_crop_object(ReaderKind reader, PyObject* crop, PyObject* role,
                             PyObject* processing);

// A reader on a zone of a decoded frame (None: no frame): zone_parts with the zone's crop of the
// image, then read_crop_object.
pyglue::Ref read_zone_object(ReaderKind reader, PyObject* zone, PyObject* image);

// The module functions of a reader on a zone of a decoded frame (zone, image) and of a preview
// file (zone, preview_path), named kName.
template <ReaderKind R, const char* kName>
pyglue::Ref py_read_zone_from_image(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig(kName, {"zone", "image"}, 2);
  auto [zone, image] = kSig.parse(args, kwargs);
  return read_zone_object(R, zone, image);
}
template <ReaderKind R, const char* kName>
pyglue::Ref py_read_zone_from_file(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig(kName, {"zone", "preview_path"}, 2);
  auto [zone, path] = kSig.parse(args, kwargs);
  pyglue::Ref image = decode_bgr_image(path);
  return read_zone_object(R, zone, image.get());
}

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_PYTHON_READER_ENTRY_H_
