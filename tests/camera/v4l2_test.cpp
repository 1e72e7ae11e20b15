#include "contracts/camera/v4l2_device.h"
#include "contracts/camera/v4l2_recorded.h"

#include "tests/camera/recorded.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

std::vector<std::string> SizeTexts(const CPixelFormat& f) {
  std::vector<std::string> v;
  for (const auto& s : f.sizes) v.push_back(std::to_string(s.width) + "x" + std::to_string(s.height));
  return v;
}

}  // namespace

TEST(V4L2Backend, ListsCaptureDevicesByPersistentIdWithConvertibleFormats) {
  auto io = std::make_shared<CRecordedV4L2Io>(LoadRecorded("two_cameras.txt"));
  CV4L2Provider provider(io);
  const auto list = provider.Enumerate();
  ASSERT_EQ(list.size(), 2u);  // the metadata nodes are no cameras
  EXPECT_EQ(list[0].id, "usb-Acme_Visualizer_A1_SN0042-video-index0");
  EXPECT_EQ(list[0].name, "Visualizer A1: Visualizer A1");
  EXPECT_EQ(list[0].node, "/dev/video0");
  EXPECT_EQ(list[1].node, "/dev/video2");

  const auto& doc = list[0];
  ASSERT_EQ(doc.formats.size(), 2u);  // H.264 cannot be shown
  EXPECT_EQ(doc.formats[0].fourcc, FOURCC_MJPG);
  EXPECT_EQ(doc.formats[1].fourcc, FOURCC_YUYV);
  EXPECT_EQ(doc.defaultFourcc, FOURCC_MJPG);  // the first it lists, as it starts up
  // Sorted by pixel count, the repeated 1280x720 listed once.
  EXPECT_EQ(SizeTexts(doc.formats[0]),
            (std::vector<std::string>{"640x480", "800x600", "1024x768", "1280x720", "1600x1200", "1920x1080",
                                      "2592x1944", "3264x2448"}));
  EXPECT_DOUBLE_EQ(doc.formats[0].sizes.back().maxFps, 15);
  EXPECT_DOUBLE_EQ(doc.formats[1].sizes.back().maxFps, 5);
}

TEST(V4L2Backend, OrderSurvivesRenumberedNodes) {
  auto devices = LoadRecorded("two_cameras.txt");
  // Next boot the built-in camera comes up first and takes /dev/video0.
  std::swap(devices[0].node, devices[2].node);
  std::swap(devices[1].node, devices[3].node);
  CV4L2Provider provider(std::make_shared<CRecordedV4L2Io>(devices));
  const auto list = provider.Enumerate();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].id, "usb-Acme_Visualizer_A1_SN0042-video-index0");
  EXPECT_EQ(list[0].node, "/dev/video2");
}

TEST(V4L2Backend, RangesOfSizesBecomeCommonSizesAndIdsFallBackToTheBus) {
  CV4L2Provider provider(std::make_shared<CRecordedV4L2Io>(LoadRecorded("capture_card.txt")));
  const auto list = provider.Enumerate();
  ASSERT_EQ(list.size(), 2u);  // the H.264-only camera offers nothing to show
  EXPECT_EQ(list[0].id, "pci-0000:03:00.0:HDMI Capture");
  EXPECT_EQ(list[1].formats[0].sizes.back().width, 4208);
  ASSERT_EQ(list[0].formats.size(), 2u);
  const auto sizes = SizeTexts(list[0].formats[0]);
  EXPECT_EQ(sizes.front(), "160x120");
  EXPECT_EQ(sizes.back(), "1920x1080");
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), "640x480"), sizes.end());
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), "1280x1024"), sizes.end());
  EXPECT_EQ(std::find(sizes.begin(), sizes.end(), "1600x1200"), sizes.end());  // taller than the range
  EXPECT_DOUBLE_EQ(list[0].formats[0].sizes.back().maxFps, 60);

  // Step sizes are respected: with steps of 300 only the range's own end fits.
  const auto odd = SizesInRange(100, 100, 1000, 700, 300, 300);
  ASSERT_EQ(odd.size(), 1u);
  EXPECT_EQ(odd[0].width, 1000);
}

TEST(V4L2Backend, RecordingAndReplayingGiveTheSameDevice) {
  auto io = std::make_shared<CRecordedV4L2Io>(LoadRecorded("two_cameras.txt"));
  const std::string text = RecordV4L2Device(*io, "/dev/video0");
  std::vector<CRecordedDevice> again;
  std::string error;
  ASSERT_TRUE(ParseRecordedDevices(text, again, error)) << error;
  ASSERT_EQ(again.size(), 1u);
  const auto original = LoadRecorded("two_cameras.txt")[0];
  EXPECT_EQ(again[0].persistent, original.persistent);
  EXPECT_EQ(again[0].card, original.card);
  EXPECT_EQ(again[0].caps, original.caps);
  ASSERT_EQ(again[0].formats.size(), original.formats.size());
  for (std::size_t i = 0; i < original.formats.size(); ++i) {
    ASSERT_EQ(again[0].formats[i].sizes.size(), original.formats[i].sizes.size());
    for (std::size_t j = 0; j < original.formats[i].sizes.size(); ++j) {
      EXPECT_EQ(again[0].formats[i].sizes[j].width, original.formats[i].sizes[j].width);
      EXPECT_EQ(again[0].formats[i].sizes[j].fps, original.formats[i].sizes[j].fps);
    }
  }
  EXPECT_EQ(again[0].controls.size(), 6u);
  EXPECT_EQ(again[0].controls["exposure_absolute"].maximum, 2047);
  EXPECT_EQ(RecordV4L2Device(*io, "/dev/video9"), "");

  std::vector<CRecordedDevice> bad;
  EXPECT_FALSE(ParseRecordedDevices("device /dev/video0\nsize 640 480\n", bad, error));
  EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
  EXPECT_FALSE(ParseRecordedDevices("card x\n", bad, error));
}

TEST(V4L2Backend, StreamsMappedBuffersAndNoticesUnplugging) {
  auto io = std::make_shared<CRecordedV4L2Io>(LoadRecorded("two_cameras.txt"));
  io->SetFrameInterval(0);
  CV4L2Provider provider(io);
  int error = -1;
  auto dev = provider.Open("usb-Acme_Visualizer_A1_SN0042-video-index0", error);
  ASSERT_TRUE(dev);
  EXPECT_EQ(error, 0);
  ASSERT_EQ(dev->Start(FOURCC_YUYV, 1280, 720, 10), 0);
  EXPECT_EQ(io->LastFourcc(), FOURCC_YUYV);
  EXPECT_EQ(io->LastWidth(), 1280);
  for (int i = 0; i < 10; ++i) {  // more frames than buffers: each is given back
    CRawFrame f;
    ASSERT_EQ(dev->WaitFrame(100, f), EFrameWait::Frame) << i;
    EXPECT_EQ(f.fourcc, FOURCC_YUYV);
    EXPECT_EQ(f.bytesPerLine, 2560);
    EXPECT_EQ(f.size, 2560u * 720);
  }
  io->SetPresent("/dev/video0", false);
  CRawFrame f;
  EXPECT_EQ(dev->WaitFrame(100, f), EFrameWait::Gone);
  dev.reset();  // stopping a vanished device is harmless

  EXPECT_FALSE(provider.Open("usb-Acme_Visualizer_A1_SN0042-video-index0", error));
  EXPECT_EQ(error, 2);
  io->SetPresent("/dev/video0", true);
  // A camera another program streams from opens, but does not start.
  auto first = provider.Open("usb-Acme_Visualizer_A1_SN0042-video-index0", error);
  auto second = provider.Open("usb-Acme_Visualizer_A1_SN0042-video-index0", error);
  ASSERT_TRUE(first && second);
  ASSERT_EQ(first->Start(FOURCC_MJPG, 640, 480, 30), 0);
  EXPECT_EQ(second->Start(FOURCC_MJPG, 640, 480, 30), EBUSY);
  first.reset();
  EXPECT_EQ(second->Start(FOURCC_MJPG, 640, 480, 30), 0);
  second.reset();
  // A node that cannot be opened cannot be described, so it is not listed.
  io->FailOpen("/dev/video0", EACCES);
  EXPECT_EQ(provider.Enumerate().size(), 1u);
}
