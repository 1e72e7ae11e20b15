#pragma once
// Plain records with the byte layouts the picture and font code relies on,
// and the camera frame record every library that shows or records camera
// pictures receives (the camera library fills it; nothing else needs to
// link that library to read one).

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;

#pragma pack(push, 1)
struct tagRGBQUAD {
  BYTE rgbBlue = 0;
  BYTE rgbGreen = 0;
  BYTE rgbRed = 0;
  BYTE rgbReserved = 0;
};
using RGBQUAD = tagRGBQUAD;

// The 14-byte file header in front of a bitmap.
struct BITMAPFILEHEADER {
  WORD bfType = 0;
  DWORD bfSize = 0;
  WORD bfReserved1 = 0;
  WORD bfReserved2 = 0;
  DWORD bfOffBits = 0;
};

// The 40-byte picture header of a device-independent bitmap.
struct BITMAPINFOHEADER {
  DWORD biSize = 40;
  LONG biWidth = 0;
  LONG biHeight = 0;
  WORD biPlanes = 1;
  WORD biBitCount = 0;
  DWORD biCompression = 0;
  DWORD biSizeImage = 0;
  LONG biXPelsPerMeter = 0;
  LONG biYPelsPerMeter = 0;
  DWORD biClrUsed = 0;
  DWORD biClrImportant = 0;
};
#pragma pack(pop)

static_assert(sizeof(tagRGBQUAD) == 4);
static_assert(sizeof(BITMAPFILEHEADER) == 14);
static_assert(sizeof(BITMAPINFOHEADER) == 40);

constexpr int LF_FACESIZE = 32;

// A font description: face name of up to 31 characters plus terminator.
struct LOGFONTW {
  LONG lfHeight = 0;
  LONG lfWidth = 0;
  LONG lfEscapement = 0;
  LONG lfOrientation = 0;
  LONG lfWeight = 0;
  BYTE lfItalic = 0;
  BYTE lfUnderline = 0;
  BYTE lfStrikeOut = 0;
  BYTE lfCharSet = 0;
  BYTE lfOutPrecision = 0;
  BYTE lfClipPrecision = 0;
  BYTE lfQuality = 0;
  BYTE lfPitchAndFamily = 0;
  char16_t lfFaceName[LF_FACESIZE] = {};
};
static_assert(sizeof(LOGFONTW) == 92);

// One camera frame, posted by the camera library to the window that opened
// the camera: wParam the camera index, lParam a pointer to this record. The
// record and its pixels belong to the camera library and stay valid until
// the receiver allows the next frame (CUsbCamera::SetOneFrame). data 0 with
// width 1: connected, no picture yet; data 0 otherwise: no video signal.
constexpr UINT WM_CAMERA_FRAME = 2249;

struct _CAMERAFRAME {
  BYTE* data = nullptr;  // bottom-up rows, 24-bit blue-green-red, padded to 4 bytes
  int width = 0;
  int height = 0;
  int bitCount = 0;
  tagRGBQUAD* palette = nullptr;
};
