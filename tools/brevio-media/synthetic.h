#pragma once
// The synthetic camera and microphone of `brevio-media record`: a moving test
// picture with a frame counter and a square that flashes once a second, and a
// tone that sounds in bursts at exactly the moments the square is lit.

#include <cstdint>
#include <vector>

namespace synthetic {

constexpr int kSampleRate = 44100;
constexpr int kBlockSamples = 8192;  // one capture buffer: 16384 bytes, about 186 ms
constexpr int kFlashPeriodMs = 1000;
constexpr int kFlashOnMs = 120;  // the square is lit (and the tone sounds) for this long each period

// True while the square is lit at `ms` since the start.
inline bool FlashOn(double ms) {
  const double phase = ms - kFlashPeriodMs * static_cast<long long>(ms / kFlashPeriodMs);
  return phase >= 0 && phase < kFlashOnMs;
}

// Where the square is, in top-down picture coordinates.
struct Box {
  int x0, y0, x1, y1;
};
Box SquareBox(int width, int height);

// The picture's own time is written into it as a row of kTimeBits cells
// along the bottom (white = 1, most significant first): ms / 2 modulo 2^16
// (131 s), so that a check can tell when a picture was taken however many
// pictures were dropped.
constexpr int kTimeBits = 16;
Box TimeCell(int width, int height, int bit);

// The picture taken `ms` after the start as `frame`-th picture: width × height
// packed BGR pixels, bottom row first, no row padding, with its time in the
// cells of TimeCell.
void DrawPicture(std::vector<unsigned char>& bgr, int width, int height, int frame, double ms);

// Camera-like detail over a picture of DrawPicture: a fine pattern that
// drifts across the picture with time (a page moving under the camera) and
// sensor noise of ±6 that changes with every picture. Dark parts stay dark
// and the lit square stays bright, so the flashes are still found.
void AddTexture(std::vector<unsigned char>& bgr, int width, int height, int frame, double ms);

// Samples [first, first + count) of the sound (16-bit mono, little-endian):
// a tone of `toneHz` during the flashes, silence otherwise (all silence
// when toneHz is 0).
void FillSound(std::vector<unsigned char>& pcm, std::int64_t first, int count, int toneHz);

}  // namespace synthetic
