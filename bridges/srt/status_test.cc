#include "bridges/srt/status.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "base/testing/scoped_temp_dir.h"

namespace rivlet {
namespace {

TEST(StatusDocumentTest, InitialListeningDocument) {
  Status status;
  status.state = ListenerState::kListening;
  status.port = 9000;
  EXPECT_EQ(status_document(status),
            "{\n"
            "  \"state\": \"listening\",\n"
            "  \"port\": 9000,\n"
            "  \"width\": 0,\n"
            "  \"height\": 0,\n"
            "  \"frame_rate_n\": 0,\n"
            "  \"frame_rate_d\": 0,\n"
            "  \"last_frame_time\": null,\n"
            "  \"decoder\": null,\n"
            "  \"error\": null\n"
            "}\n");
}

TEST(StatusDocumentTest, ConnectedDocumentWithErrorEscapes) {
  Status status;
  status.state = ListenerState::kError;
  status.port = 1;
  status.width = 1920;
  status.height = 1080;
  status.frame_rate_n = 30000;
  status.frame_rate_d = 1001;
  status.has_last_frame = true;
  status.last_frame_time = 1765000000.1239;
  status.decoder = "native";
  status.error = "bad\x08\"x\"";
  EXPECT_EQ(status_document(status),
            "{\n"
            "  \"state\": \"error\",\n"
            "  \"port\": 1,\n"
            "  \"width\": 1920,\n"
            "  \"height\": 1080,\n"
            "  \"frame_rate_n\": 30000,\n"
            "  \"frame_rate_d\": 1001,\n"
            "  \"last_frame_time\": 1765000000.124,\n"
            "  \"decoder\": \"native\",\n"
            "  \"error\": \"bad\\u0008\\\"x\\\"\"\n"
            "}\n");
}

TEST(ListenerStateTest, EachStateHasItsDocumentName) {
  const std::pair<ListenerState, std::string> rows[] = {
      {ListenerState::kListening, "listening"}, {ListenerState::kConnecting, "connecting"},
      {ListenerState::kConnected, "connected"}, {ListenerState::kOffline, "offline"},
      {ListenerState::kError, "error"},
  };
  for (const auto& [state, name] : rows) {
    EXPECT_EQ(listener_state_name(state), name);
  }
}

TEST(WriteStatusTest, OnlyAFailedTemporaryOpenIsReported) {
  base::ScopedTempDir dir;
  Status status;
  status.state = ListenerState::kListening;
  const std::string path = dir.file("srt_status.json");
  testing::internal::CaptureStderr();
  write_status(path, status);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(base::read_whole_file(path), status_document(status));
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  std::filesystem::create_directory(path + ".tmp");
  status.state = ListenerState::kOffline;
  testing::internal::CaptureStderr();
  write_status(path, status);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "cannot open " + path + ".tmp\n");
  std::filesystem::remove(path + ".tmp");

  // A failed rename is silent and leaves no temporary file.
  const std::string occupied = dir.file("occupied");
  std::filesystem::create_directories(occupied + "/inside");
  testing::internal::CaptureStderr();
  write_status(occupied, status);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(std::filesystem::exists(occupied + ".tmp"));
}

}  // namespace
}  // namespace rivlet
