// The built template: its structure, round trip, the id constants, and damaged data.

#include <gtest/gtest.h>

#include "app/features.h"
#include "app/window_ids.h"
#include "app/window_set.h"
#include "runtime/type_data.h"
#include "runtime/window_template.h"

namespace vorel {
namespace {

using namespace runtime::literals;

runtime::WindowTemplate Built() {
  auto parsed = runtime::ParseWindowTemplate(app::WindowTemplateBytes());
  EXPECT_TRUE(parsed.has_value());
  return parsed ? *parsed : runtime::WindowTemplate{};
}

TEST(TemplateTest, HoldsTheThreeWindowsInOrderWithTheirControls) {
  auto t = Built();
  ASSERT_EQ(t.windows.size(), 3u);
  EXPECT_EQ(t.windows[0].id, ids::kMainWindow);
  EXPECT_EQ(t.windows[1].id, ids::kExitDialog);
  EXPECT_EQ(t.windows[2].id, ids::kClearDialog);
  EXPECT_EQ(t.windows[0].controls.size(), 56u);
  EXPECT_EQ(t.windows[1].controls.size(), 7u);
  EXPECT_EQ(t.windows[2].controls.size(), 7u);
  EXPECT_EQ(t.windows[0].word1, 0x00B82348u);
  EXPECT_EQ(t.windows[2].word2, 0x19012C10u);
  const auto& self = t.windows[0].controls[0];
  EXPECT_EQ(self.id, ids::kMainWindowSelf);
  EXPECT_EQ(self.width, 680);
  auto td = runtime::ParseTypeData(self.type_data);
  ASSERT_TRUE(td.has_value());
  EXPECT_EQ(td->version, 6u);
  EXPECT_EQ(td->Int(runtime::kKeyBackColour).value_or(0), 0xFFFFFF);
}

TEST(TemplateTest, SerializingTheParsedTemplateGivesTheSameBytes) {
  auto bytes = app::WindowTemplateBytes();
  EXPECT_EQ(runtime::SerializeWindowTemplate(Built()), runtime::Bytes(bytes.begin(), bytes.end()));
}

TEST(TemplateTest, IdConstantsNameTheControlsOfTheDescription) {
  auto t = Built();
  const std::pair<runtime::ControlId, const char*> expected[] = {
      {ids::kSearchButton, "超级按钮_搜索"},
      {ids::kPlayList, "列表框1"},
      {ids::kMuteBox, "选择框1"},
      {ids::kStatusCaption, "字幕"},
      {ids::kPositionSlider, "滑块条_播放位置"},
      {ids::kVolumeBar, "多功能条2"},
      {ids::kSliderFrame, "外形框2"},
      {ids::kStatusTimer, "时钟_播放判断"}};
  for (const auto& [id, name] : expected) {
    const auto* rec = t.windows[0].Find(id);
    ASSERT_NE(rec, nullptr) << name;
    EXPECT_EQ(rec->name, runtime::TextFromUtf8(name));
  }
  EXPECT_EQ(t.windows[1].Find(ids::kExitConfirm)->name, "超级按钮3"_t);
  EXPECT_EQ(t.windows[2].Find(ids::kClearClose)->name, "超级按钮7"_t);
}

TEST(TemplateTest, CustomPointerIsACursorFileWithItsHotSpot) {
  auto t = Built();
  const auto& pointer = t.windows[0].Find(ids::kSearchButton)->mouse_pointer;
  ASSERT_EQ(pointer.size(), 4u + 4286u);
  EXPECT_EQ(pointer[0], 0xFF);
  EXPECT_EQ(pointer[4 + 2], 2);   // a cursor, not an icon
  EXPECT_EQ(pointer[4 + 10], 9);  // hot spot x
  EXPECT_EQ(pointer[4 + 12], 5);  // hot spot y
  EXPECT_EQ(t.windows[0].Find(ids::kAddressBox)->mouse_pointer, (runtime::Bytes{0x01, 0x7F, 0, 0}));
  EXPECT_EQ(t.windows[1].Find(ids::kExitConfirm)->mouse_pointer, runtime::Bytes(4, 0));
}

TEST(TemplateTest, EveryTruncationIsAnErrorNotACrash) {
  auto bytes = app::WindowTemplateBytes();
  // Every cut in the directory and first records, then a spread over the rest.
  for (std::size_t n = 0; n < bytes.size(); n += (n < 2048 ? 1 : 997)) {
    EXPECT_FALSE(runtime::ParseWindowTemplate(bytes.first(n)).has_value()) << n;
  }
}

TEST(TemplateTest, CountsRunningPastTheEndAreErrors) {
  auto bytes = app::WindowTemplateBytes();
  runtime::Bytes data(bytes.begin(), bytes.end());
  auto with = [&](std::size_t at, std::uint32_t v) {
    runtime::Bytes d = data;
    for (int i = 0; i < 4; ++i) d[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    return runtime::ParseWindowTemplate(d).has_value();
  };
  EXPECT_FALSE(with(0, 0xFFFFFFF8));  // directory size
  EXPECT_FALSE(with(0, 25));          // not a multiple of 8
  // Main window: directory (4 + 24), two words, two empty counted texts, then its counts.
  const std::size_t count_at = 4 + 24 + 8 + 8;
  EXPECT_FALSE(with(count_at, 0x40000000));      // control count
  EXPECT_FALSE(with(count_at + 4, 0x7FFFFFFF));  // block size
  runtime::Bytes extra = data;
  extra.push_back(0);
  EXPECT_FALSE(runtime::ParseWindowTemplate(extra).has_value());
}

TEST(TemplateTest, TypeDataRejectsValuesRunningPastTheEnd) {
  runtime::TypeData td;
  td.values[runtime::kKeyCaption] = "abc"_t;
  runtime::Bytes b = runtime::SerializeTypeData(td);
  for (std::size_t n = 0; n < b.size(); ++n) {
    EXPECT_FALSE(runtime::ParseTypeData(std::span(b).first(n)).has_value()) << n;
  }
  b[8 + 5] = 0xFF;  // the text's length
  EXPECT_FALSE(runtime::ParseTypeData(b).has_value());
}

TEST(RoutineTableTest, EveryRoutineTheWindowsNameHasAHandler) {
  app::Features features;
  auto table = app::BindRoutines(app::RoutineNames(), app::RoutineBindings(features));
  ASSERT_TRUE(table.has_value()) << table.error();
  EXPECT_EQ(table->size(), app::RoutineNames().size());
}

TEST(RoutineTableTest, ARoutineWithoutAHandlerIsAnErrorNamingIt) {
  std::vector<const char*> names(app::RoutineNames().begin(), app::RoutineNames().end());
  names.push_back("PlayEverythingBackwards");
  app::Features features;
  auto table = app::BindRoutines(names, app::RoutineBindings(features));
  ASSERT_FALSE(table.has_value());
  EXPECT_NE(table.error().find("PlayEverythingBackwards"), std::string::npos);
}

}  // namespace
}  // namespace vorel
