// brevio-image: the image library's pixel operations and picture output on
// picture files, one subcommand per operation. Pictures are read by their
// content (JPEG, BMP, PNG, GIF, TIFF) and written in the format their name
// asks for (.bmp, .png, .gif, .tif; anything else JPEG).
//
// Exit status: 0 success; 1 bad command line; 2 input unreadable or
// malformed; 3 the operation refused the picture or its arguments; 4 the
// output could not be written. OUT is written to a temporary file beside it
// and renamed, so a failure never leaves a partial file.

#include "imaging/bitmap_file.h"
#include "imaging/data_handler.h"
#include "imaging/page_frame.h"
#include "imaging/picture_codec.h"
#include "imaging/pixalto.h"

#include "contracts/fundara/memory.h"
#include "platform/program_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QPageSize>
#include <QPrinter>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

enum ExitStatus { kOk = 0, kUsage = 1, kBadInput = 2, kRefused = 3, kCannotWrite = 4 };

// Ends the command with a status and a one-line message on standard error.
struct ToolExit {
  int status;
  std::string message;
};

struct Invocation {
  std::string command;
  std::vector<std::string> args;  // positional arguments after the command
  std::optional<CRect> region;    // --region L,T,R,B
  std::map<std::string, std::string> options;  // other options given ("" for flags)
};

[[noreturn]] void Usage(const std::string& text) { throw ToolExit{kUsage, text}; }
[[noreturn]] void Refuse(const std::string& text) { throw ToolExit{kRefused, text}; }

long ParseInteger(const std::string& text, const char* what) {
  long value = 0;
  const char* end = text.data() + text.size();
  const char* begin = text.data();
  if (begin != end && *begin == '+') ++begin;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end || begin == end)
    Usage(std::string(what) + " must be a whole number, not \"" + text + "\"");
  return value;
}

int ParseInt(const std::string& text, const char* what) {
  const long v = ParseInteger(text, what);
  if (v < -2147483647L || v > 2147483647L) Usage(std::string(what) + " is out of range: " + text);
  return static_cast<int>(v);
}

double ParseReal(const std::string& text, const char* what) {
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
    Usage(std::string(what) + " must be a number, not \"" + text + "\"");
  return v;
}

CRect ParseRegion(const std::string& text) {
  int v[4];
  std::size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t comma = text.find(',', start);
    if ((i < 3) != (comma != std::string::npos))
      Usage("--region needs four numbers L,T,R,B, not \"" + text + "\"");
    v[i] = ParseInt(text.substr(start, comma == std::string::npos ? comma : comma - start),
                    "a --region value");
    start = comma + 1;
  }
  return CRect(v[0], v[1], v[2], v[3]);
}

CBitmapPicture Load(const std::string& path) {
  CBitmapPicture picture;
  std::string error;
  if (!ReadPictureBuffer(path, picture, &error)) throw ToolExit{kBadInput, path + ": " + error};
  return picture;
}

// Writes through a temporary file in the same folder and renames it.
void Save(const std::string& path, const CBitmapPicture& picture) {
  PictureWriteOptions options;
  if (picture.xPelsPerMeter > 0) options.bitmap.xPelsPerMeter = picture.xPelsPerMeter;
  if (picture.yPelsPerMeter > 0) options.bitmap.yPelsPerMeter = picture.yPelsPerMeter;
  const PictureFormat format = PictureFormatFromPath(path);
  std::string error;
  const std::vector<unsigned char> bytes = EncodePictureBuffer(
      picture.data, picture.width, picture.height, picture.depth,
      picture.hasPalette ? picture.palette : nullptr, format, options, &error);
  if (bytes.empty())
    throw ToolExit{kCannotWrite, path + ": the result (" + std::to_string(picture.width) + " x " +
                                     std::to_string(picture.height) + ", " +
                                     std::to_string(picture.depth) + " bits) cannot be stored as " +
                                     PictureFormatName(format) + ": " + error};
  if (!WriteFileAtomically(path, bytes, &error)) throw ToolExit{kCannotWrite, path + ": " + error};
}

CDataHandler handler;

// A new picture of the same size and depth as `like`, sharing its metadata.
CBitmapPicture NewLike(const CBitmapPicture& like, int depth) {
  CBitmapPicture out;
  if (!out.Allocate(like.width, like.height, depth)) Refuse("out of memory");
  out.xPelsPerMeter = like.xPelsPerMeter;
  out.yPelsPerMeter = like.yPelsPerMeter;
  return out;
}

std::string DepthText(int depth) { return std::to_string(depth) + "-bit"; }

// ---- Subcommands --------------------------------------------------------

int CmdInfo(const Invocation& inv) {
  const CBitmapPicture picture = Load(inv.args[0]);
  std::cout << picture.width << ' ' << picture.height << ' ' << picture.depth << '\n';
  return kOk;
}

int CmdGrey(const Invocation& inv) {
  const CBitmapPicture in = Load(inv.args[0]);
  CBitmapPicture out = NewLike(in, 8);
  if (!handler.ColourToGreyScale(in.data, in.width, in.height, in.depth,
                                 in.hasPalette ? in.palette : nullptr, out.data, 1))
    Refuse("grey conversion refused the " + DepthText(in.depth) + " picture");
  GreyPalette(out.palette);
  out.hasPalette = true;
  Save(inv.args[1], out);
  return kOk;
}

int CmdColour24(const Invocation& inv) {
  const CBitmapPicture in = Load(inv.args[0]);
  CBitmapPicture out = NewLike(in, 24);
  if (!handler.GreyScaleToColour24(in.data, in.width, in.height, in.depth,
                                   in.hasPalette ? in.palette : nullptr, out.data))
    Refuse("conversion to 24 bits refused the " + DepthText(in.depth) + " picture");
  Save(inv.args[1], out);
  return kOk;
}

int CmdZoom(const Invocation& inv) {
  const float scale = static_cast<float>(ParseReal(inv.args[0], "SCALE"));
  CBitmapPicture picture = Load(inv.args[1]);
  unsigned char* result = nullptr;
  int w = 0, h = 0;
  if (!handler.ZoomData(picture.data, picture.width, picture.height, picture.depth, scale, result,
                        w, h))
    Refuse("scaling by " + inv.args[0] + " refused (the scale must be above 0 and give a picture " +
           "of at least 1 x 1 pixels that fits in memory)");
  picture.Adopt(result, w, h, picture.depth);
  Save(inv.args[2], picture);
  return kOk;
}

int CmdTurn(const Invocation& inv) {
  const int value = ParseInt(inv.args[0], "VALUE");
  CBitmapPicture picture = Load(inv.args[1]);
  if (!handler.RotationImageData(picture.data, picture.width, picture.height, picture.depth,
                                 static_cast<rotation_degree>(value)))
    Refuse(value < 1 || value > 5 ? "turn value " + inv.args[0] +
                                        " is not one of 1 (clockwise), 2 (half turn), 3 "
                                        "(counter-clockwise), 4 (flip), 5 (mirror)"
                                  : std::string("out of memory"));
  Save(inv.args[2], picture);
  return kOk;
}

CRect RegionOrWhole(const Invocation& inv, const CBitmapPicture& picture) {
  return inv.region ? *inv.region
                    : CRect(0, 0, static_cast<int>(picture.width), static_cast<int>(picture.height));
}

int CmdRotate(const Invocation& inv) {
  const int degrees = ParseInt(inv.args[0], "DEGREES");
  CBitmapPicture picture = Load(inv.args[1]);
  CRect region = RegionOrWhole(inv, picture);
  if (picture.depth != 24)
    Refuse("rotation by degrees needs a 24-bit picture, this one has " + DepthText(picture.depth));
  if (region.left < 0 || region.top < 0 || region.left > region.right ||
      region.top > region.bottom || region.right > picture.width || region.bottom > picture.height)
    Usage("--region must lie inside the " + std::to_string(picture.width) + " x " +
          std::to_string(picture.height) + " picture with L <= R and T <= B");
  if (!handler.RotationImage(picture.data, picture.width, picture.height, region, picture.depth,
                             degrees))
    Refuse("rotation by " + inv.args[0] + " degrees leaves no picture or does not fit in memory");
  Save(inv.args[2], picture);
  std::cout << region.left << ',' << region.top << ',' << region.right << ',' << region.bottom
            << '\n';
  return kOk;
}

int CmdRotateRad(const Invocation& inv) {
  const double angle = ParseReal(inv.args[0], "ANGLE");
  CBitmapPicture picture = Load(inv.args[1]);
  const CRect region = RegionOrWhole(inv, picture);
  if (!handler.RotatePicture(picture.data, picture.width, picture.height, picture.depth, region,
                             angle))
    Refuse("rotation refused: the region clipped to the picture is empty, or the result does not "
           "fit in memory");
  Save(inv.args[2], picture);
  return kOk;
}

// The tone operations change the picture in place and refuse a level of 0.
template <int (CDataHandler::*Op)(unsigned char*, int, int, int, int)>
int CmdLevel(const Invocation& inv) {
  const int level = ParseInt(inv.args[0], "LEVEL");
  CBitmapPicture picture = Load(inv.args[1]);
  if (!(handler.*Op)(picture.data, picture.width, picture.height, picture.depth, level))
    Refuse(level == 0 ? "level 0 leaves the picture unchanged"
                      : "the " + DepthText(picture.depth) + " picture is not supported");
  Save(inv.args[2], picture);
  return kOk;
}

int CmdGain(const Invocation& inv) {
  const int r = ParseInt(inv.args[0], "R"), g = ParseInt(inv.args[1], "G"),
            b = ParseInt(inv.args[2], "B");
  CBitmapPicture picture = Load(inv.args[3]);
  if (!handler.SaturationAlter(picture.data, picture.width, picture.height, picture.depth, r, g, b))
    Refuse(r == 255 && g == 255 && b == 255
               ? std::string("gains of 255 leave the picture unchanged")
               : "colour gain needs a 24- or 32-bit picture, this one has " +
                     DepthText(picture.depth));
  Save(inv.args[4], picture);
  return kOk;
}

int CmdSingle(const Invocation& inv) {
  const int threshold = ParseInt(inv.args[0], "THRESHOLD");
  const CBitmapPicture in = Load(inv.args[1]);
  CBitmapPicture out = NewLike(in, 8);
  if (!handler.ColourToSingle(in.data, in.width, in.height, in.depth,
                              in.hasPalette ? in.palette : nullptr, out.data, threshold))
    Refuse("black and white refused the " + DepthText(in.depth) + " picture");
  GreyPalette(out.palette);
  out.hasPalette = true;
  Save(inv.args[2], out);
  return kOk;
}

int CmdReversed(const Invocation& inv) {
  CBitmapPicture in = Load(inv.args[0]);
  CBitmapPicture out = NewLike(in, in.depth);
  if (!handler.ColourToReversed(in.data, in.width, in.height, in.depth,
                                in.hasPalette ? in.palette : nullptr, out.data))
    Refuse("inverse refused the " + DepthText(in.depth) + " picture");
  // An 8-bit picture keeps its indices; its palette was inverted.
  std::memcpy(out.palette, in.palette, sizeof out.palette);
  out.hasPalette = in.hasPalette;
  Save(inv.args[1], out);
  return kOk;
}

template <int (CDataHandler::*Op)(const unsigned char*, int, int, int, unsigned char*)>
int CmdNeighbour(const Invocation& inv) {
  const CBitmapPicture in = Load(inv.args[0]);
  CBitmapPicture out = NewLike(in, in.depth);
  if (!(handler.*Op)(in.data, in.width, in.height, in.depth, out.data))
    Refuse("the " + DepthText(in.depth) + " picture is not supported");
  std::memcpy(out.palette, in.palette, sizeof out.palette);
  out.hasPalette = in.hasPalette;
  Save(inv.args[1], out);
  return kOk;
}

// ---- Filters ------------------------------------------------------------

std::string SizeText(const CBitmapPicture& p) {
  return std::to_string(p.width) + " x " + std::to_string(p.height);
}

// The packed grey plane of a picture: an 8-bit picture with the grey ramp
// (or no palette) gives its indices, any other picture its grey values.
std::vector<unsigned char> GreyPlaneOf(const CBitmapPicture& in) {
  const std::size_t w = static_cast<std::size_t>(in.width);
  std::vector<unsigned char> plane(w * static_cast<std::size_t>(in.height));
  bool greyRamp = in.depth == 8;
  for (int i = 0; greyRamp && in.hasPalette && i < 256; ++i)
    greyRamp = in.palette[i].rgbBlue == i && in.palette[i].rgbGreen == i && in.palette[i].rgbRed == i;
  if (greyRamp) {
    for (long y = 0; y < in.height; ++y)
      std::memcpy(plane.data() + w * y, in.data + in.Stride() * y, w);
  } else if (!handler.ColourToGreyScale(in.data, static_cast<int>(in.width),
                                        static_cast<int>(in.height), in.depth,
                                        in.hasPalette ? in.palette : nullptr, plane.data(), 0)) {
    Refuse("grey conversion refused the " + DepthText(in.depth) + " picture");
  }
  return plane;
}

// An 8-bit grey picture of the plane, with the metadata of `like`.
CBitmapPicture FromGreyPlane(const CBitmapPicture& like, const std::vector<unsigned char>& plane) {
  CBitmapPicture out = NewLike(like, 8);
  const std::size_t w = static_cast<std::size_t>(like.width);
  for (long y = 0; y < like.height; ++y) std::memcpy(out.data + out.Stride() * y, plane.data() + w * y, w);
  GreyPalette(out.palette);
  out.hasPalette = true;
  return out;
}

// Filters that change a grey plane in place and refuse only planes too
// small for their neighbourhood.
template <int (CDataHandler::*Op)(unsigned char*, int, int)>
int CmdGreyFilter(const Invocation& inv) {
  const CBitmapPicture in = Load(inv.args[0]);
  std::vector<unsigned char> plane = GreyPlaneOf(in);
  if (!(handler.*Op)(plane.data(), static_cast<int>(in.width), static_cast<int>(in.height)))
    Refuse(inv.command + " refused the " + SizeText(in) + " picture" +
           (in.width < 5 || in.height < 5
                ? std::string(" (edge detectors need at least 3 x 3 pixels, log 5 x 5)")
                : std::string(" (out of memory)")));
  Save(inv.args[1], FromGreyPlane(in, plane));
  return kOk;
}

int CmdStretch(const Invocation& inv) {
  const CBitmapPicture in = Load(inv.args[0]);
  std::vector<unsigned char> plane = GreyPlaneOf(in);
  if (!handler.GreyDegreeExtend(plane.data(), static_cast<int>(in.width), static_cast<int>(in.height)))
    Refuse("stretch refused: the grey values (ignoring those of single pixels, each end pulled in "
           "by 30) span fewer than 5 levels");
  Save(inv.args[1], FromGreyPlane(in, plane));
  return kOk;
}

int CmdThreshold(const Invocation& inv) {
  const int threshold = ParseInt(inv.args[0], "T");
  const CBitmapPicture in = Load(inv.args[1]);
  std::vector<unsigned char> plane = GreyPlaneOf(in);
  handler.GreyDegreeSingle(plane.data(), static_cast<int>(in.width), static_cast<int>(in.height),
                           threshold);
  Save(inv.args[2], FromGreyPlane(in, plane));
  return kOk;
}

// Filters of 24-bit pictures in place.
template <int (CDataHandler::*Op)(unsigned char*, int, int)>
int CmdColourFilter(const Invocation& inv) {
  CBitmapPicture picture = Load(inv.args[0]);
  if (picture.depth != 24)
    Refuse(inv.command + " needs a 24-bit picture, this one has " + DepthText(picture.depth));
  if (!(handler.*Op)(picture.data, static_cast<int>(picture.width), static_cast<int>(picture.height)))
    Refuse("out of memory");
  Save(inv.args[1], picture);
  return kOk;
}

// ---- Picture output ---------------------------------------------------------

CPixalto pixalto;

std::list<std::string> Inputs(const Invocation& inv, std::size_t first) {
  return std::list<std::string>(inv.args.begin() + static_cast<std::ptrdiff_t>(first), inv.args.end());
}

// Every input must decode as a picture before anything is written.
void CheckPictures(const std::list<std::string>& pictures) {
  for (const std::string& path : pictures) {
    std::string error;
    if (ReadPicture(path, &error).isNull()) throw ToolExit{kBadInput, path + ": " + error};
  }
}

void CheckFiles(const std::list<std::string>& files) {
  for (const std::string& path : files) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
      throw ToolExit{kBadInput, path + ": " + std::strerror(errno)};
    if (!S_ISREG(st.st_mode)) throw ToolExit{kBadInput, path + ": not a regular file"};
  }
}

// A fresh name beside `path` that nothing uses yet; the product is written
// there and renamed over `path` only when it is complete.
std::string ScratchBeside(const std::string& path) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) throw ToolExit{kCannotWrite, path + ": cannot create: " + std::strerror(errno)};
  ::close(fd);
  ::unlink(temp.c_str());
  return temp;
}

void RenameOver(const std::string& temp, const std::string& path) {
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(temp.c_str());
    throw ToolExit{kCannotWrite, path + ": cannot write: " + reason};
  }
}

int CmdPdf(const Invocation& inv) {
  const std::string& out = inv.args[0];
  const std::list<std::string> pictures = Inputs(inv, 1);
  CheckPictures(pictures);
  const std::string temp = ScratchBeside(out);
  if (!pixalto.JPGSavePdf(pictures, temp))
    throw ToolExit{kCannotWrite, out + ": the PDF could not be written"};
  RenameOver(temp, out);
  return kOk;
}

int CmdBind(const Invocation& inv) {
  const std::string& archive = inv.args[0];
  std::list<std::string> pictures = Inputs(inv, 1);
  CheckFiles(pictures);
  struct stat st;
  if (::lstat(archive.c_str(), &st) == 0)
    Refuse(archive + " already exists; an archive is never replaced");
  if (!pixalto.BindJpg(pictures, archive))
    throw ToolExit{kCannotWrite, archive + ": the archive could not be written; no picture was removed"};
  return kOk;
}

int CmdUnbind(const Invocation& inv) {
  const std::string& archive = inv.args[0];
  CheckFiles({archive});
  if (!pixalto.UnBindJpg(archive))
    throw ToolExit{kBadInput, archive + ": could not be unpacked completely (damaged or unsafe "
                                        "archive, or no room) or not removed; it is kept"};
  return kOk;
}

int CmdPrintPrep(const Invocation& inv) {
  CBitmapPicture picture = Load(inv.args[0]);
  if (!pixalto.ImageToSingle(picture)) Refuse("out of memory");
  Save(inv.args[1], picture);
  return kOk;
}

int CmdDwt(const Invocation& inv) {
  CBitmapPicture in = Load(inv.args[0]);
  if (in.depth == 8) in = FromGreyPlane(in, GreyPlaneOf(in));
  CBitmapPicture out = NewLike(in, in.depth);
  std::memcpy(out.palette, in.palette, sizeof out.palette);
  out.hasPalette = in.hasPalette;
  handler.DWT_Once(in.data, in.depth, out.data, static_cast<int>(in.width),
                   static_cast<int>(in.height), 1);
  Save(inv.args[1], out);
  return kOk;
}

int CmdChanges(const Invocation& inv) {
  CBitmapPicture frames[2] = {Load(inv.args[0]), Load(inv.args[1])};
  // The plain detectors read no palette: 8-bit frames go to them in colour.
  CBitmapPicture colour[2];
  for (int i = 0; i < 2; ++i) {
    if (frames[i].depth != 8) continue;
    colour[i] = NewLike(frames[i], 24);
    if (!handler.GreyScaleToColour24(frames[i].data, static_cast<int>(frames[i].width),
                                     static_cast<int>(frames[i].height), 8,
                                     frames[i].hasPalette ? frames[i].palette : nullptr, colour[i].data)) {
      tagRGBQUAD grey[256];
      GreyPalette(grey);
      handler.GreyScaleToColour24(frames[i].data, static_cast<int>(frames[i].width),
                                  static_cast<int>(frames[i].height), 8, grey, colour[i].data);
    }
  }
  using Plain = int (CDataHandler::*)(const unsigned char*, int, int, int, unsigned char*&, int&, int&);
  const std::pair<const char*, Plain> plain[] = {
      {"DynamicDistinguish", &CDataHandler::DynamicDistinguish},
      {"StaticDistinguish", &CDataHandler::StaticDistinguish},
      {"DynamicPointNum", &CDataHandler::DynamicPointNum},
  };
  std::string text;
  for (const auto& [name, op] : plain) {
    unsigned char* previous = nullptr;
    int pw = 0, ph = 0, result = 0;
    for (int i = 0; i < 2; ++i) {
      const CBitmapPicture& f = frames[i].depth == 8 ? colour[i] : frames[i];
      result = (handler.*op)(f.data, static_cast<int>(f.width), static_cast<int>(f.height), f.depth,
                             previous, pw, ph);
    }
    DelMem(previous);
    text += std::string(name) + " " + std::to_string(result) + "\n";
  }
  unsigned char* previous = nullptr;
  int pw = 0, ph = 0, result = 0;
  for (const CBitmapPicture& f : frames)
    result = handler.DynamicPointNumEx(f.data, static_cast<int>(f.width), static_cast<int>(f.height),
                                       f.depth, f.hasPalette ? f.palette : nullptr, previous, pw, ph);
  DelMem(previous);
  if (result < 0) Refuse("the edge change count refused the pictures");
  text += "DynamicPointNumEx " + std::to_string(result) + "\n";
  std::cout << text;
  return kOk;
}

int CmdPrint(const Invocation& inv) {
  const auto target = inv.options.find("--to-pdf");
  if (target == inv.options.end())
    Usage("print needs --to-pdf OUT: printing on a printer goes through the print dialog of "
          "the application");
  const std::string& out = target->second;
  const std::list<std::string> pictures = Inputs(inv, 0);
  CheckPictures(pictures);
  // The PDF printer needs a GUI application for its fonts; no screen is used.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "brevio-image";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  const std::string temp = ScratchBeside(out);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(temp));
  printer.setPageSize(QPageSize(QPageSize::A4));
  if (!pixalto.PrintImage(pictures, inv.options.count("--bw") ? 1 : 0, printer)) {
    ::unlink(temp.c_str());
    throw ToolExit{kCannotWrite, out + ": the PDF could not be written"};
  }
  RenameOver(temp, out);
  return kOk;
}

// ---- Page detection ---------------------------------------------------------

// A 24-bit copy of a picture for the detectors that take 8 or 24 bits.
CBitmapPicture As24(const CBitmapPicture& in) {
  CBitmapPicture out = NewLike(in, 24);
  if (!handler.GreyScaleToColour24(in.data, static_cast<int>(in.width), static_cast<int>(in.height),
                                   in.depth, in.hasPalette ? in.palette : nullptr, out.data))
    Refuse("conversion to 24 bits refused the " + DepthText(in.depth) + " picture");
  return out;
}

PageFrame FindGreenFrame(const CBitmapPicture& in) {
  const CBitmapPicture colour = in.depth == 24 ? CBitmapPicture() : As24(in);
  const CBitmapPicture& pic = in.depth == 24 ? in : colour;
  PageFrame g;
  if (!FindPageFrame(pic.data, static_cast<int>(pic.width), static_cast<int>(pic.height), g))
    Refuse("the " + SizeText(in) + " picture is too small to search for a page");
  return g;
}

void PrintLine(const _STRAIGHTLINE& l) {
  std::cout << "{\"votes\": " << l.votes << ", \"distance\": " << l.distance
            << ", \"step\": " << l.angleStep << "}";
}

const char* SkewSourceName(PageSkewSource source) {
  switch (source) {
    case PageSkewSource::Outline: return "outline";
    case PageSkewSource::TextLines: return "text lines";
    default: return "none";
  }
}

std::string Real(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}

// Every row in the output counts from the bottom (memory rows), as the
// lines and the border rectangle do; the page frame's sides are flipped back.
int CmdDetect(const Invocation& inv) {
  const CBitmapPicture in = Load(inv.args[0]);
  const PageFrame g = FindGreenFrame(in);
  const CBitmapPicture colour = (in.depth == 8 || in.depth == 24) ? CBitmapPicture() : As24(in);
  const CBitmapPicture& pic = (in.depth == 8 || in.depth == 24) ? in : colour;
  const tagRGBQUAD* palette = pic.hasPalette ? pic.palette : nullptr;
  const int W = static_cast<int>(pic.width), H = static_cast<int>(pic.height);
  const CRect black = handler.GetBlackSideRectEx(pic.data, W, H, pic.depth, palette, CRect(0, 0, W, H));
  const float skew = handler.CheckRotatePictureEx(pic.data, W, H, pic.depth, palette);
  std::cout << "{\"rows\": \"bottom row first\", \"main_line\": ";
  PrintLine(g.main);
  std::cout << ", \"lines\": [";
  for (int i = 0; i < 4; ++i) {
    if (i) std::cout << ", ";
    PrintLine(g.lines[i]);
  }
  std::cout << "], \"segments\": [";
  const auto row = [H](int y) { return y < 0 ? -1 : H - y; };
  for (int i = 0; i < 4; ++i) {
    const _SEGMENT& s = g.segments[i];
    std::cout << (i ? ", " : "") << "[" << s.x1 << ", " << row(s.y1) << ", " << s.x2 << ", " << row(s.y2) << "]";
  }
  std::cout << "], \"outline\": " << (g.outline ? "true" : "false") << ", \"corners\": [";
  for (int i = 0; i < 4; ++i)
    std::cout << (i ? ", " : "") << "[" << Real(g.corners[i][0]) << ", " << Real(g.corners[i][1]) << "]";
  std::cout << "], \"black_side\": [" << black.left << ", " << black.top << ", " << black.right
            << ", " << black.bottom << "], \"skew\": " << Real(skew) << ", \"skew_degrees\": "
            << Real(g.skewDegrees) << ", \"skew_method\": \"" << SkewSourceName(g.skewSource) << "\"}\n";
  return kOk;
}

int CmdStraighten(const Invocation& inv) {
  CBitmapPicture picture = Load(inv.args[0]);
  const float skew = handler.CheckRotatePictureEx(picture.data, static_cast<int>(picture.width),
                                                  static_cast<int>(picture.height), picture.depth,
                                                  picture.hasPalette ? picture.palette : nullptr);
  const CRect whole(0, 0, static_cast<int>(picture.width), static_cast<int>(picture.height));
  if (!handler.RotatePicture(picture.data, picture.width, picture.height, picture.depth, whole, skew))
    Refuse("the straightened picture does not fit in memory");
  Save(inv.args[1], picture);
  return kOk;
}

int CmdCutBorder(const Invocation& inv) {
  const CBitmapPicture in = Load(inv.args[0]);
  const CBitmapPicture colour = (in.depth == 8 || in.depth == 24) ? CBitmapPicture() : As24(in);
  const CBitmapPicture& pic = (in.depth == 8 || in.depth == 24) ? in : colour;
  const int W = static_cast<int>(in.width), H = static_cast<int>(in.height);
  const CRect r = handler.GetBlackSideRectEx(pic.data, W, H, pic.depth,
                                             pic.hasPalette ? pic.palette : nullptr, CRect(0, 0, W, H));
  if (r.IsRectEmpty()) Refuse("no page found in the " + SizeText(in) + " picture");
  CBitmapPicture out;
  if (!out.Allocate(r.Width(), r.Height(), in.depth)) Refuse("out of memory");
  out.xPelsPerMeter = in.xPelsPerMeter;
  out.yPelsPerMeter = in.yPelsPerMeter;
  out.hasPalette = in.hasPalette;
  std::memcpy(out.palette, in.palette, sizeof out.palette);
  const std::size_t bytes = static_cast<std::size_t>(in.depth / 8);
  for (int y = 0; y < r.Height(); ++y)
    std::memcpy(out.data + out.Stride() * y, in.data + in.Stride() * (r.top + y) + r.left * bytes,
                r.Width() * bytes);
  Save(inv.args[1], out);
  std::cout << r.left << ',' << r.top << ',' << r.right << ',' << r.bottom << '\n';
  return kOk;
}

int CmdGreenFrame(const Invocation& inv) {
  const CBitmapPicture in = Load(inv.args[0]);
  const PageFrame g = FindGreenFrame(in);
  const CBitmapPicture colour = in.depth == 24 ? CBitmapPicture() : As24(in);
  const CBitmapPicture& pic = in.depth == 24 ? in : colour;
  unsigned char* result = nullptr;
  int w = 0, h = 0;
  if (!handler.RotateGreenFrame(pic.data, static_cast<int>(pic.width), static_cast<int>(pic.height),
                                24, g.lines, result, w, h))
    Refuse("no page found in the " + SizeText(in) + " picture, or the result does not fit in memory");
  CBitmapPicture out;
  out.Adopt(result, w, h, 24);
  out.xPelsPerMeter = out.yPelsPerMeter = 11811;
  Save(inv.args[1], out);
  return kOk;
}

int CmdFlood(const Invocation& inv) {
  const int row = ParseInt(inv.args[0], "ROW");
  const int column = ParseInt(inv.args[1], "COL");
  const CBitmapPicture in = Load(inv.args[2]);
  if (row < 0 || row >= in.height || column < 0 || column >= in.width)
    Usage("ROW and COL must lie inside the " + SizeText(in) + " picture");
  std::vector<unsigned char> plane = GreyPlaneOf(in);
  const unsigned long count = handler.DelBlackSide(plane.data(), static_cast<int>(in.width),
                                                   static_cast<int>(in.height), row, column);
  if (!count) Refuse("out of memory");
  Save(inv.args[3], FromGreyPlane(in, plane));
  std::cout << count << '\n';
  return kOk;
}

struct Subcommand {
  const char* name;
  const char* synopsis;  // arguments after the name
  std::size_t arguments; // positional arguments (the least number when variadic)
  bool takesRegion;
  int (*run)(const Invocation&);
  const char* help;
  bool variadic = false;              // more positional arguments may follow
  const char* valueOption = nullptr;  // an option with a value ("--to-pdf")
  const char* flagOption = nullptr;   // an option without one ("--bw")
};

// Later operations join this table; everything else stays as it is.
const Subcommand kSubcommands[] = {
    {"info", "IN", 1, false, CmdInfo, "print WIDTH HEIGHT DEPTH"},
    {"grey", "IN OUT", 2, false, CmdGrey, "grey picture (8 bits, grey palette)"},
    {"colour24", "IN OUT", 2, false, CmdColour24, "24-bit colour picture"},
    {"zoom", "SCALE IN OUT", 3, false, CmdZoom, "nearest-neighbour scaling"},
    {"turn", "VALUE IN OUT", 3, false, CmdTurn,
     "1 clockwise, 2 half turn, 3 counter-clockwise, 4 flip, 5 mirror"},
    {"rotate", "DEGREES IN OUT [--region L,T,R,B]", 3, true, CmdRotate,
     "rotation by whole degrees (24-bit, white background); prints the new region L,T,R,B"},
    {"rotate-rad", "ANGLE IN OUT [--region L,T,R,B]", 3, true, CmdRotateRad,
     "cuts the region and rotates it by ANGLE radians (bilinear, black background)"},
    {"luminosity", "LEVEL IN OUT", 3, false, CmdLevel<&CDataHandler::AdjustLuminosity>,
     "brightness; -100 is black"},
    {"contrast", "LEVEL IN OUT", 3, false, CmdLevel<&CDataHandler::AdjustContrast>, "contrast"},
    {"saturation", "LEVEL IN OUT", 3, false, CmdLevel<&CDataHandler::AdjustSaturation>,
     "saturation; -100 is grey"},
    {"gain", "R G B IN OUT", 5, false, CmdGain, "colour gain per channel, 0-255"},
    {"single", "THRESHOLD IN OUT", 3, false, CmdSingle, "black and white (8 bits)"},
    {"reversed", "IN OUT", 2, false, CmdReversed, "inverse"},
    {"relief", "IN OUT", 2, false, CmdNeighbour<&CDataHandler::ColourToRelief>, "relief"},
    {"sharpen", "IN OUT", 2, false, CmdNeighbour<&CDataHandler::ColourToSharpen>, "sharpen"},
    {"sobel", "IN OUT", 2, false, CmdGreyFilter<&CDataHandler::EdgeDetectionSobel>,
     "Sobel edges (grey)"},
    {"sobel-ex", "IN OUT", 2, false, CmdGreyFilter<&CDataHandler::EdgeDetectionSobelEx>,
     "Sobel edges with weights 1 sqrt2 1 (grey)"},
    {"log", "IN OUT", 2, false, CmdGreyFilter<&CDataHandler::EdgeDetectionLog>,
     "Laplacian-of-Gaussian edges (grey)"},
    {"mean", "IN OUT", 2, false, CmdGreyFilter<&CDataHandler::MedianFilter>,
     "3 x 3 mean, border 0 (grey)"},
    {"corrosion", "IN OUT", 2, false, CmdGreyFilter<&CDataHandler::RegionCorrosion>,
     "removes on pixels (above 125) with fewer than 3 on neighbours (grey)"},
    {"largest-region", "IN OUT", 2, false, CmdGreyFilter<&CDataHandler::RegionAnalysis>,
     "keeps the largest connected region of on pixels (grey)"},
    {"stretch", "IN OUT", 2, false, CmdStretch,
     "contrast stretch (grey); exit 3 when the grey range is too narrow"},
    {"threshold", "T IN OUT", 3, false, CmdThreshold, "255 above T, else 0 (grey)"},
    {"binarize", "IN OUT", 2, false, CmdGreyFilter<&CDataHandler::Binarization>,
     "black and white at an iterated threshold (grey)"},
    {"hotpixel", "IN OUT", 2, false, CmdColourFilter<&CDataHandler::Colour24MedianFilter>,
     "hot-pixel removal: 3 x 3 mean of each channel (24-bit)"},
    {"spike", "IN OUT", 2, false, CmdColourFilter<&CDataHandler::Colour24MedianFilterEx>,
     "spike removal (24-bit)"},
    {"dwt", "IN OUT", 2, false, CmdDwt, "one level of the 5/3 wavelet, stretched to 0-255"},
    {"changes", "PREV CUR", 2, false, CmdChanges,
     "prints the change counters of CUR against PREV, one NAME VALUE a line"},
    {"pdf", "OUT IN...", 2, false, CmdPdf, "one PDF page per picture, each as large as its picture",
     true},
    {"bind", "ARCHIVE IN...", 2, false, CmdBind,
     "binds the files into a new archive, then removes them", true},
    {"unbind", "ARCHIVE", 1, false, CmdUnbind,
     "unpacks the archive beside itself (taken names get (1), (2), ...), then removes it"},
    {"print-prep", "IN OUT", 2, false, CmdPrintPrep,
     "clean black and white for printing (dark surround whitened)"},
    {"detect", "IN", 1, false, CmdDetect,
     "page search as JSON, every row counted from the bottom (memory rows): main_line, lines,\n"
     "      segments, outline (whether a page outline was found), corners (of the fitted sides),\n"
     "      black_side, skew (radians), skew_degrees, skew_method (outline, text lines or none)"},
    {"straighten", "IN OUT", 2, false, CmdStraighten, "turns the page straight (whole picture)"},
    {"cut-border", "IN OUT", 2, false, CmdCutBorder,
     "crops to the page's bounding rectangle; prints it as L,T,R,B (memory rows)"},
    {"green-frame", "IN OUT", 2, false, CmdGreenFrame, "the page inside the green frame, straightened"},
    {"flood", "ROW COL IN OUT", 4, false, CmdFlood,
     "floods the dark region at ROW, COL (memory rows) white in the grey picture; prints the count"},
    {"print", "IN... --to-pdf OUT [--bw]", 1, false, CmdPrint,
     "prints each picture centred on its own A4 page into a PDF; --bw prints black and white",
     true, "--to-pdf", "--bw"},
};

std::string UsageText() {
  std::string text =
      "usage: brevio-image COMMAND ARGUMENTS\n"
      "pictures are read as JPEG, BMP, PNG, GIF or TIFF and written by their name: .bmp, .png,\n"
      ".gif, .tif; any other name is written as JPEG\n";
  for (const Subcommand& s : kSubcommands)
    text += std::string("  ") + s.name + " " + s.synopsis + "\n      " + s.help + "\n";
  text += "  process IN OUT [--hotpixel] [--rotate-cmd C]... [--angle DEG] [--crop L,T,R,B] [--luminosity V]\n"
          "      [--contrast V] [--saturation V] [--tone R,G,B] [--mode M]\n"
          "      the picture through the preview's frame model as a camera frame, options in the\n"
          "      order given; saves the picture as shown\n";
  text += "  --help, --version\n      this text; the release\n";
  text += "exit status: 0 done, 1 bad command line, 2 bad input (or an unknown option in place of\n"
          "the command), 3 refused, 4 output not written\n";
  return text;
}

const Subcommand* Find(const std::string& name) {
  for (const Subcommand& s : kSubcommands)
    if (name == s.name) return &s;
  return nullptr;
}

}  // namespace

// The readers' own warnings about damaged files would repeat, less clearly,
// what the tool says itself.
void QuietQtWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << text.toStdString() << '\n';
}

// The frame-model command (process.cpp); its options act in the order given.
int RunProcess(int argc, char** argv);

int main(int argc, char** argv) {
  qInstallMessageHandler(QuietQtWarnings);
  if (argc < 2) {
    std::cerr << UsageText();
    return kUsage;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    std::cout << UsageText();
    return kOk;
  }
  if (name == "--version") {
    std::cout << VersionLine("brevio-image") << '\n';
    return kOk;
  }
  if (name.rfind("-", 0) == 0) {
    std::cerr << UnknownOptionLine("brevio-image", name) << '\n';
    return kUnknownOptionStatus;
  }
  if (name == "process") return RunProcess(argc - 2, argv + 2);
  try {
    const Subcommand* sub = Find(name);
    if (!sub) Usage("unknown command \"" + name + "\"\n" + UsageText());
    Invocation inv;
    inv.command = name;
    for (int i = 2; i < argc; ++i) {
      const std::string arg = argv[i];
      if (sub->takesRegion && (arg == "--region" || arg.rfind("--region=", 0) == 0)) {
        std::string value;
        if (arg == "--region") {
          if (i + 1 >= argc) Usage("--region needs a value L,T,R,B");
          value = argv[++i];
        } else {
          value = arg.substr(9);
        }
        inv.region = ParseRegion(value);
      } else if (sub->valueOption && (arg == sub->valueOption ||
                                      arg.rfind(std::string(sub->valueOption) + "=", 0) == 0)) {
        if (arg == sub->valueOption) {
          if (i + 1 >= argc) Usage(arg + " needs a value");
          inv.options[arg] = argv[++i];
        } else {
          inv.options[sub->valueOption] = arg.substr(std::strlen(sub->valueOption) + 1);
        }
      } else if (sub->flagOption && arg == sub->flagOption) {
        inv.options[arg] = "";
      } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
        Usage("unknown option \"" + arg + "\" for " + name);
      } else {
        inv.args.push_back(arg);
      }
    }
    if (sub->variadic ? inv.args.size() < sub->arguments : inv.args.size() != sub->arguments)
      Usage(std::string("usage: brevio-image ") + sub->name + " " + sub->synopsis);
    return sub->run(inv);
  } catch (const ToolExit& e) {
    std::cerr << "brevio-image: " << e.message << '\n';
    return e.status;
  }
}
