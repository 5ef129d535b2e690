#ifndef PLATFORM_COCOA_BUNDLE_H_
#define PLATFORM_COCOA_BUNDLE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/cocoa/url.h"

// One value of an information dictionary. Numbers keep their kind (boolean, integer, real) as a
// property list does; dictionaries, arrays, data and dates are only "other".
class NSInfoValue {
 public:
  enum class Kind { kString, kBoolean, kInteger, kReal, kOther };

  static NSInfoValue String(std::string text);
  static NSInfoValue Boolean(bool value);
  static NSInfoValue Integer(int64_t value);
  static NSInfoValue Real(double value);
  static NSInfoValue Other();

  Kind kind() const { return kind_; }
  // The text of a string value; nullptr for any other kind.
  const std::string* stringValue() const;
  // True for booleans, integers and reals (NSNumber).
  bool isNumber() const;
  // A number's truth (non-zero); false for anything that is not a number.
  bool boolValue() const;

 private:
  Kind kind_ = Kind::kOther;
  std::string text_;
  double number_ = 0;
};

// An application bundle laid out as on macOS: <bundle>/Contents/Info.plist,
// <bundle>/Contents/MacOS/<executable>, <bundle>/Contents/Resources/.
class NSBundle {
 public:
  // Reads Contents/Info.plist (XML or binary) with libplist; a bundle whose information
  // dictionary is missing or unreadable has an empty one.
  static std::shared_ptr<NSBundle> bundleWithPath(const std::string& path);
  // The bundle of the running executable: when the executable lies at
  // <bundle>/Contents/MacOS/<name>, that bundle; otherwise the executable's directory.
  static NSBundle* mainBundle();
  // Replaces the main bundle (nullptr restores the executable's own).
  static void setMainBundleForTesting(std::shared_ptr<NSBundle> bundle);

  const std::string& bundlePath() const { return path_; }
  NSURL bundleURL() const { return NSURL::fileURLWithPath(path_); }
  NSURL resourceURL() const;
  // nullptr when the information dictionary has no such key.
  const NSInfoValue* objectForInfoDictionaryKey(const std::string& key) const;
  // The path of Resources/<name>.png when that file exists.
  std::optional<std::string> pathForImageResource(const std::string& name) const;

 private:
  std::string path_;
  std::map<std::string, NSInfoValue> info_;
};

#endif  // PLATFORM_COCOA_BUNDLE_H_
