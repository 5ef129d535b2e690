#include "bridges/ndi/sdk_endpoint.h"

namespace ndi_bridge {

std::vector<SourceInfo> SdkEndpoint::find_sources(uint32_t wait_ms) {
  NDIlib_find_wait_for_sources(finder_, wait_ms);
  uint32_t count = 0;
  const NDIlib_source_t* found = NDIlib_find_get_current_sources(finder_, &count);
  std::vector<SourceInfo> sources;
  for (uint32_t i = 0; found != nullptr && i < count; ++i) {
    if (found[i].p_ndi_name != nullptr) {
      const char* url = found[i].p_url_address;
      sources.push_back(SourceInfo{found[i].p_ndi_name, url == nullptr ? "" : url});
    }
  }
  return sources;
}

void SdkEndpoint::connect(const SourceInfo* source) {
  if (source == nullptr) {
    NDIlib_recv_connect(receiver_, nullptr);
    return;
  }
  NDIlib_source_t target;
  target.p_ndi_name = source->name.c_str();
  target.p_url_address = source->url_address.empty() ? nullptr : source->url_address.c_str();
  NDIlib_recv_connect(receiver_, &target);
}

CaptureKind SdkEndpoint::capture(uint32_t timeout_ms, VideoFrame* video) {
  release_video();
  video_ = NDIlib_video_frame_v2_t();  // each capture starts from the SDK's defaults
  NDIlib_audio_frame_v3_t audio;
  NDIlib_metadata_frame_t metadata;
  switch (NDIlib_recv_capture_v3(receiver_, &video_, &audio, &metadata, timeout_ms)) {
    case NDIlib_frame_type_none:
      return CaptureKind::kNone;
    case NDIlib_frame_type_video:
      holding_video_ = true;
      video->picture =
          BgrxFrame{video_.p_data, video_.xres, video_.yres, video_.line_stride_in_bytes};
      video->frame_rate_n = video_.frame_rate_N;
      video->frame_rate_d = video_.frame_rate_D;
      video->timestamp = video_.timestamp;
      return CaptureKind::kVideo;
    case NDIlib_frame_type_audio:
      NDIlib_recv_free_audio_v3(receiver_, &audio);
      return CaptureKind::kAudio;
    case NDIlib_frame_type_metadata:
      NDIlib_recv_free_metadata(receiver_, &metadata);
      return CaptureKind::kMetadata;
    case NDIlib_frame_type_error:
      return CaptureKind::kError;
    default:
      return CaptureKind::kOther;
  }
}

void SdkEndpoint::release_video() {
  if (holding_video_) {
    NDIlib_recv_free_video_v2(receiver_, &video_);
    holding_video_ = false;
  }
}

int SdkEndpoint::connections() {
  return NDIlib_recv_get_no_connections(receiver_);
}

}  // namespace ndi_bridge
