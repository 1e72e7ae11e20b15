#pragma once
// The shared ground of the preview window suites: a host window that records
// what the preview posts and sends it, a 640 × 480 preview inside it, a
// scratch folder per test with its own settings, and a dialog script that
// answers every box and chooser.

#include "contracts/fundara/paths.h"
#include "platform/dialogs.h"
#include "platform/profile.h"
#include "preview/datapreview.h"
#include "tests/preview/test_pictures.h"
#include "tests/support/test_app.h"

#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

// The parent of the preview: records every message, and the paths of the
// photographs sent to it.
class CRecordingHost : public CWnd {
 public:
  struct Entry {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  std::vector<Entry> messages;
  QStringList photographed;

  int Count(UINT msg) const {
    int n = 0;
    for (const Entry& e : messages) n += e.message == msg ? 1 : 0;
    return n;
  }
  std::vector<LPARAM> LParams(UINT msg) const {
    std::vector<LPARAM> out;
    for (const Entry& e : messages)
      if (e.message == msg) out.push_back(e.lParam);
    return out;
  }

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_PHOTOGRAPHED) photographed << TextFromLParam(lParam);
    messages.push_back({msg, wParam, lParam});
    return 1;
  }
};

// The first bytes of a file.
inline std::string FileHead(const std::filesystem::path& path, std::size_t n = 4) {
  std::ifstream in(path, std::ios::binary);
  std::string head(n, '\0');
  in.read(head.data(), static_cast<std::streamsize>(n));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return head;
}

// Sends one mouse event of `type` at a client point.
inline void SendMouse(QWidget* target, QEvent::Type type, QPoint p, Qt::MouseButtons buttons = Qt::LeftButton) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : buttons;
  QMouseEvent e(type, QPointF(p), target->mapToGlobal(QPointF(p)), button, held, Qt::NoModifier);
  QApplication::sendEvent(target, &e);
}

// A click as Qt delivers a double-click: press, release, double-click, release.
inline void SendDoubleClick(QWidget* target, QPoint p) {
  SendMouse(target, QEvent::MouseButtonPress, p);
  SendMouse(target, QEvent::MouseButtonRelease, p);
  SendMouse(target, QEvent::MouseButtonDblClick, p);
  SendMouse(target, QEvent::MouseButtonRelease, p);
}

class PreviewFixture : public ::testing::Test {
 protected:
  static constexpr int kWidth = 640;
  static constexpr int kHeight = 480;

  static void SetUpTestSuite() {
    // Settings, pictures and thumbnails of these suites stay in the build tree.
    const std::filesystem::path root = std::filesystem::path(std::getenv("BREVIO_TEST_TMP")) / "datapreview";
    std::filesystem::create_directories(root);
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    setenv("XDG_PICTURES_DIR", (root / "pictures").c_str(), 1);
    TestApp();
  }

  void SetUp() override {
    dir_ = std::filesystem::path(std::getenv("BREVIO_TEST_TMP")) / "datapreview" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::remove(GetCameraConfig());
    pictures_ = dir_ / "pictures";
    host_ = std::make_unique<CRecordingHost>();
    ASSERT_TRUE(host_->Create(CWnd::Kind::TopLevel, "host", CRect(100, 100, 100 + kWidth, 100 + kHeight)));
    host_->ShowWindow(SW_SHOW);
    preview_ = std::make_unique<CDataPreview>();
    ASSERT_TRUE(preview_->Create(host_.get(), CRect(0, 0, kWidth, kHeight)));
    preview_->ShowWindow(SW_SHOW);
    preview_->SetPicDataPath(QString::fromStdString(pictures_.string()));
    QCoreApplication::processEvents();
  }

  void TearDown() override {
    // The layers before their host's window.
    preview_.reset();
    host_.reset();
    QCoreApplication::processEvents();
  }

  static void Config(const char* section, const char* key, const std::string& value) {
    ASSERT_TRUE(WritePrivateProfileString(section, key, value.c_str(), GetCameraConfig()));
  }

  // A camera frame of camera 0, the preview's camera.
  void Feed(Picture& p, int index = 0) {
    preview_->SetImageData(index, p.bytes.data(), p.width, p.height, 24, nullptr);
  }
  void FeedCamera(Picture& p) {
    preview_->ReSetCameraDC(0);
    Feed(p);
  }

  // What the preview shows on the screen.
  QImage Screen() {
    QCoreApplication::processEvents();
    return preview_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  // The files of the picture folder.
  std::vector<std::filesystem::path> PictureFiles() const {
    std::vector<std::filesystem::path> out;
    if (!std::filesystem::exists(pictures_)) return out;
    for (const auto& e : std::filesystem::directory_iterator(pictures_)) out.push_back(e.path());
    return out;
  }

  // Draws a crop rectangle on the shown crop layer, released unless `hold`.
  void DrawCrop(const CRect& r, bool hold = false) {
    CCutRectLayer& layer = preview_->GetCutLayer().GetRectLayer();
    layer.OnLButtonDown(MK_LBUTTON, CPoint(r.left, r.top));
    layer.OnMouseMove(MK_LBUTTON, CPoint(r.right, r.bottom));
    if (!hold) layer.OnLButtonUp(0, CPoint(r.right, r.bottom));
  }

  std::filesystem::path dir_;
  std::filesystem::path pictures_;
  CDialogScript script_;
  std::unique_ptr<CRecordingHost> host_;
  std::unique_ptr<CDataPreview> preview_;
};
