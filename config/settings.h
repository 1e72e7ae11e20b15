#pragma once
// The settings of the two INI files, by name: every section and key the main
// program reads or writes, and small accessors over the platform profile
// calls. Each call opens the file anew, so another process's (or dialog's)
// change is seen at once; nothing is cached. Readers pass their own default:
// the same key has different defaults for different readers.

#include <string>
#include <string_view>

// Camera configuration file (GetCameraConfig), read by the main program and
// the screen recorder.
namespace camcfg {
inline constexpr std::string_view kFirstCamera = "firstCamera";
inline constexpr std::string_view kNextCamera = "nextCamera";
inline constexpr std::string_view kSerialId = "serialId";
inline constexpr std::string_view kDpi = "dpi";
inline constexpr std::string_view kDpiType = "dpitype";
inline constexpr std::string_view kOutput = "output";
inline constexpr std::string_view kImageType = "imageType";
inline constexpr std::string_view kImageName = "imageName";
inline constexpr std::string_view kImageNameType = "imageNameType";
inline constexpr std::string_view kDataPath = "dataPath";
inline constexpr std::string_view kVideo = "video";
inline constexpr std::string_view kVideoType = "videoType";
inline constexpr std::string_view kWidth = "width";
inline constexpr std::string_view kHeight = "height";
inline constexpr std::string_view kUpgrade = "Upgrade";
inline constexpr std::string_view kZipBag = "zipBag";
inline constexpr std::string_view kLastTime = "lastTime";

// Resolution written into saved bitmaps (dots per inch).
inline constexpr std::string_view kBmpDpiX = "bmpDPIX";
inline constexpr std::string_view kBmpDpiY = "bmpDPIY";
inline constexpr int kDefaultBmpDpi = 300;

// Pixel-format default of the camera openers: the camera's own choice.
inline constexpr std::string_view kAnyDpiType = ":";
inline constexpr std::string_view kDefaultImageName = "VELTRA";

// Photograph file formats ("output" "imageType").
inline constexpr int kImageBmp = 0;
inline constexpr int kImageJpg = 1;
inline constexpr int kImagePng = 2;
inline constexpr int kImageGif = 3;
inline constexpr int kImageTif = 4;
inline constexpr int kDefaultImageType = kImageJpg;
// The format an "imageType" value stands for: any value outside 0..4 is jpg.
int NormaliseImageType(int imageType);
// Its file extension is PictureTypeExtension (imaging/picture_codec.h).

// Photograph naming ("output" "imageNameType").
inline constexpr int kNameByTime = 0;
inline constexpr int kNameByPrefix = 1;
inline constexpr int kDefaultImageNameType = kNameByPrefix;

// Recording containers ("video" "videoType", compared without regard to case).
inline constexpr std::string_view kVideoMp4 = "MP4";
inline constexpr std::string_view kVideoFlv = "FLV";
inline constexpr std::string_view kVideoAvi = "AVI";
inline constexpr std::string_view kDefaultVideoType = kVideoMp4;

// Output of the text-recognition window ("output"): file type (default 0),
// folder (default the data path), name prefix (default "VELTRA") and naming
// (default 1, as "imageNameType").
inline constexpr std::string_view kOcrFileType = "ocrFileType";
inline constexpr std::string_view kOcrDataPath = "ocrDataPath";
inline constexpr std::string_view kOcrFileName = "ocrFileName";
inline constexpr std::string_view kOcrNameType = "ocrNameType";

// Defaults that differ between readers of the camera keys:
//   firstCamera serialId: 0 in the dialogs, -1 at start-up;
//   nextCamera serialId: 0 in the settings dialog, 1 in the camera tool and
//     camera selection, -1 at start-up;
//   dpi: 0 for most readers, -2 in the camera tool.
inline constexpr int kCameraToolDpi = -2;

int ReadInt(std::string_view section, std::string_view key, int defaultValue);
std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue);
// Integers are written as "%d" text. False when the file cannot be written.
bool WriteInt(std::string_view section, std::string_view key, int value);
bool WriteString(std::string_view section, std::string_view key, std::string_view value);
}  // namespace camcfg

// Interface settings file (GetUISetConfig).
namespace uicfg {
// The camera tool's section; defaults on reading in brackets.
inline constexpr std::string_view kCameraTool = "CameraTool";
inline constexpr std::string_view kDataPath = "dataPath";              // [the picture data path]
inline constexpr std::string_view kQualityList = "qualityList";        // [1]
inline constexpr std::string_view kAuxiliaryCamera = "auxiliaryCamera";  // [0] secondary camera on
inline constexpr std::string_view kGray = "gray";                      // [0]
inline constexpr std::string_view kBlackSide = "blackside";            // [0] cut the black border
inline constexpr std::string_view kCorrect = "correct";                // [0] perspective correction
inline constexpr std::string_view kGreenFrame = "greenFrame";          // [0]
inline constexpr std::string_view kHotPixel = "hotpixel";              // [0]
inline constexpr std::string_view kRememberSet = "rememberSet";        // [0]
inline constexpr std::string_view kBrightness = "brightness";          // [none]
inline constexpr std::string_view kContrast = "contrast";              // [none]
inline constexpr std::string_view kSaturation = "saturation";          // [none]
inline constexpr std::string_view kExposure = "exposure";              // [none]
inline constexpr std::string_view kVideoList = "videoList";            // [0] 0 main, 1 secondary camera
inline constexpr std::string_view kDpiList = "dpiList";                // [-2]

int ReadInt(std::string_view section, std::string_view key, int defaultValue);
std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue);
bool WriteInt(std::string_view section, std::string_view key, int value);
bool WriteString(std::string_view section, std::string_view key, std::string_view value);
}  // namespace uicfg
