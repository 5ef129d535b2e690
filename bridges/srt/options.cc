#include "bridges/srt/options.h"

#include <climits>
#include <cstdlib>

namespace rivlet {

namespace {

int64_t parse_int64(const std::string& text) {
  return std::strtoll(text.c_str(), nullptr, 10);
}

int parse_int(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > INT_MAX) {
    return INT_MAX;
  }
  if (value < INT_MIN) {
    return INT_MIN;
  }
  return static_cast<int>(value);
}

// Stores value into the option named name; false when name is not an option taking a value.
bool set_option(const std::string& name, const std::string& value, Options* options) {
  if (name == "--port") {
    options->port = parse_int(value);
  } else if (name == "--latency") {
    options->latency_ms = parse_int(value);
  } else if (name == "--key-length") {
    options->key_length = parse_int(value);
  } else if (name == "--stream-id") {
    options->stream_id = value;
  } else if (name == "--secret-fd") {
    options->secret_fd = parse_int(value);
  } else if (name == "--secret-handle") {
    options->secret_handle = parse_int64(value);
  } else if (name == "--preview") {
    options->preview_path = value;
  } else if (name == "--status") {
    options->status_path = value;
  } else if (name == "--zones") {
    options->zones_path = value;
  } else if (name == "--readings") {
    options->readings_path = value;
  } else {
    return false;
  }
  return true;
}

bool key_length_allowed(int key_length) {
  return key_length == 0 || key_length == 16 || key_length == 24 || key_length == 32;
}

}  // namespace

CommandAction parse_command_line(const std::vector<std::string>& args, Options* options) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help") {
      return CommandAction::kHelp;
    }
    if (args[i] == "--self-test") {
      return CommandAction::kSelfTest;
    }
    if (i + 1 >= args.size() || !set_option(args[i], args[i + 1], options)) {
      return CommandAction::kUsageError;
    }
    ++i;
  }
  return CommandAction::kRun;
}

namespace {

// The part after the last '/' or '\\', or the whole path.
std::string_view file_name_of(std::string_view path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

}  // namespace

bool output_name_allowed(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) {
    return false;
  }
  const std::string_view name = file_name_of(path);
  return name != "preview.jpg" && name != "ndi_preview.jpg" && name != "working_preview.jpg" &&
         name != "ndi_status.json";
}

bool readings_name_allowed(std::string_view path) {
  return output_name_allowed(path) && file_name_of(path) != "ndi_readings.json";
}

bool stream_id_allowed(std::string_view stream_id) {
  return stream_id.size() <= kMaxStreamIdBytes && stream_id.find('\0') == std::string_view::npos;
}

std::string validation_error(const Options& options) {
  const bool valid = options.port >= 1 && options.port <= 65535 && options.latency_ms >= 1 &&
                     options.latency_ms <= 8000 && output_name_allowed(options.preview_path) &&
                     output_name_allowed(options.status_path) &&
                     readings_name_allowed(options.readings_path) && !options.zones_path.empty() &&
                     stream_id_allowed(options.stream_id) &&
                     key_length_allowed(options.key_length) && options.secret_fd >= -1 &&
                     options.secret_handle >= -1;
  if (!valid) {
    if (!stream_id_allowed(options.stream_id)) {
      return "Stream ID is too long\n";
    }
    if (!key_length_allowed(options.key_length)) {
      return "Unsupported SRT key length\n";
    }
    return kUsageText;
  }
  if (options.secret_handle > 0) {
    return "Can't read this source\n";
  }
  return std::string();
}

int effective_key_length(const Options& options) {
  return options.key_length == 0 ? 32 : options.key_length;
}

}  // namespace rivlet
