// The learned classifier's cost in the C++ core: one cell, and a 5-zone board (a clock and four
// one- or two-digit zones) read with the seven-segment classifier, with the learned one, and with
// the seven-segment classifier plus the learned one as a second opinion on its cells; and the
// board read and weighed for trust with either classifier.
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "native_ocr/zonescan/calibration/second_opinion.h"
#include "native_ocr/zonescan/calibration/zone_agreement.h"
#include "native_ocr/zonescan/cell_resize.h"
#include "native_ocr/zonescan/learned_classifier.h"
#include "native_ocr/zonescan/learned_model.h"
#include "native_ocr/zonescan/separator/test_clock_images.h"

namespace native_ocr::zonescan {
namespace {

struct Zone {
  ReaderKind reader;
  const char* role;
  cv::Mat crop;
};

// Crops drawn in lit segments with the digits filling the reader's own cells.
cv::Mat digits_crop(int width, int height, const std::string& digits) {
  cv::Mat image(height, width, CV_8UC3, cv::Scalar(30, 20, 15));
  const Layout layout = equal_digit_slots(width, height, static_cast<int64_t>(digits.size()));
  for (size_t i = 0; i < digits.size(); ++i) {
    testing::draw_digit(&image, layout[i].box, digits[i], cv::Scalar(60, 70, 240));
  }
  return image;
}

std::vector<Zone> board() {
  return {
      {ReaderKind::kClock, "clock", testing::draw_clock(200, 60, "1234", testing::Mark::kColon)},
      {ReaderKind::kScore, "home_score", digits_crop(80, 50, "27")},
      {ReaderKind::kScore, "guest_score", digits_crop(80, 50, "13")},
      {ReaderKind::kPeriod, "period", digits_crop(40, 50, "2")},
      {ReaderKind::kSingleDigit, "down", digits_crop(40, 50, "3")}};
}

void BM_OneCell(benchmark::State& state) {
  const cv::Mat crop = digits_crop(40, 50, "7");
  const cv::Mat grey = grey_display({crop, true}, {});
  const LevelTable table = level_table(grey);
  for (auto _ : state) {
    benchmark::DoNotOptimize(classify_cell(table, grey, {0, 0, 39, 49}));
  }
}
BENCHMARK(BM_OneCell);

// A cell's picture alone (resize_cell), against OpenCV's resize of the same values: cells of a
// 40x50 single digit and of a clock 307 px wide (87x122).
void resize_bench(benchmark::State& state, bool opencv) {
  const int cols = static_cast<int>(state.range(0)), rows = static_cast<int>(state.range(1));
  cv::Mat grey(rows, cols, CV_8UC1);
  cv::randu(grey, 0, 256);
  const LevelTable table = level_table(grey);
  cv::Mat values(rows, cols, CV_32FC1);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      values.at<float>(r, c) = table[grey.at<uint8_t>(r, c)];
    }
  }
  cv::Mat out(learned::kFeatureHeight, learned::kFeatureWidth, CV_32FC1);
  for (auto _ : state) {
    if (opencv) {
      cv::resize(values, out, out.size(), 0, 0, cv::INTER_AREA);
    } else {
      resize_cell(grey, {0, 0, cols - 1, rows - 1}, table, out);
    }
    benchmark::DoNotOptimize(out.data);
  }
}
void BM_ResizeCell(benchmark::State& state) {
  resize_bench(state, false);
}
void BM_ResizeCellOpenCv(benchmark::State& state) {
  resize_bench(state, true);
}
BENCHMARK(BM_ResizeCell)->Args({40, 50})->Args({87, 122});
BENCHMARK(BM_ResizeCellOpenCv)->Args({40, 50})->Args({87, 122});

void read_board(benchmark::State& state, CellClassifier choice, bool second) {
  const std::vector<Zone> zones = board();
  ProcessingSettings settings;
  settings.classifier = choice;
  const SegmentClassifier classifier;
  for (auto _ : state) {
    for (const Zone& z : zones) {
      const Reading r = read_crop(z.reader, {z.crop, true}, z.role, settings, classifier);
      if (second) {
        benchmark::DoNotOptimize(second_opinion(grey_display({z.crop, true}, settings), r.slots));
      }
      benchmark::DoNotOptimize(r.valid);
    }
  }
}

void BM_BoardSegments(benchmark::State& state) {
  read_board(state, CellClassifier::kSegments, false);
}
void BM_BoardLearned(benchmark::State& state) {
  read_board(state, CellClassifier::kLearned, false);
}
void BM_BoardSegmentsWithSecondOpinion(benchmark::State& state) {
  read_board(state, CellClassifier::kSegments, true);
}
BENCHMARK(BM_BoardSegments);
BENCHMARK(BM_BoardLearned);
BENCHMARK(BM_BoardSegmentsWithSecondOpinion);

// The same board in a 640x360 frame, each zone read and then weighed as trust_reading given the
// zone and the image weighs it: the other classifier's opinion of its cells, the four one-pixel
// moves and four threshold moves (the threshold moves sharing the reading's separator), and the
// ink around the cells.
void trust_board(benchmark::State& state, CellClassifier choice) {
  const std::vector<Zone> zones = board();
  cv::Mat frame(360, 640, CV_8UC3, cv::Scalar(30, 20, 15));
  std::vector<calibration::FrameZone> at;
  int x = 10;
  for (const Zone& z : zones) {
    z.crop.copyTo(frame(cv::Rect(x, 100, z.crop.cols, z.crop.rows)));
    calibration::FrameZone fz;
    fz.rect = {x / 640.0, 100 / 360.0, z.crop.cols / 640.0, z.crop.rows / 360.0};
    fz.role = z.role;
    fz.settings.classifier = choice;
    at.push_back(fz);
    x += z.crop.cols + 10;
  }
  const SegmentClassifier classifier;
  for (auto _ : state) {
    for (calibration::FrameZone& fz : at) {
      fz.frame = {frame, true};
      const CropView crop{frame(*zone_pixels(fz.rect, frame.size())), true};
      const Reading r = read_crop(reader_for_role(fz.role), crop, fz.role, fz.settings, classifier);
      std::vector<calibration::ReadCell> cells;
      std::vector<calibration::TrustCell> trust_cells;
      for (const SlotResult& s : r.slots) {
        calibration::ReadCell c;
        c.item = static_cast<int>(s.slot.index.value_or(0));
        c.box = s.slot.box;
        c.status = s.status;
        c.digit = s.digit;
        c.confidence = s.diagnostics.confidence;
        cells.push_back(c);
        if (s.status == SlotStatus::kDigit) {
          trust_cells.push_back(calibration::trust_cell(s));
        }
      }
      const calibration::Opinion opinion =
          calibration::ask_second_opinion(crop, fz.settings, cells);
      fz.separator_known = true;
      fz.separator = r.separator;
      calibration::ReadValue value;
      value.number = r.value;
      value.text = r.clock_value;
      const calibration::Agreement agreement = calibration::zone_agreement(
          fz, value, classifier,
          choice == CellClassifier::kLearned ? std::span(opinion.segment_cells)
                                             : std::span(trust_cells));
      benchmark::DoNotOptimize(agreement.shift);
    }
  }
}

void BM_TrustBoardSegments(benchmark::State& state) {
  trust_board(state, CellClassifier::kSegments);
}
void BM_TrustBoardLearned(benchmark::State& state) {
  trust_board(state, CellClassifier::kLearned);
}
BENCHMARK(BM_TrustBoardSegments);
BENCHMARK(BM_TrustBoardLearned);

}  // namespace
}  // namespace native_ocr::zonescan

BENCHMARK_MAIN();
