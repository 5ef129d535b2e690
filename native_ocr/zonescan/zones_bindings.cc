// read_zones: every zone of a scoreboard from one frame or one preview file, in one call, over the
// BoardReader. With the interpreter lock: the source read (the lock released) and each zone parsed
// as its per-zone reader parses it (a malformed zone raises here, as that reader would). Without
// it: the board read. With the lock again: the result dictionaries, in zone order; an error of the
// readers (OpenCV's) is raised for the first zone that had one.
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "native_ocr/zonescan/bindings.h"
#include "native_ocr/zonescan/board_reader.h"
#include "native_ocr/zonescan/docstrings.h"

namespace native_ocr::zonescan {
namespace {

using pyglue::Ref;

// The most threads one call uses.
constexpr long long kMaxThreads = 64;

// What the zones are cut from: the caller's array (an object exporting a buffer, bytes excepted),
// or the file its str() names, read once.
struct Source {
  PyObject* array = nullptr;
  FrameFile file;
};

Source open_source(PyObject* source, bool any_zone) {
  Source out;
  if (!PyBytes_Check(source) && PyObject_CheckBuffer(source) == 1) {
    out.array = source;
    return out;
  }
  Ref text = pyglue::check(PyObject_Str(source));
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text.get(), &size);
  const std::string path = data != nullptr ? std::string(data, static_cast<size_t>(size)) : "";
  PyErr_Clear();  // a name that cannot be spelled as a file name names no readable file
  if (any_zone && data != nullptr && path.find('\0') == std::string::npos) {
    pyglue::GilRelease unlocked;
    out.file = FrameFile::open(path);
  }
  return out;
}

// One zone as its reader parses it. The settings are normalised (and the role checked) only for
// a zone with pixels to read; *work says whether it has.
BoardZone parse_zone(PyObject* zone, const Source& source, bool* work) {
  BoardZone out;
  const Ref found_role = zone_role(zone);
  const bool str_role = found_role && PyUnicode_Check(found_role.get());
  out.reader = str_role ? reader_for_role(pyglue::utf8(found_role.get())) : ReaderKind::kScore;
  bool pixels = false;
  const ZoneParts parts = zone_parts(out.reader, zone, [&] {
    if (source.array != nullptr) {
      pixels = crop_zone_from_image(zone, source.array, &out.rect).get() != Py_None;
    } else if (!source.file.empty()) {
      out.rect = zone_rect(zone);
      pixels = !covers_no_pixel(
          rect_bounds(out.rect, source.file.size().width, source.file.size().height));
    }
  });
  if (out.reader == ReaderKind::kSingleDigit) {
    if (!single_digit_role(parts.role.get())) {
      return out;  // refused: "layout"
    }
    out.role = pyglue::utf8(parts.role.get());
  }
  *work = pixels;
  if (pixels) {
    normalize_settings(parts.processing.get(), &out.settings);
    out.role = reader_role(out.reader, parts.role.get());
  }
  return out;
}

// The pool every call shares, never destroyed: helpers stay alive (and OpenCV's memory for them
// bounded) for the life of the process, and none is joined while the interpreter shuts down.
const std::shared_ptr<ReadPool>& shared_pool() {
  static const auto* pool = new std::shared_ptr<ReadPool>(std::make_shared<ReadPool>());
  return *pool;
}

// The readings of every zone as dictionaries; the caller's frame is held while they are read.
Ref results(const BoardReader& reader, const Source& source, const Ref& replaced) {
  std::vector<ZoneReading> out;
  std::optional<CropInput> input;
  CropView frame;
  if (source.array != nullptr) {
    frame = input.emplace(source.array).view();
  }
  if (replaced) {  // the module's replaced classifier, zone by zone, with the lock held
    const DecodedFrame decoded = source.array ? DecodedFrame() : reader.decode(source.file);
    Ref list = pyglue::check(PyList_New(0));
    for (size_t i = 0; i < reader.zones().size(); ++i) {
      const PythonSlotClassifier classifier(replaced);
      const ZoneReading r = source.array ? reader.read_zone(i, frame, classifier)
                                         : reader.read_zone(i, decoded, classifier);
      if (r.error) {
        std::rethrow_exception(r.error);
      }
      pyglue::check_status(
          PyList_Append(list.get(), reading_dict(r.reading, classifier.items()).get()));
    }
    return list;
  }
  {
    pyglue::GilRelease unlocked;
    out = source.array ? reader.read(frame) : reader.read(source.file);
  }
  for (const ZoneReading& r : out) {
    if (r.error) {
      std::rethrow_exception(r.error);
    }
  }
  Ref list = pyglue::check(PyList_New(static_cast<Py_ssize_t>(out.size())));
  for (size_t i = 0; i < out.size(); ++i) {
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), reading_dict(out[i].reading).release());
  }
  return list;
}

Ref read_zones(PyObject* zones, PyObject* source, size_t threads) {
  Ref list = pyglue::check(PySequence_List(zones));
  const Py_ssize_t count = PyList_Size(list.get());
  const Source opened = open_source(source, count > 0);
  std::vector<BoardZone> parsed;
  bool any_work = false;
  for (Py_ssize_t i = 0; i < count; ++i) {
    bool work = false;
    parsed.push_back(parse_zone(PyList_GetItem(list.get(), i), opened, &work));
    any_work = any_work || work;
  }
  const SegmentClassifier classifier;
  const BoardReader reader(std::move(parsed), classifier, shared_pool(), threads);
  Ref replaced;
  if (!any_work) {
    return results(reader, Source(), replaced);  // every result is "no_frame" or "layout"
  }
  if (linked_classifier(&replaced)) {
    replaced = Ref();
  }
  return results(reader, opened, replaced);
}

// threads: an int (an object with __index__, not a bool) of at least 1; more than kMaxThreads
// are read as kMaxThreads.
size_t thread_count(PyObject* threads) {
  if (threads == nullptr) {
    return 1;
  }
  if (PyBool_Check(threads)) {
    throw pyglue::TypeError("threads must be an int, not bool");
  }
  const Ref index = pyglue::check(PyNumber_Index(threads));
  int overflow = 0;
  const long long n = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
  if (overflow < 0 || (overflow == 0 && n < 1)) {
    throw pyglue::ValueError("threads must be at least 1");
  }
  return static_cast<size_t>(overflow > 0 ? kMaxThreads : std::min(n, kMaxThreads));
}

Ref py_read_zones(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("read_zones", {"zones", "source", "threads"}, 2);
  auto [zones, source, threads] = kSig.parse(args, kwargs);
  return read_zones(zones, source, thread_count(threads));
}

}  // namespace

void add_zones_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_read_zones>("read_zones", kReadZonesDoc);
}

}  // namespace native_ocr::zonescan
