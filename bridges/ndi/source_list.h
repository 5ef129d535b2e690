// The NDI sources ndi_bridge knows of, and the source list document it publishes.
#ifndef BRIDGES_NDI_SOURCE_LIST_H_
#define BRIDGES_NDI_SOURCE_LIST_H_

#include <string>
#include <string_view>
#include <vector>

namespace ndi_bridge {

// One discovered source. Both are byte strings exactly as the finder reported them.
struct SourceInfo {
  std::string name;         // also the source's id
  std::string url_address;  // empty when the finder gave none
};

// Orders by name, then by URL address, byte-wise (a string before its own extensions).
void sort_sources(std::vector<SourceInfo>* sources);

// Same length, and the same names and URL addresses in the same positions.
bool same_sources(const std::vector<SourceInfo>& a, const std::vector<SourceInfo>& b);

// The first source whose name is byte for byte the given one, or null.
const SourceInfo* find_source(const std::vector<SourceInfo>& sources, std::string_view name);

// The "app/static/ndi_sources.json" document; updated_at in seconds since the Unix epoch.
std::string source_list_document(const std::vector<SourceInfo>& sources, double updated_at);

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_SOURCE_LIST_H_
