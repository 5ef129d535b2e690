// process_image, prepare_display_from_crop, prepare_display_from_image, prepare_display.
#include <optional>

#include "native_ocr/zonescan/display.h"
#include "native_ocr/zonescan/python/bindings.h"
#include "native_ocr/zonescan/python/docstrings.h"
#include "native_ocr/zonescan/python/reader_entry.h"
#include "native_ocr/zonescan/python/result_dicts.h"
#include "native_ocr/zonescan/python/zone_arguments.h"
#include "native_ocr/zonescan/separator/separator_detector.h"

namespace native_ocr::zonescan {
namespace {

const pyglue::Name kBinary("binary"), kAngle("angle"), kCropSize("crop_size"),
    kSeparatorKey("separator"), kProcessingKey("processing");

// Images from this many pixels up are prepared with the interpreter lock released. Smaller ones
// take a few microseconds, less than handing the lock to another thread and waiting to get it back.
constexpr size_t kLockFreePixels = size_t{1} << 16;

// A prepared display: the new numpy array and a header over its pixels.
struct PreparedArray {
  pyglue::Ref array;
  cv::Mat binary;
};

PreparedArray prepare(const cv::Mat& pixels, bool three_dimensional, const ProcessingSettings& s) {
  pyglue::NewArray out(pixels.rows, pixels.cols);
  cv::Mat binary = out.mat();
  {
    std::optional<pyglue::GilRelease> unlocked;
    if (pixels.total() >= kLockFreePixels) {
      unlocked.emplace();
    }
    process_image_into(pixels, three_dimensional, s, binary);
  }
  return {out.take(binary), binary};
}

pyglue::Ref py_process_image(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("process_image", {"image", "settings"}, 1);
  auto [image, settings] = kSig.parse(args, kwargs);
  ProcessingSettings s;
  normalize_settings(settings, &s);
  if (image == Py_None) {
    throw pyglue::AttributeError("'NoneType' object has no attribute 'size'");
  }
  pyglue::ArrayView view(image);
  if (view.empty()) {
    return pyglue::Ref::borrow(image);  // nothing to process: the image itself
  }
  view.require_8bit_image("image");
  return prepare(view.mat(), view.ndim() == 3, s).array;
}

}  // namespace

pyglue::Ref prepare_display_dict(PyObject* crop, PyObject* detect_separator, PyObject* processing) {
  if (crop == nullptr || crop == Py_None) {
    return pyglue::none();
  }
  pyglue::ArrayView view(crop);
  if (view.empty()) {
    return pyglue::none();
  }
  ProcessingSettings s;
  pyglue::Ref settings = normalize_settings(processing, &s);
  view.require_8bit_image("crop");
  const cv::Mat pixels = view.mat();
  PreparedArray prepared = prepare(pixels, view.ndim() == 3, s);
  const cv::Mat& binary = prepared.binary;
  pyglue::Ref separator = pyglue::none();
  if (detect_separator != nullptr && pyglue::truth(detect_separator)) {
    // On the caller's crop as received (unrotated, unprocessed), angle 0.
    std::optional<SeparatorDetection> detection;
    {
      pyglue::GilRelease unlocked;
      detection = detect_clock_separator_without_regions(pixels, 0.0);
    }
    if (detection) {
      separator = detection_dict(*detection);
    }
  }
  return pyglue::DictBuilder()
      .set(kBinary, std::move(prepared.array))
      .set(kAngle, pyglue::new_float(s.rotation))
      .set(kCropSize, pyglue::new_int_list({binary.cols, binary.rows}))
      .set(kSeparatorKey, std::move(separator))
      .set(kProcessingKey, std::move(settings))
      .build();
}

namespace {

pyglue::Ref py_prepare_display_from_crop(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("prepare_display_from_crop",
                                             {"crop", "detect_separator", "processing"}, 1);
  auto [crop, detect_separator, processing] = kSig.parse(args, kwargs);
  return prepare_display_dict(crop, detect_separator, processing);
}

pyglue::Ref py_prepare_display_from_image(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<4> kSig(
      "prepare_display_from_image", {"zone", "image", "detect_separator", "processing"}, 2);
  auto [zone, image, detect_separator, processing] = kSig.parse(args, kwargs);
  pyglue::Ref crop = crop_zone_from_image(zone, image);
  return prepare_display_dict(crop.get(), detect_separator, processing);
}

pyglue::Ref py_prepare_display(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<4> kSig(
      "prepare_display", {"zone", "preview_path", "detect_separator", "processing"}, 2);
  auto [zone, path, detect_separator, processing] = kSig.parse(args, kwargs);
  pyglue::Ref image = decode_bgr_image(path);
  pyglue::Ref crop = crop_zone_from_image(zone, image.get());
  return prepare_display_dict(crop.get(), detect_separator, processing);
}

}  // namespace

void add_display_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_process_image>("process_image", kProcessImageDoc);
  module.add_function<py_prepare_display_from_crop>("prepare_display_from_crop",
                                                    kPrepareDisplayFromCropDoc);
  module.add_function<py_prepare_display_from_image>("prepare_display_from_image",
                                                     kPrepareDisplayFromImageDoc);
  module.add_function<py_prepare_display>("prepare_display", kPrepareDisplayDoc);
}

}  // namespace native_ocr::zonescan
