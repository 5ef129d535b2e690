#include "native_ocr/zonescan/separator/separator_energy.h"

#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan {
namespace {

// Maps whose combined energy is 1.0 on the given rows of every column.
EnergyMaps band_maps(int h, int w, std::initializer_list<std::pair<int, int>> bands) {
  EnergyMaps m{cv::Mat::zeros(h, w, CV_32FC1), cv::Mat::zeros(h, w, CV_32FC1),
               cv::Mat::zeros(h, w, CV_32FC1)};
  for (auto [top, bottom] : bands) {
    m.binary.rowRange(top, bottom + 1).setTo(1.0f);
    m.gray_energy.rowRange(top, bottom + 1).setTo(1.0f);
    m.combined.rowRange(top, bottom + 1).setTo(1.0f);
  }
  return m;
}

SeparatorGroups groups_of(const EnergyMaps& m) {
  return separator_groups(m.binary, m.gray_energy, m.combined);
}

TEST(SeparatorEnergyMap, MapsAreSinglePrecisionAndCombined) {
  cv::Mat window(40, 8, CV_8UC3, cv::Scalar(10, 10, 10));
  cv::circle(window, {4, 12}, 3, cv::Scalar(255, 255, 255), cv::FILLED);
  EnergyMaps m = separator_energy_map(window);
  ASSERT_EQ(m.combined.type(), CV_32FC1);
  EXPECT_EQ(m.binary.at<float>(12, 4), 1.0f);
  EXPECT_EQ(m.gray_energy.at<float>(12, 4), 1.0f);
  EXPECT_EQ(m.combined.at<float>(30, 4), 0.0f);
  EXPECT_EQ(m.combined.at<float>(12, 4), 1.0f);
}

TEST(SeparatorGroups, SmoothingWidensBandsByHalfTheKernel) {
  // Height 100: 5-tap average, so a lit row reaches two rows beyond the band at 1/5 of the peak.
  SeparatorGroups g = groups_of(band_maps(100, 10, {{30, 39}, {60, 69}}));
  ASSERT_EQ(g.groups.size(), 2u);
  EXPECT_EQ(g.groups[0].y_min, 28);
  EXPECT_EQ(g.groups[0].y_max, 41);
  EXPECT_EQ(g.groups[0].height, 14);
  EXPECT_DOUBLE_EQ(g.groups[0].center_y, 34.5);
  EXPECT_DOUBLE_EQ(g.groups[0].center_x, 4.5);
  EXPECT_DOUBLE_EQ(g.groups[0].energy, 100.0);
  EXPECT_DOUBLE_EQ(g.groups[0].width, 10.0);  // columns 0 .. 9
  EXPECT_DOUBLE_EQ(g.groups[0].energy_fraction, 0.5);
  EXPECT_DOUBLE_EQ(g.groups[0].reliability, 1.0);
  EXPECT_DOUBLE_EQ(g.groups[1].y_normalized, 0.645);
}

TEST(SeparatorGroups, MergesAcrossSmallGaps) {
  // Height 100 merges gaps of up to 4 blank rows (100 * 0.035 rounds to 4).
  EXPECT_EQ(groups_of(band_maps(100, 6, {{30, 34}, {43, 47}})).groups.size(), 1u);
  EXPECT_EQ(groups_of(band_maps(100, 6, {{30, 34}, {44, 48}})).groups.size(), 2u);
}

TEST(SeparatorGroups, DropsShortEdgeBandsAndWeakBands) {
  // Rows 0..1 smooth to rows 0..3: 4 rows at the edge of 100 are dropped; rows 0..7 smooth to 10
  // rows, which are kept.
  EXPECT_EQ(groups_of(band_maps(100, 6, {{0, 1}, {50, 59}})).groups.size(), 1u);
  EXPECT_EQ(groups_of(band_maps(100, 6, {{0, 7}, {50, 59}})).groups.size(), 2u);
  // A band holding 2 % of the energy is dropped, one holding 3 % is kept.
  EnergyMaps weak = band_maps(100, 10, {{20, 69}});
  weak.combined.rowRange(80, 82).setTo(0.5f);
  EXPECT_EQ(groups_of(weak).groups.size(), 1u);
  weak.combined.rowRange(80, 82).setTo(0.8f);
  EXPECT_EQ(groups_of(weak).groups.size(), 2u);
}

TEST(SeparatorGroups, EnergyProfileUsesSixFloorDividedBands) {
  EnergyMaps m = band_maps(10, 4, {{0, 0}, {3, 4}});
  SeparatorGroups g = groups_of(m);
  EXPECT_EQ(g.energy_profile, (std::vector<double>{0.3333, 0.0, 0.6667, 0.0, 0.0, 0.0}));
}

TEST(SeparatorGroups, NoEnergyGivesNothingAndKernelLongerThanProfileIsSafe) {
  SeparatorGroups none = groups_of(band_maps(30, 5, {}));
  EXPECT_TRUE(none.groups.empty());
  EXPECT_TRUE(none.energy_profile.empty());
  SeparatorGroups tiny = groups_of(band_maps(2, 3, {{1, 1}}));
  EXPECT_EQ(tiny.energy_profile.size(), 6u);
  EXPECT_THROW(separator_groups(cv::Mat::zeros(4, 4, CV_32FC1), cv::Mat::zeros(4, 4, CV_32FC1),
                                cv::Mat::zeros(4, 5, CV_32FC1)),
               cv::Exception);
}

SeparatorGroup dot(double y_normalized, double reliability, double h = 100, double w = 10) {
  SeparatorGroup g;
  g.center_x = w / 2.0;
  g.center_y = y_normalized * h;
  g.x_normalized = 0.5;
  g.y_normalized = y_normalized;
  g.width = 4.0;
  g.height = 8;
  g.energy = 40.0;
  g.reliability = reliability;
  return g;
}

TEST(SeparatorTopology, IdenticalCentredDotsScoreAPerfectColon) {
  SeparatorTopology t = separator_topology({dot(0.25, 1.0), dot(0.70, 1.0)}, 10, 100);
  ASSERT_TRUE(t.colon.has_value());
  EXPECT_DOUBLE_EQ(t.colon_score, 1.0);
  EXPECT_EQ(t.colon->upper, 0u);
  EXPECT_EQ(t.colon->lower, 1u);
  EXPECT_DOUBLE_EQ(t.colon->separation, 1.0);
  EXPECT_DOUBLE_EQ(t.colon->topology, 1.0);
}

TEST(SeparatorTopology, DecimalPointIsPenalisedByAReliableUpperGroup) {
  SeparatorTopology alone = separator_topology({dot(0.80, 1.0)}, 10, 100);
  EXPECT_FALSE(alone.colon.has_value());
  EXPECT_DOUBLE_EQ(alone.decimal_score, 1.0);
  SeparatorTopology with_upper = separator_topology({dot(0.2, 1.0), dot(0.80, 1.0)}, 10, 100);
  EXPECT_DOUBLE_EQ(with_upper.decimal_score, 0.6);
  EXPECT_EQ(with_upper.decimal->lower, 1u);
}

TEST(SeparatorTopology, MiddleGroupIsNeverPairedWithItselfAndHighGroupsScoreNothing) {
  SeparatorTopology middle = separator_topology({dot(0.5, 1.0)}, 10, 100);
  EXPECT_FALSE(middle.colon.has_value());
  EXPECT_TRUE(middle.decimal.has_value());
  SeparatorTopology high = separator_topology({dot(0.2, 1.0), dot(0.4, 1.0)}, 10, 100);
  EXPECT_FALSE(high.colon.has_value());
  EXPECT_FALSE(high.decimal.has_value());
  EXPECT_EQ(high.colon_score, 0.0);
  SeparatorTopology empty = separator_topology({}, 10, 100);
  EXPECT_FALSE(empty.colon || empty.decimal);
}

TEST(SeparatorTopology, EqualScoresKeepTheEarlierPair) {
  SeparatorTopology t =
      separator_topology({dot(0.25, 1.0), dot(0.25, 1.0), dot(0.70, 1.0)}, 10, 100);
  EXPECT_EQ(t.colon->upper, 0u);
}

// Groups read from a window's mask and grey levels equal those of its maps: with energies whose
// row sums are exact in any order (summed four columns at a time) and with energies spanning so
// many binary orders that they are not (summed in column order), on narrow and wide windows.
TEST(SeparatorGroups, FromWindowEnergyEqualFromItsMaps) {
  cv::RNG rng(3);
  for (const cv::Size size : {cv::Size(11, 60), cv::Size(70, 300), cv::Size(226, 900)}) {
    for (bool tiny : {false, true}) {
      WindowEnergy e;
      e.gray.create(size, CV_8UC1);
      rng.fill(e.gray, cv::RNG::UNIFORM, 0, 256);
      e.mask = cv::Mat::zeros(size, CV_8UC1);
      e.mask.rowRange(size.height / 5, size.height / 3).setTo(255);
      e.mask.rowRange(size.height * 2 / 3, size.height * 4 / 5).setTo(255);
      for (int v = 0; v < 256; ++v) {
        const float t = static_cast<float>(v) / 255.0f;
        e.energy_of[static_cast<size_t>(v)] =
            tiny && v % 2 == 1 ? std::ldexp(t, -60) : std::pow(t, 1.5f);
      }
      const EnergyMaps maps = separator_energy_maps(e);
      const SeparatorGroups a = separator_groups(e);
      const SeparatorGroups b = separator_groups(maps.binary, maps.gray_energy, maps.combined);
      SCOPED_TRACE(::testing::Message() << size << " tiny " << tiny);
      EXPECT_EQ(a.energy_profile, b.energy_profile);
      ASSERT_EQ(a.groups.size(), b.groups.size());
      ASSERT_FALSE(a.groups.empty());
      for (size_t i = 0; i < a.groups.size(); ++i) {
        EXPECT_EQ(a.groups[i].energy, b.groups[i].energy);
        EXPECT_EQ(a.groups[i].gray_energy, b.groups[i].gray_energy);
        EXPECT_EQ(a.groups[i].binary_energy, b.groups[i].binary_energy);
        EXPECT_EQ(a.groups[i].center_x, b.groups[i].center_x);
        EXPECT_EQ(a.groups[i].center_y, b.groups[i].center_y);
        EXPECT_EQ(a.groups[i].width, b.groups[i].width);
      }
    }
  }
}

}  // namespace
}  // namespace native_ocr::zonescan
