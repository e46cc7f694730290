// What the command line and a desktop's "open" request accept, and the line each refusal gets.

#include "app/desktop/command_line.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vorel::desktop {
namespace {

namespace fs = std::filesystem;

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vorel_cl_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sub folder");
    std::ofstream(dir_ / "a.mp3") << "x";
    std::ofstream(dir_ / "歌 曲.mp3") << "x";
    ::mkfifo((dir_ / "pipe.mp3").c_str(), 0644);
  }
  void TearDown() override { fs::remove_all(dir_); }

  CommandLine Parse(std::vector<std::string> args) {
    std::vector<const char*> argv = {"vorel"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), dir_.string());
  }

  fs::path dir_;
};

TEST_F(CommandLineTest, FilesAndAddressesBecomeItemsInOrder) {
  CommandLine cl =
      Parse({"a.mp3", "https://127.0.0.1:8080/music/Song%20One.mp3?x=1",
             (dir_ / "sub folder" / ".." / "歌 曲.mp3").string(),
             "file://" + dir_.string() + "/%E6%AD%8C%20%E6%9B%B2.mp3", "HTTP://127.0.0.1/"});
  EXPECT_TRUE(cl.problems.empty()) << cl.problems.front();
  ASSERT_EQ(cl.items.size(), 5u);
  EXPECT_EQ(cl.items[0],
            (OpenItem{OpenItem::Kind::kLocalFile, (dir_ / "a.mp3").string(), "a.mp3"}));
  EXPECT_EQ(cl.items[1].kind, OpenItem::Kind::kNetwork);
  EXPECT_EQ(cl.items[1].title, "Song%20One.mp3");
  EXPECT_EQ(cl.items[2].location, (dir_ / "歌 曲.mp3").string());  // made absolute and normal
  EXPECT_EQ(cl.items[3], cl.items[2]);                             // the same file as a URI
  EXPECT_EQ(cl.items[4].title, "HTTP://127.0.0.1/");               // no segment: the address
  EXPECT_EQ(cl.item_arguments, 5);
}

TEST_F(CommandLineTest, EachUnusableArgumentIsNamedOnItsOwnLineAndTheRestKept) {
  const std::string bad_utf8 = "\xff\xfe.mp3";
  std::ofstream(dir_ / bad_utf8) << "x";
  CommandLine cl =
      Parse({"sub folder", "missing.mp3", "pipe.mp3", bad_utf8, "a.mp3", "ftp://127.0.0.1/a.mp3",
             "http://", "http://127.0.0.1/a b.mp3", "file://otherhost/a.mp3", ""});
  ASSERT_EQ(cl.items.size(), 1u);
  EXPECT_EQ(cl.items[0].title, "a.mp3");
  const std::vector<std::string> expected = {
      "vorel: " + (dir_ / "sub folder").string() +
          ": is a folder, not a song (the player's 打开 button adds a folder)",
      "vorel: " + (dir_ / "missing.mp3").string() + ": no such file",
      "vorel: " + (dir_ / "pipe.mp3").string() + ": is not a regular file",
      "vorel: \\xFF\\xFE.mp3: the name is not valid UTF-8, so it cannot be kept in the list",
      "vorel: ftp://127.0.0.1/a.mp3: only files and http or https addresses can be opened",
      "vorel: http://: the address has no host",
      "vorel: http://127.0.0.1/a b.mp3: an address may not hold spaces or control characters",
      "vorel: file://otherhost/a.mp3: only files on this computer can be opened",
      "vorel: an empty argument names no file",
  };
  EXPECT_EQ(cl.problems, expected);
  EXPECT_EQ(cl.item_arguments, 10);
}

TEST_F(CommandLineTest, AHugeArgumentGetsAShortLine) {
  const std::string huge = "/no/" + std::string(1 << 20, 'x') + ".mp3";
  CommandLine cl = Parse({huge, "ftp://" + std::string(5000, '\x01')});
  ASSERT_EQ(cl.problems.size(), 2u);
  EXPECT_EQ(cl.problems[0],
            "vorel: /no/" + std::string(196, 'x') + "…: is too long for a file name or an address");
  EXPECT_LT(cl.problems[1].size(), 300u);
  EXPECT_EQ(cl.problems[1].find('\x01'), std::string::npos);
  // A character is never cut in half.
  EXPECT_EQ(PrintableName(std::string(199, 'a') + "歌"), std::string(199, 'a') + "…");
  EXPECT_EQ(PrintableName(std::string(197, 'a') + "歌"), std::string(197, 'a') + "歌");
}

TEST_F(CommandLineTest, OptionsAndTheEndOfOptions) {
  std::ofstream(dir_ / "-v.mp3") << "x";
  CommandLine cl = Parse({"--help", "--version", "--", "-v.mp3", "--help"});
  EXPECT_TRUE(cl.show_help);
  EXPECT_TRUE(cl.show_version);
  EXPECT_TRUE(cl.bad_option.empty());
  ASSERT_EQ(cl.items.size(), 1u);  // after "--" names are files, even "--help"
  EXPECT_EQ(cl.items[0].title, "-v.mp3");
  EXPECT_EQ(cl.problems.size(), 1u);
  EXPECT_EQ(Parse({"-x", "--frobnicate"}).bad_option, "-x");
}

TEST_F(CommandLineTest, TenThousandArgumentsAreAllChecked) {
  std::vector<std::string> args(10000, "a.mp3");
  args[5000] = "sub folder";
  CommandLine cl = Parse(args);
  EXPECT_EQ(cl.items.size(), 9999u);
  EXPECT_EQ(cl.problems.size(), 1u);
  EXPECT_EQ(cl.item_arguments, 10000);
}

TEST_F(CommandLineTest, DesktopRequestsMustBeAddresses) {
  std::string problem;
  ProblemKind kind;
  EXPECT_FALSE(CheckItem("a.mp3", ItemSyntax::kUriOnly, dir_.string(), &problem, &kind));
  EXPECT_EQ(kind, ProblemKind::kUnusable);
  EXPECT_FALSE(CheckItem("file:///no/such.mp3", ItemSyntax::kUriOnly, "/", &problem, &kind));
  EXPECT_EQ(kind, ProblemKind::kMissing);
  EXPECT_FALSE(CheckItem("file:///bad%zz", ItemSyntax::kUriOnly, "/", &problem, &kind));
  EXPECT_EQ(problem, "vorel: file:///bad%zz: not a valid file address");
  EXPECT_FALSE(CheckItem("file:///a%00b", ItemSyntax::kUriOnly, "/", &problem, &kind));
  EXPECT_FALSE(CheckItem("smb://host/a.mp3", ItemSyntax::kUriOnly, "/", &problem, &kind));
  EXPECT_EQ(kind, ProblemKind::kUnsupported);
  EXPECT_TRUE(CheckItem("file://localhost" + (dir_ / "a.mp3").string(), ItemSyntax::kUriOnly, "/",
                        &problem, &kind));
}

}  // namespace
}  // namespace vorel::desktop
