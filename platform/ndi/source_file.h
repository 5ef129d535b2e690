// The file through which a loopback sender announces one source and publishes its video frames.
//
// "<runtime dir>/<sender pid>.ndisrc" holds a fixed header, the source name and URL address, and a
// pixel area, and is mapped shared by the sender and its receivers. A frame is published under a
// sequence lock: the sequence is odd while the sender writes the frame and even once it is
// complete, so a receiver that copied a frame while the sequence stayed the same even value has a
// whole frame, and a sender that died with an odd sequence died mid-frame. After every frame the
// sender bumps a futex word so that waiting receivers wake at once.
#ifndef PLATFORM_NDI_SOURCE_FILE_H_
#define PLATFORM_NDI_SOURCE_FILE_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ndi_loopback {

inline constexpr char kSourceMagic[8] = {'N', 'D', 'I', 'L', 'O', 'O', 'P', '1'};
// Longest source name or URL address a sender may announce.
inline constexpr uint32_t kMaxTextSize = 64 * 1024;

// The part of the header that never changes once the file is announced.
struct SourceIdentity {
  char magic[8];
  uint32_t header_size;  // sizeof(SourceHeader)
  int32_t pid;           // the sender
  uint32_t name_size;    // the name follows the header, then the URL address
  uint32_t url_size;
  uint32_t has_url;
  uint32_t reserved;
  uint64_t pixel_offset;
  uint64_t pixel_capacity;
};

struct SourceHeader {
  SourceIdentity identity;
  std::atomic<uint64_t> sequence;
  std::atomic<uint32_t> frame_futex;
  std::atomic<uint32_t> error_requests;
  std::atomic<uint32_t> attachments;  // receivers that started following the source, ever
  // Description of the frame in the pixel area, written under the sequence lock.
  uint64_t frame_number;  // 0 until the first frame
  int32_t width;
  int32_t height;
  int32_t stride;
  int32_t frame_rate_n;
  int32_t frame_rate_d;
  int64_t timestamp;  // 100 ns units since the Unix epoch
};

static_assert(std::atomic<uint64_t>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);

// What the finder learns from a source file.
struct Announcement {
  std::string name;
  std::string url_address;
  bool has_url = false;
  int pid = 0;
};

// Reads the announcement of the source file at path; false when it is not a complete source file.
bool read_announcement(const std::string& path, Announcement* out);

// A shared mapping of a whole source file; unmaps on destruction.
class SourceMapping {
 public:
  SourceMapping() = default;
  ~SourceMapping();
  SourceMapping(const SourceMapping&) = delete;
  SourceMapping& operator=(const SourceMapping&) = delete;

  // Maps the file open on fd (read-write). False with *err set on failure or a malformed header.
  bool map(int fd, std::string* err);
  SourceHeader* header() const { return static_cast<SourceHeader*>(base_); }
  uint8_t* pixels() const { return static_cast<uint8_t*>(base_) + header()->identity.pixel_offset; }
  bool mapped() const { return base_ != nullptr; }

 private:
  void* base_ = nullptr;
  size_t size_ = 0;
};

// The description and pixels of one frame as a receiver copied it.
struct FrameCopy {
  uint64_t frame_number = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
  int32_t frame_rate_n = 0;
  int32_t frame_rate_d = 0;
  int64_t timestamp = 0;
};

enum class CopyResult { kCopied, kNoNewFrame, kBusy };

// Copies the newest frame when its number is above last_seen into pixels (resized to fit).
// kBusy: the sender was writing, or overwrote the frame during the copy.
CopyResult copy_newest_frame(const SourceMapping& mapping, uint64_t last_seen, FrameCopy* frame,
                             std::vector<uint8_t>* pixels);

// Wakes every receiver waiting on the futex word.
void wake_receivers(std::atomic<uint32_t>* word);
// Waits until *word differs from expected, at most timeout_ns; returns early on a wake.
void wait_for_change(std::atomic<uint32_t>* word, uint32_t expected, int64_t timeout_ns);

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_SOURCE_FILE_H_
