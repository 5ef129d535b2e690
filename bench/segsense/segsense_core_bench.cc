// The classifier's C++ core without the Python boundary: the same inputs as segsense_bench.py.
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "native_ocr/segsense/slot_reader.h"
#include "native_ocr/segsense/test_drawing.h"
#include "native_ocr/zonescan/display.h"

namespace native_ocr::segsense {
namespace {

// A 200x60 display of four 50-column cells: 1, blank, 4, 8 (0/255).
cv::Mat four_cell_display() {
  cv::Mat display = cv::Mat::zeros(60, 200, CV_8UC1);
  const int digits[] = {1, -1, 4, 8};
  for (int i = 0; i < 4; ++i) {
    if (digits[i] >= 0) {
      testing::draw_digit(display, digits[i], {i * 50 + 8, 6, 34, 48, 5}, 255);
    }
  }
  return display;
}

// An 80x50 dark BGR crop showing 2 and 7 in warm lit segments.
cv::Mat score_crop() {
  cv::Mat grey = cv::Mat::zeros(50, 80, CV_8UC1);
  testing::draw_digit(grey, 2, {6, 5, 28, 40, 4}, 255);
  testing::draw_digit(grey, 7, {46, 5, 28, 40, 4}, 255);
  cv::Mat crop(50, 80, CV_8UC3, cv::Scalar(0, 0, 0));
  crop.setTo(cv::Scalar(40, 200, 255), grey);
  return crop;
}

void BM_ReadFourSlots(benchmark::State& state) {
  const cv::Mat display = four_cell_display();
  const DisplayView view = view_of(display);
  const std::vector<Box> boxes = {
      {0, 0, 49, 59}, {50, 0, 99, 59}, {100, 0, 149, 59}, {150, 0, 199, 59}};
  CellScratch scratch;
  for (auto _ : state) {
    for (const Box& box : boxes) {
      benchmark::DoNotOptimize(read_slot(view, box, &scratch));
    }
  }
}
BENCHMARK(BM_ReadFourSlots);

void BM_ScoreReaderCore(benchmark::State& state) {
  const cv::Mat crop = score_crop();
  const zonescan::ProcessingSettings settings;
  CellScratch scratch;
  for (auto _ : state) {
    const cv::Mat binary = zonescan::process_image(crop, true, settings);
    const DisplayView view = view_of(binary);
    benchmark::DoNotOptimize(read_slot(view, {0, 0, 39, 49}, &scratch));
    benchmark::DoNotOptimize(read_slot(view, {40, 0, 79, 49}, &scratch));
  }
}
BENCHMARK(BM_ScoreReaderCore);

}  // namespace
}  // namespace native_ocr::segsense

BENCHMARK_MAIN();
