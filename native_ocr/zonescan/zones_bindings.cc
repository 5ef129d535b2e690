// read_zones: every zone of a scoreboard from one frame or one preview file, in one call.
//
// Three stages. With the interpreter lock: each zone's role, crop and settings, taken as its
// per-zone reader takes them (a malformed zone raises here, as that reader would). Without it:
// the preview file decoded once (only the block the zones need where that gives cv::imread's
// pixels), then the readers, on `threads` threads. With the lock again: the result dictionaries,
// in zone order; an error of the readers (OpenCV's) is raised for the first zone that had one.
#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "native_ocr/zonescan/bindings.h"
#include "native_ocr/zonescan/docstrings.h"
#include "native_ocr/zonescan/frame_decoder.h"

namespace native_ocr::zonescan {
namespace {

using pyglue::Ref;

// One zone on its way through the stages.
struct ZoneJob {
  ReaderKind reader = ReaderKind::kScore;
  std::string_view early;          // "layout" or "no_frame" when there is nothing to read
  std::optional<CropInput> input;  // a frame source: the zone's crop object, held
  CropView crop;
  ProcessingSettings settings;
  std::string role;
  Reading reading;
  std::exception_ptr error;
  bool has_work() const { return early.empty(); }
};

// The reader a zone's role names (a zone without a str role is a score).
ReaderKind reader_of(PyObject* role) {
  return role != nullptr && PyUnicode_Check(role) ? reader_for_role(pyglue::utf8(role))
                                                  : ReaderKind::kScore;
}

// A source is a path (str, bytes, os.PathLike, or anything else its str() names) unless it is
// an array (an object exporting a buffer, bytes excepted).
bool is_frame(PyObject* source) {
  return !PyBytes_Check(source) && PyObject_CheckBuffer(source) == 1;
}

// What a preview file gives the zones: its frame size first (from the JPEG header when the block
// decoder may be used, else from a whole decode), then the pixels.
struct PreviewSource {
  std::string path;
  std::optional<std::vector<uint8_t>> bytes;
  cv::Size size;
  DecodedFrame frame;  // decoded whole already, when the header could not be used

  // Reads the file (lock released); false when it cannot be decoded at all.
  bool open();
  // Decodes what the zones' bounds need (lock released): the block, or the whole file.
  void decode(const std::vector<cv::Rect>& regions);
};

bool PreviewSource::open() {
  pyglue::GilRelease unlocked;
  bytes = read_file(path);
  const std::optional<cv::Size> header = bytes ? jpeg_block_size(*bytes) : std::nullopt;
  if (header) {
    size = *header;
    return true;
  }
  frame = decode_whole_frame(path);
  size = frame.frame_size;
  return !frame.empty();
}

void PreviewSource::decode(const std::vector<cv::Rect>& regions) {
  if (!frame.empty() || regions.empty()) {
    return;
  }
  pyglue::GilRelease unlocked;
  cv::Rect all = regions.front();
  for (const cv::Rect& r : regions) {
    all |= r;
  }
  std::optional<DecodedFrame> block = decode_jpeg_block(*bytes, all);
  frame = block ? std::move(*block) : decode_whole_frame(path);
}

// The first stage for one zone. `frame_source` is the caller's frame, or null for a preview
// file, whose zones get their bounds in *bounds (none: no crop).
void resolve(ZoneJob* job, PyObject* zone, PyObject* frame_source, const PreviewSource* preview,
             std::optional<cv::Rect>* bounds) {
  const Ref found_role = zone_role(zone);
  job->reader = reader_of(found_role.get());
  Ref crop;
  const ZoneParts parts = zone_parts(job->reader, zone, [&] {
    if (frame_source != nullptr) {
      crop = crop_zone_from_image(zone, frame_source);
    } else if (preview != nullptr) {
      const Bounds b = zone_bounds(zone, preview->size.width, preview->size.height);
      if (!covers_no_pixel(b)) {
        *bounds = cv::Rect(static_cast<int>(b.x1), static_cast<int>(b.y1),
                           static_cast<int>(b.x2 - b.x1), static_cast<int>(b.y2 - b.y1));
      }
    }
  });
  if (job->reader == ReaderKind::kSingleDigit && !single_digit_role(parts.role.get())) {
    job->early = "layout";
    return;
  }
  if (frame_source != nullptr) {
    job->input.emplace(crop.get());
  }
  const bool no_crop = frame_source != nullptr ? job->input->empty() : !bounds->has_value();
  if (no_crop) {
    job->early = "no_frame";
    return;
  }
  normalize_settings(parts.processing.get(), &job->settings);
  if (job->input) {
    job->crop = job->input->view();
  }
  job->role = reader_role(job->reader, parts.role.get());
}

// The second stage: every zone with work, read by `threads` threads (the calling one included).
void read_all(ZoneJob* jobs, size_t count, size_t threads) {
  std::vector<ZoneJob*> work;
  for (size_t i = 0; i < count; ++i) {
    if (jobs[i].has_work()) {
      work.push_back(&jobs[i]);
    }
  }
  std::atomic<size_t> next{0};
  auto worker = [&work, &next] {
    const SegmentClassifier classifier;
    for (size_t i = next++; i < work.size(); i = next++) {
      ZoneJob* job = work[i];
      try {
        job->reading = read_crop(job->reader, job->crop, job->role, job->settings, classifier);
      } catch (...) {
        job->error = std::current_exception();
      }
    }
  };
  pyglue::GilRelease unlocked;
  std::vector<std::jthread> helpers;
  for (size_t t = 1; t < std::min(threads, work.size()); ++t) {
    helpers.emplace_back(worker);
  }
  worker();
}

// The readers through a replaced classifier: one zone after the other, with the lock held.
Ref read_through_python(ZoneJob* jobs, size_t count, Ref function) {
  Ref results = pyglue::check(PyList_New(0));
  for (size_t i = 0; i < count; ++i) {
    ZoneJob& job = jobs[i];
    Ref result;
    if (job.has_work()) {
      const PythonSlotClassifier classifier(function);
      PreparedDisplay display;
      {
        pyglue::GilRelease unlocked;
        display = prepare_display(job.crop, job.settings, job.reader == ReaderKind::kClock);
      }
      const Reading reading = read_prepared(job.reader, display, job.role, classifier);
      result = reading_dict(reading, classifier.items());
    } else {
      job.reading.reader = job.reader;
      job.reading.shape = job.early == "layout" ? ReadingShape::kLayout : ReadingShape::kNoFrame;
      job.reading.reason = job.early;
      result = reading_dict(job.reading);
    }
    pyglue::check_status(PyList_Append(results.get(), result.get()));
  }
  return results;
}

Ref results_of(ZoneJob* jobs, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (jobs[i].error) {
      std::rethrow_exception(jobs[i].error);
    }
  }
  Ref results = pyglue::check(PyList_New(static_cast<Py_ssize_t>(count)));
  for (size_t i = 0; i < count; ++i) {
    ZoneJob& job = jobs[i];
    if (!job.has_work()) {
      job.reading.reader = job.reader;
      job.reading.shape = job.early == "layout" ? ReadingShape::kLayout : ReadingShape::kNoFrame;
      job.reading.reason = job.early;
    }
    PyList_SetItem(results.get(), static_cast<Py_ssize_t>(i), reading_dict(job.reading).release());
  }
  return results;
}

Ref read_zones(PyObject* zones, PyObject* source, size_t threads) {
  Ref list = pyglue::check(PySequence_List(zones));
  const size_t count = static_cast<size_t>(PyList_Size(list.get()));
  const std::unique_ptr<ZoneJob[]> jobs = std::make_unique<ZoneJob[]>(count);
  const bool frame = is_frame(source);
  PreviewSource preview;
  bool decoded = false;
  if (!frame && count > 0) {
    Ref text = pyglue::check(PyObject_Str(source));
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text.get(), &size);
    if (data == nullptr) {
      PyErr_Clear();  // a name that cannot be spelled as a file name names no readable file
    } else if (std::string(data, static_cast<size_t>(size)).find('\0') == std::string::npos) {
      preview.path.assign(data, static_cast<size_t>(size));
      decoded = preview.open();
    }
  }
  std::vector<std::optional<cv::Rect>> bounds(count);
  for (size_t i = 0; i < count; ++i) {
    resolve(&jobs[i], PyList_GetItem(list.get(), static_cast<Py_ssize_t>(i)),
            frame ? source : nullptr, decoded ? &preview : nullptr, &bounds[i]);
  }
  if (!frame) {
    std::vector<cv::Rect> regions;
    for (size_t i = 0; i < count; ++i) {
      if (jobs[i].has_work()) {
        regions.push_back(*bounds[i]);
      }
    }
    preview.decode(regions);
    for (size_t i = 0; i < count; ++i) {
      if (!jobs[i].has_work()) {
        continue;
      }
      if (preview.frame.covers(*bounds[i])) {
        jobs[i].crop = {preview.frame.view(*bounds[i]), true};
      } else {
        jobs[i].early = "no_frame";  // the header promised pixels the file does not hold
      }
    }
  }
  if (std::none_of(jobs.get(), jobs.get() + count, [](const ZoneJob& j) { return j.has_work(); })) {
    return results_of(jobs.get(), count);
  }
  Ref replaced;
  if (!linked_classifier(&replaced)) {
    return read_through_python(jobs.get(), count, std::move(replaced));
  }
  read_all(jobs.get(), count, threads);
  return results_of(jobs.get(), count);
}

Ref py_read_zones(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("read_zones", {"zones", "source", "threads"}, 2);
  auto [zones, source, threads] = kSig.parse(args, kwargs);
  const int64_t n = threads == nullptr ? 1 : pyglue::int_argument(threads, "threads");
  if (n < 1) {
    throw pyglue::ValueError("threads must be at least 1");
  }
  return read_zones(zones, source, static_cast<size_t>(std::min<int64_t>(n, 64)));
}

}  // namespace

void add_zones_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_read_zones>("read_zones", kReadZonesDoc);
}

}  // namespace native_ocr::zonescan
