#ifndef PLATFORM_COCOA_ALERT_H_
#define PLATFORM_COCOA_ALERT_H_

#include <functional>
#include <string>
#include <vector>

enum NSAlertStyle {
  NSAlertStyleWarning = 0,
  NSAlertStyleInformational = 1,
  NSAlertStyleCritical = 2,
};

using NSModalResponse = long;
constexpr NSModalResponse NSAlertFirstButtonReturn = 1000;

// A modal alert in the shape of AppKit's NSAlert. Without a screen, runModal writes the alert to
// standard error and appends it to the log file set with setLogFile (creating its directory),
// then answers with the first button.
class NSAlert {
 public:
  using Presenter = std::function<NSModalResponse(const NSAlert& alert)>;

  void setMessageText(std::string text) { message_text_ = std::move(text); }
  void setInformativeText(std::string text) { informative_text_ = std::move(text); }
  void addButtonWithTitle(std::string title) { buttons_.push_back(std::move(title)); }
  void setAlertStyle(NSAlertStyle style) { style_ = style; }

  const std::string& messageText() const { return message_text_; }
  const std::string& informativeText() const { return informative_text_; }
  const std::vector<std::string>& buttons() const { return buttons_; }
  NSAlertStyle alertStyle() const { return style_; }

  NSModalResponse runModal() const;

  // Where alerts are appended besides standard error (empty: nowhere).
  static void setLogFile(std::string path);
  // Replaces the presentation of every alert (empty restores the real one).
  static void setPresenterForTesting(Presenter presenter);

 private:
  std::string message_text_;
  std::string informative_text_;
  std::vector<std::string> buttons_;
  NSAlertStyle style_ = NSAlertStyleWarning;
};

#endif  // PLATFORM_COCOA_ALERT_H_
