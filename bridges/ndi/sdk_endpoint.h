// NdiEndpoint over the NDI SDK (or its loopback stand-in): a finder and a receiver that the
// caller owns.
#ifndef BRIDGES_NDI_SDK_ENDPOINT_H_
#define BRIDGES_NDI_SDK_ENDPOINT_H_

#include <Processing.NDI.Lib.h>

#include "bridges/ndi/endpoint.h"

namespace ndi_bridge {

class SdkEndpoint : public NdiEndpoint {
 public:
  // Uses (does not own) the finder and the receiver, which must outlive this object.
  SdkEndpoint(NDIlib_find_instance_t finder, NDIlib_recv_instance_t receiver)
      : finder_(finder), receiver_(receiver) {}
  ~SdkEndpoint() override { release_video(); }
  SdkEndpoint(const SdkEndpoint&) = delete;
  SdkEndpoint& operator=(const SdkEndpoint&) = delete;

  std::vector<SourceInfo> find_sources(uint32_t wait_ms) override;
  void connect(const SourceInfo* source) override;
  CaptureKind capture(uint32_t timeout_ms, VideoFrame* video) override;
  void release_video() override;
  int connections() override;

 private:
  NDIlib_find_instance_t finder_;
  NDIlib_recv_instance_t receiver_;
  NDIlib_video_frame_v2_t video_;
  bool holding_video_ = false;
};

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_SDK_ENDPOINT_H_
