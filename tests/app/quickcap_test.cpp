// The quick capture window: layout, the selection's handles and arithmetic,
// the camera's frame road and retries, the clipboard and dragging the area
// out as a file.

#include "app/app_messages.h"
#include "app/quickcap_dlg.h"
#include "contracts/fundara/files.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/thumbs.h"
#include "platform/profile.h"
#include "tests/fundara/scratch_env.h"
#include "tests/support/test_app.h"
#include "tests/support/wait.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QImageReader>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QThread>
#include <QWheelEvent>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

namespace {

using fundara_test::ScratchEnv;
namespace fs = std::filesystem;

constexpr int kClientW = QC_WIDTH;
constexpr int kClientH = QC_HEIGHT - QC_TITLE_HEIGHT;

// A camera that streams uniform BGR frames of the client's size; frame n
// has every byte equal to n (mod 256), so a test can tell frames apart.
struct CFakeState {
  std::atomic<bool> present{true};
  std::atomic<int> openError{0};
  std::atomic<int> delivered{0};
  std::atomic<int> base{0};  // added to every frame's value
};

class CFakeDevice : public ICameraDevice {
 public:
  CFakeDevice(CCameraDescription d, std::shared_ptr<CFakeState> state)
      : desc_(std::move(d)), state_(std::move(state)) {}
  const CCameraDescription& Description() const override { return desc_; }
  int Start(std::uint32_t, int width, int height, double) override {
    w_ = width;
    h_ = height;
    return 0;
  }
  EFrameWait WaitFrame(int, CRawFrame& frame) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    const int n = ++state_->delivered;
    pixels_.assign(static_cast<std::size_t>(w_) * h_ * 3, static_cast<std::uint8_t>(state_->base + n));
    frame.data = pixels_.data();
    frame.size = pixels_.size();
    frame.fourcc = FOURCC_BGR3;
    frame.width = w_;
    frame.height = h_;
    return EFrameWait::Frame;
  }
  void Stop() override {}
  bool QueryControl(ECameraControl, CControlInfo&) override { return false; }
  bool GetControl(ECameraControl, int&) override { return false; }
  bool SetControl(ECameraControl, int) override { return false; }

 private:
  CCameraDescription desc_;
  std::shared_ptr<CFakeState> state_;
  int w_ = 0, h_ = 0;
  std::vector<std::uint8_t> pixels_;
};

class CFakeProvider : public ICameraProvider {
 public:
  explicit CFakeProvider(std::shared_ptr<CFakeState> state) : state_(std::move(state)) {}
  static CCameraDescription Desc() {
    CCameraDescription d;
    d.id = "fake-1";
    d.name = "Fake document camera";
    d.formats.push_back({FOURCC_BGR3, "BGR", {{kClientW, kClientH, 30}}});
    return d;
  }
  std::vector<CCameraDescription> Enumerate() override {
    if (!state_->present) return {};
    return {Desc()};
  }
  std::unique_ptr<ICameraDevice> Open(const std::string&, int& error) override {
    if (state_->openError != 0) {
      error = state_->openError;
      return nullptr;
    }
    return std::make_unique<CFakeDevice>(Desc(), state_);
  }

 private:
  std::shared_ptr<CFakeState> state_;
};

std::unique_ptr<CUsbCamera> FakeCamera(const std::shared_ptr<CFakeState>& state) {
  std::vector<std::shared_ptr<ICameraProvider>> providers{std::make_shared<CFakeProvider>(state)};
  return std::make_unique<CUsbCamera>(std::move(providers));
}

// A client whose drag is answered by the test instead of a real drag loop.
class CTestClient : public CQCClientDlg {
 public:
  using CQCClientDlg::CQCClientDlg;
  Qt::DropAction answer = Qt::IgnoreAction;
  std::vector<std::string> dragged;
  bool existedDuringDrag = false;
  QSize draggedSize;
  QByteArray draggedFormat;

 protected:
  Qt::DropAction RunFileDrag(const QString& path) override {
    dragged.push_back(path.toStdString());
    existedDuringDrag = fs::exists(fs::path(path.toStdString()));
    QImageReader reader(path);
    draggedFormat = reader.format();
    draggedSize = reader.size();
    return answer;
  }
};

void SendMouse(QWidget& w, QEvent::Type type, CPoint p, Qt::MouseButton button = Qt::LeftButton) {
  const QPointF local(p.x, p.y);
  const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
                                       ? Qt::MouseButtons(type == QEvent::MouseMove ? button : Qt::NoButton)
                                       : Qt::MouseButtons(button);
  QMouseEvent e(type, local, w.mapToGlobal(local), type == QEvent::MouseMove ? Qt::NoButton : button, buttons,
                Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &e);
}

void Drag(QWidget& w, CPoint from, CPoint to) {
  SendMouse(w, QEvent::MouseButtonPress, from);
  SendMouse(w, QEvent::MouseMove, to);
  SendMouse(w, QEvent::MouseButtonRelease, to);
}

void Wheel(QWidget& w, CPoint p, int delta) {
  const QPointF local(p.x, p.y);
  QWheelEvent e(local, w.mapToGlobal(local), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(&w, &e);
}

// A picture of the client's size (zoom 100: client pixels are picture pixels).
std::vector<BYTE> Picture(BYTE value) {
  return std::vector<BYTE>(static_cast<std::size_t>(kClientW) * kClientH * 3, value);
}

class QuickCapTest : public ScratchEnv {
 protected:
  void SetUp() override {
    ScratchEnv::SetUp();
    TestApp();
    unsetenv("BREVIO_DEMO_CAMERA");
    state = std::make_shared<CFakeState>();
  }
  void TearDown() override {
    SetMainWnd(nullptr);
    ScratchEnv::TearDown();
  }
  // A client standing alone at the picture area's size, showing a picture.
  std::unique_ptr<CTestClient> MakeClient(bool withPicture = true) {
    auto client = std::make_unique<CTestClient>(FakeCamera(state));
    EXPECT_TRUE(client->Create(nullptr, CRect(0, 0, kClientW, kClientH), IDC_QC_CLIENT));
    if (withPicture) {
      const auto pixels = Picture(90);
      client->GetModel().SetImageData(pixels.data(), kClientW, kClientH, 24, nullptr);
      client->grab();  // a paint: the selection becomes the picture's rectangle
    }
    return client;
  }
  std::shared_ptr<CFakeState> state;
};

// ---- Layout -------------------------------------------------------------------------------

TEST_F(QuickCapTest, QuickCapWindowLayoutAndControls) {
  EXPECT_EQ(CQuickCapDlg::PlaceIn(CRect(0, 0, 1920, 1040)), CRect(1550, 770, 1870, 1010));
  EXPECT_EQ(CQuickCapDlg::PlaceIn(CRect(100, 50, 1380, 1074)), CRect(1010, 804, 1330, 1044));

  CQuickCapDlg dlg(FakeCamera(state));
  ASSERT_TRUE(dlg.Create(nullptr));
  EXPECT_EQ(dlg.GetWindowText(), QString("QucikCap"));
  EXPECT_FALSE(dlg.IsWindowVisible());
  EXPECT_EQ(dlg.GetWindowRect(), CQuickCapDlg::PlaceIn(CWnd::GetWorkArea()));
  EXPECT_EQ(dlg.GetTitle().GetDlgCtrlID(), IDC_QC_TITLE);
  EXPECT_EQ(dlg.GetTitle().objectName(), QString("QCTitleDlg"));
  EXPECT_EQ(dlg.GetTitle().geometry(), QRect(0, 0, 320, 18));
  EXPECT_EQ(dlg.GetClient().GetDlgCtrlID(), IDC_QC_CLIENT);
  EXPECT_EQ(dlg.GetClient().objectName(), QString("QCClientRect"));
  EXPECT_EQ(dlg.GetClient().geometry(), QRect(0, 18, 320, 222));
  // The buttons and the title come from the description files.
  EXPECT_EQ(dlg.GetTitle().GetMinimizeButton().GetDlgCtrlID(), static_cast<UINT>(QC_CTRL_MINIMIZE));
  EXPECT_FALSE(dlg.GetTitle().GetMinimizeButton().GetNormalImage().isNull());
  EXPECT_FALSE(dlg.GetTitle().GetBackButton().GetNormalImage().isNull());
  EXPECT_EQ(dlg.GetTitle().GetBackButton().toolTip(), QString("返回主菜单"));
  EXPECT_EQ(dlg.GetTitle().GetTitle().GetText(), QString("快速抓图"));
  EXPECT_FALSE(dlg.GetTitle().GetTitleRect().IsRectEmpty());
  // The scroll bar exists but has no use: hidden.
  ASSERT_NE(dlg.GetClient().GetScrollBar(), nullptr);
  EXPECT_TRUE(dlg.GetClient().GetScrollBar()->isHidden());
  // The course folder is made with the client.
  EXPECT_TRUE(fs::is_directory(fs::path(GetCoursePath())));

  // The hint: the double-click text in white; the restore text in black
  // while the picture is frozen.
  CQCClientDlg& client = dlg.GetClient();
  dlg.ShowWindow(SW_SHOW);
  client.grab();
  EXPECT_EQ(client.GetHintWnd().GetHintText(), QString("双击获取图像文件或加入剪粘板,然后拖拽"));
  EXPECT_EQ(client.GetHintWnd().GetHintColour(), QColor(Qt::white));
  EXPECT_TRUE(client.GetHintWnd().testAttribute(Qt::WA_TransparentForMouseEvents));
  client.GetModel().SetVideoLock(1);
  client.grab();
  EXPECT_EQ(client.GetHintWnd().GetHintText(), QString("单击复原"));
  EXPECT_EQ(client.GetHintWnd().GetHintColour(), QColor(Qt::black));
}

TEST_F(QuickCapTest, QuickCapEnglishTexts) {
  setenv("LANG", "en_GB.UTF-8", 1);
  CQuickCapDlg dlg(FakeCamera(state));
  ASSERT_TRUE(dlg.Create(nullptr));
  dlg.GetClient().grab();
  EXPECT_EQ(dlg.GetTitle().GetTitle().GetText(), QString("Quick capture"));
  EXPECT_EQ(dlg.GetTitle().GetMinimizeButton().toolTip(), QString("Minimise"));
  EXPECT_TRUE(dlg.GetClient().GetHintWnd().GetHintText().startsWith("Double-click"));
  if (const char* out = std::getenv("BREVIO_TEST_OUTPUT")) {
    fs::create_directories(fs::path(out) / "quickcap");
    dlg.grab().save(QString::fromStdString((fs::path(out) / "quickcap" / "english.png").string()));
  }
}

TEST_F(QuickCapTest, QuickCapTitleButtons) {
  CQuickCapDlg dlg(FakeCamera(state));
  ASSERT_TRUE(dlg.Create(nullptr));
  dlg.ShowWindow(SW_SHOW);
  // Without a main frame the buttons do nothing harmful.
  dlg.GetTitle().OnBackToMenu();

  CWnd main;
  main.Create(CWnd::Kind::TopLevel, "main", CRect(0, 0, 100, 100));
  std::vector<std::pair<WPARAM, LPARAM>> switches;
  main.OnMessage(WM_SWITCH_MODE, [&](WPARAM w, LPARAM l) {
    switches.emplace_back(w, l);
    return LRESULT(1);
  });
  int minimised = 0;
  main.OnMessage(WM_SYSCOMMAND, [&](WPARAM w, LPARAM) {
    if (w == SC_MINIMIZE) ++minimised;
    return LRESULT(0);
  });
  main.ShowWindow(SW_SHOW);
  SetMainWnd(&main);

  // A click on the back button reaches the strip as WM_COMMAND.
  CGdiBtnEx& back = dlg.GetTitle().GetBackButton();
  PostMessage(&dlg.GetTitle(), WM_COMMAND, MAKEWPARAM(QC_CTRL_BACK, BN_CLICKED), reinterpret_cast<LPARAM>(&back));
  ASSERT_TRUE(WaitUntil([&] { return !switches.empty(); }));
  EXPECT_EQ(switches[0].first, SWITCH_FROM_MODE_MENU);
  EXPECT_EQ(switches[0].second, 0);

  // Closing the window from the window manager leaves the mode the same way.
  EXPECT_FALSE(dlg.close());
  ASSERT_TRUE(WaitUntil([&] { return switches.size() == 2; }));
  EXPECT_EQ(switches[1].first, SWITCH_FROM_MODE_MENU);
  EXPECT_EQ(switches[1].second, 0);
  EXPECT_TRUE(dlg.IsWindowVisible());

  // Minimising is the main frame's: it is asked to.
  PostMessage(&dlg.GetTitle(), WM_COMMAND, MAKEWPARAM(QC_CTRL_MINIMIZE, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return minimised == 1; }));
  EXPECT_EQ(switches.size(), 2u);
  SetMainWnd(nullptr);
  // Without a main frame the window minimises itself.
  PostMessage(&dlg.GetTitle(), WM_COMMAND, MAKEWPARAM(QC_CTRL_MINIMIZE, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return dlg.isMinimized(); }));
}

// ---- Selection ------------------------------------------------------------------------------

TEST_F(QuickCapTest, QuickCapHitTestOrderAndCursors) {
  auto client = MakeClient();
  client->SetSelection(CRect(50, 50, 150, 150));
  const std::pair<CPoint, int> cases[] = {
      {{50, 50}, 1},  {{100, 50}, 2}, {{150, 50}, 3},   {{150, 100}, 4}, {{150, 150}, 5}, {{100, 150}, 6},
      {{50, 150}, 7}, {{50, 100}, 8}, {{100, 100}, 9}, {{53, 53}, 1},   {{57, 57}, 9},   {{10, 10}, -1},
      {{153, 100}, 4}, {{155, 100}, -1}};
  for (const auto& [p, handle] : cases) EXPECT_EQ(client->HitTest(p), handle) << p.x << "," << p.y;
  // Squares that overlap: the first handle in the order wins.
  client->SetSelection(CRect(50, 50, 54, 54));
  EXPECT_EQ(client->HitTest({52, 52}), 1);
  EXPECT_EQ(client->HitTest({55, 52}), 2);
  EXPECT_EQ(client->HitTest({57, 47}), 3);
  EXPECT_EQ(client->HitTest({47, 57}), 7);

  // Without a held handle the cursor follows the hit-test.
  client->SetSelection(CRect(50, 50, 150, 150));
  const std::pair<CPoint, Qt::CursorShape> cursors[] = {
      {{50, 50}, Qt::SizeFDiagCursor}, {{150, 50}, Qt::SizeBDiagCursor}, {{100, 150}, Qt::SizeVerCursor},
      {{50, 100}, Qt::SizeHorCursor},  {{100, 100}, Qt::SizeAllCursor},  {{5, 5}, Qt::ArrowCursor}};
  for (const auto& [p, shape] : cursors) {
    SendMouse(*client, QEvent::MouseMove, p, Qt::NoButton);
    EXPECT_EQ(client->cursor().shape(), shape) << p.x << "," << p.y;
  }
  // A press takes the handle's cursor, and moves keep it.
  SendMouse(*client, QEvent::MouseButtonPress, {150, 150});
  SendMouse(*client, QEvent::MouseMove, {10, 200}, Qt::LeftButton);
  EXPECT_EQ(client->cursor().shape(), Qt::SizeFDiagCursor);
  SendMouse(*client, QEvent::MouseButtonRelease, {10, 200});
  // Once grabbed, the inside shows the hand.
  client->SetSelection(CRect(50, 50, 150, 150));
  SendMouse(*client, QEvent::MouseButtonDblClick, {100, 100});
  ASSERT_TRUE(client->IsGrabbed());
  SendMouse(*client, QEvent::MouseMove, {100, 100}, Qt::NoButton);
  EXPECT_EQ(client->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(QuickCapTest, QuickCapHandleDragsSwapAndStayOnThePicture) {
  auto client = MakeClient();
  const CRect picture = client->GetModel().GetImageRect();
  ASSERT_EQ(picture, CRect(0, 0, kClientW, kClientH));
  ASSERT_EQ(client->GetSelection(), picture);

  // Handle 1 dragged 30 past the right edge: left and right swap.
  client->SetSelection(CRect(50, 60, 150, 160));
  SendMouse(*client, QEvent::MouseButtonPress, {50, 60});
  EXPECT_EQ(client->GetHandle(), 1);
  SendMouse(*client, QEvent::MouseMove, {180, 70}, Qt::LeftButton);
  EXPECT_EQ(client->GetSelection(), CRect(150, 70, 180, 160));
  // Further on, far past the picture: the rectangle is cut to the picture.
  SendMouse(*client, QEvent::MouseMove, {900, -500}, Qt::LeftButton);
  CRect r = client->GetSelection();
  EXPECT_FALSE(r.IsRectEmpty());
  EXPECT_GE(r.left, picture.left);
  EXPECT_LE(r.right, picture.right);
  EXPECT_GE(r.top, picture.top);
  EXPECT_LE(r.bottom, picture.bottom);
  SendMouse(*client, QEvent::MouseButtonRelease, {900, -500});
  EXPECT_EQ(client->GetHandle(), QC_HANDLE_NONE);

  // Each single handle moves only its sides.
  const std::pair<CPoint, CRect> handles[] = {
      {{100, 60}, CRect(50, 65, 150, 160)},  {{150, 60}, CRect(50, 65, 155, 160)},
      {{150, 110}, CRect(50, 60, 155, 160)}, {{150, 160}, CRect(50, 60, 155, 165)},
      {{100, 160}, CRect(50, 60, 150, 165)}, {{50, 160}, CRect(55, 60, 150, 165)},
      {{50, 110}, CRect(55, 60, 150, 160)}};
  for (const auto& [from, expected] : handles) {
    client->SetSelection(CRect(50, 60, 150, 160));
    Drag(*client, from, {from.x + 5, from.y + 5});
    EXPECT_EQ(client->GetSelection(), expected) << from.x << "," << from.y;
  }

  // A side dragged onto the opposite one: the empty rectangle grows by 1.
  client->SetSelection(CRect(50, 60, 150, 160));
  Drag(*client, {150, 110}, {50, 110});
  EXPECT_EQ(client->GetSelection(), CRect(49, 59, 51, 161));
  // At the picture's corner the grown rectangle is cut again.
  client->SetSelection(CRect(0, 0, 40, 40));
  Drag(*client, {40, 40}, {0, 0});
  EXPECT_EQ(client->GetSelection(), CRect(0, 0, 1, 1));
}

TEST_F(QuickCapTest, QuickCapMoveHandleStaysInTheClient) {
  auto client = MakeClient();
  client->SetSelection(CRect(20, 30, 100, 90));
  Drag(*client, {60, 60}, {1060, 1060});
  EXPECT_EQ(client->GetSelection(), CRect(240, 162, 320, 222));
  Drag(*client, {280, 200}, {-720, -800});
  EXPECT_EQ(client->GetSelection(), CRect(0, 0, 80, 60));
  Drag(*client, {40, 30}, {50, 45});
  EXPECT_EQ(client->GetSelection(), CRect(10, 15, 90, 75));
  // A press outside the rectangle holds no handle: moves change nothing.
  Drag(*client, {200, 200}, {250, 210});
  EXPECT_EQ(client->GetSelection(), CRect(10, 15, 90, 75));
}

TEST_F(QuickCapTest, QuickCapWheelGrowsAndShrinks) {
  auto client = MakeClient();
  client->SetSelection(CRect(50, 50, 150, 150));
  Wheel(*client, {100, 100}, 120);
  EXPECT_EQ(client->GetSelection(), CRect(49, 49, 151, 151));
  Wheel(*client, {100, 100}, -240);
  EXPECT_EQ(client->GetSelection(), CRect(51, 51, 149, 149));
  Wheel(*client, {100, 100}, 60);  // less than a pixel
  EXPECT_EQ(client->GetSelection(), CRect(51, 51, 149, 149));
  // Growing never leaves the picture.
  client->SetSelection(CRect(0, 0, 320, 222));
  Wheel(*client, {100, 100}, 1200);
  EXPECT_EQ(client->GetSelection(), CRect(0, 0, 320, 222));
  // Shrunk to nothing: grown by 1 on every side.
  client->SetSelection(CRect(100, 100, 104, 104));
  Wheel(*client, {100, 100}, -240);
  EXPECT_EQ(client->GetSelection(), CRect(101, 101, 103, 103));
  // Shrunk past nothing: the sides swap back into order.
  client->SetSelection(CRect(100, 100, 104, 104));
  Wheel(*client, {100, 100}, -600);
  EXPECT_EQ(client->GetSelection(), CRect(98, 98, 106, 106));
}

TEST_F(QuickCapTest, QuickCapPaintsSelectionInGreen) {
  auto client = MakeClient();
  client->SetSelection(CRect(50, 50, 150, 150));
  const QImage shot = client->grab().toImage();
  const QRgb green = qRgb(0, 255, 0);
  bool edge = false;  // the top edge, 2 pixels wide
  for (int y = 48; y <= 52; ++y) edge = edge || shot.pixel(100, y) == green;
  EXPECT_TRUE(edge);
  EXPECT_EQ(shot.pixel(52, 100), green);   // a handle square (left middle)
  EXPECT_EQ(shot.pixel(100, 100), qRgb(90, 90, 90));  // the picture inside
  EXPECT_EQ(shot.pixel(30, 30), qRgb(90, 90, 90));    // and outside

  // Without a picture: the white background and the status text, no rectangle.
  auto empty = MakeClient(false);
  const QImage blank = empty->grab().toImage();
  EXPECT_EQ(blank.pixel(160, 5), qRgb(255, 255, 255));
  EXPECT_TRUE(empty->GetSelection().IsRectEmpty());
}

// ---- Clipboard and dragging out ---------------------------------------------------------------

TEST_F(QuickCapTest, QuickCapDoubleClickCopiesTheSelection) {
  auto client = MakeClient();
  client->SetSelection(CRect(20, 30, 120, 80));
  QGuiApplication::clipboard()->clear();
  SendMouse(*client, QEvent::MouseButtonDblClick, {50, 50});
  EXPECT_EQ(client->IsGrabbed(), 1);
  const QImage copied = QGuiApplication::clipboard()->image();
  ASSERT_FALSE(copied.isNull());
  EXPECT_EQ(copied.size(), QSize(100, 50));
  EXPECT_EQ(copied.pixel(10, 10) & 0xFFFFFF, 0x5A5A5Au);
  // A second double-click lets go.
  SendMouse(*client, QEvent::MouseButtonDblClick, {50, 50});
  EXPECT_EQ(client->IsGrabbed(), 0);
}

TEST_F(QuickCapTest, QuickCapPressInsideAfterGrabDragsAJpegAndDeletesIt) {
  auto client = MakeClient();
  client->SetSelection(CRect(20, 30, 120, 80));
  // Not grabbed: a press inside only takes the move handle.
  SendMouse(*client, QEvent::MouseButtonPress, {50, 50});
  SendMouse(*client, QEvent::MouseButtonRelease, {50, 50});
  EXPECT_TRUE(client->dragged.empty());

  SendMouse(*client, QEvent::MouseButtonDblClick, {50, 50});
  SendMouse(*client, QEvent::MouseButtonRelease, {50, 50});
  ASSERT_EQ(client->IsGrabbed(), 1);
  client->answer = Qt::IgnoreAction;  // the user cancels
  SendMouse(*client, QEvent::MouseButtonPress, {50, 50});
  SendMouse(*client, QEvent::MouseButtonRelease, {50, 50});
  ASSERT_EQ(client->dragged.size(), 1u);
  const fs::path file = fs::path(client->dragged[0]);
  EXPECT_EQ(file.parent_path(), fs::path(GetCoursePath()));
  const QRegularExpression timeName(R"(^\d{4}-\d{2}-\d{2}_\d{2}-\d{2}-\d{2}(_\d+)?\.jpg$)");
  EXPECT_TRUE(timeName.match(QString::fromStdString(file.filename().string())).hasMatch()) << file.filename();
  EXPECT_TRUE(client->existedDuringDrag);
  EXPECT_EQ(client->draggedFormat, QByteArray("jpeg"));
  EXPECT_EQ(client->draggedSize, QSize(100, 50));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(fs::exists(fs::path(CThumbs::GetThumbPath(file.string()))));
  EXPECT_EQ(client->IsGrabbed(), 0);
  EXPECT_EQ(client->GetHandle(), QC_HANDLE_NONE);

  // A drop: the file stays a moment for the receiving program, then goes.
  client->SetDropKeepMs(150);
  client->answer = Qt::CopyAction;
  SendMouse(*client, QEvent::MouseButtonDblClick, {50, 50});
  SendMouse(*client, QEvent::MouseButtonPress, {50, 50});
  SendMouse(*client, QEvent::MouseButtonRelease, {50, 50});
  ASSERT_EQ(client->dragged.size(), 2u);
  const fs::path dropped = fs::path(client->dragged[1]);
  EXPECT_TRUE(fs::exists(dropped));
  EXPECT_EQ(client->GetPendingFiles().size(), 1u);
  EXPECT_TRUE(WaitUntil([&] { return !fs::exists(dropped); }, 3000));
  EXPECT_TRUE(client->GetPendingFiles().empty());

  // A file still waiting is deleted with the window.
  client->SetDropKeepMs(60000);
  SendMouse(*client, QEvent::MouseButtonDblClick, {50, 50});
  SendMouse(*client, QEvent::MouseButtonPress, {50, 50});
  ASSERT_EQ(client->dragged.size(), 3u);
  const fs::path waiting = fs::path(client->dragged[2]);
  EXPECT_TRUE(fs::exists(waiting));
  client.reset();
  EXPECT_FALSE(fs::exists(waiting));
}

TEST_F(QuickCapTest, QuickCapFailedSaveOffersNothing) {
  auto client = MakeClient();
  // A file where the course folder should be: nothing can be saved.
  DelPath(GetCoursePath());
  fundara_test::WriteFile(fs::path(GetCoursePath()), "not a folder");
  SendMouse(*client, QEvent::MouseButtonDblClick, {50, 50});
  SendMouse(*client, QEvent::MouseButtonPress, {50, 50});
  EXPECT_TRUE(client->dragged.empty());
  EXPECT_EQ(client->IsGrabbed(), 0);
}

// ---- Camera -----------------------------------------------------------------------------------

TEST_F(QuickCapTest, QuickCapFramesReachTheModel) {
  auto client = MakeClient(false);
  ASSERT_EQ(client->OpenCamera(), 1);
  EXPECT_FALSE(client->HasTimer(QC_RETRY_TIMER));
  EXPECT_EQ(client->GetModel().GetDriveId(), 0u);
  // Several frames in turn: each handled frame lets the next one come.
  ASSERT_TRUE(WaitUntil([&] {
    const BYTE* f = client->GetModel().GetFrame();
    return f && f[0] >= 3;
  }));
  EXPECT_EQ(client->GetModel().GetFrameWidth(), kClientW);
  EXPECT_EQ(client->GetModel().GetFrameHeight(), kClientH);
  client->grab();
  EXPECT_EQ(client->GetSelection(), client->GetModel().GetImageRect());

  // A frame of another camera is not shown; one of the open camera is.
  const BYTE before = client->GetModel().GetFrame()[0];
  std::vector<BYTE> other = Picture(static_cast<BYTE>(before + 100));
  _CAMERAFRAME record{other.data(), kClientW, kClientH, 24, nullptr};
  SendMessage(client.get(), WM_CAMERA_FRAME, 1, reinterpret_cast<LPARAM>(&record));
  EXPECT_EQ(client->GetModel().GetFrame()[0], before);
  SendMessage(client.get(), WM_CAMERA_FRAME, 0, reinterpret_cast<LPARAM>(&record));
  EXPECT_EQ(client->GetModel().GetFrame()[0], static_cast<BYTE>(before + 100));
  client->CloseCamera();
}

TEST_F(QuickCapTest, QuickCapStatusRecords) {
  auto client = MakeClient(false);
  ASSERT_EQ(client->OpenCamera(), 1);
  ASSERT_TRUE(WaitUntil([&] { return client->GetModel().GetFrame() != nullptr; }));
  client->GetCamera().CloseCamera();

  // No signal: the picture goes and the text says so.
  _CAMERAFRAME noSignal{nullptr, 0, 0, 0, nullptr};
  SendMessage(client.get(), WM_CAMERA_FRAME, 0, reinterpret_cast<LPARAM>(&noSignal));
  EXPECT_EQ(client->GetModel().GetFrame(), nullptr);
  EXPECT_EQ(client->GetModel().IsEmpty(), 1);
  EXPECT_EQ(client->GetStatusText(), QString("无视频数据信号"));
  // A message without a record is no signal too.
  client->GetModel().SetImageData(Picture(1).data(), kClientW, kClientH, 24, nullptr);
  SendMessage(client.get(), WM_CAMERA_FRAME, 0, 0);
  EXPECT_EQ(client->GetModel().IsEmpty(), 1);
  // Connected, no picture yet: the text goes.
  _CAMERAFRAME connected{nullptr, 1, 0, 0, nullptr};
  SendMessage(client.get(), WM_CAMERA_FRAME, 0, reinterpret_cast<LPARAM>(&connected));
  EXPECT_TRUE(client->GetStatusText().isEmpty());
}

TEST_F(QuickCapTest, QuickCapNoCameraShowsTheFailureAndRetries) {
  state->present = false;
  CQuickCapDlg dlg(FakeCamera(state));
  ASSERT_TRUE(dlg.Create(nullptr));
  dlg.ShowWindow(SW_SHOW);
  CQCClientDlg& client = dlg.GetClient();
  EXPECT_EQ(dlg.OpenCamera(), 0);
  EXPECT_EQ(client.GetStatusText(), QString("视频设备加载失败！"));
  EXPECT_TRUE(client.HasTimer(QC_RETRY_TIMER));
  EXPECT_FALSE(client.GetCamera().IsOpen());

  // The camera is plugged in: the next retry opens it and frames arrive.
  state->present = true;
  ASSERT_TRUE(WaitUntil([&] { return client.GetCamera().IsOpen(); }, 3000));
  EXPECT_FALSE(client.HasTimer(QC_RETRY_TIMER));
  EXPECT_TRUE(client.GetStatusText().isEmpty());
  ASSERT_TRUE(WaitUntil([&] { return client.GetModel().GetFrame() != nullptr; }));

  // Mode off: camera closed, no retries, empty picture.
  dlg.CloseCamera();
  EXPECT_FALSE(client.GetCamera().IsOpen());
  EXPECT_EQ(client.GetModel().GetFrame(), nullptr);
  EXPECT_FALSE(client.HasTimer(QC_RETRY_TIMER));

  // A failure with a system text shows that text instead.
  state->openError = 13;
  EXPECT_EQ(dlg.OpenCamera(), 0);
  EXPECT_EQ(client.GetStatusText(), QString::fromStdString(CUsbCamera::GetErrorText(13)));
  EXPECT_NE(client.GetStatusText(), QString("视频设备加载失败！"));
  dlg.CloseCamera();
  EXPECT_FALSE(client.HasTimer(QC_RETRY_TIMER));
}

TEST_F(QuickCapTest, QuickCapOpensTheConfiguredCamera) {
  // A configured index past the list fails; a negative one means camera 0.
  ASSERT_TRUE(WritePrivateProfileString("firstCamera", "serialId", "3", GetCameraConfig()));
  auto client = MakeClient(false);
  EXPECT_EQ(client->OpenCamera(), 0);
  EXPECT_TRUE(client->HasTimer(QC_RETRY_TIMER));
  ASSERT_TRUE(WritePrivateProfileString("firstCamera", "serialId", "-7", GetCameraConfig()));
  EXPECT_EQ(client->OpenCamera(), 1);
  EXPECT_EQ(client->GetCamera().GetDeviceId(), 0);
  EXPECT_FALSE(client->HasTimer(QC_RETRY_TIMER));
}

TEST_F(QuickCapTest, QuickCapReopenDropsFramesOfTheOldStream) {
  auto client = MakeClient(false);
  ASSERT_EQ(client->OpenCamera(), 1);
  ASSERT_TRUE(WaitUntil([&] { return client->GetModel().GetFrame() != nullptr; }));
  // Hold back the event loop so that a frame of this stream is queued,
  // then open again: the new stream's frames are 200 and above.
  const BYTE shown = client->GetModel().GetFrame()[0];
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  state->base = 200;
  ASSERT_EQ(client->OpenCamera(), 1);
  QCoreApplication::processEvents();
  const BYTE now = client->GetModel().GetFrame()[0];
  EXPECT_TRUE(now == shown || now >= 200) << "a frame of the closed stream was shown: " << int(now);
  // Closing drops the queued frames too: the picture stays empty.
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  client->CloseCamera();
  QCoreApplication::processEvents();
  EXPECT_EQ(client->GetModel().GetFrame(), nullptr);
}

TEST_F(QuickCapTest, QuickCapShowsTheDemoCamera) {
  setenv("BREVIO_DEMO_CAMERA", "1", 1);
  CQuickCapDlg dlg;  // the default providers, with the demo camera
  unsetenv("BREVIO_DEMO_CAMERA");
  ASSERT_TRUE(dlg.Create(nullptr));
  dlg.ShowWindow(SW_SHOW);
  ASSERT_EQ(dlg.OpenCamera(), 1);
  CQCClientDlg& client = dlg.GetClient();
  ASSERT_TRUE(WaitUntil([&] { return client.GetModel().GetFrame() != nullptr; }, 15000));
  const QImage shot = client.grab().toImage();
  // The page and the desk: more than one colour inside the selection.
  const CRect sel = client.GetSelection();
  ASSERT_FALSE(sel.IsRectEmpty());
  std::set<QRgb> colours;
  for (int y = sel.top + 10; y < sel.bottom - 10; y += 7)
    for (int x = sel.left + 10; x < sel.right - 10; x += 7) colours.insert(shot.pixel(x, y));
  EXPECT_GT(colours.size(), 10u);
  // The whole window, for a person to look at.
  if (const char* out = std::getenv("BREVIO_TEST_OUTPUT")) {
    fs::create_directories(fs::path(out) / "quickcap");
    dlg.grab().save(QString::fromStdString((fs::path(out) / "quickcap" / "demo.png").string()));
  }
  dlg.CloseCamera();
}

}  // namespace
