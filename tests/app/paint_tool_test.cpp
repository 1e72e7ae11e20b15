// The annotation window with its palette, headless: the pen slots and what
// they apply, the pop-ups and their choices (colour chart, alpha, widths,
// line types, tools), folding at the work area's edges, Escape, the text
// window, and saving in every picture type.

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTest>

#include <filesystem>

#include "app/app_messages.h"
#include "app/main_frame.h"
#include "app/paint_dlg.h"
#include "app/settings.h"
#include "contracts/fundara/language.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/thumbs.h"
#include "imaging/picture_codec.h"
#include "platform/dialogs.h"
#include "platform/hotkey.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/test_app.h"
#include "tests/support/wait.h"

namespace {

namespace fs = std::filesystem;
using P = CPaintToolDlg;

class PaintToolTest : public fundara_test::ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    paint = std::make_unique<CPaintDlg>();
    ASSERT_TRUE(paint->Create(nullptr));
  }
  void TearDown() override {
    paint.reset();
    ScratchEnv::TearDown();
  }
  CPaintToolDlg& Palette() { return paint->Palette(); }
  CPaintCanvas& Canvas() { return paint->Canvas(); }
  // Runs the posted choices.
  void Settle() { QCoreApplication::processEvents(); }

  std::unique_ptr<CPaintDlg> paint;
};

TEST_F(PaintToolTest, CreatesHiddenWithThePaletteAtTheRightEdge) {
  EXPECT_FALSE(paint->isVisible());
  EXPECT_FALSE(Palette().isVisible());
  EXPECT_EQ(paint->GetWindowText(), QStringLiteral("VIvivira"));
  EXPECT_EQ(paint->GetClientRect().Width(), CWnd::GetScreenSize().cx);
  const CRect r = Palette().GetWindowRect();
  EXPECT_EQ(r, CRect(CWnd::GetScreenSize().cx - 70, 30, CWnd::GetScreenSize().cx - 30, 30 + 578));
  EXPECT_EQ(Canvas().GetTool(), PAINT_NONE);
  EXPECT_EQ(Palette().GetSlot(), P::kNoSlot);
  // Every button has its tool tip from the language file.
  for (int c = P::CMD_FOLD; c <= P::CMD_EXIT; ++c) {
    ASSERT_NE(Palette().Button(c), nullptr) << c;
    EXPECT_FALSE(Palette().Button(c)->toolTip().isEmpty()) << c;
  }
  EXPECT_EQ(Palette().Button(P::CMD_PEN3)->toolTip(), QStringLiteral("荧光笔"));
}

TEST_F(PaintToolTest, PenButtonsApplyTheirSlots) {
  struct Case {
    int command;
    int tool;
    Gdiplus::ARGB argb;
    float width;
    int lineType;
  };
  const Case cases[] = {
      {P::CMD_PEN1, PAINT_LINE, 0xFF000000, 5, LINE_ARROW},
      {P::CMD_PEN2, PAINT_FREE, 0xFFFF0000, 10, LINE_FREE},
      {P::CMD_PEN3, PAINT_FREE, 0x8000FF00, 20, LINE_FREE},
      {P::CMD_PEN4, PAINT_FREE, 0xFFFF0000, 5, LINE_FREE},
  };
  for (const Case& c : cases) {
    Palette().Command(c.command);
    EXPECT_EQ(Palette().GetSlot(), c.command - P::CMD_PEN1 + 1);
    EXPECT_EQ(Canvas().GetTool(), c.tool);
    EXPECT_EQ(Canvas().GetPenColor(), c.argb);
    EXPECT_EQ(Canvas().GetPenWidth(), c.width);
    EXPECT_EQ(Canvas().GetLineType(), c.lineType);
    EXPECT_EQ(Palette().Button(c.command)->GetCheck(), 1);
    EXPECT_EQ(Palette().Button(P::CMD_MOUSE)->GetCheck(), 0);
  }
  // Only pen 4 fades.
  Canvas().Press(CPoint(10, 10));
  Canvas().Move(CPoint(50, 10));
  Canvas().Release(CPoint(50, 10));
  EXPECT_TRUE(Canvas().IsFading());
  Palette().Command(P::CMD_PEN2);
  Canvas().Press(CPoint(10, 30));
  Canvas().Release(CPoint(50, 30));
  EXPECT_FALSE(Canvas().IsFading());
  // The shape slot's defaults.
  EXPECT_EQ(Palette().Slot(0).Argb(), 0xFF00FF00u);
  EXPECT_EQ(Palette().Slot(0).width, 7);
  EXPECT_EQ(Palette().Slot(0).lineType, LINE_SHAPE);
}

TEST_F(PaintToolTest, WithoutAPenTheSlotButtonsDoNothing) {
  for (int leave : {P::CMD_MOUSE, P::CMD_ERASER}) {
    Palette().Command(P::CMD_PEN2);
    Palette().Command(leave);
    EXPECT_EQ(Palette().GetSlot(), P::kNoSlot);
    for (int c : {P::CMD_COLOR, P::CMD_WIDTH, P::CMD_ALPHA, P::CMD_LINETYPE}) {
      EXPECT_FALSE(Palette().Button(c)->isEnabled()) << c;
      Palette().Command(c);
    }
    EXPECT_FALSE(Palette().ColorLayer().isVisible());
    EXPECT_FALSE(Palette().WidthLayer().isVisible());
    const int tool = Canvas().GetTool();
    Palette().Choice(&Palette().ColorLayer(), RGB(0, 0, 255));
    Palette().Choice(&Palette().WidthLayer(), 30);
    Palette().Choice(&Palette().AlphaLayer(), 10);
    Palette().Choice(&Palette().LineTypeLayer(), LINE_DASH);
    EXPECT_EQ(Canvas().GetTool(), tool) << "nothing applied";
    for (int i = 0; i < 5; ++i) EXPECT_NE(Palette().Slot(i).width, 30);
    EXPECT_EQ(Palette().Slot(2).colour, RGB(255, 0, 0));
  }
  EXPECT_EQ(Palette().Button(P::CMD_ERASER)->GetCheck(), 1) << "only the eraser shows as selected";
  EXPECT_EQ(Palette().Button(P::CMD_PEN2)->GetCheck(), 0);
  EXPECT_EQ(Canvas().GetTool(), PAINT_ERASER);
}

TEST_F(PaintToolTest, PopupChoicesChangeTheCurrentSlotAndApplyIt) {
  Palette().Command(P::CMD_PEN2);
  Palette().Choice(&Palette().ColorLayer(), RGB(0, 0, 255));
  EXPECT_EQ(Canvas().GetPenColor(), 0xFF0000FFu);
  EXPECT_EQ(static_cast<CPenButton*>(Palette().Button(P::CMD_PEN2))->GetSwatch(), QColor(0, 0, 255));
  Palette().Choice(&Palette().WidthLayer(), 30);
  EXPECT_EQ(Canvas().GetPenWidth(), 30.0f);
  Palette().Choice(&Palette().AlphaLayer(), CAlphaLayer::AlphaOfPercent(50));
  EXPECT_EQ(Palette().Slot(2).alpha, 127);
  EXPECT_EQ(Canvas().GetPenColor(), 0x7F0000FFu);
  Palette().Choice(&Palette().LineTypeLayer(), LINE_DASH);
  EXPECT_EQ(Canvas().GetTool(), PAINT_LINE);
  EXPECT_EQ(Canvas().GetLineType(), LINE_DASH);
  EXPECT_TRUE(Palette().Button(P::CMD_PEN2)->GetNormalImage().cacheKey() != 0);
  // The tool pop-up makes the shape slot current.
  Palette().Choice(&Palette().ToolLayer(), PAINT_ELLIPSE);
  EXPECT_EQ(Palette().GetSlot(), 0);
  EXPECT_EQ(Canvas().GetTool(), PAINT_ELLIPSE);
  EXPECT_EQ(Canvas().GetPenColor(), 0xFF00FF00u);
  EXPECT_FALSE(Palette().Button(P::CMD_LINETYPE)->isEnabled()) << "the shape slot has no line type";
  Palette().Choice(&Palette().LineTypeLayer(), LINE_FREE);
  EXPECT_EQ(Canvas().GetTool(), PAINT_ELLIPSE);
  Palette().Choice(&Palette().ToolLayer(), PAINT_SELECT);
  EXPECT_EQ(Canvas().GetTool(), PAINT_SELECT);
}

TEST_F(PaintToolTest, PopupsReportTheirChoicesByMessage) {
  Palette().Command(P::CMD_PEN2);
  Palette().Command(P::CMD_WIDTH);
  CLineWidthLayer& widths = Palette().WidthLayer();
  ASSERT_TRUE(widths.isVisible());
  EXPECT_LE(widths.GetWindowRect().right, Palette().GetWindowRect().left) << "beside the palette";
  const CPoint row4 = widths.RowRect(4).CenterPoint();
  QTest::mouseClick(&widths, Qt::LeftButton, {}, QPoint(row4.x, row4.y));
  Settle();
  EXPECT_FALSE(widths.isVisible());
  EXPECT_EQ(Palette().Slot(2).width, 30);

  Palette().Command(P::CMD_SHAPE);
  CGdiBtnEx* text = Palette().ToolLayer().Button(PAINT_TEXT);
  ASSERT_NE(text, nullptr);
  QTest::mouseClick(text, Qt::LeftButton, {}, text->rect().center());
  EXPECT_TRUE(WaitUntil([&] { return Canvas().GetTool() == PAINT_TEXT; }, 2000));
  EXPECT_EQ(Palette().GetSlot(), 0);
}

TEST(PaintColorChart, CellsGridHoverAndCentrePick) {
  TestApp();
  struct Case {
    int column, row;
    COLORREF colour;
    const char* text;
  };
  const Case cases[] = {
      {0, 0, RGB(0, 0, 0), "0X000000"},        {5, 0, RGB(0, 0, 255), "0X0000FF"},
      {0, 5, RGB(0, 255, 0), "0X00FF00"},      {6, 0, RGB(51, 0, 0), "0X330000"},
      {17, 11, RGB(255, 255, 255), "0XFFFFFF"}, {12, 6, RGB(255, 0, 0), "0XFF0000"},
      {8, 9, RGB(204, 153, 102), "0XCC9966"},
  };
  CPaintToolDlg owner;
  CColorLayer chart;
  chart.Create(&owner, PAINT_SET_COLOR);
  const CRect area = chart.ChartRect();
  ASSERT_EQ(area.Width(), 180);
  ASSERT_EQ(area.Height(), 120);
  const QImage plain = chart.RenderChart();
  for (const Case& c : cases) {
    EXPECT_EQ(CColorLayer::CellColour(c.column, c.row), c.colour) << c.column << "," << c.row;
    EXPECT_EQ(CColorLayer::ColourText(c.colour), QString::fromLatin1(c.text));
    const CPoint centre(area.left + c.column * 10 + 5, area.top + c.row * 10 + 5);
    EXPECT_EQ(chart.PickAt(centre), static_cast<long long>(c.colour));
    EXPECT_EQ(chart.PickAt(CPoint(centre.x + 3, centre.y - 4)), static_cast<long long>(c.colour)) << "same cell";
    // The grid: black along the cell's left and top edges.
    EXPECT_EQ(plain.pixel(c.column * 10, c.row * 10 + 5), 0xFF000000u);
    EXPECT_EQ(plain.pixel(c.column * 10 + 5, c.row * 10), 0xFF000000u);
  }
  EXPECT_EQ(chart.PickAt(CPoint(area.left - 1, area.top)), -1);
  // Hovering frames the cell in white; its centre keeps the colour.
  chart.ShowWindow(SW_SHOW);
  QTest::mouseMove(&chart, QPoint(area.left + 125, area.top + 65));
  EXPECT_EQ(chart.HoverColumn(), 12);
  EXPECT_EQ(chart.HoverRow(), 6);
  const QImage hovered = chart.RenderChart();
  EXPECT_EQ(hovered.pixel(121, 61), 0xFFFFFFFFu);
  EXPECT_EQ(hovered.pixel(122, 68), 0xFFFFFFFFu);
  EXPECT_EQ(hovered.pixel(125, 65), 0xFFFF0000u);
  EXPECT_EQ(hovered.pixel(120, 65), 0xFF000000u) << "the grid stays";
}

TEST_F(PaintToolTest, ColourPickNeedsPressAndReleaseOnTheSameColour) {
  Palette().Command(P::CMD_PEN1);
  Palette().Command(P::CMD_COLOR);
  CColorLayer& chart = Palette().ColorLayer();
  ASSERT_TRUE(chart.isVisible());
  const CRect area = chart.ChartRect();
  QTest::mousePress(&chart, Qt::LeftButton, {}, QPoint(area.left + 5, area.top + 5));
  QTest::mouseRelease(&chart, Qt::LeftButton, {}, QPoint(area.left + 15, area.top + 5));
  Settle();
  EXPECT_TRUE(chart.isVisible()) << "two colours: no choice";
  EXPECT_EQ(Palette().Slot(1).colour, RGB(0, 0, 0));
  QTest::mousePress(&chart, Qt::LeftButton, {}, QPoint(area.left + 125, area.top + 65));
  QTest::mouseRelease(&chart, Qt::LeftButton, {}, QPoint(area.left + 127, area.top + 63));
  Settle();
  EXPECT_FALSE(chart.isVisible());
  EXPECT_EQ(Palette().Slot(1).colour, RGB(255, 0, 0));
  EXPECT_EQ(Canvas().GetPenColor(), 0xFFFF0000u);
}

TEST_F(PaintToolTest, AlphaSliderShowsPercentAndChoosesOnRelease) {
  EXPECT_EQ(CAlphaLayer::AlphaOfPercent(50), 127);
  EXPECT_EQ(CAlphaLayer::AlphaOfPercent(100), 255);
  EXPECT_EQ(CAlphaLayer::AlphaOfPercent(0), 0);
  Palette().Command(P::CMD_PEN3);
  Palette().Command(P::CMD_ALPHA);
  CAlphaLayer& layer = Palette().AlphaLayer();
  ASSERT_TRUE(layer.isVisible());
  EXPECT_EQ(layer.Slider().GetPos(), 50) << "128 of 255 shows as 50 %";
  EXPECT_EQ(layer.PercentText(), QStringLiteral("50%"));
  CGdiSlider& slider = layer.Slider();
  const CRect thumb = slider.GetThumbRect();
  const QPoint from(thumb.CenterPoint().x, thumb.CenterPoint().y);
  QTest::mousePress(&slider, Qt::LeftButton, {}, from);
  QTest::mouseMove(&slider, QPoint(slider.width() - 1, from.y()));
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(slider.width() - 1, from.y()));
  ASSERT_TRUE(WaitUntil([&] { return !layer.isVisible(); }, 2000));
  Settle();
  EXPECT_EQ(Palette().Slot(3).alpha, 255);
  EXPECT_EQ(Canvas().GetPenColor(), 0xFF00FF00u);
}

TEST_F(PaintToolTest, FoldAndUnfoldStayInsideTheWorkArea) {
  const CRect work = CWnd::GetWorkArea();
  struct Case {
    int top, bottom;     // the full palette before folding
    CRect folded;        // then
    CRect unfolded;      // after unfolding again
  };
  const int x = Palette().GetWindowRect().left;
  const Case cases[] = {
      {work.top + 100, work.top + 100 + 578, CRect(x, work.top + 620, x + 40, work.top + 678),
       CRect(x, work.top + 96, x + 40, work.top + 678)},
      // Reaching below the work area: the short palette is pulled up.
      {work.bottom - 300, work.bottom + 278, CRect(x, work.bottom - 58, x + 40, work.bottom),
       CRect(x, work.bottom - 582, x + 40, work.bottom)},
      // Unfolding from near the top: from the top, 538 high.
      {work.top - 500, work.top + 78, CRect(x, work.top + 20, x + 40, work.top + 78),
       CRect(x, work.top, x + 40, work.top + 538)},
  };
  for (const Case& c : cases) {
    Palette().MoveWindow(CRect(x, c.top, x + 40, c.bottom));
    Palette().Command(P::CMD_FOLD);
    EXPECT_TRUE(Palette().IsFolded());
    EXPECT_EQ(Palette().GetWindowRect(), c.folded) << c.top;
    EXPECT_FALSE(Palette().Button(P::CMD_PEN1)->isVisibleTo(&Palette()));
    EXPECT_TRUE(Palette().Button(P::CMD_UNFOLD)->isVisibleTo(&Palette()));
    Palette().Command(P::CMD_UNFOLD);
    EXPECT_FALSE(Palette().IsFolded());
    EXPECT_EQ(Palette().GetWindowRect(), c.unfolded) << c.top;
    EXPECT_TRUE(Palette().Button(P::CMD_EXIT)->isVisibleTo(&Palette()));
    EXPECT_LE(Palette().Button(P::CMD_EXIT)->geometry().bottom(), 538) << "the last button fits the short height";
  }
}

TEST_F(PaintToolTest, EscapeLeavesTheToolThenReachesTheMainFrame) {
  CMainFrame frame;
  SetMainWnd(&frame);
  frame.SetFullScreen(1);
  Palette().Command(P::CMD_PEN2);
  SendMessage(&Palette(), WM_HOTKEY, PAINT_HOTKEY_ESCAPE, MAKELPARAM(0, VK_ESCAPE));
  EXPECT_EQ(Canvas().GetTool(), PAINT_NONE);
  EXPECT_EQ(Palette().GetSlot(), P::kNoSlot);
  EXPECT_EQ(Palette().Button(P::CMD_MOUSE)->GetCheck(), 1);
  EXPECT_EQ(frame.IsFullScreen(), 1);
  SendMessage(&Palette(), WM_HOTKEY, PAINT_HOTKEY_ESCAPE, MAKELPARAM(0, VK_ESCAPE));
  EXPECT_EQ(frame.IsFullScreen(), 0) << "Escape in tool 9 goes to the main frame";
  // The same rule for keys typed into the annotation windows.
  frame.SetFullScreen(1);
  QTest::keyClick(paint.get(), Qt::Key_Escape);
  EXPECT_EQ(frame.IsFullScreen(), 0);
  SetMainWnd(nullptr);
}

TEST_F(PaintToolTest, ExitLeavesAnnotationThroughTheMainFrame) {
  CWnd main;
  std::vector<std::pair<WPARAM, LPARAM>> switches;
  main.OnMessage(WM_SWITCH_MODE, [&](WPARAM w, LPARAM l) -> LRESULT {
    switches.emplace_back(w, l);
    return 1;
  });
  SetMainWnd(&main);
  Palette().Command(P::CMD_PEN2);
  Palette().Command(P::CMD_EXIT);
  Settle();
  EXPECT_EQ(Canvas().GetTool(), PAINT_NONE);
  EXPECT_EQ(Palette().GetSlot(), P::kNoSlot);
  ASSERT_EQ(switches.size(), 1u);
  EXPECT_EQ(switches[0].first, SWITCH_FROM_MODE_MENU);
  EXPECT_EQ(switches[0].second, 0);
  SetMainWnd(nullptr);
}

TEST_F(PaintToolTest, TextToolOpensAFieldAndAPressOutsideConfirmsIt) {
  Palette().Choice(&Palette().ToolLayer(), PAINT_TEXT);
  CEditLayer& edit = paint->EditLayer();
  // A click without a drag opens a one-line box of at least 120 pixels.
  Canvas().Press(CPoint(300, 200));
  Canvas().Release(CPoint(300, 200));
  ASSERT_TRUE(edit.isVisible());
  EXPECT_GE(edit.width(), 120);
  EXPECT_GE(edit.height(), QFontMetrics(edit.Edit().font()).height());
  EXPECT_EQ(edit.GetWindowRect().TopLeft(), paint->ClientToScreen(CPoint(300, 200)));
  // An empty field adds nothing.
  QTest::mouseClick(paint.get(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_FALSE(edit.isVisible());
  EXPECT_TRUE(Canvas().Objects().empty());

  // A dragged box keeps its size; the text becomes an object there.
  Canvas().Press(CPoint(400, 300));
  Canvas().Move(CPoint(200, 200));
  Canvas().Release(CPoint(200, 200));
  ASSERT_TRUE(edit.isVisible());
  EXPECT_EQ(edit.size(), QSize(200, 100));
  edit.Edit().setPlainText(QStringLiteral("光合作用"));
  QTest::mouseClick(paint.get(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_FALSE(edit.isVisible());
  ASSERT_EQ(Canvas().Objects().size(), 1u);
  EXPECT_EQ(Canvas().Objects()[0].rect, CRect(202, 201, 398, 299));
  EXPECT_EQ(Canvas().GetDragKind(), PAINT_NONE) << "the confirming press starts no drag";
}

TEST_F(PaintToolTest, SavesTheScreenInEveryPictureType) {
  QImage screen(320, 200, QImage::Format_RGB32);
  screen.fill(QColor(20, 120, 220));
  Palette().SetScreenSource([&](QImage& picture) {
    picture = screen;
    return true;
  });
  const char* extensions[] = {".bmp", ".jpg", ".png", ".gif", ".tif"};
  for (int type = 0; type <= 4; ++type) {
    camcfg::WriteInt(camcfg::kOutput, camcfg::kImageType, type);
    CDialogScript script;
    ASSERT_EQ(Palette().Save(), 1) << type;
    ASSERT_EQ(script.Boxes().size(), 1u);
    const std::string path = script.Boxes()[0].text.toStdString();
    EXPECT_EQ(script.Boxes()[0].caption, QStringLiteral("保存成功！"));
    EXPECT_EQ(fs::path(path).extension(), extensions[type]);
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(GetDataPicPath()));
    const QImage back = ReadPicture(path);
    ASSERT_FALSE(back.isNull()) << path;
    EXPECT_EQ(back.size(), screen.size());
    const QColor centre = back.pixelColor(160, 100);
    EXPECT_NEAR(centre.blue(), 220, 8) << path;
    EXPECT_TRUE(fs::exists(CThumbs::GetThumbPath(path))) << path;
  }
}

TEST_F(PaintToolTest, AFailedSaveSaysSoAndLeavesNoFile) {
  Palette().SetScreenSource([](QImage&) { return false; });
  CDialogScript script;
  EXPECT_EQ(Palette().Save(), 0);
  ASSERT_EQ(script.Boxes().size(), 1u);
  EXPECT_EQ(script.Boxes()[0].text, QStringLiteral("保存失败！"));
  // A picture the encoder refuses (wider than a GIF can be) gives its
  // reserved name back.
  Palette().SetScreenSource([](QImage& picture) {
    picture = QImage(70000, 2, QImage::Format_RGB32);
    picture.fill(Qt::red);
    return true;
  });
  camcfg::WriteInt(camcfg::kOutput, camcfg::kImageType, 3);
  EXPECT_EQ(Palette().Save(), 0);
  ASSERT_EQ(script.Boxes().size(), 2u);
  EXPECT_EQ(script.Boxes()[1].text, QStringLiteral("保存失败！"));
  EXPECT_TRUE(!fs::exists(GetDataPicPath()) || fs::is_empty(GetDataPicPath()));
}

}  // namespace
