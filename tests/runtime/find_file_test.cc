#include "runtime/find_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace vorel::runtime {
namespace {

using namespace literals;
namespace fs = std::filesystem;

class FindFileTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("vorel_find_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "sub" / ".hidden");
    for (const char* f : {"b.mp3", "A.MP3", "c.txt", "歌.mp3", "sub/x.mp3", ".h.mp3"}) {
      std::ofstream(root_ / f) << "x";
    }
    std::ofstream(root_ / ("bad\xFF.mp3")) << "x";  // not UTF-8
    fs::create_directory_symlink(root_, root_ / "loop");
    fs::create_symlink(root_ / "b.mp3", root_ / "link.mp3");
  }
  void TearDown() override { fs::remove_all(root_); }

  std::vector<Text> All(const char* pattern, int mask, bool any_after_first) {
    FindHandle h;
    std::vector<Text> names;
    Text p = TextFromUtf8((root_ / pattern).string());
    for (Text n = FindFile(p, mask, false, &h); !n.empty();
         n = FindFile({}, mask, any_after_first, &h)) {
      names.push_back(n);
    }
    EXPECT_FALSE(h.open);  // running out closes the search
    return names;
  }

  fs::path root_;
};

TEST_F(FindFileTest, Mp3SearchIgnoresCaseSortsAndSkipsBadNames) {
  EXPECT_EQ(All("*.mp3", 0x27, true),
            (std::vector<Text>{".h.mp3", "A.MP3", "b.mp3", "link.mp3", "歌.mp3"_t}));
}

TEST_F(FindFileTest, FolderSearchSkipsLinksToFoldersAndKeepsHiddenOnes) {
  EXPECT_EQ(All("*.*", 0x10, false), (std::vector<Text>{"sub"}));
  EXPECT_EQ(All("sub/*", 0x10, false), (std::vector<Text>{".hidden"}));
}

TEST_F(FindFileTest, AttributesFollowTheWindowsBits) {
  FindHandle h;
  Text p = TextFromUtf8((root_ / "*").string());
  FindFile(p, 0x37, false, &h);
  bool saw_hidden_file = false;
  for (const auto& e : h.entries) {
    if (e.name == ".h.mp3") {
      EXPECT_EQ(e.attributes & (kAttrHidden | kAttrArchive), kAttrHidden | kAttrArchive);
      saw_hidden_file = true;
    }
    if (e.name == "sub") {
      EXPECT_EQ(e.attributes & kAttrDirectory, kAttrDirectory);
    }
  }
  EXPECT_TRUE(saw_hidden_file);
  // A mask of 0 takes only entries without attributes: every file here has the archive bit.
  EXPECT_TRUE(All("*", 0, false).empty());
  CloseFind(&h);
  EXPECT_EQ(FindFile({}, 0x37, false, &h), "");  // a closed search yields nothing
}

TEST_F(FindFileTest, MissingFolderYieldsNothing) {
  FindHandle h;
  EXPECT_EQ(FindFile(TextFromUtf8((root_ / "nope/*.mp3").string()), 0x27, false, &h), "");
}

TEST(WildcardTest, StarAndQuestionMark) {
  EXPECT_TRUE(MatchesWildcard("song.Mp3", "*.mp3"));
  EXPECT_FALSE(MatchesWildcard("song.mp3x", "*.mp3"));
  EXPECT_TRUE(MatchesWildcard("a.b.c", "*.*"));
  EXPECT_TRUE(MatchesWildcard("abc", "*.*"));
  EXPECT_FALSE(MatchesWildcard("abc", "*.x"));
  EXPECT_TRUE(MatchesWildcard("abc", "a?c"));
  EXPECT_TRUE(MatchesWildcard("", "*"));
}

}  // namespace
}  // namespace vorel::runtime
