// Timings of the separator detector's core, without Python: the whole detection of a drawn clock
// crop and its expensive steps (sheet blur, one window's evaluation).
#include <benchmark/benchmark.h>

#include "native_ocr/zonescan/separator/separator_detector.h"
#include "native_ocr/zonescan/separator/separator_mask.h"
#include "native_ocr/zonescan/separator/test_clock_images.h"

namespace native_ocr::zonescan {
namespace {

cv::Mat crop_of(int width, int height) {
  return testing::draw_clock(width, height, "1234", testing::Mark::kColon);
}

void BM_Detect(benchmark::State& state) {
  const cv::Mat crop = crop_of(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  DetectOptions options;
  options.per_window_blur = state.range(2) != 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(detect_clock_separator_without_regions(crop, 0.0, options));
  }
}
BENCHMARK(BM_Detect)
    ->Args({200, 60, 0})
    ->Args({200, 60, 1})
    ->Args({400, 120, 0})
    ->Args({400, 120, 1});

void BM_WindowBlurs(benchmark::State& state) {
  const cv::Mat crop = crop_of(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(separator_window_blurs(crop));
  }
}
BENCHMARK(BM_WindowBlurs)->Args({200, 60})->Args({400, 120});

void BM_EvaluateWindow(benchmark::State& state) {
  const cv::Mat crop = crop_of(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const SearchGeometry g = separator_search_corridor(crop.cols, crop.rows);
  const std::vector<cv::Mat> blurs = separator_window_blurs(crop);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        evaluate_separator_window(crop, g.physical_left, g.window_width, blurs[0]));
  }
}
BENCHMARK(BM_EvaluateWindow)->Args({200, 60})->Args({400, 120});

void BM_Mask(benchmark::State& state) {
  const cv::Mat crop = crop_of(200, 60).colRange(94, 105).clone();
  for (auto _ : state) {
    benchmark::DoNotOptimize(clock_separator_mask(crop));
  }
}
BENCHMARK(BM_Mask);

}  // namespace
}  // namespace native_ocr::zonescan

BENCHMARK_MAIN();
