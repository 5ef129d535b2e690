// Timings of the keychain file store (decode, encode, a locked change on disk) and of one vaultkeep
// command run in-process, for keychains of 10 to 1000 items.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/security/keychain_file.h"
#include "platform/security/keychain_store.h"
#include "platform/security/test_support.h"
#include "vaultkeep/keychain_tool.h"

namespace {

using security_store::Bytes;
using security_store::KeychainContents;
using security_store::KeychainItem;

KeychainContents MakeContents(int items) {
  KeychainContents contents;
  for (int i = 0; i < items; ++i) {
    KeychainItem item;
    item.service = "com.example.scoreboard";
    item.account = "account-" + std::to_string(i);
    item.secret.assign(64, static_cast<std::uint8_t>(i));
    contents.items.push_back(std::move(item));
  }
  return contents;
}

void BM_DecodeKeychain(benchmark::State& state) {
  Bytes image = security_store::EncodeKeychain(MakeContents(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    KeychainContents decoded;
    benchmark::DoNotOptimize(security_store::DecodeKeychain(image.data(), image.size(), &decoded));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_DecodeKeychain)->Arg(10)->Arg(100)->Arg(1000);

void BM_EncodeKeychain(benchmark::State& state) {
  KeychainContents contents = MakeContents(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(security_store::EncodeKeychain(contents));
  }
}
BENCHMARK(BM_EncodeKeychain)->Arg(10)->Arg(100)->Arg(1000);

// One locked read-change-replace cycle (with fsync) that rewrites one item's secret.
void BM_UpdateKeychain(benchmark::State& state) {
  security_store::ScopedTempDir dir;
  std::string path = dir.file("bench.keychain");
  KeychainContents initial = MakeContents(static_cast<int>(state.range(0)));
  security_store::UpdateKeychain(path, [&](KeychainContents* contents) {
    *contents = initial;
    return static_cast<OSStatus>(errSecSuccess);
  });
  std::uint8_t round = 0;
  for (auto _ : state) {
    OSStatus status = security_store::UpdateKeychain(path, [&](KeychainContents* contents) {
      contents->items[0].secret.assign(64, ++round);
      return static_cast<OSStatus>(errSecSuccess);
    });
    benchmark::DoNotOptimize(status);
  }
}
BENCHMARK(BM_UpdateKeychain)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

// vaultkeep read of one item, in-process, writing to /dev/null.
void BM_VaultkeepRead(benchmark::State& state) {
  security_store::ScopedTempDir dir;
  std::string path = dir.file("bench.keychain");
  security_store::UpdateKeychain(path, [&](KeychainContents* contents) {
    *contents = MakeContents(static_cast<int>(state.range(0)));
    return static_cast<OSStatus>(errSecSuccess);
  });
  int sink = ::open("/dev/null", O_WRONLY);
  vaultkeep::ToolStreams streams{-1, sink, stderr};
  std::vector<std::string> args = {"read", "com.example.scoreboard", "account-0", "--keychain",
                                   path};
  for (auto _ : state) {
    benchmark::DoNotOptimize(vaultkeep::run_vaultkeep(args, streams));
  }
  ::close(sink);
}
BENCHMARK(BM_VaultkeepRead)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
