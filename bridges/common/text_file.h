// Reading the small text files the host writes for a bridge.
#ifndef BRIDGES_COMMON_TEXT_FILE_H_
#define BRIDGES_COMMON_TEXT_FILE_H_

#include <string>

namespace bridges {

// Every byte of the file, untrimmed and undecoded (a trailing newline is kept). A file that cannot
// be opened reads as an empty string, the same as an empty file.
std::string read_text_file(const std::string& path);

}  // namespace bridges

#endif  // BRIDGES_COMMON_TEXT_FILE_H_
