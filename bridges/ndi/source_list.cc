#include "bridges/ndi/source_list.h"

#include <algorithm>

#include "bridges/common/json.h"
#include "bridges/common/number_format.h"

namespace ndi_bridge {

namespace {

constexpr bridges::JsonEscapes kEscapes = bridges::JsonEscapes::kNdiBridge;

}  // namespace

void sort_sources(std::vector<SourceInfo>* sources) {
  // std::string compares as unsigned bytes (char_traits<char>::compare is memcmp-like).
  std::stable_sort(sources->begin(), sources->end(), [](const SourceInfo& a, const SourceInfo& b) {
    if (a.name != b.name) {
      return a.name < b.name;
    }
    return a.url_address < b.url_address;
  });
}

bool same_sources(const std::vector<SourceInfo>& a, const std::vector<SourceInfo>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const SourceInfo& x, const SourceInfo& y) {
                      return x.name == y.name && x.url_address == y.url_address;
                    });
}

const SourceInfo* find_source(const std::vector<SourceInfo>& sources, std::string_view name) {
  for (const SourceInfo& source : sources) {
    if (source.name == name) {
      return &source;
    }
  }
  return nullptr;
}

std::string source_list_document(const std::vector<SourceInfo>& sources, double updated_at) {
  std::string text = "{\n  \"version\": 1,\n";
  text += "  \"updated_at\": " + bridges::format_general17(updated_at) + ",\n";
  text += "  \"sources\": [";
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string name = bridges::json_escape(sources[i].name, kEscapes);
    text += i == 0 ? "\n" : ",\n";
    text += "    {\"id\": \"" + name + "\", \"name\": \"" + name + "\", \"url_address\": " +
            bridges::json_string_or_null(sources[i].url_address, kEscapes) + ", \"online\": true}";
  }
  if (!sources.empty()) {
    text += "\n";
  }
  text += "  ]\n}\n";
  return text;
}

}  // namespace ndi_bridge
