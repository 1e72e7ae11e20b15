// The automatic-photographing indicator over a host window, headless, with
// a test "ui" set of solid-colour pictures: beginning and ending, the close
// button in the picture's place on hover until the host says the mouse has
// left, hiding, the buttons' clicks, where clicks land, and a missing
// description set.

#include "overlay/auto_photograph.h"

#include <functional>
#include <string>

#include "tests/overlay/layer_host.h"
#include "tests/overlay/ui_test_set.h"

namespace {

using overlay_test::LayerHostTest;
using overlay_test::PatternAt;
using overlay_test::UiControl;

const QColor kPicture(0, 150, 0);
const QColor kClose(220, 0, 0);
const QColor kCaption(0, 0, 180);
const QColor kCentred(180, 180, 0);

// Points in host client coordinates: on the picture, on the corners of
// the two captions (away from their text), and far from everything.
const CPoint kOnPicture(20, 30);
const CPoint kOnCaption(62, 22);
const CPoint kOnCentred(262, 230);
const CPoint kFarAway(600, 400);

class AutoPhotographTest : public LayerHostTest {
 protected:
  void SetUp() override {
    LayerHostTest::SetUp();
    const std::string controls =
        "<Window id=\"11\">\n" + UiControl(1, QRect(10, 10, 40, 40), "bgImg=\"pic.png\"") +
        UiControl(2, QRect(10, 10, 40, 40), "type=\"button\" normalImg=\"close.png\"") +
        UiControl(3, QRect(60, 20, 100, 20), "type=\"button\" bgImg=\"cap3.png\"",
                  "<Text languageId=\"3\" rect=\"0,0,100,20\"/>") +
        UiControl(4, QRect(0, 0, 120, 24), "type=\"button\" bgImg=\"cap4.png\"",
                  "<Text languageId=\"4\" rect=\"0,0,120,24\"/>") +
        "</Window>\n";
    const std::string texts =
        "<Window id=\"11\">\n"
        "  <Text id=\"2\" value=\"Hide\" logfontId=\"1\" color=\"ffffff\" format=\"825\"/>\n"
        "  <Text id=\"3\" value=\"On\" logfontId=\"1\" color=\"ffffff\" format=\"825\"/>\n"
        "  <Text id=\"4\" value=\"Auto\" logfontId=\"1\" color=\"ffffff\" format=\"825\"/>\n"
        "</Window>\n";
    overlay_test::WriteUiSet(root / "data", controls, texts,
                             {{"pic.png", 40, 40, kPicture},
                              {"close.png", 40, 40, kClose},
                              {"cap3.png", 100, 20, kCaption},
                              {"cap4.png", 120, 24, kCentred}});
    ASSERT_TRUE(indicator.Create(&host));
    indicator.SetParentHwnd(&host);
  }
  bool Shows(int id) { return indicator.GetButton(id)->IsWindowVisible(); }
  // What shows at each probe: the colour there, or the host's picture.
  void ExpectShown(const char* name, QColor picture, bool captions) {
    const QImage shot = Shot();
    Settle();
    struct Probe {
      CPoint p;
      QColor colour;  // invalid: the host's picture
    };
    const Probe probes[] = {{kOnPicture, picture},
                            {kOnCaption, captions ? kCaption : QColor()},
                            {kOnCentred, captions ? kCentred : QColor()},
                            {kFarAway, QColor()}};
    for (const Probe& pr : probes) {
      const QColor want = pr.colour.isValid() ? pr.colour : PatternAt(pr.p.x, pr.p.y);
      EXPECT_EQ(shot.pixelColor(InTop(pr.p)), want) << name << " at " << pr.p.x << "," << pr.p.y;
      // Where the indicator draws nothing, clicks reach the host.
      if (!pr.colour.isValid()) {
        EXPECT_EQ(top.childAt(InTop(pr.p)), &host) << name << " at " << pr.p.x << "," << pr.p.y;
      }
    }
  }

  CAutoPhotograph indicator;
};

TEST_F(AutoPhotographTest, CreatedHiddenWithTheCentredCaption) {
  EXPECT_EQ(indicator.GetWindowText(), QStringLiteral("autoPhotograph"));
  EXPECT_EQ(indicator.GetWindowRect(), host.GetWindowRect());
  EXPECT_FALSE(indicator.IsWindowVisible());
  for (const int id : {2, 3, 4}) EXPECT_FALSE(Shows(id)) << id;
  EXPECT_EQ(indicator.GetButton(1), nullptr);
  EXPECT_EQ(indicator.GetButton(5), nullptr);
  EXPECT_EQ(indicator.GetPictureRect(), CRect(10, 10, 50, 50));
  EXPECT_EQ(indicator.GetButton(2)->geometry(), QRect(10, 10, 40, 40));
  EXPECT_EQ(indicator.GetButton(2)->toolTip(), QStringLiteral("Hide"));
  EXPECT_EQ(indicator.GetButton(3)->geometry(), QRect(60, 20, 100, 20));
  EXPECT_EQ(indicator.GetButton(4)->geometry(), QRect(260, 228, 120, 24)) << "centred in 640 x 480";
  // A new size centres it again.
  const CRect h = host.GetWindowRect();
  indicator.BeginAutoPhotograph();
  indicator.MoveWindow(CRect(h.left, h.top, h.left + 301, h.top + 201));
  Settle();
  EXPECT_EQ(indicator.GetButton(4)->geometry(), QRect(90, 88, 120, 24));
  EXPECT_EQ(indicator.GetButton(3)->geometry(), QRect(60, 20, 100, 20));
  CAutoPhotograph orphan;
  EXPECT_FALSE(orphan.Create(nullptr));
}

TEST_F(AutoPhotographTest, BeginHoverLeaveHideAndEnd) {
  struct Step {
    const char* name;
    std::function<void()> act;
    bool visible;
    bool hover;
    bool captions;
  };
  const std::vector<Step> steps = {
      {"begun", [&] { indicator.BeginAutoPhotograph(); }, true, false, true},
      {"moves away from the picture", [&] { Move(kOnCentred); }, true, false, true},
      {"the mouse on the picture", [&] { Move(kOnPicture); }, true, true, true},
      {"a redraw without the leave flag keeps it",
       [&] { SendMessage(&indicator, WM_LAYER_DRAW, 0, 0); }, true, true, true},
      {"moving away keeps it", [&] { Move(kFarAway); }, true, true, true},
      {"the host says the mouse has left", [&] { SendMessage(&indicator, WM_LAYER_DRAW, 1, 0); }, true, false,
       true},
      {"on the picture again", [&] { Move(CPoint(21, 31)); }, true, true, true},
      {"hidden", [&] { indicator.ShowWindow(SW_HIDE); }, false, false, false},
      {"shown again: the picture, not the close button", [&] { indicator.ShowWindow(SW_SHOW); }, true, false, true},
      {"hover, then ended", [&] { Move(kOnPicture); indicator.EndAutoPhotograph(); }, false, false, false},
      {"begun again", [&] { indicator.BeginAutoPhotograph(); }, true, false, true},
  };
  for (const Step& s : steps) {
    s.act();
    Settle();
    EXPECT_EQ(indicator.IsWindowVisible(), s.visible) << s.name;
    EXPECT_EQ(indicator.IsHover(), s.hover) << s.name;
    EXPECT_EQ(Shows(2), s.hover && s.visible) << s.name;
    EXPECT_EQ(Shows(3), s.captions) << s.name;
    EXPECT_EQ(Shows(4), s.captions) << s.name;
    if (s.visible) ExpectShown(s.name, s.hover ? kClose : kPicture, s.captions);
  }
}

TEST_F(AutoPhotographTest, TheCloseButtonHidesOnlyTheIndicatorAndCaptionsDoNothing) {
  indicator.BeginAutoPhotograph();
  Settle();
  const std::size_t before = host.messages.size();
  // Clicks on the captions change nothing.
  for (const int id : {3, 4}) {
    QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, indicator.GetButton(id)->mapTo(&top, QPoint(3, 3)));
    Settle();
    EXPECT_TRUE(indicator.IsWindowVisible()) << id;
    EXPECT_TRUE(Shows(3) && Shows(4)) << id;
  }
  Move(kOnPicture);
  ASSERT_TRUE(Shows(2));
  QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, InTop(kOnPicture));
  Settle();
  EXPECT_FALSE(indicator.IsWindowVisible());
  EXPECT_FALSE(indicator.IsHover());
  EXPECT_FALSE(Shows(3) || Shows(4) || Shows(2));
  EXPECT_EQ(host.messages.size(), before) << "nothing is posted";
  // Escape goes to the parent, Enter is swallowed.
  indicator.BeginAutoPhotograph();
  EXPECT_EQ(EscapeNotices(&indicator, Qt::Key_Escape), 1u);
  EXPECT_EQ(EscapeNotices(&indicator, Qt::Key_Return), 0u);
}

class AutoPhotographWithoutFiles : public overlay_test::LayerHostWithoutFiles {};

TEST_F(AutoPhotographWithoutFiles, ShowsNothingAndTakesNoClicks) {
  CAutoPhotograph indicator;
  ASSERT_TRUE(indicator.Create(&host));
  indicator.BeginAutoPhotograph();
  const QImage shot = Shot();
  Settle();
  for (const CPoint p : {CPoint(20, 30), CPoint(320, 240), CPoint(600, 400)}) {
    EXPECT_EQ(shot.pixelColor(InTop(p)), PatternAt(p.x, p.y)) << p.x << "," << p.y;
    EXPECT_EQ(top.childAt(InTop(p)), &host) << p.x << "," << p.y;
  }
  // The close command still hides it.
  SendMessage(&indicator, WM_COMMAND, MAKEWPARAM(CAutoPhotograph::kClose, BN_CLICKED), 0);
  EXPECT_FALSE(indicator.IsWindowVisible());
}

}  // namespace
