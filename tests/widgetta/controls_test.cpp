#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/widgetta/widget_test_util.h"

using namespace widgetta_test;

namespace {

int InkColumns(const QImage& img, int from, int to, QRgb background) {
  int n = 0;
  for (int x = from; x < to; ++x)
    for (int y = 0; y < img.height(); ++y)
      if (img.pixel(x, y) != background) {
        ++n;
        break;
      }
  return n;
}

}  // namespace

TEST(GdiBtn, BuiltFromRecordsReportsClicksWithItsHandle) {
  TestApp();
  ParentWnd parent;
  parent.ShowWindow(SW_SHOW);
  auto ctrl = Control(7, CRect(20, 30, 68, 78), u"close_normal.svg", u"close_over.svg",
                      u"close_select.svg", 3);
  ctrl->tip = u"Close";
  auto lang = Language(3, u"关闭", 0x0000FF, DT_CENTER | DT_BOTTOM | DT_SINGLELINE);
  auto font = Font(1, -20, u"宋体", 700);

  CGdiBtnEx btn;
  CRect rect(1, 1, 1, 1);
  CUICtrlMgr mgr;
  ASSERT_EQ(mgr.LoadGdiBtn(btn, rect, &parent, 7, ctrl.get(), lang.get(), font.get()), 1);
  EXPECT_EQ(rect, CRect(20, 30, 68, 78));
  EXPECT_EQ(btn.GetParentWnd(), &parent);
  EXPECT_EQ(btn.GetDlgCtrlID(), 7u);
  EXPECT_EQ(btn.geometry(), QRect(20, 30, 48, 48));
  EXPECT_TRUE(btn.IsWindowVisible());
  EXPECT_EQ(btn.toolTip(), "Close");
  EXPECT_EQ(btn.GetNormalImage().size(), QSize(48, 48));
  EXPECT_FALSE(btn.GetOverImage().isNull());
  EXPECT_FALSE(btn.GetSelectImage().isNull());
  EXPECT_EQ(btn.Caption().GetText(), QString::fromUtf8("关闭"));
  EXPECT_EQ(btn.Caption().GetColor(), QColor(255, 0, 0));  // colour references hold red low
  EXPECT_EQ(btn.Caption().GetFormat(), DT_CENTER | DT_BOTTOM | DT_SINGLELINE);
  EXPECT_EQ(btn.Caption().GetFont().pixelSize(), 20);
  EXPECT_EQ(btn.Caption().GetFont().weight(), QFont::Bold);
  // Moved to a larger place, the SVG pictures are drawn again at its size.
  btn.MoveWindow(CRect(20, 30, 116, 126));
  EXPECT_EQ(btn.GetNormalImage().size(), QSize(96, 96));
  btn.MoveWindow(CRect(20, 30, 68, 78));

  QTest::mouseClick(&btn, Qt::LeftButton, {}, QPoint(10, 10));
  auto got = parent.Take();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].msg, WM_COMMAND);
  EXPECT_EQ(got[0].wParam, MAKEWPARAM(7, BN_CLICKED));
  EXPECT_EQ(got[0].lParam, HandleOf(btn));

  // Pressed inside, released outside: no click. Not a check button: no state.
  QTest::mousePress(&btn, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(btn.GetDrawState(), CGdiBtnEx::State::Select);
  QTest::mouseRelease(&btn, Qt::LeftButton, {}, QPoint(100, 100));
  EXPECT_TRUE(parent.Take().empty());
  EXPECT_EQ(btn.GetCheck(), 0);

  // Disabled buttons stay silent.
  btn.EnableWindow(false);
  QTest::mouseClick(&btn, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_TRUE(parent.Take().empty());
  EXPECT_EQ(btn.GetDrawState(), CGdiBtnEx::State::Disabled);
}

TEST(GdiBtn, NullRecordsGiveAHiddenButtonThatCanBePlacedLater) {
  TestApp();
  ParentWnd parent;
  parent.ShowWindow(SW_SHOW);
  CGdiBtnEx btn;
  CRect rect(5, 5, 9, 9);
  CUICtrlMgr mgr;
  ASSERT_EQ(mgr.LoadGdiBtn(btn, rect, &parent, 12, nullptr, nullptr, nullptr), 1);
  EXPECT_TRUE(rect.IsRectNull());
  EXPECT_EQ(btn.GetParentWnd(), &parent);
  EXPECT_EQ(btn.GetDlgCtrlID(), 12u);
  EXPECT_FALSE(btn.IsWindowVisible());
  EXPECT_TRUE(btn.Caption().GetText().isEmpty());
  btn.MoveWindow(CRect(10, 10, 90, 40));
  btn.ShowWindow(SW_SHOW);
  // Without pictures the button draws a tile, so it can still be seen.
  const QImage shot = Shot(btn);
  EXPECT_EQ(shot.pixelColor(40, 15), ui_style::kTile);
  QTest::mouseClick(&btn, Qt::LeftButton, {}, QPoint(5, 5));
  auto got = parent.Take();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].wParam, MAKEWPARAM(12, BN_CLICKED));

  // A language record alone still gives the caption.
  auto lang = Language(1, u"OK", 0, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  CHdcBtn hdc;
  ASSERT_EQ(mgr.LoadHdcBtn(hdc, rect, &parent, 13, nullptr, lang.get(), nullptr), 1);
  EXPECT_EQ(hdc.Caption().GetText(), "OK");
  EXPECT_GT(hdc.Caption().GetFont().pixelSize(), 0);
}

TEST(GdiBtn, CheckAndRadioButtonsKeepTheirState) {
  TestApp();
  ParentWnd parent;
  parent.ShowWindow(SW_SHOW);
  auto ctrl = Control(4, CRect(0, 0, 40, 40), u"ok_normal.svg", {}, u"ok_select.svg");
  ctrl->type = u"Check";
  CGdiBtnEx check;
  CRect rect;
  CUICtrlMgr().LoadGdiBtn(check, rect, &parent, 4, ctrl.get(), nullptr, nullptr);
  ASSERT_TRUE(check.IsCheckButton());
  QTest::mouseClick(&check, Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(check.GetCheck(), 1);
  EXPECT_EQ(check.GetDrawState(), CGdiBtnEx::State::Select);
  QTest::mouseClick(&check, Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(check.GetCheck(), 0);
  EXPECT_EQ(parent.Take().size(), 2u);

  check.SetButtonType("radio");
  QTest::mouseClick(&check, Qt::LeftButton, {}, QPoint(20, 20));
  QTest::mouseClick(&check, Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(check.GetCheck(), 1);  // a radio button does not uncheck itself
}

TEST(GdiBtn, ClickAreaAndPointerState) {
  TestApp();
  ParentWnd parent;
  parent.ShowWindow(SW_SHOW);
  auto ctrl = Control(2, CRect(100, 100, 200, 150), u"photo_normal.svg", u"photo_over.svg");
  ctrl->clickRect = CRect(0, 0, 50, 50);
  ctrl->imgRect = CRect(0, 0, 50, 50);
  CGdiBtnEx btn;
  CRect rect;
  CUICtrlMgr().LoadGdiBtn(btn, rect, &parent, 2, ctrl.get(), nullptr, nullptr);
  EXPECT_EQ(btn.GetNormalImage().size(), QSize(50, 50));  // drawn at the image rectangle
  QTest::mouseClick(&btn, Qt::LeftButton, {}, QPoint(80, 20));
  EXPECT_TRUE(parent.Take().empty());
  QTest::mouseClick(&btn, Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(parent.Take().size(), 1u);

  QTest::mouseMove(&btn, QPoint(30, 30));
  QTRY_VERIFY_WITH_TIMEOUT(btn.GetDrawState() == CGdiBtnEx::State::Over, 1000);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&btn, &leave);
  EXPECT_EQ(btn.GetDrawState(), CGdiBtnEx::State::Normal);
}

TEST(GdiBtn, MaskColourAndParentSurface) {
  TestApp();
  QTemporaryDir dir;
  // A bitmap with a magenta frame: the mask colour 0xFF00FF (red and blue).
  QImage bitmap(20, 20, QImage::Format_RGB32);
  bitmap.fill(QColor(255, 0, 255));
  for (int y = 5; y < 15; ++y)
    for (int x = 5; x < 15; ++x) bitmap.setPixelColor(x, y, QColor(0, 128, 0));
  const QString path = dir.filePath("masked.png");
  ASSERT_TRUE(bitmap.save(path));

  ParentWnd parent;
  CGdiBtnEx btn;
  btn.Create(QString(), WS_CHILD | WS_VISIBLE, CRect(0, 0, 20, 20), &parent, 1);
  ASSERT_TRUE(btn.SetImages(path));
  QImage img = btn.GetNormalImage();
  EXPECT_EQ(qAlpha(img.pixel(1, 1)), 255);  // no mask set: kept
  auto ctrl = Control(1, CRect(0, 0, 20, 20));
  ctrl->maskColor = 0xFF00FF;
  CRect rect;
  CUICtrlMgr().LoadGdiBtn(btn, rect, &parent, 1, ctrl.get(), nullptr, nullptr);
  ASSERT_TRUE(btn.SetImages(path));
  img = btn.GetNormalImage();
  EXPECT_EQ(qAlpha(img.pixel(1, 1)), 0);
  EXPECT_EQ(QColor(img.pixel(10, 10)), QColor(0, 128, 0));

  // Background taken from the parent's surface: the part under the button.
  QImage surface(100, 100, QImage::Format_ARGB32_Premultiplied);
  surface.fill(Qt::white);
  surface.setPixelColor(31, 41, QColor(10, 20, 30));
  btn.SetBackground(surface, CRect(30, 40, 50, 60));
  const QImage shot = Shot(btn);
  EXPECT_EQ(QColor(shot.pixel(1, 1)), QColor(10, 20, 30));  // masked corner shows the surface
  EXPECT_EQ(QColor(shot.pixel(10, 10)), QColor(0, 128, 0));
}

TEST(Caption, LayoutFlagsPlaceTheText) {
  TestApp();
  const QRgb white = qRgb(255, 255, 255);
  auto draw = [&](UINT format) {
    QImage img(200, 40, QImage::Format_RGB32);
    img.fill(white);
    QPainter p(&img);
    p.setFont(CUICaption::FontOf(nullptr));
    p.setPen(Qt::black);
    CUICaption::DrawText(p, "Wi", QRect(0, 0, 200, 40), format);
    return img;
  };
  const QImage left = draw(DT_LEFT | DT_SINGLELINE);
  EXPECT_GT(InkColumns(left, 0, 50, white), 0);
  EXPECT_EQ(InkColumns(left, 100, 200, white), 0);
  const QImage right = draw(DT_RIGHT | DT_SINGLELINE);
  EXPECT_EQ(InkColumns(right, 0, 100, white), 0);
  EXPECT_GT(InkColumns(right, 150, 200, white), 0);
  const QImage centre = draw(DT_CENTER | DT_SINGLELINE);
  EXPECT_EQ(InkColumns(centre, 0, 70, white), 0);
  EXPECT_EQ(InkColumns(centre, 130, 200, white), 0);
  EXPECT_GT(InkColumns(centre, 80, 120, white), 0);

  // The text's own rectangle on the control comes from the first text entry.
  auto ctrl = Control(1, CRect(0, 0, 100, 50), {}, {}, {}, 5);
  (*ctrl->textTable)[0].rect = CRect(10, 20, 90, 45);
  auto lang = Language(5, u"x", 0, 0);
  CUICaption caption;
  caption.Set(ctrl.get(), lang.get(), nullptr);
  EXPECT_EQ(caption.GetRect(), CRect(10, 20, 90, 45));
  caption.Set(nullptr, nullptr, nullptr);
  EXPECT_TRUE(caption.GetRect().IsRectNull());
  EXPECT_TRUE(caption.GetText().isEmpty());
}

TEST(UICtrlMgr, ImagesLoadIntoAnyImageHolder) {
  TestApp();
  CUICtrlMgr mgr;
  CUIImage image;
  EXPECT_EQ(mgr.LoadGdiImage(image, nullptr), 0);
  auto ctrl = Control(1, CRect(0, 0, 32, 32), u"folder_normal.svg", {}, u"folder_select.svg");
  ASSERT_EQ(mgr.LoadGdiImage(image, ctrl.get()), 1);
  EXPECT_EQ(image.GetImage().size(), QSize(32, 32));  // SVG drawn at the control's size
  EXPECT_TRUE(image.GetPath().endsWith("/images/folder_normal.svg"));
  CUIImage selected;
  ASSERT_EQ(mgr.LoadSelectImage(selected, ctrl.get()), 1);
  EXPECT_NE(selected.GetImage(), image.GetImage());

  // Without "normalImg" the background picture is taken; a missing file
  // leaves the holder as it was.
  auto bg = Control(2, CRect(), {});
  bg->bgImg = u"tab_normal.svg";
  ASSERT_EQ(mgr.LoadGdiImage(image, bg.get()), 1);
  EXPECT_EQ(image.GetImage().size(), QSize(120, 40));  // its own size for an empty rectangle
  bg->bgImg = u"no_such_picture.png";
  EXPECT_EQ(mgr.LoadGdiImage(image, bg.get()), 0);
  EXPECT_EQ(image.GetImage().size(), QSize(120, 40));
  // Folders spelled with backslashes are found too.
  EXPECT_TRUE(UIImagePath(u"sub\\a.svg").endsWith("/images/sub/a.svg"));
}

TEST(GdiSlider, ReportsHorizontalScrollsWithThePosition) {
  TestApp();
  ParentWnd parent;
  parent.ShowWindow(SW_SHOW);
  auto ctrl = Control(9, CRect(10, 10, 234, 34), u"slider_thumb_normal.svg",
                      u"slider_thumb_over.svg", u"slider_thumb_select.svg");
  CGdiSlider slider;
  CRect rect;
  ASSERT_EQ(CUICtrlMgr().LoadGdiSlider(slider, rect, &parent, 9, ctrl.get(), nullptr, nullptr), 1);
  slider.SetRange(0, 200);
  slider.SetPos(250);
  EXPECT_EQ(slider.GetPos(), 200);
  slider.SetPos(-3);
  EXPECT_EQ(slider.GetPos(), 0);
  EXPECT_TRUE(parent.Take().empty());  // set by code: nothing reported
  EXPECT_EQ(slider.GetThumbRect(), CRect(0, 0, 24, 24));

  // Track 224 wide, thumb 24: positions spread over 200 pixels.
  QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(112, 12));
  EXPECT_EQ(slider.GetPos(), 100);
  QTest::mouseMove(&slider, QPoint(162, 12));
  QTRY_COMPARE_WITH_TIMEOUT(slider.GetPos(), 150, 1000);
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(162, 12));
  auto got = parent.Take();
  ASSERT_GE(got.size(), 4u);
  EXPECT_EQ(got[0].msg, WM_HSCROLL);
  EXPECT_EQ(got[0].wParam, MAKEWPARAM(TB_THUMBTRACK, 100));
  EXPECT_EQ(got[0].lParam, HandleOf(slider));
  EXPECT_EQ(got[got.size() - 2].wParam, MAKEWPARAM(TB_THUMBPOSITION, 150));
  EXPECT_EQ(got.back().wParam, MAKEWPARAM(TB_ENDTRACK, 150));

  // Wheel: one step a notch, away from the user grows.
  QWheelEvent wheel(QPointF(5, 5), QPointF(15, 15), QPoint(), QPoint(0, 240), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&slider, &wheel);
  EXPECT_EQ(slider.GetPos(), 152);
  got = parent.Take();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].wParam, MAKEWPARAM(TB_LINEDOWN, 152));

  // Upright sliders report vertical scrolls, minimum at the bottom.
  CGdiSlider upright;
  auto vctrl = Control(10, CRect(300, 10, 324, 134));
  vctrl->type = u"vertical";
  CUICtrlMgr().LoadGdiSlider(upright, rect, &parent, 10, vctrl.get(), nullptr, nullptr);
  QTest::mousePress(&upright, Qt::LeftButton, {}, QPoint(12, 120));
  QTest::mouseRelease(&upright, Qt::LeftButton, {}, QPoint(12, 120));
  EXPECT_EQ(upright.GetPos(), 0);
  QTest::mousePress(&upright, Qt::LeftButton, {}, QPoint(12, 2));
  QTest::mouseRelease(&upright, Qt::LeftButton, {}, QPoint(12, 2));
  EXPECT_EQ(upright.GetPos(), 100);
  got = parent.Take();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back().msg, WM_VSCROLL);
}

TEST(ListTab, ClickSelectsOneTabAndForwardsTheCommand) {
  TestApp();
  ParentWnd parent;
  parent.ShowWindow(SW_SHOW);
  auto tabCtrl = Control(20, CRect(10, 10, 410, 50));
  CListTab tab;
  CRect rect;
  CUICtrlMgr mgr;
  ASSERT_EQ(mgr.LoadListTab(tab, rect, &parent, 20, tabCtrl.get()), 1);
  EXPECT_EQ(rect, CRect(10, 10, 410, 50));
  auto first = Control(21, CRect(0, 0, 120, 40), u"tab_normal.svg", u"tab_over.svg",
                       u"tab_select.svg", 1);
  auto l1 = Language(1, u"Pictures", 0xFFFFFF, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  mgr.LoadTabBtn(tab, 21, first.get(), l1.get(), nullptr);
  auto l2 = Language(2, u"Videos", 0xFFFFFF, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  mgr.LoadTabBtn(tab, 22, nullptr, l2.get(), nullptr);  // placed after the first
  ASSERT_EQ(tab.GetTabCount(), 2);
  CGdiBtnEx* second = tab.GetTabBtn(22);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->geometry().left(), 120);
  EXPECT_TRUE(second->IsWindowVisible());
  EXPECT_EQ(tab.GetCurSel(), -1);

  QTest::mouseClick(second, Qt::LeftButton, {}, QPoint(5, 5));
  QTRY_COMPARE_WITH_TIMEOUT(parent.reports.size(), static_cast<std::size_t>(1), 1000);
  EXPECT_EQ(parent.reports[0].wParam, MAKEWPARAM(22, BN_CLICKED));
  EXPECT_EQ(parent.reports[0].lParam, HandleOf(*second));
  EXPECT_EQ(tab.GetCurSel(), 22);
  EXPECT_EQ(second->GetCheck(), 1);
  EXPECT_EQ(tab.GetTabBtn(21)->GetCheck(), 0);
  EXPECT_EQ(tab.SetCurSel(21), 1);
  EXPECT_EQ(second->GetCheck(), 0);
  EXPECT_EQ(tab.SetCurSel(99), 0);
  EXPECT_EQ(tab.GetCurSel(), 21);
}

TEST(ListBar, ButtonsPageThroughTheItems) {
  TestApp();
  ParentWnd parent;
  parent.ShowWindow(SW_SHOW);
  CListBar bar;
  bar.Create("listBar", WS_CHILD | WS_VISIBLE, CRect(0, 0, 400, 80), &parent, 30);
  EXPECT_EQ(bar.CreateForwardBtn(UIImagePath(u"arrow_right_normal.svg")), 1);
  EXPECT_EQ(bar.CreateBackwardBtn(UIImagePath(u"no_such.svg")), 0);
  EXPECT_EQ(bar.GetBackwardBtn().Caption().GetText(), "<");  // drawn without its picture
  for (int i = 0; i < 10; ++i) bar.AddItem(QString("page %1").arg(i), UIImagePath(u"photo_normal.svg"));
  // 400 wide, buttons of 48 on each side, cells of 80: three items show.
  EXPECT_EQ(bar.GetVisibleCount(), 3);
  EXPECT_FALSE(bar.GetBackwardBtn().IsWindowEnabled());
  EXPECT_TRUE(bar.GetForwardBtn().IsWindowEnabled());
  QTest::mouseClick(&bar.GetForwardBtn(), Qt::LeftButton, {}, QPoint(5, 5));
  QTRY_COMPARE_WITH_TIMEOUT(bar.GetFirstVisible(), 3, 1000);
  EXPECT_TRUE(bar.GetBackwardBtn().IsWindowEnabled());
  bar.Forward();
  bar.Forward();
  EXPECT_EQ(bar.GetFirstVisible(), 7);  // the last page is full
  EXPECT_EQ(bar.Forward(), 0);
  EXPECT_FALSE(bar.GetForwardBtn().IsWindowEnabled());

  const int hit = bar.HitTest(CPoint(200, 40));
  ASSERT_EQ(hit, 8);
  QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(200, 40));
  auto got = parent.Take();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].wParam, MAKEWPARAM(30, LBN_SELCHANGE));
  EXPECT_EQ(bar.GetCurSel(), 8);
  EXPECT_EQ(bar.GetItemText(8), "page 8");
  bar.SetCurSel(0);
  EXPECT_EQ(bar.GetFirstVisible(), 0);
}

TEST(PathBar, SegmentsAndClicks) {
  TestApp();
  ParentWnd parent;
  parent.ShowWindow(SW_SHOW);
  CPathBar bar;
  bar.Create(QString(), WS_CHILD | WS_VISIBLE, CRect(0, 0, 600, 32), &parent, 40);
  bar.SetRootPath("/data/Pictures/");
  EXPECT_EQ(bar.SetPath("/data/Other/x"), 0);
  EXPECT_EQ(bar.SetPath("/data/PicturesX"), 0);  // a sibling with a longer name is outside
  ASSERT_EQ(bar.SetPath("/data/Pictures/2026/december\\class 3"), 1);
  EXPECT_EQ(bar.GetSegmentCount(), 4);
  EXPECT_EQ(bar.GetSegmentText(0), "Pictures");
  EXPECT_EQ(bar.GetSegmentText(3), "class 3");
  EXPECT_EQ(bar.GetPath(), "/data/Pictures/2026/december/class 3");
  EXPECT_EQ(bar.GetSegmentPath(1), "/data/Pictures/2026");

  int hit = -1;
  for (int x = 0; x < 600 && hit != 1; x += 2) hit = bar.HitTest(CPoint(x, 16));
  ASSERT_EQ(hit, 1);
  int x = 0;
  while (bar.HitTest(CPoint(x, 16)) != 1) ++x;
  QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(x + 2, 16));
  auto got = parent.Take();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].wParam, MAKEWPARAM(40, PBN_SELCHANGE));
  EXPECT_EQ(bar.GetPath(), "/data/Pictures/2026");

  // A narrow bar folds the middle segments but keeps the root and the last.
  bar.SetPath("/data/Pictures/a long folder name/another long folder name/third/last one");
  bar.MoveWindow(CRect(0, 0, 260, 32));
  EXPECT_EQ(bar.HitTest(CPoint(5, 16)), 0);
  int lastHit = -1;
  for (int px = 0; px < 260; ++px) lastHit = std::max(lastHit, bar.HitTest(CPoint(px, 16)));
  EXPECT_EQ(lastHit, 4);
}

TEST(PictureEx, PlaysTheAnimatedBusyPicture) {
  TestApp();
  ParentWnd parent;
  parent.ShowWindow(SW_SHOW);
  CPictureEx picture;
  picture.Create("gif", 4, CRect(0, 0, 48, 48), &parent, 50);
  EXPECT_FALSE(picture.IsWindowVisible());  // style without WS_VISIBLE
  EXPECT_EQ(picture.Load(UIImagePath(u"no_such.gif")), 0);
  EXPECT_FALSE(picture.IsLoaded());
  ASSERT_EQ(picture.Load(UIImagePath(u"busy.gif")), 1);
  EXPECT_EQ(picture.GetFrameCount(), 8);
  EXPECT_EQ(picture.GetFrameDelay(0), 100);
  EXPECT_EQ(picture.GetSize(), QSize(48, 48));
  EXPECT_NE(picture.GetFrame(0), picture.GetFrame(1));
  EXPECT_FALSE(picture.IsPlaying());  // hidden: waits
  picture.ShowWindow(SW_SHOW);
  EXPECT_TRUE(picture.IsPlaying());
  QTRY_VERIFY_WITH_TIMEOUT(picture.GetCurrentFrame() >= 2, 3000);
  picture.ShowWindow(SW_HIDE);
  EXPECT_FALSE(picture.IsPlaying());
  const int frame = picture.GetCurrentFrame();
  QTest::qWait(250);
  EXPECT_EQ(picture.GetCurrentFrame(), frame);

  // A still picture loads as one frame and needs no timer.
  ASSERT_EQ(picture.Load(UIImagePath(u"ok_normal.svg")), 1);
  EXPECT_EQ(picture.GetFrameCount(), 1);
  picture.ShowWindow(SW_SHOW);
  EXPECT_FALSE(picture.HasTimer(1));
}
