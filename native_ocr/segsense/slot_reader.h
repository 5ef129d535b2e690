// Reading one digit slot of a display: clip its box, cut and binarise the cell, decide whether
// it is empty, frame the glyph and classify it.
#ifndef NATIVE_OCR_SEGSENSE_SLOT_READER_H_
#define NATIVE_OCR_SEGSENSE_SLOT_READER_H_

#include <array>
#include <cstdint>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "native_ocr/segsense/cell_framing.h"
#include "native_ocr/segsense/display_view.h"
#include "native_ocr/segsense/segment_classifier.h"

namespace native_ocr::segsense {

// Clamps each corner into the display (x into 0..width-1, y into 0..height-1; 0 for an empty
// dimension) and orders each pair so that x1 <= x2 and y1 <= y2.
Box clip_box(const Box& box, int64_t width, int64_t height);

struct SlotReading {
  bool empty = true;
  Box box{};  // the clipped box
  double confidence = 1.0;
  double empty_confidence = 1.0;
  double ink_ratio = 0.0;
  // Set only when the slot was read (not empty).
  Box glyph_box{};  // the frame in display coordinates
  CellFrame frame;
  Classification classification;
  double observed_width_ratio = 0.0;
};

// Scratch space for read_slot, reused across calls to avoid reallocating: the binarised cell and
// its row counts.
struct CellScratch {
  cv::Mat cell;
  std::vector<double> row_counts;
};

// Reads the slot whose (unclipped) box is given.
SlotReading read_slot(const DisplayView& display, const Box& box, CellScratch* scratch);

}  // namespace native_ocr::segsense

#endif  // NATIVE_OCR_SEGSENSE_SLOT_READER_H_
