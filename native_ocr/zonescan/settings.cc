#include "native_ocr/zonescan/settings.h"

#include <algorithm>
#include <cmath>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::zonescan {
namespace {

int64_t clamp_int(int64_t value, int64_t low, int64_t high) {
  return std::max(low, std::min(high, value));
}

// The enumerator whose name (indexed by the enumerator) is exactly `name`.
template <typename Enum, size_t N>
std::optional<Enum> value_named(const std::array<std::string_view, N>& names,
                                std::string_view name) {
  for (size_t i = 0; i < N; ++i) {
    if (names[i] == name) {
      return static_cast<Enum>(i);
    }
  }
  return std::nullopt;
}

}  // namespace

ProcessingSettings clamp_settings(const ProcessingSettings& raw) {
  ProcessingSettings s = raw;
  s.threshold = clamp_int(raw.threshold, 0, 255);
  s.contrast = py_clamp(raw.contrast, 0.2, 4.0);
  s.brightness = clamp_int(raw.brightness, -150, 150);
  s.gamma = py_clamp(raw.gamma, 0.2, 3.0);
  s.rotation = py_clamp(raw.rotation, -15.0, 15.0);
  s.blur = clamp_int(raw.blur, 0, 15);
  s.morph_size = clamp_int(raw.morph_size, 1, 9);
  s.slant = std::isnan(raw.slant) ? 0.0 : py_clamp(raw.slant, -kMaxSlant, kMaxSlant);
  s.clock_cells = clamp_int(raw.clock_cells, kMinClockCells, kMaxClockCells);
  return s;
}

std::optional<Morphology> morphology_from_name(std::string_view name) {
  return value_named<Morphology>(kMorphologyNames, name);
}

std::string_view morphology_name(Morphology morphology) {
  return kMorphologyNames[static_cast<size_t>(morphology)];
}

std::optional<CellClassifier> classifier_from_name(std::string_view name) {
  return value_named<CellClassifier>(kClassifierNames, name);
}

std::string_view classifier_name(CellClassifier classifier) {
  return kClassifierNames[static_cast<size_t>(classifier)];
}

std::optional<Polarity> polarity_from_name(std::string_view name) {
  return value_named<Polarity>(kPolarityNames, name);
}

std::string_view polarity_name(Polarity polarity) {
  return kPolarityNames[static_cast<size_t>(polarity)];
}

}  // namespace native_ocr::zonescan
