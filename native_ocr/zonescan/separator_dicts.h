// The separator detector's results as the dictionaries the module returns, in their documented key
// order, and the numpy arrays its maps travel in.
#ifndef NATIVE_OCR_ZONESCAN_SEPARATOR_DICTS_H_
#define NATIVE_OCR_ZONESCAN_SEPARATOR_DICTS_H_

#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/zonescan/separator/separator_detector.h"

namespace native_ocr::zonescan {

// A new float32 numpy array (rows x columns) holding a copy of a CV_32FC1 map.
pyglue::Ref new_float32_array(const cv::Mat& map);

// A caller's array as a contiguous float32 map (numpy.ascontiguousarray(x, dtype=float32)); the
// converted array is held until destruction. ValueError unless it has two dimensions.
class Float32Map {
 public:
  Float32Map(PyObject* object, const char* name);
  ~Float32Map();
  Float32Map(const Float32Map&) = delete;
  Float32Map& operator=(const Float32Map&) = delete;
  const cv::Mat& mat() const { return mat_; }

 private:
  pyglue::Ref array_;
  Py_buffer buffer_{};
  cv::Mat mat_;
};

// {y_min, ..., reliability}: the 13 keys of a group.
pyglue::Ref group_dict(const SeparatorGroup& group);

// {colon, decimal, colon_score, decimal_score} whose candidates name the given group objects.
// `into` receives the four entries (a window evaluation appends them after its own keys).
void add_topology(pyglue::DictBuilder& into, const SeparatorTopology& topology,
                  const std::vector<pyglue::Ref>& group_objects);

// The 8-key window evaluation; the candidates share the group dictionaries of its list.
pyglue::Ref window_dict(const WindowEvaluation& evaluation);

// The 7-key search geometry.
pyglue::Ref geometry_dict(const SearchGeometry& geometry);

// The 5-key spatial prior, appended to `into`.
void add_spatial_prior(pyglue::DictBuilder& into, const SpatialPrior& prior);

// The 23-key detector result.
pyglue::Ref detection_dict(const SeparatorDetection& detection);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_SEPARATOR_DICTS_H_
