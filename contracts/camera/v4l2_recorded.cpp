#include "contracts/camera/v4l2_recorded.h"

#include <linux/videodev2.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

namespace {

const std::pair<const char*, std::uint32_t> kControls[] = {
    {"brightness", V4L2_CID_BRIGHTNESS},         {"contrast", V4L2_CID_CONTRAST},
    {"saturation", V4L2_CID_SATURATION},         {"sharpness", V4L2_CID_SHARPNESS},
    {"exposure_auto", V4L2_CID_EXPOSURE_AUTO},   {"exposure_absolute", V4L2_CID_EXPOSURE_ABSOLUTE},
};

const char* ControlName(std::uint32_t id) {
  for (const auto& [name, cid] : kControls)
    if (cid == id) return name;
  return nullptr;
}

template <std::size_t N>
void CopyText(std::uint8_t (&dst)[N], const std::string& s) {
  std::memset(dst, 0, N);
  std::memcpy(dst, s.data(), std::min(N - 1, s.size()));
}

template <std::size_t N>
std::string Text(const std::uint8_t (&src)[N]) {
  return std::string(reinterpret_cast<const char*>(src), strnlen(reinterpret_cast<const char*>(src), N));
}

std::vector<std::uint8_t> DefaultFrame(std::uint32_t fourcc, int w, int h, int n) {
  if (fourcc == FOURCC_YUYV) {
    std::vector<std::uint8_t> f(static_cast<std::size_t>((w + 1) & ~1) * 2 * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < ((w + 1) & ~1); ++x) {
        std::uint8_t* p = &f[(static_cast<std::size_t>(y) * ((w + 1) & ~1) + x) * 2];
        p[0] = static_cast<std::uint8_t>(16 + (x + n) % 220);
        p[1] = 128;
      }
    return f;
  }
  if (fourcc == FOURCC_MJPG || fourcc == FOURCC_JPEG) {
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) std::memset(&bgr[(static_cast<std::size_t>(y) * w + x) * 3], (x + n) & 255, 3);
    tjhandle t = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    std::vector<std::uint8_t> out;
    if (t && tjCompress2(t, bgr.data(), w, w * 3, h, TJPF_BGR, &jpeg, &size, TJSAMP_422, 80, 0) == 0)
      out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    if (t) tjDestroy(t);
    return out;
  }
  return std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h * 3, static_cast<std::uint8_t>(n));
}

std::uint32_t ImageSize(std::uint32_t fourcc, int w, int h) {
  switch (fourcc) {
    case FOURCC_YUYV:
    case FOURCC_UYVY: return static_cast<std::uint32_t>(((w + 1) & ~1) * 2 * h);
    case FOURCC_GREY: return static_cast<std::uint32_t>(w * h);
    case FOURCC_NV12:
    case FOURCC_YU12: return static_cast<std::uint32_t>(w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2));
    default: return static_cast<std::uint32_t>(w * h * 3);  // room for any JPEG of that size
  }
}

}  // namespace

bool ParseRecordedDevices(const std::string& text, std::vector<CRecordedDevice>& out, std::string& error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  CRecordedDevice* dev = nullptr;
  auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(number) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream ls(line);
    std::string key;
    if (!(ls >> key)) continue;
    std::string rest;
    std::getline(ls >> std::ws, rest);
    std::istringstream rs(rest);
    if (key == "device") {
      out.push_back({});
      dev = &out.back();
      dev->node = rest;
      continue;
    }
    if (!dev) return fail("\"" + key + "\" before any \"device\"");
    if (key == "end") {
      dev = nullptr;
    } else if (key == "persistent") {
      dev->persistent = rest;
    } else if (key == "card") {
      dev->card = rest;
    } else if (key == "bus") {
      dev->bus = rest;
    } else if (key == "caps") {
      dev->caps = static_cast<std::uint32_t>(std::stoul(rest, nullptr, 0));
    } else if (key == "current") {
      std::string f;
      if (!(rs >> f >> dev->currentW >> dev->currentH)) return fail("current needs a format and a size");
      dev->currentFourcc = FourccFromText(f);
    } else if (key == "format") {
      std::string f;
      if (!(rs >> f) || !FourccFromText(f)) return fail("format needs a four-character code");
      CRecordedFormat format;
      format.fourcc = FourccFromText(f);
      std::getline(rs >> std::ws, format.description);
      dev->formats.push_back(format);
    } else if (key == "size" || key == "stepwise") {
      if (dev->formats.empty()) return fail(key + " before any format");
      CRecordedFormat& f = dev->formats.back();
      if (key == "size") {
        CRecordedSize s;
        if (!(rs >> s.width >> s.height) || s.width <= 0 || s.height <= 0) return fail("size needs a width and a height");
        for (int fps; rs >> fps;) s.fps.push_back(fps);
        f.sizes.push_back(s);
      } else {
        f.stepwise = true;
        if (!(rs >> f.minW >> f.minH >> f.maxW >> f.maxH >> f.stepW >> f.stepH)) return fail("stepwise needs six numbers");
        rs >> f.stepFps;
      }
    } else if (key == "control") {
      std::string name;
      CRecordedControl c;
      if (!(rs >> name >> c.minimum >> c.maximum >> c.step >> c.defaultValue >> c.value)) return fail("control needs a name and five numbers");
      dev->controls[name] = c;
    } else {
      return fail("unknown key \"" + key + "\"");
    }
  }
  return true;
}

std::string RecordV4L2Device(IV4L2Io& io, const std::string& node) {
  const int fd = io.Open(node);
  if (fd < 0) return {};
  std::ostringstream o;
  v4l2_capability cap{};
  io.Ioctl(fd, VIDIOC_QUERYCAP, &cap);
  const std::uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
  o << "device " << node << "\n";
  if (auto p = io.PersistentName(node); !p.empty()) o << "persistent " << p << "\n";
  o << "card " << Text(cap.card) << "\nbus " << Text(cap.bus_info) << "\n";
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08x", caps);
  o << "caps " << hex << "\n";
  v4l2_format cur{};
  cur.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (io.Ioctl(fd, VIDIOC_G_FMT, &cur) == 0)
    o << "current " << FourccText(cur.fmt.pix.pixelformat) << " " << cur.fmt.pix.width << " " << cur.fmt.pix.height << "\n";
  for (unsigned i = 0; i < 64; ++i) {
    v4l2_fmtdesc fd2{};
    fd2.index = i;
    fd2.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (io.Ioctl(fd, VIDIOC_ENUM_FMT, &fd2) < 0) break;
    o << "format " << FourccText(fd2.pixelformat) << " " << Text(fd2.description) << "\n";
    for (unsigned j = 0; j < 256; ++j) {
      v4l2_frmsizeenum fs{};
      fs.index = j;
      fs.pixel_format = fd2.pixelformat;
      if (io.Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &fs) < 0) break;
      const bool discrete = fs.type == V4L2_FRMSIZE_TYPE_DISCRETE;
      const unsigned w = discrete ? fs.discrete.width : fs.stepwise.max_width;
      const unsigned h = discrete ? fs.discrete.height : fs.stepwise.max_height;
      std::vector<int> rates;
      for (unsigned k = 0; k < 32; ++k) {
        v4l2_frmivalenum iv{};
        iv.index = k;
        iv.pixel_format = fd2.pixelformat;
        iv.width = w;
        iv.height = h;
        if (io.Ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &iv) < 0) break;
        const v4l2_fract f = iv.type == V4L2_FRMIVAL_TYPE_DISCRETE ? iv.discrete : iv.stepwise.min;
        if (f.numerator) rates.push_back(static_cast<int>(f.denominator / f.numerator));
        if (iv.type != V4L2_FRMIVAL_TYPE_DISCRETE) break;
      }
      if (discrete) {
        o << "size " << w << " " << h;
        for (int r : rates) o << " " << r;
        o << "\n";
      } else {
        const auto& s = fs.stepwise;
        const bool cont = fs.type == V4L2_FRMSIZE_TYPE_CONTINUOUS;
        o << "stepwise " << s.min_width << " " << s.min_height << " " << s.max_width << " " << s.max_height << " "
          << (cont ? 1 : s.step_width) << " " << (cont ? 1 : s.step_height) << " " << (rates.empty() ? 0 : rates.front()) << "\n";
        break;
      }
    }
  }
  for (const auto& [name, id] : kControls) {
    v4l2_queryctrl q{};
    q.id = id;
    if (io.Ioctl(fd, VIDIOC_QUERYCTRL, &q) < 0 || (q.flags & V4L2_CTRL_FLAG_DISABLED)) continue;
    v4l2_control c{};
    c.id = id;
    const int value = io.Ioctl(fd, VIDIOC_G_CTRL, &c) == 0 ? c.value : q.default_value;
    o << "control " << name << " " << q.minimum << " " << q.maximum << " " << q.step << " " << q.default_value << " "
      << value << "\n";
  }
  o << "end\n";
  io.Close(fd);
  return o.str();
}

CRecordedV4L2Io::CRecordedV4L2Io(std::vector<CRecordedDevice> devices) : source_(DefaultFrame) {
  for (auto& d : devices) {
    CState s;
    s.device = std::move(d);
    states_.push_back(std::move(s));
  }
}

void CRecordedV4L2Io::SetFrameSource(FrameSource source) {
  std::lock_guard lock(mutex_);
  source_ = source ? std::move(source) : FrameSource(DefaultFrame);
}

void CRecordedV4L2Io::SetFrameInterval(int ms) {
  std::lock_guard lock(mutex_);
  intervalMs_ = std::max(ms, 0);
}

void CRecordedV4L2Io::SetPresent(const std::string& node, bool present) {
  std::lock_guard lock(mutex_);
  for (auto& s : states_)
    if (s.device.node == node) {
      if (present && !s.present)  // a camera plugged in again starts from its defaults
        for (auto& [name, c] : s.device.controls) c.value = c.defaultValue;
      s.present = present;
      if (present) continue;
      // Like the kernel: handles of a vanished device stay dead, and mapped
      // buffers stay readable until they are unmapped.
      s.streaming = false;
      for (auto& b : s.buffers) retired_.push_back(std::move(b.memory));
      s.buffers.clear();
      const std::size_t index = static_cast<std::size_t>(&s - states_.data());
      for (auto it = fds_.begin(); it != fds_.end();) it = it->second == index ? fds_.erase(it) : std::next(it);
    }
}

void CRecordedV4L2Io::FailOpen(const std::string& node, int error) {
  std::lock_guard lock(mutex_);
  for (auto& s : states_)
    if (s.device.node == node) s.failOpen = error;
}

int CRecordedV4L2Io::FramesDelivered() const {
  std::lock_guard lock(mutex_);
  return delivered_;
}
std::uint32_t CRecordedV4L2Io::LastFourcc() const {
  std::lock_guard lock(mutex_);
  return lastFourcc_;
}
int CRecordedV4L2Io::LastWidth() const {
  std::lock_guard lock(mutex_);
  return lastWidth_;
}
int CRecordedV4L2Io::LastHeight() const {
  std::lock_guard lock(mutex_);
  return lastHeight_;
}

int CRecordedV4L2Io::ControlValue(const std::string& node, const std::string& name) const {
  std::lock_guard lock(mutex_);
  for (const auto& s : states_)
    if (s.device.node == node) {
      auto it = s.device.controls.find(name);
      return it == s.device.controls.end() ? 0 : it->second.value;
    }
  return 0;
}

std::vector<std::string> CRecordedV4L2Io::VideoNodes() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> nodes;
  for (const auto& s : states_)
    if (s.present) nodes.push_back(s.device.node);
  return nodes;
}

std::string CRecordedV4L2Io::PersistentName(const std::string& node) {
  std::lock_guard lock(mutex_);
  for (const auto& s : states_)
    if (s.device.node == node && s.present) return s.device.persistent;
  return {};
}

int CRecordedV4L2Io::Open(const std::string& node) {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < states_.size(); ++i) {
    CState& s = states_[i];
    if (s.device.node != node || !s.present) continue;
    if (s.failOpen) return -s.failOpen;
    fds_[nextFd_] = i;
    return nextFd_++;
  }
  return -ENOENT;
}

void CRecordedV4L2Io::Close(int fd) {
  std::lock_guard lock(mutex_);
  fds_.erase(fd);
}

CRecordedV4L2Io::CState* CRecordedV4L2Io::StateOf(int fd) {
  auto it = fds_.find(fd);
  return it == fds_.end() ? nullptr : &states_[it->second];
}

int CRecordedV4L2Io::Ioctl(int fd, unsigned long request, void* arg) {
  std::lock_guard lock(mutex_);
  CState* s = StateOf(fd);
  if (!s) return -ENODEV;  // closed, or its device was pulled out
  return IoctlLocked(*s, request, arg);
}

int CRecordedV4L2Io::IoctlLocked(CState& s, unsigned long request, void* arg) {
  CRecordedDevice& d = s.device;
  auto findFormat = [&](std::uint32_t fourcc) -> CRecordedFormat* {
    for (auto& f : d.formats)
      if (f.fourcc == fourcc) return &f;
    return nullptr;
  };
  switch (request) {
    case VIDIOC_QUERYCAP: {
      auto* cap = static_cast<v4l2_capability*>(arg);
      *cap = {};
      CopyText(cap->driver, "recorded");
      CopyText(cap->card, d.card);
      CopyText(cap->bus_info, d.bus);
      cap->capabilities = d.caps | V4L2_CAP_DEVICE_CAPS;
      cap->device_caps = d.caps;
      return 0;
    }
    case VIDIOC_ENUM_FMT: {
      auto* f = static_cast<v4l2_fmtdesc*>(arg);
      if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || f->index >= d.formats.size()) return -EINVAL;
      f->pixelformat = d.formats[f->index].fourcc;
      CopyText(f->description, d.formats[f->index].description);
      return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
      auto* fs = static_cast<v4l2_frmsizeenum*>(arg);
      const CRecordedFormat* f = findFormat(fs->pixel_format);
      if (!f) return -EINVAL;
      if (f->stepwise) {
        if (fs->index != 0) return -EINVAL;
        fs->type = f->stepW == 1 && f->stepH == 1 ? V4L2_FRMSIZE_TYPE_CONTINUOUS : V4L2_FRMSIZE_TYPE_STEPWISE;
        fs->stepwise = {static_cast<unsigned>(f->minW), static_cast<unsigned>(f->maxW), static_cast<unsigned>(f->stepW),
                        static_cast<unsigned>(f->minH), static_cast<unsigned>(f->maxH), static_cast<unsigned>(f->stepH)};
        return 0;
      }
      if (fs->index >= f->sizes.size()) return -EINVAL;
      fs->type = V4L2_FRMSIZE_TYPE_DISCRETE;
      fs->discrete = {static_cast<unsigned>(f->sizes[fs->index].width), static_cast<unsigned>(f->sizes[fs->index].height)};
      return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
      auto* iv = static_cast<v4l2_frmivalenum*>(arg);
      const CRecordedFormat* f = findFormat(iv->pixel_format);
      if (!f) return -EINVAL;
      if (f->stepwise) {
        if (iv->index != 0 || f->stepFps <= 0) return -EINVAL;
        iv->type = V4L2_FRMIVAL_TYPE_CONTINUOUS;
        iv->stepwise.min = {1, static_cast<unsigned>(f->stepFps)};
        iv->stepwise.max = {1, 1};
        iv->stepwise.step = {1, 1};
        return 0;
      }
      for (const auto& sz : f->sizes)
        if (sz.width == static_cast<int>(iv->width) && sz.height == static_cast<int>(iv->height)) {
          if (iv->index >= sz.fps.size()) return -EINVAL;
          iv->type = V4L2_FRMIVAL_TYPE_DISCRETE;
          iv->discrete = {1, static_cast<unsigned>(sz.fps[iv->index])};
          return 0;
        }
      return -EINVAL;
    }
    case VIDIOC_G_FMT: {
      auto* f = static_cast<v4l2_format*>(arg);
      if (!d.currentFourcc) return -EINVAL;
      f->fmt.pix.pixelformat = d.currentFourcc;
      f->fmt.pix.width = static_cast<unsigned>(d.currentW);
      f->fmt.pix.height = static_cast<unsigned>(d.currentH);
      return 0;
    }
    case VIDIOC_S_FMT: {
      if (s.streaming || !s.buffers.empty()) return -EBUSY;
      auto* f = static_cast<v4l2_format*>(arg);
      const CRecordedFormat* format = findFormat(f->fmt.pix.pixelformat);
      if (!format) format = &d.formats.front();  // drivers answer with a format they have
      int w = static_cast<int>(f->fmt.pix.width), h = static_cast<int>(f->fmt.pix.height);
      if (format->stepwise) {
        w = std::clamp(w, format->minW, format->maxW);
        h = std::clamp(h, format->minH, format->maxH);
      } else if (!format->sizes.empty()) {
        // The nearest size the format offers.
        const CRecordedSize* best = &format->sizes.front();
        for (const auto& sz : format->sizes)
          if (std::abs(sz.width - w) + std::abs(sz.height - h) < std::abs(best->width - w) + std::abs(best->height - h)) best = &sz;
        w = best->width;
        h = best->height;
      }
      s.fourcc = format->fourcc;
      s.width = w;
      s.height = h;
      s.sizeImage = ImageSize(s.fourcc, w, h);
      d.currentFourcc = s.fourcc;
      d.currentW = w;
      d.currentH = h;
      lastFourcc_ = s.fourcc;
      lastWidth_ = w;
      lastHeight_ = h;
      f->fmt.pix.pixelformat = s.fourcc;
      f->fmt.pix.width = static_cast<unsigned>(w);
      f->fmt.pix.height = static_cast<unsigned>(h);
      f->fmt.pix.bytesperline = s.fourcc == FOURCC_YUYV || s.fourcc == FOURCC_UYVY ? static_cast<unsigned>(((w + 1) & ~1) * 2) : 0;
      f->fmt.pix.sizeimage = s.sizeImage;
      return 0;
    }
    case VIDIOC_S_PARM: return 0;
    case VIDIOC_QUERYCTRL: {
      auto* q = static_cast<v4l2_queryctrl*>(arg);
      const char* name = ControlName(q->id);
      auto it = name ? d.controls.find(name) : d.controls.end();
      if (it == d.controls.end()) return -EINVAL;
      q->minimum = it->second.minimum;
      q->maximum = it->second.maximum;
      q->step = it->second.step;
      q->default_value = it->second.defaultValue;
      q->flags = 0;
      return 0;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
      auto* c = static_cast<v4l2_control*>(arg);
      const char* name = ControlName(c->id);
      auto it = name ? d.controls.find(name) : d.controls.end();
      if (it == d.controls.end()) return -EINVAL;
      if (request == VIDIOC_G_CTRL) {
        c->value = it->second.value;
        return 0;
      }
      if (c->value < it->second.minimum || c->value > it->second.maximum) return -ERANGE;
      // Exposure menus commonly lack some modes (here: 0, fully automatic).
      if (c->id == V4L2_CID_EXPOSURE_AUTO && c->value != V4L2_EXPOSURE_MANUAL && c->value != V4L2_EXPOSURE_APERTURE_PRIORITY)
        return -EINVAL;
      it->second.value = c->value;
      return 0;
    }
    case VIDIOC_REQBUFS: {
      auto* r = static_cast<v4l2_requestbuffers*>(arg);
      if (r->memory != V4L2_MEMORY_MMAP) return -EINVAL;
      if (s.streaming) return -EBUSY;
      s.buffers.clear();
      r->count = std::min(r->count, 8u);
      s.buffers.resize(r->count);
      for (auto& b : s.buffers) b.memory.assign(s.sizeImage, 0);
      return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF: {
      auto* b = static_cast<v4l2_buffer*>(arg);
      if (b->index >= s.buffers.size()) return -EINVAL;
      if (request == VIDIOC_QUERYBUF) {
        b->length = s.sizeImage;
        b->m.offset = b->index * 0x1000000u;
      } else {
        s.buffers[b->index].queued = true;
      }
      return 0;
    }
    case VIDIOC_DQBUF: {
      auto* b = static_cast<v4l2_buffer*>(arg);
      if (!s.streaming) return -EINVAL;
      for (std::size_t i = 0; i < s.buffers.size(); ++i) {
        CBuffer& buf = s.buffers[i];
        if (!buf.queued) continue;
        std::vector<std::uint8_t> frame = source_(s.fourcc, s.width, s.height, delivered_);
        const std::size_t n = std::min(frame.size(), buf.memory.size());
        std::memcpy(buf.memory.data(), frame.data(), n);
        buf.queued = false;
        buf.used = static_cast<std::uint32_t>(n);
        b->index = static_cast<unsigned>(i);
        b->bytesused = buf.used;
        b->flags = 0;
        ++delivered_;
        return 0;
      }
      return -EAGAIN;
    }
    case VIDIOC_STREAMON: s.streaming = true; return 0;
    case VIDIOC_STREAMOFF:
      s.streaming = false;
      for (auto& b : s.buffers) b.queued = false;
      return 0;
    default: return -ENOTTY;
  }
}

void* CRecordedV4L2Io::Map(int fd, std::size_t length, off_t offset) {
  std::lock_guard lock(mutex_);
  CState* s = StateOf(fd);
  if (!s) return nullptr;
  const std::size_t index = static_cast<std::size_t>(offset) / 0x1000000u;
  if (index >= s->buffers.size() || length > s->buffers[index].memory.size()) return nullptr;
  return s->buffers[index].memory.data();
}

void CRecordedV4L2Io::Unmap(void*, std::size_t) {}

int CRecordedV4L2Io::Poll(int fd, int timeoutMs) {
  int interval;
  {
    std::lock_guard lock(mutex_);
    interval = intervalMs_;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(interval, std::max(timeoutMs, 0))));
  std::lock_guard lock(mutex_);
  CState* s = StateOf(fd);
  if (!s || !s->present) return -ENODEV;
  if (!s->streaming) return -EINVAL;
  return std::any_of(s->buffers.begin(), s->buffers.end(), [](const CBuffer& b) { return b.queued; }) ? 1 : 0;
}
