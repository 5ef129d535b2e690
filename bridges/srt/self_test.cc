#include "bridges/srt/self_test.h"

#include <cstdio>
#include <string>

#include "bridges/srt/options.h"
#include "bridges/srt/preview.h"

namespace rivlet {

namespace {

struct ScaleCase {
  FrameSize input;
  FrameSize expected;
};

constexpr ScaleCase kScaleCases[] = {
    {{3840, 2160}, {1920, 1080}}, {{2160, 3840}, {1080, 1920}}, {{1920, 1080}, {1920, 1080}},
    {{1280, 720}, {1280, 720}},   {{1919, 1080}, {1919, 1080}}, {{1921, 1080}, {1920, 1079}},
    {{100, 100}, {100, 100}},
};

}  // namespace

int self_test() {
  int failures = 0;
  for (const ScaleCase& c : kScaleCases) {
    FrameSize result;
    if (!preview_size(c.input.width, c.input.height, &result)) {
      result = FrameSize{};
    }
    if (result.width != c.expected.width || result.height != c.expected.height) {
      std::fprintf(stderr, "scale %dx%d -> %dx%d, expected %dx%d\n", c.input.width, c.input.height,
                   result.width, result.height, c.expected.width, c.expected.height);
      ++failures;
    }
  }
  if (!stream_id_allowed(std::string(kMaxStreamIdBytes, 'e'))) {
    std::fprintf(stderr, "stream id bounds were wrong\n");
    ++failures;
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace rivlet
