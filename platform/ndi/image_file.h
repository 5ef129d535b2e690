// Still images for the loopback sender, loaded as BGRX.
#ifndef PLATFORM_NDI_IMAGE_FILE_H_
#define PLATFORM_NDI_IMAGE_FILE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ndi_loopback {

struct BgrxImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // rows of width * 4 bytes: blue, green, red, 255
};

// Loads a binary PPM (P6, maxval 255) or a JPEG file. False with *err set when the file cannot be
// read or is neither.
bool load_image(const std::string& path, BgrxImage* image, std::string* err);

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_IMAGE_FILE_H_
