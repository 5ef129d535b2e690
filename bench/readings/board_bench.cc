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

// The clock zone of a recorded stream, frame after frame (READINGS_BENCH_CLOCK_STREAM: raw BGR
// crops of READINGS_BENCH_CLOCK_SIZE "WxH", as the decoder gives them): every reading the board
// read gives, its separator detection kept or not, against the reader's own on the same crop.
void BM_ClockStreamAgainstTheReader(benchmark::State& state) {
  const char* path = std::getenv("READINGS_BENCH_CLOCK_STREAM");
  const char* size = std::getenv("READINGS_BENCH_CLOCK_SIZE");
  int width = 0;
  int height = 0;
  if (path == nullptr || size == nullptr || std::sscanf(size, "%dx%d", &width, &height) != 2) {
    state.SkipWithError("set READINGS_BENCH_CLOCK_STREAM and READINGS_BENCH_CLOCK_SIZE");
    return;
  }
  const std::string bytes = bridges::read_text_file(path);
  const size_t frame_bytes = static_cast<size_t>(width) * height * 3;
  namespace zs = native_ocr::zonescan;
  const zs::SegmentClassifier classifier;
  double frames = 0, reads = 0, kept = 0, differ = 0;
  for (auto _ : state) {
    readings::BoardRead board(
        {zs::make_board_zone("clock", {0.0, 0.0, 1.0, 1.0}, "clock", zs::ProcessingSettings{})});
    frames = reads = kept = differ = 0;
    for (size_t at = 0; at + frame_bytes <= bytes.size(); at += frame_bytes) {
      const cv::Mat crop(height, width, CV_8UC3, const_cast<char*>(bytes.data() + at));
      const readings::ZoneResult got = board.read(crop)[0];
      ++frames;
      if (board.zones_read() == 0) {
        continue;
      }
      ++reads;
      kept += static_cast<double>(board.separators_kept());
      zs::ZoneReading direct;
      direct.reading = zs::read_crop(zs::ReaderKind::kClock, zs::CropView{crop, true}, "clock",
                                     zs::clamp_settings(zs::ProcessingSettings{}), classifier);
      const readings::ZoneResult want = readings::result_of(direct);
      differ += got.text != want.text || got.reason != want.reason || got.valid != want.valid ||
                got.trusted != want.trusted;
    }
  }
  state.counters["frames"] = frames;
  state.counters["reads"] = reads;
  state.counters["separators_kept"] = kept;
  state.counters["readings_differ"] = differ;
}
BENCHMARK(BM_ClockStreamAgainstTheReader)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
