// Processing settings of a zone: how its crop is cleaned up before it is read. The defaults, the
// ranges every setting is clamped to, and the names of the morphological operations.
#ifndef NATIVE_OCR_ZONESCAN_SETTINGS_H_
#define NATIVE_OCR_ZONESCAN_SETTINGS_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace native_ocr::zonescan {

enum class Morphology { kNone, kDilate, kErode, kClose, kOpen };

// Which classifier reads the digit cells: the seven-segment classifier on the prepared binary
// display (the default), or the learned one on the grey display before the threshold.
enum class CellClassifier { kSegments, kLearned };

// Which way the display shows its digits: lit on a dark ground (LED boards, the default) or dark
// on a light ground (LCDs). A dark display is read as its negative from the first step on, so the
// threshold, the inversion setting and the clock's separator search all see light digits.
enum class Polarity { kLight, kDark };

// The settings with their defaults. Numbers are held as the host's int and float would be.
struct ProcessingSettings {
  int64_t threshold = 150;  // binarisation: 255 where a pixel is greater, else 0
  double contrast = 1.0;    // gain of the contrast/brightness step
  int64_t brightness = 0;   // offset of the same step
  double gamma = 1.0;       // gamma of the lookup table (1.0 is the identity)
  double rotation = 0.0;    // degrees about the image centre, positive counter-clockwise
  int64_t blur = 0;         // Gaussian kernel side; 0 is no blur, even sides are raised by one
  Morphology morphology = Morphology::kNone;
  int64_t morph_size = 1;  // side of the square structuring element
  bool grayscale = true;   // kept for the host; processing always works on a grey image
  bool binarize = true;    // apply the threshold
  bool invert = false;     // invert after thresholding
  // Not one of the eleven: a settings dictionary holds "classifier" only when the host set it.
  CellClassifier classifier = CellClassifier::kSegments;
  // Not one of the eleven either; each is in a settings dictionary only when the host set it.
  Polarity polarity = Polarity::kLight;
  double slant = 0.0;       // degrees the digits lean right (negative: left); sheared upright first
  int64_t clock_cells = 4;  // digit cells of a clock: 2 "d.d", 3 "dd.d" / "d:dd", 4 "dd:dd"
};

// The setting keys, in the order every settings dictionary holds them.
inline constexpr std::array<std::string_view, 11> kSettingKeys = {
    "threshold",  "contrast",   "brightness", "gamma",    "rotation", "blur",
    "morphology", "morph_size", "grayscale",  "binarize", "invert"};

// The names of the morphological operations, indexed by Morphology.
inline constexpr std::array<std::string_view, 5> kMorphologyNames = {"none", "dilate", "erode",
                                                                     "close", "open"};

// The optional setting beside the eleven, and the names of its values, indexed by CellClassifier.
inline constexpr std::string_view kClassifierKey = "classifier";
inline constexpr std::array<std::string_view, 2> kClassifierNames = {"segments", "learned"};

// The optional display settings beside the eleven and the classifier, and the polarity names,
// indexed by Polarity.
inline constexpr std::string_view kPolarityKey = "polarity";
inline constexpr std::string_view kSlantKey = "slant";
inline constexpr std::string_view kClockCellsKey = "clock_cells";
inline constexpr std::array<std::string_view, 2> kPolarityNames = {"light", "dark"};
// Their ranges: a slant past 20 degrees is no seven-segment face's; a clock has 2 to 4 cells.
inline constexpr double kMaxSlant = 20.0;
inline constexpr int64_t kMinClockCells = 2;
inline constexpr int64_t kMaxClockCells = 4;

// The range clamp_settings holds a numeric setting to (inclusive).
struct SettingRange {
  std::string_view key;
  double low;
  double high;
  bool integral;  // stored as an int
};
inline constexpr std::array<SettingRange, 7> kSettingRanges = {{{"threshold", 0, 255, true},
                                                                {"contrast", 0.2, 4.0, false},
                                                                {"brightness", -150, 150, true},
                                                                {"gamma", 0.2, 3.0, false},
                                                                {"rotation", -15.0, 15.0, false},
                                                                {"blur", 0, 15, true},
                                                                {"morph_size", 1, 9, true}}};

// Every numeric setting clamped into its range as max(low, min(high, value)), evaluated as written
// (a NaN float becomes the upper bound): threshold 0..255, contrast 0.2..4.0, brightness
// -150..150, gamma 0.2..3.0, rotation -15.0..15.0, blur 0..15, morph_size 1..9; and the optional
// slant -20..20 (a NaN becomes 0, no shear) and clock_cells 2..4.
ProcessingSettings clamp_settings(const ProcessingSettings& raw);

// The operation of an exact, case-sensitive name; nullopt for any other text.
std::optional<Morphology> morphology_from_name(std::string_view name);
std::string_view morphology_name(Morphology morphology);

// The classifier of an exact, case-sensitive name; nullopt for any other text.
std::optional<CellClassifier> classifier_from_name(std::string_view name);
std::string_view classifier_name(CellClassifier classifier);

// The polarity of an exact, case-sensitive name; nullopt for any other text.
std::optional<Polarity> polarity_from_name(std::string_view name);
std::string_view polarity_name(Polarity polarity);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_SETTINGS_H_
