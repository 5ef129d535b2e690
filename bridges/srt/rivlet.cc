#include "bridges/srt/rivlet.h"

#include <cstdio>
#include <utility>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include "base/run_flag.h"
#include "bridges/srt/listener.h"
#include "bridges/srt/log_filter.h"
#include "bridges/srt/options.h"
#include "bridges/srt/run_control.h"
#include "bridges/srt/secret.h"
#include "bridges/srt/self_test.h"

namespace rivlet {

namespace {

int reject(const char* message) {
  std::fputs(message, stderr);
  return kExitRejected;
}

// Reads the passphrase when a descriptor was given and makes it the process-wide secret. Returns
// 0 or the exit status of a rejection.
int take_passphrase(const Options& options) {
  SecretBuffer passphrase;
  if (options.secret_fd >= 0) {
    switch (read_passphrase(options.secret_fd, &passphrase)) {
      case PassphraseResult::kOk:
        break;
      case PassphraseResult::kUnreadable:
        return reject("Can't read this source\n");
      case PassphraseResult::kInvalidLength:
        return reject("Invalid passphrase length\n");
    }
  }
  const int key_length = effective_key_length(options);
  if (!passphrase.empty() && key_length != 16 && key_length != 24 && key_length != 32) {
    return reject("Unsupported SRT key length\n");  // passphrase wipes itself
  }
  set_redacted_secret(std::move(passphrase));
  return 0;
}

}  // namespace

int run_rivlet(const std::vector<std::string>& args, DecoderPlatform& platform) {
  Options options;
  switch (parse_command_line(args, &options)) {
    case CommandAction::kHelp:
      std::fputs(kUsageText, stderr);
      return 0;
    case CommandAction::kSelfTest:
      return self_test();
    case CommandAction::kUsageError:
      return reject(kUsageText);
    case CommandAction::kRun:
      break;
  }
  const std::string invalid = validation_error(options);
  if (!invalid.empty()) {
    return reject(invalid.c_str());
  }
  if (const int rejected = take_passphrase(options); rejected != 0) {
    return rejected;
  }
  base::install_stop_signals();
  av_max_alloc(kMaxAllocationBytes);
  install_log_filters();
  avformat_network_init();
  Listener(options, platform).run();
  return kExitStopped;
}

}  // namespace rivlet
