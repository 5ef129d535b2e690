// Test helpers: a private loopback directory and a source published from inside the test.
#ifndef PLATFORM_NDI_LOOPBACK_TEST_UTIL_H_
#define PLATFORM_NDI_LOOPBACK_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "base/testing/scoped_temp_dir.h"
#include "platform/ndi/source_publisher.h"

namespace ndi_loopback {

// Points NDI_LOOPBACK_DIR at a fresh directory for the test's lifetime.
class LoopbackDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    ::setenv("NDI_LOOPBACK_DIR", dir_.c_str(), 1);
  }
  void TearDown() override { ::unsetenv("NDI_LOOPBACK_DIR"); }

  // Publishes a width x height frame whose every byte is value.
  static void publish_filled(SourcePublisher* publisher, int width, int height, uint8_t value) {
    FrameFormat format{width, height, width * 4, 25, 1};
    size_t bytes = static_cast<size_t>(width) * height * 4;
    ASSERT_TRUE(publisher->publish(format, [&](uint8_t* p) { std::memset(p, value, bytes); }));
  }

  base::ScopedTempDir temp_{"ndi-loopback"};
  std::string dir_ = temp_.path();
};

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_LOOPBACK_TEST_UTIL_H_
