// read_zones: every zone of a scoreboard from one frame or one preview file, over the BoardReader.
// With the interpreter lock: the source opened (a file read once, the lock released) and each zone
// parsed as its per-zone reader parses it (a malformed zone raises here, as that reader would).
// Without it: the board read. With the lock again: the result dictionaries, in zone order; an
// error of the readers (OpenCV's) is raised for the first zone that had one.
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "native_ocr/zonescan/board_reader.h"
#include "native_ocr/zonescan/python/bindings.h"
#include "native_ocr/zonescan/python/docstrings.h"
#include "native_ocr/zonescan/python/reader_entry.h"
#include "native_ocr/zonescan/python/result_dicts.h"
#include "native_ocr/zonescan/python/zone_arguments.h"

namespace native_ocr::zonescan {
namespace {

using pyglue::Ref;

constexpr int64_t kMaxThreads = 64;  // the most threads one call uses

// The caller's array (an object exporting a buffer, bytes excepted), or the file str() names.
struct Source {
  PyObject* array = nullptr;
  FrameFile file;
};

// The board read: by the linked classifier without the lock, or zone by zone through the module's
// replaced _read_slots with it (raising at the first error, before later zones call it). The
// caller's array is held while it is read.
Ref read_board(const BoardReader& reader, const Source& source) {
  std::optional<pyglue::ImageArgument> input;
  const CropView frame = source.array ? crop_view(input.emplace(source.array)) : CropView();
  Ref replaced;
  std::vector<ZoneReading> readings;
  std::vector<Ref> items;
  if ((source.array == nullptr && source.file.empty()) || linked_classifier(&replaced)) {
    const pyglue::GilRelease unlocked;
    readings = source.array ? reader.read(frame) : reader.read(source.file);
  } else {
    const DecodedFrame decoded = source.array ? DecodedFrame() : reader.decode(source.file);
    for (size_t i = 0; i < reader.zones().size() && (i == 0 || !readings.back().error); ++i) {
      const PythonSlotClassifier classifier(replaced);
      readings.push_back(source.array ? reader.read_zone(i, frame, classifier)
                                      : reader.read_zone(i, decoded, classifier));
      items.push_back(classifier.items());
    }
  }
  for (const ZoneReading& r : readings) {
    if (r.error) {
      std::rethrow_exception(r.error);
    }
  }
  Ref list = pyglue::check(PyList_New(static_cast<Py_ssize_t>(readings.size())));
  for (size_t i = 0; i < readings.size(); ++i) {
    Ref dict = reading_dict(readings[i].reading, i < items.size() ? items[i] : Ref());
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), dict.release());
  }
  return list;
}

Ref py_read_zones(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("read_zones", {"zones", "source", "threads"}, 2);
  auto [zones, source, threads] = kSig.parse(args, kwargs);
  const int64_t n = threads == nullptr ? 1 : pyglue::index_argument(threads, "threads");
  if (n < 1) {
    throw pyglue::ValueError("threads must be at least 1");
  }
  Ref list = pyglue::check(PySequence_List(zones));
  const Py_ssize_t count = PyList_Size(list.get());
  Source opened;
  std::optional<std::string> path;
  if (!PyBytes_Check(source) && PyObject_CheckBuffer(source) == 1) {
    opened.array = source;
  } else if (count > 0 && (path = pyglue::file_name(source))) {
    pyglue::GilRelease unlocked;
    opened.file = FrameFile::open(*path);
  }
  std::vector<BoardZone> parsed(static_cast<size_t>(count));
  bool any_work = false;
  for (Py_ssize_t i = 0; i < count; ++i) {
    bool work = false;
    parsed[static_cast<size_t>(i)] =
        board_zone(PyList_GetItem(list.get(), i), opened.array,
                   opened.file.empty() ? nullptr : &opened.file, &work);
    any_work = any_work || work;
  }
  if (!any_work) {
    opened = Source();  // every result is "no_frame" or "layout": nothing to decode
  }
  const SegmentClassifier classifier;
  const BoardReader reader(std::move(parsed), classifier, shared_read_pool(),
                           static_cast<size_t>(std::min(n, kMaxThreads)));
  return read_board(reader, opened);
}

}  // namespace

void add_zones_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_read_zones>("read_zones", kReadZonesDoc);
}

}  // namespace native_ocr::zonescan
