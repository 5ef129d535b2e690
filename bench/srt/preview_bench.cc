// One 1920x1080 preview: scaling a decoded 4:2:0 picture to RGB, JPEG encoding, and the atomic
// publication with its fsync.
#include <cstdio>
#include <string>

#include <benchmark/benchmark.h>

#include "base/jpeg_encoder.h"
#include "base/testing/scoped_temp_dir.h"
#include "bridges/srt/preview.h"

namespace {

// A picture with gradients, edges and fine detail, like a broadcast scoreboard frame.
rivlet::FramePtr test_picture(int width, int height) {
  rivlet::FramePtr frame(av_frame_alloc());
  frame->width = width;
  frame->height = height;
  frame->format = AV_PIX_FMT_YUV420P;
  if (av_frame_get_buffer(frame.get(), 0) < 0) {
    return nullptr;
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool box = (x / 120 + y / 90) % 2 == 0;
      frame->data[0][y * frame->linesize[0] + x] =
          static_cast<uint8_t>(box ? (x * 255 / width) : ((x ^ y) & 0xFF));
    }
  }
  for (int plane = 1; plane < 3; ++plane) {
    for (int y = 0; y < height / 2; ++y) {
      for (int x = 0; x < width / 2; ++x) {
        frame->data[plane][y * frame->linesize[plane] + x] =
            static_cast<uint8_t>(plane == 1 ? y * 255 / (height / 2) : 128 + (x % 64));
      }
    }
  }
  return frame;
}

void BM_ScaleToRgb(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  rivlet::FramePtr picture = test_picture(width, height);
  rivlet::FrameSize size;
  rivlet::preview_size(width, height, &size);
  rivlet::PreviewScaler scaler;
  for (auto _ : state) {
    benchmark::DoNotOptimize(scaler.scale(*picture, size));
  }
}
BENCHMARK(BM_ScaleToRgb)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

void BM_EncodeJpeg1080p(benchmark::State& state) {
  rivlet::FramePtr picture = test_picture(1920, 1080);
  rivlet::PreviewScaler scaler;
  scaler.scale(*picture, {1920, 1080});
  std::FILE* sink = std::fopen("/dev/null", "wb");
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        base::encode_jpeg(sink, base::RgbView{scaler.rgb(), 1920, 1080, 1920 * 3}));
  }
  std::fclose(sink);
}
BENCHMARK(BM_EncodeJpeg1080p)->Unit(benchmark::kMillisecond);

void BM_WriteJpegAtomic1080p(benchmark::State& state) {
  rivlet::FramePtr picture = test_picture(1920, 1080);
  rivlet::PreviewScaler scaler;
  scaler.scale(*picture, {1920, 1080});
  base::ScopedTempDir dir;
  const std::string path = dir.file("srt_preview.jpg");
  for (auto _ : state) {
    benchmark::DoNotOptimize(rivlet::write_jpeg_atomic(path, scaler.rgb(), 1920, 1080, 1920 * 3));
  }
}
BENCHMARK(BM_WriteJpegAtomic1080p)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
