#pragma once
// Shared ground of the split-screen suites: an owner window that records
// what it is posted, a split screen tied to it, frames of one colour fed
// straight in, and the canvas painted into a surface of its own.

#include "imaging/bitmap_file.h"
#include "preview/splitscreendc.h"
#include "tests/preview/preview_fixture.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

class SplitScreenFixture : public ::testing::Test {
 protected:
  static constexpr int kOwnerX = 100;
  static constexpr int kOwnerY = 80;

  static void SetUpTestSuite() {
    const std::filesystem::path root = std::filesystem::path(std::getenv("BREVIO_TEST_TMP")) / "splitscreen";
    std::filesystem::create_directories(root);
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
    TestApp();
  }

  // The owner at (kOwnerX, kOwnerY) with a canvas of width × height.
  void Open(int width, int height) {
    dir_ = std::filesystem::path(std::getenv("BREVIO_TEST_TMP")) / "splitscreen" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    owner_ = std::make_unique<CRecordingHost>();
    ASSERT_TRUE(owner_->Create(CWnd::Kind::TopLevel, "owner",
                               CRect(kOwnerX, kOwnerY, kOwnerX + width, kOwnerY + height)));
    owner_->ShowWindow(SW_SHOW);
    split_ = std::make_unique<CSplitScreenDC>();
    split_->Init(owner_.get());
    split_->SetCanvasSize(width, height);
    QCoreApplication::processEvents();
  }

  void TearDown() override {
    // The layers before their owner.
    split_.reset();
    owner_.reset();
    QCoreApplication::processEvents();
  }

  // A frame of one colour from camera `drive`.
  void Feed(unsigned drive, int width, int height, BYTE r, BYTE g, BYTE b) {
    Picture p(width, height);
    p.Fill(r, g, b);
    split_->SetImageData(p.bytes.data(), width, height, 24, nullptr, drive);
  }

  // A picture file of one colour.
  std::string PictureFile(const char* name, int width, int height, BYTE r, BYTE g, BYTE b) {
    Picture p(width, height);
    p.Fill(r, g, b);
    const std::string path = (dir_ / name).string();
    EXPECT_TRUE(WriteBitmapFile(path, p.bytes.data(), width, height, 24, nullptr));
    return path;
  }

  // The canvas as DoDraw paints it.
  QImage Draw() {
    const CSize size = split_->GetCanvasSize();
    QImage surface(size.cx, size.cy, kCanvasFormat);
    surface.fill(Qt::white);
    split_->DoDraw(&surface);
    return surface;
  }

  // The centre of a pane's client rectangle.
  CPoint Centre(int pane) const { return split_->GetView(pane)->GetClientRect().CenterPoint(); }

  // The messages posted to the owner so far.
  std::vector<CRecordingHost::Entry> Posted(UINT msg) {
    QCoreApplication::processEvents();
    std::vector<CRecordingHost::Entry> out;
    for (const auto& e : owner_->messages)
      if (e.message == msg) out.push_back(e);
    return out;
  }

  // Forgets what was posted so far, delivered or not.
  void ClearPosted() {
    QCoreApplication::processEvents();
    owner_->messages.clear();
  }

  std::filesystem::path dir_;
  std::unique_ptr<CRecordingHost> owner_;
  std::unique_ptr<CSplitScreenDC> split_;
};
