// Segments, file names and the output file: the engine's local pieces.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "download/internal/file_names.h"
#include "download/internal/output_file.h"
#include "download/internal/segment_table.h"
#include "runtime/text.h"

namespace vorel::download::internal {
namespace {

using namespace runtime::literals;

std::vector<std::pair<std::int64_t, std::int64_t>> Layout(const SegmentTable& table) {
  std::vector<std::pair<std::int64_t, std::int64_t>> out;
  for (const Segment& s : table.Snapshot()) out.emplace_back(s.start, s.length);
  return out;
}

TEST(SegmentTableTest, SplitsIntoEqualPartsWithTheRemainderLast) {
  using V = std::vector<std::pair<std::int64_t, std::int64_t>>;
  SegmentTable t;
  t.Split(1000000, 5, 20480);
  EXPECT_EQ(
      Layout(t),
      (V{{0, 200000}, {200000, 200000}, {400000, 200000}, {600000, 200000}, {800000, 200000}}));
  t.Split(1000003, 5, 20480);
  EXPECT_EQ(Layout(t).back(), (std::pair<std::int64_t, std::int64_t>{800000, 200003}));
  t.Split(15000, 5, 20480);
  EXPECT_EQ(Layout(t), (V{{0, 15000}}));
  t.Split(20480, 5, 20480);
  EXPECT_EQ(t.size(), 5);
  t.Split(3000, 5, 1024);  // below 4096 always one
  EXPECT_EQ(t.size(), 1);
  std::int64_t big = (std::int64_t{5} << 32) + 7;  // sizes past 4 GiB keep all their bits
  t.Split(big, 5, 20480);
  EXPECT_EQ(Layout(t).back().first + Layout(t).back().second, big);
  EXPECT_EQ(Layout(t)[1].first, big / 5);
}

TEST(SegmentTableTest, NewConnectionTakesAFreeSegmentThenSplitsTheLargest) {
  SegmentTable t;
  t.Split(1000000, 2, 20480);
  t.Claim(0, 1);
  EXPECT_EQ(t.PickForNewConnection(2, 20480), 1);
  t.Commit(0, 100000);  // segment 0 lacks 100000, segment 1 lacks 500000
  int fresh = t.PickForNewConnection(3, 20480);
  ASSERT_EQ(fresh, 2);
  Segment old = t.Get(1), made = t.Get(2);
  EXPECT_EQ(made.length, 250000);
  EXPECT_EQ(made.start, 750000);
  EXPECT_EQ(old.length, 250000);
  EXPECT_TRUE(made.split);
  // Segments too small to share are not split.
  t.Split(50000, 1, 20480);
  t.Claim(0, 1);
  EXPECT_EQ(t.PickForNewConnection(2, 20480), 1);   // 50000 >= 40960: split
  EXPECT_EQ(t.PickForNewConnection(3, 20480), -1);  // 25000 left each: no
}

TEST(SegmentTableTest, ReservationsNeverReachPastTheSegment) {
  SegmentTable t;
  t.Split(100000, 2, 20480);
  t.Claim(0, 1);
  t.Commit(0, 45000);
  SegmentTable::Span span = t.Reserve(0, 20480);
  EXPECT_EQ(span.offset, 45000);
  EXPECT_EQ(span.count, 5000);  // clamped to what the segment lacks
  t.Commit(0, 20480);
  EXPECT_EQ(t.Get(0).done, 50000);
  EXPECT_EQ(t.Reserve(0, 10).count, 0);
}

TEST(SegmentTableTest, WholeBodyFillsGapsButLeavesOtherConnectionsSegments) {
  SegmentTable t;
  t.Split(100000, 4, 20480);  // 25000 each
  t.Claim(0, 1);              // the probe keeps its own
  t.Claim(2, 7);              // the whole-body reader's former segment
  t.Commit(1, 5000);
  std::vector<std::pair<std::int64_t, std::int64_t>> writes;
  auto write = [&](std::int64_t off, std::int64_t, std::int64_t n) { writes.emplace_back(off, n); };
  EXPECT_EQ(t.FillFromBody(0, 100000, 7, write), 20000 + 25000 + 25000);
  EXPECT_EQ(writes, (std::vector<std::pair<std::int64_t, std::int64_t>>{
                        {30000, 20000}, {50000, 25000}, {75000, 25000}}));
  EXPECT_EQ(t.FirstMissing(), 0);
  EXPECT_FALSE(t.HasUnownedGap(7));
  t.Release(0);
  EXPECT_TRUE(t.HasUnownedGap(7));
}

TEST(FileNamesTest, ServerNamesStayInsideTheirFolder) {
  EXPECT_EQ(SafeFileName("../AC/DC"), "_AC_DC");
  EXPECT_EQ(SafeFileName("../../etc/passwd"), "_.._etc_passwd");
  EXPECT_EQ(SafeFileName(".."), "download");
  EXPECT_EQ(SafeFileName(".hidden"), "hidden");
  EXPECT_EQ(SafeFileName("a\r\nb\x01.mp3"), "a__b_.mp3");
  EXPECT_EQ(SafeFileName(""), "download");
  runtime::Text chinese = "歌"_t;
  runtime::Text long_name;
  for (int i = 0; i < 100; ++i) long_name += chinese;  // 300 bytes as UTF-8
  runtime::Text cut = SafeFileName(long_name);
  EXPECT_EQ(runtime::Utf8FromText(cut).size(), 255u);
  EXPECT_EQ(cut.size() % chinese.size(), 0u);  // whole characters only
}

TEST(FileNamesTest, NamesFromTargetsAreDecodedAndMadeSafe) {
  EXPECT_EQ(FileNameFromTarget("/dir/a%20b+c.mp3"), "a b c.mp3");
  EXPECT_EQ(FileNameFromTarget("/x/100%.mp3"), "100%.mp3");
  EXPECT_EQ(FileNameFromTarget("/x/%zz%4"), "%zz%4");
  EXPECT_EQ(FileNameFromTarget("/x/..%2F..%2Fevil"), "_.._evil");
  EXPECT_EQ(FileNameFromTarget("/x/%E6%AD%8C.mp3"), "歌.mp3"_t);
  EXPECT_EQ(FileNameFromTarget("/"), "download");
}

TEST(FileNamesTest, AutomaticNamesCountUpToNinetyNine) {
  EXPECT_EQ(NextAutoName("/m/song.mp3"), "/m/song(1).mp3");
  EXPECT_EQ(NextAutoName("/m/song(1).mp3"), "/m/song(2).mp3");
  EXPECT_EQ(NextAutoName("/m/song(42).mp3"), "/m/song(43).mp3");
  EXPECT_EQ(NextAutoName("/m/song(99).mp3"), std::nullopt);
  EXPECT_EQ(NextAutoName("/m/song(abc).mp3"), "/m/song(abc)(1).mp3");
  EXPECT_EQ(NextAutoName("/m/Mr. Big.mp3"), "/m/Mr. Big(1).mp3");
  EXPECT_EQ(NextAutoName("/m.d/noext"), "/m.d/noext(1)");
  EXPECT_EQ(NextAutoName("/m/.mp3"), "/m/(1).mp3");
}

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vorel-output-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(OutputFileTest, WritesLandThroughMovingWindowsAndNeverPastTheEnd) {
  int error = 0;
  const std::int64_t size = 3 << 20;
  auto file = OutputFile::Create(dir_ + "/f", size, &error);
  ASSERT_NE(file, nullptr);
  MappedWindow window;
  EXPECT_TRUE(file->Write(window, size - 10, "0123456789", 10));
  EXPECT_FALSE(file->Write(window, size - 5, "overflowing", 11));  // refused, not written
  EXPECT_TRUE(file->Write(window, 5, "abc", 3));                   // the window moves back
  EXPECT_TRUE(file->Write(window, (1 << 20) - 2, "straddle", 8));  // across a window edge
  OutputFile::Unmap(window);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/f"));  // no name before it is finished
  EXPECT_TRUE(file->Publish(&error));
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::FILE* f = std::fopen((dir_ + "/f").c_str(), "rb");
  ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
  EXPECT_EQ(bytes.substr(size - 10), "0123456789");
  EXPECT_EQ(bytes.substr(5, 3), "abc");
  EXPECT_EQ(bytes.substr((1 << 20) - 2, 8), "straddle");
  EXPECT_EQ(bytes[4], '\0');

  EXPECT_EQ(OutputFile::Create(dir_ + "/f", 10, &error), nullptr);
  EXPECT_EQ(error, EEXIST);
  auto empty = OutputFile::Create(dir_ + "/empty", 0, &error);
  ASSERT_NE(empty, nullptr);
  ASSERT_TRUE(empty->Publish(&error));
  EXPECT_EQ(std::filesystem::file_size(dir_ + "/empty"), 0u);
}

TEST_F(OutputFileTest, DiscardedOrOvertakenFilesLeaveNothingBehind) {
  int error = 0;
  auto dropped = OutputFile::Create(dir_ + "/d", 4096, &error);
  ASSERT_NE(dropped, nullptr);
  dropped->Discard();
  auto overtaken = OutputFile::Create(dir_ + "/o", 4096, &error);
  ASSERT_NE(overtaken, nullptr);
  std::fclose(std::fopen((dir_ + "/o").c_str(), "wb"));  // someone takes the name meanwhile
  EXPECT_FALSE(overtaken->Publish(&error));
  EXPECT_EQ(error, EEXIST);
  overtaken->Discard();
  EXPECT_EQ(std::filesystem::file_size(dir_ + "/o"), 0u);  // the other file is untouched
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/d"));
}

TEST_F(OutputFileTest, NoRoomGivesAnErrorInsteadOfAFaultLater) {
  // A file-size limit stands in for a full disk: the size cannot be reserved.
  struct sigaction ignore {
  }, saved{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &saved);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 65536;
  setrlimit(RLIMIT_FSIZE, &small);
  int error = 0;
  auto file = OutputFile::Create(dir_ + "/big", 1 << 20, &error);
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &saved, nullptr);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(error, EFBIG);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/big"));
}

}  // namespace
}  // namespace vorel::download::internal
