#include "bridges/common/jpeg_writer.h"

// jpeglib.h needs size_t and FILE declared first.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <cerrno>
#include <cstring>

#include "bridges/common/atomic_file.h"

namespace bridges {

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

// The rows of a picture view.
RgbRowSource view_rows(const RgbView& image) {
  return [&image](int y) { return image.pixels + static_cast<size_t>(y) * image.stride; };
}

}  // namespace

void encode_jpeg_or_exit(std::FILE* file, const RgbView& image) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr error_manager;
  cinfo.err = jpeg_std_error(&error_manager);
  compress(&cinfo, file, image.width, image.height, view_rows(image));
  jpeg_destroy_compress(&cinfo);
}

bool encode_jpeg(std::FILE* file, const RgbView& image) {
  return encode_jpeg_rows(file, image.width, image.height, view_rows(image));
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

bool write_jpeg_atomic(const std::string& path, const uint8_t* rgb, int width, int height,
                       size_t stride) {
  const std::string temporary = jpeg_temporary_path(path);
  std::FILE* file = create_temporary_file(temporary);
  if (file == nullptr) {
    return false;
  }
  if (!encode_jpeg(file, RgbView{rgb, width, height, stride})) {
    std::fclose(file);
    std::remove(temporary.c_str());
    return false;
  }
  if (!sync_and_close(file)) {
    std::remove(temporary.c_str());
    return false;
  }
  return rename_or_discard(temporary, path);
}

bool write_ndi_preview_temporary(const RgbView& image, const std::string& temporary) {
  std::FILE* file = create_temporary_file(temporary);
  if (file == nullptr) {
    return false;
  }
  encode_jpeg_or_exit(file, image);
  std::fclose(file);
  return true;
}

bool publish_ndi_preview(const std::string& temporary, const std::string& path) {
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "Impossible de remplacer %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace bridges
