#include "platform/ndi/sender_options.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace ndi_loopback {

namespace {

constexpr int kMaxSide = 16384;

template <typename T>
bool parse_number(std::string_view text, T min, T max, T* out) {
  T value{};
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    return false;
  }
  *out = value;
  return true;
}

// "WxH"
bool parse_size(std::string_view text, int* width, int* height) {
  size_t x = text.find('x');
  return x != std::string_view::npos && parse_number(text.substr(0, x), 1, kMaxSide, width) &&
         parse_number(text.substr(x + 1), 1, kMaxSide, height);
}

// "N" or "N/D"
bool parse_rate(std::string_view text, int32_t* numerator, int32_t* denominator) {
  size_t slash = text.find('/');
  *denominator = 1;
  if (slash != std::string_view::npos &&
      !parse_number<int32_t>(text.substr(slash + 1), 1, 1000000, denominator)) {
    return false;
  }
  return parse_number<int32_t>(text.substr(0, slash), 1, 1000000, numerator) &&
         static_cast<int64_t>(*numerator) <= int64_t{1000} * *denominator;
}

// Applies one option that takes a value; false when the value is malformed.
bool apply_valued(std::string_view option, std::string_view value, SenderOptions* o) {
  const uint64_t kMaxCount = UINT64_MAX / 2;
  if (option == "--name") {
    o->name = value;
    o->has_name = true;
    return true;
  }
  if (option == "--url") {
    o->url = value;
    return !value.empty();
  }
  if (option == "--dir") {
    o->dir = value;
    return !value.empty();
  }
  if (option == "--size") {
    return parse_size(value, &o->width, &o->height);
  }
  if (option == "--fps") {
    return parse_rate(value, &o->frame_rate_n, &o->frame_rate_d);
  }
  if (option == "--frames") {
    return parse_number<uint64_t>(value, 1, kMaxCount, &o->frames);
  }
  if (option == "--error-at") {
    return parse_number<uint64_t>(value, 1, kMaxCount, &o->error_at);
  }
  return parse_number<uint64_t>(value, 1, kMaxCount, &o->die_mid_frame);  // --die-mid-frame
}

bool takes_value(std::string_view option) {
  for (const char* known : {"--name", "--url", "--dir", "--size", "--fps", "--frames", "--error-at",
                            "--die-mid-frame"}) {
    if (option == known) {
      return true;
    }
  }
  return false;
}

}  // namespace

ParseOutcome parse_sender_options(int argc, char** argv, SenderOptions* options, std::string* err) {
  bool only_images = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (only_images || arg.empty() || arg[0] != '-') {
      options->images.emplace_back(arg);
    } else if (arg == "--") {
      only_images = true;
    } else if (arg == "-h" || arg == "--help") {
      return ParseOutcome::kHelp;
    } else if (arg == "--no-url") {
      options->no_url = true;
    } else if (arg == "--wait-for-receiver") {
      options->wait_for_receiver = true;
    } else if (!takes_value(arg)) {
      *err = "unknown option " + std::string(arg);
      return ParseOutcome::kError;
    } else if (i + 1 >= argc) {
      *err = std::string(arg) + " needs a value";
      return ParseOutcome::kError;
    } else if (!apply_valued(arg, argv[++i], options)) {
      *err = "bad value for " + std::string(arg) + ": " + argv[i];
      return ParseOutcome::kError;
    }
  }
  if (!options->has_name) {
    *err = "--name is required";
    return ParseOutcome::kError;
  }
  if (options->no_url && !options->url.empty()) {
    *err = "--url and --no-url exclude each other";
    return ParseOutcome::kError;
  }
  return ParseOutcome::kRun;
}

std::string sender_usage() {
  return R"(Usage: ndi_loopback_send --name NAME [options] [IMAGE...]

Announces one NDI source on this machine's loopback NDI layer and publishes BGRX video frames
to it until SIGINT or SIGTERM: a moving test pattern, or the IMAGE files (binary PPM "P6" or
JPEG) shown one per frame in turn (a single image gives a still picture).

Options:
  --name NAME          the source name (required; any bytes, at most 65536)
  --url URL            the URL address announced with it (default: loopback://<pid>)
  --no-url             announce the source without a URL address
  --size WxH           test pattern size in pixels (default 320x180)
  --fps N[/D]          frame rate, e.g. 30, 60 or 30000/1001 (default 30)
  --frames N           publish N frames, then stay announced without video until stopped
  --wait-for-receiver  publish the first frame only once a receiver follows the source
  --error-at N         after frame N, send every connected receiver an error frame
                       (SIGUSR1 does the same at any time)
  --die-mid-frame N    die (SIGKILL) half way through writing frame N, for tests
  --dir DIR            the loopback directory (default: $NDI_LOOPBACK_DIR, else
                       $XDG_RUNTIME_DIR/ndi-loopback, else /dev/shm/ndi-loopback-<uid>)
  -h, --help           show this help

Once announced it prints "announced <file>" on standard output.
Exit status: 0 when stopped by a signal, 1 when the source cannot be announced or an image
cannot be read, 2 for a bad command line.
)";
}

}  // namespace ndi_loopback
