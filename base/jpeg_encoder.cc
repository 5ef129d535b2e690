#include "base/jpeg_encoder.h"

// jpeglib.h needs size_t and FILE declared first.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace base {

namespace {

// Everything from jpeg_CreateCompress to jpeg_finish_compress. Only trivially destructible locals:
// a library error may longjmp out of here.
void compress(jpeg_compress_struct* cinfo, std::FILE* file, int width, int height,
              const RgbRowSource& rows) {
  jpeg_create_compress(cinfo);
  jpeg_stdio_dest(cinfo, file);
  cinfo->image_width = width > 0 ? static_cast<JDIMENSION>(width) : 0;
  cinfo->image_height = height > 0 ? static_cast<JDIMENSION>(height) : 0;
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, kJpegQuality, TRUE);
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    // libjpeg takes non-const rows but only reads them.
    JSAMPROW row = const_cast<JSAMPROW>(rows(static_cast<int>(cinfo->next_scanline)));
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
}

// error_exit replacement: jumps back to the recovery point whose jmp_buf is the client data.
[[noreturn]] void jpeg_longjmp(j_common_ptr cinfo) {
  std::longjmp(*static_cast<std::jmp_buf*>(cinfo->client_data), 1);
}

}  // namespace

bool encode_jpeg(std::FILE* file, const RgbView& image) {
  return encode_jpeg_rows(file, image.width, image.height, [&image](int y) {
    return image.pixels + static_cast<size_t>(y) * image.stride;
  });
}

bool encode_jpeg_rows(std::FILE* file, int width, int height, const RgbRowSource& rows) {
  // Trivially destructible locals only, as setjmp requires.
  jpeg_compress_struct cinfo;
  jpeg_error_mgr error_manager;
  std::jmp_buf recovery;
  cinfo.err = jpeg_std_error(&error_manager);
  error_manager.error_exit = jpeg_longjmp;
  cinfo.client_data = &recovery;
  if (setjmp(recovery) != 0) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  compress(&cinfo, file, width, height, rows);
  jpeg_destroy_compress(&cinfo);
  return true;
}

std::string jpeg_temporary_path(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
    return path.substr(0, dot) + ".tmp" + path.substr(dot);
  }
  return path + ".tmp";
}

}  // namespace base
