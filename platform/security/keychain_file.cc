#include "platform/security/keychain_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>
#include <utility>

namespace security_store {
namespace {

constexpr std::size_t kHeaderSize = sizeof(kKeychainMagic) + 4 + 4;  // magic, version, item count
constexpr std::size_t kTrailerSize = 4;                              // checksum

void PutU32(std::uint32_t value, Bytes* out) {
  for (int shift = 0; shift < 32; shift += 8) {
    out->push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

void PutField(const std::uint8_t* data, std::size_t size, Bytes* out) {
  PutU32(static_cast<std::uint32_t>(size), out);
  out->insert(out->end(), data, data + size);
}

void PutString(const std::string& text, Bytes* out) {
  PutField(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), out);
}

void PutItem(const KeychainItem& item, Bytes* out) {
  PutString(item.service, out);
  PutString(item.account, out);
  PutField(item.secret.data(), item.secret.size(), out);
  out->push_back(item.access ? 1 : 0);
  if (item.access) {
    PutString(item.access->descriptor, out);
    PutU32(static_cast<std::uint32_t>(item.access->trusted_apps.size()), out);
    for (const std::string& app : item.access->trusted_apps) {
      PutString(app, out);
    }
  }
}

// Reads fields from a byte range; every read checks the bytes left, so a damaged length can never
// make it read past the end or allocate more than the file holds.
class FieldReader {
 public:
  FieldReader(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}

  bool U32(std::uint32_t* value) {
    if (left_ < 4) {
      return false;
    }
    *value = 0;
    for (int i = 3; i >= 0; --i) {
      *value = (*value << 8) | data_[i];
    }
    Skip(4);
    return true;
  }
  bool Byte(std::uint8_t* value) {
    if (left_ < 1) {
      return false;
    }
    *value = data_[0];
    Skip(1);
    return true;
  }
  template <typename Container>
  bool Field(Container* out) {
    std::uint32_t size = 0;
    if (!U32(&size) || size > left_) {
      return false;
    }
    out->assign(data_, data_ + size);
    Skip(size);
    return true;
  }
  bool AtEnd() const { return left_ == 0; }

 private:
  void Skip(std::size_t n) {
    data_ += n;
    left_ -= n;
  }

  const std::uint8_t* data_;
  std::size_t left_;
};

bool ReadAccess(FieldReader* reader, AccessList* access) {
  std::uint32_t app_count = 0;
  if (!reader->Field(&access->descriptor) || !reader->U32(&app_count)) {
    return false;
  }
  for (std::uint32_t i = 0; i < app_count; ++i) {
    std::string app;
    if (!reader->Field(&app)) {
      return false;
    }
    access->trusted_apps.push_back(std::move(app));
  }
  return true;
}

bool ReadItem(FieldReader* reader, KeychainItem* item) {
  std::uint8_t has_access = 0;
  if (!reader->Field(&item->service) || !reader->Field(&item->account) ||
      !reader->Field(&item->secret) || !reader->Byte(&has_access) || has_access > 1) {
    return false;
  }
  if (has_access == 1) {
    item->access.emplace();
    return ReadAccess(reader, &*item->access);
  }
  return true;
}

bool HasDuplicates(const KeychainContents& contents) {
  std::vector<const KeychainItem*> sorted;
  for (const KeychainItem& item : contents.items) {
    sorted.push_back(&item);
  }
  auto key = [](const KeychainItem* item) { return std::tie(item->service, item->account); };
  std::sort(sorted.begin(), sorted.end(),
            [&](const KeychainItem* a, const KeychainItem* b) { return key(a) < key(b); });
  return std::adjacent_find(sorted.begin(), sorted.end(), [&](const auto* a, const auto* b) {
           return key(a) == key(b);
         }) != sorted.end();
}

}  // namespace

KeychainItem* KeychainContents::Find(const std::string& service, const std::string& account) {
  for (KeychainItem& item : items) {
    if (item.service == service && item.account == account) {
      return &item;
    }
  }
  return nullptr;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  static const std::array<std::uint32_t, 256> kTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) {
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      }
      table[n] = c;
    }
    return table;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc = kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  }
  return crc ^ 0xFFFFFFFFu;
}

Bytes EncodeKeychain(const KeychainContents& contents) {
  Bytes out;
  out.insert(out.end(), kKeychainMagic, kKeychainMagic + sizeof(kKeychainMagic));
  PutU32(kKeychainFormatVersion, &out);
  PutU32(static_cast<std::uint32_t>(contents.items.size()), &out);
  for (const KeychainItem& item : contents.items) {
    PutItem(item, &out);
  }
  PutU32(Crc32(out.data(), out.size()), &out);
  return out;
}

OSStatus DecodeKeychain(const std::uint8_t* data, std::size_t size, KeychainContents* contents) {
  if (size < kHeaderSize + kTrailerSize ||
      std::memcmp(data, kKeychainMagic, sizeof(kKeychainMagic)) != 0) {
    return errSecInvalidKeychain;
  }
  FieldReader header(data + sizeof(kKeychainMagic), 8);
  std::uint32_t version = 0;
  std::uint32_t count = 0;
  header.U32(&version);
  header.U32(&count);
  // The version is looked at before the checksum: a newer writer may have changed the trailer.
  if (version > kKeychainFormatVersion) {
    return errSecWrongSecVersion;
  }
  std::uint32_t stored_crc = 0;
  FieldReader(data + size - kTrailerSize, kTrailerSize).U32(&stored_crc);
  if (version == 0 || stored_crc != Crc32(data, size - kTrailerSize)) {
    return errSecInvalidKeychain;
  }
  FieldReader reader(data + kHeaderSize, size - kHeaderSize - kTrailerSize);
  KeychainContents decoded;
  for (std::uint32_t i = 0; i < count; ++i) {
    KeychainItem item;
    if (!ReadItem(&reader, &item)) {
      return errSecInvalidKeychain;
    }
    decoded.items.push_back(std::move(item));
  }
  if (!reader.AtEnd() || HasDuplicates(decoded)) {
    return errSecInvalidKeychain;
  }
  *contents = std::move(decoded);
  return errSecSuccess;
}

}  // namespace security_store
