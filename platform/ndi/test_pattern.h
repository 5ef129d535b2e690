// A moving BGRX test pattern: colour bars scrolling sideways over a grey ramp, with a white square
// bouncing across.
#ifndef PLATFORM_NDI_TEST_PATTERN_H_
#define PLATFORM_NDI_TEST_PATTERN_H_

#include <cstdint>
#include <vector>

namespace ndi_loopback {

class TestPattern {
 public:
  TestPattern(int width, int height);

  // Draws frame number frame into dst (height rows of stride bytes, stride >= width * 4).
  void render(uint64_t frame, uint8_t* dst, int stride) const;

 private:
  void draw_square(uint64_t frame, uint8_t* dst, int stride) const;

  int width_;
  int height_;
  std::vector<uint8_t> bars_;  // two widths of bars, so any shift is one contiguous copy
  std::vector<uint8_t> ramp_;  // one row
};

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_TEST_PATTERN_H_
