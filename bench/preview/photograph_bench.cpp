// One photograph of the preview (Photograph(0) without a path: a new name
// in the picture folder, the picture encoded and written, its thumbnail)
// of 1920 x 1080 and 3264 x 2448 pictures as JPEG and PNG; its three parts
// one by one; and, as the point of comparison, the bare encode of the same
// pixels (libjpeg-turbo for JPEG, QImageWriter for PNG) written to a file,
// plus a thumbnail made from the pixels in memory.
// Also one paint of a 3264 x 2448 picture into 1920 x 1080, halftone
// against colour on colour.
//   build/bench/bin/bench_photograph --benchmark_min_time=1s
// Photographs stall the user-interface thread, so wall time is what counts.

#include "contracts/fundara/memory.h"
#include "contracts/fundara/names.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/thumbs.h"
#include "imaging/picture_codec.h"
#include "platform/profile.h"
#include "preview/datapreview.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <QApplication>
#include <QBuffer>
#include <QImageWriter>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A document-like picture: light paper with dark lines of "text" and a
// gradient, so that the encoders see what a photograph holds.
std::vector<BYTE> Document(int w, int h) {
  std::vector<BYTE> f(PictureSize(w, h, 24));
  const std::size_t stride = PictureStride(w, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      BYTE* p = f.data() + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3;
      const bool ink = (y / 12) % 3 == 0 && ((x * 7 + y * 3) / 9) % 5 != 0;
      const BYTE paper = static_cast<BYTE>(200 + (x + y) % 40);
      p[0] = ink ? 40 : paper;
      p[1] = ink ? 40 : static_cast<BYTE>(paper - 5);
      p[2] = ink ? 60 : static_cast<BYTE>(paper - 10);
    }
  return f;
}

const char* kExtension[] = {"jpg", "png"};
constexpr int kImageType[] = {1, 2};  // "output" "imageType" of JPEG and PNG

fs::path Folder() {
  const fs::path dir = fs::temp_directory_path() / "brevio-bench-photograph";
  fs::create_directories(dir);
  return dir;
}

void EmptyFolder() {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(Folder(), ec)) fs::remove(e.path(), ec);
}

// A preview with the picture, as a window shows it.
struct Shown {
  CWnd host;
  CDataPreview preview;
  std::vector<BYTE> frame;
  Shown(int w, int h) : frame(Document(w, h)) {
    host.Create(CWnd::Kind::TopLevel, "bench", CRect(0, 0, 1920, 1080));
    preview.Create(&host, CRect(0, 0, 1920, 1080));
    preview.SetPicDataPath(QString::fromStdString(Folder().string()));
    preview.SetImageData(frame.data(), w, h, 24, nullptr);
  }
};

void SetImageType(int format) {
  WritePrivateProfileString("output", "imageType", std::to_string(kImageType[format]).c_str(), GetCameraConfig());
}

// range(0) x range(1): the picture; range(2): 0 JPEG, 1 PNG.
void BM_Photograph(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1)), format = static_cast<int>(state.range(2));
  SetImageType(format);
  Shown shown(w, h);
  EmptyFolder();
  for (auto _ : state) {
    const QString path = shown.preview.Photograph(0);
    if (path.isEmpty()) state.SkipWithError("no photograph");
    state.PauseTiming();
    EmptyFolder();
    state.ResumeTiming();
  }
}

void BM_PhotographNaming(benchmark::State& state) {
  const int format = static_cast<int>(state.range(2));
  EmptyFolder();
  for (auto _ : state) {
    const std::string path = GetJpgNamePath(Folder().string(), kExtension[format]);
    benchmark::DoNotOptimize(path.data());
    state.PauseTiming();
    ReleaseFileName(path);
    state.ResumeTiming();
  }
}

// The shown pixels as the frame model saves them (opaque, as they lie in
// its buffer), without the thumbnail.
QImage OpaqueView(CDataPreview& preview) {
  const QImage* canvas = DCImage(preview.GetCameraDC().GetBufferDC());
  return QImage(canvas->constBits(), canvas->width(), canvas->height(), canvas->bytesPerLine(), QImage::Format_RGB32);
}

void BM_PhotographEncoding(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1)), format = static_cast<int>(state.range(2));
  Shown shown(w, h);
  const std::string path = (Folder() / (std::string("encoded.") + kExtension[format])).string();
  const QImage pixels = OpaqueView(shown.preview);
  for (auto _ : state) {
    const auto bytes = EncodePicture(pixels, PictureFormatFromPath(path));
    if (bytes.empty() || !WriteFileAtomically(path, bytes)) state.SkipWithError("not written");
  }
}

// range(3): 1 from the pixels in memory (as a photograph does), 0 from the
// file read back.
void BM_PhotographThumbnail(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1)), format = static_cast<int>(state.range(2));
  Shown shown(w, h);
  const std::string path = (Folder() / (std::string("thumbed.") + kExtension[format])).string();
  shown.preview.GetCameraDC().SaveJpegFile(path);
  const QImage pixels = state.range(3) ? OpaqueView(shown.preview) : QImage();
  CThumbs thumbs;
  for (auto _ : state) {
    if (!thumbs.WriteThumb(path, pixels)) state.SkipWithError("no thumbnail");
  }
}

// The same pixels encoded directly and written, and a thumbnail scaled
// from them in memory and written as the cache's PNG.
void BM_BareEncodeAndThumbnail(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1)), format = static_cast<int>(state.range(2));
  const std::vector<BYTE> frame = Document(w, h);
  const QImage view(frame.data(), w, h, static_cast<qsizetype>(PictureStride(w, 24)), QImage::Format_BGR888);
  const std::string path = (Folder() / (std::string("bare.") + kExtension[format])).string();
  const std::string thumbPath = (Folder() / "bare-thumb.png").string();
  tjhandle jpeg = tjInitCompress();
  for (auto _ : state) {
    std::vector<unsigned char> bytes;
    if (format == 0) {
      unsigned char* out = nullptr;
      unsigned long size = 0;
      tjCompress2(jpeg, frame.data(), w, static_cast<int>(PictureStride(w, 24)), h, TJPF_BGR, &out, &size, TJSAMP_420,
                  75, TJFLAG_BOTTOMUP);
      bytes.assign(out, out + size);
      tjFree(out);
    } else {
      QByteArray png;
      QBuffer buffer(&png);
      buffer.open(QIODevice::WriteOnly);
      QImageWriter writer(&buffer, "png");
      writer.write(view.mirrored(false, true));
      bytes.assign(png.begin(), png.end());
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    const QImage thumb = view.scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    thumb.save(QString::fromStdString(thumbPath), "png");
  }
  tjDestroy(jpeg);
}

// range(2): the stretch mode of the window buffer.
void BM_PaintLargePicture(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(2));
  const std::vector<BYTE> frame = Document(3264, 2448);
  CCameraDC model;
  model.ShowCameraDC(1);
  model.MoveWindow(CRect(0, 0, 1920, 1080), 0);
  model.SetImageData(frame.data(), 3264, 2448, 24, nullptr);
  CBufferDC window;
  window.CreateBufferDC(nullptr, CRect(0, 0, 1920, 1080));
  SetStretchBltMode(window.GetBufferDC(), mode);
  for (auto _ : state) model.DoDraw(window.GetBufferDC());
}

void Pictures(benchmark::internal::Benchmark* b) {
  for (int format = 0; format < 2; ++format)
    for (const auto& s : {std::pair{1920, 1080}, std::pair{3264, 2448}}) b->Args({s.first, s.second, format});
}

BENCHMARK(BM_Photograph)->Apply(Pictures)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PhotographNaming)->Apply(Pictures)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PhotographEncoding)->Apply(Pictures)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PhotographThumbnail)
    ->Apply([](benchmark::internal::Benchmark* b) {
      for (int memory = 1; memory >= 0; --memory)
        for (int format = 0; format < 2; ++format)
          for (const auto& s : {std::pair{1920, 1080}, std::pair{3264, 2448}}) b->Args({s.first, s.second, format, memory});
    })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BareEncodeAndThumbnail)->Apply(Pictures)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintLargePicture)
    ->Args({3264, 2448, HALFTONE})
    ->Args({3264, 2448, COLORONCOLOR})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Settings and thumbnails of the run stay in a scratch folder.
  const fs::path home = fs::temp_directory_path() / "brevio-bench-photograph-home";
  fs::create_directories(home);
  setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
