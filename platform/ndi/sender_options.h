// The command line of ndi_loopback_send.
#ifndef PLATFORM_NDI_SENDER_OPTIONS_H_
#define PLATFORM_NDI_SENDER_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ndi_loopback {

struct SenderOptions {
  std::string name;
  bool has_name = false;
  std::string url;  // empty: the default, "loopback://<pid>"
  bool no_url = false;
  int width = 320;
  int height = 180;
  int32_t frame_rate_n = 30;
  int32_t frame_rate_d = 1;
  uint64_t frames = 0;  // 0: no limit
  bool wait_for_receiver = false;
  uint64_t error_at = 0;       // 0: never
  uint64_t die_mid_frame = 0;  // 0: never
  std::string dir;             // empty: the runtime directory
  std::vector<std::string> images;
};

enum class ParseOutcome { kRun, kHelp, kError };

// Parses argv[1..argc). On kError *err says what is wrong.
ParseOutcome parse_sender_options(int argc, char** argv, SenderOptions* options, std::string* err);

// The --help text.
std::string sender_usage();

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_SENDER_OPTIONS_H_
