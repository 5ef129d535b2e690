#include "vaultkeep/keychain_tool.h"

#include <CoreFoundation/CoreFoundation.h>
#include <Security/Security.h>

#include <cstring>
#include <optional>

#include "vaultkeep/cf_ref.h"
#include "vaultkeep/command_line.h"
#include "vaultkeep/secret_buffer.h"

namespace vaultkeep {
namespace {

constexpr char kFailureMessage[] = "Plintor Keychain operation failed (OSStatus %d)\n";
constexpr char kUsage[] =
    "usage: vaultkeep read|delete|create|upsert SERVICE ACCOUNT [--keychain PATH]\n"
    "       vaultkeep grant-app SERVICE ACCOUNT APP [--keychain PATH]\n"
    "\n"
    "Keeps secrets in the keychain as generic passwords named by SERVICE and ACCOUNT.\n"
    "  read       writes the secret to standard output, as stored\n"
    "  delete     deletes the item\n"
    "  create     adds an item with the secret read from standard input\n"
    "  upsert     replaces the item's secret with standard input, or adds the item\n"
    "  grant-app  gives the program at APP, with this one, access to the item\n"
    "--keychain PATH uses the keychain file at PATH instead of the default keychain.\n"
    "Exit status: 0 done, 1 failed, 2 invalid command line, 44 no such item,\n"
    "45 the item already exists.\n";

// What one command works on: the streams, the keychain (null: the default) and the command line.
struct Context {
  const ToolStreams& streams;
  SecKeychainRef keychain;
  const Invocation& invocation;
};

// The secret of a found item, owned by the keychain layer: wiped and freed when this goes.
class FoundSecret {
 public:
  FoundSecret() = default;
  ~FoundSecret() {
    wipe_bytes(data_, length_);
    if (data_ != nullptr) {
      SecKeychainItemFreeContent(nullptr, data_);
    }
  }
  FoundSecret(const FoundSecret&) = delete;
  FoundSecret& operator=(const FoundSecret&) = delete;

  UInt32* length() { return &length_; }
  void** data() { return &data_; }
  const void* bytes() const { return data_; }
  UInt32 size() const { return length_; }

 private:
  UInt32 length_ = 0;
  void* data_ = nullptr;
};

int Report(const ToolStreams& streams, OSStatus status) {
  std::fprintf(streams.errors, kFailureMessage, static_cast<int>(status));
  std::fflush(streams.errors);
  return kExitFailure;
}

UInt32 LengthOf(const std::string& text) {
  return static_cast<UInt32>(text.size());
}

// Looks the item up, asking only for what the caller passes (either may be null).
OSStatus FindItem(const Context& c, FoundSecret* secret, SecKeychainItemRef* item) {
  const Invocation& in = c.invocation;
  return SecKeychainFindGenericPassword(c.keychain, LengthOf(in.service), in.service.data(),
                                        LengthOf(in.account), in.account.data(),
                                        secret != nullptr ? secret->length() : nullptr,
                                        secret != nullptr ? secret->data() : nullptr, item);
}

// The exit status for a failed lookup.
int LookupFailure(const Context& c, OSStatus status) {
  return status == errSecItemNotFound ? kExitItemNotFound : Report(c.streams, status);
}

int AddItem(const Context& c, const SecretBuffer& secret) {
  const Invocation& in = c.invocation;
  OSStatus status = SecKeychainAddGenericPassword(
      c.keychain, LengthOf(in.service), in.service.data(), LengthOf(in.account), in.account.data(),
      static_cast<UInt32>(secret.size()), secret.data(), nullptr);
  if (status == errSecDuplicateItem) {
    return kExitDuplicateItem;
  }
  return status == errSecSuccess ? kExitSuccess : Report(c.streams, status);
}

int RunRead(const Context& c) {
  FoundSecret secret;
  if (OSStatus status = FindItem(c, &secret, nullptr); status != errSecSuccess) {
    return LookupFailure(c, status);
  }
  return WriteSecret(c.streams.output_fd, secret.bytes(), secret.size()) ? kExitSuccess
                                                                         : kExitFailure;
}

int RunDelete(const Context& c) {
  CFOwner<SecKeychainItemRef> item;
  if (OSStatus status = FindItem(c, nullptr, OutParam(&item)); status != errSecSuccess) {
    return LookupFailure(c, status);
  }
  OSStatus status = SecKeychainItemDelete(item.get());
  return status == errSecSuccess ? kExitSuccess : Report(c.streams, status);
}

int RunCreate(const Context& c) {
  SecretBuffer secret;
  if (!ReadSecret(c.streams.input_fd, &secret)) {
    return kExitFailure;
  }
  return AddItem(c, secret);
}

int RunUpsert(const Context& c) {
  SecretBuffer secret;
  if (!ReadSecret(c.streams.input_fd, &secret)) {
    return kExitFailure;
  }
  CFOwner<SecKeychainItemRef> item;
  OSStatus status = FindItem(c, nullptr, OutParam(&item));
  if (status == errSecItemNotFound) {
    return AddItem(c, secret);
  }
  if (status == errSecSuccess) {
    status = SecKeychainItemModifyAttributesAndData(
        item.get(), nullptr, static_cast<UInt32>(secret.size()), secret.data());
  }
  return status == errSecSuccess ? kExitSuccess : Report(c.streams, status);
}

// Builds the access list "this program, then APP" and sets it on `item`.
int SetAccess(const Context& c, SecKeychainItemRef item) {
  CFOwner<SecTrustedApplicationRef> self;
  CFOwner<SecTrustedApplicationRef> app;
  OSStatus status = SecTrustedApplicationCreateFromPath(nullptr, OutParam(&self));
  if (status == errSecSuccess) {
    status = SecTrustedApplicationCreateFromPath(c.invocation.app.c_str(), OutParam(&app));
  }
  if (status != errSecSuccess) {
    return Report(c.streams, status);
  }
  const void* apps[] = {self.get(), app.get()};
  CFOwner<CFArrayRef> list(CFArrayCreate(kCFAllocatorDefault, apps, 2, &kCFTypeArrayCallBacks));
  if (!list) {
    return kExitFailure;
  }
  CFOwner<SecAccessRef> access;
  status = SecAccessCreate(CFSTR("Plintor"), list.get(), OutParam(&access));
  if (status == errSecSuccess) {
    status = SecKeychainItemSetAccess(item, access.get());
  }
  return status == errSecSuccess ? kExitSuccess : Report(c.streams, status);
}

int RunGrantApp(const Context& c) {
  CFOwner<SecKeychainItemRef> item;
  if (OSStatus status = FindItem(c, nullptr, OutParam(&item)); status != errSecSuccess) {
    return LookupFailure(c, status);
  }
  return SetAccess(c, item.get());
}

int RunCommand(Command command, const Context& c) {
  switch (command) {
    case Command::kRead:
      return RunRead(c);
    case Command::kDelete:
      return RunDelete(c);
    case Command::kCreate:
      return RunCreate(c);
    case Command::kUpsert:
      return RunUpsert(c);
    case Command::kGrantApp:
      return RunGrantApp(c);
  }
  return kExitUsage;
}

bool IsHelpRequest(const std::vector<std::string>& args) {
  return args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
}

}  // namespace

int RunVaultkeep(const std::vector<std::string>& args, const ToolStreams& streams) {
  if (IsHelpRequest(args)) {
    return WriteSecret(streams.output_fd, kUsage, sizeof(kUsage) - 1) ? kExitSuccess : kExitFailure;
  }
  std::optional<Invocation> invocation = ParseArguments(args);
  if (!invocation) {
    return kExitUsage;
  }
  CFOwner<SecKeychainRef> keychain;
  if (invocation->keychain_path) {
    OSStatus status = SecKeychainOpen(invocation->keychain_path->c_str(), OutParam(&keychain));
    if (status != errSecSuccess) {
      return Report(streams, status);
    }
  }
  std::optional<Command> command = CommandFromWord(invocation->command_word);
  if (!command) {
    return kExitUsage;  // `keychain` is released on the way out
  }
  return RunCommand(*command, Context{streams, keychain.get(), *invocation});
}

}  // namespace vaultkeep
