#include "bridges/readings/stability.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace readings {
namespace {

constexpr double kFrame = 1.0 / 30;

struct Step {
  std::optional<std::string> value;
  bool stable;
  std::optional<std::string> shown;
};

// Feeds one value per frame at 30 fps and checks stable and shown after each.
void run(StabilityTracker* tracker, const std::vector<Step>& steps, int first_frame = 0) {
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    const Stability s = tracker->observe(steps[i].value, (first_frame + i) * kFrame);
    EXPECT_EQ(s.stable, steps[i].stable);
    EXPECT_EQ(s.shown, steps[i].shown);
  }
}

// Brings a clock tracker to show value, as after a stretch of consistent frames.
int settle(StabilityTracker* tracker, const std::string& value) {
  int frame = 0;
  for (; frame <= kJumpHoldFrames + kStableFrames; ++frame) {
    tracker->observe(value, frame * kFrame);
  }
  EXPECT_EQ(tracker->shown(), value);
  return frame;
}

TEST(ClockSecondsTest, ReadsBothDisplayFormsAndNothingElse) {
  EXPECT_EQ(clock_seconds("12:34"), 754.0);
  EXPECT_EQ(clock_seconds("5:30"), 330.0);
  EXPECT_EQ(clock_seconds("59.8"), 59.8);
  EXPECT_EQ(clock_seconds("0.0"), 0.0);
  for (const char* bad :
       {"12:3", "12:60", ":30", "59.", ".8", "59.80", "1a:00", "", "7", "1234:00"}) {
    EXPECT_FALSE(clock_seconds(bad)) << bad;
  }
}

TEST(StabilityTest, ValueNeedsConsecutiveFramesAndMisreadsNeverChangeShown) {
  StabilityTracker score(/*clock=*/false);
  static_assert(kStableFrames == 2);
  run(&score, {{"3", false, std::nullopt},
               {std::nullopt, false, std::nullopt},  // not read: the run starts again
               {"3", false, std::nullopt},
               {"3", true, "3"},
               {"8", false, "3"},  // one misread frame
               {std::nullopt, false, "3"},
               {"4", false, "3"},
               {"4", true, "4"},
               {"4", true, "4"}});
}

TEST(StabilityTest, RunningClockIsBelievedAtTheFrameRate) {
  StabilityTracker clock(/*clock=*/true);
  int frame = settle(&clock, "10.0");
  // A tenths clock: three frames per tenth; the second frame of each makes it stable.
  run(&clock,
      {{"9.9", false, "10.0"},
       {"9.9", true, "9.9"},
       {"9.9", true, "9.9"},
       {"9.8", false, "9.9"},
       {"9.8", true, "9.8"},
       {std::nullopt, false, "9.8"},
       {"9.7", false, "9.8"},
       {"9.7", true, "9.7"}},
      frame);
  // From minutes to tenths: 1:00 then 59.9 is a move of a tenth.
  StabilityTracker minutes(/*clock=*/true);
  frame = settle(&minutes, "1:00");
  run(&minutes, {{"59.9", false, "1:00"}, {"59.9", true, "59.9"}}, frame);
}

TEST(StabilityTest, ClockThatJumpsOrRunsBackwardsMustHoldLonger) {
  StabilityTracker clock(/*clock=*/true);
  int frame = settle(&clock, "5:00");
  clock.observe("4:59", frame++ * kFrame);
  clock.observe("4:59", frame++ * kFrame);
  ASSERT_EQ(clock.shown(), "4:59");  // it now runs down
  // Repeated misreads: a jump by more than the time passed, and a move the other way.
  run(&clock,
      {{"7:59", false, "4:59"},
       {"7:59", false, "4:59"},
       {"7:59", false, "4:59"},
       {"5:00", false, "4:59"},
       {"5:00", false, "4:59"},
       {"5:00", false, "4:59"}},
      frame);
  frame += 6;
  // A reset to 20:00 that stays there is believed once it has held for kJumpHoldFrames frames.
  int believed_after = 0;
  for (int i = 1; i <= 3 * kJumpHoldFrames && believed_after == 0; ++i) {
    if (clock.observe("20:00", frame++ * kFrame).stable) {
      believed_after = i;
    }
  }
  EXPECT_EQ(believed_after, kJumpHoldFrames);
  EXPECT_EQ(clock.shown(), "20:00");
}

TEST(StabilityTest, FirstClockValueAndTextThatIsNoClockAreNotBelievedAtOnce) {
  StabilityTracker clock(/*clock=*/true);
  for (int i = 0; i < kJumpHoldFrames - 1; ++i) {
    EXPECT_FALSE(clock.observe("12:00", i * kFrame).stable);
  }
  EXPECT_TRUE(clock.observe("12:00", kJumpHoldFrames * kFrame).stable);
  for (int i = 0; i < 3 * kJumpHoldFrames; ++i) {
    EXPECT_FALSE(clock.observe("12:3", (kJumpHoldFrames + 1 + i) * kFrame).stable);
  }
  EXPECT_EQ(clock.shown(), "12:00");
}

}  // namespace
}  // namespace readings
