// brevio-image process: a picture through the preview's frame model, the
// way a camera frame arrives, with the viewer's settings applied in the
// order given; the shown picture is saved. Teachers use it to batch-process
// photographed pages; the tests use it to drive the whole pipeline.

#include "contracts/fundara/memory.h"
#include "imaging/bitmap_file.h"
#include "imaging/data_handler.h"
#include "imaging/picture_codec.h"
#include "preview/cameradc.h"

#include <QGuiApplication>

#include <charconv>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0, kUsage = 1, kBadInput = 2, kRefused = 3, kCannotWrite = 4;

struct ProcessExit {
  int status;
  std::string message;
};

[[noreturn]] void Fail(int status, const std::string& text) { throw ProcessExit{status, text}; }

int ToInt(const std::string& text, const std::string& what) {
  int v = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [ptr, ec] = std::from_chars(begin, end, v);
  if (ec != std::errc() || ptr != end || begin == end)
    Fail(kUsage, what + " must be a whole number, not \"" + text + "\"");
  return v;
}

std::vector<int> ToInts(const std::string& text, size_t count, const std::string& what) {
  std::vector<int> values;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    values.push_back(ToInt(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), what));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (values.size() != count)
    Fail(kUsage, what + " needs " + std::to_string(count) + " numbers separated by commas, not \"" + text + "\"");
  return values;
}

SHOW_MODE ToMode(const std::string& text) {
  static const char* const kNames[] = {"normal", "gray", "blackwhite", "reversed", "relief", "sharpen"};
  for (int i = 0; i < 6; ++i)
    if (text == kNames[i]) return static_cast<SHOW_MODE>(i);
  const int v = ToInt(text, "--mode");
  if (v < 0 || v > 5) Fail(kUsage, "--mode must be 0-5 or normal, gray, blackwhite, reversed, relief, sharpen");
  return static_cast<SHOW_MODE>(v);
}

const char kProcessUsage[] =
    "usage: brevio-image process IN OUT [--hotpixel] [--rotate-cmd C]... [--angle DEG] [--cut] [--correct]\n"
    "       [--crop L,T,R,B] [--luminosity V] [--contrast V] [--saturation V] [--tone R,G,B] [--mode M]\n"
    "       [--green-frame]\n"
    "  the options act in the order given; --rotate-cmd: 1 clockwise, -1 counter-clockwise,\n"
    "  2 flip, 3 mirror; --crop in pixels of the picture as shown at that point (top-left origin);\n"
    "  --mode: normal, gray, blackwhite, reversed, relief, sharpen (or 0-5); --cut: cut the picture\n"
    "  to the page on a dark border; --correct: straighten a skewed page; --green-frame: save the\n"
    "  page found in the picture, straightened, instead of the picture\n";

}  // namespace

int RunProcess(int argc, char** argv) {
  try {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> steps;
    for (int i = 0; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--hotpixel" || arg == "--cut" || arg == "--correct" || arg == "--green-frame") {
        steps.emplace_back(arg, "");
      } else if (arg == "--rotate-cmd" || arg == "--angle" || arg == "--crop" || arg == "--luminosity" ||
                 arg == "--contrast" || arg == "--saturation" || arg == "--tone" || arg == "--mode") {
        if (i + 1 >= argc) Fail(kUsage, arg + " needs a value");
        steps.emplace_back(arg, argv[++i]);
      } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
        Fail(kUsage, "unknown option \"" + arg + "\" for process\n" + kProcessUsage);
      } else {
        positional.push_back(arg);
      }
    }
    if (positional.size() != 2) Fail(kUsage, kProcessUsage);

    CBitmapPicture input;
    std::string error;
    if (!ReadPictureBuffer(positional[0], input, &error)) Fail(kBadInput, positional[0] + ": " + error);
    // Camera frames are 24-bit.
    if (input.depth != 24) {
      CBitmapPicture colour;
      if (!colour.Allocate(input.width, input.height, 24)) Fail(kBadInput, "out of memory");
      CDataHandler handler;
      if (!handler.GreyScaleToColour24(input.data, input.width, input.height, input.depth,
                                       input.hasPalette ? input.palette : nullptr, colour.data))
        Fail(kBadInput, positional[0] + ": unsupported picture depth");
      input = std::move(colour);
    }
    const int w = static_cast<int>(input.width), h = static_cast<int>(input.height);

    CCameraDC model;
    model.SetDriveId(kNoCameraDrive);
    // Client rectangle = the shown picture at 100 %, so client points are picture pixels.
    auto fitClient = [&model] {
      const CRect b = model.GetBufferRect();
      model.MoveWindow(CRect(0, 0, b.Width(), b.Height()), 0);
      model.RealitySize(0);
    };
    auto deliver = [&] {
      if (!model.SetImageData(input.data, w, h, 24, nullptr)) Fail(kBadInput, "the frame model refused the picture");
      fitClient();
    };
    deliver();

    bool greenFrame = false;
    for (const auto& [option, value] : steps) {
      if (option == "--cut") {
        model.OpenCutBlackSide(1);
        fitClient();
      } else if (option == "--correct") {
        model.OpenCorrect(1);
        fitClient();
      } else if (option == "--green-frame") {
        greenFrame = true;
      } else if (option == "--hotpixel") {
        // Hot pixels are removed as a frame arrives: deliver the picture again.
        model.RemoveHotpixel(1);
        deliver();
      } else if (option == "--rotate-cmd") {
        const int c = ToInt(value, option);
        if (c != 1 && c != -1 && c != 2 && c != 3) Fail(kUsage, "--rotate-cmd must be 1, -1, 2 or 3");
        model.RotationCamera(c);
        fitClient();
      } else if (option == "--angle") {
        const int degrees = ToInt(value, option);
        // The angle applies to frames as they arrive; the current one is replaced.
        model.RotationCameraEx(degrees);
        deliver();
      } else if (option == "--crop") {
        const auto v = ToInts(value, 4, option);
        const CRect rect(v[0], v[1], v[2], v[3]);
        const CRect shown = model.GetBufferRect();
        CRect inside;
        inside.IntersectRect(rect, shown);
        if (rect.IsRectEmpty() || !(inside == rect))
          Fail(kUsage, "--crop must lie inside the " + std::to_string(shown.Width()) + " x " +
                           std::to_string(shown.Height()) + " picture shown at that point");
        model.SetVideoCutRect(rect);
        fitClient();
      } else if (option == "--luminosity" || option == "--contrast" || option == "--saturation") {
        const int v = ToInt(value, option);
        const int ok = option == "--luminosity" ? model.SetLuminosity(v)
                       : option == "--contrast" ? model.SetContrast(v)
                                                : model.SetSaturation(v);
        if (!ok) Fail(kRefused, option + " was refused");
      } else if (option == "--tone") {
        const auto v = ToInts(value, 3, option);
        for (int c : v)
          if (c < 0 || c > 255) Fail(kUsage, "--tone values must be 0-255");
        if (!model.SetToneRGB(v[0], v[1], v[2])) Fail(kRefused, "--tone was refused");
      } else if (option == "--mode") {
        model.SetShowMode(ToMode(value));
      }
    }
    if (greenFrame) {
      // The page is searched on the picture as it stands after every option.
      model.OpenGreenFrame(1);
      if (model.GetGreenSegments()[0].x1 < 0 && model.GetGreenSegments()[0].x2 < 0)
        Fail(kRefused, positional[0] + ": no page found in the picture");
      if (!model.SaveGreenFrame(positional[1]))
        Fail(kCannotWrite, positional[1] + ": no page could be straightened, or the file cannot be written");
      return kOk;
    }
    if (!model.SaveJpegFile(positional[1])) Fail(kCannotWrite, positional[1] + ": cannot write the picture");
    return kOk;
  } catch (const ProcessExit& e) {
    std::cerr << "brevio-image: " << e.message << '\n';
    return e.status;
  }
}
