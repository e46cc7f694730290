// Decoding channels (read with BASS_ChannelGetData instead of played): exact samples, where a
// seek lands, memory and part-of-file sources, and input that is not audio.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/audio/bass_table.h"
#include "tests/audio/test_media.h"

namespace vorel::audio_test {
namespace {

const BassTable& B() { return Bass(); }
constexpr DWORD kNoData = static_cast<DWORD>(-1);

class DecodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr)) << B().ErrorGetCode();
  }
  void TearDown() override { B().Free(); }
};

// Reads a 16-bit channel to its end.
std::vector<int16_t> ReadAll(HSTREAM h) {
  std::vector<int16_t> out;
  int16_t buf[2048];
  for (;;) {
    const DWORD n = B().ChannelGetData(h, buf, sizeof buf);
    if (n == static_cast<DWORD>(-1)) break;
    out.insert(out.end(), buf, buf + n / 2);
  }
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_ENDED);
  return out;
}

// Seconds from the current position to the first sample louder than about -30 dB.
double SecondsToSound(HSTREAM h, int rate, int channels) {
  int16_t buf[4096];
  size_t frames = 0;
  for (;;) {
    const DWORD n = B().ChannelGetData(h, buf, sizeof buf);
    if (n == static_cast<DWORD>(-1)) return -1;
    for (size_t i = 0; i < n / 2; ++i) {
      if (std::abs(buf[i]) > 1000) return static_cast<double>(frames + i / channels) / rate;
    }
    frames += n / 2 / channels;
  }
}

TEST_F(DecodeTest, DeliversExactlyTheSamplesOfAWavFile) {
  const std::string path = ToneWav(1000, 3);
  HSTREAM h = B().StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u) << B().ErrorGetCode();
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_PLAYING);
  EXPECT_FALSE(B().ChannelPlay(h, FALSE));
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_DECODE);
  const std::vector<int16_t> got = ReadAll(h);
  const Pcm want = ReadWav(path);
  ASSERT_EQ(got.size(), want.samples.size());
  EXPECT_EQ(got, want.samples);
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_STOPPED);
  EXPECT_EQ(B().ChannelGetPosition(h, BASS_POS_BYTE), got.size() * 2);
  EXPECT_EQ(B().ChannelGetLength(h, BASS_POS_BYTE), got.size() * 2);
}

TEST_F(DecodeTest, FloatChannelCountsItsOwnSampleSize) {
  const std::string path = ToneWav(1000, 1);
  HSTREAM h =
      B().StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(B().ChannelGetLength(h, BASS_POS_BYTE), 44100u * 2 * 4);
  float buf[4096];
  EXPECT_EQ(B().ChannelGetData(h, buf, sizeof buf), static_cast<DWORD>(-1));  // 16-bit asked
  ASSERT_EQ(B().ChannelGetData(h, buf, sizeof buf | BASS_DATA_FLOAT), sizeof buf);
  EXPECT_EQ(B().ChannelGetPosition(h, BASS_POS_BYTE), sizeof buf);
  const Pcm want = ReadWav(path);
  for (size_t i = 0; i < 4096; ++i) EXPECT_NEAR(buf[i], want.samples[i] / 32768.0f, 1e-4f);
}

// FFmpeg's command decodes the same file as a reference: another decoder, so equal within the
// rounding of two float synthesis filters, but the same frames in the same order.
TEST_F(DecodeTest, StereoMp3GivesTheSamplesOfAReferenceDecoder) {
  // A different tone on each side, so that swapped or mixed channels show.
  const std::string mp3 = MakeAudio(
      "left440right1000.mp3", "aevalsrc=exprs=0.5*sin(2*PI*440*t)|0.5*sin(2*PI*1000*t):s=44100:d=2",
      "-c:a libmp3lame -b:a 128k");
  const std::string raw = TempDir() + "/left440right1000.f32";
  ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -i \"" + mp3 +
                         "\" -f f32le -c:a pcm_f32le \"" + raw + "\"")
                            .c_str()),
            0);
  const std::string want_bytes = ReadBytes(raw);
  HSTREAM h =
      B().StreamCreateFile(FALSE, mp3.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
  ASSERT_NE(h, 0u);
  std::vector<float> got;
  float buf[2048];
  for (DWORD n; (n = B().ChannelGetData(h, buf, sizeof buf | BASS_DATA_FLOAT)) != kNoData;) {
    got.insert(got.end(), buf, buf + n / sizeof(float));
  }
  ASSERT_EQ(got.size() * sizeof(float), want_bytes.size());
  std::vector<float> want(got.size());
  std::memcpy(want.data(), want_bytes.data(), want_bytes.size());
  float worst = 0;
  for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(got[i] - want[i]));
  EXPECT_LT(worst, 1e-5f);
}

TEST_F(DecodeTest, Mp3DecodesToItsTrueLength) {
  HSTREAM h = B().StreamCreateFile(FALSE, ToneMp3(1000, 3).c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  const double claimed = B().ChannelBytes2Seconds(h, B().ChannelGetLength(h, BASS_POS_BYTE));
  EXPECT_NEAR(claimed, 3.0, 0.05);
  const std::vector<int16_t> got = ReadAll(h);
  EXPECT_NEAR(got.size() / 2 / 44100.0, 3.0, 0.03);
  // Once decoded to the end, the length is the decoded one.
  EXPECT_EQ(B().ChannelGetLength(h, BASS_POS_BYTE), got.size() * 2);
}

struct LateTone {
  const char* label;
  std::string (*make)();
};

void PrintTo(const LateTone& t, std::ostream* os) { *os << t.label; }

class SeekLandingTest : public DecodeTest, public ::testing::WithParamInterface<LateTone> {};

TEST_P(SeekLandingTest, SeekLandsWithin50Milliseconds) {
  const std::string path = GetParam().make();
  HSTREAM h = B().StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  // The tone starts at 2.0 s.
  for (double from : {1.9, 1.5, 0.5, 1.95}) {
    SCOPED_TRACE(from);
    ASSERT_TRUE(B().ChannelSetPosition(h, B().ChannelSeconds2Bytes(h, from), BASS_POS_BYTE));
    EXPECT_NEAR(B().ChannelBytes2Seconds(h, B().ChannelGetPosition(h, BASS_POS_BYTE)), from, 1e-4);
    EXPECT_NEAR(SecondsToSound(h, 44100, 2), 2.0 - from, 0.05);
  }
  ASSERT_TRUE(B().ChannelSetPosition(h, B().ChannelSeconds2Bytes(h, 3.0), BASS_POS_BYTE));
  EXPECT_NEAR(SecondsToSound(h, 44100, 2), 0.0, 0.05);
}

INSTANTIATE_TEST_SUITE_P(Formats, SeekLandingTest,
                         ::testing::Values(LateTone{"wav", &LateToneWav},
                                           LateTone{"mp3", &LateToneMp3}),
                         [](const auto& info) { return info.param.label; });

// Of a long song FFmpeg keeps only every other frame in its seek index (past 64 KiB of it); a
// seek back after the whole song was read must still land on its frame.
TEST_F(DecodeTest, ASeekBackAfterALongSongWasReadLandsOnItsFrame) {
#define VOREL_LATE "if(gte(t\\,2)\\,0.9*sin(2*PI*1000*t)\\,0)"
  const std::string path =
      MakeAudio("late_long.mp3", "aevalsrc=exprs=" VOREL_LATE "|" VOREL_LATE ":s=44100:d=100",
                "-c:a libmp3lame -b:a 128k");
#undef VOREL_LATE
  HSTREAM h = B().StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(h, 0u);
  EXPECT_NEAR(ReadAll(h).size() / 2 / 44100.0, 100.0, 0.05);
  for (double from : {1.9, 0.5, 1.95}) {
    SCOPED_TRACE(from);
    ASSERT_TRUE(B().ChannelSetPosition(h, B().ChannelSeconds2Bytes(h, from), BASS_POS_BYTE));
    EXPECT_NEAR(B().ChannelBytes2Seconds(h, B().ChannelGetPosition(h, BASS_POS_BYTE)), from, 1e-4);
    EXPECT_NEAR(SecondsToSound(h, 44100, 2), 2.0 - from, 0.05);
  }
}

TEST_F(DecodeTest, MemoryAndPartOfFileSourcesDecodeLikeTheFile) {
  const std::string path = ToneMp3(440, 2);
  const std::string bytes = ReadBytes(path);
  HSTREAM file = B().StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
  HSTREAM mem = B().StreamCreateFile(TRUE, bytes.data(), 0, bytes.size(), BASS_STREAM_DECODE);
  ASSERT_NE(file, 0u);
  ASSERT_NE(mem, 0u) << B().ErrorGetCode();
  EXPECT_EQ(ReadAll(mem), ReadAll(file));

  // The same file inside a bigger one, at an offset.
  const std::string wrapped = TempDir() + "/wrapped.bin";
  WriteBytes(wrapped, std::string(5000, 'x') + bytes + std::string(3000, 'y'));
  HSTREAM part =
      B().StreamCreateFile(FALSE, wrapped.c_str(), 5000, bytes.size(), BASS_STREAM_DECODE);
  ASSERT_NE(part, 0u) << B().ErrorGetCode();
  HSTREAM again = B().StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
  EXPECT_EQ(ReadAll(part), ReadAll(again));
  EXPECT_EQ(B().StreamCreateFile(TRUE, bytes.data(), 0, 0, 0), 0u);
}

TEST_F(DecodeTest, InputThatIsNotAudioGivesHandleZero) {
  const std::string dir = TempDir();
  WriteBytes(dir + "/empty.mp3", "");
  WriteBytes(dir + "/text.mp3", "This is a text file, not a song.\n");
  std::string noise(64 * 1024, '\0');
  srand(7);
  for (char& c : noise) c = static_cast<char>(rand());
  WriteBytes(dir + "/noise.mp3", noise);
  std::filesystem::create_directories(dir + "/folder.mp3");
  // A named pipe nobody writes to would block the caller for ever if it were opened.
  ASSERT_EQ(mkfifo((dir + "/pipe.mp3").c_str(), 0600), 0);
  for (const std::string& path :
       {dir + "/empty.mp3", dir + "/text.mp3", dir + "/noise.mp3", dir + "/folder.mp3",
        dir + "/missing.mp3", dir + "/pipe.mp3", std::string("/dev/zero"), std::string()}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(B().StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_SAMPLE_FX), 0u);
    EXPECT_NE(B().ErrorGetCode(), BASS_OK);
  }
  EXPECT_EQ(B().StreamCreateFile(FALSE, nullptr, 0, 0, 0), 0u);
}

TEST_F(DecodeTest, TruncatedMp3PlaysWhatIsThereAndEnds) {
  const std::string bytes = ReadBytes(ToneMp3(440, 3));
  const std::string path = TempDir() + "/truncated.mp3";
  WriteBytes(path, bytes.substr(0, bytes.size() / 2));
  HSTREAM d = B().StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(d, 0u);
  const double seconds = ReadAll(d).size() / 2 / 44100.0;
  EXPECT_GT(seconds, 1.2);
  EXPECT_LT(seconds, 1.8);

  HSTREAM h = B().StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(B().ChannelSetPosition(h, B().ChannelSeconds2Bytes(h, 1.0), BASS_POS_BYTE));
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
}

}  // namespace
}  // namespace vorel::audio_test
