#include "bridges/ndi/host_files.h"

#include "bridges/common/text_file.h"
#include "bridges/ndi/publish.h"

namespace ndi_bridge {

std::string DiskHostFiles::read(const std::string& path) {
  return bridges::read_text_file(path);
}

bool DiskHostFiles::replace(const std::string& path, std::string_view contents) {
  return write_text_atomically(path, contents);
}

void DiskHostFiles::publish_preview(const BgrxFrame& frame, uint64_t frame_count,
                                    int64_t receipt_monotonic_ns, int64_t receipt_wall_us) {
  preview_.publish(frame, frame_count, receipt_monotonic_ns, receipt_wall_us);
}

}  // namespace ndi_bridge
