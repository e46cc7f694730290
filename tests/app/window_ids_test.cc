// The typed window ids generated from windows.desc: a control's id carries its control type, so
// a property its type does not have is a build error; and the generator's own checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <type_traits>

#include "tests/testing/process.h"
#include "windows/window_ids.h"

namespace vorel {
namespace {

namespace fs = std::filesystem;
namespace controls = runtime::controls;
namespace property = runtime::property;

// Whether the property can be written on that control at all (checked at compile time).
template <class ControlConstant, class Prop>
constexpr bool Writable(ControlConstant control, Prop prop) {
  return requires { runtime::WriteProperty(ids::kMainWindow, control, prop, runtime::Value{}); };
}

static_assert(
    std::is_same_v<decltype(ids::kPlayPauseButton), const ids::Control<controls::SuperBtn>>);
static_assert(std::is_same_v<decltype(ids::kPlayList), const ids::Control<controls::ListView>>);
static_assert(std::is_same_v<decltype(ids::kMainWindowSelf), const ids::Control<controls::Window>>);
static_assert(Writable(ids::kPlayPauseButton, ids::kPropCaption));
static_assert(Writable(ids::kStatusCaption, ids::kPropCaption));
static_assert(!Writable(ids::kPlayList, ids::kPropCaption), "a list view has no caption");
static_assert(!Writable(ids::kStatusTimer, ids::kPropChecked), "a timer has no check state");
static_assert(!Writable(ids::kVolumeBar, ids::kPropMinimum), "a SuperBar has no minimum");
static_assert(Writable(ids::kStatusTimer, ids::kPropVisible), "every control has the shared ones");
// The same meaning has different numbers on different types; the table keeps them apart.
static_assert(runtime::kIndexOf<controls::SuperBtn, property::Caption> !=
              runtime::kIndexOf<controls::Label, property::Caption>);
static_assert(runtime::kIndexOf<controls::SliderBar, property::Position> !=
              runtime::kIndexOf<controls::SuperBar, property::Position>);

using Generated = testing::CommandOutcome;

Generated Generate(const std::string& desc, const fs::path& header) {
  const fs::path desc_path = header.parent_path() / "windows.desc";
  std::ofstream(desc_path) << desc;
  return testing::RunCommand(std::string(GEN_TEMPLATE_PATH) + " ids " + desc_path.string() + " " +
                             header.string());
}

std::string Read(const fs::path& path) { return testing::ReadWholeFile(path); }

class WindowIdsGeneratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vorel_ids_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

constexpr char kDesc[] =
    "window 0x52010001 key=Main own=0x06010000 words=1,2 size=10x10\n"
    "control 0x16010001 按钮 SuperBtn key=Go in=window at=0,0 size=5x5\n"
    "  on clicked DoIt\n"
    "control 0x16010002 时钟 Timer in=window at=0,0 size=5x5\n";

TEST_F(WindowIdsGeneratorTest, EachKeyedControlGetsAnIdTypedByItsControlType) {
  const fs::path header = dir_ / "window_ids.h";
  const Generated run = Generate(kDesc, header);
  ASSERT_EQ(run.code, 0) << run.output;
  const std::string text = Read(header);
  EXPECT_NE(text.find("inline constexpr WindowId kMain = 0x52010001;"), std::string::npos);
  EXPECT_NE(text.find("inline constexpr Control<controls::Window> kMainSelf{0x06010000};"),
            std::string::npos);
  EXPECT_NE(text.find("inline constexpr Control<controls::SuperBtn> kGo{0x16010001};  // 按钮"),
            std::string::npos);
  EXPECT_EQ(text.find("0x16010002"), std::string::npos) << "a control without key= gets no name";
}

TEST_F(WindowIdsGeneratorTest, AnUnchangedHeaderIsNotRewritten) {
  // Every feature includes the header: rewriting it for a change elsewhere in the description
  // (a picture, a caption) would rebuild most of the program.
  const fs::path header = dir_ / "window_ids.h";
  ASSERT_EQ(Generate(kDesc, header).code, 0);
  const auto written = fs::last_write_time(header);
  std::string moved = kDesc;
  moved.replace(moved.find("at=0,0 size=5x5\n  on"), 6, "at=3,3");
  ASSERT_EQ(Generate(moved, header).code, 0);
  EXPECT_EQ(fs::last_write_time(header), written);
}

TEST_F(WindowIdsGeneratorTest, DescriptionErrorsNameTheLineAndFailTheBuild) {
  const fs::path header = dir_ / "window_ids.h";
  Generated twice = Generate(
      std::string(kDesc) + "control 0x16010003 按钮2 Label key=Go in=window at=0,0 size=5x5\n",
      header);
  EXPECT_EQ(twice.code, 1);
  EXPECT_NE(twice.output.find("windows.desc:5: key used twice: Go"), std::string::npos)
      << twice.output;

  Generated unnamed = Generate("window 0x52010001 own=0x06010000 words=1,2 size=10x10\n", header);
  EXPECT_EQ(unnamed.code, 1);
  EXPECT_NE(unnamed.output.find("windows.desc:1: window without key="), std::string::npos)
      << unnamed.output;

  Generated unknown = Generate(
      "window 0x52010001 key=Main own=0x06010000 words=1,2 size=10x10\n"
      "control 0x16010001 x Button key=X in=window at=0,0 size=5x5\n",
      header);
  EXPECT_EQ(unknown.code, 1);
  EXPECT_NE(unknown.output.find("windows.desc:2: unknown type Button"), std::string::npos)
      << unknown.output;
}

}  // namespace
}  // namespace vorel
