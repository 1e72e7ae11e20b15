// The gesture layer over a host window, headless, with a test "ui" set of
// solid-colour pictures: the state machine driven by the gesture signal and
// by timer ticks fired by the test (no real waits), the photograph request,
// the activity period and its end, the close button on hover, what each
// state draws over the host's picture, where clicks land, and a missing
// description set.

#include "overlay/gesture_layer.h"

#include <QCursor>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "tests/overlay/layer_host.h"
#include "tests/overlay/ticked_gesture_layer.h"
#include "tests/overlay/ui_test_set.h"

namespace {

using overlay_test::LayerHostTest;
using overlay_test::PatternAt;
using overlay_test::SaveShot;
using overlay_test::UiControl;
using Layer = CGestureRecognitionLayer;
using overlay_test::TickedGestureLayer;

// The test set's pictures, by control id: solid colours, the spinner with
// a marker at the middle of its top edge.
const std::map<int, QColor> kColours = {
    {1, QColor(200, 0, 0)},   {2, QColor(0, 200, 0)},    {4, QColor(0, 0, 200)},   {5, QColor(200, 200, 0)},
    {6, QColor(0, 200, 200)}, {7, QColor(200, 0, 200)},  {8, QColor(100, 50, 0)},  {9, QColor(0, 100, 50)},
    {10, QColor(50, 0, 100)}, {11, QColor(150, 150, 50)}, {12, QColor(255, 128, 0)},
};
const QColor kMarker(255, 255, 0);

std::string GestureControls() {
  std::string block = "<Window id=\"10\">\n";
  block += UiControl(1, QRect(0, 0, 100, 100), "bgImg=\"p1.png\"");
  block += UiControl(2, QRect(0, 0, 60, 60), "bgImg=\"p2.png\"");
  block += UiControl(3, QRect(0, 0, 20, 20), "type=\"button\"", "<Text languageId=\"3\" rect=\"0,0,20,20\"/>");
  block += UiControl(4, QRect(0, 0, 60, 10), "bgImg=\"p4.png\"");
  block += UiControl(5, QRect(0, 0, 60, 10), "bgImg=\"p5.png\"");
  block += UiControl(6, QRect(10, 10, 40, 40), "bgImg=\"p6.png\"");
  block += UiControl(7, QRect(10, 10, 40, 40), "bgImg=\"p7.png\"");
  block += UiControl(8, QRect(60, 10, 40, 40), "bgImg=\"p8.png\"");
  block += UiControl(9, QRect(0, 0, 60, 10), "bgImg=\"p9.png\"");
  block += UiControl(10, QRect(0, 0, 120, 120), "bgImg=\"p10.png\"");
  block += UiControl(11, QRect(0, 0, 60, 10), "bgImg=\"p11.png\"");
  block += UiControl(12, QRect(38, 12, 10, 10), "type=\"button\" normalImg=\"p12.png\"");
  return block + "</Window>\n";
}

std::vector<overlay_test::UiPicture> GesturePictures() {
  std::vector<overlay_test::UiPicture> pictures;
  const std::map<int, QSize> sizes = {{1, {100, 100}}, {2, {60, 60}},   {4, {60, 10}},  {5, {60, 10}},
                                      {6, {40, 40}},   {7, {40, 40}},   {8, {40, 40}},  {9, {60, 10}},
                                      {10, {120, 120}}, {11, {60, 10}}, {12, {10, 10}}};
  for (const auto& [id, size] : sizes) {
    overlay_test::UiPicture p{"p" + std::to_string(id) + ".png", size.width(), size.height(), kColours.at(id)};
    if (id == 1) {
      p.marker = QRect(45, 0, 10, 10);
      p.markerColour = kMarker;
    }
    pictures.push_back(p);
  }
  return pictures;
}

class GestureLayerTest : public LayerHostTest {
 protected:
  void SetUp() override {
    LayerHostTest::SetUp();
    overlay_test::WriteUiSet(root / "data", GestureControls(),
                             "<Window id=\"10\">\n  <Text id=\"3\" value=\"\" logfontId=\"1\" color=\"000000\" "
                             "format=\"825\"/>\n  <Text id=\"12\" value=\"Close\" logfontId=\"1\" color=\"ffffff\" "
                             "format=\"825\"/>\n</Window>\n",
                             GesturePictures());
    ASSERT_TRUE(layer.Create(&host));
    layer.SetParentHwnd(&host);
  }
  std::size_t Requests() const { return host.Count(WM_AUTO_PHOTOGRAPH); }
  // From idle to ready: the gesture, then the two warm-up ticks.
  void MakeReady() {
    Gesture();
    layer.Ticks(Layer::kWarmUpTimer, 2);
    ASSERT_EQ(layer.GetGestureState(), Layer::kReady);
  }
  // A change of the signal to 1.
  void Gesture() {
    layer.GestureRecognition(0);
    layer.GestureRecognition(1);
  }

  TickedGestureLayer layer;
};

TEST_F(GestureLayerTest, CreatedHiddenOverTheHostAndLaidOut) {
  EXPECT_EQ(layer.GetWindowText(), QStringLiteral("gestureRecognitionLayer"));
  EXPECT_EQ(layer.GetWindowRect(), host.GetWindowRect());
  EXPECT_FALSE(layer.IsWindowVisible());
  EXPECT_EQ(layer.GetGestureState(), Layer::kIdle);
  EXPECT_TRUE(layer.RunningTimers().empty());
  // Centred in 640 × 480: 1, 2, 3 and 10; under the hand from its left
  // edge: 4, 5, 9 and 11; 6, 7, 8 and 12 where the file puts them.
  const std::map<int, CRect> expected = {
      {1, CRect(270, 190, 370, 290)}, {2, CRect(290, 210, 350, 270)}, {3, CRect(310, 230, 330, 250)},
      {4, CRect(290, 270, 350, 280)}, {5, CRect(290, 270, 350, 280)}, {6, CRect(10, 10, 50, 50)},
      {7, CRect(10, 10, 50, 50)},     {8, CRect(60, 10, 100, 50)},    {9, CRect(290, 270, 350, 280)},
      {10, CRect(260, 180, 380, 300)}, {11, CRect(290, 270, 350, 280)}, {12, CRect(38, 12, 48, 22)},
  };
  for (const auto& [id, r] : expected) EXPECT_EQ(layer.GetControlRect(id), r) << "control " << id;
  EXPECT_EQ(layer.GetCloseButton().geometry(), QRect(38, 12, 10, 10));
  EXPECT_EQ(layer.GetCloseButton().toolTip(), QStringLiteral("Close"));
  EXPECT_FALSE(layer.GetCloseButton().IsWindowVisible());
  // A new size lays out again.
  const CRect h = host.GetWindowRect();
  layer.MoveWindow(CRect(h.left, h.top, h.left + 401, h.top + 301));
  layer.ShowWindow(SW_SHOW);
  Settle();
  EXPECT_EQ(layer.GetControlRect(2), CRect(170, 120, 230, 180));
  EXPECT_EQ(layer.GetControlRect(11), CRect(170, 180, 230, 190));
  ASSERT_NE(layer.GetSurface(), nullptr);
  EXPECT_EQ(layer.GetSurface()->size(), QSize(401, 301));
  // No owner, no layer.
  CGestureRecognitionLayer orphan;
  EXPECT_FALSE(orphan.Create(nullptr));
}

TEST_F(GestureLayerTest, WarmUpReadyCountDownAndTheRequest) {
  struct Step {
    const char* name;
    std::function<void()> act;
    int state;
    int count;
    std::set<UINT> timers;
    std::size_t requests;
  };
  const std::set<UINT> warm{Layer::kWarmUpTimer, Layer::kActivityTimer};
  const std::set<UINT> activity{Layer::kActivityTimer};
  const std::set<UINT> photo{Layer::kPhotographTimer, Layer::kActivityTimer};
  const auto tick = [&](UINT id) { return [this, id] { layer.Tick(id); }; };
  const std::vector<Step> steps = {
      {"the gesture starts the warm-up", [&] { layer.GestureRecognition(1); }, 1, 1, warm, 0},
      {"held, it does nothing more", [&] { layer.GestureRecognition(1); }, 1, 1, warm, 0},
      {"first warm-up tick", tick(Layer::kWarmUpTimer), 1, 0, warm, 0},
      {"still held", [&] { layer.GestureRecognition(1); }, 1, 0, warm, 0},
      {"second tick: ready", tick(Layer::kWarmUpTimer), 2, -1, activity, 0},
      {"a signal other than 1 is not seen", [&] { layer.GestureRecognition(2); }, 2, -1, activity, 0},
      {"then 1 again: the count-down", [&] { layer.GestureRecognition(1); }, 3, 2, photo, 0},
      {"first count-down tick", tick(Layer::kPhotographTimer), 3, 1, photo, 0},
      {"a gesture now changes nothing", [&] { Gesture(); }, 3, 1, photo, 0},
      {"second tick", tick(Layer::kPhotographTimer), 3, 0, photo, 0},
      {"third tick: the request", tick(Layer::kPhotographTimer), 4, -1, photo, 1},
      {"a gesture while requested changes nothing", [&] { Gesture(); }, 4, -1, photo, 1},
      {"fourth tick: ready again", tick(Layer::kPhotographTimer), 2, -2, activity, 1},
      {"a later tick of a stopped timer", tick(Layer::kPhotographTimer), 2, -2, activity, 1},
      {"the next gesture, the next count-down", [&] { Gesture(); }, 3, 2, photo, 1},
  };
  for (const Step& s : steps) {
    s.act();
    Settle();
    EXPECT_EQ(layer.GetGestureState(), s.state) << s.name;
    EXPECT_EQ(layer.GetCount(), s.count) << s.name;
    EXPECT_EQ(layer.RunningTimers(), s.timers) << s.name;
    EXPECT_EQ(Requests(), s.requests) << s.name;
    EXPECT_TRUE(layer.IsWindowVisible()) << s.name;
  }
  ASSERT_EQ(Requests(), 1u);
  const auto& request = host.messages.back();
  EXPECT_EQ(request.msg, WM_AUTO_PHOTOGRAPH);
  EXPECT_EQ(request.wParam, 1u);
  EXPECT_EQ(request.lParam, 0);
}

TEST_F(GestureLayerTest, TheActivityPeriodIsRenewedAndEndsBlinking) {
  MakeReady();
  EXPECT_EQ(layer.GetActivityCount(), 600);
  layer.Ticks(Layer::kActivityTimer, 595);
  ASSERT_EQ(layer.GetActivityCount(), 5);
  EXPECT_EQ(layer.GetGestureState(), Layer::kReady);
  // Above 4 a gesture renews the period.
  Gesture();
  EXPECT_EQ(layer.GetGestureState(), Layer::kCountDown);
  EXPECT_EQ(layer.GetActivityCount(), 600);
  layer.Ticks(Layer::kActivityTimer, 596);
  ASSERT_EQ(layer.GetActivityCount(), 4);
  // At 4 it does not.
  Gesture();
  EXPECT_EQ(layer.GetActivityCount(), 4);
  // The last ticks: 5, 6, 5, 6, 5, then idle with every timer stopped
  // (also the count-down still running).
  ASSERT_TRUE(layer.RunningTimers().count(Layer::kPhotographTimer));
  std::vector<int> states;
  for (int i = 0; i < 6; ++i) {
    layer.Tick(Layer::kActivityTimer);
    states.push_back(layer.GetGestureState());
  }
  EXPECT_EQ(states, (std::vector<int>{5, 6, 5, 6, 5, 0}));
  EXPECT_TRUE(layer.RunningTimers().empty());
  layer.Ticks(Layer::kPhotographTimer, 5);
  Settle();
  EXPECT_EQ(layer.GetGestureState(), Layer::kIdle);
  EXPECT_EQ(Requests(), 0u);
  // Idle, a gesture starts a new warm-up and period.
  Gesture();
  EXPECT_EQ(layer.GetGestureState(), Layer::kWarmingUp);
  EXPECT_EQ(layer.GetActivityCount(), 600);
}

TEST_F(GestureLayerTest, HidingEndingAndShowing) {
  struct Case {
    const char* name;
    std::function<void()> stop;
    bool visible;
  };
  const std::vector<Case> cases = {
      {"hiding during the count-down", [&] { layer.ShowWindow(SW_HIDE); }, false},
      {"another command than 5 also resets", [&] { layer.ShowWindow(SW_SHOWNA); }, true},
      {"ending", [&] { layer.GestureEnd(); }, false},
  };
  for (const Case& c : cases) {
    layer.ShowWindow(SW_HIDE);
    MakeReady();
    Gesture();
    layer.Ticks(Layer::kPhotographTimer, 2);
    ASSERT_EQ(layer.GetCount(), 0) << c.name;
    c.stop();
    EXPECT_EQ(layer.GetGestureState(), Layer::kIdle) << c.name;
    EXPECT_EQ(layer.GetCount(), 0) << c.name;
    EXPECT_EQ(layer.GetActivityCount(), 0) << c.name;
    EXPECT_TRUE(layer.RunningTimers().empty()) << c.name;
    EXPECT_EQ(layer.IsWindowVisible(), c.visible) << c.name;
    layer.Ticks(Layer::kPhotographTimer, 3);
    Settle();
    EXPECT_EQ(Requests(), 0u) << c.name << ": the photograph is cancelled";
  }
  // Showing while idle starts the warm-up.
  layer.ShowWindow(SW_SHOW);
  EXPECT_TRUE(layer.IsWindowVisible());
  EXPECT_EQ(layer.GetGestureState(), Layer::kWarmingUp);
  EXPECT_EQ(layer.RunningTimers(), (std::set<UINT>{Layer::kWarmUpTimer, Layer::kActivityTimer}));
  // Showing again changes nothing.
  layer.Tick(Layer::kWarmUpTimer);
  layer.ShowWindow(SW_SHOW);
  EXPECT_EQ(layer.GetCount(), 0);
}

TEST_F(GestureLayerTest, WithoutOrWithAGoneParentTheCountDownEndsUnheard) {
  layer.SetParentHwnd(nullptr);
  MakeReady();
  Gesture();
  layer.Ticks(Layer::kPhotographTimer, 3);
  Settle();
  EXPECT_EQ(layer.GetGestureState(), Layer::kPhotographRequested);
  EXPECT_EQ(Requests(), 0u);
  // A parent destroyed before the request: nothing reaches anyone.
  auto parent = std::make_unique<overlay_test::PatternHost>();
  parent->Create(CWnd::Kind::Child, "", CRect(0, 0, 10, 10), &top);
  layer.SetParentHwnd(parent.get());
  layer.Tick(Layer::kPhotographTimer);
  Gesture();
  layer.Ticks(Layer::kPhotographTimer, 2);
  parent.reset();
  layer.Tick(Layer::kPhotographTimer);
  Settle();
  EXPECT_EQ(layer.GetGestureState(), Layer::kPhotographRequested);
  EXPECT_EQ(Requests(), 0u);
}

TEST_F(GestureLayerTest, TheCloseButtonOnHoverOverTheReadyPicture) {
  MakeReady();
  Settle();
  CGdiBtnEx& close = layer.GetCloseButton();
  EXPECT_FALSE(layer.IsCloseShown());
  // Moves over the picture's host side do nothing; onto picture 6 they show it.
  Move(CPoint(200, 200));
  EXPECT_FALSE(layer.IsCloseShown());
  Move(CPoint(20, 30));
  EXPECT_TRUE(layer.IsCloseShown());
  EXPECT_TRUE(close.IsWindowVisible());
  QImage shot = Shot();
  EXPECT_EQ(shot.pixelColor(InTop(CPoint(42, 16))), kColours.at(12)) << "the close button is drawn";
  EXPECT_EQ(shot.pixelColor(InTop(CPoint(20, 30))), kColours.at(6));
  // While the pointer stays on the picture, the activity tick keeps it.
  QCursor::setPos(layer.mapToGlobal(QPoint(25, 35)));
  layer.Tick(Layer::kActivityTimer);
  EXPECT_TRUE(layer.IsCloseShown());
  // Once the pointer has left, the next activity tick hides it.
  QCursor::setPos(layer.mapToGlobal(QPoint(300, 300)));
  Settle();
  EXPECT_TRUE(layer.IsCloseShown());
  layer.Tick(Layer::kActivityTimer);
  EXPECT_FALSE(layer.IsCloseShown());
  EXPECT_FALSE(close.IsWindowVisible());
  shot = Shot();
  EXPECT_EQ(shot.pixelColor(InTop(CPoint(42, 16))), kColours.at(6));
  // Shown again, its click ends the layer.
  Move(CPoint(30, 30));
  ASSERT_TRUE(close.IsWindowVisible());
  Settle();
  QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, close.mapTo(&top, QPoint(5, 5)));
  Settle();
  EXPECT_FALSE(layer.IsWindowVisible());
  EXPECT_EQ(layer.GetGestureState(), Layer::kIdle);
  EXPECT_TRUE(layer.RunningTimers().empty());
  EXPECT_FALSE(layer.IsCloseShown());
  // Other commands change nothing.
  layer.ShowWindow(SW_SHOW);
  SendMessage(&layer, WM_COMMAND, MAKEWPARAM(3, BN_CLICKED), 0);
  EXPECT_TRUE(layer.IsWindowVisible());
  EXPECT_EQ(layer.GetGestureState(), Layer::kWarmingUp);
}

TEST_F(GestureLayerTest, WhatEachStateDrawsAndWhereClicksLand) {
  // Probes in host client coordinates; each state names what shows there
  // (a picture's control id), anything else shows the host.
  struct Probe {
    const char* name;
    CPoint p;
  };
  const Probe probes[] = {
      {"spinner beside the hand", {275, 240}}, {"hand", {300, 220}},       {"under the hand", {300, 275}},
      {"ready", {20, 30}},                     {"ending", {70, 30}},       {"ring corner", {262, 185}},
      {"spinner marker at 45 degrees", {352, 208}}, {"far away", {600, 400}},
  };
  struct Case {
    const char* name;
    std::function<void()> reach;
    int state;
    std::map<std::string, int> shows;  // probe name → control id (-1: the marker)
  };
  const auto activityTo = [&](int n) { layer.Ticks(Layer::kActivityTimer, layer.GetActivityCount() - n); };
  const std::vector<Case> cases = {
      {"warming up", [&] { layer.GestureRecognition(1); }, 1,
       {{"spinner beside the hand", 1}, {"hand", 2}, {"under the hand", 4}, {"spinner marker at 45 degrees", -1}}},
      {"ready", [&] { layer.Ticks(Layer::kWarmUpTimer, 2); }, 2, {{"ready", 6}}},
      {"count-down", [&] { Gesture(); }, 3,
       {{"spinner beside the hand", 10},
        {"hand", 10},
        {"under the hand", 11},
        {"ring corner", 10},
        {"spinner marker at 45 degrees", 10}}},
      {"photograph requested", [&] { layer.Ticks(Layer::kPhotographTimer, 3); }, 4, {{"under the hand", 9}}},
      {"activity ending", [&] { activityTo(4); layer.Tick(Layer::kActivityTimer); }, 5, {{"ending", 8}}},
      {"its blink", [&] { layer.Tick(Layer::kActivityTimer); }, 6, {}},
      {"idle at the end of the period", [&] { layer.Ticks(Layer::kActivityTimer, 4); }, 0, {}},
  };
  for (const Case& c : cases) {
    c.reach();
    ASSERT_EQ(layer.GetGestureState(), c.state) << c.name;
    const QImage shot = Shot();
    Settle();
    SaveShot(shot, QStringLiteral("gesture_state_%1").arg(c.state));
    for (const Probe& pr : probes) {
      const auto it = c.shows.find(pr.name);
      const QColor want = it == c.shows.end() ? PatternAt(pr.p.x, pr.p.y)
                          : it->second < 0    ? kMarker
                                              : kColours.at(it->second);
      EXPECT_EQ(shot.pixelColor(InTop(pr.p)), want) << c.name << ": " << pr.name;
      // The layer takes a click where it draws; elsewhere the host does.
      const QWidget* under = top.childAt(InTop(pr.p));
      EXPECT_EQ(under == &layer, it != c.shows.end()) << c.name << ": " << pr.name;
    }
  }
  // The number shown is the count.
  layer.ShowWindow(SW_HIDE);
  layer.GestureRecognition(0);
  layer.GestureRecognition(1);
  EXPECT_EQ(layer.GetCaptionButton().Caption().GetText(), QStringLiteral("1"));
  layer.Ticks(Layer::kWarmUpTimer, 2);
  Gesture();
  EXPECT_EQ(layer.GetCaptionButton().Caption().GetText(), QStringLiteral("2"));
  EXPECT_FALSE(layer.GetCaptionButton().IsWindowVisible()) << "drawn into the picture, never a window";
}

TEST_F(GestureLayerTest, EscapeGoesToTheParent) {
  layer.ShowWindow(SW_SHOW);
  EXPECT_EQ(EscapeNotices(&layer, Qt::Key_Escape), 1u);
  EXPECT_EQ(EscapeNotices(&layer, Qt::Key_Return), 0u);
}

class GestureLayerWithoutFiles : public overlay_test::LayerHostWithoutFiles {};

TEST_F(GestureLayerWithoutFiles, StatesTimersAndRequestsAsEverButNothingDrawn) {
  TickedGestureLayer layer;
  ASSERT_TRUE(layer.Create(&host));
  layer.SetParentHwnd(&host);
  layer.GestureRecognition(1);
  layer.GestureRecognition(0);
  layer.Ticks(CGestureRecognitionLayer::kWarmUpTimer, 2);
  EXPECT_EQ(layer.GetGestureState(), CGestureRecognitionLayer::kReady);
  layer.GestureRecognition(1);
  layer.Ticks(CGestureRecognitionLayer::kPhotographTimer, 3);
  Settle();
  EXPECT_EQ(host.Count(WM_AUTO_PHOTOGRAPH), 1u);
  // The number's caption is a drawn tile still; away from it nothing shows.
  const QImage shot = Shot();
  Settle();
  EXPECT_EQ(shot.pixelColor(InTop(CPoint(100, 100))), PatternAt(100, 100));
  EXPECT_EQ(top.childAt(InTop(CPoint(100, 100))), &host);
}

}  // namespace
