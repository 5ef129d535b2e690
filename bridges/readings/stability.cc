#include "bridges/readings/stability.h"

#include <cmath>

namespace readings {

namespace {

constexpr double kMinuteStep = 1.0;  // "m:ss" shows whole seconds
constexpr double kTenthStep = 0.1;   // "s.t" shows tenths
constexpr double kSameSeconds = 1e-6;

bool all_digits(const std::string& text, size_t from, size_t to) {
  if (from >= to) {
    return false;
  }
  for (size_t i = from; i < to; ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return false;
    }
  }
  return true;
}

double step_of(const std::string& text) {
  return text.find(':') != std::string::npos ? kMinuteStep : kTenthStep;
}

}  // namespace

std::optional<double> clock_seconds(const std::string& text) {
  const size_t colon = text.find(':');
  if (colon != std::string::npos) {
    if (text.size() - colon != 3 || !all_digits(text, 0, colon) ||
        !all_digits(text, colon + 1, text.size()) || colon > 3) {
      return std::nullopt;
    }
    const int seconds = std::stoi(text.substr(colon + 1));
    return seconds < 60 ? std::optional<double>(std::stoi(text.substr(0, colon)) * 60.0 + seconds)
                        : std::nullopt;
  }
  const size_t point = text.find('.');
  if (point == std::string::npos || text.size() - point != 2 || point > 3 ||
      !all_digits(text, 0, point) || !all_digits(text, point + 1, text.size())) {
    return std::nullopt;
  }
  return std::stoi(text.substr(0, point)) + (text[point + 1] - '0') / 10.0;
}

Stability StabilityTracker::observe(const std::optional<std::string>& value, double time_s) {
  if (!value) {
    run_length_ = 0;
    return {false, shown_};
  }
  if (run_length_ > 0 && *value == run_value_) {
    ++run_length_;
  } else {
    run_value_ = *value;
    run_length_ = 1;
  }
  const bool stable = clock_ ? clock_stable(*value, time_s) : run_length_ >= kStableFrames;
  if (stable) {
    shown_ = *value;
  }
  return {stable, shown_};
}

bool StabilityTracker::clock_stable(const std::string& value, double time_s) {
  const std::optional<double> seconds = clock_seconds(value);
  if (!seconds) {
    jump_track_.reset();
    return false;
  }
  const double step = std::max(step_of(value), shown_ ? step_of(*shown_) : kTenthStep);
  const bool held = run_length_ >= kStableFrames;
  if (shown_track_ && runs_on(*shown_track_, *seconds, step, time_s)) {
    jump_track_.reset();
    if (held) {
      advance(&*shown_track_, *seconds, time_s);
    }
    return held;
  }
  if (!jump_track_ || !runs_on(*jump_track_, *seconds, step, time_s)) {
    jump_track_ = Track{*seconds, time_s, 0, 1};
  } else {
    advance(&*jump_track_, *seconds, time_s);
    ++jump_track_->frames;
  }
  if (held && jump_track_->frames >= kJumpHoldFrames) {
    shown_track_ = jump_track_;
    jump_track_.reset();
    return true;
  }
  return false;
}

bool StabilityTracker::runs_on(const Track& from, double seconds, double step, double time_s) {
  const double moved = seconds - from.seconds;
  if (std::fabs(moved) < kSameSeconds) {
    return true;  // the clock stands still
  }
  const double elapsed = std::max(0.0, time_s - from.time_s);
  if (std::fabs(moved) > elapsed + step + kClockSlackSeconds) {
    return false;
  }
  return from.direction == 0 || (moved < 0) == (from.direction < 0);
}

void StabilityTracker::advance(Track* track, double seconds, double time_s) {
  if (std::fabs(seconds - track->seconds) >= kSameSeconds) {
    track->direction = seconds < track->seconds ? -1 : 1;
  }
  track->seconds = seconds;
  track->time_s = time_s;
}

}  // namespace readings
