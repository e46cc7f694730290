#include "runtime/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace vorel::runtime {
namespace {

using namespace literals;
namespace fs = std::filesystem;

class FilesTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("vorel_files_" + std::to_string(::getpid()) + "_" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  Text Path(const char* utf8_name) { return TextFromUtf8((dir_ / utf8_name).string()); }

  fs::path dir_;
};

TEST_F(FilesTest, WholeFilesRoundTripWithChineseNames) {
  Text path = Path("播放列表.txt");
  ASSERT_TRUE(WriteWholeFile(path, {Text("ab"), Bytes{}, Bytes{0, 1}}));
  EXPECT_EQ(ReadWholeFile(path), (Bytes{'a', 'b', 0, 1}));
  EXPECT_TRUE(fs::exists(dir_ / "播放列表.txt"));  // UTF-8 on disk
  EXPECT_TRUE(FileExists(path));
  EXPECT_FALSE(FileExists(TextFromUtf8(dir_.string())));  // a folder is not a file
  EXPECT_FALSE(FileExists(Path("missing")));
  EXPECT_TRUE(ReadWholeFile(Path("missing")).empty());
  EXPECT_FALSE(WriteWholeFile(Path("no/such/folder/x"), {Text("a")}));
}

TEST_F(FilesTest, OpenModesCreateTruncateOrRequireTheFile) {
  Text path = Path("data");
  EXPECT_EQ(OpenDataFile(path, FileMode::kRead), 0);  // read needs an existing file
  EXPECT_EQ(OpenDataFile(path, FileMode::kReadWrite), 0);
  EXPECT_EQ(OpenDataFile(path, static_cast<FileMode>(7)), 0);
  EXPECT_EQ(OpenDataFile(path, FileMode::kCreateWrite, static_cast<ShareMode>(5)), 0);
  EXPECT_EQ(OpenDataFile("", FileMode::kCreateWrite), 0);

  int f = OpenDataFile(path, FileMode::kCreateWrite);
  ASSERT_GT(f, 0);
  EXPECT_TRUE(WriteBytes(f, {Text("hello")}));
  CloseFile(f);

  f = OpenDataFile(path, FileMode::kOpenCreateWrite);  // open without truncating
  ASSERT_GT(f, 0);
  EXPECT_EQ(FileLength(f), 5);
  CloseFile(f);
  f = OpenDataFile(path, FileMode::kRead);
  EXPECT_FALSE(WriteBytes(f, {Text("x")}));  // read-only
  EXPECT_EQ(ReadBytes(f, 100), BytesFromText("hello"));
  CloseFile(f);
  f = OpenDataFile(path, FileMode::kCreateWrite);  // truncates
  EXPECT_EQ(FileLength(f), 0);
  CloseFile(f);
  EXPECT_EQ(FileLength(f), -1);  // closed numbers are dead
  EXPECT_EQ(OpenDataFile(TextFromUtf8(dir_.string()), FileMode::kRead), 0);
}

TEST_F(FilesTest, ShareModesAreHonouredWithinTheProcess) {
  Text path = Path("shared");
  // Others may read but not write.
  int writer = OpenDataFile(path, FileMode::kOpenCreateReadWrite, ShareMode::kDenyWrite);
  ASSERT_GT(writer, 0);
  int reader = OpenDataFile(path, FileMode::kRead, ShareMode::kNone);
  EXPECT_GT(reader, 0);
  EXPECT_EQ(OpenDataFile(path, FileMode::kWrite, ShareMode::kNone), 0);  // write is denied
  // The reader allows everything, but the writer's access must be allowed by a new deny-write.
  EXPECT_EQ(OpenDataFile(path, FileMode::kRead, ShareMode::kDenyWrite), 0);
  CloseFile(reader);
  int exclusive = OpenDataFile(path, FileMode::kRead, ShareMode::kExclusive);
  EXPECT_EQ(exclusive, 0);
  CloseFile(writer);
  exclusive = OpenDataFile(path, FileMode::kReadWrite, ShareMode::kExclusive);
  ASSERT_GT(exclusive, 0);
  EXPECT_EQ(OpenDataFile(path, FileMode::kRead, ShareMode::kNone), 0);
  // A denied create-and-truncate leaves the file untouched.
  WriteBytes(exclusive, {Text("keep")});
  EXPECT_EQ(OpenDataFile(path, FileMode::kCreateWrite, ShareMode::kNone), 0);
  EXPECT_EQ(FileLength(exclusive), 4);
  CloseFile(exclusive);
}

TEST_F(FilesTest, DataRoundTripsInItsBinaryLayout) {
  int f = OpenMemoryFile();
  ASSERT_TRUE(
      WriteData(f, {std::int32_t{7}, Text("名字"_t), Bytes{9, 8}, true, 2.5, std::int16_t{-1},
                    std::uint8_t{3}, std::int64_t{-9}, 1.5f, DateTime{45000.25}}));
  // 4 + 5 + (4 + 2) + 4 + 8 + 2 + 1 + 8 + 4 + 8 bytes: int, text, bytes, bool, ...
  EXPECT_EQ(FileLength(f), 50);
  MoveToFileStart(f);
  std::int32_t i = 0;
  Text t;
  Bytes b;
  bool flag = false;
  double d = 0;
  std::int16_t s = 0;
  std::uint8_t u = 0;
  std::int64_t l = 0;
  float fl = 0;
  DateTime dt;
  ASSERT_TRUE(ReadData(f, {&i, &t, &b, &flag, &d, &s, &u, &l, &fl, &dt}));
  EXPECT_EQ(i, 7);
  EXPECT_EQ(t, "名字"_t);
  EXPECT_EQ(b, (Bytes{9, 8}));
  EXPECT_TRUE(flag);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(s, -1);
  EXPECT_EQ(u, 3);
  EXPECT_EQ(l, -9);
  EXPECT_EQ(fl, 1.5f);
  EXPECT_EQ(dt.days, 45000.25);
  EXPECT_TRUE(AtFileEnd(f));
  EXPECT_FALSE(ReadData(f, {&i}));
  CloseFile(f);
}

TEST_F(FilesTest, ReadDataRejectsTruncatedRecordsAndRestoresThePosition) {
  int f = OpenMemoryFile();
  WriteBytes(f, {Bytes{100, 0, 0, 0, 1, 2}});  // a Bytes length of 100 with 2 bytes behind it
  MoveToFileStart(f);
  Bytes b;
  EXPECT_FALSE(ReadData(f, {&b}));
  EXPECT_TRUE(b.empty());
  Text t;
  std::int32_t i = 0;
  EXPECT_TRUE(ReadData(f, {&i}));  // the position was restored
  EXPECT_EQ(i, 100);
  EXPECT_FALSE(ReadData(f, {&t}));  // no NUL before the end
  CloseFile(f);
}

TEST_F(FilesTest, TextAndLinesStopAtNulAndEndOfFileMark) {
  int f = OpenMemoryFile();
  WriteBytes(f, {Text("one\r\ntwo\nthr"), Bytes{0x1A}, Text("ee"), Bytes{0}, Text("x")});
  MoveToFileStart(f);
  EXPECT_EQ(ReadLine(f), "one");
  EXPECT_EQ(ReadLine(f), "two");
  EXPECT_EQ(ReadLine(f), "thr");
  EXPECT_TRUE(AtFileEnd(f, true));  // 0x1A counts as the end
  EXPECT_FALSE(AtFileEnd(f));
  EXPECT_EQ(ReadLine(f), "");  // and stays unread
  EXPECT_EQ(ReadBytes(f, 1), (Bytes{0x1A}));
  EXPECT_EQ(ReadText(f), "ee");
  EXPECT_EQ(ReadText(f), "");
  EXPECT_EQ(ReadBytes(f, 1), (Bytes{0}));
  EXPECT_EQ(ReadText(f, 0), "");
  EXPECT_EQ(ReadText(f, 5), "x");
  EXPECT_TRUE(AtFileEnd(f));
  CloseFile(f);

  // A line longer than one 512-byte block.
  f = OpenMemoryFile();
  Text longline(1500, 'z');
  WriteText(f, {longline, Text("\n"), 42});
  MoveToFileStart(f);
  EXPECT_EQ(ReadLine(f), longline);
  EXPECT_EQ(ReadLine(f), "42");
  CloseFile(f);
}

TEST_F(FilesTest, DeleteDataMovesTheRestBackOnDiskAndInMemory) {
  Text path = Path("big");
  Bytes content(10000);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(WriteWholeFile(path, {content}));
  for (int f : {OpenDataFile(path, FileMode::kReadWrite), OpenMemoryFile()}) {
    ASSERT_GT(f, 0);
    if (FileLength(f) == 0) WriteBytes(f, {content});
    MoveToFileStart(f);
    ReadBytes(f, 100);
    ASSERT_TRUE(DeleteData(f, 5000));
    EXPECT_EQ(FileLength(f), 5000);
    MoveToFileStart(f);
    Bytes rest = ReadBytes(f, 10000);
    Bytes want(content.begin(), content.begin() + 100);
    want.insert(want.end(), content.begin() + 5100, content.end());
    EXPECT_EQ(rest, want);
    EXPECT_TRUE(DeleteData(f, -1) == false);
    CloseFile(f);
  }
}

TEST_F(FilesTest, InvalidNumbersAreHarmless) {
  EXPECT_EQ(FileLength(0), -1);
  EXPECT_EQ(FileLength(123456), -1);
  EXPECT_FALSE(WriteBytes(-1, {Text("x")}));
  EXPECT_TRUE(ReadBytes(99999, 4).empty());
  EXPECT_EQ(ReadLine(99999), "");
  EXPECT_FALSE(AtFileEnd(99999));
  EXPECT_FALSE(DeleteData(99999, 1));
  CloseFile(99999);
  int a = OpenMemoryFile(), b = OpenMemoryFile();
  EXPECT_NE(a, b);
  CloseFile(a);
  EXPECT_NE(OpenMemoryFile(), a);  // numbers are never reused
}

TEST_F(FilesTest, DirectoriesHaveNoTrailingSlash) {
  Text run = RunDirectory();
  ASSERT_FALSE(run.empty());
  EXPECT_NE(run.back(), '/');
  Text cwd = CurrentDirectory();
  ASSERT_FALSE(cwd.empty());
  EXPECT_NE(cwd.back(), '/');
}

}  // namespace
}  // namespace vorel::runtime
