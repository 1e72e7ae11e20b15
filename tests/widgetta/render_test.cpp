// Draws every control in each of its states into PNG files (and one sheet
// of them all, and one of the icon set) under $BREVIO_TEST_OUTPUT/widgetta,
// for a person to look at; checks that the states really look different.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "contracts/fundara/paths.h"
#include "tests/widgetta/widget_test_util.h"

using namespace widgetta_test;

namespace {

QString OutputDir() {
  const QByteArray base = qgetenv("BREVIO_TEST_OUTPUT");
  const QString dir = (base.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(base)) + "/widgetta";
  QDir().mkpath(dir);
  return dir;
}

struct Cell {
  QString name;
  QImage image;
};

// Collects the shots of one control, saves each one, and lays them out in
// rows on a sheet.
class Sheet {
 public:
  void Add(const QString& control, const QString& state, const QImage& image) {
    image.save(OutputDir() + "/" + control + "_" + state + ".png");
    if (rows_.empty() || rows_.back().first != control) rows_.push_back({control, {}});
    rows_.back().second.push_back({state, image});
  }
  void Save(const QString& file) const {
    const int label = 110, pad = 12, caption = 18;
    int w = 0, h = pad;
    for (const auto& [name, cells] : rows_) {
      int rowW = label, rowH = 0;
      for (const Cell& c : cells) {
        rowW += std::max(c.image.width(), 90) + pad;
        rowH = std::max(rowH, c.image.height());
      }
      w = std::max(w, rowW + pad);
      h += rowH + caption + pad;
    }
    QImage sheet(w, h, QImage::Format_ARGB32);
    sheet.fill(ui_style::kPaper);
    QPainter p(&sheet);
    p.setFont(CUICaption::FontOf(nullptr));
    p.setPen(ui_style::kInk);
    int y = pad;
    for (const auto& [name, cells] : rows_) {
      int x = label, rowH = 0;
      p.drawText(QRect(pad, y, label - pad, 30), Qt::AlignLeft | Qt::AlignVCenter, name);
      for (const Cell& c : cells) {
        p.drawText(QRect(x, y, std::max(c.image.width(), 90), caption), Qt::AlignLeft, c.name);
        p.drawImage(x, y + caption, c.image);
        x += std::max(c.image.width(), 90) + pad;
        rowH = std::max(rowH, c.image.height());
      }
      y += rowH + caption + pad;
    }
    p.end();
    sheet.save(OutputDir() + "/" + file);
  }

 private:
  std::vector<std::pair<QString, std::vector<Cell>>> rows_;
};

// The control together with the parent's background under it.
QImage ShotOnParent(CWnd& parent, QWidget& w) {
  return Shot(parent).copy(w.geometry());
}

void Hover(QWidget& w, QPoint p) {
  QTest::mouseMove(&w, p);
  QCoreApplication::processEvents();
}

void Leave(QWidget& w) {
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&w, &leave);
}

}  // namespace

TEST(Render, EveryControlInEachState) {
  TestApp();
  ParentWnd parent(CRect(0, 0, 900, 700));
  parent.ShowWindow(SW_SHOW);
  CUICtrlMgr mgr;
  Sheet sheet;
  auto font = Font(1, -16, u"微软雅黑", 700);
  auto text = Language(1, u"拍照 Photo", 0xFFFFFF, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  CRect rect;

  // Picture button with a caption under the icon.
  auto photo = Control(1, CRect(20, 20, 110, 110), u"photo_normal.svg", u"photo_over.svg",
                       u"photo_select.svg", 1);
  photo->imgRect = CRect(21, 4, 69, 52);
  (*photo->textTable)[0].rect = CRect(0, 56, 90, 86);
  auto darkText = Language(1, u"拍照 Photo", 0x2B2014, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  CGdiBtnEx btn;
  mgr.LoadGdiBtn(btn, rect, &parent, 1, photo.get(), darkText.get(), font.get());
  const QImage normal = ShotOnParent(parent, btn);
  sheet.Add("GdiBtnEx", "normal", normal);
  Hover(btn, QPoint(45, 30));
  ASSERT_EQ(btn.GetDrawState(), CGdiBtnEx::State::Over);
  const QImage over = ShotOnParent(parent, btn);
  sheet.Add("GdiBtnEx", "over", over);
  QTest::mousePress(&btn, Qt::LeftButton, {}, QPoint(45, 30));
  const QImage pressed = ShotOnParent(parent, btn);
  sheet.Add("GdiBtnEx", "pressed", pressed);
  QTest::mouseRelease(&btn, Qt::LeftButton, {}, QPoint(45, 30));
  Leave(btn);
  btn.EnableWindow(false);
  const QImage disabled = ShotOnParent(parent, btn);
  sheet.Add("GdiBtnEx", "disabled", disabled);
  EXPECT_NE(normal, over);
  EXPECT_NE(over, pressed);
  EXPECT_NE(normal, disabled);

  // Check button: unchecked and checked.
  auto crop = Control(2, CRect(130, 20, 178, 68), u"crop_normal.svg", u"crop_over.svg",
                      u"crop_select.svg");
  crop->type = u"check";
  CGdiBtnEx check;
  mgr.LoadGdiBtn(check, rect, &parent, 2, crop.get(), nullptr, nullptr);
  const QImage unchecked = ShotOnParent(parent, check);
  sheet.Add("check", "unchecked", unchecked);
  check.SetCheck(1);
  const QImage checked = ShotOnParent(parent, check);
  sheet.Add("check", "checked", checked);
  EXPECT_NE(unchecked, checked);

  // Drawn button with icon and caption.
  auto hdcCtrl = Control(3, CRect(200, 20, 360, 64), u"ok_normal.svg", {}, {}, 1);
  CHdcBtn hdc;
  mgr.LoadHdcBtn(hdc, rect, &parent, 3, hdcCtrl.get(), text.get(), font.get());
  sheet.Add("HdcBtn", "normal", ShotOnParent(parent, hdc));
  Hover(hdc, QPoint(60, 20));
  sheet.Add("HdcBtn", "over", ShotOnParent(parent, hdc));
  QTest::mousePress(&hdc, Qt::LeftButton, {}, QPoint(60, 20));
  sheet.Add("HdcBtn", "pressed", ShotOnParent(parent, hdc));
  QTest::mouseRelease(&hdc, Qt::LeftButton, {}, QPoint(60, 20));
  Leave(hdc);
  hdc.EnableWindow(false);
  sheet.Add("HdcBtn", "disabled", ShotOnParent(parent, hdc));

  // Null records: the plain tile.
  CGdiBtnEx bare;
  mgr.LoadGdiBtn(bare, rect, &parent, 4, nullptr, text.get(), font.get());
  bare.MoveWindow(CRect(380, 20, 520, 64));
  bare.ShowWindow(SW_SHOW);
  sheet.Add("null records", "normal", ShotOnParent(parent, bare));

  // Slider with the artwork's thumb, and with the drawn thumb.
  auto sliderCtrl = Control(5, CRect(20, 130, 320, 158), u"slider_thumb_normal.svg",
                            u"slider_thumb_over.svg", u"slider_thumb_select.svg");
  CGdiSlider slider;
  mgr.LoadGdiSlider(slider, rect, &parent, 5, sliderCtrl.get(), nullptr, nullptr);
  slider.SetPos(30);
  const QImage sliderNormal = ShotOnParent(parent, slider);
  sheet.Add("GdiSlider", "normal", sliderNormal);
  const CRect thumb = slider.GetThumbRect();
  Hover(slider, QPoint(thumb.CenterPoint().x, thumb.CenterPoint().y));
  sheet.Add("GdiSlider", "over", ShotOnParent(parent, slider));
  QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(thumb.CenterPoint().x, 14));
  const QImage dragging = ShotOnParent(parent, slider);
  sheet.Add("GdiSlider", "dragging", dragging);
  QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(thumb.CenterPoint().x, 14));
  Leave(slider);
  slider.EnableWindow(false);
  sheet.Add("GdiSlider", "disabled", ShotOnParent(parent, slider));
  EXPECT_NE(sliderNormal, dragging);
  CGdiSlider drawn;
  auto drawnCtrl = Control(6, CRect(340, 130, 640, 158));
  mgr.LoadGdiSlider(drawn, rect, &parent, 6, drawnCtrl.get(), nullptr, nullptr);
  drawn.SetPos(70);
  sheet.Add("drawn slider", "normal", ShotOnParent(parent, drawn));

  // Tabs.
  auto tabCtrl = Control(7, CRect(20, 180, 400, 220));
  CListTab tab;
  mgr.LoadListTab(tab, rect, &parent, 7, tabCtrl.get());
  const char16_t* names[] = {u"图片", u"视频", u"装订"};
  std::vector<std::unique_ptr<_MYCONTROL>> tabCtrls;
  std::vector<std::unique_ptr<_MYLANGUAGE>> tabTexts;
  for (int i = 0; i < 3; ++i) {
    tabCtrls.push_back(Control(70 + i, CRect(i * 124, 0, i * 124 + 120, 40), u"tab_normal.svg",
                               u"tab_over.svg", u"tab_select.svg", 10 + i));
    tabTexts.push_back(Language(10 + i, names[i], 0xFFFFFF, DT_CENTER | DT_VCENTER | DT_SINGLELINE));
    mgr.LoadTabBtn(tab, 70 + i, tabCtrls.back().get(), tabTexts.back().get(), font.get());
  }
  tab.SetCurSel(71);
  sheet.Add("ListTab", "second selected", ShotOnParent(parent, tab));

  // List bar.
  CListBar bar;
  bar.Create("listBar", WS_CHILD | WS_VISIBLE, CRect(20, 240, 520, 330), &parent, 8);
  bar.CreateBackwardBtn(UIImagePath(u"arrow_left_normal.svg"));
  bar.CreateForwardBtn(UIImagePath(u"arrow_right_normal.svg"));
  for (const char16_t* icon : {u"photo_normal.svg", u"crop_normal.svg", u"folder_normal.svg",
                               u"rotate_left_normal.svg", u"rotate_right_normal.svg", u"ok_normal.svg"})
    bar.AddItem(QString::fromStdU16String(icon).section('_', 0, -2), UIImagePath(icon));
  bar.SetCurSel(1);
  sheet.Add("ListBar", "first page", ShotOnParent(parent, bar));
  bar.Forward();
  sheet.Add("ListBar", "second page", ShotOnParent(parent, bar));

  // Path bar.
  CPathBar path;
  path.Create(QString(), WS_CHILD | WS_VISIBLE, CRect(20, 350, 620, 382), &parent, 9);
  path.SetRootPath("/home/teacher/Pictures");
  path.SetPath("/home/teacher/Pictures/2026/12 December/Class 3B");
  sheet.Add("PathBar", "normal", ShotOnParent(parent, path));
  int x = 0;
  while (x < 600 && path.HitTest(CPoint(x, 16)) != 1) ++x;
  Hover(path, QPoint(x + 4, 16));
  sheet.Add("PathBar", "over", ShotOnParent(parent, path));
  path.MoveWindow(CRect(20, 350, 260, 382));
  sheet.Add("PathBar", "narrow", ShotOnParent(parent, path));

  // Animated picture: two frames.
  CPictureEx gif;
  gif.Create("gif", 4, CRect(20, 400, 68, 448), &parent, 10);
  ASSERT_EQ(gif.Load(UIImagePath(u"busy.gif")), 1);
  gif.ShowWindow(SW_SHOW);
  const QImage frame0 = ShotOnParent(parent, gif);
  sheet.Add("PictureEx", "frame 0", frame0);
  QTRY_VERIFY_WITH_TIMEOUT(gif.GetCurrentFrame() == 3, 3000);
  const QImage frame3 = ShotOnParent(parent, gif);
  sheet.Add("PictureEx", "frame 3", frame3);
  EXPECT_NE(frame0, frame3);

  sheet.Save("controls.png");
}

TEST(Render, ListViewWithThumbnailsSelectionAndProgress) {
  TestApp();
  QTemporaryDir scratch;
  qputenv("XDG_CACHE_HOME", scratch.filePath("cache").toUtf8());
  const QString folder = scratch.filePath("lesson");
  QDir().mkpath(folder);
  const QColor colours[] = {QColor(200, 60, 40), QColor(40, 140, 70), QColor(30, 90, 200),
                            QColor(230, 180, 20)};
  for (int i = 0; i < 4; ++i) {
    QImage img(160, 120, QImage::Format_RGB32);
    img.fill(colours[i]);
    QPainter p(&img);
    p.setPen(QPen(Qt::white, 6));
    p.drawEllipse(QRect(40, 20, 80, 80));
    p.end();
    img.save(QString("%1/page %2.jpg").arg(folder).arg(i + 1));
  }
  QFile bind(folder + "/lesson.bind");
  ASSERT_TRUE(bind.open(QIODevice::WriteOnly));
  bind.write("x");
  bind.close();

  ParentWnd parent(CRect(0, 0, 660, 330));
  parent.ShowWindow(SW_SHOW);
  CListViewEx list;
  list.Create("fileListView", WS_CHILD | WS_VISIBLE, CRect(0, 0, 660, 330), &parent, 11);
  ASSERT_EQ(list.SetPath(folder), 1);
  Sheet sheet;
  const QImage plain = ShotOnParent(parent, list);
  sheet.Add("ListViewEx", "plain", plain);
  list.SetSelect(1, true);
  list.SetSelect(4, true);
  list.UpdateLayer(60, 2);
  const QImage marked = ShotOnParent(parent, list);
  sheet.Add("ListViewEx", "selected and progress", marked);
  EXPECT_NE(plain, marked);
  // The thumbnail of the first picture (after lesson.bind) shows its colour.
  ASSERT_EQ(list.GetItemPath(1), folder + "/page 1.jpg");
  const CRect cell = list.GetItemRect(1);
  const QColor middle = plain.pixelColor(cell.left + 20, cell.top + 30);
  EXPECT_NEAR(middle.red(), 200, 20);
  EXPECT_NEAR(middle.green(), 60, 20);
  sheet.Save("listview.png");
  list.setParent(nullptr);
  qunsetenv("XDG_CACHE_HOME");
}

TEST(Render, IconSet) {
  TestApp();
  // Every SVG of the image folder drawn at 48 and 24 pixels, on the light
  // and on a dark background.
  QStringList files;
  QDirIterator it(QString::fromStdString(GetImagePath()), {"*.svg"}, QDir::Files);
  while (it.hasNext()) files << it.next();
  files.sort();
  ASSERT_GE(files.size(), 30);
  const int cols = 6, cellW = 150, cellH = 96;
  const int rows = (static_cast<int>(files.size()) + cols - 1) / cols;
  QImage sheet(cols * cellW, rows * cellH, QImage::Format_ARGB32);
  sheet.fill(ui_style::kPaper);
  QPainter p(&sheet);
  QFont font = CUICaption::FontOf(nullptr);
  font.setPixelSize(11);
  p.setFont(font);
  for (int i = 0; i < files.size(); ++i) {
    const int x = (i % cols) * cellW, y = (i / cols) * cellH;
    const QImage big = LoadUIPicture(files[i], QSize(48, 48));
    ASSERT_FALSE(big.isNull()) << files[i].toStdString();
    p.fillRect(QRect(x + 62, y + 6, 60, 60), ui_style::kInk);
    p.drawImage(x + 8, y + 12, big);
    p.drawImage(x + 80, y + 24, LoadUIPicture(files[i], QSize(24, 24)));
    p.setPen(ui_style::kInk);
    p.drawText(QRect(x + 4, y + 70, cellW - 8, 20), Qt::AlignLeft, QFileInfo(files[i]).completeBaseName());
  }
  p.end();
  sheet.save(OutputDir() + "/icons.png");
}
