#include "platform/ndi/image_file.h"

#include <jpeglib.h>

#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace ndi_loopback {

namespace {

constexpr int kMaxSide = 16384;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reads the next decimal number of a PPM header, skipping blanks and comments.
bool read_ppm_number(std::FILE* file, int* value) {
  int c = std::fgetc(file);
  while (c == '#' || std::isspace(c)) {
    if (c == '#') {
      while (c != '\n' && c != EOF) {
        c = std::fgetc(file);
      }
    }
    c = std::fgetc(file);
  }
  long number = 0;
  bool any = false;
  while (c != EOF && std::isdigit(c) && number <= kMaxSide) {
    number = number * 10 + (c - '0');
    any = true;
    c = std::fgetc(file);
  }
  *value = static_cast<int>(number);
  return any && number <= kMaxSide && std::isspace(c);  // one blank ends the number
}

bool load_ppm(std::FILE* file, BgrxImage* image, std::string* err) {
  int maxval = 0;
  if (!read_ppm_number(file, &image->width) || !read_ppm_number(file, &image->height) ||
      !read_ppm_number(file, &maxval) || image->width == 0 || image->height == 0 || maxval != 255) {
    *err = "unsupported PPM header (P6, maxval 255 expected)";
    return false;
  }
  size_t count = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
  std::vector<uint8_t> rgb(count * 3);
  if (std::fread(rgb.data(), 1, rgb.size(), file) != rgb.size()) {
    *err = "truncated PPM data";
    return false;
  }
  image->pixels.resize(count * 4);
  for (size_t i = 0; i < count; ++i) {
    image->pixels[i * 4] = rgb[i * 3 + 2];
    image->pixels[i * 4 + 1] = rgb[i * 3 + 1];
    image->pixels[i * 4 + 2] = rgb[i * 3];
    image->pixels[i * 4 + 3] = 255;
  }
  return true;
}

struct JpegErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void trap_jpeg_error(j_common_ptr info) {
  auto* trap = reinterpret_cast<JpegErrorTrap*>(info->err);
  (*info->err->format_message)(info, trap->message);
  std::longjmp(trap->jump, 1);
}

// The libjpeg island: only trivially destructible locals live here.
bool load_jpeg(std::FILE* file, BgrxImage* image, std::string* err) {
  jpeg_decompress_struct info;
  JpegErrorTrap trap;
  info.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = trap_jpeg_error;
  if (setjmp(trap.jump) != 0) {
    jpeg_destroy_decompress(&info);
    *err = trap.message;
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  if (info.image_width > kMaxSide || info.image_height > kMaxSide) {
    jpeg_destroy_decompress(&info);
    *err = "image larger than 16384 pixels a side";
    return false;
  }
  info.out_color_space = JCS_EXT_BGRX;
  jpeg_start_decompress(&info);
  image->width = static_cast<int>(info.output_width);
  image->height = static_cast<int>(info.output_height);
  image->pixels.resize(static_cast<size_t>(image->width) * image->height * 4);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row =
        image->pixels.data() + static_cast<size_t>(info.output_scanline) * image->width * 4;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

bool load_image(const std::string& path, BgrxImage* image, std::string* err) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *err = path + ": " + std::strerror(errno);
    return false;
  }
  unsigned char magic[2] = {0, 0};
  if (std::fread(magic, 1, 2, file.get()) != 2) {
    *err = path + ": not a PPM or JPEG file";
    return false;
  }
  bool ok = false;
  if (magic[0] == 'P' && magic[1] == '6') {
    ok = load_ppm(file.get(), image, err);
  } else if (magic[0] == 0xFF && magic[1] == 0xD8) {
    std::rewind(file.get());
    ok = load_jpeg(file.get(), image, err);
  } else {
    *err = "not a PPM (P6) or JPEG file";
  }
  if (!ok) {
    *err = path + ": " + *err;
  }
  return ok;
}

}  // namespace ndi_loopback
