// JPEG previews as both bridges publish them: baseline JPEG at quality 75 with libjpeg's defaults
// otherwise (YCbCr, 4:2:0, standard Huffman tables, no optimisation, no restart markers), from
// 8-bit RGB rows.
#ifndef BRIDGES_COMMON_JPEG_WRITER_H_
#define BRIDGES_COMMON_JPEG_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace bridges {

// A view of an 8-bit RGB picture: 3 bytes per pixel, row y starting at pixels + y * stride. The
// pixels are only read.
struct RgbView {
  const uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  size_t stride = 0;
};

inline constexpr int kJpegQuality = 75;

// Encodes image into the open file with libjpeg's standard error handling: a library error (an
// empty image, a failed write) ends the process through libjpeg's own exit. The file stays open.
void encode_jpeg_or_exit(std::FILE* file, const RgbView& image);

// The same encoding, but a library error is recovered: the compressor is destroyed and false is
// returned (whatever was written so far stays in the file, which stays open).
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

// rivlet's preview publisher: encodes with recovery into jpeg_temporary_path(path), flushes,
// fsyncs, closes, and renames it over path. False, silently, on any failure, with the temporary
// file deleted and the published preview untouched.
bool write_jpeg_atomic(const std::string& path, const uint8_t* rgb, int width, int height,
                       size_t stride);

// ndi_bridge's preview replace, in two steps so that the latency document can describe the
// temporary file in between.
inline constexpr char kNdiPreviewPath[] = "app/static/ndi_preview.jpg";
inline constexpr char kNdiPreviewTemporaryPath[] = "app/static/ndi_preview.tmp.jpg";

// Step 1: creates temporary afresh (create_temporary_file) and encodes image into it with the
// standard error handling, then closes it (no flush or fsync of its own). False, silently, when the
// file cannot be opened.
bool write_ndi_preview_temporary(const RgbView& image,
                                 const std::string& temporary = kNdiPreviewTemporaryPath);

// Step 2: renames temporary over path. On failure writes "Impossible de remplacer <path>: <error>"
// to standard error, leaves the temporary file in place and returns false.
bool publish_ndi_preview(const std::string& temporary = kNdiPreviewTemporaryPath,
                         const std::string& path = kNdiPreviewPath);

}  // namespace bridges

#endif  // BRIDGES_COMMON_JPEG_WRITER_H_
