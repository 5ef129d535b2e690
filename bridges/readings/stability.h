// Whether a zone's reading can be believed, from the readings of the frames before it.
//
// A value is stable once it has been read the same on the last kStableFrames consecutive frames.
// A clock must also agree with a clock that runs: from the value last shown, a game clock stands
// still or moves, in the direction it last moved, by about the time that passed (at most the
// elapsed time plus one step of its display: a second for "m:ss", a tenth for "s.t"). A clock
// value that does not agree (a jump the other way or by more, as after a reset, or the first value
// ever seen) is believed only once the values that follow it have run on from it as a clock would,
// consistently, for kJumpHoldFrames frames. `shown` is the last stable value; a frame that is not
// read (not valid) or reads something that is not yet stable never changes it.
#ifndef BRIDGES_READINGS_STABILITY_H_
#define BRIDGES_READINGS_STABILITY_H_

#include <optional>
#include <string>

namespace readings {

// Same value on this many consecutive frames. A tenths clock shows each value for 3 frames at
// 30 fps: 2 lets one of them be misread or dropped and the tenth still be shown, while a misread
// must repeat on the next frame too to be believed.
inline constexpr int kStableFrames = 2;
// A clock that jumped must run on consistently for this many frames (0.4 s at 30 fps): long enough
// that a misread repeated over a few frames is not taken for a reset.
inline constexpr int kJumpHoldFrames = 12;
// Slack on top of the elapsed time and the display step, for the time between the frame a digit
// changed on and the frame it was read on.
inline constexpr double kClockSlackSeconds = 0.1;

// A clock text as seconds: "m:ss" or "mm:ss" (seconds below 60), "s.t"; nullopt for anything else.
std::optional<double> clock_seconds(const std::string& text);

struct Stability {
  bool stable = false;
  std::optional<std::string> shown;
};

class StabilityTracker {
 public:
  explicit StabilityTracker(bool clock) : clock_(clock) {}

  // One frame's reading at time_s (the frame's presentation time, seconds): value is the reading's
  // text when valid, nullopt when not.
  Stability observe(const std::optional<std::string>& value, double time_s);

  const std::optional<std::string>& shown() const { return shown_; }

 private:
  // A clock's position: its value, in seconds, at a time, and the direction it last moved in.
  struct Track {
    double seconds = 0.0;
    double time_s = 0.0;
    int direction = 0;  // -1 down, +1 up, 0 not known
    int frames = 0;     // frames that ran on consistently from where it started
  };
  bool clock_stable(const std::string& value, double time_s);
  static bool runs_on(const Track& from, double seconds, double step, double time_s);
  static void advance(Track* track, double seconds, double time_s);

  bool clock_;
  std::string run_value_;
  int run_length_ = 0;
  std::optional<std::string> shown_;
  std::optional<Track> shown_track_;  // clocks: where the shown value put the clock
  std::optional<Track> jump_track_;   // clocks: a value that jumped, while it proves itself
};

}  // namespace readings

#endif  // BRIDGES_READINGS_STABILITY_H_
