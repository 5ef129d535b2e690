#include "bridges/readings/zones_file.h"

#include <cmath>
#include <limits>
#include <utility>

#include <nlohmann/json.hpp>

#include "bridges/common/text_file.h"

namespace readings {

namespace {

// Members in document order, so that the first bad setting is the one named; a repeated key
// keeps its last value.
using JsonValue = nlohmann::ordered_json;
using native_ocr::zonescan::ProcessingSettings;

// The member key of an object, or null (also when v is not an object).
const JsonValue* member(const JsonValue& v, const char* key) {
  if (!v.is_object()) {
    return nullptr;
  }
  const auto found = v.find(key);
  return found == v.end() ? nullptr : &*found;
}

// The value null, as an absent optional member counts it.
bool absent(const JsonValue* v) {
  return v == nullptr || v->is_null();
}

// int() of a finite double: truncated toward zero, saturating at the int64 range.
int64_t truncated(double value) {
  constexpr double kLimit = 9.2e18;
  return static_cast<int64_t>(std::trunc(std::max(-kLimit, std::min(kLimit, value))));
}

bool read_number(const JsonValue& v, double* out) {
  if (v.is_number() || v.is_boolean()) {
    *out = v.is_number() ? v.get<double>() : (v.get<bool>() ? 1.0 : 0.0);
    return true;
  }
  return false;
}

bool read_flag(const JsonValue& v, bool* out) {
  if (v.is_boolean()) {
    *out = v.get<bool>();
  } else if (v.is_number()) {
    *out = v.get<double>() != 0.0;
  } else if (v.is_string()) {
    *out = !v.get_ref<const std::string&>().empty();
  } else {
    return false;
  }
  return true;
}

// One setting into *s; false when its value has the wrong type. Unknown keys are ignored.
bool read_setting(const std::string& key, const JsonValue& v, ProcessingSettings* s) {
  double number = 0.0;
  const bool numeric = read_number(v, &number);
  if (key == "threshold" || key == "brightness" || key == "blur" || key == "morph_size") {
    int64_t* field = key == "threshold"    ? &s->threshold
                     : key == "brightness" ? &s->brightness
                     : key == "blur"       ? &s->blur
                                           : &s->morph_size;
    *field = truncated(number);
    return numeric;
  }
  if (key == "contrast" || key == "gamma" || key == "rotation") {
    *(key == "contrast" ? &s->contrast : key == "gamma" ? &s->gamma : &s->rotation) = number;
    return numeric;
  }
  if (key == "grayscale" || key == "binarize" || key == "invert") {
    return read_flag(v, key == "grayscale"  ? &s->grayscale
                        : key == "binarize" ? &s->binarize
                                            : &s->invert);
  }
  if (key == "morphology") {
    if (!v.is_string()) {
      return false;
    }
    s->morphology = native_ocr::zonescan::morphology_from_name(v.get_ref<const std::string&>())
                        .value_or(native_ocr::zonescan::Morphology::kNone);
    return true;
  }
  return true;
}

// What is wrong with one zone, or empty when it is good.
std::string read_zone(const JsonValue& v, BoardZone* zone) {
  if (!v.is_object()) {
    return "not an object";
  }
  const JsonValue* name = member(v, "name");
  if (name == nullptr || !name->is_string()) {
    return "\"name\" must be a string";
  }
  native_ocr::zonescan::ZoneRect rect;
  double* edges[] = {&rect.x, &rect.y, &rect.width, &rect.height};
  const char* keys[] = {"x", "y", "width", "height"};
  for (size_t i = 0; i < 4; ++i) {
    const JsonValue* edge = member(v, keys[i]);
    if (edge == nullptr || !edge->is_number()) {
      return std::string("\"") + keys[i] + "\" must be a number";
    }
    *edges[i] = edge->get<double>();
  }
  std::string role_text;
  if (const JsonValue* role = member(v, "role"); !absent(role)) {
    if (!role->is_string()) {
      return "\"role\" must be a string";
    }
    role_text = role->get<std::string>();
  }
  ProcessingSettings raw;
  if (const JsonValue* p = member(v, "processing"); !absent(p)) {
    if (!p->is_object()) {
      return "\"processing\" must be an object";
    }
    for (const auto& setting : p->items()) {
      if (!read_setting(setting.key(), setting.value(), &raw)) {
        return "setting \"" + setting.key() + "\" has the wrong type";
      }
    }
  }
  *zone = native_ocr::zonescan::make_board_zone(name->get<std::string>(), rect, role_text, raw);
  return {};
}

}  // namespace

ZonesParse parse_zones(std::string_view text) {
  JsonValue document;
  try {
    document = JsonValue::parse(text);
  } catch (const JsonValue::exception& e) {
    // what() is "[json.exception.<kind>.<id>] <message>": the message says what and where.
    const std::string_view what = e.what();
    const size_t tag_end = what.find("] ");
    return {std::nullopt,
            "not JSON: " + std::string(tag_end == what.npos ? what : what.substr(tag_end + 2))};
  }
  const JsonValue* list = member(document, "zones");
  if (list == nullptr || !list->is_array()) {
    return {std::nullopt, "no \"zones\" list"};
  }
  std::vector<BoardZone> zones(list->size());
  for (size_t i = 0; i < zones.size(); ++i) {
    if (std::string why = read_zone((*list)[i], &zones[i]); !why.empty()) {
      return {std::nullopt, "zone " + std::to_string(i + 1) + ": " + why};
    }
  }
  return {std::move(zones), {}};
}

ZonesWatch::Change ZonesWatch::check() {
  std::string content = bridges::read_text_file(path_);
  if (content_ && content == *content_) {
    return Change::kNone;
  }
  content_ = std::move(content);
  if (content_->empty()) {
    zones_.clear();
    has_zones_ = false;
    error_.clear();
    return Change::kRemoved;
  }
  ZonesParse parsed = parse_zones(*content_);
  if (!parsed.zones) {
    error_ = std::move(parsed.error);
    return Change::kRefused;
  }
  zones_ = std::move(*parsed.zones);
  has_zones_ = true;
  error_.clear();
  return Change::kZones;
}

}  // namespace readings
