// The NDI receive and discovery interface as ndi_bridge uses it, implemented by our loopback layer
// (platform/ndi/). The names, structures, constants and call semantics are the ones a program
// written for the NDI SDK relies on, so the same program source builds against the SDK instead
// (configure with -DNDI_SDK_DIR=<sdk directory>).
//
// Only what the bridge and the loopback sender need is declared here.
#ifndef PLATFORM_NDI_INCLUDE_PROCESSING_NDI_LIB_H_
#define PLATFORM_NDI_INCLUDE_PROCESSING_NDI_LIB_H_

#include <cstdint>

extern "C" {

// ---- Library ----------------------------------------------------------------------------------

// Must succeed before any other call. False means NDI cannot run on this machine.
bool NDIlib_initialize(void);
// Releases what NDIlib_initialize set up.
void NDIlib_destroy(void);

// ---- Sources and discovery ----------------------------------------------------------------------

// One source on the network. Either string may be null.
struct NDIlib_source_t {
  const char* p_ndi_name = nullptr;
  const char* p_url_address = nullptr;
};

struct NDIlib_find_create_t {
  bool show_local_sources = true;
  const char* p_groups = nullptr;
  const char* p_extra_ips = nullptr;
};

struct NDIlib_find_instance_type;
using NDIlib_find_instance_t = NDIlib_find_instance_type*;

// A finder; null settings mean the defaults. Returns null on failure.
NDIlib_find_instance_t NDIlib_find_create_v2(const NDIlib_find_create_t* p_create_settings);
void NDIlib_find_destroy(NDIlib_find_instance_t p_instance);

// Waits up to timeout_in_ms for the set of sources to change; true when it changed.
bool NDIlib_find_wait_for_sources(NDIlib_find_instance_t p_instance, uint32_t timeout_in_ms);

// The sources visible now; *p_no_sources receives their count. The array and its strings belong to
// the finder and stay valid until the next call on it.
const NDIlib_source_t* NDIlib_find_get_current_sources(NDIlib_find_instance_t p_instance,
                                                       uint32_t* p_no_sources);

// ---- Frames -------------------------------------------------------------------------------------

enum NDIlib_frame_type_e {
  NDIlib_frame_type_none = 0,
  NDIlib_frame_type_video = 1,
  NDIlib_frame_type_audio = 2,
  NDIlib_frame_type_metadata = 3,
  NDIlib_frame_type_error = 4,
  NDIlib_frame_type_status_change = 100,
};

#define NDI_LIB_FOURCC(a, b, c, d)                          \
  (static_cast<uint32_t>(static_cast<uint8_t>(a)) |         \
   (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |  \
   (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) | \
   (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24))

enum NDIlib_FourCC_video_type_e : uint32_t {
  NDIlib_FourCC_video_type_BGRA = NDI_LIB_FOURCC('B', 'G', 'R', 'A'),
  NDIlib_FourCC_video_type_BGRX = NDI_LIB_FOURCC('B', 'G', 'R', 'X'),
};

enum NDIlib_frame_format_type_e {
  NDIlib_frame_format_type_progressive = 1,
};

// The timecode value that asks for one to be synthesised.
constexpr int64_t NDIlib_send_timecode_synthesize = INT64_MAX;

// A video frame: xres by yres pixels, rows line_stride_in_bytes apart starting at p_data. With the
// BGRX/BGRA colour format every pixel is 4 bytes: blue, green, red, alpha (or a meaningless byte).
struct NDIlib_video_frame_v2_t {
  int xres = 0;
  int yres = 0;
  NDIlib_FourCC_video_type_e FourCC = NDIlib_FourCC_video_type_BGRX;
  int frame_rate_N = 30000;
  int frame_rate_D = 1001;
  float picture_aspect_ratio = 0.0f;
  NDIlib_frame_format_type_e frame_format_type = NDIlib_frame_format_type_progressive;
  int64_t timecode = NDIlib_send_timecode_synthesize;
  uint8_t* p_data = nullptr;
  int line_stride_in_bytes = 0;
  const char* p_metadata = nullptr;
  int64_t timestamp = 0;
};

// An audio frame (planar 32-bit float). The loopback layer never delivers one.
struct NDIlib_audio_frame_v3_t {
  int sample_rate = 48000;
  int no_channels = 2;
  int no_samples = 0;
  int64_t timecode = NDIlib_send_timecode_synthesize;
  uint32_t FourCC = 0;
  uint8_t* p_data = nullptr;
  int channel_stride_in_bytes = 0;
  const char* p_metadata = nullptr;
  int64_t timestamp = 0;
};

// A metadata frame (XML text). The loopback layer never delivers one.
struct NDIlib_metadata_frame_t {
  int length = 0;
  int64_t timecode = NDIlib_send_timecode_synthesize;
  char* p_data = nullptr;
};

// ---- Receiving ----------------------------------------------------------------------------------

enum NDIlib_recv_color_format_e {
  NDIlib_recv_color_format_BGRX_BGRA = 0,
};

enum NDIlib_recv_bandwidth_e {
  NDIlib_recv_bandwidth_highest = 100,
};

struct NDIlib_recv_create_v3_t {
  NDIlib_source_t source_to_connect_to;
  NDIlib_recv_color_format_e color_format = NDIlib_recv_color_format_BGRX_BGRA;
  NDIlib_recv_bandwidth_e bandwidth = NDIlib_recv_bandwidth_highest;
  bool allow_video_fields = true;
  const char* p_ndi_recv_name = nullptr;
};

struct NDIlib_recv_instance_type;
using NDIlib_recv_instance_t = NDIlib_recv_instance_type*;

// A receiver, connected to source_to_connect_to when that names a source. Null settings or an
// unsupported colour format give null.
NDIlib_recv_instance_t NDIlib_recv_create_v3(const NDIlib_recv_create_v3_t* p_create_settings);
void NDIlib_recv_destroy(NDIlib_recv_instance_t p_instance);

// Switches the receiver to p_src (matched by name, and by URL address when one is given), or
// disconnects it when p_src is null. Takes effect asynchronously; nothing is returned.
void NDIlib_recv_connect(NDIlib_recv_instance_t p_instance, const NDIlib_source_t* p_src);

// Waits up to timeout_in_ms for something to arrive and returns its type. A video frame is the
// newest one the source published since the last capture; it must be released with
// NDIlib_recv_free_video_v2. Any of the frame pointers may be null to skip that kind.
NDIlib_frame_type_e NDIlib_recv_capture_v3(NDIlib_recv_instance_t p_instance,
                                           NDIlib_video_frame_v2_t* p_video_data,
                                           NDIlib_audio_frame_v3_t* p_audio_data,
                                           NDIlib_metadata_frame_t* p_metadata,
                                           uint32_t timeout_in_ms);

void NDIlib_recv_free_video_v2(NDIlib_recv_instance_t p_instance,
                               const NDIlib_video_frame_v2_t* p_video_data);
void NDIlib_recv_free_audio_v3(NDIlib_recv_instance_t p_instance,
                               const NDIlib_audio_frame_v3_t* p_audio_data);
void NDIlib_recv_free_metadata(NDIlib_recv_instance_t p_instance,
                               const NDIlib_metadata_frame_t* p_metadata);

// The number of sources the receiver is connected to now (0 or 1).
int NDIlib_recv_get_no_connections(NDIlib_recv_instance_t p_instance);

}  // extern "C"

#endif  // PLATFORM_NDI_INCLUDE_PROCESSING_NDI_LIB_H_
