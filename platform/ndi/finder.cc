#include "platform/ndi/finder.h"

#include <chrono>
#include <thread>

namespace ndi_loopback {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(25);

}  // namespace

bool Finder::wait_for_sources(uint32_t timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    std::vector<AnnouncedSource> now = live_sources(dir_);
    if (!same_sources(now, seen_)) {
      seen_ = std::move(now);
      return true;
    }
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) {
      return false;
    }
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, kPollInterval));
  }
}

const NDIlib_source_t* Finder::current_sources(uint32_t* count) {
  current_ = live_sources(dir_);
  entries_.clear();
  for (const AnnouncedSource& source : current_) {
    NDIlib_source_t entry;
    entry.p_ndi_name = source.announcement.name.c_str();
    entry.p_url_address =
        source.announcement.has_url ? source.announcement.url_address.c_str() : nullptr;
    entries_.push_back(entry);
  }
  if (count != nullptr) {
    *count = static_cast<uint32_t>(entries_.size());
  }
  return entries_.empty() ? nullptr : entries_.data();
}

}  // namespace ndi_loopback
