// normalized_zone_bounds, decode_bgr_image, crop_zone_from_image, crop_zone, _box,
// equal_digit_slots, clock_slots.
#include <cmath>
#include <new>
#include <string>

#include "native_ocr/zonescan/frame_file.h"
#include "native_ocr/zonescan/python/bindings.h"
#include "native_ocr/zonescan/python/docstrings.h"
#include "native_ocr/zonescan/python/result_dicts.h"
#include "native_ocr/zonescan/python/zone_arguments.h"
#include "native_ocr/zonescan/zone.h"

namespace native_ocr::zonescan {
namespace {

const pyglue::Name kKind("kind"), kSlot("slot"), kBox("box"), kDigit("digit"),
    kSeparator("separator");
const pyglue::Name kX("x"), kY("y"), kWidth("width"), kHeight("height");

// More slots than this do not fit in memory as dictionaries; refused before trying.
constexpr int64_t kMaxSlots = int64_t{1} << 20;

// A zone coordinate as the arithmetic with it sees it: a real number, or the TypeError of
// multiplying a non-number by the frame size.
double zone_number(PyObject* value) {
  const bool real = PyFloat_Check(value) || PyLong_Check(value) ||
                    (PyNumber_Check(value) && !PyUnicode_Check(value) &&
                     PyObject_IsInstance(value, reinterpret_cast<PyObject*>(&PyComplex_Type)) != 1);
  if (real) {
    double v = PyFloat_AsDouble(value);
    if (!(v == -1.0 && PyErr_Occurred())) {
      return v;
    }
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) {
      throw pyglue::PythonError();
    }
    PyErr_Clear();
  }
  throw pyglue::TypeError("unsupported operand type(s) for *: '" + pyglue::type_name(value) +
                          "' and 'int'");
}

ZoneRect rect_of(PyObject* zone) {
  ZoneRect r;
  r.x = zone_number(pyglue::get_item(zone, kX).get());
  r.y = zone_number(pyglue::get_item(zone, kY).get());
  r.width = zone_number(pyglue::get_item(zone, kWidth).get());
  r.height = zone_number(pyglue::get_item(zone, kHeight).get());
  return r;
}

// image[y1:y2, x1:x2]; an image whose own slicing cannot take two slices (a memoryview, say) is
// the wrong type of image.
pyglue::Ref slice_view(PyObject* image, const Bounds& b) {
  try {
    return pyglue::slice_rows_cols(image, b.y1, b.y2, b.x1, b.x2);
  } catch (const pyglue::PythonError&) {
    if (!PyErr_ExceptionMatches(PyExc_NotImplementedError)) {
      throw;
    }
    PyErr_Clear();
    throw pyglue::TypeError("image must support two-dimensional slicing (a numpy array), got " +
                            pyglue::type_name(image));
  }
}

pyglue::Ref py_normalized_zone_bounds(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("normalized_zone_bounds",
                                             {"zone", "image_width", "image_height"}, 3);
  auto [zone, image_width, image_height] = kSig.parse(args, kwargs);
  const int64_t w = pyglue::int_argument(image_width, "image_width");
  const int64_t h = pyglue::int_argument(image_height, "image_height");
  const Bounds b = zone_bounds(zone, w, h);
  return pyglue::check(Py_BuildValue("(LLLL)", static_cast<long long>(b.x1),
                                     static_cast<long long>(b.y1), static_cast<long long>(b.x2),
                                     static_cast<long long>(b.y2)));
}

pyglue::Ref py_decode_bgr_image(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("decode_bgr_image", {"preview_path"}, 1);
  auto [path] = kSig.parse(args, kwargs);
  return decode_bgr_image(path);
}

pyglue::Ref py_crop_zone_from_image(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("crop_zone_from_image", {"zone", "image"}, 2);
  auto [zone, image] = kSig.parse(args, kwargs);
  return crop_zone_from_image(zone, image);
}

pyglue::Ref py_crop_zone(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("crop_zone", {"zone", "preview_path"}, 2);
  auto [zone, path] = kSig.parse(args, kwargs);
  pyglue::Ref image = decode_bgr_image(path);
  return crop_zone_from_image(zone, image.get());
}

pyglue::Ref py_box(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<4> kSig("_box", {"x1", "y1", "x2", "y2"}, 4);
  auto values = kSig.parse(args, kwargs);
  double v[4];
  for (size_t i = 0; i < 4; ++i) {
    v[i] = pyglue::real_number(values[i]);
    pyglue::require_integral(v[i]);
  }
  const Box box = make_box(v[0], v[1], v[2], v[3]);
  return pyglue::new_int_list_from(box);
}

pyglue::Ref py_equal_digit_slots(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("equal_digit_slots", {"width", "height", "count"}, 3);
  auto [width, height, count] = kSig.parse(args, kwargs);
  const int64_t w = pyglue::int_argument(width, "width");
  const int64_t h = pyglue::int_argument(height, "height");
  const int64_t n = pyglue::int_argument(count, "count");
  if (n > kMaxSlots) {
    throw std::bad_alloc();
  }
  return slot_list(equal_digit_slots(w, h, n));
}

pyglue::Ref py_clock_slots(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("clock_slots", {"width", "height", "separator_x"}, 2);
  auto [width, height, separator_x] = kSig.parse(args, kwargs);
  const int64_t w = pyglue::int_argument(width, "width");
  const int64_t h = pyglue::int_argument(height, "height");
  return slot_list(clock_slots(w, h, pyglue::optional_float_argument(separator_x)));
}

}  // namespace

pyglue::Ref slot_list(const Layout& layout) {
  pyglue::Ref list = pyglue::check(PyList_New(static_cast<Py_ssize_t>(layout.size())));
  Py_ssize_t i = 0;
  for (const Slot& slot : layout) {
    const bool digit = slot.kind == SlotKind::kDigit;
    pyglue::Ref index = slot.index ? pyglue::new_int(*slot.index) : pyglue::none();
    pyglue::Ref dict = pyglue::DictBuilder()
                           .set(kKind, pyglue::Ref::borrow(digit ? kDigit.get() : kSeparator.get()))
                           .set(kSlot, std::move(index))
                           .set(kBox, pyglue::new_int_list_from(slot.box))
                           .build();
    PyList_SetItem(list.get(), i++, dict.release());
  }
  return list;
}

ZoneRect zone_rect(PyObject* zone) {
  return rect_of(zone);
}

Bounds zone_bounds(PyObject* zone, int64_t image_width, int64_t image_height) {
  return rect_bounds(rect_of(zone), image_width, image_height);
}

Bounds rect_bounds(const ZoneRect& rect, int64_t image_width, int64_t image_height) {
  Bounds b;
  switch (normalized_zone_bounds(rect, image_width, image_height, &b)) {
    case BoundsError::kNaN:
      pyglue::require_integral(std::nan(""));
      break;
    case BoundsError::kInfinite:
      pyglue::require_integral(HUGE_VAL);
      break;
    case BoundsError::kNone:
      break;
  }
  return b;
}

cv::Mat decode_bgr_file(PyObject* path) {
  const std::optional<std::string> file = pyglue::file_name(path);
  if (!file) {
    return cv::Mat();
  }
  // Read through the board reader's file source: a directory, a FIFO or a device gives no image at
  // once, and no more is read than a frame can need; the pixels are cv::imread's.
  cv::Mat image;
  pyglue::GilRelease unlocked;
  try {
    image = FrameFile::open(*file).whole().pixels;
  } catch (const cv::Exception&) {
    image.release();  // a file OpenCV cannot decode is an unreadable file
  }
  return image;
}

pyglue::Ref decode_bgr_image(PyObject* path) {
  const cv::Mat image = decode_bgr_file(path);
  return image.empty() ? pyglue::none() : pyglue::new_array(image);
}

pyglue::Ref crop_zone_from_image(PyObject* zone, PyObject* image, ZoneRect* rect) {
  if (image == Py_None) {
    return pyglue::none();
  }
  pyglue::ArrayView view(image);
  view.require_8bit_image("image");
  const ZoneRect r = rect_of(zone);
  if (rect != nullptr) {
    *rect = r;
  }
  const Bounds b = rect_bounds(r, view.dim(1), view.dim(0));
  if (covers_no_pixel(b) || view.empty()) {
    return pyglue::none();
  }
  return slice_view(image, b);
}

void add_geometry_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_normalized_zone_bounds>("normalized_zone_bounds",
                                                 kNormalizedZoneBoundsDoc);
  module.add_function<py_decode_bgr_image>("decode_bgr_image", kDecodeBgrImageDoc);
  module.add_function<py_crop_zone_from_image>("crop_zone_from_image", kCropZoneFromImageDoc);
  module.add_function<py_crop_zone>("crop_zone", kCropZoneDoc);
  module.add_function<py_box>(
      "_box", "_box(x1, y1, x2, y2)\n--\n\nThe four values rounded half to even, as ints.");
  module.add_function<py_equal_digit_slots>("equal_digit_slots", kEqualDigitSlotsDoc);
  module.add_function<py_clock_slots>("clock_slots", kClockSlotsDoc);
}

}  // namespace native_ocr::zonescan
