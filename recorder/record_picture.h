#pragma once
// Pictures on their way from the screen grab to a writer, and the pace of
// the AVI writer, whose file has a fixed picture rate.
//
// Pictures are packed 24-bit rows (blue, green, red), bottom row first, as
// the screen surface delivers them.

#include <cstdint>
#include <vector>

namespace capturo {

// The picture (width × height) placed in the middle of a black picture of
// outWidth × outHeight: a smaller grab (the screen shrank under the frame)
// is framed with black, a larger one is cut to the middle.
void FitPicture(const std::uint8_t* picture, int width, int height, std::vector<std::uint8_t>& out,
                int outWidth, int outHeight);

// The picture with each row padded to a multiple of 4 bytes (the AVI
// writer's rows).
void PadRows(const std::uint8_t* picture, int width, int height, std::vector<std::uint8_t>& out);
inline int PaddedRowBytes(int width) { return (width * 3 + 3) & ~3; }

// The AVI picture rate for the time one grab takes: 1000 / max(50, ms), at
// least 1 picture a second.
int AviFramesPerSecond(int grabMs);

// How often each grabbed picture goes into the AVI file so that the file's
// fixed rate keeps pace with the clock: the picture taken `elapsedMs` after
// the first is written as often as the pictures due by then (one at 0, one
// more every 1000 / fps ms, counted exactly) exceed those written before.
class CAviPacer {
 public:
  explicit CAviPacer(int framesPerSecond = 1) : fps_(framesPerSecond > 0 ? framesPerSecond : 1) {}
  int FramesPerSecond() const { return fps_; }
  // Times to write the picture taken at `elapsedMs` (0 or more).
  int Owed(std::int64_t elapsedMs);
  std::int64_t Written() const { return written_; }

 private:
  int fps_;
  std::int64_t written_ = 0;
};

}  // namespace capturo
