#include "platform/cocoa/bundle.h"

#include <plist/plist.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/cocoa/files.h"

namespace {

struct PlistFree {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistNode = std::unique_ptr<void, PlistFree>;

NSInfoValue ConvertValue(plist_t node) {
  switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
      char* text = nullptr;
      plist_get_string_val(node, &text);
      NSInfoValue value = NSInfoValue::String(text != nullptr ? text : "");
      std::free(text);
      return value;
    }
    case PLIST_BOOLEAN: {
      uint8_t flag = 0;
      plist_get_bool_val(node, &flag);
      return NSInfoValue::Boolean(flag != 0);
    }
    case PLIST_UINT: {
      uint64_t number = 0;
      plist_get_uint_val(node, &number);
      // libplist keeps negative integers as their two's complement.
      return NSInfoValue::Integer(static_cast<int64_t>(number));
    }
    case PLIST_REAL: {
      double number = 0;
      plist_get_real_val(node, &number);
      return NSInfoValue::Real(number);
    }
    default:
      return NSInfoValue::Other();
  }
}

std::map<std::string, NSInfoValue> ReadInfoDictionary(const std::string& path) {
  std::map<std::string, NSInfoValue> info;
  const std::optional<std::string> bytes =
      NSData::dataWithContentsOfURL(NSURL::fileURLWithPath(path));
  if (!bytes || bytes->empty()) {
    return info;
  }
  plist_t raw = nullptr;
  plist_from_memory(bytes->data(), static_cast<uint32_t>(bytes->size()), &raw);
  PlistNode root(raw);
  if (!root || plist_get_node_type(raw) != PLIST_DICT) {
    return info;
  }
  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(raw, &iter);
  for (;;) {
    char* key = nullptr;
    plist_t node = nullptr;
    plist_dict_next_item(raw, iter, &key, &node);
    if (node == nullptr) {
      std::free(key);
      break;
    }
    if (key != nullptr) {
      info.insert_or_assign(key, ConvertValue(node));
    }
    std::free(key);
  }
  std::free(iter);
  return info;
}

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
}

std::string MainBundlePath() {
  const NSURL executable = NSURL::fileURLWithPath(ExecutablePath());
  const NSURL macos = executable.URLByDeletingLastPathComponent();
  const NSURL contents = macos.URLByDeletingLastPathComponent();
  const auto last = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
  if (last(macos.path()) == "MacOS" && last(contents.path()) == "Contents") {
    return contents.URLByDeletingLastPathComponent().path();
  }
  return macos.path();
}

// Never destroyed: a background thread may still read the main bundle while the process exits.
std::mutex& MainBundleMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}
std::shared_ptr<NSBundle>& MainBundleSlot() {
  static auto* bundle = new std::shared_ptr<NSBundle>;
  return *bundle;
}

}  // namespace

NSInfoValue NSInfoValue::String(std::string text) {
  NSInfoValue value;
  value.kind_ = Kind::kString;
  value.text_ = std::move(text);
  return value;
}

NSInfoValue NSInfoValue::Boolean(bool flag) {
  NSInfoValue value;
  value.kind_ = Kind::kBoolean;
  value.number_ = flag ? 1 : 0;
  return value;
}

NSInfoValue NSInfoValue::Integer(int64_t number) {
  NSInfoValue value;
  value.kind_ = Kind::kInteger;
  value.number_ = static_cast<double>(number);
  return value;
}

NSInfoValue NSInfoValue::Real(double number) {
  NSInfoValue value;
  value.kind_ = Kind::kReal;
  value.number_ = number;
  return value;
}

NSInfoValue NSInfoValue::Other() {
  return NSInfoValue();
}

const std::string* NSInfoValue::stringValue() const {
  return kind_ == Kind::kString ? &text_ : nullptr;
}

bool NSInfoValue::isNumber() const {
  return kind_ == Kind::kBoolean || kind_ == Kind::kInteger || kind_ == Kind::kReal;
}

bool NSInfoValue::boolValue() const {
  return isNumber() && number_ != 0;
}

std::shared_ptr<NSBundle> NSBundle::bundleWithPath(const std::string& path) {
  auto bundle = std::make_shared<NSBundle>();
  bundle->path_ = path;
  bundle->info_ = ReadInfoDictionary(path + "/Contents/Info.plist");
  return bundle;
}

NSBundle* NSBundle::mainBundle() {
  std::lock_guard<std::mutex> lock(MainBundleMutex());
  std::shared_ptr<NSBundle>& bundle = MainBundleSlot();
  if (!bundle) {
    bundle = bundleWithPath(MainBundlePath());
  }
  return bundle.get();
}

void NSBundle::setMainBundleForTesting(std::shared_ptr<NSBundle> bundle) {
  std::lock_guard<std::mutex> lock(MainBundleMutex());
  MainBundleSlot() = std::move(bundle);
}

NSURL NSBundle::resourceURL() const {
  return NSURL::fileURLWithPath(path_ + "/Contents/Resources");
}

const NSInfoValue* NSBundle::objectForInfoDictionaryKey(const std::string& key) const {
  auto found = info_.find(key);
  return found == info_.end() ? nullptr : &found->second;
}

std::optional<std::string> NSBundle::pathForImageResource(const std::string& name) const {
  const std::string path = resourceURL().path() + "/" + name + ".png";
  if (!NSFileManager::defaultManager()->fileExistsAtPath(path)) {
    return std::nullopt;
  }
  return path;
}
