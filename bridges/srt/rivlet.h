// rivlet as a whole: command line, passphrase intake, library setup and the listener.
#ifndef BRIDGES_SRT_RIVLET_H_
#define BRIDGES_SRT_RIVLET_H_

#include <string>
#include <vector>

#include "bridges/srt/decoder.h"

namespace rivlet {

inline constexpr int kExitStopped = 0;
inline constexpr int kExitRejected = 2;
inline constexpr size_t kMaxAllocationBytes = 100663296;  // 96 MiB per FFmpeg allocation

// Runs rivlet with args (without the program name) and returns its exit status: 0 after a stop
// and for --help, 2 for a rejected command line or passphrase, the self-test result for
// --self-test. Rejections happen before any status document is written.
int run_rivlet(const std::vector<std::string>& args,
               DecoderPlatform& platform = system_decoder_platform());

}  // namespace rivlet

#endif  // BRIDGES_SRT_RIVLET_H_
