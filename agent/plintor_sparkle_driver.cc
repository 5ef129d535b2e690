#include "agent/plintor_sparkle_driver.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "platform/cocoa/bundle.h"
#include "platform/cocoa/files.h"
#include "platform/cocoa/json.h"

namespace {

// A reply or callback taken out of its member before it is called, so that a reentrant or
// repeated command can never call it twice.
template <typename Function>
Function Take(Function& kept) {
  Function taken = std::move(kept);
  kept = nullptr;
  return taken;
}

std::string InfoString(const std::string& key) {
  const NSInfoValue* value = NSBundle::mainBundle()->objectForInfoDictionaryKey(key);
  const std::string* text = value != nullptr ? value->stringValue() : nullptr;
  return text != nullptr ? *text : std::string();
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

}  // namespace

PlintorSparkleDriver::PlintorSparkleDriver(const NSURL& logDirectory)
    : logDirectory_(logDirectory) {}

// The updater goes first: it holds this driver by pointer.
PlintorSparkleDriver::~PlintorSparkleDriver() {
  updater_.reset();
}

bool PlintorSparkleDriver::startAndReturnError(NSError* error) {
  NSBundle* bundle = NSBundle::mainBundle();
  updater_ = std::make_unique<SPUUpdater>(bundle, bundle, this, nullptr);
  if (!updater_->startUpdater(error)) {
    phase_ = "failed";
    errorCode_ = "install_failed";
    publish();
    return false;
  }
  updater_->checkForUpdates();
  return true;
}

NSURL PlintorSparkleDriver::statusURL() const {
  return logDirectory_.URLByAppendingPathComponent(kStatusFileName);
}

NSURL PlintorSparkleDriver::commandURL() const {
  return logDirectory_.URLByAppendingPathComponent(kCommandFileName);
}

void PlintorSparkleDriver::consumeCommand() {
  const NSURL url = commandURL();
  const std::optional<std::string> text = NSString::stringWithContentsOfURLUTF8(url);
  if (!text) {
    return;
  }
  NSFileManager::defaultManager()->removeItemAtURL(url, nullptr);
  const std::string word = NSString::stringByTrimmingWhitespaceAndNewlines(*text);
  if (word == "download") {
    replyToFound(SPUUserUpdateChoice::kInstall);
  } else if (word == "install") {
    replyToReady(SPUUserUpdateChoice::kInstall);
  } else if (word == "cancel") {
    cancelDownload();
  } else if (word == "dismiss") {
    replyToFound(SPUUserUpdateChoice::kDismiss);
    replyToReady(SPUUserUpdateChoice::kDismiss);
  }
}

void PlintorSparkleDriver::replyToFound(SPUUserUpdateChoice choice) {
  if (Reply reply = Take(foundReply_)) {
    reply(choice);
  }
}

void PlintorSparkleDriver::replyToReady(SPUUserUpdateChoice choice) {
  if (Reply reply = Take(readyReply_)) {
    reply(choice);
  }
}

void PlintorSparkleDriver::cancelDownload() {
  if (Callback cancellation = Take(downloadCancellation_)) {
    cancellation();
  }
}

nlohmann::json PlintorSparkleDriver::statusDocument() const {
  return nlohmann::json{
      {"update_available", updateAvailable_},
      {"version", version_},
      {"build", jsonBuildNumber(offeredBuild_)},
      {"current_version", InfoString("CFBundleShortVersionString")},
      {"current_build", jsonBuildNumber(InfoString("CFBundleVersion"))},
      {"notes", notes_},
      {"download_url", downloadURL_},
      {"installable", installable_},
      {"phase", phase_.empty() ? std::string("idle") : phase_},
      {"bytes_downloaded", bytesDownloaded_},
      {"bytes_total", bytesTotal_},
      {"progress_percent", progressPercent()},
      {"error", errorCode_ ? nlohmann::json(*errorCode_) : nlohmann::json(nullptr)},
  };
}

void PlintorSparkleDriver::publish() const {
  NSFileManager::defaultManager()->createDirectoryAtURL(logDirectory_, true, nullptr);
  NSData::writeToURLAtomically(statusURL(),
                               NSJSONSerialization::dataWithJSONObject(statusDocument()));
}

nlohmann::json PlintorSparkleDriver::jsonBuildNumber(std::string_view text) {
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return nullptr;
  }
  int64_t number = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec != std::errc() || end != text.data() + text.size()) {
    return nullptr;  // too large for 64 bits: no number rather than a wrong one
  }
  return number;
}

uint64_t PlintorSparkleDriver::progressPercent(uint64_t bytesDownloaded, uint64_t bytesTotal) {
  if (bytesTotal == 0 || bytesDownloaded == 0) {
    return 0;
  }
  const unsigned __int128 percent =
      static_cast<unsigned __int128>(bytesDownloaded) * 100 / bytesTotal;
  return percent > 100 ? 100 : static_cast<uint64_t>(percent);
}

std::string PlintorSparkleDriver::errorCodeFor(const NSError& error, bool duringDownload) {
  const std::string description = NSLowercaseString(error.localizedDescription);
  const auto mentions = [&description](std::string_view word) {
    return description.find(word) != std::string::npos;
  };
  if (mentions("downgrade")) {
    return "older_version";
  }
  constexpr std::array<std::string_view, 5> kSignatureWords = {"signature", "eddsa", "ed25519",
                                                               "requirement", "not signed"};
  if (std::any_of(kSignatureWords.begin(), kSignatureWords.end(), mentions)) {
    return "signature_invalid";
  }
  return duringDownload ? "download_interrupted" : "install_failed";
}

void PlintorSparkleDriver::rememberItem(const SUAppcastItem& item) {
  updateAvailable_ = true;
  installable_ = !item.isInformationOnlyUpdate();
  version_ = item.displayVersionString.value_or("");
  offeredBuild_ = item.versionString.value_or("");
  notes_ = NSString::substringToUTF16Length(item.itemDescription.value_or(""), kMaxNotesLength);
  downloadURL_ = item.fileURL ? item.fileURL->absoluteString() : std::string();
  bytesTotal_ = item.contentLength;
}

void PlintorSparkleDriver::showUpdatePermissionRequest(
    const SPUUpdatePermissionRequest& /*request*/,
    std::function<void(SUUpdatePermissionResponse response)> reply) {
  if (reply) {
    reply(SUUpdatePermissionResponse{/*automaticUpdateChecks=*/false,
                                     /*sendSystemProfile=*/false});
  }
}

void PlintorSparkleDriver::showUserInitiatedUpdateCheckWithCancellation(Callback cancellation) {
  downloadCancellation_ = std::move(cancellation);
}

void PlintorSparkleDriver::showUpdateFoundWithAppcastItem(const SUAppcastItem& item,
                                                          const SPUUserUpdateState& /*state*/,
                                                          Reply reply) {
  rememberItem(item);
  phase_ = "idle";
  errorCode_.reset();
  bytesDownloaded_ = 0;
  foundReply_ = std::move(reply);
  publish();
}

void PlintorSparkleDriver::showUpdateReleaseNotesWithDownloadData(const std::string& /*data*/) {}

void PlintorSparkleDriver::showUpdateReleaseNotesFailedToDownloadWithError(
    const NSError& /*error*/) {}

void PlintorSparkleDriver::showUpdateNotFoundWithError(const NSError& /*error*/,
                                                       Callback acknowledgement) {
  updateAvailable_ = false;
  installable_ = false;
  version_.clear();
  offeredBuild_.clear();
  notes_.clear();
  downloadURL_.clear();
  phase_ = "idle";
  errorCode_.reset();
  foundReply_ = nullptr;
  readyReply_ = nullptr;
  publish();
  if (acknowledgement) {
    acknowledgement();
  }
}

void PlintorSparkleDriver::showUpdaterError(const NSError& error, Callback acknowledgement) {
  const bool duringDownload = phase_ == "downloading" || phase_ == "verifying";
  phase_ = "failed";
  errorCode_ = errorCodeFor(error, duringDownload);
  foundReply_ = nullptr;
  readyReply_ = nullptr;
  downloadCancellation_ = nullptr;
  publish();
  if (acknowledgement) {
    acknowledgement();
  }
}

void PlintorSparkleDriver::showDownloadInitiatedWithCancellation(Callback cancellation) {
  downloadCancellation_ = std::move(cancellation);
  phase_ = "downloading";
  errorCode_.reset();
  bytesDownloaded_ = 0;
  publish();
}

void PlintorSparkleDriver::showDownloadDidReceiveExpectedContentLength(
    uint64_t expectedContentLength) {
  if (expectedContentLength > 0) {
    bytesTotal_ = expectedContentLength;
  }
  publish();
}

void PlintorSparkleDriver::showDownloadDidReceiveDataOfLength(uint64_t length) {
  bytesDownloaded_ = SaturatingAdd(bytesDownloaded_, length);
  phase_ = "downloading";
  publish();
}

void PlintorSparkleDriver::showDownloadDidStartExtractingUpdate() {
  phase_ = "verifying";
  downloadCancellation_ = nullptr;
  if (bytesTotal_ > 0) {
    bytesDownloaded_ = bytesTotal_;
  }
  publish();
}

void PlintorSparkleDriver::showExtractionReceivedProgress(double progress) {
  phase_ = "verifying";
  if (bytesTotal_ > 0) {
    // A fraction outside [0, 1] (or NaN) is clamped: converting it unclamped is undefined.
    const double fraction = std::isnan(progress) ? 0.0 : std::clamp(progress, 0.0, 1.0);
    const double bytes = std::floor(fraction * static_cast<double>(bytesTotal_));
    bytesDownloaded_ = bytes >= 18446744073709551615.0 ? bytesTotal_ : static_cast<uint64_t>(bytes);
  }
  publish();
}

void PlintorSparkleDriver::showReadyToInstallAndRelaunch(Reply reply) {
  phase_ = "ready";
  errorCode_.reset();
  if (bytesTotal_ > 0) {
    bytesDownloaded_ = bytesTotal_;
  }
  readyReply_ = std::move(reply);
  publish();
}

void PlintorSparkleDriver::showInstallingUpdateWithApplicationTerminated(
    bool /*applicationTerminated*/, Callback /*retryTerminatingApplication*/) {
  phase_ = "installing";
  errorCode_.reset();
  publish();
}

void PlintorSparkleDriver::showUpdateInstalledAndRelaunched(bool /*relaunched*/,
                                                            Callback acknowledgement) {
  updateAvailable_ = false;
  phase_ = "idle";
  publish();
  if (acknowledgement) {
    acknowledgement();
  }
}

void PlintorSparkleDriver::dismissUpdateInstallation() {
  foundReply_ = nullptr;
  readyReply_ = nullptr;
  downloadCancellation_ = nullptr;
}
