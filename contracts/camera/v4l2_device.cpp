#include "contracts/camera/v4l2_device.h"

#include <linux/videodev2.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace {

class CSystemIo : public IV4L2Io {
 public:
  std::vector<std::string> VideoNodes() override {
    std::vector<std::string> nodes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("video", 0) == 0 && name.size() > 5 &&
          std::all_of(name.begin() + 5, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        nodes.push_back(entry.path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    return nodes;
  }

  std::string PersistentName(const std::string& node) override {
    std::error_code ec;
    const auto target = std::filesystem::canonical(node, ec);
    if (ec) return {};
    // by-id names carry maker, product and serial number; by-path names the
    // port, for cameras that have no serial number.
    for (const char* dir : {"/dev/v4l/by-id", "/dev/v4l/by-path"}) {
      std::vector<std::string> names;
      for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::error_code ec2;
        if (std::filesystem::canonical(entry.path(), ec2) == target && !ec2)
          names.push_back(entry.path().filename().string());
      }
      if (!names.empty()) return *std::min_element(names.begin(), names.end());
    }
    return {};
  }

  int Open(const std::string& node) override {
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
  }
  void Close(int fd) override { ::close(fd); }
  int Ioctl(int fd, unsigned long request, void* arg) override {
    int r;
    do r = ::ioctl(fd, request, arg);
    while (r == -1 && errno == EINTR);
    return r == -1 ? -errno : 0;
  }
  void* Map(int fd, std::size_t length, off_t offset) override {
    void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    return p == MAP_FAILED ? nullptr : p;
  }
  void Unmap(void* address, std::size_t length) override { ::munmap(address, length); }
  int Poll(int fd, int timeoutMs) override {
    pollfd p{fd, POLLIN, 0};
    int r;
    do r = ::poll(&p, 1, timeoutMs);
    while (r == -1 && errno == EINTR);
    if (r < 0) return -errno;
    if (r == 0) return 0;
    if (p.revents & POLLIN) return 1;
    return -ENODEV;  // error or hang-up without data: the device went away
  }
};

std::uint32_t ControlId(ECameraControl c) {
  switch (c) {
    case ECameraControl::Brightness: return V4L2_CID_BRIGHTNESS;
    case ECameraControl::Contrast: return V4L2_CID_CONTRAST;
    case ECameraControl::Saturation: return V4L2_CID_SATURATION;
    case ECameraControl::Sharpness: return V4L2_CID_SHARPNESS;
    case ECameraControl::Exposure: return V4L2_CID_EXPOSURE_ABSOLUTE;
    case ECameraControl::AutoExposure: return V4L2_CID_EXPOSURE_AUTO;
  }
  return 0;
}

bool IsGone(int error) { return error == -ENODEV || error == -ENXIO || error == -EIO || error == -EBADF; }

class CV4L2Device : public ICameraDevice {
 public:
  CV4L2Device(std::shared_ptr<IV4L2Io> io, int fd, CCameraDescription d)
      : io_(std::move(io)), fd_(fd), description_(std::move(d)) {}
  ~CV4L2Device() override {
    Stop();
    io_->Close(fd_);
  }
  const CCameraDescription& Description() const override { return description_; }

  int Start(std::uint32_t fourcc, int width, int height, double fps) override {
    Stop();
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = static_cast<unsigned>(width);
    fmt.fmt.pix.height = static_cast<unsigned>(height);
    fmt.fmt.pix.pixelformat = fourcc;
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    if (int r = io_->Ioctl(fd_, VIDIOC_S_FMT, &fmt); r < 0) return Code(r);
    if (fmt.fmt.pix.pixelformat != fourcc) return EINVAL;
    fourcc_ = fourcc;
    width_ = static_cast<int>(fmt.fmt.pix.width);
    height_ = static_cast<int>(fmt.fmt.pix.height);
    bytesPerLine_ = static_cast<int>(fmt.fmt.pix.bytesperline);

    if (fps > 0) {  // a camera that cannot set its rate keeps its own
      v4l2_streamparm parm{};
      parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      parm.parm.capture.timeperframe.numerator = 1000;
      parm.parm.capture.timeperframe.denominator = static_cast<unsigned>(std::min(fps, 30.0) * 1000 + 0.5);
      io_->Ioctl(fd_, VIDIOC_S_PARM, &parm);
    }

    v4l2_requestbuffers req{};
    req.count = 4;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (int r = io_->Ioctl(fd_, VIDIOC_REQBUFS, &req); r < 0) return Code(r);
    if (req.count < 1) return ENOMEM;
    requested_ = true;
    for (unsigned i = 0; i < req.count; ++i) {
      v4l2_buffer buf{};
      buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buf.memory = V4L2_MEMORY_MMAP;
      buf.index = i;
      if (int r = io_->Ioctl(fd_, VIDIOC_QUERYBUF, &buf); r < 0) return Fail(r);
      void* p = io_->Map(fd_, buf.length, static_cast<off_t>(buf.m.offset));
      if (!p) return Fail(-ENOMEM);
      maps_.push_back({p, buf.length});
      if (int r = io_->Ioctl(fd_, VIDIOC_QBUF, &buf); r < 0) return Fail(r);
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (int r = io_->Ioctl(fd_, VIDIOC_STREAMON, &type); r < 0) return Fail(r);
    streaming_ = true;
    return 0;
  }

  EFrameWait WaitFrame(int timeoutMs, CRawFrame& frame) override {
    if (!streaming_) return EFrameWait::Gone;
    Requeue();
    const int p = io_->Poll(fd_, timeoutMs);
    if (p == 0) return EFrameWait::Timeout;
    if (p < 0) return p == -EINTR ? EFrameWait::Timeout : EFrameWait::Gone;
    v4l2_buffer buf{};
    buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buf.memory = V4L2_MEMORY_MMAP;
    const int r = io_->Ioctl(fd_, VIDIOC_DQBUF, &buf);
    if (r == -EAGAIN || r == -EINTR) return EFrameWait::Timeout;
    if (r < 0) return IsGone(r) ? EFrameWait::Gone : EFrameWait::Timeout;
    if (buf.index >= maps_.size()) return EFrameWait::Timeout;
    held_ = static_cast<int>(buf.index);
    if (buf.flags & V4L2_BUF_FLAG_ERROR || buf.bytesused == 0) return EFrameWait::Timeout;
    frame.data = static_cast<const std::uint8_t*>(maps_[buf.index].address);
    frame.size = std::min<std::size_t>(buf.bytesused, maps_[buf.index].length);
    frame.fourcc = fourcc_;
    frame.width = width_;
    frame.height = height_;
    frame.bytesPerLine = bytesPerLine_;
    return EFrameWait::Frame;
  }

  void Stop() override {
    if (streaming_) {
      int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      io_->Ioctl(fd_, VIDIOC_STREAMOFF, &type);
      streaming_ = false;
    }
    held_ = -1;
    for (const auto& m : maps_) io_->Unmap(m.address, m.length);
    maps_.clear();
    if (requested_) {
      v4l2_requestbuffers req{};
      req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      req.memory = V4L2_MEMORY_MMAP;
      io_->Ioctl(fd_, VIDIOC_REQBUFS, &req);
      requested_ = false;
    }
  }

  bool QueryControl(ECameraControl c, CControlInfo& info) override {
    v4l2_queryctrl q{};
    q.id = ControlId(c);
    if (io_->Ioctl(fd_, VIDIOC_QUERYCTRL, &q) < 0 || (q.flags & V4L2_CTRL_FLAG_DISABLED)) return false;
    info.minimum = q.minimum;
    info.maximum = q.maximum;
    info.step = q.step > 0 ? q.step : 1;
    info.defaultValue = q.default_value;
    if (c == ECameraControl::AutoExposure) info = {0, 1, 1, q.default_value != V4L2_EXPOSURE_MANUAL};
    return true;
  }

  bool GetControl(ECameraControl c, int& value) override {
    v4l2_control ctrl{};
    ctrl.id = ControlId(c);
    if (io_->Ioctl(fd_, VIDIOC_G_CTRL, &ctrl) < 0) return false;
    value = c == ECameraControl::AutoExposure ? ctrl.value != V4L2_EXPOSURE_MANUAL : ctrl.value;
    return true;
  }

  bool SetControl(ECameraControl c, int value) override {
    v4l2_control ctrl{};
    ctrl.id = ControlId(c);
    if (c != ECameraControl::AutoExposure) {
      ctrl.value = value;
      return io_->Ioctl(fd_, VIDIOC_S_CTRL, &ctrl) == 0;
    }
    if (!value) {
      ctrl.value = V4L2_EXPOSURE_MANUAL;
      return io_->Ioctl(fd_, VIDIOC_S_CTRL, &ctrl) == 0;
    }
    // USB cameras usually offer aperture priority as their automatic mode.
    for (int mode : {V4L2_EXPOSURE_APERTURE_PRIORITY, V4L2_EXPOSURE_AUTO}) {
      ctrl.value = mode;
      if (io_->Ioctl(fd_, VIDIOC_S_CTRL, &ctrl) == 0) return true;
    }
    return false;
  }

 private:
  struct CMap {
    void* address;
    std::size_t length;
  };
  static int Code(int negErrno) {
    const int e = -negErrno;
    return e > 0 && e != 2 ? e : 2;
  }
  int Fail(int negErrno) {
    Stop();
    return Code(negErrno);
  }
  void Requeue() {
    if (held_ < 0) return;
    v4l2_buffer buf{};
    buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buf.memory = V4L2_MEMORY_MMAP;
    buf.index = static_cast<unsigned>(held_);
    io_->Ioctl(fd_, VIDIOC_QBUF, &buf);
    held_ = -1;
  }

  std::shared_ptr<IV4L2Io> io_;
  int fd_;
  CCameraDescription description_;
  std::vector<CMap> maps_;
  bool requested_ = false;
  bool streaming_ = false;
  int held_ = -1;
  std::uint32_t fourcc_ = 0;
  int width_ = 0, height_ = 0, bytesPerLine_ = 0;
};

double BestFps(IV4L2Io& io, int fd, std::uint32_t fourcc, int w, int h) {
  double best = 0;
  for (unsigned i = 0; i < 64; ++i) {
    v4l2_frmivalenum iv{};
    iv.index = i;
    iv.pixel_format = fourcc;
    iv.width = static_cast<unsigned>(w);
    iv.height = static_cast<unsigned>(h);
    if (io.Ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &iv) < 0) break;
    const v4l2_fract f = iv.type == V4L2_FRMIVAL_TYPE_DISCRETE ? iv.discrete : iv.stepwise.min;
    if (f.numerator > 0) best = std::max(best, static_cast<double>(f.denominator) / f.numerator);
    if (iv.type != V4L2_FRMIVAL_TYPE_DISCRETE) break;
  }
  return best;
}

}  // namespace

std::shared_ptr<IV4L2Io> SystemV4L2Io() { return std::make_shared<CSystemIo>(); }

std::vector<CFrameSize> SizesInRange(int minW, int minH, int maxW, int maxH, int stepW, int stepH) {
  static const int common[][2] = {
      {160, 120},   {320, 240},   {352, 288},   {640, 360},   {640, 480},   {800, 600},
      {1024, 768},  {1280, 720},  {1280, 960},  {1280, 1024}, {1600, 1200}, {1920, 1080},
      {2048, 1536}, {2592, 1944}, {3264, 2448}, {3840, 2160}, {4096, 3072}};
  stepW = std::max(stepW, 1);
  stepH = std::max(stepH, 1);
  std::vector<CFrameSize> sizes;
  for (const auto& c : common)
    if (c[0] >= minW && c[0] <= maxW && c[1] >= minH && c[1] <= maxH && (c[0] - minW) % stepW == 0 &&
        (c[1] - minH) % stepH == 0)
      sizes.push_back({c[0], c[1], 0});
  if (maxW > 0 && maxH > 0) sizes.push_back({maxW, maxH, 0});
  NormaliseSizes(sizes);
  return sizes;
}

bool CV4L2Provider::Describe(IV4L2Io& io, int fd, const std::string& node, CCameraDescription& out) {
  v4l2_capability cap{};
  if (io.Ioctl(fd, VIDIOC_QUERYCAP, &cap) < 0) return false;
  const std::uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
  if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) return false;

  out = {};
  out.node = node;
  out.name = std::string(reinterpret_cast<const char*>(cap.card), strnlen(reinterpret_cast<const char*>(cap.card), sizeof cap.card));
  const std::string bus(reinterpret_cast<const char*>(cap.bus_info), strnlen(reinterpret_cast<const char*>(cap.bus_info), sizeof cap.bus_info));
  if (out.name.empty()) out.name = node;
  const std::string persistent = io.PersistentName(node);
  out.id = !persistent.empty() ? persistent : (bus.empty() ? node : bus + ":" + out.name);

  for (unsigned i = 0; i < 64; ++i) {
    v4l2_fmtdesc fd2{};
    fd2.index = i;
    fd2.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (io.Ioctl(fd, VIDIOC_ENUM_FMT, &fd2) < 0) break;
    if (!IsConvertibleFormat(fd2.pixelformat)) continue;
    CPixelFormat f;
    f.fourcc = fd2.pixelformat;
    f.description = std::string(reinterpret_cast<const char*>(fd2.description),
                                strnlen(reinterpret_cast<const char*>(fd2.description), sizeof fd2.description));
    for (unsigned j = 0; j < 256; ++j) {
      v4l2_frmsizeenum fs{};
      fs.index = j;
      fs.pixel_format = f.fourcc;
      if (io.Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &fs) < 0) break;
      if (fs.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
        f.sizes.push_back({static_cast<int>(fs.discrete.width), static_cast<int>(fs.discrete.height), 0});
        continue;
      }
      const auto& s = fs.stepwise;
      f.sizes = SizesInRange(static_cast<int>(s.min_width), static_cast<int>(s.min_height),
                             static_cast<int>(s.max_width), static_cast<int>(s.max_height),
                             fs.type == V4L2_FRMSIZE_TYPE_CONTINUOUS ? 1 : static_cast<int>(s.step_width),
                             fs.type == V4L2_FRMSIZE_TYPE_CONTINUOUS ? 1 : static_cast<int>(s.step_height));
      break;
    }
    f.sizes.erase(std::remove_if(f.sizes.begin(), f.sizes.end(),
                                 [](const CFrameSize& s) { return s.width <= 0 || s.height <= 0 || s.width > 16384 || s.height > 16384; }),
                  f.sizes.end());
    for (auto& s : f.sizes) s.maxFps = BestFps(io, fd, f.fourcc, s.width, s.height);
    NormaliseSizes(f.sizes);
    if (!f.sizes.empty() &&
        std::none_of(out.formats.begin(), out.formats.end(), [&](const CPixelFormat& o) { return o.fourcc == f.fourcc; }))
      out.formats.push_back(std::move(f));
  }
  if (out.formats.empty()) return false;

  // The camera's default is the first format it lists (what it starts up
  // with), not whatever the last program set it to.
  out.defaultFourcc = out.formats.front().fourcc;
  return true;
}

std::vector<CCameraDescription> CV4L2Provider::Enumerate() {
  std::vector<CCameraDescription> list;
  for (const std::string& node : io_->VideoNodes()) {
    const int fd = io_->Open(node);
    if (fd < 0) continue;
    CCameraDescription d;
    if (Describe(*io_, fd, node, d)) list.push_back(std::move(d));
    io_->Close(fd);
  }
  std::stable_sort(list.begin(), list.end(),
                   [](const CCameraDescription& a, const CCameraDescription& b) { return a.id < b.id; });
  // Two nodes without persistent names on the same bus would share an id.
  std::map<std::string, int> seen;
  for (auto& d : list)
    if (int n = ++seen[d.id]; n > 1) d.id.append(1, '#').append(std::to_string(n));
  return list;
}

std::unique_ptr<ICameraDevice> CV4L2Provider::Open(const std::string& id, int& error) {
  error = 2;
  for (const auto& d : Enumerate()) {
    if (d.id != id) continue;
    const int fd = io_->Open(d.node);
    if (fd < 0) {
      error = -fd == 2 ? 2 : -fd;
      return nullptr;
    }
    error = 0;
    return std::make_unique<CV4L2Device>(io_, fd, d);
  }
  return nullptr;
}
