// brevio-camera: the camera library from the command line.
//   brevio-camera [--demo [N]] [--replay FILE] list
//   brevio-camera [...] grab INDEX OUT [--format F] [--dpi SELECTOR] [--frames N]
//   brevio-camera [...] rate INDEX --seconds S [--format F] [--dpi SELECTOR]
//   brevio-camera describe [NODE...]
// --demo N adds N demo document cameras (1 to 6, default 1; as
// BREVIO_DEMO_CAMERA=N does), with --seed and --noise for their page contents
// and sensor noise;
// --replay lists recorded V4L2 descriptions instead of the real devices.

#include "contracts/camera/camera.h"
#include "contracts/camera/demo_camera.h"
#include "contracts/camera/v4l2_recorded.h"
#include "platform/program_info.h"
#include "platform/sync.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The usage text on standard error with status 2, or for --help on
// standard output with status 0.
int Usage(std::FILE* out = stderr) {
  std::fprintf(out,
               "usage: brevio-camera [--demo [N] [--seed N] [--noise N]] [--replay FILE] COMMAND\n"
               "  list                               cameras, capability values, formats, resolutions\n"
               "  grab INDEX OUT [--format F] [--dpi SELECTOR] [--frames N]\n"
               "                                     waits for N frames (default 1), writes the last\n"
               "  rate INDEX --seconds S [--format F] [--dpi SELECTOR]\n"
               "                                     prints the delivered frames per second\n"
               "  describe [NODE...]                 records what V4L2 devices answer (for --replay)\n"
               "  --help, --version                  this text; the release\n");
  return out == stdout ? 0 : 2;
}

// Receives frames like the application's windows do: takes one, then
// allows the next.
class CFrameCatcher : public CMessageTarget {
 public:
  explicit CFrameCatcher(CUsbCamera& camera) : camera_(camera) {}
  int frames = 0;
  int noSignal = 0;
  QImage last;
  bool keep = false;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM, LPARAM lParam) override {
    if (msg != WM_CAMERA_FRAME) return 0;
    const auto* f = reinterpret_cast<const _CAMERAFRAME*>(lParam);
    if (f && f->data) {
      ++frames;
      if (keep) {
        // Bottom-up rows of blue, green, red padded to 4 bytes.
        const QImage view(f->data, f->width, f->height, (f->width * 3 + 3) & ~3, QImage::Format_BGR888);
        last = view.mirrored(false, true);
      }
      camera_.SetOneFrame(1);
    } else if (!f || f->width != 1) {
      ++noSignal;
    }
    return 0;
  }

 private:
  CUsbCamera& camera_;
};

bool ParseInt(const char* s, int& out) {
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  if (!s[0] || *end) return false;
  out = static_cast<int>(v);
  return true;
}

struct COpenArgs {
  std::string format = ":";
  int dpi = 0;
  int frames = 1;
  double seconds = 0;
};

bool ParseOpenArgs(int argc, char** argv, int from, COpenArgs& a) {
  for (int i = from; i < argc; ++i) {
    const std::string k = argv[i];
    if (i + 1 >= argc) return false;
    const char* v = argv[++i];
    if (k == "--format") a.format = v;
    else if (k == "--dpi") { if (!ParseInt(v, a.dpi)) return false; }
    else if (k == "--frames") { if (!ParseInt(v, a.frames) || a.frames < 1) return false; }
    else if (k == "--seconds") { a.seconds = std::atof(v); if (a.seconds <= 0) return false; }
    else return false;
  }
  return true;
}

int Open(CUsbCamera& camera, CFrameCatcher& catcher, int index, const COpenArgs& a) {
  std::vector<std::string> names;
  const int count = camera.GetCameraList(names);
  if (index < 0 || index >= count) {
    std::fprintf(stderr, "brevio-camera: there is no camera %d (%d attached; see \"brevio-camera list\")\n", index, count);
    return 1;
  }
  const int r = camera.OpenCamera(&catcher, index, a.format, a.dpi);
  if (r != 0) {
    std::fprintf(stderr, "brevio-camera: camera %d cannot be opened: %s\n", index,
                 CUsbCamera::GetErrorText(r).c_str());
    return 1;
  }
  std::printf("camera %d open: %s %d*%d\n", index, camera.GetCurDPIType().c_str(), camera.GetFrameWidth(),
              camera.GetFrameHeight());
  return 0;
}

int List(CUsbCamera& camera) {
  std::vector<std::string> names;
  const int n = camera.GetCameraList(names);
  if (n == 0) std::printf("no camera\n");
  for (int i = 0; i < n; ++i) {
    unsigned long value = 0;
    std::string text;
    camera.ReadCameraDPI(i, value, text);
    std::printf("%d  %s  capability %lu (%s)\n", i, names[i].c_str(), value, text.c_str());
    CStringListSink formats;
    camera.ReadCameraDPI(i, ":");
    camera.GetCameraDPITypeList(formats);
    for (const auto& f : formats.rows) {
      camera.SetCurDPIType(f);
      CStringListSink sizes;
      camera.GetCurCameraDPIList(sizes);
      std::string line;
      for (const auto& s : sizes.rows) line += " " + s;
      std::printf("   %s:%s\n", f.c_str(), line.c_str());
    }
  }
  return 0;
}

int Grab(CUsbCamera& camera, int index, const std::string& out, const COpenArgs& a) {
  const QString path = QString::fromStdString(out);
  const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
  if (suffix == "gif") {
    std::fprintf(stderr, "brevio-camera: GIF pictures cannot be written yet; use bmp, jpg, png or tif\n");
    return 1;
  }
  if (!QImageWriter::supportedImageFormats().contains(suffix == "tif" ? QByteArray("tiff") : suffix)) {
    std::fprintf(stderr, "brevio-camera: unknown picture format \"%s\"; use bmp, jpg, png or tif\n", suffix.constData());
    return 1;
  }
  CFrameCatcher catcher(camera);
  catcher.keep = true;
  if (int r = Open(camera, catcher, index, a)) return r;
  QElapsedTimer timer;
  timer.start();
  while (catcher.frames < a.frames && timer.elapsed() < 30000 + 1000LL * a.frames)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  camera.CloseCamera();
  if (catcher.frames < a.frames || catcher.last.isNull()) {
    std::fprintf(stderr, "brevio-camera: only %d of %d frames arrived\n", catcher.frames, a.frames);
    return 1;
  }
  QImageWriter writer(path);
  if (!writer.write(catcher.last)) {
    std::fprintf(stderr, "brevio-camera: %s: %s\n", out.c_str(), writer.errorString().toLocal8Bit().constData());
    return 1;
  }
  std::printf("%s: %d*%d after %d frames\n", out.c_str(), catcher.last.width(), catcher.last.height(), catcher.frames);
  return 0;
}

int Rate(CUsbCamera& camera, int index, const COpenArgs& a) {
  CFrameCatcher catcher(camera);
  if (int r = Open(camera, catcher, index, a)) return r;
  // The first frame may take long (a camera warming up): count from it.
  QElapsedTimer timer;
  timer.start();
  while (catcher.frames < 1 && timer.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  const int first = catcher.frames;
  timer.restart();
  while (timer.elapsed() < a.seconds * 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  const double elapsed = timer.elapsed() / 1000.0;
  const int frames = catcher.frames - first;
  camera.CloseCamera();
  std::printf("%d frames in %.2f s: %.2f frames per second\n", frames, elapsed, frames / elapsed);
  return frames > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string replay;
  bool demo = false;
  // The environment's demo cameras, seed and noise, unless the options say
  // otherwise.
  CDemoCameraOptions demoOptions = DemoCameraOptionsFromEnvironment();
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    if (!std::strcmp(argv[i], "--demo")) {
      demo = true;
      demoOptions.count = 1;
      int n = 0;
      if (i + 1 < argc && ParseInt(argv[i + 1], n)) {
        ++i;
        std::string notice;
        demoOptions.count = DemoCameraCount(argv[i], notice);
        if (!notice.empty()) std::fprintf(stderr, "brevio-camera: %s\n", notice.c_str());
      }
    } else if (!std::strcmp(argv[i], "--replay") && i + 1 < argc) replay = argv[++i];
    else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) demoOptions.seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    else if (!std::strcmp(argv[i], "--noise") && i + 1 < argc) demoOptions.noise = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--help")) return Usage(stdout);
    else if (!std::strcmp(argv[i], "--version")) {
      std::printf("%s\n", VersionLine("brevio-camera").c_str());
      return 0;
    } else if (std::strcmp(argv[i], "--replay") && std::strcmp(argv[i], "--seed") && std::strcmp(argv[i], "--noise")) {
      std::fprintf(stderr, "%s\n", UnknownOptionLine("brevio-camera", argv[i]).c_str());
      return kUnknownOptionStatus;
    } else {
      return Usage();  // a known option without its value
    }
  }
  if (i >= argc) return Usage();
  const std::string command = argv[i++];

  if (command == "describe") {
    auto io = SystemV4L2Io();
    std::vector<std::string> nodes(argv + i, argv + argc);
    if (nodes.empty()) nodes = io->VideoNodes();
    if (nodes.empty()) std::fprintf(stderr, "brevio-camera: no video devices\n");
    for (const auto& node : nodes) {
      const std::string text = RecordV4L2Device(*io, node);
      if (text.empty()) std::fprintf(stderr, "brevio-camera: %s cannot be opened\n", node.c_str());
      std::fputs(text.c_str(), stdout);
    }
    return 0;
  }

  std::vector<std::shared_ptr<ICameraProvider>> providers;
  if (!replay.empty()) {
    std::ifstream in(replay);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<CRecordedDevice> devices;
    std::string error;
    if (!in || !ParseRecordedDevices(text.str(), devices, error)) {
      std::fprintf(stderr, "brevio-camera: %s: %s\n", replay.c_str(), in ? error.c_str() : "cannot be read");
      return 1;
    }
    providers.push_back(std::make_shared<CV4L2Provider>(std::make_shared<CRecordedV4L2Io>(std::move(devices))));
    if (!demo) demoOptions.count = 0;  // a replay lists only what was recorded
  } else {
    providers.push_back(std::make_shared<CV4L2Provider>(SystemV4L2Io()));
  }
  if (demoOptions.count > 0) providers.push_back(std::make_shared<CDemoCameraProvider>(demoOptions));
  CUsbCamera camera(providers);

  if (command == "list") return List(camera);
  int index = 0;
  if (command == "grab") {
    COpenArgs a;
    if (argc - i < 2 || !ParseInt(argv[i], index) || !ParseOpenArgs(argc, argv, i + 2, a)) return Usage();
    return Grab(camera, index, argv[i + 1], a);
  }
  if (command == "rate") {
    COpenArgs a;
    if (argc - i < 1 || !ParseInt(argv[i], index) || !ParseOpenArgs(argc, argv, i + 1, a) || a.seconds <= 0) return Usage();
    return Rate(camera, index, a);
  }
  return Usage();
}
