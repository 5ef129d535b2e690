#include "platform/ndi/source_file.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/file_handle.h"
#include "base/full_io.h"

namespace ndi_loopback {

namespace {

// Whether a header read from a file of file_size bytes describes a complete source file.
bool header_fits(const SourceIdentity& header, uint64_t file_size) {
  if (std::memcmp(header.magic, kSourceMagic, sizeof(kSourceMagic)) != 0 ||
      header.header_size != sizeof(SourceHeader) || header.name_size > kMaxTextSize ||
      header.url_size > kMaxTextSize) {
    return false;
  }
  uint64_t text_end = uint64_t{sizeof(SourceHeader)} + header.name_size + header.url_size;
  return header.pixel_offset >= text_end && header.pixel_offset <= file_size &&
         header.pixel_capacity <= file_size - header.pixel_offset;
}

}  // namespace

bool read_announcement(const std::string& path, Announcement* out) {
  base::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return false;
  }
  SourceIdentity header;
  if (!base::pread_fully(fd.get(), &header, sizeof(header), 0)) {
    return false;
  }
  if (!header_fits(header, static_cast<uint64_t>(st.st_size))) {
    return false;
  }
  std::string text(header.name_size + header.url_size, '\0');
  if (!text.empty() &&
      !base::pread_fully(fd.get(), text.data(), text.size(), sizeof(SourceHeader))) {
    return false;
  }
  out->name = text.substr(0, header.name_size);
  out->url_address = text.substr(header.name_size);
  out->has_url = header.has_url != 0;
  out->pid = header.pid;
  return true;
}

SourceMapping::~SourceMapping() {
  if (base_ != nullptr) {
    ::munmap(base_, size_);
  }
}

bool SourceMapping::map(int fd, std::string* err) {
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    *err = std::strerror(errno);
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) < sizeof(SourceHeader)) {
    *err = "source file too short";
    return false;
  }
  size_t size = static_cast<size_t>(st.st_size);
  void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) {
    *err = std::strerror(errno);
    return false;
  }
  if (!header_fits(static_cast<SourceHeader*>(base)->identity, size)) {
    ::munmap(base, size);
    *err = "not a loopback source file";
    return false;
  }
  base_ = base;
  size_ = size;
  return true;
}

CopyResult copy_newest_frame(const SourceMapping& mapping, uint64_t last_seen, FrameCopy* frame,
                             std::vector<uint8_t>* pixels) {
  SourceHeader* header = mapping.header();
  uint64_t before = header->sequence.load(std::memory_order_acquire);
  if (before % 2 != 0) {
    return CopyResult::kBusy;
  }
  FrameCopy copy;
  copy.frame_number = header->frame_number;
  copy.width = header->width;
  copy.height = header->height;
  copy.stride = header->stride;
  copy.frame_rate_n = header->frame_rate_n;
  copy.frame_rate_d = header->frame_rate_d;
  copy.timestamp = header->timestamp;
  uint64_t bytes = static_cast<uint64_t>(copy.stride) * static_cast<uint64_t>(copy.height);
  if (copy.frame_number <= last_seen) {
    return CopyResult::kNoNewFrame;
  }
  if (copy.width <= 0 || copy.height <= 0 || copy.stride < copy.width * 4 ||
      bytes > header->identity.pixel_capacity) {
    return CopyResult::kBusy;  // torn description; the next look sees a consistent one
  }
  pixels->resize(bytes);
  std::memcpy(pixels->data(), mapping.pixels(), bytes);
  std::atomic_thread_fence(std::memory_order_acquire);
  if (header->sequence.load(std::memory_order_relaxed) != before) {
    return CopyResult::kBusy;
  }
  *frame = copy;
  return CopyResult::kCopied;
}

void wake_receivers(std::atomic<uint32_t>* word) {
  ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE, INT32_MAX, nullptr, nullptr,
            0);
}

void wait_for_change(std::atomic<uint32_t>* word, uint32_t expected, int64_t timeout_ns) {
  if (timeout_ns <= 0) {
    return;
  }
  struct timespec timeout;
  timeout.tv_sec = static_cast<time_t>(timeout_ns / 1000000000);
  timeout.tv_nsec = static_cast<long>(timeout_ns % 1000000000);
  ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT, expected, &timeout, nullptr,
            0);
}

}  // namespace ndi_loopback
