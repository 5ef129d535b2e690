#ifndef PLATFORM_COCOA_STATUS_BAR_H_
#define PLATFORM_COCOA_STATUS_BAR_H_

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The menu-bar item and its menu, in the shape of AppKit's NSStatusBar, NSStatusItem, NSMenu,
// NSMenuItem and NSImage. There is no menu bar here: the item keeps its state, and setting its
// menu prints the title, the tool tip and the items once on standard output.

struct NSSize {
  double width = 0;
  double height = 0;
};

enum NSCellImagePosition { NSNoImage = 0, NSImageOnly = 1, NSImageLeft = 2, NSImageRight = 3 };

class NSImage {
 public:
  // The image <name>.png among the main bundle's resources, or nullptr.
  static std::shared_ptr<NSImage> imageNamed(const std::string& name);

  const std::string& path() const { return path_; }
  void setTemplate(bool flag) { template_ = flag; }
  bool isTemplate() const { return template_; }
  void setSize(NSSize size) { size_ = size; }
  NSSize size() const { return size_; }

 private:
  std::string path_;
  bool template_ = false;
  NSSize size_;
};

class NSMenuItem {
 public:
  // The action gets the item as sender; the target is recorded only.
  using Action = std::function<void(NSMenuItem* sender)>;

  NSMenuItem(std::string title, Action action, std::string keyEquivalent)
      : title_(std::move(title)), action_(std::move(action)), key_(std::move(keyEquivalent)) {}
  static std::shared_ptr<NSMenuItem> separatorItem();

  const std::string& title() const { return title_; }
  const std::string& keyEquivalent() const { return key_; }
  bool hasAction() const { return static_cast<bool>(action_); }
  bool isSeparatorItem() const { return separator_; }
  void setTarget(const void* target) { target_ = target; }
  const void* target() const { return target_; }
  void setEnabled(bool flag) { enabled_ = flag; }
  bool isEnabled() const { return enabled_; }
  // What a click does: the action, when the item is enabled and has one.
  void performAction();

 private:
  std::string title_;
  Action action_;
  std::string key_;
  const void* target_ = nullptr;
  bool enabled_ = true;
  bool separator_ = false;
};

class NSMenu {
 public:
  void addItem(std::shared_ptr<NSMenuItem> item) { items_.push_back(std::move(item)); }
  const std::vector<std::shared_ptr<NSMenuItem>>& itemArray() const { return items_; }
  // The first item with this title, or nullptr.
  NSMenuItem* itemWithTitle(const std::string& title) const;

 private:
  std::vector<std::shared_ptr<NSMenuItem>> items_;
};

class NSStatusBarButton {
 public:
  void setImage(std::shared_ptr<NSImage> image) { image_ = std::move(image); }
  const std::shared_ptr<NSImage>& image() const { return image_; }
  void setImagePosition(NSCellImagePosition position) { position_ = position; }
  NSCellImagePosition imagePosition() const { return position_; }
  void setTitle(std::string title) { title_ = std::move(title); }
  const std::string& title() const { return title_; }
  void setToolTip(std::string tip) { tool_tip_ = std::move(tip); }
  const std::string& toolTip() const { return tool_tip_; }

 private:
  std::shared_ptr<NSImage> image_;
  NSCellImagePosition position_ = NSNoImage;
  std::string title_;
  std::string tool_tip_;
};

class NSStatusItem {
 public:
  explicit NSStatusItem(double length) : length_(length) {}
  double length() const { return length_; }
  NSStatusBarButton* button() { return &button_; }
  // Installs the menu and prints the item once.
  void setMenu(std::shared_ptr<NSMenu> menu);
  const std::shared_ptr<NSMenu>& menu() const { return menu_; }

 private:
  double length_;
  NSStatusBarButton button_;
  std::shared_ptr<NSMenu> menu_;
};

constexpr double NSVariableStatusItemLength = -1;

class NSStatusBar {
 public:
  static NSStatusBar* systemStatusBar();
  std::shared_ptr<NSStatusItem> statusItemWithLength(double length) {
    return std::make_shared<NSStatusItem>(length);
  }
};

#endif  // PLATFORM_COCOA_STATUS_BAR_H_
