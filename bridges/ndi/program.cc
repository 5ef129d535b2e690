#include "bridges/ndi/program.h"

#include <Processing.NDI.Lib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/clock.h"
#include "bridges/common/bridge_log.h"
#include "bridges/ndi/bridge.h"
#include "bridges/ndi/sdk_endpoint.h"

namespace ndi_bridge {

namespace {

bool latency_requested() {
  const char* value = std::getenv("GLOMARK_DEV_LATENCY");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

// Owns an SDK instance. Only the handle type is used: the SDK may define it as an opaque pointer
// of any kind.
template <typename Handle, void (*kDestroy)(Handle)>
class NdiInstance {
 public:
  explicit NdiInstance(Handle handle) : handle_(handle) {}
  ~NdiInstance() { reset(); }
  NdiInstance(const NdiInstance&) = delete;
  NdiInstance& operator=(const NdiInstance&) = delete;
  Handle get() const { return handle_; }
  void reset() {
    if (handle_ != nullptr) {
      kDestroy(handle_);
      handle_ = nullptr;
    }
  }

 private:
  Handle handle_;
};

using FinderInstance = NdiInstance<NDIlib_find_instance_t, NDIlib_find_destroy>;
using ReceiverInstance = NdiInstance<NDIlib_recv_instance_t, NDIlib_recv_destroy>;

NDIlib_recv_instance_t create_receiver() {
  NDIlib_recv_create_v3_t settings;
  settings.source_to_connect_to = NDIlib_source_t();
  settings.color_format = NDIlib_recv_color_format_BGRX_BGRA;
  settings.bandwidth = NDIlib_recv_bandwidth_highest;
  settings.allow_video_fields = false;
  settings.p_ndi_recv_name = "Plintor";
  return NDIlib_recv_create_v3(&settings);
}

// Everything between NDIlib_initialize and NDIlib_destroy.
// The reading thread's files and its messages, in French as every line of the bridge.
readings::ReadingsOutput readings_output() {
  readings::ReadingsOutput output{kZonesPath, kReadingsPath, readings::DocumentStyle::kNdiBridge,
                                  nullptr, nullptr};
  output.zones_refused = [](const std::string& why) {
    std::fprintf(stderr, "Zones refusées dans %s, les dernières zones valables restent: %s\n",
                 kZonesPath, why.c_str());
  };
  return output;
}

int run_initialized(const volatile std::sig_atomic_t* keep_running) {
  FinderInstance finder(NDIlib_find_create_v2(nullptr));
  if (finder.get() == nullptr) {
    std::fputs("Impossible de créer NDI Finder.\n", stderr);
    return kExitNdiSetupFailed;
  }
  ReceiverInstance receiver(create_receiver());
  if (receiver.get() == nullptr) {
    std::fputs("Impossible de créer receiver.\n", stderr);
    return kExitNdiSetupFailed;
  }
  bridges::standard_output_log().say("%s\n", "Plintor NDI receiver actif.");
  bridges::standard_output_log().say("Receiver créé: %p\n", static_cast<void*>(receiver.get()));
  bridges::standard_output_log().say("Sélection pilotée par %s\n", kSelectionPath);
  {
    SdkEndpoint endpoint(finder.get(), receiver.get());
    readings::ReadingThread readings(readings_output(), base::system_clock());
    DiskHostFiles files(latency_requested(), base::system_clock());
    Bridge bridge(endpoint, base::system_clock(), files, bridges::standard_output_log(), &readings);
    bridge.run(keep_running);
  }
  receiver.reset();
  finder.reset();
  return kExitOk;
}

}  // namespace

int run_ndi_bridge(const volatile std::sig_atomic_t* keep_running) {
  if (!NDIlib_initialize()) {
    std::fputs("Impossible d'initialiser NDI.\n", stderr);
    return kExitNdiSetupFailed;
  }
  int status = run_initialized(keep_running);
  NDIlib_destroy();
  if (status == kExitOk) {
    bridges::standard_output_log().say("%s\n", "\nPlintor NDI receiver arrêté.");
  }
  return status;
}

}  // namespace ndi_bridge
