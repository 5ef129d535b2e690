#ifndef AGENT_PLINTOR_SPARKLE_DRIVER_H_
#define AGENT_PLINTOR_SPARKLE_DRIVER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/cocoa/error.h"
#include "platform/cocoa/url.h"
#include "platform/sparkle/updater.h"
#include "platform/sparkle/user_driver.h"

// The agent's Sparkle user driver. It shows no window: every step of the update cycle is
// published as "plintor-sparkle-status.json" in the log directory, and the user's decisions
// arrive as one word in "plintor-sparkle-command" there. Everything runs on the main thread.
class PlintorSparkleDriver : public SPUUserDriver {
 public:
  static constexpr const char* kStatusFileName = "plintor-sparkle-status.json";
  static constexpr const char* kCommandFileName = "plintor-sparkle-command";
  // Offer descriptions are cut to this many characters (UTF-16 code units).
  static constexpr size_t kMaxNotesLength = 8000;

  // initWithLogDirectory:
  explicit PlintorSparkleDriver(const NSURL& logDirectory);
  ~PlintorSparkleDriver() override;

  // Creates and starts the updater with the main bundle and checks for updates at once. When
  // the updater cannot start, publishes "failed"/"install_failed" and gives false.
  bool startAndReturnError(NSError* error);
  // Reads, deletes and acts on the command file; see the class comment.
  void consumeCommand();
  // Writes the status document atomically, creating the log directory if needed. Errors are
  // ignored: the next publish tries again.
  void publish() const;
  // The 13-member status document.
  nlohmann::json statusDocument() const;

  // A non-empty text of decimal digits that fits in 64 bits gives that number; anything else
  // gives null.
  static nlohmann::json jsonBuildNumber(std::string_view text);
  // Downloaded bytes as a whole percentage of the total, 0 without progress, at most 100.
  static uint64_t progressPercent(uint64_t bytesDownloaded, uint64_t bytesTotal);
  uint64_t progressPercent() const { return progressPercent(bytesDownloaded_, bytesTotal_); }
  // "older_version", "signature_invalid", "download_interrupted" or "install_failed".
  static std::string errorCodeFor(const NSError& error, bool duringDownload);

  // SPUUserDriver
  void showUpdatePermissionRequest(
      const SPUUpdatePermissionRequest& request,
      std::function<void(SUUpdatePermissionResponse response)> reply) override;
  void showUserInitiatedUpdateCheckWithCancellation(Callback cancellation) override;
  void showUpdateFoundWithAppcastItem(const SUAppcastItem& item, const SPUUserUpdateState& state,
                                      Reply reply) override;
  void showUpdateReleaseNotesWithDownloadData(const std::string& data) override;
  void showUpdateReleaseNotesFailedToDownloadWithError(const NSError& error) override;
  void showUpdateNotFoundWithError(const NSError& error, Callback acknowledgement) override;
  void showUpdaterError(const NSError& error, Callback acknowledgement) override;
  void showDownloadInitiatedWithCancellation(Callback cancellation) override;
  void showDownloadDidReceiveExpectedContentLength(uint64_t expectedContentLength) override;
  void showDownloadDidReceiveDataOfLength(uint64_t length) override;
  void showDownloadDidStartExtractingUpdate() override;
  void showExtractionReceivedProgress(double progress) override;
  void showReadyToInstallAndRelaunch(Reply reply) override;
  void showInstallingUpdateWithApplicationTerminated(bool applicationTerminated,
                                                     Callback retryTerminatingApplication) override;
  void showUpdateInstalledAndRelaunched(bool relaunched, Callback acknowledgement) override;
  void dismissUpdateInstallation() override;

  // Properties.
  const NSURL& logDirectory() const { return logDirectory_; }
  SPUUpdater* updater() const { return updater_.get(); }
  bool hasFoundReply() const { return static_cast<bool>(foundReply_); }
  bool hasReadyReply() const { return static_cast<bool>(readyReply_); }
  bool hasDownloadCancellation() const { return static_cast<bool>(downloadCancellation_); }
  bool updateAvailable() const { return updateAvailable_; }
  bool installable() const { return installable_; }
  const std::string& version() const { return version_; }
  const std::string& offeredBuild() const { return offeredBuild_; }
  const std::string& notes() const { return notes_; }
  const std::string& downloadURL() const { return downloadURL_; }
  const std::string& phase() const { return phase_; }
  const std::optional<std::string>& errorCode() const { return errorCode_; }
  uint64_t bytesDownloaded() const { return bytesDownloaded_; }
  uint64_t bytesTotal() const { return bytesTotal_; }

 private:
  void rememberItem(const SUAppcastItem& item);
  // Take the kept reply, drop it, then call it: a reply is used at most once.
  void replyToFound(SPUUserUpdateChoice choice);
  void replyToReady(SPUUserUpdateChoice choice);
  void cancelDownload();
  NSURL statusURL() const;
  NSURL commandURL() const;

  NSURL logDirectory_;
  std::unique_ptr<SPUUpdater> updater_;
  Reply foundReply_;
  Reply readyReply_;
  Callback downloadCancellation_;
  bool updateAvailable_ = false;
  bool installable_ = false;
  std::string version_;
  std::string offeredBuild_;
  std::string notes_;
  std::string downloadURL_;
  std::string phase_ = "idle";
  std::optional<std::string> errorCode_;
  uint64_t bytesDownloaded_ = 0;
  uint64_t bytesTotal_ = 0;
};

#endif  // AGENT_PLINTOR_SPARKLE_DRIVER_H_
