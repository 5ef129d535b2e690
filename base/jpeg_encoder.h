// JPEG previews as both bridges publish them: baseline JPEG at quality 75 with libjpeg's defaults
// otherwise (YCbCr, 4:2:0, standard Huffman tables, no optimisation, no restart markers), from
// 8-bit RGB rows. A library error is recovered and returned, never ends the process.
#ifndef BASE_JPEG_ENCODER_H_
#define BASE_JPEG_ENCODER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace base {

// A view of an 8-bit RGB picture: 3 bytes per pixel, row y starting at pixels + y * stride. The
// pixels are only read.
struct RgbView {
  const uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  size_t stride = 0;
};

inline constexpr int kJpegQuality = 75;

// Encodes image into the open file. On a library error (an empty or too large image, a failed
// write) the compressor is destroyed and false is returned; whatever was written so far stays in
// the file, which stays open either way.
bool encode_jpeg(std::FILE* file, const RgbView& image);

// Gives row y (0 at the top) of an RGB picture being encoded: width * 3 bytes that stay valid until
// the next call, so a converter can produce each row into one reused buffer.
using RgbRowSource = std::function<const uint8_t*(int y)>;

// encode_jpeg with the rows produced on demand, top to bottom, each requested once.
bool encode_jpeg_rows(std::FILE* file, int width, int height, const RgbRowSource& rows);

// The temporary sibling of a preview path: ".tmp" goes before the extension of the file name
// ("app/static/srt_preview.jpg" -> "app/static/srt_preview.tmp.jpg"); a file name without a "."
// gets ".tmp" appended to the whole path ("out/preview" and "out.d/preview" -> "... .tmp").
std::string jpeg_temporary_path(const std::string& path);

}  // namespace base

#endif  // BASE_JPEG_ENCODER_H_
