#include "platform/ndi/test_pattern.h"

#include <algorithm>
#include <cstring>

namespace ndi_loopback {

namespace {

// Blue, green, red of the eight classic bars, left to right.
constexpr uint8_t kBars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                 {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};

void put_pixel(uint8_t* at, uint8_t blue, uint8_t green, uint8_t red) {
  at[0] = blue;
  at[1] = green;
  at[2] = red;
  at[3] = 255;
}

}  // namespace

TestPattern::TestPattern(int width, int height)
    : width_(width),
      height_(height),
      bars_(static_cast<size_t>(width) * 8),
      ramp_(static_cast<size_t>(width) * 4) {
  for (int x = 0; x < 2 * width; ++x) {
    const uint8_t* bar = kBars[(x % width) * 8 / width];
    put_pixel(&bars_[static_cast<size_t>(x) * 4], bar[0], bar[1], bar[2]);
  }
  for (int x = 0; x < width; ++x) {
    auto grey = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
    put_pixel(&ramp_[static_cast<size_t>(x) * 4], grey, grey, grey);
  }
}

void TestPattern::render(uint64_t frame, uint8_t* dst, int stride) const {
  size_t row_bytes = static_cast<size_t>(width_) * 4;
  size_t shift = static_cast<size_t>(frame * 4 % static_cast<uint64_t>(width_));
  int bar_rows = height_ * 3 / 4;
  for (int y = 0; y < height_; ++y) {
    const uint8_t* source = y < bar_rows ? &bars_[shift * 4] : ramp_.data();
    std::memcpy(dst + static_cast<size_t>(y) * static_cast<size_t>(stride), source, row_bytes);
  }
  draw_square(frame, dst, stride);
}

void TestPattern::draw_square(uint64_t frame, uint8_t* dst, int stride) const {
  int side = std::max(1, std::min(width_, height_) / 8);
  int travel = std::max(1, width_ - side);
  int step = static_cast<int>(frame * 3 % static_cast<uint64_t>(2 * travel));
  int left = step < travel ? step : 2 * travel - step;
  int top = (height_ - side) / 2;
  for (int y = top; y < top + side; ++y) {
    uint8_t* row = dst + static_cast<size_t>(y) * static_cast<size_t>(stride);
    std::memset(row + static_cast<size_t>(left) * 4, 255, static_cast<size_t>(side) * 4);
  }
}

}  // namespace ndi_loopback
