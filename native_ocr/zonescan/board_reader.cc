#include "native_ocr/zonescan/board_reader.h"

#include <algorithm>
#include <utility>

namespace native_ocr::zonescan {
namespace {

// A zone the reader refuses before it looks at any pixel.
bool refused(const BoardZone& zone) {
  return zone.reader == ReaderKind::kSingleDigit && !is_single_digit_role(zone.role);
}

// One zone read from its crop (empty: no pixels), the reader's exception kept.
ZoneReading read_one(const BoardZone& zone, const CropView& crop, std::optional<cv::Rect> bounds,
                     const SlotClassifier& classifier) {
  ZoneReading out;
  out.reading.reader = zone.reader;
  try {
    out.reading = read_crop(zone.reader, crop, zone.role, zone.settings, classifier);
    if (!crop.empty()) {
      out.bounds = bounds;
    }
  } catch (...) {
    out.error = std::current_exception();
  }
  return out;
}

}  // namespace

BoardReader::BoardReader(std::vector<BoardZone> zones, const SlotClassifier& classifier,
                         size_t threads)
    : BoardReader(std::move(zones), classifier, std::make_shared<ReadPool>(), threads) {}

BoardReader::BoardReader(std::vector<BoardZone> zones, const SlotClassifier& classifier,
                         std::shared_ptr<ReadPool> pool, size_t threads)
    : zones_(std::move(zones)),
      classifier_(&classifier),
      pool_(std::move(pool)),
      threads_(std::max<size_t>(threads, 1)) {}

std::vector<ZoneReading> BoardReader::read(const cv::Mat& frame) const {
  return read(CropView{frame, frame.channels() > 1});
}

std::vector<ZoneReading> BoardReader::read(const CropView& frame) const {
  std::vector<ZoneReading> out(zones_.size());
  pool_->run(zones_.size(), threads_,
             [&](size_t i) { out[i] = read_zone(i, frame, *classifier_); });
  return out;
}

std::vector<ZoneReading> BoardReader::read(const FrameFile& file) const {
  const DecodedFrame decoded = decode(file);
  std::vector<ZoneReading> out(zones_.size());
  pool_->run(zones_.size(), threads_,
             [&](size_t i) { out[i] = read_zone(i, decoded, *classifier_); });
  return out;
}

std::vector<ZoneReading> BoardReader::read_file(const std::string& path) const {
  return read(FrameFile::open(path));
}

std::vector<ZoneReading> BoardReader::read_bytes(std::vector<uint8_t> bytes) const {
  return read(FrameFile::from_bytes(std::move(bytes)));
}

ZoneReading BoardReader::read_zone(size_t index, const CropView& frame,
                                   const SlotClassifier& classifier) const {
  const BoardZone& zone = zones_.at(index);
  const std::optional<cv::Rect> bounds =
      frame.empty() ? std::nullopt : zone_pixels(zone.rect, frame.pixels.size());
  const CropView crop{bounds ? frame.pixels(*bounds) : cv::Mat(), frame.three_dimensional};
  return read_one(zone, crop, bounds, classifier);
}

ZoneReading BoardReader::read_zone(size_t index, const DecodedFrame& frame,
                                   const SlotClassifier& classifier) const {
  const BoardZone& zone = zones_.at(index);
  std::optional<cv::Rect> bounds = zone_pixels(zone.rect, frame.frame_size);
  if (bounds && !frame.covers(*bounds)) {
    bounds.reset();  // the header promised pixels the file does not hold
  }
  const CropView crop{bounds ? frame.view(*bounds) : cv::Mat(), true};
  return read_one(zone, crop, bounds, classifier);
}

DecodedFrame BoardReader::decode(const FrameFile& file) const {
  std::optional<cv::Rect> all;
  for (const BoardZone& zone : zones_) {
    const std::optional<cv::Rect> r =
        file.empty() || refused(zone) ? std::nullopt : zone_pixels(zone.rect, file.size());
    if (r) {
      all = all ? (*all | *r) : *r;
    }
  }
  return all ? file.decode(*all) : DecodedFrame();
}

}  // namespace native_ocr::zonescan
