// Calls from several threads at once while decoding and output run on their own: nothing may
// crash, deadlock or act on a freed stream (the sanitizer build checks memory and races of
// object lifetime).
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/audio/bass_table.h"
#include "tests/audio/test_media.h"

namespace vorel::audio_test {
namespace {

const BassTable& B() { return Bass(); }

// Three threads call at random on four streams while the calling thread frees and replaces
// them twelve times, as the player does on every new song. Every freed handle reads as stopped.
void CallWhileStreamsComeAndGo() {
  const std::string path = ToneMp3(1000, 3);
  constexpr int kSlots = 4;
  std::atomic<HSTREAM> slots[kSlots];
  for (auto& s : slots) s = B().StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  std::atomic<bool> stop{false};
  std::atomic<long> calls{0};

  auto worker = [&](unsigned seed) {
    std::mt19937 rng(seed);
    float bands[128];
    float v;
    while (!stop) {
      const HSTREAM h = slots[rng() % kSlots].load();
      switch (rng() % 9) {
        case 0: B().ChannelPlay(h, FALSE); break;
        case 1: B().ChannelPause(h); break;
        case 2: B().ChannelIsActive(h); break;
        case 3: B().ChannelGetPosition(h, BASS_POS_BYTE); break;
        case 4: B().ChannelGetData(h, bands, BASS_DATA_FFT256); break;
        case 5: B().ChannelSetAttribute(h, BASS_ATTRIB_VOL, (rng() % 100) / 100.0f); break;
        case 6: B().ChannelGetAttribute(h, BASS_ATTRIB_VOL, &v); break;
        case 7:
          B().ChannelSetPosition(h, B().ChannelSeconds2Bytes(h, (rng() % 30) / 10.0),
                                 BASS_POS_BYTE);
          break;
        case 8: B().ChannelStop(h); break;
      }
      ++calls;
    }
  };
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < 3; ++i) threads.emplace_back(worker, i + 1);

  std::vector<HSTREAM> freed;
  for (int round = 0; round < 12; ++round) {
    const int i = round % kSlots;
    const HSTREAM fresh = B().StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    ASSERT_NE(fresh, 0u);
    B().ChannelPlay(fresh, FALSE);
    const HSTREAM old = slots[i].exchange(fresh);
    EXPECT_TRUE(B().StreamFree(old));
    freed.push_back(old);
    WaitUntil([&] { return calls.load() > (round + 1) * 2000L; }, 2);
  }
  stop = true;
  for (auto& t : threads) t.join();
  for (HSTREAM h : freed) EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_STOPPED);
}

TEST(ConcurrencyTest, CallsFromManyThreadsWhileStreamsComeAndGo) {
  ASSERT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr));
  CallWhileStreamsComeAndGo();
  EXPECT_TRUE(B().Free());
}

// The same through a real device callback: SDL mixes on its own thread while the stream list
// changes under it, and with a rest of 20 ms the device is closed and opened again over and
// over while other threads pause and play. Afterwards the device still plays what it is given.
TEST(ConcurrencyTest, SdlDeviceOpensAndClosesWhileStreamsComeAndGo) {
  const std::string raw = TempDir() + "/churn.raw";
  ScopedEnv env;
  env.UseSdlDiskDriver(raw);
  ScopedRest rest(0.02);
  ASSERT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr)) << B().ErrorGetCode();
  CallWhileStreamsComeAndGo();
  const HSTREAM h = B().StreamCreateFile(FALSE, ToneWav(440, 0.3).c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(B().ChannelPlay(h, TRUE)) << B().ErrorGetCode();
  EXPECT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  EXPECT_GT(B().ChannelGetPosition(h, BASS_POS_BYTE), 0u);
  EXPECT_TRUE(B().Free());
}

}  // namespace
}  // namespace vorel::audio_test
