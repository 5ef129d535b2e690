#ifndef PLATFORM_COCOA_WORKSPACE_H_
#define PLATFORM_COCOA_WORKSPACE_H_

#include "platform/cocoa/url.h"

// Opening URLs with the user's default application, in the shape of AppKit's NSWorkspace.
// Here that is xdg-open when it is on PATH; without it the URL is printed on standard output.
class NSWorkspace {
 public:
  virtual ~NSWorkspace() = default;

  static NSWorkspace* sharedWorkspace();
  // Replaces the shared workspace (nullptr restores the real one).
  static void setSharedWorkspaceForTesting(NSWorkspace* workspace);

  // Hands the URL over without waiting for the opener; false when it could not be started.
  virtual bool openURL(const NSURL& url);
};

#endif  // PLATFORM_COCOA_WORKSPACE_H_
