#include "vaultkeep/keychain_tool.h"

#include <CoreFoundation/CoreFoundation.h>
#include <Security/Security.h>

#include <cstring>
#include <optional>

#include "vaultkeep/cf_ref.h"
#include "vaultkeep/command_line.h"
#include "vaultkeep/secret_io.h"

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

int report(const ToolStreams& streams, OSStatus status) {
  std::fprintf(streams.errors, kFailureMessage, static_cast<int>(status));
  std::fflush(streams.errors);
  return kExitFailure;
}

UInt32 length_of(const std::string& text) {
  return static_cast<UInt32>(text.size());
}

// Looks the item up, asking only for what the caller passes (either may be null).
OSStatus find_item(const Context& c, FoundSecret* secret, SecKeychainItemRef* item) {
  const Invocation& in = c.invocation;
  return SecKeychainFindGenericPassword(c.keychain, length_of(in.service), in.service.data(),
                                        length_of(in.account), in.account.data(),
                                        secret != nullptr ? secret->length() : nullptr,
                                        secret != nullptr ? secret->data() : nullptr, item);
}

// The exit status for a failed lookup.
int lookup_failure(const Context& c, OSStatus status) {
  return status == errSecItemNotFound ? kExitItemNotFound : report(c.streams, status);
}

int add_item(const Context& c, const SecretBuffer& secret) {
  const Invocation& in = c.invocation;
  OSStatus status = SecKeychainAddGenericPassword(
      c.keychain, length_of(in.service), in.service.data(), length_of(in.account),
      in.account.data(), static_cast<UInt32>(secret.size()), secret.data(), nullptr);
  if (status == errSecDuplicateItem) {
    return kExitDuplicateItem;
  }
  return status == errSecSuccess ? kExitSuccess : report(c.streams, status);
}

int run_read(const Context& c) {
  FoundSecret secret;
  if (OSStatus status = find_item(c, &secret, nullptr); status != errSecSuccess) {
    return lookup_failure(c, status);
  }
  return write_secret(c.streams.output_fd, secret.bytes(), secret.size()) ? kExitSuccess
                                                                          : kExitFailure;
}

int run_delete(const Context& c) {
  CFOwner<SecKeychainItemRef> item;
  if (OSStatus status = find_item(c, nullptr, OutParam(&item)); status != errSecSuccess) {
    return lookup_failure(c, status);
  }
  OSStatus status = SecKeychainItemDelete(item.get());
  return status == errSecSuccess ? kExitSuccess : report(c.streams, status);
}

int run_create(const Context& c) {
  SecretBuffer secret;
  if (!read_secret(c.streams.input_fd, &secret)) {
    return kExitFailure;
  }
  return add_item(c, secret);
}

int run_upsert(const Context& c) {
  SecretBuffer secret;
  if (!read_secret(c.streams.input_fd, &secret)) {
    return kExitFailure;
  }
  CFOwner<SecKeychainItemRef> item;
  OSStatus status = find_item(c, nullptr, OutParam(&item));
  if (status == errSecItemNotFound) {
    return add_item(c, secret);
  }
  if (status == errSecSuccess) {
    status = SecKeychainItemModifyAttributesAndData(
        item.get(), nullptr, static_cast<UInt32>(secret.size()), secret.data());
  }
  return status == errSecSuccess ? kExitSuccess : report(c.streams, status);
}

// Builds the access list "this program, then APP" and sets it on `item`.
int set_access(const Context& c, SecKeychainItemRef item) {
  CFOwner<SecTrustedApplicationRef> self;
  CFOwner<SecTrustedApplicationRef> app;
  OSStatus status = SecTrustedApplicationCreateFromPath(nullptr, OutParam(&self));
  if (status == errSecSuccess) {
    status = SecTrustedApplicationCreateFromPath(c.invocation.app.c_str(), OutParam(&app));
  }
  if (status != errSecSuccess) {
    return report(c.streams, status);
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
  return status == errSecSuccess ? kExitSuccess : report(c.streams, status);
}

int run_grant_app(const Context& c) {
  CFOwner<SecKeychainItemRef> item;
  if (OSStatus status = find_item(c, nullptr, OutParam(&item)); status != errSecSuccess) {
    return lookup_failure(c, status);
  }
  return set_access(c, item.get());
}

int run_command(Command command, const Context& c) {
  switch (command) {
    case Command::kRead:
      return run_read(c);
    case Command::kDelete:
      return run_delete(c);
    case Command::kCreate:
      return run_create(c);
    case Command::kUpsert:
      return run_upsert(c);
    case Command::kGrantApp:
      return run_grant_app(c);
  }
  return kExitUsage;
}

bool is_help_request(const std::vector<std::string>& args) {
  return args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
}

}  // namespace

int run_vaultkeep(const std::vector<std::string>& args, const ToolStreams& streams) {
  if (is_help_request(args)) {
    return write_secret(streams.output_fd, kUsage, sizeof(kUsage) - 1) ? kExitSuccess
                                                                       : kExitFailure;
  }
  std::optional<Invocation> invocation = parse_arguments(args);
  if (!invocation) {
    return kExitUsage;
  }
  CFOwner<SecKeychainRef> keychain;
  if (invocation->keychain_path) {
    OSStatus status = SecKeychainOpen(invocation->keychain_path->c_str(), OutParam(&keychain));
    if (status != errSecSuccess) {
      return report(streams, status);
    }
  }
  std::optional<Command> command = command_from_word(invocation->command_word);
  if (!command) {
    return kExitUsage;  // `keychain` is released on the way out
  }
  return run_command(*command, Context{streams, keychain.get(), *invocation});
}

}  // namespace vaultkeep
