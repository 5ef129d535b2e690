// What reading one frame costs inside a bridge, step by step, on a 1280x720 scoreboard frame
// (READINGS_BENCH_FRAME, a picture file; bench_readings.py renders the demo's scoreboard) with the
// demo's five zones (READINGS_BENCH_ZONES, a zones file): the conversion of the zones' region from
// the decoder's YUV 4:2:0 to BGR, the board read (readers and trust), the document built and
// replaced, and all of it through the reading thread's steps.
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "base/atomic_file.h"
#include "bridges/common/text_file.h"
#include "bridges/readings/board_read.h"
#include "bridges/readings/readings_document.h"
#include "bridges/readings/zones_file.h"
#include "bridges/srt/frame_picture.h"

namespace {

struct Inputs {
  cv::Mat bgr;
  std::vector<readings::BoardZone> zones;
  rivlet::FramePtr yuv{av_frame_alloc()};
};

const Inputs& inputs() {
  static const Inputs* loaded = [] {
    auto* in = new Inputs;
    const char* frame = std::getenv("READINGS_BENCH_FRAME");
    const char* zones = std::getenv("READINGS_BENCH_ZONES");
    in->bgr = cv::imread(frame != nullptr ? frame : "", cv::IMREAD_COLOR);
    readings::ZonesParse parsed =
        readings::parse_zones(bridges::read_text_file(zones ? zones : ""));
    if (in->bgr.empty() || !parsed.zones) {
      std::fprintf(stderr, "set READINGS_BENCH_FRAME and READINGS_BENCH_ZONES (%s)\n",
                   parsed.error.c_str());
      std::exit(2);
    }
    in->zones = std::move(*parsed.zones);
    cv::Mat i420;
    cv::cvtColor(in->bgr, i420, cv::COLOR_BGR2YUV_I420);
    AVFrame* f = in->yuv.get();
    f->width = in->bgr.cols;
    f->height = in->bgr.rows;
    f->format = AV_PIX_FMT_YUV420P;
    av_frame_get_buffer(f, 0);
    const int w = f->width, h = f->height;
    for (int y = 0; y < h; ++y) {
      std::memcpy(f->data[0] + y * f->linesize[0], i420.ptr(y), w);
    }
    for (int y = 0; y < h / 2; ++y) {
      std::memcpy(f->data[1] + y * f->linesize[1], i420.ptr(h) + y * w / 2, w / 2);
      std::memcpy(f->data[2] + y * f->linesize[2], i420.ptr(h + h / 4) + y * w / 2, w / 2);
    }
    return in;
  }();
  return *loaded;
}

void BM_ConvertZonesRegion(benchmark::State& state) {
  const Inputs& in = inputs();
  rivlet::RegionConverter converter;
  cv::Mat bgr(in.bgr.size(), CV_8UC3);
  const cv::Rect region = readings::zones_region(in.zones, bgr.cols, bgr.rows);
  for (auto _ : state) {
    benchmark::DoNotOptimize(converter.convert(*in.yuv, region, &bgr));
  }
  state.counters["region_pixels"] = region.area();
}
BENCHMARK(BM_ConvertZonesRegion)->Unit(benchmark::kMillisecond);

// Every zone read (a frame whose zones all changed, as on a key frame).
void BM_ReadBoard(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    readings::BoardRead board(in.zones);
    benchmark::DoNotOptimize(board.read(in.bgr));
  }
  state.counters["zones"] = static_cast<double>(in.zones.size());
}
BENCHMARK(BM_ReadBoard)->Unit(benchmark::kMillisecond);

// A frame whose zones kept their pixels: each crop compared, none read.
void BM_ReadUnchangedBoard(benchmark::State& state) {
  const Inputs& in = inputs();
  readings::BoardRead board(in.zones);
  board.read(in.bgr);
  for (auto _ : state) {
    benchmark::DoNotOptimize(board.read(in.bgr));
  }
  state.counters["zones_read"] = static_cast<double>(board.zones_read());
}
BENCHMARK(BM_ReadUnchangedBoard)->Unit(benchmark::kMillisecond);

void BM_PublishDocument(benchmark::State& state) {
  const Inputs& in = inputs();
  readings::FrameReadings doc;
  readings::BoardRead board(in.zones);
  for (const readings::ZoneResult& r : board.read(in.bgr)) {
    doc.zones.push_back({"zone", "clock", r, {true, r.text}});
  }
  const std::string path = "/tmp/readings_bench.json";
  for (auto _ : state) {
    ++doc.frame;
    readings::publish_document(path,
                               readings::readings_document(doc, readings::DocumentStyle::kRivlet));
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_PublishDocument)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
