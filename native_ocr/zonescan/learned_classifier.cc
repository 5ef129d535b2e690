#include "native_ocr/zonescan/learned_classifier.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "native_ocr/segsense/slot_reader.h"
#include "native_ocr/zonescan/cell_resize.h"
#include "native_ocr/zonescan/learned_model.h"

namespace native_ocr::zonescan {
namespace {

// The tails the lit strokes are looked for in: the strokes of even a lone 1 cover more than 1 %
// of a display cut around its digits. Which tail lies further from the median tells the polarity.
constexpr double kLowQuantile = 0.01;
constexpr double kLitQuantile = 0.99;
// The background: this quantile on the unlit side (the median itself is lifted by glow and by
// large lit digits in a tight cut, such as a bold 88).
constexpr double kBackgroundQuantile = 0.25;
// Grey levels below which the lit level's height above the background is not believed, so that a
// blank, flat display's noise is not stretched into strokes: the spread from the background
// quantile to the lit quantile of the noisiest flat display the training draws (noise sigma 8,
// 0.25 to 0.99 of a normal distribution: 3 sigma).
constexpr double kMinSpan = 24.0;
// The probability below which the learned answer is "unknown": the held-out drawn cells whose top
// probability lies between 0.5 and 0.6 are wrong about half the time (bench/learned/train.py's
// table; from 0.6 up, 1.4 % of cells are left unknown and 2.0 % of the answered are wrong).
constexpr double kMinProbability = 0.6;

// The smallest grey level whose cumulative count reaches q * n.
int level(const std::array<double, 256>& cumulative, double n, double q) {
  const auto it = std::lower_bound(cumulative.begin(), cumulative.end(), q * n);
  return static_cast<int>(std::min<std::ptrdiff_t>(it - cumulative.begin(), 255));
}

// The cell's feature vector: its values resized to the feature image, then its aspect ratio.
std::array<float, learned::kInputs> features(const LevelTable& table, const cv::Mat& grey,
                                             const Box& clipped) {
  std::array<float, learned::kInputs> x{};
  cv::Mat small(learned::kFeatureHeight, learned::kFeatureWidth, CV_32FC1, x.data());
  resize_cell(grey, clipped, table, small);
  const double cols = static_cast<double>(clipped[2] - clipped[0] + 1);
  const double rows = static_cast<double>(clipped[3] - clipped[1] + 1);
  x.back() = static_cast<float>(cols / rows);
  return x;
}

// Floats in one register (GCC and Clang vector extensions): four in SSE2, NEON and every x86-64,
// eight in AVX. Each lane's product and sum are the scalar ones (products and sums are separate
// roundings: no fused multiply-add), so a layer's outputs are the same bits however many outputs
// are summed at once.
using Float4 = float __attribute__((vector_size(16)));
using Float8 = float __attribute__((vector_size(32)));
// Vectors of sums kept in registers over one pass through a layer's inputs: eight leave room for
// the weights' loads in the sixteen vector registers of x86-64 (AArch64 has 32).
constexpr int kBlockVectors = 8;
// The widest layer input or output: the feature vector (the hidden layers are narrower; checked
// when the model is first used).
constexpr int kMaxInputs = learned::kInputs;

// Outputs [first, first + kVectors lanes of V) of `layer`: each starts at its bias and adds
// weight x input over the inputs listed in `nonzero`, in their order (an input's weights are a
// row). Inlined into its caller, whose target decides the instructions.
template <typename V, int kVectors>
[[gnu::always_inline]] inline void output_block(const learned::Layer& layer,
                                                std::span<const int> nonzero, const float* in,
                                                int first, float* out) {
  constexpr int kLanes = static_cast<int>(sizeof(V) / sizeof(float));
  V sum[kVectors];
  std::memcpy(sum, layer.bias + first, sizeof sum);
  for (const int i : nonzero) {
    const float* w = layer.weights + static_cast<ptrdiff_t>(i) * layer.outputs + first;
    const float x = in[i];
    for (int k = 0; k < kVectors; ++k) {
      V weights;
      std::memcpy(&weights, w + k * kLanes, sizeof weights);
      sum[k] += weights * x;
    }
  }
  std::memcpy(out + first, sum, sizeof sum);
}

// A layer's outputs (before its activation) from its inputs, summed in vectors V. Inputs that are
// exactly 0 (the background, and hidden units the ReLU shut) add nothing and are skipped.
template <typename V>
[[gnu::always_inline]] inline void layer_outputs_in(const learned::Layer& layer, const float* in,
                                                    float* out) {
  constexpr int kLanes = static_cast<int>(sizeof(V) / sizeof(float));
  std::array<int, kMaxInputs> listed;
  int count = 0;
  for (int i = 0; i < layer.inputs; ++i) {
    if (in[i] != 0.0f) {
      listed[static_cast<size_t>(count++)] = i;
    }
  }
  const std::span<const int> nonzero(listed.data(), static_cast<size_t>(count));
  int o = 0;
  for (; o + kBlockVectors * kLanes <= layer.outputs; o += kBlockVectors * kLanes) {
    output_block<V, kBlockVectors>(layer, nonzero, in, o, out);
  }
  for (; o + kLanes <= layer.outputs; o += kLanes) {
    output_block<V, 1>(layer, nonzero, in, o, out);
  }
  for (; o < layer.outputs; ++o) {
    float sum = layer.bias[o];
    for (const int i : nonzero) {
      sum += layer.weights[static_cast<ptrdiff_t>(i) * layer.outputs + o] * in[i];
    }
    out[o] = sum;
  }
}

void layer_outputs_narrow(const learned::Layer& layer, const float* in, float* out) {
  layer_outputs_in<Float4>(layer, in, out);
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same eight lanes at a time where the processor has AVX2 (AVX alone would do; AVX2 is the
// feature x86-64 processors of the last decade report). FMA stays off: the target names AVX2 only.
[[gnu::target("avx2")]] void layer_outputs_wide(const learned::Layer& layer, const float* in,
                                                float* out) {
  layer_outputs_in<Float8>(layer, in, out);
}

void layer_outputs(const learned::Layer& layer, const float* in, float* out) {
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) {
    layer_outputs_wide(layer, in, out);
  } else {
    layer_outputs_narrow(layer, in, out);
  }
}
#else
void layer_outputs(const learned::Layer& layer, const float* in, float* out) {
  layer_outputs_narrow(layer, in, out);
}
#endif

// The class probabilities of a feature vector: the layers, ReLU between them, softmax at the end.
std::array<double, learned::kClasses> probabilities(const std::array<float, learned::kInputs>& x) {
  static const bool fits =
      std::all_of(learned::kModel.begin(), learned::kModel.end(), [](const learned::Layer& layer) {
        return layer.inputs <= kMaxInputs && layer.outputs <= kMaxInputs;
      });
  if (!fits) {
    throw std::logic_error("learned model: a layer wider than its feature vector");
  }
  std::array<float, kMaxInputs> a{}, b{};
  std::copy(x.begin(), x.end(), a.begin());
  float* in = a.data();
  float* out = b.data();
  for (size_t l = 0; l < learned::kModel.size(); ++l) {
    const learned::Layer& layer = learned::kModel[l];
    layer_outputs(layer, in, out);
    if (l + 1 < learned::kModel.size()) {
      for (int o = 0; o < layer.outputs; ++o) {
        out[o] = std::max(out[o], 0.0f);
      }
    }
    std::swap(in, out);
  }
  std::array<double, learned::kClasses> p{};
  const double top = *std::max_element(in, in + learned::kClasses);
  double sum = 0.0;
  for (size_t k = 0; k < p.size(); ++k) {
    p[k] = std::exp(static_cast<double>(in[k]) - top);
    sum += p[k];
  }
  for (double& v : p) {
    v /= sum;
  }
  return p;
}

CellAnswer answer(const std::array<double, learned::kClasses>& p) {
  const auto best = std::max_element(p.begin(), p.end());
  const int k = static_cast<int>(best - p.begin());
  CellAnswer a;
  a.probability = *best;
  if (a.probability < kMinProbability) {
    a.status = SlotStatus::kUnknown;
  } else if (k == learned::kBlankClass) {
    a.status = SlotStatus::kEmpty;
  } else {
    a.status = SlotStatus::kDigit;
    a.digit = k;
  }
  return a;
}

// The slot result of an answer, with the diagnostics a result dictionary is built from.
SlotResult slot_result(const Slot& slot, const Box& clipped, const CellAnswer& a) {
  SlotResult r;
  r.slot = slot;
  r.status = a.status;
  r.digit = a.digit;
  r.diagnostics.box = clipped;
  r.diagnostics.confidence = a.probability;
  if (a.status == SlotStatus::kEmpty) {
    r.diagnostics.empty_confidence = a.probability;
    return r;
  }
  r.diagnostics.empty_confidence = 0.0;
  r.diagnostics.glyph_box = clipped;
  return r;
}

// The answers of the cells read from one display, with a copy of its pixels.
class DisplayMemo {
 public:
  // The answer for the cell of `box` of `grey`, the display this memo is of.
  CellAnswer answer(const cv::Mat& grey, const Box& box);
  // This thread's memo of `grey`, refilled unless it holds the same pixels; `local`, emptied,
  // for a display too large to copy (or empty, or not 8-bit single channel).
  static DisplayMemo& of(const cv::Mat& grey, DisplayMemo& local);

 private:
  bool filled_ = false;
  cv::Mat pixels_;
  LevelTable table_{};
  std::vector<std::pair<Box, CellAnswer>> answers_;
};

// The largest display whose answers a thread keeps (its pixels are copied to be compared): a
// zone's display is a few tens of thousands of pixels; a whole 1080p frame is two million.
constexpr size_t kMemoPixels = size_t{1} << 20;

bool same_pixels(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) {
    return false;
  }
  const size_t row_bytes = static_cast<size_t>(a.cols) * a.elemSize();
  for (int r = 0; r < a.rows; ++r) {
    if (std::memcmp(a.ptr(r), b.ptr(r), row_bytes) != 0) {
      return false;
    }
  }
  return true;
}

CellAnswer DisplayMemo::answer(const cv::Mat& grey, const Box& box) {
  for (const auto& [at, known] : answers_) {
    if (at == box) {
      return known;
    }
  }
  const CellAnswer a = classify_cell(table_, grey, box);
  answers_.emplace_back(box, a);
  return a;
}

DisplayMemo& DisplayMemo::of(const cv::Mat& grey, DisplayMemo& local) {
  thread_local DisplayMemo kept;
  if (grey.empty() || grey.type() != CV_8UC1 || grey.total() > kMemoPixels) {
    local = DisplayMemo();
    local.table_ = level_table(grey);
    return local;
  }
  if (!kept.filled_ || !same_pixels(kept.pixels_, grey)) {
    grey.copyTo(kept.pixels_);
    kept.table_ = level_table(grey);
    kept.answers_.clear();
    kept.filled_ = true;
  }
  return kept;
}

}  // namespace

LevelTable level_table(const cv::Mat& grey) {
  // Four counts per level, one for each column modulo four: neighbouring pixels of one level (a
  // flat background) do not wait on each other's increment.
  std::array<std::array<uint32_t, 256>, 4> counts{};
  for (int r = 0; r < grey.rows; ++r) {
    const uint8_t* row = grey.ptr<uint8_t>(r);
    int c = 0;
    for (; c + 4 <= grey.cols; c += 4) {
      ++counts[0][row[c]];
      ++counts[1][row[c + 1]];
      ++counts[2][row[c + 2]];
      ++counts[3][row[c + 3]];
    }
    for (; c < grey.cols; ++c) {
      ++counts[0][row[c]];
    }
  }
  // Whole counts below 2^53: the running sums are exact in double.
  std::array<double, 256> cumulative{};
  double running = 0.0;
  for (size_t v = 0; v < cumulative.size(); ++v) {
    running += static_cast<double>(counts[0][v]) + static_cast<double>(counts[1][v]) +
               static_cast<double>(counts[2][v]) + static_cast<double>(counts[3][v]);
    cumulative[v] = running;
  }
  const double n = static_cast<double>(grey.total());
  const int low = level(cumulative, n, kLowQuantile);
  const int median = level(cumulative, n, 0.5);
  const int high = level(cumulative, n, kLitQuantile);
  const bool flip = (high - median) < (median - low);
  const int background = flip ? 255 - level(cumulative, n, 1.0 - kBackgroundQuantile)
                              : level(cumulative, n, kBackgroundQuantile);
  const int lit = flip ? 255 - low : high;
  const double span = std::max(static_cast<double>(lit - background), kMinSpan);
  LevelTable table{};
  for (int i = 0; i < 256; ++i) {
    const double v = flip ? 255.0 - i : static_cast<double>(i);
    table[static_cast<size_t>(i)] =
        static_cast<float>(std::clamp((v - background) / span, 0.0, 1.0));
  }
  return table;
}

CellAnswer classify_cell(const LevelTable& table, const cv::Mat& grey, const Box& box) {
  if (grey.empty()) {
    return {SlotStatus::kEmpty, std::nullopt, 1.0};  // an empty display has empty cells
  }
  const Box clipped = segsense::clip_box(box, grey.cols, grey.rows);
  return answer(probabilities(features(table, grey, clipped)));
}

std::vector<SlotResult> LearnedClassifier::read_slots(const cv::Mat& grey,
                                                      const Layout& layout) const {
  DisplayMemo local;
  DisplayMemo& memo = DisplayMemo::of(grey, local);
  std::vector<SlotResult> out;
  for (const Slot& slot : layout) {
    if (slot.kind == SlotKind::kDigit) {
      out.push_back(slot_result(slot, segsense::clip_box(slot.box, grey.cols, grey.rows),
                                memo.answer(grey, slot.box)));
    }
  }
  return out;
}

std::vector<SlotResult> LearnedClassifier::read_display(const PreparedDisplay& display,
                                                        const Layout& layout) const {
  return read_slots(display.grey.empty() ? display.binary : display.grey, layout);
}

std::vector<SecondOpinion> second_opinion(const cv::Mat& grey, std::span<const SlotResult> read) {
  DisplayMemo local;
  DisplayMemo& memo = DisplayMemo::of(grey, local);
  std::vector<SecondOpinion> out;
  for (const SlotResult& r : read) {
    SecondOpinion o{r.slot, memo.answer(grey, r.slot.box), false};
    const bool both_empty =
        r.status == SlotStatus::kEmpty && o.learned.status == SlotStatus::kEmpty;
    const bool same_digit = r.status == SlotStatus::kDigit &&
                            o.learned.status == SlotStatus::kDigit && r.digit == o.learned.digit;
    o.agrees = both_empty || same_digit;
    out.push_back(std::move(o));
  }
  return out;
}

std::vector<SecondOpinion> second_opinion(const CropView& crop, const ProcessingSettings& settings,
                                          const Reading& reading) {
  return second_opinion(grey_display(crop, settings), reading.slots);
}

bool all_agree(std::span<const SecondOpinion> opinions) {
  return !opinions.empty() && std::all_of(opinions.begin(), opinions.end(),
                                          [](const SecondOpinion& o) { return o.agrees; });
}

}  // namespace native_ocr::zonescan
