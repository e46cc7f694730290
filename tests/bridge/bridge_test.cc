// The bridge's own rules against a fake native layer: suppression during creation, the order
// of the window events, stored values of controls without a native window, dispatch.

#include <gtest/gtest.h>

#include "runtime/bridge.h"
#include "runtime/control_types.h"
#include "runtime/testing.h"
#include "runtime/type_data.h"
#include "runtime/window_template.h"
#include "tests/bridge/fake_native_ui.h"

namespace vorel {
namespace {

using namespace runtime;
using namespace runtime::property_names;
using namespace runtime::literals;

constexpr WindowId kWin = 0x52000001;
constexpr ControlId kSelf = 0x06000001;
constexpr ControlId kBox = 0x16000001;
constexpr ControlId kTick = 0x16000002;
constexpr ControlId kInner = 0x16000003;

ControlRecord Record(ControlId id, UnitTypeId type, ControlId container,
                     std::vector<EventBinding> events) {
  ControlRecord r;
  r.id = id;
  r.type = type;
  r.name = "c" + std::to_string(id & 0xFF);
  r.width = 10;
  r.height = 10;
  r.container = container;
  r.mouse_pointer = Bytes(4, 0);
  r.flags = kFlagVisible;
  r.events = std::move(events);
  r.type_data = SerializeTypeData(TypeData{});
  return r;
}

// A window whose inner control is listed before its container, as in the real set.
Bytes TestTemplate() {
  WindowTemplate t;
  WindowRecord w;
  w.id = kWin;
  w.controls.push_back(Record(kSelf, kTypeWindow, 0, {{0, 0}, {3, 1}, {4, 2}, {2, 3}}));
  w.controls.push_back(Record(kInner, kTypeEditBox, kBox, {{-9, 4}}));
  w.controls.push_back(Record(kBox, kTypeShapeBox, 0, {}));
  w.controls.push_back(Record(kTick, kTypeTimer, 0, {{0, 5}, {-1, -1}}));
  t.windows.push_back(w);
  return SerializeWindowTemplate(t);
}

class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallNativeUi(&ui_);
    std::vector<Routine> table;
    for (int i = 0; i < 6; ++i) {
      table.push_back([this, i](const EventArgs& a) -> EventResult {
        log_.push_back(i);
        return i == 4 ? EventResult(a[0]) : std::nullopt;
      });
    }
    SetRoutineTable(std::move(table));
    bytes_ = TestTemplate();
    InitRuntime(bytes_);
  }
  void TearDown() override {
    ResetWindows();
    InstallNativeUi(nullptr);
  }

  testing_util::FakeNativeUi ui_;
  std::vector<int> log_;
  Bytes bytes_;
};

TEST_F(BridgeTest, EventsRaisedDuringCreationReachNoHandler) {
  ui_.on_create = [](WindowId w, const ControlRecord& rec) {
    if (rec.id == kInner) RaiseEvent(w, kInner, runtime::kEventKeyDown, {65});
  };
  ASSERT_TRUE(LoadWindow(kWin));
  // Only the window's created event and its events 3 and 4, in that order.
  EXPECT_EQ(log_, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(RaiseEvent(kWin, kInner, runtime::kEventKeyDown, {65}), EventResult(65));
}

TEST_F(BridgeTest, ContainersAreCreatedBeforeTheirControls) {
  std::vector<ControlId> order;
  ui_.on_create = [&](WindowId, const ControlRecord& rec) { order.push_back(rec.id); };
  ASSERT_TRUE(LoadWindow(kWin));
  EXPECT_EQ(order, (std::vector<ControlId>{kSelf, kBox, kTick, kInner}));
  EXPECT_EQ(LoadedControlCount(kWin), 4);
}

TEST_F(BridgeTest, ControlWithoutNativeWindowKeepsValuesInItsRecord) {
  ASSERT_TRUE(LoadWindow(kWin));
  WriteProperty(kWin, kTick, kPropLeft, 77);
  WriteProperty(kWin, kTick, kPropWidth, 40000);
  WriteProperty(kWin, kTick, kPropTag, "标签"_t);
  WriteProperty(kWin, kTick, kPropVisible, false);
  EXPECT_EQ(ReadIntProperty(kWin, kTick, kPropLeft), 77);
  EXPECT_EQ(ReadIntProperty(kWin, kTick, kPropWidth), 32627);
  EXPECT_EQ(ReadTextProperty(kWin, kTick, kPropTag), "标签"_t);
  EXPECT_EQ(ReadIntProperty(kWin, kTick, kPropVisible), 0);
}

TEST_F(BridgeTest, EntryWithoutRoutineAndUnknownKeysDoNothing) {
  ASSERT_TRUE(LoadWindow(kWin));
  log_.clear();
  EXPECT_EQ(RaiseEvent(kWin, kTick, runtime::kEventLeftDown, {1, 2, 0}), std::nullopt);
  EXPECT_EQ(RaiseEvent(kWin, kBox, runtime::kEventClicked), std::nullopt);
  EXPECT_TRUE(log_.empty());
  RaiseEvent(kWin, kTick, runtime::kEventClicked);
  EXPECT_EQ(log_, (std::vector<int>{5}));
}

TEST_F(BridgeTest, HandlerSeesTheControlThatRaisedTheEvent) {
  EventSource seen;
  std::vector<Routine> table(6);
  table[5] = [&](const EventArgs&) -> EventResult {
    seen = CurrentEventSource();
    return std::nullopt;
  };
  SetRoutineTable(std::move(table));
  InitRuntime(bytes_);
  ASSERT_TRUE(LoadWindow(kWin));
  RaiseEvent(kWin, kTick, runtime::kEventClicked);
  EXPECT_EQ(seen.window, kWin);
  EXPECT_EQ(seen.control, kTick);
  EXPECT_EQ(CurrentEventSource().control, 0u);
}

TEST_F(BridgeTest, UnloadAtOnceRaisesBeingDestroyedAndEndsTheLoop) {
  ASSERT_TRUE(LoadWindow(kWin));
  log_.clear();
  UnloadWindow(kWin, true);
  EXPECT_EQ(log_, (std::vector<int>{3}));
  EXPECT_FALSE(IsWindowLoaded(kWin));
  EXPECT_EQ(LoadedControlCount(kWin), 0);
}

TEST_F(BridgeTest, IdleCallbacksRunLastFirstWhileTheirWindowExists) {
  ASSERT_TRUE(LoadWindow(kWin));
  std::vector<int> order;
  RegisterIdleCallback(kWin, [&] { order.push_back(1); });
  RegisterIdleCallback(kWin, [&] { order.push_back(2); });
  EXPECT_TRUE(ui_.idle_active);
  EXPECT_TRUE(RunIdleCallbacks());
  EXPECT_EQ(order, (std::vector<int>{2, 1}));
  UnloadWindow(kWin, true);
  EXPECT_FALSE(RunIdleCallbacks());
  EXPECT_EQ(order.size(), 2u);
}

TEST_F(BridgeTest, AllRowsPropertyGoesThroughTheRecordFormat) {
  WindowTemplate t;
  WindowRecord w;
  w.id = kWin;
  w.controls.push_back(Record(kSelf, kTypeWindow, 0, {}));
  w.controls.push_back(Record(kBox, kTypeListView, 0, {}));
  t.windows.push_back(w);
  bytes_ = SerializeWindowTemplate(t);
  InitRuntime(bytes_);
  ASSERT_TRUE(LoadWindow(kWin));
  ListRow row;
  row.cells = {"本地文件"_t, "/m/a.mp3", "a", ""};
  Bytes data = EncodeListRows({row, row}, 4);
  WriteProperty(kWin, Control<controls::ListView>{kBox}, kPropAllRows, data);
  EXPECT_EQ(ReadBytesProperty(kWin, Control<controls::ListView>{kBox}, kPropAllRows), data);
}

}  // namespace
}  // namespace vorel
