#include "bridges/ndi/receiver_status.h"

#include <gtest/gtest.h>

namespace ndi_bridge {
namespace {

TEST(StatusDocumentTest, InitialStatusHasNullsWhereNothingIsKnown) {
  EXPECT_EQ(status_document(ReceiverStatus(), true, 1765000000.5),
            "{\n"
            "  \"version\": 1,\n"
            "  \"receiver_running\": true,\n"
            "  \"receiver_state\": \"no_source\",\n"
            "  \"selected_source_id\": null,\n"
            "  \"selected_source_name\": null,\n"
            "  \"active_source_name\": null,\n"
            "  \"width\": 0,\n"
            "  \"height\": 0,\n"
            "  \"frame_rate_n\": 0,\n"
            "  \"frame_rate_d\": 0,\n"
            "  \"last_frame_at\": null,\n"
            "  \"updated_at\": 1765000000.5,\n"
            "  \"error\": null\n"
            "}\n");
}

TEST(StatusDocumentTest, ConnectedStatusAndFinalWrite) {
  ReceiverStatus status;
  status.receiver_state = ReceiverState::kConnected;
  status.selected_source_name = "Cam \"1\"\f";
  status.active_source_name = "Cam \"1\"\f";
  status.width = 1920;
  status.height = 1080;
  status.frame_rate_n = 30000;
  status.frame_rate_d = 1001;
  status.last_frame_at = 1765000000.123456;
  status.error = "No recent video frames";
  EXPECT_EQ(status_document(status, false, 1765000001.000001),
            "{\n"
            "  \"version\": 1,\n"
            "  \"receiver_running\": false,\n"
            "  \"receiver_state\": \"connected\",\n"
            "  \"selected_source_id\": \"Cam \\\"1\\\"\\f\",\n"
            "  \"selected_source_name\": \"Cam \\\"1\\\"\\f\",\n"
            "  \"active_source_name\": \"Cam \\\"1\\\"\\f\",\n"
            "  \"width\": 1920,\n"
            "  \"height\": 1080,\n"
            "  \"frame_rate_n\": 30000,\n"
            "  \"frame_rate_d\": 1001,\n"
            "  \"last_frame_at\": 1765000000.123456,\n"
            "  \"updated_at\": 1765000001.000001,\n"
            "  \"error\": \"No recent video frames\"\n"
            "}\n");
}

TEST(ReceiverStateTest, EachStateHasItsDocumentName) {
  const std::pair<ReceiverState, std::string> rows[] = {
      {ReceiverState::kNoSource, "no_source"},  {ReceiverState::kConnecting, "connecting"},
      {ReceiverState::kConnected, "connected"}, {ReceiverState::kOffline, "offline"},
      {ReceiverState::kError, "error"},         {ReceiverState::kStopped, "stopped"},
  };
  for (const auto& [state, name] : rows) {
    EXPECT_EQ(receiver_state_name(state), name);
  }
}

}  // namespace
}  // namespace ndi_bridge
