#include <unistd.h>

#include <cstdio>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/ndi/include/Processing.NDI.Lib.h"
#include "platform/ndi/loopback_test_util.h"
#include "platform/ndi/source_publisher.h"

namespace ndi_loopback {
namespace {

using Listed = std::vector<std::pair<std::string, std::string>>;  // name, URL ("<null>")

class FinderTest : public LoopbackDirTest {
 protected:
  void SetUp() override {
    LoopbackDirTest::SetUp();
    finder_ = NDIlib_find_create_v2(nullptr);
    ASSERT_NE(finder_, nullptr);
  }
  void TearDown() override {
    NDIlib_find_destroy(finder_);
    LoopbackDirTest::TearDown();
  }
  Listed listed() {
    uint32_t count = 99;
    const NDIlib_source_t* sources = NDIlib_find_get_current_sources(finder_, &count);
    Listed out;
    for (uint32_t i = 0; i < count; ++i) {
      const char* url = sources[i].p_url_address;
      out.emplace_back(sources[i].p_ndi_name, url == nullptr ? "<null>" : url);
    }
    return out;
  }
  NDIlib_find_instance_t finder_ = nullptr;
};

TEST_F(FinderTest, ListsAnnouncedSourcesUntilTheyAreWithdrawn) {
  EXPECT_TRUE(listed().empty());
  // One process announces one source at a time (the file is named after the sender).
  auto with_url = std::make_unique<SourcePublisher>();
  SourcePublisher without_url;
  std::string err;
  std::string url = "127.0.0.1:5961";
  std::string odd_name = std::string("Cam \"A\"\\\n\x01", 10) + std::string(3000, 'x');
  ASSERT_TRUE(with_url->open(dir_, odd_name, &url, 64, &err)) << err;
  EXPECT_EQ(listed(), (Listed{{odd_name, url}}));
  with_url.reset();
  EXPECT_TRUE(listed().empty());
  ASSERT_TRUE(without_url.open(dir_, "Plain", nullptr, 64, &err)) << err;
  EXPECT_EQ(listed(), (Listed{{"Plain", "<null>"}}));
}

TEST_F(FinderTest, WaitReportsChangesOnly) {
  EXPECT_FALSE(NDIlib_find_wait_for_sources(finder_, 0));
  SourcePublisher publisher;
  std::string err;
  ASSERT_TRUE(publisher.open(dir_, "One", nullptr, 64, &err)) << err;
  EXPECT_TRUE(NDIlib_find_wait_for_sources(finder_, 0));
  EXPECT_FALSE(NDIlib_find_wait_for_sources(finder_, 30));
}

TEST_F(FinderTest, IgnoresForeignAndTruncatedFiles) {
  SourcePublisher publisher;
  std::string err;
  ASSERT_TRUE(publisher.open(dir_, "Real", nullptr, 64, &err)) << err;
  std::filesystem::copy_file(publisher.path(), dir_ + "/1.ndisrc");  // pid 1 is not the sender
  std::filesystem::resize_file(dir_ + "/1.ndisrc", 20);
  std::FILE* junk = std::fopen((dir_ + "/junk.ndisrc").c_str(), "w");
  std::fputs("junk", junk);
  std::fclose(junk);
  EXPECT_EQ(listed(), (Listed{{"Real", "<null>"}}));
}

TEST_F(FinderTest, DeadSendersAreNotListedAndAreClearedByTheNextSender) {
  std::string err;
  {
    SourcePublisher publisher;
    ASSERT_TRUE(publisher.open(dir_, "Ghost", nullptr, 64, &err)) << err;
    // A copy that claims a pid that cannot exist stands for a sender that was killed.
    std::FILE* file = std::fopen(publisher.path().c_str(), "rb");
    std::vector<char> bytes(4096 * 2);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    int32_t dead_pid = 0x3FFFFFFF;
    std::memcpy(bytes.data() + offsetof(SourceIdentity, pid), &dead_pid, sizeof(dead_pid));
    file = std::fopen((dir_ + "/dead.ndisrc").c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  EXPECT_TRUE(listed().empty());
  SourcePublisher next;
  ASSERT_TRUE(next.open(dir_, "Next", nullptr, 64, &err)) << err;
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/dead.ndisrc"));
}

TEST_F(FinderTest, LinkPlantedAtTheTemporaryNameIsNotWrittenThrough) {
  const std::string victim = dir_ + "-victim";  // beside the directory, not in it
  std::FILE* file = std::fopen(victim.c_str(), "wb");
  std::fputs("outside", file);
  std::fclose(file);
  const std::string path = dir_ + "/" + std::to_string(::getpid()) + ".ndisrc";
  ASSERT_EQ(::symlink(victim.c_str(), (path + ".tmp").c_str()), 0);
  SourcePublisher publisher;
  std::string err;
  ASSERT_TRUE(publisher.open(dir_, "Cam", nullptr, 64, &err)) << err;
  EXPECT_EQ(std::filesystem::file_size(victim), 7u);
  EXPECT_FALSE(std::filesystem::is_symlink(path));
  EXPECT_EQ(listed(), (Listed{{"Cam", "<null>"}}));
  std::filesystem::remove(victim);
}

TEST(FaultInjectionTest, EachStepFailsOnRequest) {
  ::setenv("NDI_LOOPBACK_FAIL", "find_create,recv_create", 1);
  EXPECT_TRUE(NDIlib_initialize());
  EXPECT_EQ(NDIlib_find_create_v2(nullptr), nullptr);
  NDIlib_recv_create_v3_t settings;
  EXPECT_EQ(NDIlib_recv_create_v3(&settings), nullptr);
  ::setenv("NDI_LOOPBACK_FAIL", "initialize", 1);
  EXPECT_FALSE(NDIlib_initialize());
  NDIlib_recv_instance_t receiver = NDIlib_recv_create_v3(&settings);
  EXPECT_NE(receiver, nullptr);
  NDIlib_recv_destroy(receiver);
  ::unsetenv("NDI_LOOPBACK_FAIL");
}

}  // namespace
}  // namespace ndi_loopback
