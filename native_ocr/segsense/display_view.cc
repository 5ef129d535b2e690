#include "native_ocr/segsense/display_view.h"

#include <cmath>
#include <cstring>

namespace native_ocr::segsense {
namespace {

// IEEE half precision to single; only the sign, NaN-ness and zero-ness matter here, but the
// conversion is exact anyway.
float half_to_float(uint16_t bits) {
  const uint32_t sign = (bits & 0x8000u) << 16;
  const uint32_t exponent = (bits >> 10) & 0x1fu;
  uint32_t mantissa = bits & 0x3ffu;
  uint32_t out;
  if (exponent == 0x1f) {
    out = sign | 0x7f800000u | (mantissa << 13);
  } else if (exponent != 0) {
    out = sign | ((exponent + 112) << 23) | (mantissa << 13);
  } else if (mantissa == 0) {
    out = sign;
  } else {
    int shift = 0;
    while ((mantissa & 0x400u) == 0) {
      mantissa <<= 1;
      ++shift;
    }
    out = sign | (static_cast<uint32_t>(113 - shift) << 23) | ((mantissa & 0x3ffu) << 13);
  }
  float value;
  std::memcpy(&value, &out, sizeof(value));
  return value;
}

template <typename T>
T load(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof(T));
  return value;
}

struct HalfTag {};

template <typename T>
auto load_value(const char* p) {
  if constexpr (std::is_same_v<T, HalfTag>) {
    return half_to_float(load<uint16_t>(p));
  } else {
    return load<T>(p);
  }
}

// One pixel: the maximum over channels, then > 0. For floats numpy's maximum propagates NaN.
template <typename T>
uint8_t pixel_ink(const char* p, int64_t channels, int64_t channel_stride) {
  bool positive = false;
  for (int64_t c = 0; c < channels; ++c, p += channel_stride) {
    auto v = load_value<T>(p);
    if constexpr (std::is_floating_point_v<decltype(v)>) {
      if (std::isnan(v)) {
        return 0;
      }
    }
    if (v > 0) {
      positive = true;
    }
  }
  return positive ? 1 : 0;
}

template <typename T>
void binarize_typed(const DisplayView& view, int64_t y, int64_t x, int64_t rows, int64_t cols,
                    cv::Mat* cell) {
  const char* origin = view.data + y * view.row_stride + x * view.col_stride;
  for (int64_t r = 0; r < rows; ++r) {
    const char* p = origin + r * view.row_stride;
    uint8_t* out = cell->ptr<uint8_t>(static_cast<int>(r));
    if (view.channels == 1) {
      for (int64_t c = 0; c < cols; ++c, p += view.col_stride) {
        auto v = load_value<T>(p);
        out[c] = v > 0 ? 1 : 0;  // NaN compares false
      }
    } else {
      for (int64_t c = 0; c < cols; ++c, p += view.col_stride) {
        out[c] = pixel_ink<T>(p, view.channels, view.channel_stride);
      }
    }
  }
}

// The common case: an 8-bit unsigned display with one channel and contiguous columns.
void binarize_u8_rows(const DisplayView& view, int64_t y, int64_t x, int64_t rows, int64_t cols,
                      cv::Mat* cell) {
  for (int64_t r = 0; r < rows; ++r) {
    const uint8_t* in = reinterpret_cast<const uint8_t*>(view.data + (y + r) * view.row_stride + x);
    uint8_t* out = cell->ptr<uint8_t>(static_cast<int>(r));
    for (int64_t c = 0; c < cols; ++c) {
      out[c] = in[c] != 0;
    }
  }
}

void binarize_cells(const DisplayView& view, int64_t y, int64_t x, int64_t rows, int64_t cols,
                    cv::Mat* cell) {
  cell->create(static_cast<int>(rows), static_cast<int>(cols), CV_8UC1);
  if (rows == 0 || cols == 0) {
    return;
  }
  switch (view.type) {
    case ElementType::kBool:
    case ElementType::kUInt8:
      if (view.channels == 1 && view.col_stride == 1) {
        return binarize_u8_rows(view, y, x, rows, cols, cell);
      }
      return binarize_typed<uint8_t>(view, y, x, rows, cols, cell);
    case ElementType::kInt8:
      return binarize_typed<int8_t>(view, y, x, rows, cols, cell);
    case ElementType::kInt16:
      return binarize_typed<int16_t>(view, y, x, rows, cols, cell);
    case ElementType::kUInt16:
      return binarize_typed<uint16_t>(view, y, x, rows, cols, cell);
    case ElementType::kInt32:
      return binarize_typed<int32_t>(view, y, x, rows, cols, cell);
    case ElementType::kUInt32:
      return binarize_typed<uint32_t>(view, y, x, rows, cols, cell);
    case ElementType::kInt64:
      return binarize_typed<int64_t>(view, y, x, rows, cols, cell);
    case ElementType::kUInt64:
      return binarize_typed<uint64_t>(view, y, x, rows, cols, cell);
    case ElementType::kFloat16:
      return binarize_typed<HalfTag>(view, y, x, rows, cols, cell);
    case ElementType::kFloat32:
      return binarize_typed<float>(view, y, x, rows, cols, cell);
    case ElementType::kFloat64:
      return binarize_typed<double>(view, y, x, rows, cols, cell);
  }
}

void count_rows(const cv::Mat& cell, std::vector<double>* counts) {
  counts->resize(static_cast<size_t>(cell.rows));
  for (int r = 0; r < cell.rows; ++r) {
    const uint8_t* row = cell.ptr<uint8_t>(r);
    int count = 0;
    for (int c = 0; c < cell.cols; ++c) {
      count += row[c];
    }
    (*counts)[static_cast<size_t>(r)] = count;
  }
}

}  // namespace

size_t element_size(ElementType type) {
  switch (type) {
    case ElementType::kBool:
    case ElementType::kInt8:
    case ElementType::kUInt8:
      return 1;
    case ElementType::kInt16:
    case ElementType::kUInt16:
    case ElementType::kFloat16:
      return 2;
    case ElementType::kInt32:
    case ElementType::kUInt32:
    case ElementType::kFloat32:
      return 4;
    case ElementType::kInt64:
    case ElementType::kUInt64:
    case ElementType::kFloat64:
      return 8;
  }
  return 1;
}

DisplayView view_of(const cv::Mat& mat) {
  DisplayView view;
  view.data = reinterpret_cast<const char*>(mat.data);
  view.type = ElementType::kUInt8;
  view.rows = mat.rows;
  view.cols = mat.cols;
  view.channels = mat.channels();
  view.row_stride = static_cast<int64_t>(mat.step[0]);
  view.col_stride = static_cast<int64_t>(mat.elemSize());
  view.channel_stride = 1;
  return view;
}

void binarize_region(const DisplayView& view, int64_t y, int64_t x, int64_t rows, int64_t cols,
                     cv::Mat* cell, std::vector<double>* row_counts) {
  binarize_cells(view, y, x, rows, cols, cell);
  if (row_counts != nullptr) {
    count_rows(*cell, row_counts);
  }
}

}  // namespace native_ocr::segsense
