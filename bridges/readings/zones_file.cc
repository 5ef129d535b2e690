#include "bridges/readings/zones_file.h"

#include <cmath>
#include <limits>
#include <utility>

#include "bridges/common/json_value.h"
#include "bridges/common/text_file.h"

namespace readings {

namespace {

using bridges::JsonValue;
using native_ocr::zonescan::ProcessingSettings;
using Kind = JsonValue::Kind;

// int() of a finite double: truncated toward zero, saturating at the int64 range.
int64_t truncated(double value) {
  constexpr double kLimit = 9.2e18;
  return static_cast<int64_t>(std::trunc(std::max(-kLimit, std::min(kLimit, value))));
}

bool read_number(const JsonValue& v, double* out) {
  if (v.kind == Kind::kNumber || v.kind == Kind::kBool) {
    *out = v.kind == Kind::kNumber ? v.number : (v.boolean ? 1.0 : 0.0);
    return true;
  }
  return false;
}

bool read_flag(const JsonValue& v, bool* out) {
  switch (v.kind) {
    case Kind::kBool:
      *out = v.boolean;
      return true;
    case Kind::kNumber:
      *out = v.number != 0.0;
      return true;
    case Kind::kString:
      *out = !v.text.empty();
      return true;
    default:
      return false;
  }
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
    s->morphology = native_ocr::zonescan::morphology_from_name(v.text).value_or(
        native_ocr::zonescan::Morphology::kNone);
    return v.kind == Kind::kString;
  }
  return true;
}

// What is wrong with one zone, or empty when it is good.
std::string read_zone(const JsonValue& v, BoardZone* zone) {
  if (v.kind != Kind::kObject) {
    return "not an object";
  }
  const JsonValue* name = v.find("name");
  if (name == nullptr || name->kind != Kind::kString) {
    return "\"name\" must be a string";
  }
  native_ocr::zonescan::ZoneRect rect;
  double* edges[] = {&rect.x, &rect.y, &rect.width, &rect.height};
  const char* keys[] = {"x", "y", "width", "height"};
  for (size_t i = 0; i < 4; ++i) {
    const JsonValue* edge = v.find(keys[i]);
    if (edge == nullptr || edge->kind != Kind::kNumber) {
      return std::string("\"") + keys[i] + "\" must be a number";
    }
    *edges[i] = edge->number;
  }
  std::string role_text;
  if (const JsonValue* role = v.find("role"); role != nullptr && role->kind != Kind::kNull) {
    if (role->kind != Kind::kString) {
      return "\"role\" must be a string";
    }
    role_text = role->text;
  }
  ProcessingSettings raw;
  if (const JsonValue* p = v.find("processing"); p != nullptr && p->kind != Kind::kNull) {
    if (p->kind != Kind::kObject) {
      return "\"processing\" must be an object";
    }
    for (const auto& [key, value] : p->members) {
      if (!read_setting(key, value, &raw)) {
        return "setting \"" + key + "\" has the wrong type";
      }
    }
  }
  *zone = native_ocr::zonescan::make_board_zone(name->text, rect, role_text, raw);
  return {};
}

}  // namespace

ZonesParse parse_zones(std::string_view text) {
  std::string error;
  const std::optional<JsonValue> document = bridges::parse_json(text, &error);
  if (!document) {
    return {std::nullopt, "not JSON: " + error};
  }
  const JsonValue* list = document->find("zones");
  if (list == nullptr || list->kind != Kind::kArray) {
    return {std::nullopt, "no \"zones\" list"};
  }
  std::vector<BoardZone> zones(list->items.size());
  for (size_t i = 0; i < zones.size(); ++i) {
    if (std::string why = read_zone(list->items[i], &zones[i]); !why.empty()) {
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
