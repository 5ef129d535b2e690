// rivlet's command line: the options with their defaults, scanning and validation.
#ifndef BRIDGES_SRT_OPTIONS_H_
#define BRIDGES_SRT_OPTIONS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rivlet {

inline constexpr char kUsageText[] =
    "usage: rivlet [--port 9000] [--latency 120]\n"
    "                  [--key-length 32] [--stream-id TEXT]\n"
    "                  [--secret-fd N] [--secret-handle N]\n"
    "                  [--preview app/static/srt_preview.jpg]\n"
    "                  [--status app/static/srt_status.json]\n"
    "                  [--zones app/static/srt_zones.json]\n"
    "                  [--readings app/static/srt_readings.json]\n"
    "Listens on IPv4 0.0.0.0 for one SRT caller.\n"
    "While the zones file holds zones, every zone of every decoded frame is read and the\n"
    "readings document is replaced after each frame read.\n"
    "A passphrase is read from --secret-fd, never from the command line.\n";

inline constexpr size_t kMaxStreamIdBytes = 512;

struct Options {
  int port = 9000;
  int latency_ms = 120;
  int key_length = 0;  // 0: 32 when a passphrase is given
  std::string stream_id;
  int secret_fd = -1;
  int64_t secret_handle = -1;
  std::string preview_path = "app/static/srt_preview.jpg";
  std::string status_path = "app/static/srt_status.json";
  std::string zones_path = "app/static/srt_zones.json";        // read, never written
  std::string readings_path = "app/static/srt_readings.json";  // output_name_allowed too
};

enum class CommandAction {
  kRun,
  kHelp,        // "--help" met: print the usage text, exit 0
  kSelfTest,    // "--self-test" met: run the self-test, exit with its result
  kUsageError,  // unknown argument or missing value: print the usage text, exit 2
};

// Scans args (without the program name) left to right into options. "--help" and "--self-test"
// act as soon as they are met, whatever follows. Numbers are read as atoi would (a leading decimal
// number, anything else 0); values beyond the int range are clamped so they stay out of bounds.
CommandAction parse_command_line(const std::vector<std::string>& args, Options* options);

// False for an empty path, a path holding a NUL byte, or one whose file name (after the last '/'
// or '\\') is a name another publisher writes under: preview.jpg, ndi_preview.jpg,
// working_preview.jpg, ndi_status.json (compared exactly, so letter case matters).
bool output_name_allowed(std::string_view path);

// output_name_allowed, and not ndi_bridge's readings document ndi_readings.json.
bool readings_name_allowed(std::string_view path);

// At most 512 bytes and no NUL byte.
bool stream_id_allowed(std::string_view stream_id);

// The message for a configuration that must be refused with exit status 2, or an empty string when
// it is valid: "Stream ID is too long\n", else "Unsupported SRT key length\n", else the usage text
// for any other bad value; then "Can't read this source\n" for a secret handle above 0.
std::string validation_error(const Options& options);

// The key length passed on with a passphrase: the option, or 32 when it is 0.
int effective_key_length(const Options& options);

}  // namespace rivlet

#endif  // BRIDGES_SRT_OPTIONS_H_
