#include "platform/ndi/receiver.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/ndi/runtime_dir.h"
#include "platform/ndi/source_directory.h"

namespace ndi_loopback {

namespace {

using Clock = std::chrono::steady_clock;
// Longest single wait, so that a sender that dies or appears is noticed soon.
constexpr auto kWaitSlice = std::chrono::milliseconds(50);

bool matches(const Announcement& announcement, const std::string& name,
             const std::string& url_address, bool has_url) {
  return announcement.name == name &&
         (!has_url || (announcement.has_url && announcement.url_address == url_address));
}

}  // namespace

void Receiver::connect(const NDIlib_source_t* src) {
  detach();
  target_.reset();
  if (src == nullptr || src->p_ndi_name == nullptr) {
    return;
  }
  Target target;
  target.name = src->p_ndi_name;
  target.has_url = src->p_url_address != nullptr;
  if (target.has_url) {
    target.url_address = src->p_url_address;
  }
  target_ = std::move(target);
}

void Receiver::attach() {
  for (const AnnouncedSource& source : live_sources(dir_)) {
    if (!matches(source.announcement, target_->name, target_->url_address, target_->has_url)) {
      continue;
    }
    int fd = ::open(source.path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      continue;
    }
    auto mapping = std::make_unique<SourceMapping>();
    std::string err;
    bool ok = mapping->map(fd, &err);
    ::close(fd);
    if (!ok || mapping->header()->identity.pid != source.announcement.pid) {
      continue;
    }
    mapping_ = std::move(mapping);
    pid_ = source.announcement.pid;
    // Like a network source, only frames sent from now on reach this receiver.
    last_frame_ = mapping_->header()->frame_number;
    mapping_->header()->attachments.fetch_add(1, std::memory_order_release);
    seen_errors_ = mapping_->header()->error_requests.load(std::memory_order_acquire);
    announce_attach_ = true;
    return;
  }
}

void Receiver::detach() {
  mapping_.reset();
  pid_ = 0;
  announce_attach_ = false;
}

NDIlib_frame_type_e Receiver::capture(NDIlib_video_frame_v2_t* video, uint32_t timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (!mapping_ && target_) {
      attach();
    }
    if (mapping_) {
      if (std::optional<NDIlib_frame_type_e> type = poll(video)) {
        return *type;
      }
    }
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
      return NDIlib_frame_type_none;
    }
    auto slice = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::min(std::chrono::duration_cast<Clock::duration>(kWaitSlice), left));
    if (mapping_) {
      wait_for_change(&mapping_->header()->frame_futex, futex_seen_, slice.count());
    } else {
      std::this_thread::sleep_for(slice);
    }
  }
}

std::optional<NDIlib_frame_type_e> Receiver::poll(NDIlib_video_frame_v2_t* video) {
  SourceHeader* header = mapping_->header();
  futex_seen_ = header->frame_futex.load(std::memory_order_acquire);
  if (announce_attach_) {
    announce_attach_ = false;
    return NDIlib_frame_type_status_change;
  }
  uint32_t errors = header->error_requests.load(std::memory_order_acquire);
  if (errors != seen_errors_) {
    seen_errors_ = errors;
    return NDIlib_frame_type_error;
  }
  if (video == nullptr) {
    return std::nullopt;
  }
  std::vector<uint8_t> pixels;
  if (!spare_.empty()) {
    pixels = std::move(spare_.back());
    spare_.pop_back();
  }
  FrameCopy frame;
  CopyResult result = copy_newest_frame(*mapping_, last_frame_, &frame, &pixels);
  if (result == CopyResult::kCopied) {
    last_frame_ = frame.frame_number;
    lend(frame, std::move(pixels), video);
    return NDIlib_frame_type_video;
  }
  spare_.push_back(std::move(pixels));
  if (process_alive(pid_)) {
    return std::nullopt;
  }
  // The sender is gone. Left in the middle of a frame, that frame is lost: report it.
  detach();
  if (result == CopyResult::kBusy) {
    return NDIlib_frame_type_error;
  }
  return std::nullopt;
}

void Receiver::lend(const FrameCopy& frame, std::vector<uint8_t> pixels,
                    NDIlib_video_frame_v2_t* video) {
  lent_.push_back(std::move(pixels));
  *video = NDIlib_video_frame_v2_t();
  video->xres = frame.width;
  video->yres = frame.height;
  video->FourCC = NDIlib_FourCC_video_type_BGRX;
  video->frame_rate_N = frame.frame_rate_n;
  video->frame_rate_D = frame.frame_rate_d;
  video->picture_aspect_ratio = static_cast<float>(frame.width) / static_cast<float>(frame.height);
  video->timecode = frame.timestamp;
  video->p_data = lent_.back().data();
  video->line_stride_in_bytes = frame.stride;
  video->timestamp = frame.timestamp;
}

void Receiver::free_video(const NDIlib_video_frame_v2_t* video) {
  if (video == nullptr || video->p_data == nullptr) {
    return;
  }
  for (auto it = lent_.begin(); it != lent_.end(); ++it) {
    if (it->data() == video->p_data) {
      spare_.push_back(std::move(*it));
      lent_.erase(it);
      return;
    }
  }
}

int Receiver::connections() const {
  return mapping_ && process_alive(pid_) ? 1 : 0;
}

}  // namespace ndi_loopback
