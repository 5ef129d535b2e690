#ifndef PLATFORM_SPARKLE_USER_DRIVER_H_
#define PLATFORM_SPARKLE_USER_DRIVER_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/cocoa/error.h"
#include "platform/cocoa/url.h"

// The user-driver side of the Sparkle update framework: the values Sparkle hands a user driver
// and the calls it makes on one, all on the main thread.

// The user's answer to an offered or downloaded update.
enum class SPUUserUpdateChoice : int { kSkip = 0, kInstall = 1, kDismiss = 2 };

// An update in the appcast feed.
struct SUAppcastItem {
  std::optional<std::string> displayVersionString;
  std::optional<std::string> versionString;
  std::optional<std::string> itemDescription;
  std::optional<NSURL> fileURL;
  uint64_t contentLength = 0;
  bool informationOnlyUpdate = false;

  bool isInformationOnlyUpdate() const { return informationOnlyUpdate; }
};

// Where Sparkle stands with an offered update.
enum class SPUUpdateStage { kNotDownloaded = 0, kDownloaded = 1, kInstalling = 2 };
struct SPUUserUpdateState {
  SPUUpdateStage stage = SPUUpdateStage::kNotDownloaded;
  bool userInitiated = false;
};

struct SPUUpdatePermissionRequest {
  bool systemProfileOffered = false;
};

// The answer to Sparkle's question whether to check for updates automatically.
struct SUUpdatePermissionResponse {
  bool automaticUpdateChecks = true;
  bool sendSystemProfile = false;
};

class SPUUserDriver {
 public:
  using Reply = std::function<void(SPUUserUpdateChoice choice)>;
  using Callback = std::function<void()>;

  virtual ~SPUUserDriver() = default;

  virtual void showUpdatePermissionRequest(
      const SPUUpdatePermissionRequest& request,
      std::function<void(SUUpdatePermissionResponse response)> reply) = 0;
  virtual void showUserInitiatedUpdateCheckWithCancellation(Callback cancellation) = 0;
  virtual void showUpdateFoundWithAppcastItem(const SUAppcastItem& item,
                                              const SPUUserUpdateState& state, Reply reply) = 0;
  virtual void showUpdateReleaseNotesWithDownloadData(const std::string& data) = 0;
  virtual void showUpdateReleaseNotesFailedToDownloadWithError(const NSError& error) = 0;
  virtual void showUpdateNotFoundWithError(const NSError& error, Callback acknowledgement) = 0;
  virtual void showUpdaterError(const NSError& error, Callback acknowledgement) = 0;
  virtual void showDownloadInitiatedWithCancellation(Callback cancellation) = 0;
  virtual void showDownloadDidReceiveExpectedContentLength(uint64_t expectedContentLength) = 0;
  virtual void showDownloadDidReceiveDataOfLength(uint64_t length) = 0;
  virtual void showDownloadDidStartExtractingUpdate() = 0;
  virtual void showExtractionReceivedProgress(double progress) = 0;
  virtual void showReadyToInstallAndRelaunch(Reply reply) = 0;
  virtual void showInstallingUpdateWithApplicationTerminated(
      bool applicationTerminated, Callback retryTerminatingApplication) = 0;
  virtual void showUpdateInstalledAndRelaunched(bool relaunched, Callback acknowledgement) = 0;
  virtual void dismissUpdateInstallation() = 0;
};

#endif  // PLATFORM_SPARKLE_USER_DRIVER_H_
