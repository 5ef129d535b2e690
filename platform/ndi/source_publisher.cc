#include "platform/ndi/source_publisher.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/atomic_file.h"
#include "platform/ndi/runtime_dir.h"
#include "platform/ndi/source_directory.h"

namespace ndi_loopback {

namespace {

constexpr uint64_t kPageSize = 4096;

int64_t unix_time_100ns() {
  auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100;
}

// Sizes the file open on fd and writes the identity, name and URL address into it.
bool lay_out(int fd, const std::string& name, const std::string* url, uint64_t pixel_capacity,
             SourceMapping* mapping, std::string* err) {
  uint64_t url_size = url == nullptr ? 0 : url->size();
  uint64_t text_end = sizeof(SourceHeader) + name.size() + url_size;
  uint64_t pixel_offset = (text_end + kPageSize - 1) / kPageSize * kPageSize;
  SourceIdentity identity{};
  std::memcpy(identity.magic, kSourceMagic, sizeof(kSourceMagic));
  identity.header_size = sizeof(SourceHeader);
  identity.pid = static_cast<int32_t>(::getpid());
  identity.name_size = static_cast<uint32_t>(name.size());
  identity.url_size = static_cast<uint32_t>(url_size);
  identity.has_url = url == nullptr ? 0 : 1;
  identity.pixel_offset = pixel_offset;
  identity.pixel_capacity = pixel_capacity;
  std::string text = name + (url == nullptr ? std::string() : *url);
  if (::ftruncate(fd, static_cast<off_t>(pixel_offset + pixel_capacity)) != 0 ||
      ::pwrite(fd, &identity, sizeof(identity), 0) != static_cast<ssize_t>(sizeof(identity)) ||
      ::pwrite(fd, text.data(), text.size(), sizeof(SourceHeader)) !=
          static_cast<ssize_t>(text.size())) {
    *err = std::strerror(errno);
    return false;
  }
  return mapping->map(fd, err);
}

}  // namespace

SourcePublisher::~SourcePublisher() {
  if (!path_.empty()) {
    ::unlink(path_.c_str());
  }
}

bool SourcePublisher::open(const std::string& dir, const std::string& name, const std::string* url,
                           uint64_t pixel_capacity, std::string* err) {
  if (name.size() > kMaxTextSize || (url != nullptr && url->size() > kMaxTextSize)) {
    *err = "source name or URL address longer than " + std::to_string(kMaxTextSize) + " bytes";
    return false;
  }
  if (!ensure_runtime_dir(dir, err)) {
    return false;
  }
  remove_stale_sources(dir);
  std::string path = dir + "/" + std::to_string(::getpid()) + kSourceSuffix;
  std::string temporary = path + ".tmp";
  // Created afresh: a stale file or a link left at the name is removed, never written through.
  const int fd = base::create_fresh_file(temporary, O_RDWR, 0600);
  if (fd < 0) {
    *err = temporary + ": " + std::strerror(errno);
    return false;
  }
  bool ok = lay_out(fd, name, url, pixel_capacity, &mapping_, err);
  ::close(fd);
  if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
    *err = path + ": " + std::strerror(errno);
    ok = false;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  path_ = path;
  return true;
}

bool SourcePublisher::publish(const FrameFormat& format,
                              const std::function<void(uint8_t* pixels)>& fill) {
  SourceHeader* header = mapping_.header();
  uint64_t bytes = static_cast<uint64_t>(format.stride) * static_cast<uint64_t>(format.height);
  if (header == nullptr || format.width <= 0 || format.height <= 0 ||
      format.stride < format.width * 4 || bytes > header->identity.pixel_capacity) {
    return false;
  }
  uint64_t sequence = header->sequence.load(std::memory_order_relaxed);
  header->sequence.store(sequence + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  header->frame_number = static_cast<uint64_t>(++frames_);
  header->width = format.width;
  header->height = format.height;
  header->stride = format.stride;
  header->frame_rate_n = format.frame_rate_n;
  header->frame_rate_d = format.frame_rate_d;
  header->timestamp = unix_time_100ns();
  fill(mapping_.pixels());
  header->sequence.store(sequence + 2, std::memory_order_release);
  header->frame_futex.fetch_add(1, std::memory_order_release);
  wake_receivers(&header->frame_futex);
  return true;
}

bool SourcePublisher::followed() const {
  SourceHeader* header = mapping_.header();
  return header != nullptr && header->attachments.load(std::memory_order_acquire) > 0;
}

void SourcePublisher::request_error() {
  SourceHeader* header = mapping_.header();
  if (header != nullptr) {
    header->error_requests.fetch_add(1, std::memory_order_release);
    header->frame_futex.fetch_add(1, std::memory_order_release);
    wake_receivers(&header->frame_futex);
  }
}

}  // namespace ndi_loopback
