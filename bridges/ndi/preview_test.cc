#include "bridges/ndi/preview.h"

#include <gtest/gtest.h>

#include <vector>

namespace ndi_bridge {
namespace {

TEST(BgrxRowToRgbTest, SwapsRedAndBlueAndDropsTheFourthByte) {
  const std::vector<uint8_t> bgrx = {1, 2, 3, 4, 250, 128, 0, 255, 9, 9, 9, 9};
  std::vector<uint8_t> rgb(3 * 3 + 1, 0xEE);
  bgrx_row_to_rgb(bgrx.data(), 2, rgb.data());  // the third pixel is not part of the row
  EXPECT_EQ(rgb, (std::vector<uint8_t>{3, 2, 1, 0, 128, 250, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(LatencyDocumentTest, MembersInOrder) {
  LatencyRecord record;
  record.frame_count = 12;
  record.captured_unix_ns = 1765000000123456000;
  record.published_unix_ns = 1765000000135790000;
  record.capture_to_publish_ms = 12.334;
  record.jpeg_mtime_ns = 1765000000135000123;
  record.jpeg_size = 48213;
  EXPECT_EQ(latency_document(record),
            "{\n"
            "  \"version\": 1,\n"
            "  \"frame_id\": \"12-1765000000135790000\",\n"
            "  \"captured_unix_ns\": 1765000000123456000,\n"
            "  \"published_unix_ns\": 1765000000135790000,\n"
            "  \"capture_to_publish_ms\": 12.334,\n"
            "  \"jpeg_mtime_ns\": 1765000000135000123,\n"
            "  \"jpeg_size\": 48213\n"
            "}\n");
}

}  // namespace
}  // namespace ndi_bridge
