// Test helpers: a private loopback directory and a source published from inside the test.
#ifndef PLATFORM_NDI_LOOPBACK_TEST_UTIL_H_
#define PLATFORM_NDI_LOOPBACK_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/ndi/source_publisher.h"

namespace ndi_loopback {

// Points NDI_LOOPBACK_DIR at a fresh directory for the test's lifetime.
class LoopbackDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "ndi-loopback-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    ::setenv("NDI_LOOPBACK_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("NDI_LOOPBACK_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Publishes a width x height frame whose every byte is value.
  static void publish_filled(SourcePublisher* publisher, int width, int height, uint8_t value) {
    FrameFormat format{width, height, width * 4, 25, 1};
    size_t bytes = static_cast<size_t>(width) * height * 4;
    ASSERT_TRUE(publisher->publish(format, [&](uint8_t* p) { std::memset(p, value, bytes); }));
  }

  std::string dir_;
};

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_LOOPBACK_TEST_UTIL_H_
