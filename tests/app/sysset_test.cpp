// The system settings dialog against cameras of a fake provider, with the
// settings, data and thumbnail folders in a scratch folder per test.

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/app_messages.h"
#include "app/settings.h"
#include "app/sysset_dlg.h"
#include "contracts/camera/camera.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/thumbs.h"
#include "platform/dialogs.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/test_app.h"
#include "tests/support/wait.h"

namespace {

namespace fs = std::filesystem;

// A left click at a point of the widget.
void Click(QWidget* widget, QPoint p = QPoint(8, 8)) {
  ASSERT_NE(widget, nullptr);
  const QPointF local(p);
  const QPointF global(widget->mapToGlobal(p));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &release);
}

// Types the text key by key, as a user would.
void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    const int key = c == QLatin1Char(' ') ? Qt::Key_Space : static_cast<int>(c.toUpper().unicode());
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(widget, &release);
  }
}

// Lists the cameras it was given; opening is never needed by the dialog.
class CFakeProvider : public ICameraProvider {
 public:
  explicit CFakeProvider(std::vector<CCameraDescription> cameras) : cameras_(std::move(cameras)) {}
  std::vector<CCameraDescription> Enumerate() override { return cameras_; }
  std::unique_ptr<ICameraDevice> Open(const std::string&, int& error) override {
    error = CAMERA_OPEN_FAILED;
    return nullptr;
  }

 private:
  std::vector<CCameraDescription> cameras_;
};

CPixelFormat Format(std::uint32_t fourcc, std::vector<std::pair<int, int>> sizes) {
  CPixelFormat f;
  f.fourcc = fourcc;
  for (auto [w, h] : sizes) f.sizes.push_back({w, h, 30});
  return f;
}

// Camera k offers MJPG at five sizes (GetDPI(30) asks for 351 pixels across:
// the third, 640 wide) and YUY2 at sizes of its own, so that every list
// tells which camera filled it.
CCameraDescription Camera(int k) {
  CCameraDescription d;
  d.id = "cam" + std::to_string(k);
  d.name = std::string("Camera ") + static_cast<char>('A' + k);
  d.formats.push_back(Format(FOURCC_MJPG, {{160, 120}, {320, 240}, {640, 480}, {1280, 720}, {1920, 1080}}));
  d.formats.push_back(Format(FOURCC_YUYV, {{176 + 16 * k, 144}, {352, 288}}));
  return d;
}

std::unique_ptr<CUsbCamera> Cameras(int count) {
  std::vector<CCameraDescription> list;
  for (int k = 0; k < count; ++k) list.push_back(Camera(k));
  return std::make_unique<CUsbCamera>(
      std::vector<std::shared_ptr<ICameraProvider>>{std::make_shared<CFakeProvider>(list)});
}

// Stands in for the main frame: counts the refresh notices.
class CMainRecorder : public CWnd {
 public:
  CMainRecorder() {
    OnMessage(WM_REFRESH_LIBRARY, [this](WPARAM w, LPARAM l) {
      ++refreshes;
      lastArgs = w | static_cast<WPARAM>(l);
      return LRESULT(0);
    });
  }
  int refreshes = 0;
  WPARAM lastArgs = 0;
};

class SysSet : public fundara_test::ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
  }
  void TearDown() override {
    SetMainWnd(nullptr);
    ScratchEnv::TearDown();
  }

  CDialogScript dialogs;  // no chooser or box is ever shown

  static QComboBox* Combo(CSysSetDlg& d, int id) { return qobject_cast<QComboBox*>(d.GetDlgItem(id)); }
  static QRadioButton* Radio(CSysSetDlg& d, int id) { return qobject_cast<QRadioButton*>(d.GetDlgItem(id)); }
  static QLineEdit* Edit(CSysSetDlg& d, int id) { return qobject_cast<QLineEdit*>(d.GetDlgItem(id)); }
  static std::vector<std::string> Rows(QComboBox* box) {
    std::vector<std::string> rows;
    for (int i = 0; i < box->count(); ++i) rows.push_back(box->itemText(i).toStdString());
    return rows;
  }
  static int Int(std::string_view section, std::string_view key) { return camcfg::ReadInt(section, key, -99); }
  static std::string Text(std::string_view section, std::string_view key) {
    return camcfg::ReadString(section, key, "<none>");
  }
  // Runs the dialog modally and presses a button once the loop runs.
  static int RunAndClick(CSysSetDlg& d, int buttonId) {
    QTimer::singleShot(0, [&d, buttonId] { Click(d.GetDlgItem(buttonId)); });
    return d.DoModal();
  }

};

TEST_F(SysSet, EmptySettingsOpenWithTheReadersDefaults) {
  auto cam = Cameras(2);
  CSysSetDlg dlg(nullptr, cam.get());
  EXPECT_TRUE(Radio(dlg, IDC_SYSSET_JPG)->isChecked());
  EXPECT_TRUE(Radio(dlg, IDC_SYSSET_BY_PREFIX)->isChecked());
  EXPECT_FALSE(Radio(dlg, IDC_SYSSET_BY_TIME)->isChecked());
  EXPECT_EQ(Edit(dlg, IDC_SYSSET_PREFIX)->text(), "VELTRA");
  EXPECT_TRUE(Edit(dlg, IDC_SYSSET_PREFIX)->isEnabled());
  EXPECT_TRUE(Radio(dlg, IDC_SYSSET_MP4)->isChecked());
  EXPECT_EQ(Rows(Combo(dlg, IDC_SYSSET_SIZE)), (std::vector<std::string>{"640*480", "800*600", "1280*720"}));
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_SIZE)->currentIndex(), -1);
  EXPECT_EQ(Edit(dlg, IDC_SYSSET_PATH)->text().toStdString(), (root / "pictures" / "Brevio").string());
  EXPECT_TRUE(dlg.GetHintText().isEmpty());

  EXPECT_EQ(Rows(Combo(dlg, IDC_SYSSET_MAIN_CAMERA)), (std::vector<std::string>{"Camera A", "Camera B"}));
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_MAIN_CAMERA)->currentIndex(), 0);
  EXPECT_EQ(Rows(Combo(dlg, IDC_SYSSET_MAIN_FORMAT)), (std::vector<std::string>{"MJPG", "YUY2"}));
  // ":" is the camera's own choice, its first format: the one the sizes belong to.
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_MAIN_FORMAT)->currentText(), "MJPG");
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_MAIN_DPI)->count(), 5);
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_MAIN_DPI)->currentIndex(), 0);
  EXPECT_EQ(Rows(Combo(dlg, IDC_SYSSET_NEXT_CAMERA)), (std::vector<std::string>{"Camera B"}));
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_NEXT_CAMERA)->currentIndex(), 0);
  EXPECT_TRUE(Combo(dlg, IDC_SYSSET_NEXT_DPI)->isEnabled());

  // Opened centred in the work area.
  const CRect work = CWnd::GetWorkArea();
  const CRect r = dlg.GetWindowRect();
  EXPECT_NEAR(r.left + r.Width() / 2, work.left + work.Width() / 2, 1);
  EXPECT_NEAR(r.top + r.Height() / 2, work.top + work.Height() / 2, 1);
  EXPECT_EQ(r.Width(), 640);
}

TEST_F(SysSet, CancelCloseAndTheCloseButtonWriteNothing) {
  auto cam = Cameras(2);
  for (int how : {0, 1, 2}) {
    CSysSetDlg dlg(nullptr, cam.get());
    Radio(dlg, IDC_SYSSET_PNG)->setChecked(true);
    Edit(dlg, IDC_SYSSET_PREFIX)->setText("changed");
    int result = 0;
    if (how == 0) {
      result = RunAndClick(dlg, IDC_SYSSET_CANCEL);
    } else if (how == 1) {
      result = RunAndClick(dlg, IDC_SYSSET_CLOSE);
    } else {
      QTimer::singleShot(0, [&dlg] { dlg.close(); });
      result = dlg.DoModal();
    }
    EXPECT_EQ(result, 2) << how;
    EXPECT_FALSE(fs::exists(GetCameraConfig())) << how;
    EXPECT_FALSE(fs::exists(root / "pictures")) << how;
  }
}

TEST_F(SysSet, StoredValuesAreShownAndOddOnesFallBack) {
  auto cam = Cameras(2);
  camcfg::WriteInt(camcfg::kOutput, camcfg::kImageType, 4);
  camcfg::WriteInt(camcfg::kOutput, camcfg::kImageNameType, 0);
  camcfg::WriteString(camcfg::kVideo, camcfg::kVideoType, "avi");
  camcfg::WriteInt(camcfg::kVideo, camcfg::kWidth, 1280);
  camcfg::WriteInt(camcfg::kVideo, camcfg::kHeight, 720);
  camcfg::WriteString(camcfg::kOutput, camcfg::kDataPath, (root / "mine").string());
  {
    CSysSetDlg dlg(nullptr, cam.get());
    EXPECT_TRUE(Radio(dlg, IDC_SYSSET_TIF)->isChecked());
    EXPECT_TRUE(Radio(dlg, IDC_SYSSET_BY_TIME)->isChecked());
    EXPECT_FALSE(Edit(dlg, IDC_SYSSET_PREFIX)->isEnabled());
    EXPECT_TRUE(Radio(dlg, IDC_SYSSET_AVI)->isChecked());
    EXPECT_EQ(Combo(dlg, IDC_SYSSET_SIZE)->currentText(), "1280*720");
    EXPECT_EQ(Edit(dlg, IDC_SYSSET_PATH)->text().toStdString(), (root / "mine").string());
    // Choosing the prefix naming enables the field again.
    Radio(dlg, IDC_SYSSET_BY_PREFIX)->setChecked(true);
    EXPECT_TRUE(Edit(dlg, IDC_SYSSET_PREFIX)->isEnabled());
  }
  camcfg::WriteInt(camcfg::kOutput, camcfg::kImageType, 7);
  camcfg::WriteInt(camcfg::kOutput, camcfg::kImageNameType, 5);
  camcfg::WriteString(camcfg::kVideo, camcfg::kVideoType, "Flv");
  camcfg::WriteInt(camcfg::kVideo, camcfg::kWidth, 1024);
  camcfg::WriteInt(camcfg::kVideo, camcfg::kHeight, 768);
  {
    CSysSetDlg dlg(nullptr, cam.get());
    EXPECT_TRUE(Radio(dlg, IDC_SYSSET_JPG)->isChecked());
    EXPECT_TRUE(Radio(dlg, IDC_SYSSET_BY_PREFIX)->isChecked());
    EXPECT_TRUE(Radio(dlg, IDC_SYSSET_FLV)->isChecked());
    EXPECT_EQ(Combo(dlg, IDC_SYSSET_SIZE)->currentIndex(), -1);
  }
  camcfg::WriteString(camcfg::kVideo, camcfg::kVideoType, "MKV");
  CSysSetDlg dlg(nullptr, cam.get());
  EXPECT_TRUE(Radio(dlg, IDC_SYSSET_MP4)->isChecked());
}

TEST_F(SysSet, PrefixLosesRefusedCharactersWithAHint) {
  auto cam = Cameras(1);
  CSysSetDlg dlg(nullptr, cam.get());
  QLineEdit* prefix = Edit(dlg, IDC_SYSSET_PREFIX);
  prefix->clear();
  // Typed key by key: each refused key is dropped at once and the hint
  // stays until the next change.
  Type(prefix, "ab c-");
  EXPECT_EQ(prefix->text(), "abc");
  EXPECT_EQ(dlg.GetHintText(), QString::fromUtf8("名字只能是字母,数字或下划线组合"));
  EXPECT_EQ(prefix->cursorPosition(), 3);
  Type(prefix, "d_9Z");
  EXPECT_EQ(prefix->text(), "abcd_9Z");
  EXPECT_TRUE(dlg.GetHintText().isEmpty());
  // Entered as one change (pasted).
  prefix->setText("ab c-d");
  EXPECT_EQ(prefix->text(), "abcd");
  EXPECT_EQ(dlg.GetHintText(), QString::fromUtf8("名字只能是字母,数字或下划线组合"));
  EXPECT_EQ(prefix->cursorPosition(), 4);
  // Pasted text in the middle: cleaned, caret at the end.
  prefix->setText(QString::fromUtf8("课堂 one.two"));
  EXPECT_EQ(prefix->text(), "onetwo");
  EXPECT_EQ(prefix->cursorPosition(), 6);
  EXPECT_FALSE(dlg.GetHintText().isEmpty());

  EXPECT_EQ(CSysSetDlg::CleanPrefix(QString::fromUtf8("A-z_0 9\t!é")), "Az_09");
  EXPECT_EQ(CSysSetDlg::CleanPrefix(""), "");
}

TEST_F(SysSet, StoredPrefixWithRefusedCharactersIsCleanedOnOpening) {
  auto cam = Cameras(1);
  camcfg::WriteString(camcfg::kOutput, camcfg::kImageName, "my class-1");
  CSysSetDlg dlg(nullptr, cam.get());
  EXPECT_EQ(Edit(dlg, IDC_SYSSET_PREFIX)->text(), "myclass1");
  EXPECT_FALSE(dlg.GetHintText().isEmpty());
}

TEST_F(SysSet, OneCameraDisablesTheSecondaryListsAndSavesASoundNextCamera) {
  auto cam = Cameras(1);
  camcfg::WriteInt(camcfg::kNextCamera, camcfg::kDpi, -3);
  camcfg::WriteString(camcfg::kNextCamera, camcfg::kDpiType, "MJPG");
  CSysSetDlg dlg(nullptr, cam.get());
  EXPECT_TRUE(Combo(dlg, IDC_SYSSET_MAIN_CAMERA)->isEnabled());
  for (int id : {IDC_SYSSET_NEXT_CAMERA, IDC_SYSSET_NEXT_FORMAT, IDC_SYSSET_NEXT_DPI}) {
    EXPECT_FALSE(Combo(dlg, id)->isEnabled()) << id;
    EXPECT_EQ(Combo(dlg, id)->count(), 0) << id;
  }
  EXPECT_EQ(RunAndClick(dlg, IDC_SYSSET_OK), 1);
  EXPECT_EQ(Int(camcfg::kFirstCamera, camcfg::kSerialId), 0);
  EXPECT_EQ(Int(camcfg::kFirstCamera, camcfg::kDpi), 0);
  // The empty list has no position; the next camera is the one that a
  // second camera will get, never -1 and never the main camera.
  EXPECT_EQ(Int(camcfg::kNextCamera, camcfg::kSerialId), 1);
  EXPECT_EQ(Int(camcfg::kNextCamera, camcfg::kDpi), -3);
  EXPECT_EQ(Text(camcfg::kNextCamera, camcfg::kDpiType), "MJPG");
}

TEST_F(SysSet, NoCameraDisablesEveryCameraListAndKeepsTheCameraKeys) {
  auto cam = Cameras(0);
  camcfg::WriteInt(camcfg::kFirstCamera, camcfg::kSerialId, 0);
  camcfg::WriteInt(camcfg::kFirstCamera, camcfg::kDpi, -4);
  CSysSetDlg dlg(nullptr, cam.get());
  for (int id : {IDC_SYSSET_MAIN_CAMERA, IDC_SYSSET_MAIN_FORMAT, IDC_SYSSET_MAIN_DPI, IDC_SYSSET_NEXT_CAMERA,
                 IDC_SYSSET_NEXT_FORMAT, IDC_SYSSET_NEXT_DPI})
    EXPECT_FALSE(Combo(dlg, id)->isEnabled()) << id;
  dlg.OnOK();
  EXPECT_EQ(Int(camcfg::kFirstCamera, camcfg::kSerialId), 0);
  EXPECT_EQ(Int(camcfg::kFirstCamera, camcfg::kDpi), -4);
  EXPECT_EQ(Text(camcfg::kFirstCamera, camcfg::kDpiType), "<none>");
  EXPECT_EQ(Int(camcfg::kNextCamera, camcfg::kSerialId), 1);
}

TEST_F(SysSet, SecondaryListLeavesOutTheMainCameraWhenReadingAndSaving) {
  auto cam = Cameras(3);
  struct Case {
    int first, next;      // stored
    int mainShown;        // main list selection
    int position;         // secondary list selection
    const char* camera;   // the camera it names
    int saved;            // nextCamera serialId written back unchanged
  };
  const Case cases[] = {
      {1, 2, 1, 1, "Camera C", 2},  // after the main camera: one place up
      {1, 0, 1, 0, "Camera A", 0},  // before it: the same place
      {0, 2, 0, 1, "Camera C", 2},
      {2, 1, 2, 1, "Camera B", 1},
      {1, 7, 1, 0, "Camera A", 0},  // beyond the cameras: the first
      {2, 2, 2, 0, "Camera A", 0},  // equal to the last camera as main: past the list, the first
      {5, 1, 0, 0, "Camera B", 1},  // main beyond the cameras: camera 0
      {-1, 1, 0, 0, "Camera B", 1},
  };
  for (const Case& c : cases) {
    camcfg::WriteInt(camcfg::kFirstCamera, camcfg::kSerialId, c.first);
    camcfg::WriteInt(camcfg::kNextCamera, camcfg::kSerialId, c.next);
    CSysSetDlg dlg(nullptr, cam.get());
    const std::string label = std::to_string(c.first) + "/" + std::to_string(c.next);
    EXPECT_EQ(Combo(dlg, IDC_SYSSET_MAIN_CAMERA)->currentIndex(), c.mainShown) << label;
    EXPECT_EQ(Combo(dlg, IDC_SYSSET_NEXT_CAMERA)->count(), 2) << label;
    EXPECT_EQ(Combo(dlg, IDC_SYSSET_NEXT_CAMERA)->currentIndex(), c.position) << label;
    EXPECT_EQ(Combo(dlg, IDC_SYSSET_NEXT_CAMERA)->currentText().toStdString(), c.camera) << label;
    dlg.OnOK();
    EXPECT_EQ(Int(camcfg::kFirstCamera, camcfg::kSerialId), c.mainShown) << label;
    EXPECT_EQ(Int(camcfg::kNextCamera, camcfg::kSerialId), c.saved) << label;
  }
}

TEST_F(SysSet, ChangingTheMainCameraRefillsTheSecondaryListAndItsDetails) {
  auto cam = Cameras(3);
  camcfg::WriteInt(camcfg::kNextCamera, camcfg::kSerialId, 1);
  camcfg::WriteString(camcfg::kNextCamera, camcfg::kDpiType, "YUYV");
  CSysSetDlg dlg(nullptr, cam.get());
  QComboBox* next = Combo(dlg, IDC_SYSSET_NEXT_CAMERA);
  EXPECT_EQ(Rows(next), (std::vector<std::string>{"Camera B", "Camera C"}));
  // The secondary camera's YUY2 sizes are its own (Camera B: 192 wide).
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_NEXT_FORMAT)->currentText(), "YUY2");
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_NEXT_DPI)->itemText(0), "192*144");

  Combo(dlg, IDC_SYSSET_MAIN_CAMERA)->setCurrentIndex(2);
  EXPECT_EQ(Rows(next), (std::vector<std::string>{"Camera A", "Camera B"}));
  EXPECT_EQ(next->currentIndex(), 1);  // stored 1 lies before the main camera 2
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_NEXT_DPI)->itemText(0), "192*144");

  next->setCurrentIndex(0);  // Camera A
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_NEXT_DPI)->itemText(0), "176*144");
  dlg.OnOK();
  EXPECT_EQ(Int(camcfg::kFirstCamera, camcfg::kSerialId), 2);
  EXPECT_EQ(Int(camcfg::kNextCamera, camcfg::kSerialId), 0);
  EXPECT_EQ(Text(camcfg::kNextCamera, camcfg::kDpiType), "YUY2");

  // Main 0, secondary position 1 is camera 2.
  CSysSetDlg again(nullptr, cam.get());
  Combo(again, IDC_SYSSET_MAIN_CAMERA)->setCurrentIndex(0);
  Combo(again, IDC_SYSSET_NEXT_CAMERA)->setCurrentIndex(1);
  again.OnOK();
  EXPECT_EQ(Int(camcfg::kFirstCamera, camcfg::kSerialId), 0);
  EXPECT_EQ(Int(camcfg::kNextCamera, camcfg::kSerialId), 2);
}

TEST_F(SysSet, ResolutionSelectorsOfTheSettings) {
  auto cam = Cameras(2);
  // MJPG sizes 160 320 640 1280 1920 wide; GetDPI(30) is the 640 one; -4
  // is the largest picture, which start-up writes and the camera opens.
  const std::pair<int, int> cases[] = {{0, 0},  {3, 3},  {4, 4}, {5, 4}, {99, 4},
                                       {-2, 4}, {-3, 2}, {-1, 0}, {-4, 4}, {-100, 0}};
  camcfg::WriteString(camcfg::kFirstCamera, camcfg::kDpiType, "MJPG");
  camcfg::WriteString(camcfg::kNextCamera, camcfg::kDpiType, "MJPG");
  for (auto [stored, shown] : cases) {
    camcfg::WriteInt(camcfg::kFirstCamera, camcfg::kDpi, stored);
    camcfg::WriteInt(camcfg::kNextCamera, camcfg::kDpi, stored);
    CSysSetDlg dlg(nullptr, cam.get());
    EXPECT_EQ(Combo(dlg, IDC_SYSSET_MAIN_DPI)->currentIndex(), shown) << stored;
    EXPECT_EQ(Combo(dlg, IDC_SYSSET_NEXT_DPI)->currentIndex(), shown) << stored;
    EXPECT_EQ(Combo(dlg, IDC_SYSSET_MAIN_FORMAT)->currentText(), "MJPG");
  }
  // Saving writes the list index the selector stood for.
  camcfg::WriteInt(camcfg::kFirstCamera, camcfg::kDpi, -2);
  camcfg::WriteInt(camcfg::kNextCamera, camcfg::kDpi, -3);
  CSysSetDlg dlg(nullptr, cam.get());
  dlg.OnOK();
  EXPECT_EQ(Int(camcfg::kFirstCamera, camcfg::kDpi), 4);
  EXPECT_EQ(Int(camcfg::kNextCamera, camcfg::kDpi), 2);
  EXPECT_EQ(Text(camcfg::kFirstCamera, camcfg::kDpiType), "MJPG");

  EXPECT_EQ(CSysSetDlg::ResolveDpi(*cam, 3, 0), -1);
}

TEST_F(SysSet, ChangingAFormatListsThatCamerasSizesAndSelectsTheFirst) {
  auto cam = Cameras(2);
  camcfg::WriteString(camcfg::kFirstCamera, camcfg::kDpiType, "MJPG");
  camcfg::WriteInt(camcfg::kFirstCamera, camcfg::kDpi, 3);
  CSysSetDlg dlg(nullptr, cam.get());
  // The secondary lists were filled last; the main camera's format change
  // must still list the main camera's sizes.
  Combo(dlg, IDC_SYSSET_MAIN_FORMAT)->setCurrentIndex(1);
  EXPECT_EQ(Rows(Combo(dlg, IDC_SYSSET_MAIN_DPI)), (std::vector<std::string>{"176*144", "352*288"}));
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_MAIN_DPI)->currentIndex(), 0);
  Combo(dlg, IDC_SYSSET_NEXT_FORMAT)->setCurrentIndex(1);
  EXPECT_EQ(Combo(dlg, IDC_SYSSET_NEXT_DPI)->itemText(0), "192*144");
  Combo(dlg, IDC_SYSSET_MAIN_DPI)->setCurrentIndex(1);
  dlg.OnOK();
  EXPECT_EQ(Text(camcfg::kFirstCamera, camcfg::kDpiType), "YUY2");
  EXPECT_EQ(Int(camcfg::kFirstCamera, camcfg::kDpi), 1);
  EXPECT_EQ(Text(camcfg::kNextCamera, camcfg::kDpiType), "YUY2");
  EXPECT_EQ(Int(camcfg::kNextCamera, camcfg::kDpi), 0);
}

TEST_F(SysSet, RecordingSizeAndContainerAreSaved) {
  auto cam = Cameras(1);
  {
    // No size selected: 640 by 480.
    CSysSetDlg dlg(nullptr, cam.get());
    Radio(dlg, IDC_SYSSET_AVI)->setChecked(true);
    dlg.OnOK();
    EXPECT_EQ(Int(camcfg::kVideo, camcfg::kWidth), 640);
    EXPECT_EQ(Int(camcfg::kVideo, camcfg::kHeight), 480);
    EXPECT_EQ(Text(camcfg::kVideo, camcfg::kVideoType), "AVI");
  }
  {
    CSysSetDlg dlg(nullptr, cam.get());
    EXPECT_EQ(Combo(dlg, IDC_SYSSET_SIZE)->currentText(), "640*480");
    Combo(dlg, IDC_SYSSET_SIZE)->setCurrentIndex(2);
    Radio(dlg, IDC_SYSSET_FLV)->setChecked(true);
    dlg.OnOK();
    EXPECT_EQ(Int(camcfg::kVideo, camcfg::kWidth), 1280);
    EXPECT_EQ(Int(camcfg::kVideo, camcfg::kHeight), 720);
    EXPECT_EQ(Text(camcfg::kVideo, camcfg::kVideoType), "FLV");
  }
  CSysSetDlg dlg(nullptr, cam.get());
  Radio(dlg, IDC_SYSSET_MP4)->setChecked(true);
  dlg.OnOK();
  EXPECT_EQ(Text(camcfg::kVideo, camcfg::kVideoType), "MP4");

  EXPECT_EQ(CSysSetDlg::ParseVideoSize("1024"), CSize(640, 480));
  EXPECT_EQ(CSysSetDlg::ParseVideoSize("*768"), CSize(640, 480));
  EXPECT_EQ(CSysSetDlg::ParseVideoSize("800*600"), CSize(800, 600));
  EXPECT_EQ(CSysSetDlg::ParseVideoSize(" 12*34px"), CSize(12, 34));
  EXPECT_EQ(CSysSetDlg::ParseVideoSize("0*0"), CSize(640, 480));
  EXPECT_EQ(CSysSetDlg::ParseVideoSize("-5*100"), CSize(640, 480));
  EXPECT_EQ(CSysSetDlg::ParseVideoSize(""), CSize(640, 480));
}

TEST_F(SysSet, SavingWritesOutputKeysMakesFoldersRenewsThumbnailsAndNotifies) {
  auto cam = Cameras(2);
  CMainRecorder mainWnd;
  SetMainWnd(&mainWnd);
  const fs::path data = root / "teaching";
  // A picture already lying in the new root's picture folder gets its thumbnail.
  const fs::path picture = data / "资料库" / "图片" / "old.png";
  fs::create_directories(picture.parent_path());
  QImage(32, 24, QImage::Format_RGB32).save(QString::fromStdString(picture.string()));

  CSysSetDlg dlg(nullptr, cam.get());
  Radio(dlg, IDC_SYSSET_PNG)->setChecked(true);
  Edit(dlg, IDC_SYSSET_PREFIX)->setText("Lesson_3");
  // Browsing: a cancelled chooser changes nothing; a chosen folder loses
  // one trailing separator.
  const QString before = Edit(dlg, IDC_SYSSET_PATH)->text();
  Click(dlg.GetDlgItem(IDC_SYSSET_BROWSE));
  EXPECT_TRUE(WaitUntil([&] { return dialogs.Choosers().size() == 1; }));
  const CChooserCall asked = dialogs.Choosers().at(0);
  EXPECT_EQ(asked.kind, ChooserKind::Folder);
  EXPECT_EQ(asked.title, QString::fromUtf8("请选择输出数据路径："));
  EXPECT_EQ(asked.start, before);
  EXPECT_EQ(asked.owner, &dlg);
  EXPECT_EQ(Edit(dlg, IDC_SYSSET_PATH)->text(), before);
  dialogs.AnswerChooser(QString::fromStdString(data.string()) + "/");
  Click(dlg.GetDlgItem(IDC_SYSSET_BROWSE));
  EXPECT_TRUE(WaitUntil([&] { return Edit(dlg, IDC_SYSSET_PATH)->text() != before; }));
  EXPECT_EQ(Edit(dlg, IDC_SYSSET_PATH)->text().toStdString(), data.string());

  EXPECT_EQ(RunAndClick(dlg, IDC_SYSSET_OK), 1);
  EXPECT_EQ(Text(camcfg::kOutput, camcfg::kImageName), "Lesson_3");
  EXPECT_EQ(Int(camcfg::kOutput, camcfg::kImageNameType), 1);
  EXPECT_EQ(Int(camcfg::kOutput, camcfg::kImageType), 2);
  EXPECT_EQ(Text(camcfg::kOutput, camcfg::kDataPath), data.string());
  EXPECT_EQ(GetDataPathEx(), data.string());
  for (const std::string& folder :
       {GetDataPathEx(), GetDataLibPath(), GetDataPicPath(), GetDataVideoPath(), GetDataAbstractPath()})
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
  EXPECT_TRUE(CThumbs::IsThumbFresh(picture.string()));
  EXPECT_TRUE(WaitUntil([&] { return mainWnd.refreshes == 1; }));
  EXPECT_EQ(mainWnd.lastArgs, 0u);

  // Naming by time is written as 0.
  CSysSetDlg byTime(nullptr, cam.get());
  Radio(byTime, IDC_SYSSET_BY_TIME)->setChecked(true);
  byTime.OnOK();
  EXPECT_EQ(Int(camcfg::kOutput, camcfg::kImageNameType), 0);
  EXPECT_TRUE(WaitUntil([&] { return mainWnd.refreshes == 2; }));
}

TEST_F(SysSet, LayoutAndTextsComeFromTheDescriptionFilesInBothLanguages) {
  auto cam = Cameras(2);
  const char* output = std::getenv("BREVIO_TEST_OUTPUT");
  struct Lang {
    const char* locale;
    const char* title;
    const char* byTime;
    const char* hint;
  };
  const Lang langs[] = {{"zh_CN.UTF-8", "系统设置", "按时间方式", "名字只能是字母,数字或下划线组合"},
                        {"en_US.UTF-8", "System settings", "By time", "Only letters, digits and underscores"}};
  for (const Lang& lang : langs) {
    setenv("LANG", lang.locale, 1);
    CSysSetDlg dlg(nullptr, cam.get());
    EXPECT_EQ(dlg.GetWindowText(), QString::fromUtf8(lang.title));
    EXPECT_EQ(Radio(dlg, IDC_SYSSET_BY_TIME)->text(), QString::fromUtf8(lang.byTime));
    EXPECT_EQ(Radio(dlg, IDC_SYSSET_GIF)->text(), "gif");
    Edit(dlg, IDC_SYSSET_PREFIX)->setText("a b");
    EXPECT_EQ(dlg.GetHintText(), QString::fromUtf8(lang.hint));
    // Every widget of the dialog has its place in the layout.
    for (int id : {IDC_SYSSET_CLOSE, IDC_SYSSET_OK, IDC_SYSSET_CANCEL, IDC_SYSSET_MAIN_CAMERA, IDC_SYSSET_MAIN_FORMAT,
                   IDC_SYSSET_MAIN_DPI, IDC_SYSSET_NEXT_CAMERA, IDC_SYSSET_NEXT_FORMAT, IDC_SYSSET_NEXT_DPI,
                   IDC_SYSSET_BMP, IDC_SYSSET_JPG, IDC_SYSSET_PNG, IDC_SYSSET_GIF, IDC_SYSSET_TIF, IDC_SYSSET_BY_TIME,
                   IDC_SYSSET_BY_PREFIX, IDC_SYSSET_PREFIX, IDC_SYSSET_MP4, IDC_SYSSET_FLV, IDC_SYSSET_AVI,
                   IDC_SYSSET_SIZE, IDC_SYSSET_PATH, IDC_SYSSET_BROWSE}) {
      QWidget* w = dlg.GetDlgItem(id);
      ASSERT_NE(w, nullptr) << id;
      EXPECT_FALSE(w->isHidden()) << id;
      EXPECT_GT(w->width(), 0) << id;
      EXPECT_TRUE(dlg.rect().contains(w->geometry())) << id;
    }
    // A picture of the dialog for people to look at.
    if (output) {
      fs::create_directories(output);
      const std::string name = std::string("sysset_") + (lang.locale[0] == 'z' ? "zh" : "en") + ".png";
      dlg.grab().save(QString::fromStdString((fs::path(output) / name).string()));
    }
  }
}

}  // namespace

namespace {

TEST_F(SysSet, WithoutACameraGivenTheDialogListsTheAttachedOnes) {
  setenv("BREVIO_DEMO_CAMERA", "1", 1);
  std::vector<std::string> names;
  const int attached = CUsbCamera().GetCameraList(names);
  ASSERT_GE(attached, 1);  // at least the demo camera
  CSysSetDlg dlg;
  unsetenv("BREVIO_DEMO_CAMERA");
  EXPECT_EQ(Rows(Combo(dlg, IDC_SYSSET_MAIN_CAMERA)), names);
  EXPECT_GT(Combo(dlg, IDC_SYSSET_MAIN_DPI)->count(), 0);
}

}  // namespace
