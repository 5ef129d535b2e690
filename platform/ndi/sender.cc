#include "platform/ndi/sender.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "base/clock.h"
#include "platform/ndi/image_file.h"
#include "platform/ndi/runtime_dir.h"
#include "platform/ndi/source_publisher.h"
#include "platform/ndi/test_pattern.h"

namespace ndi_loopback {

namespace {

using base::kNanosPerSecond;
using base::monotonic_ns;  // the steady clock is CLOCK_MONOTONIC, as sleep_until needs
constexpr int64_t kIdleSliceNs = 100000000;
constexpr int64_t kPollNs = 5000000;

void sleep_until(int64_t deadline_ns) {
  struct timespec at;
  at.tv_sec = static_cast<time_t>(deadline_ns / kNanosPerSecond);
  at.tv_nsec = static_cast<long>(deadline_ns % kNanosPerSecond);
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);  // a signal cuts it short
}

bool load_images(const SenderOptions& options, std::vector<BgrxImage>* images) {
  for (const std::string& path : options.images) {
    BgrxImage image;
    std::string err;
    if (!load_image(path, &image, &err)) {
      std::fprintf(stderr, "ndi_loopback_send: %s\n", err.c_str());
      return false;
    }
    images->push_back(std::move(image));
  }
  return true;
}

// Writes frame number frame (from 1): the next image, or the test pattern.
FrameFormat draw_frame(const SenderOptions& options, const std::vector<BgrxImage>& images,
                       const std::optional<TestPattern>& pattern, uint64_t frame,
                       std::function<void(uint8_t*)>* fill) {
  FrameFormat format;
  format.frame_rate_n = options.frame_rate_n;
  format.frame_rate_d = options.frame_rate_d;
  if (images.empty()) {
    format.width = options.width;
    format.height = options.height;
    format.stride = options.width * 4;
    *fill = [&pattern, frame, format](uint8_t* pixels) {
      pattern->render(frame, pixels, format.stride);
    };
  } else {
    const BgrxImage& image = images[(frame - 1) % images.size()];
    format.width = image.width;
    format.height = image.height;
    format.stride = image.width * 4;
    *fill = [&image](uint8_t* pixels) {
      std::memcpy(pixels, image.pixels.data(), image.pixels.size());
    };
  }
  if (frame == options.die_mid_frame) {
    std::function<void(uint8_t*)> whole = *fill;
    size_t half = static_cast<size_t>(format.stride) * static_cast<size_t>(format.height) / 2;
    *fill = [whole, half](uint8_t* pixels) {
      std::vector<uint8_t> scratch(half * 2 + 16);
      whole(scratch.data());
      std::memcpy(pixels, scratch.data(), half);
      ::kill(::getpid(), SIGKILL);
    };
  }
  return format;
}

uint64_t pixel_capacity(const SenderOptions& options, const std::vector<BgrxImage>& images) {
  uint64_t capacity = static_cast<uint64_t>(options.width) * options.height * 4;
  if (!images.empty()) {
    capacity = 0;
    for (const BgrxImage& image : images) {
      capacity = std::max<uint64_t>(capacity, image.pixels.size());
    }
  }
  return capacity;
}

}  // namespace

namespace {

// Publishes frames at the requested rate until signals->stop is set.
void publish_frames(const SenderOptions& options, const std::vector<BgrxImage>& images,
                    const std::optional<TestPattern>& pattern, SourcePublisher* publisher,
                    SenderSignals* signals) {
  while (options.wait_for_receiver && !publisher->followed() && signals->stop == 0) {
    sleep_until(monotonic_ns() + kPollNs);
  }
  int64_t period = kNanosPerSecond * options.frame_rate_d / options.frame_rate_n;
  int64_t next = monotonic_ns();
  for (uint64_t frame = 1; signals->stop == 0; ++frame) {
    if (options.frames != 0 && frame > options.frames) {
      sleep_until(monotonic_ns() + kIdleSliceNs);
    } else {
      std::function<void(uint8_t*)> fill;
      publisher->publish(draw_frame(options, images, pattern, frame, &fill), fill);
      if (frame == options.error_at) {
        publisher->request_error();
      }
      next += period;
      sleep_until(next);
    }
    if (signals->error_request != 0) {
      signals->error_request = 0;
      publisher->request_error();
    }
  }
}

}  // namespace

int run_sender(const SenderOptions& options, SenderSignals* signals) {
  std::vector<BgrxImage> images;
  if (!load_images(options, &images)) {
    return 1;
  }
  std::optional<TestPattern> pattern;
  if (images.empty()) {
    pattern.emplace(options.width, options.height);
  }
  std::string url = options.url.empty() ? "loopback://" + std::to_string(::getpid()) : options.url;
  SourcePublisher publisher;
  std::string err;
  std::string dir = options.dir.empty() ? runtime_dir() : options.dir;
  if (!publisher.open(dir, options.name, options.no_url ? nullptr : &url,
                      pixel_capacity(options, images), &err)) {
    std::fprintf(stderr, "ndi_loopback_send: cannot announce the source: %s\n", err.c_str());
    return 1;
  }
  std::printf("announced %s\n", publisher.path().c_str());
  std::fflush(stdout);
  publish_frames(options, images, pattern, &publisher, signals);
  return 0;
}

}  // namespace ndi_loopback
