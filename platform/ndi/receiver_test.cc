#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/ndi/include/Processing.NDI.Lib.h"
#include "platform/ndi/loopback_test_util.h"
#include "platform/ndi/source_publisher.h"

namespace ndi_loopback {
namespace {

class ReceiverTest : public LoopbackDirTest {
 protected:
  void SetUp() override {
    LoopbackDirTest::SetUp();
    NDIlib_recv_create_v3_t settings;
    settings.p_ndi_recv_name = "test";
    receiver_ = NDIlib_recv_create_v3(&settings);
    ASSERT_NE(receiver_, nullptr);
  }
  void TearDown() override {
    NDIlib_recv_destroy(receiver_);
    LoopbackDirTest::TearDown();
  }
  void connect(const char* name, const char* url) {
    NDIlib_source_t source;
    source.p_ndi_name = name;
    source.p_url_address = url;
    NDIlib_recv_connect(receiver_, &source);
  }
  NDIlib_frame_type_e capture(uint32_t timeout_ms = 20) {
    if (video_.p_data != nullptr) {
      NDIlib_recv_free_video_v2(receiver_, &video_);
    }
    video_ = NDIlib_video_frame_v2_t();
    NDIlib_audio_frame_v3_t audio;
    NDIlib_metadata_frame_t metadata;
    return NDIlib_recv_capture_v3(receiver_, &video_, &audio, &metadata, timeout_ms);
  }

  NDIlib_recv_instance_t receiver_ = nullptr;
  NDIlib_video_frame_v2_t video_;
  SourcePublisher publisher_;
  std::string err_;
};

TEST_F(ReceiverTest, DeliversTheNewestFrameOnceThenNone) {
  std::string url = "loopback://a";
  ASSERT_TRUE(publisher_.open(dir_, "Src", &url, 8 * 6 * 4, &err_)) << err_;
  publish_filled(&publisher_, 8, 6, 9);  // before the receiver came: never delivered
  EXPECT_FALSE(publisher_.followed());
  connect("Src", nullptr);
  EXPECT_EQ(capture(), NDIlib_frame_type_status_change);
  EXPECT_TRUE(publisher_.followed());
  EXPECT_EQ(NDIlib_recv_get_no_connections(receiver_), 1);
  EXPECT_EQ(capture(), NDIlib_frame_type_none);
  publish_filled(&publisher_, 8, 6, 1);
  publish_filled(&publisher_, 4, 2, 2);
  ASSERT_EQ(capture(), NDIlib_frame_type_video);
  EXPECT_EQ(video_.xres, 4);
  EXPECT_EQ(video_.yres, 2);
  EXPECT_EQ(video_.line_stride_in_bytes, 16);
  EXPECT_EQ(video_.frame_rate_N, 25);
  EXPECT_EQ(video_.frame_rate_D, 1);
  EXPECT_EQ(video_.FourCC, NDIlib_FourCC_video_type_BGRX);
  EXPECT_EQ(video_.p_data[0], 2);
  EXPECT_EQ(video_.p_data[31], 2);
  EXPECT_EQ(capture(), NDIlib_frame_type_none);
  publish_filled(&publisher_, 8, 6, 3);
  ASSERT_EQ(capture(), NDIlib_frame_type_video);
  EXPECT_EQ(video_.xres, 8);
  EXPECT_EQ(video_.p_data[8 * 6 * 4 - 1], 3);
}

TEST_F(ReceiverTest, FollowsOnlyTheNamedSourceAtTheGivenUrl) {
  std::string url = "loopback://a";
  ASSERT_TRUE(publisher_.open(dir_, "Src", &url, 64, &err_)) << err_;
  publish_filled(&publisher_, 2, 2, 1);
  connect("Src", "loopback://b");
  EXPECT_EQ(capture(), NDIlib_frame_type_none);
  connect("Src\n", nullptr);
  EXPECT_EQ(capture(), NDIlib_frame_type_none);
  EXPECT_EQ(NDIlib_recv_get_no_connections(receiver_), 0);
  connect("Src", "loopback://a");
  EXPECT_EQ(capture(), NDIlib_frame_type_status_change);
  publish_filled(&publisher_, 2, 2, 1);
  EXPECT_EQ(capture(), NDIlib_frame_type_video);
  NDIlib_recv_connect(receiver_, nullptr);
  publish_filled(&publisher_, 2, 2, 2);
  EXPECT_EQ(capture(), NDIlib_frame_type_none);
  EXPECT_EQ(NDIlib_recv_get_no_connections(receiver_), 0);
}

TEST_F(ReceiverTest, ErrorRequestedBySenderArrivesOnce) {
  ASSERT_TRUE(publisher_.open(dir_, "Src", nullptr, 64, &err_)) << err_;
  publisher_.request_error();  // before the receiver followed the source: not for it
  connect("Src", nullptr);
  EXPECT_EQ(capture(), NDIlib_frame_type_status_change);
  EXPECT_EQ(capture(), NDIlib_frame_type_none);
  publisher_.request_error();
  EXPECT_EQ(capture(), NDIlib_frame_type_error);
  EXPECT_EQ(capture(), NDIlib_frame_type_none);
}

TEST_F(ReceiverTest, SenderDyingMidFrameGivesAnErrorFrame) {
  int ready[2];
  int go[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(go), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SourcePublisher publisher;
    std::string err;
    if (!publisher.open(dir_, "Doomed", nullptr, 64, &err)) {
      ::_exit(1);
    }
    FrameFormat format{2, 2, 8, 25, 1};
    char byte = 0;
    (void)!::write(ready[1], &byte, 1);
    (void)!::read(go[0], &byte, 1);
    publisher.publish(format, [](uint8_t* p) { p[0] = 7; });
    (void)!::read(go[0], &byte, 1);
    publisher.publish(format, [](uint8_t*) { ::kill(::getpid(), SIGKILL); });
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  connect("Doomed", nullptr);
  EXPECT_EQ(capture(), NDIlib_frame_type_status_change);
  ASSERT_EQ(::write(go[1], &byte, 1), 1);
  ASSERT_EQ(capture(1000), NDIlib_frame_type_video);
  EXPECT_EQ(video_.p_data[0], 7);
  ASSERT_EQ(::write(go[1], &byte, 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(capture(), NDIlib_frame_type_error);
  EXPECT_EQ(capture(), NDIlib_frame_type_none);
  EXPECT_EQ(NDIlib_recv_get_no_connections(receiver_), 0);
  for (int fd : {ready[0], ready[1], go[0], go[1]}) {
    ::close(fd);
  }
}

}  // namespace
}  // namespace ndi_loopback
