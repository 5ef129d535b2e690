#include "platform/cocoa/status_bar.h"

#include <cstdio>

#include "platform/cocoa/bundle.h"

std::shared_ptr<NSImage> NSImage::imageNamed(const std::string& name) {
  std::optional<std::string> path = NSBundle::mainBundle()->pathForImageResource(name);
  if (!path) {
    return nullptr;
  }
  auto image = std::make_shared<NSImage>();
  image->path_ = *path;
  return image;
}

std::shared_ptr<NSMenuItem> NSMenuItem::separatorItem() {
  auto item = std::make_shared<NSMenuItem>("", nullptr, "");
  item->separator_ = true;
  item->enabled_ = false;
  return item;
}

void NSMenuItem::performAction() {
  if (enabled_ && action_) {
    action_(this);
  }
}

NSMenuItem* NSMenu::itemWithTitle(const std::string& title) const {
  for (const auto& item : items_) {
    if (!item->isSeparatorItem() && item->title() == title) {
      return item.get();
    }
  }
  return nullptr;
}

void NSStatusItem::setMenu(std::shared_ptr<NSMenu> menu) {
  menu_ = std::move(menu);
  std::printf("Status item: %s (%s)%s\n", button_.title().c_str(), button_.toolTip().c_str(),
              button_.image() ? " with image" : "");
  for (const auto& item : menu_ ? menu_->itemArray() : std::vector<std::shared_ptr<NSMenuItem>>()) {
    if (item->isSeparatorItem()) {
      std::printf("  ----\n");
      continue;
    }
    std::printf("  %s%s%s\n", item->title().c_str(), item->isEnabled() ? "" : " (disabled)",
                item->keyEquivalent().empty() ? "" : (" [" + item->keyEquivalent() + "]").c_str());
  }
  std::fflush(stdout);
}

NSStatusBar* NSStatusBar::systemStatusBar() {
  static NSStatusBar bar;
  return &bar;
}
