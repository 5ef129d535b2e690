// Where a bridge's progress lines go. Abstract so that a loop's tests collect the lines instead of
// capturing standard output; StdoutLog is the programs' own.
#ifndef BRIDGES_COMMON_BRIDGE_LOG_H_
#define BRIDGES_COMMON_BRIDGE_LOG_H_

#include <string_view>

namespace bridges {

class BridgeLog {
 public:
  virtual ~BridgeLog() = default;

  // Text as printed, its end of line included.
  virtual void write(std::string_view text) = 0;

  // printf into write(), however long the text.
  void say(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// Standard output, flushed after each write so that a host reading a pipe sees each line as it
// comes. A failed write is lost, never reported.
class StdoutLog : public BridgeLog {
 public:
  void write(std::string_view text) override;
};

// The process's one StdoutLog.
BridgeLog& standard_output_log();

}  // namespace bridges

#endif  // BRIDGES_COMMON_BRIDGE_LOG_H_
