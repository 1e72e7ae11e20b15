#pragma once
// The camera library as the application uses it: CUsbCamera lists the
// attached cameras, fills the settings lists, opens one camera and posts
// each captured frame to the opening window as WM_CAMERA_FRAME with a
// _CAMERAFRAME record. Only one frame is in flight: the next is posted after
// the receiver has called SetOneFrame(1).

#include "contracts/camera/camera_device.h"
#include "contracts/camera/camera_list.h"
#include "contracts/camera/sample_grabber.h"
#include "platform/messages.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Resolution selectors beyond plain list indices.
constexpr int CAMERA_DPI_LAST = -2;      // the last (largest) entry
constexpr int CAMERA_DPI_SUIT30 = -3;    // the entry GetDPI(30) gives
constexpr int CAMERA_DPI_LARGEST = -4;   // the entry with the most pixels
// Open results besides 0 (success) and errno-style codes.
constexpr int CAMERA_OPEN_FAILED = 2;

class CUsbCamera {
 public:
  CUsbCamera();  // the default providers (V4L2, demo camera when enabled)
  explicit CUsbCamera(std::vector<std::shared_ptr<ICameraProvider>> providers);
  ~CUsbCamera();
  CUsbCamera(const CUsbCamera&) = delete;
  CUsbCamera& operator=(const CUsbCamera&) = delete;

  // Names of the attached cameras in their stable order; returns the count.
  int GetCameraList(std::vector<std::string>& names);
  // Capability of camera `index`: the largest resolution's pixel count and
  // its text ("3264*2448"). 1 on success, 0 for an unknown index.
  int ReadCameraDPI(int index, unsigned long& value, std::string& text);
  // Selects camera `index` and pixel format (":" = the camera's default)
  // for the list calls below. 1 on success, 0 for an unknown index.
  int ReadCameraDPI(int index, const std::string& pixelFormat);
  // Selects the pixel format of the selected camera. 1 when it offers it.
  int SetCurDPIType(const std::string& pixelFormat);
  // The name of the pixel format the list calls use now ("MJPG"; ":" and a
  // format the camera lacks have become the camera's default). Empty
  // without a selected camera.
  std::string GetSelDPIType() const;

  // Fill calls: camera names, pixel formats of the selected camera,
  // resolutions of the selected camera and format ("1920*1080"). Each
  // returns the number of rows added.
  int GetAllCamera(ICameraListSink& list);
  int GetAllCamera(HWND comboBox);
  int GetCameraDPITypeList(ICameraListSink& list);
  int GetCameraDPITypeList(HWND comboBox);
  int GetCurCameraDPIList(ICameraListSink& list);
  int GetCurCameraDPIList(HWND comboBox);

  // Index of the open resolution (0 when another camera/format is selected
  // or nothing is open).
  int GetCurSelDPI();
  // Index of the resolution that suits `dpi` dots per inch across an A4
  // page's long side (11.69 in) in the selected camera's view: the smallest
  // one at least that wide, else the largest. -1 without a list.
  int GetDPI(float dpi);
  // The list index a resolution selector stands for, in the selected list;
  // -1 without a list.
  int ResolveSelector(int selector);

  // Starts capture; frames arrive at `window` as WM_CAMERA_FRAME. Returns 0,
  // CAMERA_OPEN_FAILED, or an errno-style code (see GetErrorText).
  int OpenCamera(HWND window, int index, const std::string& pixelFormat, int selector);
  void CloseCamera();
  // How many further frames may be posted (negative: no limit).
  void SetOneFrame(int count);
  // Index of the open camera, -1 when none.
  int GetDeviceId() const;
  bool IsOpen() const;
  // The size and format being delivered (valid while open).
  int GetFrameWidth() const;
  int GetFrameHeight() const;
  std::string GetCurDPIType() const;

  // Picture controls on a 0..100 scale (50 is the middle of the camera's
  // range); exposure -1 means automatic exposure. Getters answer -1 when the
  // camera lacks the control or none is open; setters return 1 or 0.
  int GetVideoBrightness();
  int SetVideoBrightness(int value);
  int GetVideoContrast();
  int SetVideoContrast(int value);
  int GetVideoSaturation();
  int SetVideoSaturation(int value);
  int GetVideoExposure();
  int SetVideoExposure(int value);
  // Picture quality level: 0 soft (the control's minimum), 1 the camera's
  // default, 2 and above sharp (its maximum).
  int SetVideoSharpness(int level);
  // 1 when the open camera has that picture control, else 0 (also when
  // none is open). It tells "no exposure control" from the -1 of automatic
  // exposure; ECameraControl::AutoExposure asks for the automatic mode.
  int HasPictureControl(ECameraControl control) const;

  // Text for an open result that is neither 0 nor CAMERA_OPEN_FAILED.
  static std::string GetErrorText(int code);

  // Time without frames after which the receiver is told there is no video
  // signal, and the pause between attempts to re-attach a vanished camera.
  void SetSignalTimeouts(int silenceMs, int reattachMs);

 private:
  struct CEntry {
    std::shared_ptr<ICameraProvider> provider;
    CCameraDescription description;
  };
  void Refresh();
  const CPixelFormat* SelectedFormat() const;
  static const CPixelFormat* FindFormat(const CCameraDescription& d, std::uint32_t fourcc);
  static std::uint32_t ChooseFormat(const CCameraDescription& d, const std::string& name);
  static int ResolveSelectorIn(const CPixelFormat& f, int selector);
  static int SuitIndex(const CPixelFormat& f, float dpi);
  int GetPercent(ECameraControl c);
  int SetPercent(ECameraControl c, int value);
  void CaptureLoop();
  void PostStatus(const _CAMERAFRAME* record);
  bool Reattach();

  std::vector<std::shared_ptr<ICameraProvider>> providers_;
  std::vector<CEntry> cameras_;
  int selIndex_ = -1;
  std::uint32_t selFourcc_ = 0;

  // The open camera.
  mutable std::mutex deviceMutex_;
  std::unique_ptr<ICameraDevice> device_;
  std::shared_ptr<ICameraProvider> openProvider_;
  std::string openId_;
  int openIndex_ = -1;
  std::uint32_t openFourcc_ = 0;
  int openSizeIndex_ = -1;
  CFrameSize openSize_;
  std::map<ECameraControl, int> setControls_;  // re-applied after re-attaching
  HWND window_ = nullptr;
  CSampleGrabberCB grabber_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  int silenceMs_ = 3000;
  int reattachMs_ = 1000;
};
