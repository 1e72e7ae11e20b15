#include "contracts/camera/camera.h"

#include "contracts/camera/pixel_convert.h"
#include "platform/sync.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace {

// Connected, no picture yet; and no video signal.
const _CAMERAFRAME kConnectedRecord{nullptr, 1, 0, 0, nullptr};
const _CAMERAFRAME kNoSignalRecord{nullptr, 0, 0, 0, nullptr};

std::string SizeText(const CFrameSize& s) { return std::to_string(s.width) + "*" + std::to_string(s.height); }

int ToPercent(const CControlInfo& info, int raw, bool logarithmic) {
  if (info.maximum <= info.minimum) return 50;
  if (logarithmic) {
    const double lo = std::log(static_cast<double>(info.minimum)), hi = std::log(static_cast<double>(info.maximum));
    return std::clamp(static_cast<int>(std::lround((std::log(std::max(raw, info.minimum)) - lo) * 100 / (hi - lo))), 0, 100);
  }
  return std::clamp(static_cast<int>(std::lround((raw - info.minimum) * 100.0 / (info.maximum - info.minimum))), 0, 100);
}

int FromPercent(const CControlInfo& info, int percent, bool logarithmic) {
  percent = std::clamp(percent, 0, 100);
  double raw;
  if (logarithmic) {
    const double lo = std::log(static_cast<double>(info.minimum)), hi = std::log(static_cast<double>(info.maximum));
    raw = std::exp(lo + (hi - lo) * percent / 100.0);
  } else {
    raw = info.minimum + (info.maximum - info.minimum) * percent / 100.0;
  }
  const int step = std::max(info.step, 1);
  int v = info.minimum + static_cast<int>(std::lround((raw - info.minimum) / step)) * step;
  return std::clamp(v, info.minimum, info.maximum);
}

}  // namespace

CUsbCamera::CUsbCamera() : CUsbCamera(DefaultCameraProviders()) {}

CUsbCamera::CUsbCamera(std::vector<std::shared_ptr<ICameraProvider>> providers) : providers_(std::move(providers)) {}

CUsbCamera::~CUsbCamera() { CloseCamera(); }

void CUsbCamera::Refresh() {
  cameras_.clear();
  for (const auto& p : providers_)
    for (auto& d : p->Enumerate()) {
      // A picture larger than the frame buffer would only ever arrive as a
      // black frame, so such sizes are not offered.
      for (auto& f : d.formats)
        std::erase_if(f.sizes, [](const CFrameSize& s) {
          return static_cast<std::size_t>(BgrStride(s.width)) * static_cast<std::size_t>(s.height) > CSampleGrabberCB::kBufferSize;
        });
      std::erase_if(d.formats, [](const CPixelFormat& f) { return f.sizes.empty(); });
      if (!d.formats.empty()) cameras_.push_back({p, std::move(d)});
    }
}

int CUsbCamera::GetCameraList(std::vector<std::string>& names) {
  Refresh();
  names.clear();
  std::map<std::string, int> seen;
  for (const auto& c : cameras_) {
    // Two cameras of the same model get told apart by a number.
    const int n = ++seen[c.description.name];
    names.push_back(n == 1 ? c.description.name : c.description.name + " (" + std::to_string(n) + ")");
  }
  return static_cast<int>(names.size());
}

int CUsbCamera::ReadCameraDPI(int index, unsigned long& value, std::string& text) {
  Refresh();
  value = 0;
  text.clear();
  if (index < 0 || index >= static_cast<int>(cameras_.size())) return 0;
  const CFrameSize* best = nullptr;
  for (const auto& f : cameras_[index].description.formats)
    for (const auto& s : f.sizes)
      if (!best || 1LL * s.width * s.height > 1LL * best->width * best->height) best = &s;
  if (best) {
    value = static_cast<unsigned long>(best->width) * static_cast<unsigned long>(best->height);
    text = SizeText(*best);
  }
  return 1;
}

std::uint32_t CUsbCamera::ChooseFormat(const CCameraDescription& d, const std::string& name) {
  const std::uint32_t wanted = PixelFormatFromName(name);
  if (wanted && FindFormat(d, wanted)) return wanted;
  // ":" (or a format this camera lacks, such as the "MJPG" written at first
  // start for every camera) means the camera's own default.
  if (d.defaultFourcc && FindFormat(d, d.defaultFourcc)) return d.defaultFourcc;
  return d.formats.empty() ? 0 : d.formats.front().fourcc;
}

const CPixelFormat* CUsbCamera::FindFormat(const CCameraDescription& d, std::uint32_t fourcc) {
  for (const auto& f : d.formats)
    if (f.fourcc == fourcc) return &f;
  return nullptr;
}

int CUsbCamera::ReadCameraDPI(int index, const std::string& pixelFormat) {
  Refresh();
  if (index < 0 || index >= static_cast<int>(cameras_.size())) {
    selIndex_ = -1;
    return 0;
  }
  selIndex_ = index;
  selFourcc_ = ChooseFormat(cameras_[index].description, pixelFormat);
  return 1;
}

int CUsbCamera::SetCurDPIType(const std::string& pixelFormat) {
  if (selIndex_ < 0 || selIndex_ >= static_cast<int>(cameras_.size())) return 0;
  const std::uint32_t f = PixelFormatFromName(pixelFormat);
  if (!f || !FindFormat(cameras_[selIndex_].description, f)) return 0;
  selFourcc_ = f;
  return 1;
}

std::string CUsbCamera::GetSelDPIType() const {
  const CPixelFormat* f = SelectedFormat();
  return f ? PixelFormatName(f->fourcc) : std::string();
}

const CPixelFormat* CUsbCamera::SelectedFormat() const {
  if (selIndex_ < 0 || selIndex_ >= static_cast<int>(cameras_.size())) return nullptr;
  return FindFormat(cameras_[selIndex_].description, selFourcc_);
}

int CUsbCamera::GetAllCamera(ICameraListSink& list) {
  std::vector<std::string> names;
  GetCameraList(names);
  int added = 0;
  for (const auto& n : names) added += list.AddString(n) >= 0;
  return added;
}

int CUsbCamera::GetCameraDPITypeList(ICameraListSink& list) {
  if (selIndex_ < 0 || selIndex_ >= static_cast<int>(cameras_.size())) return 0;
  int added = 0;
  for (const auto& f : cameras_[selIndex_].description.formats) added += list.AddString(PixelFormatName(f.fourcc)) >= 0;
  return added;
}

int CUsbCamera::GetCurCameraDPIList(ICameraListSink& list) {
  const CPixelFormat* f = SelectedFormat();
  if (!f) return 0;
  int added = 0;
  for (const auto& s : f->sizes) added += list.AddString(SizeText(s)) >= 0;
  return added;
}

int CUsbCamera::GetAllCamera(HWND comboBox) {
  CAddStringSink sink(comboBox);
  return GetAllCamera(sink);
}
int CUsbCamera::GetCameraDPITypeList(HWND comboBox) {
  CAddStringSink sink(comboBox);
  return GetCameraDPITypeList(sink);
}
int CUsbCamera::GetCurCameraDPIList(HWND comboBox) {
  CAddStringSink sink(comboBox);
  return GetCurCameraDPIList(sink);
}

int CUsbCamera::SuitIndex(const CPixelFormat& f, float dpi) {
  if (f.sizes.empty()) return -1;
  // The camera sees about an A4 page across its width (11.69 inches).
  const double needed = std::max(0.0f, dpi) * 11.69;
  for (std::size_t i = 0; i < f.sizes.size(); ++i)
    if (f.sizes[i].width >= needed) return static_cast<int>(i);
  int best = 0;  // nothing wide enough: the widest
  for (std::size_t i = 1; i < f.sizes.size(); ++i)
    if (f.sizes[i].width > f.sizes[best].width) best = static_cast<int>(i);
  return best;
}

int CUsbCamera::ResolveSelectorIn(const CPixelFormat& f, int selector) {
  const int n = static_cast<int>(f.sizes.size());
  if (n == 0) return -1;
  if (selector >= 0) return std::min(selector, n - 1);
  switch (selector) {
    case CAMERA_DPI_LAST: return n - 1;
    case CAMERA_DPI_SUIT30: return SuitIndex(f, 30);
    case CAMERA_DPI_LARGEST: {
      int best = 0;
      for (int i = 1; i < n; ++i)
        if (1LL * f.sizes[i].width * f.sizes[i].height > 1LL * f.sizes[best].width * f.sizes[best].height) best = i;
      return best;
    }
    default: return 0;
  }
}

int CUsbCamera::GetDPI(float dpi) {
  const CPixelFormat* f = SelectedFormat();
  return f ? SuitIndex(*f, dpi) : -1;
}

int CUsbCamera::ResolveSelector(int selector) {
  const CPixelFormat* f = SelectedFormat();
  return f ? ResolveSelectorIn(*f, selector) : -1;
}

int CUsbCamera::GetCurSelDPI() {
  std::lock_guard lock(deviceMutex_);
  if (!device_ && openIndex_ < 0) return 0;
  if (selIndex_ == openIndex_ && selFourcc_ == openFourcc_) return std::max(openSizeIndex_, 0);
  return 0;
}

int CUsbCamera::OpenCamera(HWND window, int index, const std::string& pixelFormat, int selector) {
  CloseCamera();
  Refresh();
  if (index < 0 || index >= static_cast<int>(cameras_.size())) return CAMERA_OPEN_FAILED;
  const CEntry entry = cameras_[index];
  const std::uint32_t fourcc = ChooseFormat(entry.description, pixelFormat);
  const CPixelFormat* format = FindFormat(entry.description, fourcc);
  if (!format) return CAMERA_OPEN_FAILED;
  const int sizeIndex = ResolveSelectorIn(*format, selector);
  if (sizeIndex < 0) return CAMERA_OPEN_FAILED;
  const CFrameSize size = format->sizes[sizeIndex];

  int error = CAMERA_OPEN_FAILED;
  std::unique_ptr<ICameraDevice> device = entry.provider->Open(entry.description.id, error);
  if (!device) return error ? error : CAMERA_OPEN_FAILED;
  if (const int r = device->Start(fourcc, size.width, size.height, size.maxFps); r != 0) return r;

  {
    std::lock_guard lock(deviceMutex_);
    device_ = std::move(device);
    openProvider_ = entry.provider;
    openId_ = entry.description.id;
    openIndex_ = index;
    openFourcc_ = fourcc;
    openSizeIndex_ = sizeIndex;
    openSize_ = size;
    setControls_.clear();
  }
  selIndex_ = index;
  selFourcc_ = fourcc;
  window_ = window;
  grabber_.SetFrameSize(size.width, size.height);
  grabber_.SetWindow(window, index);
  grabber_.SetOneFrame(1);
  stop_ = false;
  thread_ = std::thread(&CUsbCamera::CaptureLoop, this);
  return 0;
}

void CUsbCamera::CloseCamera() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  grabber_.SetWindow(nullptr, 0);
  std::lock_guard lock(deviceMutex_);
  if (device_) device_->Stop();
  device_.reset();
  openProvider_.reset();
  openIndex_ = -1;
  openSizeIndex_ = -1;
  window_ = nullptr;
}

void CUsbCamera::SetOneFrame(int count) { grabber_.SetOneFrame(count); }

int CUsbCamera::GetDeviceId() const {
  std::lock_guard lock(deviceMutex_);
  return openIndex_;
}

bool CUsbCamera::IsOpen() const {
  std::lock_guard lock(deviceMutex_);
  return openIndex_ >= 0;
}

int CUsbCamera::GetFrameWidth() const {
  std::lock_guard lock(deviceMutex_);
  return openIndex_ >= 0 ? openSize_.width : 0;
}

int CUsbCamera::GetFrameHeight() const {
  std::lock_guard lock(deviceMutex_);
  return openIndex_ >= 0 ? openSize_.height : 0;
}

std::string CUsbCamera::GetCurDPIType() const {
  std::lock_guard lock(deviceMutex_);
  return openIndex_ >= 0 ? PixelFormatName(openFourcc_) : std::string();
}

void CUsbCamera::SetSignalTimeouts(int silenceMs, int reattachMs) {
  silenceMs_ = std::max(silenceMs, 1);
  reattachMs_ = std::max(reattachMs, 1);
}

void CUsbCamera::PostStatus(const _CAMERAFRAME* record) {
  if (window_)
    PostMessage(window_, WM_CAMERA_FRAME, static_cast<WPARAM>(openIndex_), reinterpret_cast<LPARAM>(record));
}

bool CUsbCamera::Reattach() {
  // Looks for the same camera (by its persistent id) and restarts it with
  // the same format and size; the user's picture controls are set again.
  int error = 0;
  std::unique_ptr<ICameraDevice> device = openProvider_->Open(openId_, error);
  if (!device || device->Start(openFourcc_, openSize_.width, openSize_.height, openSize_.maxFps) != 0) return false;
  std::lock_guard lock(deviceMutex_);
  for (const auto& [control, value] : setControls_) device->SetControl(control, value);
  device_ = std::move(device);
  return true;
}

void CUsbCamera::CaptureLoop() {
  CFrameConverter converter;
  std::vector<std::uint8_t> picture;
  std::uint32_t lastFrame = GetTickCount();
  bool silent = false;
  while (!stop_) {
    CRawFrame raw;
    // Only the capture thread replaces the device, so it may use it unlocked.
    ICameraDevice* device = device_.get();
    const EFrameWait r = device ? device->WaitFrame(100, raw) : EFrameWait::Gone;
    if (stop_) break;
    if (r == EFrameWait::Frame) {
      int w = 0, h = 0;
      // Nothing is decoded while the receiver still holds the last frame.
      const bool wanted = grabber_.GetCount() != 0;
      if (!wanted || converter.Convert(raw, picture, w, h)) {
        lastFrame = GetTickCount();
        silent = false;
      }
      if (wanted && w > 0) {
        grabber_.SetFrameSize(w, h);
        grabber_.BufferCB(0, picture.data(), static_cast<long>(picture.size()));
      }
    }
    if (r != EFrameWait::Gone) {
      // Frames that stop coming, or only broken ones: no video signal.
      if (!silent && GetTickCount() - lastFrame >= static_cast<std::uint32_t>(silenceMs_)) {
        PostStatus(&kNoSignalRecord);
        silent = true;
      }
      continue;
    }
    // The camera has gone: end its stream, tell the receiver, and wait for
    // it to come back.
    {
      std::lock_guard lock(deviceMutex_);
      if (device_) device_->Stop();
      device_.reset();
    }
    PostStatus(&kNoSignalRecord);
    silent = true;
    while (!stop_) {
      const std::uint32_t until = GetTickCount() + static_cast<std::uint32_t>(reattachMs_);
      while (!stop_ && static_cast<std::int32_t>(until - GetTickCount()) > 0) Sleep(10);
      if (stop_) break;
      if (Reattach()) {
        PostStatus(&kConnectedRecord);
        lastFrame = GetTickCount();
        break;
      }
    }
  }
}

int CUsbCamera::GetPercent(ECameraControl c) {
  std::lock_guard lock(deviceMutex_);
  CControlInfo info;
  int raw = 0;
  if (!device_ || !device_->QueryControl(c, info) || !device_->GetControl(c, raw)) return -1;
  return ToPercent(info, raw, c == ECameraControl::Exposure && info.minimum > 0);
}

int CUsbCamera::SetPercent(ECameraControl c, int value) {
  std::lock_guard lock(deviceMutex_);
  CControlInfo info;
  if (!device_ || !device_->QueryControl(c, info)) return 0;
  const int raw = FromPercent(info, value, c == ECameraControl::Exposure && info.minimum > 0);
  if (!device_->SetControl(c, raw)) return 0;
  setControls_[c] = raw;
  return 1;
}

int CUsbCamera::GetVideoBrightness() { return GetPercent(ECameraControl::Brightness); }
int CUsbCamera::SetVideoBrightness(int value) { return SetPercent(ECameraControl::Brightness, value); }
int CUsbCamera::GetVideoContrast() { return GetPercent(ECameraControl::Contrast); }
int CUsbCamera::SetVideoContrast(int value) { return SetPercent(ECameraControl::Contrast, value); }
int CUsbCamera::GetVideoSaturation() { return GetPercent(ECameraControl::Saturation); }
int CUsbCamera::SetVideoSaturation(int value) { return SetPercent(ECameraControl::Saturation, value); }

int CUsbCamera::GetVideoExposure() {
  {
    std::lock_guard lock(deviceMutex_);
    int autoOn = 0;
    if (device_ && device_->GetControl(ECameraControl::AutoExposure, autoOn) && autoOn) return -1;
  }
  return GetPercent(ECameraControl::Exposure);
}

int CUsbCamera::SetVideoExposure(int value) {
  if (value < 0) {
    std::lock_guard lock(deviceMutex_);
    if (!device_ || !device_->SetControl(ECameraControl::AutoExposure, 1)) return 0;
    setControls_.erase(ECameraControl::Exposure);
    setControls_[ECameraControl::AutoExposure] = 1;
    return 1;
  }
  {
    std::lock_guard lock(deviceMutex_);
    // A camera without an automatic mode is always manual.
    if (device_ && device_->SetControl(ECameraControl::AutoExposure, 0)) setControls_[ECameraControl::AutoExposure] = 0;
  }
  return SetPercent(ECameraControl::Exposure, value);
}

int CUsbCamera::SetVideoSharpness(int level) {
  std::lock_guard lock(deviceMutex_);
  CControlInfo info;
  if (!device_ || !device_->QueryControl(ECameraControl::Sharpness, info)) return 0;
  const int raw = level <= 0 ? (level == 0 ? info.minimum : info.defaultValue)
                             : (level == 1 ? info.defaultValue : info.maximum);
  if (!device_->SetControl(ECameraControl::Sharpness, raw)) return 0;
  setControls_[ECameraControl::Sharpness] = raw;
  return 1;
}

int CUsbCamera::HasPictureControl(ECameraControl control) const {
  std::lock_guard lock(deviceMutex_);
  CControlInfo info;
  return device_ && device_->QueryControl(control, info) ? 1 : 0;
}

std::string CUsbCamera::GetErrorText(int code) {
  if (code == 0) return {};
  if (code == CAMERA_OPEN_FAILED) return "camera failed to start";
  char buffer[256];
  const char* text = strerror_r(code, buffer, sizeof buffer);
  return text ? std::string(text) : std::string("error ") + std::to_string(code);
}
