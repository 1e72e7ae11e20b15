#include "contracts/camera/sample_grabber.h"

#include "tests/camera/test_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<BYTE> Filled(std::size_t n, BYTE v) { return std::vector<BYTE>(n, v); }

}  // namespace

TEST(SampleGrabber, PostsOnlyAsManyFramesAsAllowed) {
  CameraTestApp();
  CMessageRecorder rec;
  CSampleGrabberCB cb;
  cb.SetFrameSize(4, 2);
  cb.SetWindow(&rec, 3);
  const auto frame = Filled(24, 7);

  // Nothing allowed yet: the sample is dropped, even one without data.
  EXPECT_EQ(cb.BufferCB(0, frame.data(), 24), CAMERA_S_OK);
  EXPECT_EQ(cb.BufferCB(0, nullptr, 24), CAMERA_S_OK);

  cb.SetOneFrame(1);
  EXPECT_EQ(cb.BufferCB(0, nullptr, 24), CAMERA_E_POINTER);  // no data: refused, allowance kept
  EXPECT_EQ(cb.GetCount(), 1);
  EXPECT_EQ(cb.BufferCB(0, frame.data(), 24), CAMERA_S_OK);
  EXPECT_EQ(cb.GetCount(), 0);
  EXPECT_EQ(cb.BufferCB(0, frame.data(), 24), CAMERA_S_OK);  // second frame before SetOneFrame
  ASSERT_TRUE(rec.WaitFor(WM_CAMERA_FRAME, 1));
  QCoreApplication::processEvents();
  ASSERT_EQ(rec.Count(WM_CAMERA_FRAME), 1u);

  const auto m = rec.Messages().front();
  EXPECT_EQ(m.wParam, 3u);
  const auto* f = reinterpret_cast<const _CAMERAFRAME*>(m.lParam);
  EXPECT_EQ(f, cb.Record());
  EXPECT_EQ(f->width, 4);
  EXPECT_EQ(f->height, 2);
  EXPECT_EQ(f->bitCount, 24);
  EXPECT_EQ(f->palette, nullptr);
  EXPECT_EQ(f->data[0], 7);
  EXPECT_EQ(f->data[23], 7);

  cb.SetOneFrame(2);
  cb.BufferCB(0, frame.data(), 24);
  cb.BufferCB(0, frame.data(), 24);
  cb.BufferCB(0, frame.data(), 24);
  ASSERT_TRUE(rec.WaitFor(WM_CAMERA_FRAME, 3));
  QCoreApplication::processEvents();
  EXPECT_EQ(rec.Count(WM_CAMERA_FRAME), 3u);
  EXPECT_EQ(cb.GetCount(), 0);
}

TEST(SampleGrabber, NegativeAllowanceNeverRunsOut) {
  CameraTestApp();
  CMessageRecorder rec;
  CSampleGrabberCB cb;
  cb.SetWindow(&rec, 0);
  cb.SetOneFrame(-1);
  const auto frame = Filled(12, 1);
  for (int i = 0; i < 50; ++i) cb.BufferCB(0, frame.data(), 12);
  EXPECT_EQ(cb.GetCount(), -1);
  ASSERT_TRUE(rec.WaitFor(WM_CAMERA_FRAME, 50));
}

TEST(SampleGrabber, OversizedSampleGivesBlackFrameAndShortOnesLeaveNoOldBytes) {
  CameraTestApp();
  CSampleGrabberCB cb;
  cb.SetOneFrame(-1);
  const auto big = Filled(1000, 200);
  cb.BufferCB(0, big.data(), 1000);
  const BYTE* buf = cb.Buffer();
  EXPECT_EQ(buf[999], 200);

  // A shorter frame: everything after it is zero again, as if the whole
  // buffer had been cleared first.
  const auto small = Filled(10, 5);
  cb.BufferCB(0, small.data(), 10);
  EXPECT_EQ(buf[9], 5);
  EXPECT_TRUE(std::all_of(buf + 10, buf + 1000, [](BYTE b) { return b == 0; }));

  // One byte too long: nothing is copied, the frame is black, and it is still posted.
  cb.BufferCB(0, big.data(), 1000);
  std::vector<BYTE> huge(CSampleGrabberCB::kBufferSize + 1, 9);
  cb.BufferCB(0, huge.data(), static_cast<long>(huge.size()));
  EXPECT_TRUE(std::all_of(buf, buf + 2000, [](BYTE b) { return b == 0; }));
  EXPECT_EQ(cb.Record()->data, buf);

  // Exactly the buffer's size still fits.
  huge.pop_back();
  cb.BufferCB(0, huge.data(), static_cast<long>(huge.size()));
  EXPECT_EQ(buf[CSampleGrabberCB::kBufferSize - 1], 9);
}

TEST(SampleGrabber, WithoutWindowNothingIsPostedAndReferenceCountIsFixed) {
  CameraTestApp();
  CSampleGrabberCB cb;
  EXPECT_EQ(cb.AddRef(), 2u);
  EXPECT_EQ(cb.Release(), 1u);
  EXPECT_EQ(cb.SampleCB(0, nullptr), CAMERA_S_OK);
  cb.SetOneFrame(1);
  const auto frame = Filled(3, 1);
  EXPECT_EQ(cb.BufferCB(0, frame.data(), 3), CAMERA_S_OK);
  EXPECT_EQ(cb.GetCount(), 0);
}
