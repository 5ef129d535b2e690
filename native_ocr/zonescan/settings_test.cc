#include "native_ocr/zonescan/settings.h"

#include <cmath>

#include <gtest/gtest.h>

namespace native_ocr::zonescan {
namespace {

TEST(ClampSettings, DefaultsAreInRange) {
  const ProcessingSettings d;
  const ProcessingSettings c = clamp_settings(d);
  EXPECT_EQ(c.threshold, 150);
  EXPECT_EQ(c.contrast, 1.0);
  EXPECT_EQ(c.morph_size, 1);
  EXPECT_EQ(c.morphology, Morphology::kNone);
  EXPECT_TRUE(c.grayscale && c.binarize && !c.invert);
}

TEST(ClampSettings, EachSettingToItsRange) {
  ProcessingSettings raw;
  raw.threshold = 300;
  raw.contrast = 9;
  raw.brightness = -1000;
  raw.gamma = 0;
  raw.rotation = -40;
  raw.blur = 99;
  raw.morph_size = 0;
  const ProcessingSettings c = clamp_settings(raw);
  EXPECT_EQ(c.threshold, 255);
  EXPECT_EQ(c.contrast, 4.0);
  EXPECT_EQ(c.brightness, -150);
  EXPECT_EQ(c.gamma, 0.2);
  EXPECT_EQ(c.rotation, -15.0);
  EXPECT_EQ(c.blur, 15);
  EXPECT_EQ(c.morph_size, 1);

  raw.threshold = -5;
  raw.brightness = 151;
  raw.morph_size = 10;
  const ProcessingSettings d = clamp_settings(raw);
  EXPECT_EQ(d.threshold, 0);
  EXPECT_EQ(d.brightness, 150);
  EXPECT_EQ(d.morph_size, 9);
}

TEST(ClampSettings, NanFloatsTakeTheUpperBound) {
  ProcessingSettings raw;
  raw.contrast = std::nan("");
  raw.gamma = std::nan("");
  raw.rotation = std::nan("");
  const ProcessingSettings c = clamp_settings(raw);
  EXPECT_EQ(c.contrast, 4.0);
  EXPECT_EQ(c.gamma, 3.0);
  EXPECT_EQ(c.rotation, 15.0);
}

TEST(Morphology, ExactNamesOnly) {
  EXPECT_EQ(morphology_from_name("open"), Morphology::kOpen);
  EXPECT_EQ(morphology_from_name("dilate"), Morphology::kDilate);
  EXPECT_EQ(morphology_from_name("Open"), std::nullopt);
  EXPECT_EQ(morphology_from_name("open "), std::nullopt);
  for (std::string_view name : kMorphologyNames) {
    EXPECT_EQ(morphology_name(*morphology_from_name(name)), name);
  }
}

}  // namespace
}  // namespace native_ocr::zonescan
