// The NDIlib_* entry points over the loopback finder and receiver.
#include <new>

#include "platform/ndi/fault_injection.h"
#include "platform/ndi/finder.h"
#include "platform/ndi/include/Processing.NDI.Lib.h"
#include "platform/ndi/receiver.h"
#include "platform/ndi/runtime_dir.h"

struct NDIlib_find_instance_type {
  explicit NDIlib_find_instance_type(std::string dir) : finder(std::move(dir)) {}
  ndi_loopback::Finder finder;
};

struct NDIlib_recv_instance_type {
  explicit NDIlib_recv_instance_type(std::string dir) : receiver(std::move(dir)) {}
  ndi_loopback::Receiver receiver;
};

extern "C" {

bool NDIlib_initialize(void) {
  return !ndi_loopback::fault_requested("initialize");
}

void NDIlib_destroy(void) {}

NDIlib_find_instance_t NDIlib_find_create_v2(const NDIlib_find_create_t* /*p_create_settings*/) {
  if (ndi_loopback::fault_requested("find_create")) {
    return nullptr;
  }
  return new (std::nothrow) NDIlib_find_instance_type(ndi_loopback::runtime_dir());
}

void NDIlib_find_destroy(NDIlib_find_instance_t p_instance) {
  delete p_instance;
}

bool NDIlib_find_wait_for_sources(NDIlib_find_instance_t p_instance, uint32_t timeout_in_ms) {
  return p_instance != nullptr && p_instance->finder.wait_for_sources(timeout_in_ms);
}

const NDIlib_source_t* NDIlib_find_get_current_sources(NDIlib_find_instance_t p_instance,
                                                       uint32_t* p_no_sources) {
  if (p_instance == nullptr) {
    if (p_no_sources != nullptr) {
      *p_no_sources = 0;
    }
    return nullptr;
  }
  return p_instance->finder.current_sources(p_no_sources);
}

NDIlib_recv_instance_t NDIlib_recv_create_v3(const NDIlib_recv_create_v3_t* p_create_settings) {
  if (p_create_settings == nullptr ||
      p_create_settings->color_format != NDIlib_recv_color_format_BGRX_BGRA ||
      ndi_loopback::fault_requested("recv_create")) {
    return nullptr;
  }
  auto* instance = new (std::nothrow) NDIlib_recv_instance_type(ndi_loopback::runtime_dir());
  if (instance != nullptr && p_create_settings->source_to_connect_to.p_ndi_name != nullptr) {
    instance->receiver.connect(&p_create_settings->source_to_connect_to);
  }
  return instance;
}

void NDIlib_recv_destroy(NDIlib_recv_instance_t p_instance) {
  delete p_instance;
}

void NDIlib_recv_connect(NDIlib_recv_instance_t p_instance, const NDIlib_source_t* p_src) {
  if (p_instance != nullptr) {
    p_instance->receiver.connect(p_src);
  }
}

NDIlib_frame_type_e NDIlib_recv_capture_v3(NDIlib_recv_instance_t p_instance,
                                           NDIlib_video_frame_v2_t* p_video_data,
                                           NDIlib_audio_frame_v3_t* /*p_audio_data*/,
                                           NDIlib_metadata_frame_t* /*p_metadata*/,
                                           uint32_t timeout_in_ms) {
  if (p_instance == nullptr) {
    return NDIlib_frame_type_error;
  }
  return p_instance->receiver.capture(p_video_data, timeout_in_ms);
}

void NDIlib_recv_free_video_v2(NDIlib_recv_instance_t p_instance,
                               const NDIlib_video_frame_v2_t* p_video_data) {
  if (p_instance != nullptr) {
    p_instance->receiver.free_video(p_video_data);
  }
}

void NDIlib_recv_free_audio_v3(NDIlib_recv_instance_t /*p_instance*/,
                               const NDIlib_audio_frame_v3_t* /*p_audio_data*/) {}

void NDIlib_recv_free_metadata(NDIlib_recv_instance_t /*p_instance*/,
                               const NDIlib_metadata_frame_t* /*p_metadata*/) {}

int NDIlib_recv_get_no_connections(NDIlib_recv_instance_t p_instance) {
  return p_instance == nullptr ? 0 : p_instance->receiver.connections();
}

}  // extern "C"
