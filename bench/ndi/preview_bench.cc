// The cost of one ndi_bridge preview at 1920x1080: BGRX to RGB row conversion, and the whole JPEG
// encode fed row by row as the bridge does it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "base/jpeg_encoder.h"
#include "bridges/ndi/preview.h"
#include "platform/ndi/test_pattern.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kStride = kWidth * 4;

std::vector<uint8_t> pattern_frame() {
  std::vector<uint8_t> frame(static_cast<size_t>(kStride) * kHeight);
  ndi_loopback::TestPattern(kWidth, kHeight).render(7, frame.data(), kStride);
  return frame;
}

void BM_ConvertFrame(benchmark::State& state) {
  std::vector<uint8_t> frame = pattern_frame();
  std::vector<uint8_t> row(kWidth * 3);
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) {
      ndi_bridge::bgrx_row_to_rgb(&frame[static_cast<size_t>(y) * kStride], kWidth, row.data());
      benchmark::DoNotOptimize(row.data());
    }
  }
}
BENCHMARK(BM_ConvertFrame)->Unit(benchmark::kMillisecond);

void BM_EncodePreview(benchmark::State& state) {
  std::vector<uint8_t> frame = pattern_frame();
  std::vector<uint8_t> row(kWidth * 3);
  long bytes = 0;
  for (auto _ : state) {
    std::FILE* file = std::tmpfile();
    base::encode_jpeg_rows(file, kWidth, kHeight, [&](int y) {
      ndi_bridge::bgrx_row_to_rgb(&frame[static_cast<size_t>(y) * kStride], kWidth, row.data());
      return row.data();
    });
    bytes = std::ftell(file);
    std::fclose(file);
  }
  state.counters["jpeg_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodePreview)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
